// The records window over a line's history: 100,000 chips opened, filtered and drawn (the three
// charts and the table) in under 1 s. Offscreen; the database is made once, outside the timing.
#include "records/station/store.h"
#include "records/ui/records_window.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace kelvor::records;

std::string makeDatabase(const QTemporaryDir& dir) {
    const std::string path = (dir.path() + "/records.sqlite").toStdString();
    RecordStore store;
    std::string error;
    if (!store.open(path, RecordStore::Mode::ReadWrite, error)) return {};
    std::mt19937 rng(3);
    const char* models[] = {"EP2702", "EP27C42", "EP39F022", "EP3901"};
    std::vector<ChipRecord> all(100000);
    std::vector<ChipRecord*> ptrs;
    for (int i = 0; i < 100000; ++i) {
        ChipRecord& r = all[static_cast<std::size_t>(i)];
        r.in.epochMs = 1'796'000'000'000LL + i * 24000LL; // 28 days of a busy line
        char local[40];
        const long long hours = i * 24000LL / 3600000;
        std::snprintf(local, sizeof local, "2026-12-%02lldT%02lld:00:00.000+08:00", 1 + hours / 24, hours % 24);
        r.in.timeLocal = local;
        r.in.timeUtc = local;
        r.in.station = "line-3";
        r.in.programmer = "simulated";
        r.in.model = models[i % 4];
        r.in.mode = "online";
        r.in.imagePath = "/srv/images/firmware-v12.hex";
        r.in.cksum = 0x1A2B;
        r.verdict = rng() % 100 < 4 ? Verdict::Fail : Verdict::Pass;
        if (r.verdict == Verdict::Fail) r.failCode = 0x08 + static_cast<int>(rng() % 3), r.failLine = "芯片校验错误! 35ms";
        r.oscDeltaPct = 0.1 + (rng() % 1000) / 2000.0 + i / 400000.0;
        r.durationMs = 700;
        ptrs.push_back(&r);
    }
    return store.addAll(ptrs, error) ? path : std::string();
}

void BM_RecordsWindowOverHundredThousandChips(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-records-XXXXXX"));
    const std::string path = makeDatabase(dir);
    if (path.empty()) {
        state.SkipWithError("cannot make the database");
        return;
    }
    for (auto _ : state) {
        RecordsWindow w(QString::fromStdString(path)); // opens, reads, builds the series and charts
        w.resize(1200, 760);
        const QPixmap drawn = w.grab();                // lays out and paints table and charts
        benchmark::DoNotOptimize(drawn.cacheKey());
        if (w.rowCount() != 100000) state.SkipWithError("not every record shown");
    }
}
BENCHMARK(BM_RecordsWindowOverHundredThousandChips)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
