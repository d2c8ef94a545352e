#include "app/ui/main_window.h"
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "support/station_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

using namespace kelvor;

TEST(MainWindow, FollowsTheControllerAndFeedsActionsBack) {
    kelvor::test::StationFixture f;
    f.writeIni("[KELVOR]\nDEVICE=EP39F02\nFileOpenPath=/fw/demo.hex\n[OpenFile]\nFileCountHex=1\nFilePathHex=/fw/demo.hex?\n");
    app::MainWindow w(f.station());
    f.start();

    // The file bar belongs to the main window, not to the pages with the same control ids.
    auto* combo = w.findChild<QComboBox*>("c1039");
    EXPECT_EQ(combo->currentText(), "/fw/demo.hex");
    EXPECT_EQ(w.windowTitle(), "KEL-VOR(V1.34)");
    EXPECT_EQ(w.findChild<QLabel*>("c1040")->text(), "Device:39F02 ");
    EXPECT_EQ(w.tabBar()->count(), 8);
    EXPECT_TRUE(w.logPane()->toPlainText().endsWith("12:05:09 烧录芯片为 EP:39F02\n"));
    EXPECT_FALSE(w.logPane()->toPlainText().contains('\r'));

    // Tab bar -> page switch -> page visibility.
    w.tabBar()->setCurrentIndex(4);
    EXPECT_FALSE(w.pageWidget(page::kSetting)->isHidden());
    EXPECT_TRUE(w.pageWidget(page::kIsp)->isHidden());

    // The Device menu is the catalog's, and choosing an entry selects the model.
    ASSERT_EQ(w.deviceMenu()->actions().size(), 37);
    w.deviceMenu()->actions().at(2)->trigger(); // EP27C42
    EXPECT_EQ(w.findChild<QLabel*>("c1040")->text(), "Device:27C42 ");
    emit w.deviceMenu()->aboutToShow();
    EXPECT_TRUE(w.deviceMenu()->actions().at(2)->isChecked());
    EXPECT_FALSE(w.deviceMenu()->actions().at(10)->isChecked());
}

TEST(MainWindow, SimulatorMenuChoosesTheSocketChipAndTheStatusLineShowsIt) {
    kelvor::test::StationFixture f;
    f.writeIni("[KELVOR]\nDEVICE=EP408\n");
    auto sim = std::make_shared<link::sim::SimulatedProgrammer>();
    link::Link l(f.station(), sim, nullptr);
    f.station().setLinkHooks(&l);
    app::MainWindow w(f.station());
    w.addSimulatorMenu(*sim, [&l] { l.showSocket(); });
    f.start();
    auto* socketLabel = w.findChild<QLabel*>("simSocket");
    ASSERT_NE(socketLabel, nullptr);
    EXPECT_FALSE(socketLabel->isHidden());
    EXPECT_EQ(socketLabel->text(), "模拟插座: EP408 (跟随型号)");
    w.deviceMenu()->actions().at(2)->trigger(); // EP27C42
    EXPECT_EQ(socketLabel->text(), "模拟插座: EP27C42 (跟随型号)");

    auto* socketMenu = w.findChild<QMenu*>("menuSocket");
    ASSERT_NE(socketMenu, nullptr);
    auto choose = [&](const QString& text) {
        for (QAction* a : socketMenu->actions())
            if (a->text() == text) return a->trigger();
        ADD_FAILURE() << text.toStdString();
    };
    choose("空插座");
    EXPECT_EQ(socketLabel->text(), "模拟插座: 空");
    choose("EP2706");
    EXPECT_EQ(socketLabel->text(), "模拟插座: EP2706");
    EXPECT_EQ(sim->socketChoice(), "EP2706");
    choose("跟随所选型号");
    EXPECT_EQ(socketLabel->text(), "模拟插座: EP27C42 (跟随型号)");

    // The menu shows the choice and the fresh-chip switch as they stand.
    auto* menu = w.findChild<QMenu*>("menuSimulator");
    emit menu->aboutToShow();
    auto* fresh = w.findChild<QAction*>("aFreshChip");
    EXPECT_TRUE(fresh->isChecked());
    fresh->trigger();
    EXPECT_FALSE(sim->freshChipAfterBurn());
    for (QAction* a : socketMenu->actions())
        if (a->isCheckable()) EXPECT_EQ(a->isChecked(), a->text() == "跟随所选型号") << a->text().toStdString();
}

TEST(MainWindow, PaneDisplayDropsLoneLineEnds) {
    EXPECT_EQ(app::paneDisplayText("12:00:00 a\n\r\n12:00:01 b\r\n"), "12:00:00 a\n12:00:01 b\n");
    EXPECT_EQ(app::paneDisplayText("\r\n====\r\n===="), "\n====\n====");
}

TEST(MainWindow, EveryTabFitsAtTheDefaultSize) {
    // "远程烧录" used to hide behind scroll arrows.
    kelvor::test::StationFixture f;
    app::MainWindow w(f.station());
    f.start();
    w.show();
    QCoreApplication::processEvents();
    QTabBar* tabs = w.tabBar();
    ASSERT_EQ(tabs->count(), 8);
    for (int i = 0; i < tabs->count(); ++i) {
        const QRect r = tabs->tabRect(i);
        EXPECT_TRUE(tabs->rect().contains(r)) << tabs->tabText(i).toStdString();
        EXPECT_GE(r.width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i))) << "caption cut";
    }
}

TEST(MainWindow, FileBarTakesEnterAndRevertsWhenLeft) {
    kelvor::test::StationFixture f;
    const std::string typed = f.path("typed.hex");
    std::ofstream(typed) << ":00000001FF\n";
    app::MainWindow w(f.station());
    f.start();
    auto* combo = w.findChild<QComboBox*>("c1039");
    combo->lineEdit()->setText(QString::fromStdString(typed));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(f.station().imagePath.toStdString(), typed);

    combo->lineEdit()->setText("/not/confirmed.hex");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(combo, &out);
    EXPECT_EQ(combo->currentText().toStdString(), typed);
}
