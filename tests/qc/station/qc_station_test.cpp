// The QC station against the simulated QC firmware: "检测" from the test page through command 18,
// the 0xFC reply and its judgement, the configuration page's controls and the statistics page.
#include "link/sim/simulated_programmer.h"
#include "link/station/firmware_update.h"
#include "link/station/link.h"
#include "qc/page_controls.h"
#include "qc/station/qc_station.h"
#include "support/station_fixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fstream>

using namespace kelvor;
using namespace kelvor::link;

namespace {

QString key(int id) { return controlKey(id); }
QString u(const char* s) { return QString::fromUtf8(s); }

class QcBench {
public:
    explicit QcBench(const char* faults = "", const char* chip = "EP2706", bool qcMode = true) {
        sim::SimOptions o;
        o.timing = 0;
        const auto socket = sim::parseSocketChip(chip);
        o.chip = socket.chip;
        o.followSelection = socket.follow;
        o.faults = sim::parseFaults(faults).faults;
        sim = std::make_shared<sim::SimulatedProgrammer>(o);
        link = std::make_unique<Link>(f.station(), sim, nullptr);
        f.station().setLinkHooks(link.get());
        link->setRunBounds(400, 150);
        if (qcMode) f.writeIni("[KELVOR]\r\nQC_IN=1\r\n");
        f.start();
        waitFor([this] { return link->linkOpen(); });
    }
    ~QcBench() { link.reset(); }

    bool waitFor(const std::function<bool()>& done, int ms = 5000) { return test::processEventsUntil(done, ms); }
    qc::QcStation& qc() { return f.station().qc(); }
    PageModel& test() { return f.page(page::kQcTest); }
    PageModel& cfg() { return f.page(page::kQcConfig); }

    // Expect `checksum`, tick the boxes named, press "检测" and wait for the judgement.
    bool press(const QString& checksum, bool version = false, bool date = false, bool voltage = false) {
        cfg().edit(key(qcconfig::kChecksum), checksum);
        cfg().check(key(qcconfig::kCheckVersion), version);
        cfg().check(key(qcconfig::kCheckDate), date);
        cfg().check(key(qcconfig::kCheckVoltage), voltage);
        const int before = qc().results();
        test().click(key(qctest::kTest));
        return waitFor([&] { return qc().results() > before; }, 2000);
    }
    // One press of "烧录" on the programming page; the run's verdict.
    std::optional<bool> burn() {
        if (!waitFor([this] { return link->detectAnswers > 0; })) return std::nullopt;
        f.station().selectModel(*chips::findModel("EP2706"));
        const std::string image = f.path("demo.hex");
        std::ofstream(image, std::ios::binary) << ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
        f.station().imagePath = QString::fromStdString(image);
        std::optional<bool> verdict;
        auto c = QObject::connect(link.get(), &Link::runFinished, [&](const RunResult& r) { verdict = r.pass; });
        f.page(page::kIsp).click(controlKey(1042));
        waitFor([&] { return verdict.has_value(); }, 20000);
        QObject::disconnect(c);
        return verdict;
    }
    QString display() { return test().text(key(qctest::kDisplay)); }
    // What the QC firmware reads of a chip not burnt in this session: the sum of its cells.
    QString cellSum() {
        unsigned sum = 0;
        for (auto c : sim->socketCells()) sum += c;
        return QString::number(sum & 0xFFFF, 16);
    }
    QStringList boxes() {
        QStringList out;
        for (const auto& b : f.prompter.boxes) out << b.text;
        return out;
    }

