// Whole runs through the station against the simulated programmer: "烧录" (or an offline button),
// the transfer, the programmer's reports, and what the window shows when the run is over.
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "link/station/transfer.h"
#include "support/station_fixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <vector>

using namespace kelvor;
using namespace kelvor::link;

namespace {

// Short bounds, so that a silent programmer ends the run within the test.
constexpr std::uint32_t kTestVerdictMs = 400;
constexpr std::uint32_t kTestQuietMs = 150;

class Bench {
public:
    explicit Bench(const char* model, const char* faults = "", double timing = 0) : model_(chips::findModel(model)) {
        sim::SimOptions o;
        o.timing = timing;
        o.chip = sim::parseSocketChip(model).chip;
        o.faults = sim::parseFaults(faults).faults;
        sim = std::make_shared<sim::SimulatedProgrammer>(o);
        link = std::make_unique<Link>(f.station(), sim, nullptr);
        f.station().setLinkHooks(link.get());
        link->setRunBounds(kTestVerdictMs, kTestQuietMs);
        QObject::connect(link.get(), &Link::runFinished, [this](const RunResult& r) {
            results.push_back(r);
            pendingAtEnd.push_back(sim->pendingReports());
        });
        QObject::connect(link.get(), &Link::verdict, [this](bool pass) { verdicts.push_back(pass); });
        f.start();
        // A programmer that answers nothing readable answers no auto-detect either.
        const auto mute = sim->faults();
        if (!mute.has(sim::Fault::Silent) && !mute.has(sim::Fault::Garbage))
            waitFor([this] { return link->detectAnswers > 0; });
        f.station().selectModel(*model_);
        const std::string image = f.path("demo.hex");
        std::ofstream(image, std::ios::binary) << ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
        f.station().imagePath = QString::fromStdString(image);
    }
    ~Bench() { link.reset(); }

    bool waitFor(const std::function<bool()>& done, int ms = 20000) {
        return kelvor::test::processEventsUntil(done, ms);
    }
    // One press of "烧录"; returns when the run is over.
    std::optional<RunResult> burn(const std::function<void()>& during = {}) {
        const std::size_t before = results.size();
        isp().click(controlKey(1042));
        if (during) during();
        if (!waitFor([&] { return results.size() > before; })) return std::nullopt;
        QCoreApplication::processEvents();
        return results.back();
    }

    PageModel& isp() { return f.page(page::kIsp); }
    QString face() { return isp().state(controlKey(1033)).image; }
    QString cksum() { return f.station().mainModel().text(controlKey(1041)); }
    int progress() { return f.station().mainModel().current(controlKey(1037)); }
    std::pair<bool, bool> buttons() { return {isp().isEnabled(controlKey(1021)), isp().isEnabled(controlKey(1042))}; }
    bool paneHas(const char* text) { return f.paneText().contains(QString::fromUtf8(text)); }

