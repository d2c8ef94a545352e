// Runs and their one verdict: which report is the verdict, which only follows it, when the run is
// over, and what a run without a verdict ends as.
#include "link/run_judge.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kelvor::link {
namespace {

using R = ReportRole;

ReportFacts status(std::uint8_t code, bool pass = false, bool fail = false, bool progress = false) {
    ReportFacts f;
    f.status = code;
    f.pass = pass;
    f.fail = fail;
    f.progress = progress;
    return f;
}
const ReportFacts kStage = status(0x05, false, false, true); // blank check passed, moves the bar
const ReportFacts kBlankError = status(0x04, false, true);
const ReportFacts kRelease = status(0x45, false, true);     // the failure answer a paged wait needs
const ReportFacts kBurnFailed = status(0x8E, false, true); // closing report of a failed burn
const ReportFacts kBurnDone = status(0x8B, true);
const ReportFacts kDetect = status(0xFD);

RunPlan plan(RunKind kind, std::uint8_t confirmation = 0) {
    RunPlan p;
    p.kind = kind;
    p.confirmation = confirmation;
    p.verdictMs = 1000;
    p.quietMs = 100;
    return p;
}

// A judge whose run has begun at t=0 and sent its burn command.
struct Armed {
    explicit Armed(RunKind kind = RunKind::Burn, std::uint8_t confirmation = 0) {
        j.begin(plan(kind, confirmation), 0);
        j.burnCommand();
    }
    Judgement report(const ReportFacts& f, std::uint32_t t) {
        const Judgement r = j.onReport(f, t);
        if (r.role == R::Verdict) j.delivered();
        return r;
    }
    RunJudge j;
};

TEST(RunJudge, AFailingBurnHasOneVerdictAndEndsAtItsClosingReport) {
    // 0x8E used to count as the next chip's verdict and let the next job start into this burn.
    Armed a;
    EXPECT_EQ(a.report(kStage, 10).role, R::Stage);
    const Judgement v = a.report(kBlankError, 20);
    EXPECT_EQ(v.role, R::Verdict);
    EXPECT_FALSE(v.pass);
    EXPECT_EQ(a.j.transferEnded(true, false, 25), std::nullopt);
    EXPECT_EQ(a.j.poll(30, true), std::nullopt) << "the burn is still reporting";
    EXPECT_EQ(a.report(kRelease, 30).role, R::FollowUp);
    EXPECT_EQ(a.report(kBurnFailed, 40).role, R::FollowUp);
    const auto end = a.j.poll(41, true);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->pass);
    EXPECT_EQ(end->end, RunEnd::Judged);
    EXPECT_FALSE(end->judgedAtEnd);
    EXPECT_FALSE(a.j.inProgress());
}

TEST(RunJudge, ABurnWithoutAClosingReportEndsAfterTheQuietTime) {
    Armed a;
    a.j.transferEnded(true, false, 10);
    a.report(kBlankError, 20);
    EXPECT_EQ(a.j.poll(119, true), std::nullopt);
    const auto end = a.j.poll(120, true);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->pass);
}

TEST(RunJudge, APassBeforeTheTransferEndedWaitsForIt) {
    Armed a;
    EXPECT_TRUE(a.report(kBurnDone, 10).pass);
    EXPECT_EQ(a.j.poll(5000, true), std::nullopt) << "its transfer is still running";
    EXPECT_EQ(a.j.transferEnded(true, false, 5001), std::nullopt);
    const auto end = a.j.poll(5001, true);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->pass);
}

TEST(RunJudge, TheRunCannotEndBeforeItsVerdictIsShown) {
    RunJudge j;
    j.begin(plan(RunKind::Burn), 0);
    j.burnCommand();
    j.transferEnded(true, false, 0);
    EXPECT_EQ(j.onReport(kBurnDone, 10).role, R::Verdict);
    EXPECT_EQ(j.poll(20, true), std::nullopt);
    j.delivered();
    EXPECT_TRUE(j.poll(20, true));
}

