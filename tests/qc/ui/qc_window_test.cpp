// The QC tabs in the real window: the result display's colours and font, read-only result fields,
// and a test against the simulated QC firmware. With KELVOR_QC_SCREENS=DIR the tabs are also saved
// as PNGs there, for looking at them.
#include "app/ui/main_window.h"
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "qc/page_controls.h"
#include "qc/station/qc_station.h"
#include "support/station_fixture.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

using namespace kelvor;

namespace {

QString key(int id) { return controlKey(id); }

void save(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("KELVOR_QC_SCREENS");
    if (dir.isEmpty()) return;
    w.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

TEST(QcWindow, DisplayFieldsAndATestAgainstTheSimulator) {
    test::StationFixture f;
    f.writeIni("[KELVOR]\r\nQC_IN=1\r\n");
    link::sim::SimOptions o;
    o.timing = 0;
    auto sim = std::make_shared<link::sim::SimulatedProgrammer>(o);
    auto link = std::make_unique<link::Link>(f.station(), sim, nullptr);
    f.station().setLinkHooks(link.get());
    app::MainWindow w(f.station());
    f.start();
    w.resize(760, 520);
    w.show();
    ASSERT_TRUE(test::processEventsUntil([&] { return link->linkOpen(); }, 5000));
    EXPECT_EQ(w.tabBar()->count(), 3);
    EXPECT_FALSE(w.logPane()->toPlainText().contains(QString::fromUtf8("开始烧录")))
        << "no programming instructions on a QC station";

    auto* display = w.pageWidget(page::kQcTest)->findChild<QLabel*>(key(qctest::kDisplay));
    ASSERT_TRUE(display);
    EXPECT_EQ(display->text(), "****");
    EXPECT_EQ(display->font().pointSize(), 45);
    EXPECT_EQ(display->font().families().value(0), QString::fromUtf8("宋体"));
    EXPECT_TRUE(display->styleSheet().contains("#000000"));
    for (int id : qctest::kResultFields) {
        auto* edit = w.pageWidget(page::kQcTest)->findChild<QLineEdit*>(key(id));
        ASSERT_TRUE(edit) << id;
        EXPECT_TRUE(edit->isReadOnly()) << id;
    }
    save(w, "qc-test-idle");

    // Ticking the voltage check opens the test page's voltage field.
    w.tabBar()->setCurrentIndex(1);
    auto* cfg = w.pageWidget(page::kQcConfig);
    auto* voltage = w.pageWidget(page::kQcTest)->findChild<QLineEdit*>(key(qctest::kVoltage));
    EXPECT_FALSE(voltage->isEnabled());
    f.page(page::kQcConfig).check(key(qcconfig::kCheckVoltage), true);
    EXPECT_TRUE(voltage->isEnabled());
    f.page(page::kQcConfig).check(key(qcconfig::kCheckDate), true);
    auto* date = cfg->findChild<QDateEdit*>(key(qcconfig::kDate));
    ASSERT_TRUE(date && date->isEnabled());
    date->setDate(QDate(2024, 3, 15));
    EXPECT_EQ(f.station().qc().expectedMonthDay, 315);
    unsigned sum = 0;
    for (auto c : sim->socketCells()) sum += c;
    f.page(page::kQcConfig).edit(key(qcconfig::kChecksum), QString::number(sum & 0xFFFF, 16));
    save(w, "qc-config");

    w.tabBar()->setCurrentIndex(0);
    auto* press = w.pageWidget(page::kQcTest)->findChild<QPushButton*>(key(qctest::kTest));
    press->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return f.station().qc().results() == 1; }, 3000));
    EXPECT_EQ(display->text(), "PASS");
    EXPECT_TRUE(display->styleSheet().contains("#3cb371"));
    save(w, "qc-test-pass");

    sim->setFaults(link::sim::parseFaults("qc-voltage").faults);
    press->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return f.station().qc().results() == 2; }, 3000));
    EXPECT_EQ(display->text(), "FAIL");
    EXPECT_TRUE(display->styleSheet().contains("#dc143c"));
    EXPECT_EQ(voltage->text(), "5600");
    save(w, "qc-test-fail");

    w.tabBar()->setCurrentIndex(2);
    w.pageWidget(page::kQcComm)->findChild<QPushButton*>(key(qccomm::kReadStats))->click();
    ASSERT_TRUE(test::processEventsUntil([&] { return f.station().qc().statsAnswers() == 1; }, 3000));
    EXPECT_TRUE(w.pageWidget(page::kQcComm)->findChild<QLineEdit*>(key(1095))->text().endsWith(QString::fromUtf8("个")));
    save(w, "qc-log");

    // Back to "****" when the display timer ends.
    f.station().qc().displayTimer().setInterval(20);
    f.station().qc().displayTimer().start();
    EXPECT_TRUE(test::processEventsUntil([&] { return display->text() == "****"; }, 2000));
    link.reset();
}

} // namespace
