#include "app/ui/main_window.h"
#include "support/station_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

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

TEST(MainWindow, PaneDisplayDropsLoneLineEnds) {
    EXPECT_EQ(app::paneDisplayText("12:00:00 a\n\r\n12:00:01 b\r\n"), "12:00:00 a\n12:00:01 b\n");
    EXPECT_EQ(app::paneDisplayText("\r\n====\r\n===="), "\n====\n====");
}