TEST(RunJudge, ReportsOutsideARunOrBeforeItsBurnCommandJudgeNothing) {
    RunJudge j;
    EXPECT_EQ(j.onReport(kDetect, 0).role, R::Outside);
    EXPECT_EQ(j.onReport(kBurnFailed, 0).role, R::Stray);
    EXPECT_EQ(j.onReport(kStage, 0).role, R::Stray);
    // The programmer's own stand-alone burns are its results, shown as it reports them.
    EXPECT_EQ(j.onReport(status(0x0F, true), 0).role, R::Outside);
    EXPECT_EQ(j.onReport(status(0x10, false, true), 0).role, R::Outside);

    j.begin(plan(RunKind::Burn), 0);
    // A late report of the last burn arrives while this chip's data is still being sent.
    EXPECT_EQ(j.onReport(kBurnFailed, 5).role, R::Stray);
    EXPECT_EQ(j.onReport(kDetect, 5).role, R::Outside);
    j.burnCommand();
    EXPECT_EQ(j.onReport(kBurnDone, 10).role, R::Verdict);
}

TEST(RunJudge, SilenceEndsInATimeoutAndALateVerdictIsNotedOnce) {
    Armed a;
    a.j.transferEnded(true, false, 100);
    EXPECT_EQ(a.j.poll(1099, true), std::nullopt);
    const auto end = a.j.poll(1100, true);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->pass);
    EXPECT_EQ(end->end, RunEnd::TimedOut);
    EXPECT_TRUE(end->judgedAtEnd);
    const Judgement late = a.j.onReport(kBurnDone, 1200);
    EXPECT_EQ(late.role, R::Stray);
    EXPECT_TRUE(late.late);
    EXPECT_FALSE(a.j.onReport(kBurnDone, 1300).late);
}

TEST(RunJudge, EveryReportRestartsTheVerdictBound) {
    Armed a;
    a.j.transferEnded(true, false, 0);
    a.report(kStage, 900);
    EXPECT_EQ(a.j.poll(1899, true), std::nullopt);
    EXPECT_TRUE(a.j.poll(1900, true));
}

TEST(RunJudge, ATransferThatFailsIsTheRunsFailure) {
    Armed a;
    EXPECT_EQ(a.j.transferEnded(false, false, 10), std::optional<bool>(false));
    // What the programmer still reports of the burn follows the verdict.
    EXPECT_EQ(a.report(kBurnFailed, 20).role, R::FollowUp);
    const auto end = a.j.poll(20, true);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->end, RunEnd::TransferFailed);
    EXPECT_FALSE(end->judgedAtEnd);

    Armed refused; // the station would not send it: a refusal, not a failure of the link
    EXPECT_EQ(refused.j.transferEnded(false, false, 10, true), std::optional<bool>(false));
    const auto held = refused.j.poll(110, true); // once the programmer has been quiet
    ASSERT_TRUE(held);
    EXPECT_EQ(held->end, RunEnd::TransferRefused);
}

TEST(RunJudge, AClosedLinkEndsTheRunAtOnce) {
    {
        Armed a; // unplugged during the transfer
        EXPECT_EQ(a.j.transferEnded(false, true, 10), std::optional<bool>(false));
        const auto end = a.j.poll(10, false);
        ASSERT_TRUE(end);
        EXPECT_EQ(end->end, RunEnd::LinkClosed);
    }
    {
        Armed a; // unplugged during the burn
        a.j.transferEnded(true, false, 10);
        a.report(kStage, 20);
        const auto end = a.j.poll(21, false);
        ASSERT_TRUE(end);
        EXPECT_FALSE(end->pass);
        EXPECT_EQ(end->end, RunEnd::LinkClosed);
        EXPECT_TRUE(end->judgedAtEnd);
    }
}