    test::StationFixture f;
    std::shared_ptr<sim::SimulatedProgrammer> sim;
    std::unique_ptr<Link> link;
};

TEST(QcStation, AChipBurntEarlierPassesAgainstTheChecksumTheOperatorSaw) {
    QcBench b("", "EP2706", false);
    ASSERT_EQ(b.burn(), std::optional<bool>(true));
    const QString shown = b.f.station().mainModel().text(controlKey(1041)); // "CKSUM: 0x0abc"
    ASSERT_TRUE(shown.startsWith("CKSUM: 0x")) << shown.toStdString();
    const QString sum = shown.mid(9);

    // The tester types it as the operator saw it, leading zeros and all.
    ASSERT_TRUE(b.press(sum.left(4)));
    EXPECT_EQ(b.display(), "PASS");
    EXPECT_EQ(b.test().current(key(qctest::kDisplay)), 1);
    EXPECT_EQ(b.test().text(key(qctest::kModel)), "2706A0");
    EXPECT_EQ(b.test().text(key(qctest::kChecksum)), QString::number(sum.toUInt(nullptr, 16), 16).toUpper());
    EXPECT_TRUE(b.boxes().isEmpty()) << b.boxes().join('|').toStdString();

    // Another chip's checksum fails, with its line and its box.
    const QString other = QString::number((sum.toUInt(nullptr, 16) + 1) & 0xFFFF, 16);
    ASSERT_TRUE(b.press(other));
    EXPECT_EQ(b.display(), "FAIL");
    EXPECT_EQ(b.boxes(), QStringList{u("校验码错误!")});
    EXPECT_TRUE(b.f.paneText().contains(u("校验码错误!")));
}

struct FaultRow {
    const char* name;
    const char* faults;
    const char* chip;
    bool version, voltage;
    const char* box; // nullptr: PASS
};

class QcFaults : public testing::TestWithParam<FaultRow> {};

TEST_P(QcFaults, EachMismatchFailsWithItsBox) {
    const FaultRow& r = GetParam();
    QcBench b(r.faults, r.chip);
    b.cfg().edit(key(qcconfig::kVersion), QStringLiteral("258"));
    const QString sum = b.cellSum();
    ASSERT_TRUE(b.press(sum, r.version, false, r.voltage));
    if (!r.box) {
        EXPECT_EQ(b.display(), "PASS");
        EXPECT_TRUE(b.boxes().isEmpty()) << b.boxes().join('|').toStdString();
    } else {
        EXPECT_EQ(b.display(), "FAIL");
        EXPECT_EQ(b.boxes(), QStringList{u(r.box)});
    }
    EXPECT_TRUE(b.qc().displayTimer().isActive());
    EXPECT_EQ(b.qc().displayTimer().interval(), 2000);
}

INSTANTIATE_TEST_SUITE_P(Rows, QcFaults,
                         testing::Values(FaultRow{"Pass", "", "EP2706", true, true, nullptr},
                                         FaultRow{"NoChip", "", "none", true, true, "未检测到芯片，请确保连线无误!"},
                                         FaultRow{"Checksum", "qc-checksum", "EP2706", false, false, "校验码错误!"},
                                         FaultRow{"Version", "qc-version", "EP2706", true, false, "固件版本号错误!"},
                                         FaultRow{"VersionUnticked", "qc-version", "EP2706", false, true, nullptr},
                                         FaultRow{"Voltage", "qc-voltage", "EP2706", false, true, "芯片VDD电压错误!"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QcStation, DisplayGoesBackToIdleAndAPressClearsTheFields) {
    QcBench b;
    b.qc().displayTimer().setInterval(50);
    const QString sum = b.cellSum();
    ASSERT_TRUE(b.press(sum, false, false, true));
    EXPECT_EQ(b.display(), "PASS");
    EXPECT_FALSE(b.test().text(key(qctest::kVoltage)).isEmpty());
    EXPECT_TRUE(b.waitFor([&] { return b.display() == "****"; }, 2000));
    EXPECT_EQ(b.test().current(key(qctest::kDisplay)), 2);
    // "检测" empties the result fields before it asks the programmer.
    b.sim->setFaults(sim::parseFaults("qc-silent").faults);
    b.test().click(key(qctest::kTest));
    for (int id : qctest::kResultFields) EXPECT_TRUE(b.test().text(key(id)).isEmpty()) << id;
    // An answer that never comes leaves the display as it was.
    QCoreApplication::processEvents();
    EXPECT_FALSE(b.waitFor([&] { return b.qc().results() > 1; }, 300));
    EXPECT_EQ(b.display(), "****");
}

TEST(QcStation, PrecheckRefusesBeforeAnythingIsSent) {
    QcBench b;
    b.test().click(key(qctest::kTest));
    EXPECT_EQ(b.boxes(), QStringList{u("请在设置页面输入校验码!")});
    b.cfg().edit(key(qcconfig::kChecksum), QStringLiteral("AB"));
    b.cfg().check(key(qcconfig::kCheckVersion), true);
    b.test().click(key(qctest::kTest));
    EXPECT_EQ(b.boxes().last(), u("请在设置页面输入固件版本号!"));
    EXPECT_FALSE(b.waitFor([&] { return b.qc().results() > 0; }, 200));
    // With the programmer gone, command 18 fails.
    b.cfg().check(key(qcconfig::kCheckVersion), false);
    b.sim->unplug();
    b.waitFor([&] { return !b.link->linkOpen(); });
    b.test().click(key(qctest::kTest));
    EXPECT_EQ(b.boxes().last(), u("测试器未连接到PC，请检查USB连线!"));
    EXPECT_TRUE(b.f.paneText().contains(u("测试器未连接到PC，请检查USB连线!")));
}

TEST(QcStation, BoxesEnableExactlyTheirControlsOnBothPages) {
    QcBench b;
    struct Row {
        int box;
        std::vector<int> config, test;
    };
    const Row rows[] = {
        {qcconfig::kCheckVersion, {qcconfig::kVersion, qcconfig::kVersionLabel}, {qctest::kVersionLabel, qctest::kVersion}},
        {qcconfig::kCheckDate, {qcconfig::kDate, qcconfig::kDateLabel}, {qctest::kDateLabel, qctest::kDate}},
        {qcconfig::kCheckVoltage, {qcconfig::kVoltageLabel},
         {qctest::kVoltageLabel, qctest::kVoltage, qctest::kMvLabel}},
    };
    auto all = [&](bool on, const Row& except) {
        for (const Row& r : rows) {
            const bool want = &r == &except ? on : false;
            for (int id : r.config) EXPECT_EQ(b.cfg().isEnabled(key(id)), want) << id;
            for (int id : r.test) EXPECT_EQ(b.test().isEnabled(key(id)), want) << id;
        }
    };
    for (const Row& r : rows) {
        all(false, r);
        b.cfg().check(key(r.box), true);
        all(true, r);
        b.cfg().check(key(r.box), false);
    }
}

TEST(QcStation, DatePickerStoresYearAndMonthDay) {
    QcBench b;
    EXPECT_TRUE(b.qc().dateChosen) << "the picker starts on a date";
    b.cfg().edit(key(qcconfig::kDate), QStringLiteral("2023-07-04"));
    EXPECT_EQ(b.qc().expectedYear, 2023);
    EXPECT_EQ(b.qc().expectedMonthDay, 704);
    // The simulated chip carries 2024-03-15.
    const QString sum = b.cellSum();
    ASSERT_TRUE(b.press(sum, false, true, false));
    EXPECT_EQ(b.test().text(key(qctest::kDate)), "2024-03-15");
    EXPECT_EQ(b.boxes(), QStringList{u("日期错误!")});
    b.cfg().edit(key(qcconfig::kDate), QStringLiteral("2024-03-15"));
    ASSERT_TRUE(b.press(sum, false, true, false));
    EXPECT_EQ(b.display(), "PASS");
}

TEST(QcStation, FirmwareChoiceAsksThenEntersTheBootLoader) {
    QcBench b;
    EXPECT_EQ(b.cfg().items(key(qcconfig::kFirmwareList)).size(), 10);
    b.f.prompter.answerYes = false;
    b.cfg().choose(key(qcconfig::kFirmwareList), 1);
    EXPECT_EQ(b.boxes(), QStringList{u("将会更新固件,是否继续")});
    EXPECT_EQ(b.f.station().qcFirmwareRequest, 0);
    EXPECT_FALSE(b.sim->inBootLoader());
    b.f.prompter.answerYes = true;
    b.cfg().choose(key(qcconfig::kFirmwareList), 1);
    EXPECT_EQ(b.link->firmware().lastEntered(), FirmwareUpdate::Entered::AwaitingReturn);
    // The connect that follows the return consumes the request; entry 1 loads nothing.
    EXPECT_TRUE(b.waitFor([&] { return b.f.station().qcFirmwareRequest == 0 && b.link->linkOpen(); }));
    EXPECT_TRUE(b.sim->inBootLoader());
}

TEST(QcStation, StatisticsFillTheTwelveTexts) {
    QcBench b;
    for (const auto& row : qc::statsRows()) EXPECT_EQ(b.f.page(page::kQcComm).text(key(row.control)), u(row.label.data()));
    sim::ErrorCounters c{};
    c[0] = 65535;
    c[11] = 7;
    b.sim->setErrorCounters(c);
    b.f.page(page::kQcComm).click(key(qccomm::kReadStats));
    ASSERT_TRUE(b.waitFor([&] { return b.qc().statsAnswers() > 0; }));
    EXPECT_EQ(b.f.page(page::kQcComm).text(key(1095)), u("ID错误:65535个"));
    EXPECT_EQ(b.f.page(page::kQcComm).text(key(1096)), u("SRAM错误:0个"));
    EXPECT_EQ(b.f.page(page::kQcComm).text(key(1105)), u("配置区校验2错误:7个"));
    b.sim->unplug();
    b.waitFor([&] { return !b.link->linkOpen(); });
    b.f.page(page::kQcComm).click(key(qccomm::kReadStats));
    EXPECT_EQ(b.boxes(), QStringList{u("测试器未连接到PC，请检查USB连线!")});
}

TEST(QcStation, FailedBurnsCountInTheErrorStatistics) {
    QcBench b("id-error", "EP2706", false);
    const auto before = b.sim->errorCounters();
    ASSERT_EQ(b.burn(), std::optional<bool>(false));
    auto after = b.sim->errorCounters();
    EXPECT_EQ(after[0], before[0] + 1) << "ID错误";
    after[0] = before[0];
    EXPECT_EQ(after, before) << "only the failure's own counter";
}

} // namespace
