#pragma once
// Production records: one record per chip attempt, made from what the station knew when the job
// started and what the receiver decoded during the run. Pure: the station supplies the times, the
// file facts and the readings; nothing here reads a file, a clock or a log line.
#include "link/report_decoder.h"
#include "link/run_judge.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::records {

enum class Verdict : std::uint8_t {
    Pass,
    Fail,        // the programmer's fail ending
    Refused,     // nothing burnt: the station refused the job, or the programmer refused the image
    Timeout,     // no verdict within the family's bound
    LinkFailure, // the transfer failed or the programmer went away
};
inline constexpr Verdict kVerdicts[] = {Verdict::Pass, Verdict::Fail, Verdict::Refused, Verdict::Timeout,
                                        Verdict::LinkFailure};
// "pass", "fail", "refused", "timeout", "link-failure"
std::string_view verdictName(Verdict v);
std::optional<Verdict> parseVerdict(std::string_view name);

// What the station knew when the job started.
struct RunInputs {
    std::int64_t epochMs = 0;  // start, milliseconds since 1970 UTC
    std::string timeUtc;       // "2026-12-11T12:34:56.789Z"
    std::string timeLocal;     // "2026-12-11T20:34:56.789+08:00"
    std::string station;       // [RECORDS] STATION or the host name
    std::string programmer;    // "simulated", "vendor-library" or "none"
    std::string programmerFirmware; // as the programmer reported it ("20241028"); empty: not reported
    std::string model;
    std::string family;
    std::string mode;          // "online", "offline 1" … "offline 6", "qc", "stand-alone"
    std::string imagePath;
    std::optional<std::int64_t> imageSize;
    std::string imageMtime;    // UTC, like timeUtc
    std::string imageSha256;   // of the file's bytes as read at the job's start; empty: unreadable
    std::optional<int> cksum;
    std::optional<int> checkWord;
    std::string uidBase;       // "批号(4Byte)" as entered
    std::string uidIncrement;  // "增量(4Byte)" as entered
    std::string voltageText;
    std::optional<int> millivolts; // the voltage text as a number, when it is one
    int frequencyIndex = -1;
    int jobCode = 0;           // 0: the job was prepared; otherwise why it was refused
};

// One report of the run as the receiver decoded it.
struct StageEvent {
    link::ReportReading reading;
    bool failed = false;       // the report was a fail ending
    bool afterVerdict = false; // a follow-up of the same burn
};

struct Stage {
    int seq = 0;
    std::optional<int> code;
    std::string line;
    int ms = 0;
    bool failed = false;
    bool afterVerdict = false;
    bool operator==(const Stage&) const = default;
};

struct NamedValue {
    std::string name;
    double value = 0;
    bool operator==(const NamedValue&) const = default;
};

// How the run ended, as the station saw it.
struct RunOutcome {
    bool pass = false;
    link::RunEnd end = link::RunEnd::Judged;
    int durationMs = 0;
};

struct ChipRecord {
    std::int64_t id = 0; // the store's row id; 0 until stored
    RunInputs in;
    Verdict verdict = Verdict::Fail;
    std::optional<int> failCode;
    std::string failLine;
    std::string uidReported;
    std::vector<Stage> stages;
    std::vector<NamedValue> measures; // every value measured, the last of each name
    std::optional<double> oscTrim, oscFreqHz, oscDeltaPct;
    std::optional<double> slowTrim, slowFreqHz, slowDeltaPct;
    int durationMs = 0;
};

// The record of a job the station refused before anything was sent.
ChipRecord refusedJob(const RunInputs& in);
// The record of a run: its verdict from the outcome and the report that gave it, the failing
// status and line, the stages and the measured values.
ChipRecord recordRun(const RunInputs& in, const std::vector<StageEvent>& events, const RunOutcome& outcome);
// A stage for each event, numbered from `firstSeq`.
std::vector<Stage> stagesOf(const std::vector<StageEvent>& events, int firstSeq = 0);
// Fills the named values and the oscillator fields from the stages' readings.
void takeMeasures(ChipRecord& r, const std::vector<StageEvent>& events);

} // namespace kelvor::records