    kelvor::test::StationFixture f;
    std::shared_ptr<sim::SimulatedProgrammer> sim;
    std::unique_ptr<Link> link;
    std::vector<RunResult> results;
    std::vector<std::size_t> pendingAtEnd;
    std::vector<bool> verdicts;

private:
    const chips::ModelRow* model_;
};

struct RunCase {
    const char* name;
    const char* model;
    const char* faults;
    bool pass;
    RunEnd end;
    const char* line;  // in the pane
    bool burnBack;     // "烧录" enabled afterwards ("烧录器连接" always is)
    bool truthHeard;   // the programmer's decision reached the station (not silent, not garbled)
    int progress;      // the bar afterwards; -1: as the reports left it
};

class Runs : public testing::TestWithParam<RunCase> {};

TEST_P(Runs, EndWithTheTrueFaceOneVerdictAndTheButtonsBack) {
    const auto& c = GetParam();
    Bench b(c.model, c.faults);
    bool busySeen = false;
    const auto r = b.burn([&] { busySeen = b.face() == face::kBusy && b.buttons() == std::make_pair(false, false); });
    ASSERT_TRUE(r) << "the run did not end";
    EXPECT_TRUE(busySeen) << "a run in progress shows the busy face and keeps the buttons";
    EXPECT_EQ(r->pass, c.pass);
    EXPECT_EQ(r->end, c.end);
    EXPECT_EQ(b.face(), c.pass ? face::kOk : face::kNg);
    EXPECT_EQ(b.verdicts, std::vector<bool>{c.pass}) << "one verdict per chip";
    EXPECT_TRUE(b.cksum().startsWith("CKSUM: 0x")) << b.cksum().toStdString();
    if (c.progress >= 0) {
        EXPECT_EQ(b.progress(), c.progress);
    }
    EXPECT_EQ(b.buttons(), std::make_pair(true, c.burnBack));
    EXPECT_TRUE(b.paneHas(c.line)) << c.line << "\n" << b.f.paneText().toStdString();
    // The programmer has finished reporting the burn: a next job cannot overlap it.
    EXPECT_EQ(b.pendingAtEnd.back(), 0u);
    // Where the programmer decided, the verdict is its decision.
    const auto truth = b.sim->burnOutcomes();
    if (c.truthHeard && !truth.empty()) {
        EXPECT_EQ(truth, std::vector<bool>{c.pass});
    }
}

const RunCase kRuns[] = {
    {"pass_staged", "EP27C42", "", true, RunEnd::Judged, "芯片烧录完成", true, true, 100},
    // With the hardware version reported, 0x09 leaves the bar where the blank check put it.
    {"pass_classic", "EP2702", "", true, RunEnd::Judged, "芯片校验成功!", true, true, -1},
    {"pass_paged", "EP39F03", "", true, RunEnd::Judged, "芯片烧录完成", true, true, 100},
    {"blank_fail", "EP27C42", "blank-fail", false, RunEnd::Judged, "芯片Blank检测错误!", true, true, -1},
    {"blank_fail_classic", "EP2702", "blank-fail", false, RunEnd::Judged, "芯片Blank检测错误!", true, true, -1},
    {"blank_fail_paged", "EP39F03", "blank-fail", false, RunEnd::Judged, "芯片烧录失败", true, true, -1},
    {"verify_fail", "EP27C42", "verify-fail", false, RunEnd::Judged, "芯片校验错误! adr=", true, true, -1},
    {"id_error", "EP27C42", "id-error", false, RunEnd::Judged, "芯片ID错误!", true, true, -1},
    {"checksum_error", "EP27C42", "checksum-error", false, RunEnd::Judged, "芯片校验和错误！", true, true, -1},
    {"ng_rate", "EP27C42", "ng-rate=100", false, RunEnd::Judged, "芯片烧录失败", true, true, -1},
    {"garbage", "EP27C42", "garbage", false, RunEnd::Judged, "USB信息返回错误!", true, false, -1},
    {"no_ack", "EP39F03", "no-ack", false, RunEnd::TransferFailed, "等待烧录器应答超时!", true, true, -1},
    {"unplug_mid_transfer", "EP27C42", "unplug-mid-transfer", false, RunEnd::LinkClosed, "USB设备被拔出!", false, true,
     -1},
    {"silent", "EP27C42", "silent", false, RunEnd::TimedOut, "等待烧录结果超时,本次判为NG!", true, false, -1},
};

INSTANTIATE_TEST_SUITE_P(Station, Runs, testing::ValuesIn(kRuns), [](const auto& info) { return std::string(info.param.name); });

TEST(Run, AnUnansweredWaitEndsInOneVerdictAndTheNextChipBurns) {
    struct Case {
        const char* faults;
        bool pass;
        RunEnd end;
        bool decided; // the programmer burnt the chip before the lost answer
    };
    const Case cases[] = {
        {"no-ack-first", false, RunEnd::TransferFailed, false},
        {"no-ack-middle", false, RunEnd::TransferFailed, false},
        // The chip is burnt; the lost answer is the tail's, not the pass ending, which is the verdict.
        {"no-ack-last", true, RunEnd::Judged, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        Bench b("EP39F03", c.faults);
        TransferTiming quick;
        quick.ackTimeout = std::chrono::milliseconds(500); // the simulator answers at once
        quick.chunkPause = quick.sendPause = std::chrono::microseconds(200);
        b.link->transfers().setTiming(quick);
        const auto r = b.burn();
        ASSERT_TRUE(r) << "the run did not end";
        EXPECT_EQ(r->pass, c.pass);
        EXPECT_EQ(r->end, c.end);
        EXPECT_EQ(b.verdicts, std::vector<bool>{c.pass}) << "one verdict per chip";
        EXPECT_EQ(b.sim->burnOutcomes(), c.decided ? std::vector<bool>{true} : std::vector<bool>{});
        EXPECT_TRUE(b.paneHas("等待烧录器应答超时!")) << b.f.paneText().toStdString();
        EXPECT_EQ(b.buttons(), std::make_pair(true, true));
        EXPECT_EQ(b.pendingAtEnd.back(), 0u);

        b.sim->setFaults({});
        const auto next = b.burn();
        ASSERT_TRUE(next);
        EXPECT_TRUE(next->pass) << "the next chip after the lost answer";
        EXPECT_EQ(b.verdicts, (std::vector<bool>{c.pass, true}));
    }
}

TEST(Run, UnplugDuringTheBurnShowsNgNotTheLastChipsOk) {
    Bench b("EP27C42", "", 1.0);
    ASSERT_TRUE(b.burn());
    ASSERT_EQ(b.face(), face::kOk);
    const auto r = b.burn([&] {
        b.waitFor([&] { return b.paneHas("下载完毕!"); });
        b.sim->unplug();
    });
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->pass);
    EXPECT_EQ(r->end, RunEnd::LinkClosed);
    EXPECT_EQ(b.face(), face::kNg);
    EXPECT_EQ(b.buttons(), std::make_pair(true, false)); // "烧录" waits for the link
}

TEST(Run, ARefusedJobClearsTheLastVerdict) {
    Bench b("EP27C42");
    ASSERT_TRUE(b.burn());
    ASSERT_EQ(b.face(), face::kOk);
    struct Refusal {
        const char* name;
        std::function<void(Bench&)> arrange;
    };
    const Refusal refusals[] = {
        {"voltage", [](Bench& b) { b.isp().setText(controlKey(1032), "2.0"); }},
        {"image", [](Bench& b) { b.f.station().imagePath = QString::fromStdString(b.f.path("missing.hex")); }},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        r.arrange(b);
        const std::size_t runs = b.results.size();
        b.isp().click(controlKey(1042));
        QCoreApplication::processEvents();
        EXPECT_NE(b.f.station().lastJobCode, 0);
        EXPECT_EQ(b.results.size(), runs) << "nothing was sent, so no run";
        EXPECT_EQ(b.face(), face::kIdle);
        EXPECT_EQ(b.cksum(), "CKSUM:");
        EXPECT_EQ(b.progress(), 0);
        EXPECT_EQ(b.buttons(), std::make_pair(true, true));
    }
}

TEST(Run, VerdictsAreTheProgrammersTruthUnderAnNgRate) {
    // A failing chip's 0x8E used to be taken as the next chip's verdict, and the next transfer
    // started while the burn was still reporting.
    Bench b("EP27C42", "ng-rate=30");
    constexpr int kChips = 30;
    for (int n = 0; n < kChips; ++n) ASSERT_TRUE(b.burn()) << "chip " << n;
    std::vector<bool> shown;
    for (const auto& r : b.results) shown.push_back(r.pass);
    EXPECT_EQ(shown, b.sim->burnOutcomes());
    EXPECT_EQ(b.verdicts, shown);
    EXPECT_EQ(std::count(b.pendingAtEnd.begin(), b.pendingAtEnd.end(), 0u), kChips);
    const auto passed = std::count(shown.begin(), shown.end(), true);
    EXPECT_GT(passed, 0);
    EXPECT_LT(passed, kChips);
    EXPECT_EQ(b.link->globals().g_passCount, passed);
    EXPECT_EQ(b.link->globals().g_failCount, kChips - passed);
}

TEST(Run, OfflineStoresAreJudgedByTheProgrammersConfirmation) {
    struct Case {
        const char* model;
        const char* faults;
        bool pass;
    };
    const Case cases[] = {
        {"EP27C42", "", true},                // 0x0D, 0x49
        {"EP27C42", "checksum-error", false}, // 0x48
        {"EP27C42", "silent", false},         // no confirmation within the bound
        {"EP39H01", "", true},                // every page and the tail acknowledged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.faults);
        Bench b(c.model, c.faults);
        const std::size_t before = b.results.size();
        b.f.station().sendMessage(WM_PROGRAM_MODE, 0, 0);
        ASSERT_TRUE(b.waitFor([&] { return b.results.size() > before; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(b.results.back().pass, c.pass);
        EXPECT_EQ(b.face(), c.pass ? face::kOk : face::kNg);
        EXPECT_TRUE(b.f.page(page::kStpg).isEnabled("btnOffline"));
    }
}

TEST(Run, ASecondPressDuringARunStartsNothing) {
    Bench b("EP27C42", "", 1.0);
    const auto r = b.burn([&] {
        b.isp().click(controlKey(1042)); // the window keeps the button off; the CLI or a script may not
        b.f.station().sendMessage(WM_PROGRAM_MODE, 0, 0);
    });
    ASSERT_TRUE(r);
    EXPECT_TRUE(b.paneHas("上一次烧录尚未结束，请稍候!"));
    EXPECT_EQ(b.results.size(), 1u);
    EXPECT_EQ(b.sim->burnOutcomes().size(), 1u);
}

} // namespace
