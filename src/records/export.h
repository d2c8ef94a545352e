#pragma once
// Records as the people who query them read them: CSV rows for spreadsheets, JSON lines for
// scripts, the summary (counts, yield per model and per hour, failures ranked) and the series the
// records window draws. One column table serves CSV and JSON, so both say the same.
#include "base/json_line.h"
#include "records/record.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace kelvor::records {

// The export columns in order (the store's column names, plus "stages" and "measures").
std::vector<std::string_view> columnNames();
std::string csvHeader();
std::string csvRow(const ChipRecord& r);
Json jsonRecord(const ChipRecord& r);
// One CSV field: quoted when it holds a comma, quote or line break.
std::string csvField(std::string_view text);

// How a failure is counted in the ranking: its status code and the start of its line
// ("0x14 OSC 校准失败!"), or the verdict when no report failed ("timeout").
std::string failureLabel(const ChipRecord& r);

struct Count {
    std::string key;
    int total = 0;
    int passed = 0;
    double yieldPct() const { return total ? 100.0 * passed / total : 0.0; }
};

struct Summary {
    int total = 0;
    int byVerdict[std::size(kVerdicts)] = {};
    std::vector<Count> perModel;   // by model name
    std::vector<Count> perHour;    // by local hour "YYYY-MM-DD HH", oldest first
    std::vector<Count> failures;   // by failureLabel, most frequent first (total = count)
};
Summary summarize(const std::vector<ChipRecord>& records);
std::string renderSummary(const Summary& s);

// What the records window draws.
struct DriftPoint {
    std::int64_t epochMs = 0;
    double deltaPct = 0;
};
struct ChartSeries {
    std::vector<Count> perHour;   // passed and failed (total - passed) per hour, or per day
    std::vector<Count> failures;  // the ranking, at most `kMaxFailureBars`
    std::vector<DriftPoint> drift; // oscillator delta of each chip of the model, oldest first
};
inline constexpr std::size_t kMaxFailureBars = 10;
// Beyond this many hours the bars are per day ("YYYY-MM-DD"); beyond this many chips the drift
// shows the mean of equal runs of consecutive chips, so a long history stays readable and quick.
inline constexpr std::size_t kMaxHourBars = 48;
inline constexpr std::size_t kMaxDriftPoints = 2000;
ChartSeries chartSeries(const std::vector<ChipRecord>& records, std::string_view driftModel);

} // namespace kelvor::records
