#pragma once
// One programming run, from the job's start to the programmer's last report of it, and its one
// verdict. The receive thread asks which run a report belongs to and whether it is the verdict; the
// transfer thread says when the burn command goes out; the UI thread starts the run, reports the
// transfer's end and polls for the run's end. Pure: time comes in as millisecond ticks, and the
// station serialises the calls.
//
//   burn              the chip's first pass or fail ending is its verdict; what follows of the same
//                     burn is logged, not judged again; the burn is over at its closing report
//                     (0x09, 0x8B … 0x8E) or after a short quiet time
//   store by report   an image kept in the programmer counts once the programmer confirms it
//                     (plain: 0x49, offline-block: 0x0D); 0x48, 0x0E or a fail ending refuse it
//   by transfer       every block or page was acknowledged (paged store, EP8505 "烧录"): the
//                     completed transfer is the verdict
// A run whose verdict does not come within its family's bound after the transfer end or the last
// report ends as a failure; a transfer that fails, or a link that closes, is the run's failure.
#include "jobs/family_table.h"
#include "link/report_decoder.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kelvor::link {

namespace run_text {
// Event log lines of the runs the programmer leaves without a verdict.
inline constexpr const char* kVerdictTimeout = "等待烧录结果超时,本次判为NG! %dms\n";
inline constexpr std::string_view kLateVerdict = "该结果在等待超时之后才到达,不改变已显示的结果!\n";
} // namespace run_text

// After the verdict, the burn's last reports come within this; a burn without a closing report
// (the oldest families' failures) is over when the programmer has been quiet this long.
inline constexpr std::uint32_t kRunQuietMs = 1000;

enum class RunKind : std::uint8_t { Burn, StoreByReport, ByTransfer };

struct RunPlan {
    RunKind kind = RunKind::Burn;
    std::uint8_t confirmation = 0; // StoreByReport: the status code that confirms the stored image
    std::uint32_t verdictMs = static_cast<std::uint32_t>(jobs::kVerdictMs);
    std::uint32_t quietMs = kRunQuietMs;
};

// The plan of a chip transfer (variant and mode value as the job requested it).
RunPlan runPlan(jobs::TransferVariant variant, int modeValue, const jobs::JobFamily& family);

// What one report says, as far as runs are concerned.
struct ReportFacts {
    std::optional<std::uint8_t> status; // status code of a class 3 kind 1 report
    bool pass = false;                  // a pass ending (WM_RESULT_PASS)
    bool fail = false;                  // a fail ending (WM_RESULT_FAIL)
    bool progress = false;              // moves the progress bar
};
ReportFacts reportFacts(std::span<const std::uint8_t, kReportSize> report, const std::vector<Effect>& effects);

enum class ReportRole : std::uint8_t {
    Outside,  // no run is in progress and nothing in it judges a chip: applied as it is
    Stray,    // a verdict or burn stage outside any run, or before the run's burn command:
              // logged and counted, nothing shown (no face, progress or sound)
    Stage,    // a report of the run in progress before its verdict
    Verdict,  // the run's verdict
    FollowUp, // a report of the run after its verdict: logged and counted, not another verdict
};

struct Judgement {
    ReportRole role = ReportRole::Outside;
    bool pass = false; // Verdict: what it is
    bool late = false; // Stray: a verdict that came after its run had timed out
};

enum class RunEnd : std::uint8_t {
    Judged,         // the programmer gave the verdict (or the completed transfer did)
    TransferFailed, // the transfer did not end well: nothing was burnt or stored as asked
    TransferRefused, // the station would not send the data as it was: nothing went out
    LinkClosed,     // the programmer went away during the run
    TimedOut,       // no verdict within the family's bound
};

struct RunResult {
    bool pass = false;
    RunEnd end = RunEnd::Judged;
    bool judgedAtEnd = false; // the failure verdict was taken by the end itself (timeout, closed link)
};

// The effects of a report as the station applies them in its role: only the verdict's ending is
// shown, a stray report moves nothing on the window, and a late verdict gets its note.
std::vector<Effect> effectsFor(const Judgement& j, std::vector<Effect> effects);

class RunJudge {
public:
    // A job's chip transfer starts. Reports count for it once its burn command goes out.
    void begin(const RunPlan& plan, std::uint32_t now);
    // The run did not start after all (its transfer was refused).
    void cancel() { active_ = false; }
    // Just before the burn command (SET_ZEP) of the chip transfer.
    void burnCommand();
    Judgement onReport(const ReportFacts& facts, std::uint32_t now);
    // The verdict judged by onReport has been shown; the run cannot end before that.
    void delivered();
    // The chip transfer ended (`refused`: the station did not send it). Returns the failure verdict
    // this takes when none came before.
    std::optional<bool> transferEnded(bool done, bool linkClosed, std::uint32_t now, bool refused = false);
    // The run's end, once: after its verdict and the burn's last report, or by a timeout (which
    // takes the failure verdict), or at once when the link is closed.
    std::optional<RunResult> poll(std::uint32_t now, bool linkOpen);

    bool inProgress() const { return active_; }
    // The verdict taken so far, if any.
    std::optional<bool> verdict() const { return verdict_; }

private:
    bool isVerdict(const ReportFacts& f, bool& pass) const;
    bool closes(const ReportFacts& f) const;

    RunPlan plan_;
    bool active_ = false;
    bool armed_ = false;
    bool transferDone_ = false;
    bool linkClosed_ = false;
    bool closed_ = false;
    bool delivering_ = false;
    bool timedOutLast_ = false; // the last run ended by its timeout; a late verdict is noted
    std::optional<bool> verdict_;
    RunEnd end_ = RunEnd::Judged;
    std::uint32_t lastActivity_ = 0; // the run's start, its last report or the transfer's end
};

} // namespace kelvor::link
