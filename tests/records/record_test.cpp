// Production records from decoded reports: the numbers the receiver reads, the verdict a run gets,
// and the CSV and summary the quality people read.
#include "chips/catalog.h"
#include "records/export.h"
#include "records/record.h"

#include <gtest/gtest.h>

#include <array>

namespace kelvor::records {
namespace {

using link::kReportSize;
using Report = std::array<std::uint8_t, kReportSize>;

Report status(int code, std::initializer_list<std::pair<int, int>> bytes = {}) {
    Report r{};
    r[0] = 0x13;
    r[2] = static_cast<std::uint8_t>(code);
    for (auto [i, v] : bytes) r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    return r;
}

link::ReportReading read(const Report& r, const char* model, std::uint32_t ms = 25) {
    link::ReceiverState st;
    link::ReportContext ctx;
    ctx.model = chips::findModel(model);
    link::ReportReading reading;
    link::decodeReport(r, ms, st, ctx, &reading);
    return reading;
}

double measured(const link::ReportReading& r, std::string_view name) {
    for (const auto& m : r.measures)
        if (m.name == name) return m.value;
    ADD_FAILURE() << "no " << name;
    return -1;
}

TEST(Reading, TheNumbersBehindTheLines) {
    // f = 6300 x 3200 Hz against 20 MHz, printed "20.1600MHz, delta=0.8000%".
    const auto osc = read(status(0x13, {{3, 0x5A}, {4, 6300 >> 8}, {5, 6300 & 0xFF}}), "EP2702");
    EXPECT_EQ(osc.status, 0x13);
    EXPECT_EQ(osc.ms, 25);
    EXPECT_EQ(osc.line, "OSC 校准成功!  OSC=0x5a, 25ms");
    EXPECT_EQ(measured(osc, "osc.trim"), 0x5A);
    EXPECT_NEAR(measured(osc, "osc.freq_hz"), 20.16e6, 1);
    EXPECT_NEAR(measured(osc, "osc.delta_pct"), 0.8, 1e-4);

    // Group B slow oscillator: 16384000 / 16000, printed "1024.0000KHz".
    const auto slow = read(status(0x3D, {{3, 0x21}, {4, 16000 >> 8}, {5, 16000 & 0xFF}}), "EP2706");
    EXPECT_EQ(measured(slow, "slow.trim"), 0x21);
    EXPECT_NEAR(measured(slow, "slow.freq_hz"), 1024e3, 1e-3);
    EXPECT_EQ(slow.measures.size(), 3u); // nothing of the main oscillator

    // A voltage trim: 1300 mV at trim 0x12, an alias code gives the row's first code.
    const auto v = read(status(0x94, {{3, 0x12}, {4, 1300 >> 8}, {5, 1300 & 0xFF}}), "EP3901");
    EXPECT_EQ(v.status, 0x28);
    EXPECT_EQ(measured(v, "v1p3.trim"), 0x12);
    EXPECT_NEAR(measured(v, "v1p3.volts"), 1.3, 1e-6);

    // A count of 0 measures no frequency (the line says so), and a plain row measures nothing.
    EXPECT_EQ(read(status(0x13, {{3, 1}}), "EP27C42").measures.size(), 1u);
    EXPECT_TRUE(read(status(0x05), "EP2702").measures.empty());
    // Firmware version and the stand-alone key's UID.
    EXPECT_EQ(read(status(0x1B, {{12, 0x24}, {13, 0x20}, {14, 0x28}, {15, 0x10}}), "EP2702").firmwareVersion,
              0x20241028u);
    EXPECT_EQ(read(status(0x0F, {{16, 0x78}, {17, 0x56}, {18, 0x34}, {19, 0x12}}), "EP2702").uid, 0x12345678u);
}

StageEvent ev(int code, std::string line, int ms, bool failed = false, bool after = false,
              std::vector<link::Measure> m = {}) {
    StageEvent e;
    e.reading.status = static_cast<std::uint8_t>(code);
    e.reading.line = std::move(line);
    e.reading.ms = ms;
    e.reading.measures = std::move(m);
    e.failed = failed;
    e.afterVerdict = after;
    return e;
}

struct VerdictCase {
    const char* name;
    std::vector<StageEvent> events;
    RunOutcome outcome;
    Verdict verdict;
    std::optional<int> failCode;
};

TEST(RecordRun, VerdictAndFailingStage) {
    const std::vector<VerdictCase> cases = {
        {"pass", {ev(0x00, "芯片初始化成功! 3ms", 3), ev(0x09, "芯片校验成功! 40ms", 40)}, {true}, Verdict::Pass, {}},
        {"fail: the first fail ending, not the closing report",
         {ev(0x01, "芯片ID错误! 5ms", 5, true), ev(0x8E, "芯片烧录失败 1ms", 1, true, true)}, {false},
         Verdict::Fail, 0x01},
        {"programmer refused the image", {ev(0x48, "HEX校验和错误! 9ms", 9, true)}, {false}, Verdict::Refused, 0x48},
        {"timeout", {ev(0x00, "芯片初始化成功! 3ms", 3)}, {false, link::RunEnd::TimedOut}, Verdict::Timeout, {}},
        {"closed link", {}, {false, link::RunEnd::LinkClosed}, Verdict::LinkFailure, {}},
        {"failed transfer", {}, {false, link::RunEnd::TransferFailed}, Verdict::LinkFailure, {}},
        {"transfer the station refused", {}, {false, link::RunEnd::TransferRefused}, Verdict::Refused, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChipRecord r = recordRun({}, c.events, c.outcome);
        EXPECT_EQ(r.verdict, c.verdict);
        EXPECT_EQ(r.failCode, c.failCode);
        EXPECT_EQ(r.stages.size(), c.events.size());
    }
    EXPECT_EQ(recordRun({}, cases[1].events, {false}).failLine, "芯片ID错误! 5ms");
    EXPECT_EQ(refusedJob({}).verdict, Verdict::Refused);
}

TEST(RecordRun, MeasuresTakeTheLastValueOfEachName) {
    const std::vector<StageEvent> events = {
        ev(0x3E, "SLOW OSC 校准! OSC=0x10, 4ms", 4, false, false, {{"slow.trim", 0x10}, {"slow.freq_hz", 128000}}),
        ev(0x13, "OSC 校准成功!  OSC=0x5a, 25ms", 25, false, false, {{"osc.trim", 0x5A}, {"osc.delta_pct", 0.8}}),
        ev(0x3E, "SLOW OSC 校准失败! OSC=0x11, 4ms", 4, true, false, {{"slow.trim", 0x11}}),
    };
    const ChipRecord r = recordRun({}, events, {false});
    EXPECT_EQ(r.slowTrim, 0x11);
    EXPECT_EQ(r.slowFreqHz, 128000);
    EXPECT_EQ(r.oscDeltaPct, 0.8);
    EXPECT_FALSE(r.oscFreqHz);
    EXPECT_EQ(r.measures.size(), 4u);
    EXPECT_EQ(r.stages[2], (Stage{2, 0x3E, "SLOW OSC 校准失败! OSC=0x11, 4ms", 4, true, false}));
}

ChipRecord chip(const char* model, const char* local, Verdict v, std::optional<int> code = {}, const char* line = "") {
    ChipRecord r;
    r.in.model = model;
    r.in.timeLocal = local;
    r.verdict = v;
    r.failCode = code;
    r.failLine = line;
    return r;
}

TEST(Export, CsvQuotesWhatASpreadsheetWouldSplit) {
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");

    ChipRecord r = chip("EP2702", "2026-12-11T08:00:00.000+08:00", Verdict::Fail, 0x14, "OSC 校准失败! OSC=0x5a, 25ms");
    r.in.cksum = 0x1A2B;
    r.stages = {{0, 0x14, "OSC 校准失败! OSC=0x5a, 25ms", 25, true, false}};
    const std::string row = csvRow(r);
    EXPECT_NE(row.find(",0x1a2b,"), std::string::npos);
    EXPECT_NE(row.find(",fail,0x14,\"OSC 校准失败! OSC=0x5a, 25ms\","), std::string::npos);
    EXPECT_NE(row.find("0x14 25ms fail"), std::string::npos);
    // As many fields as the header names (the quoted comma is one field).
    auto fields = [](const std::string& line) {
        int n = 1;
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) ++n;
        }
        return n;
    };
    EXPECT_EQ(fields(row), fields(csvHeader()));
}

TEST(Export, SummaryCountsYieldAndRanksFailures) {
    const std::vector<ChipRecord> rows = {
        chip("EP2702", "2026-12-11T08:10:00.000+08:00", Verdict::Pass),
        chip("EP2702", "2026-12-11T08:20:00.000+08:00", Verdict::Fail, 0x14, "OSC 校准失败! OSC=0x5a, 25ms"),
        chip("EP2702", "2026-12-11T09:05:00.000+08:00", Verdict::Fail, 0x14, "OSC 校准失败! OSC=0x61, 27ms"),
        chip("EP27C42", "2026-12-11T09:15:00.000+08:00", Verdict::Timeout),
        chip("EP27C42", "2026-12-11T09:25:00.000+08:00", Verdict::Pass),
    };
    const Summary s = summarize(rows);
    EXPECT_EQ(s.total, 5);
    EXPECT_EQ(s.byVerdict[static_cast<int>(Verdict::Fail)], 2);
    ASSERT_EQ(s.perModel.size(), 2u);
    EXPECT_EQ(s.perModel[0].key, "EP2702");
    EXPECT_NEAR(s.perModel[0].yieldPct(), 100.0 / 3, 1e-9);
    ASSERT_EQ(s.perHour.size(), 2u);
    EXPECT_EQ(s.perHour[1].key, "2026-12-11 09");
    EXPECT_EQ(s.perHour[1].total, 3);
    // Two trims, one stage: the ranking counts the stage.
    ASSERT_EQ(s.failures.size(), 2u);
    EXPECT_EQ(s.failures[0].key, "0x14 OSC 校准失败!");
    EXPECT_EQ(s.failures[0].total, 2);
    EXPECT_EQ(s.failures[1].key, "timeout");
    EXPECT_NE(renderSummary(s).find("EP27C42"), std::string::npos);
}

TEST(Export, DriftFollowsTheChosenModelInTimeOrder) {
    std::vector<ChipRecord> rows;
    for (int i : {3, 1, 2}) {
        ChipRecord r = chip(i == 2 ? "EP27C42" : "EP2702", "2026-12-11T08:00:00.000+08:00", Verdict::Pass);
        r.in.epochMs = i;
        r.oscDeltaPct = i * 0.1;
        rows.push_back(r);
    }
    rows.push_back(chip("EP2702", "2026-12-11T08:00:00.000+08:00", Verdict::Refused)); // nothing measured
    const ChartSeries cs = chartSeries(rows, "EP2702");
    ASSERT_EQ(cs.drift.size(), 2u);
    EXPECT_EQ(cs.drift[0].epochMs, 1);
    EXPECT_EQ(cs.drift[1].epochMs, 3);
    EXPECT_EQ(cs.perHour.at(0).total, 4);
}

} // namespace
} // namespace kelvor::records
