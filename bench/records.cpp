// The production records' costs. A record is committed on the UI thread before the chip's face
// shows, so its write must stay far below the fastest chip's pacing: budget 1 % of it. And a line's
// history (100,000 chips) must open, filter and give the window its chart series in under 1 s.
//
// kFastestChipMs is the shortest burn the simulated programmer paces (a pass of the fastest family,
// `kelvor program --count 50` against it, divided by 50); the counter "floor_pct" is the write's
// share of it. Run from the build folder: the database lives on the disk the station would use,
// not in a RAM-backed /tmp, so the synchronous commit pays for its real flush.
#include "records/export.h"
#include "records/station/store.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>

namespace {

using namespace kelvor::records;

constexpr double kFastestChipMs = 330.0;

ChipRecord typical(std::int64_t epochMs, const std::string& model, std::mt19937& rng) {
    ChipRecord r;
    r.in.epochMs = epochMs;
    r.in.timeUtc = "2026-12-11T00:00:00.000Z";
    char local[40];
    const long long hour = (epochMs / 3600000) % 24, day = 1 + (epochMs / 86400000) % 28;
    std::snprintf(local, sizeof local, "2026-12-%02lldT%02lld:00:00.000+08:00", day, hour);
    r.in.timeLocal = local;
    r.in.station = "line-3";
    r.in.programmer = "simulated";
    r.in.programmerFirmware = "20241028";
    r.in.model = model;
    r.in.family = model;
    r.in.mode = "online";
    r.in.imagePath = "/srv/images/product-a/firmware-v12.hex";
    r.in.imageSize = 23145;
    r.in.imageMtime = "2026-12-01T09:12:33.000Z";
    r.in.imageSha256 = std::string(64, 'c');
    r.in.cksum = 0x1A2B;
    r.in.checkWord = 0x3C4D;
    r.in.uidBase = "FFFFFFFF";
    r.in.uidIncrement = "FFFFFFFF";
    r.in.voltageText = "4.512";
    r.in.millivolts = 4512;
    r.in.frequencyIndex = 6;
    const bool pass = rng() % 100 >= 5;
    r.verdict = pass ? Verdict::Pass : Verdict::Fail;
    const double delta = 0.2 + (rng() % 1000) / 1000.0;
    r.oscTrim = 0x5A;
    r.oscFreqHz = 20e6 * (1 + delta / 100);
    r.oscDeltaPct = delta;
    const char* lines[] = {"芯片ID正确 12ms", "OSC 校准成功!  OSC=0x5a, 25ms", "V1P3_TRIM=0x12,V1P3 Vol=1.3010v,delta=0.0769%,8ms",
                           "V2P15_TRIM=0x10,V2P15 Vol=2.1490v,delta=0.0465%,8ms", "芯片Blank检测成功! 40ms",
                           "芯片编程成功! 180ms", "芯片校验成功! 35ms"};
    int seq = 0;
    for (const char* l : lines) r.stages.push_back({seq++, 0x64 + seq, l, 25, false, false});
    if (!pass) {
        r.stages.back().failed = true;
        r.failCode = 0x08;
        r.failLine = "芯片校验错误! 35ms";
    }
    r.measures = {{"osc.trim", 0x5A}, {"osc.freq_hz", *r.oscFreqHz}, {"osc.delta_pct", delta},
                  {"v1p3.trim", 0x12}, {"v1p3.volts", 1.301}, {"v2p15.trim", 0x10}};
    r.durationMs = 330;
    return r;
}

void BM_RecordWrite(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-records-XXXXXX"));
    RecordStore store;
    std::string error;
    if (!store.open((dir.path() + "/records.sqlite").toStdString(), RecordStore::Mode::ReadWrite, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::mt19937 rng(1);
    std::int64_t t = 0;
    double worstMs = 0, totalMs = 0;
    for (auto _ : state) {
        ChipRecord r = typical(t += 400, "EP2702", rng);
        const auto begin = std::chrono::steady_clock::now();
        if (!store.add(r, error)) state.SkipWithError(error.c_str());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        worstMs = std::max(worstMs, ms);
        totalMs += ms;
    }
    state.counters["floor_pct"] = 100.0 * totalMs / static_cast<double>(state.iterations()) / kFastestChipMs;
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_RecordWrite)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Open a 100,000-chip database, take one model's last week and all of it, and build the series.
void BM_HundredThousandChips(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-records-XXXXXX"));
    const std::string path = (dir.path() + "/records.sqlite").toStdString();
    std::string error;
    {
        RecordStore store;
        if (!store.open(path, RecordStore::Mode::ReadWrite, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::mt19937 rng(7);
        const char* models[] = {"EP2702", "EP27C42", "EP39F022", "EP3901"};
        std::vector<ChipRecord> all;
        all.reserve(100000);
        for (int i = 0; i < 100000; ++i) all.push_back(typical(i * 24000LL, models[i % 4], rng));
        std::vector<ChipRecord*> ptrs;
        for (auto& r : all) ptrs.push_back(&r);
        if (!store.addAll(ptrs, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    std::size_t shown = 0;
    for (auto _ : state) {
        RecordStore reader;
        if (!reader.open(path, RecordStore::Mode::ReadOnly, error)) state.SkipWithError(error.c_str());
        RecordFilter everything;
        everything.brief = true; // what the records window asks for
        const auto rows = reader.query(everything, error);
        const ChartSeries all = chartSeries(rows, "EP2702");
        RecordFilter oneModel = everything;
        oneModel.model = "EP27C42";
        oneModel.sinceMs = 100000LL * 24000 - 7LL * 86400000;
        const auto week = reader.query(oneModel, error);
        const ChartSeries some = chartSeries(week, "EP27C42");
        shown = rows.size() + week.size();
        benchmark::DoNotOptimize(all.drift.size() + some.perHour.size());
    }
    state.counters["rows"] = static_cast<double>(shown);
}
BENCHMARK(BM_HundredThousandChips)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