TEST(RunJudge, AStoredImageCountsOnlyWithItsConfirmation) {
    struct Case {
        const char* name;
        RunKind kind;
        std::vector<ReportFacts> reports;
        bool transferDone;
        std::optional<bool> verdict; // nullopt: the bound ends it
    };
    const Case cases[] = {
        {"plain stored", RunKind::StoreByReport, {status(0x0D), status(0x49)}, true, true},
        {"plain refused", RunKind::StoreByReport, {status(0x67), status(0x48)}, true, false},
        {"offline checksum", RunKind::StoreByReport, {status(0x0E)}, true, false},
        {"flash written, never checked", RunKind::StoreByReport, {status(0x0D)}, true, std::nullopt},
        {"no answer", RunKind::StoreByReport, {}, true, std::nullopt},
        {"pages acknowledged", RunKind::ByTransfer, {status(0x3F), status(0x3F)}, true, true},
        {"block refused", RunKind::ByTransfer, {status(0x49), status(0x48)}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Armed a(c.kind, 0x49);
        std::uint32_t t = 0;
        std::optional<bool> verdict;
        for (const auto& r : c.reports) {
            const Judgement j = a.report(r, t += 10);
            if (j.role == R::Verdict) verdict = j.pass;
        }
        if (auto taken = a.j.transferEnded(c.transferDone, false, t += 10)) verdict = *taken;
        auto end = a.j.poll(t, true);
        if (!end) end = a.j.poll(t + 1000, true);
        ASSERT_TRUE(end);
        EXPECT_EQ(end->pass, c.verdict.value_or(false));
        EXPECT_EQ(end->end == RunEnd::TimedOut, !c.verdict && c.transferDone);
        if (c.verdict && c.transferDone) {
            EXPECT_EQ(verdict, c.verdict);
        }
    }
}

TEST(RunJudge, PlansFollowTheVariantAndModeValue) {
    using V = jobs::TransferVariant;
    const auto& family = jobs::jobFamily(chips::Family::EP27C42);
    struct Case {
        V variant;
        int mode;
        RunKind kind;
        std::uint8_t confirmation;
    };
    const Case cases[] = {
        {V::Plain, 0, RunKind::Burn, 0},          {V::Plain, 1, RunKind::StoreByReport, 0x49},
        {V::Paged, 0, RunKind::Burn, 0},          {V::Paged, 1, RunKind::ByTransfer, 0},
        {V::OfflineBlock, 0, RunKind::ByTransfer, 0}, {V::OfflineBlock, 3, RunKind::Burn, 0},
        {V::OfflineBlock, 5, RunKind::StoreByReport, 0x0D},
    };
    for (const auto& c : cases) {
        const RunPlan p = runPlan(c.variant, c.mode, family);
        EXPECT_EQ(p.kind, c.kind) << jobs::variantName(c.variant) << " " << c.mode;
        EXPECT_EQ(p.confirmation, c.confirmation) << jobs::variantName(c.variant) << " " << c.mode;
        EXPECT_EQ(p.verdictMs, static_cast<std::uint32_t>(family.verdictMs));
    }
}

TEST(RunJudge, EffectsShowOnlyWhatTheRoleAllows) {
    const Effect line{Effect::Kind::EventLog, "x", 0};
    const Effect beep{Effect::Kind::Sound, {}, static_cast<int>(Sound::Error)};
    const Effect bar{Effect::Kind::Progress, {}, 60};
    const Effect state{Effect::Kind::LinkState, {}, 6};
    const Effect fail{Effect::Kind::Notify, {}, static_cast<int>(Notification::ResultFail)};
    const Effect pass{Effect::Kind::Notify, {}, static_cast<int>(Notification::ResultPass)};
    const Effect enable{Effect::Kind::Notify, {}, static_cast<int>(Notification::ControlsEnable)};
    const std::vector<Effect> all{line, state, beep, bar, fail, enable};
    const Effect lateNote{Effect::Kind::EventLog, std::string(run_text::kLateVerdict), 0};

    EXPECT_EQ(effectsFor({R::Outside}, all), all);
    EXPECT_EQ(effectsFor({R::Stray}, all), (std::vector<Effect>{line, state, enable}));
    EXPECT_EQ(effectsFor({R::Stray, false, true}, all), (std::vector<Effect>{line, state, lateNote, enable}));
    EXPECT_EQ(effectsFor({R::FollowUp}, all), (std::vector<Effect>{line, state, bar, enable}));
    // A confirmation without an ending of its own becomes the verdict.
    EXPECT_EQ(effectsFor({R::Verdict, true}, {line, state, enable}), (std::vector<Effect>{line, state, pass, enable}));
    EXPECT_EQ(effectsFor({R::Verdict, false}, all), (std::vector<Effect>{line, state, beep, bar, fail, enable}));
}

} // namespace
} // namespace kelvor::link
