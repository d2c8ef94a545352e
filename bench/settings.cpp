// KELVOR.ini reads and writes, small and 50 MB. After its first read a large file must cost what a
// small one does: a read of an unchanged file is one stat and a lookup, and a write of the value
// the file already holds writes nothing. A real change still rewrites the whole file (atomic replace).
#include "base/station/settings_store.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace kelvor;

std::filesystem::path benchDir() {
    return std::filesystem::temp_directory_path() / ("kelvor-bench-" + std::to_string(::getpid()));
}
// The 50 MB file goes when the run ends.
struct RemoveAtExit {
    ~RemoveAtExit() {
        std::error_code ec;
        std::filesystem::remove_all(benchDir(), ec);
    }
} removeAtExit;

// The station's own keys, then `siteBytes` of a site's sections and keys after them.
std::filesystem::path makeFile(const char* name, std::size_t siteBytes) {
    const auto dir = benchDir();
    std::filesystem::create_directories(dir);
    const auto path = dir / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[KELVOR]\r\nDEVICE=EP2706\r\nFREQ=5\r\nVOL=4.500\r\nUIDD=FFFFFFFF\r\nUIDS=FFFFFFFF\r\n"
           "[OpenFile]\r\nFileCountHex=1\r\nFilePathHex=/srv/images/a.hex?\r\n";
    std::size_t written = 0;
    for (int section = 0; written < siteBytes; ++section) {
        const std::string header = "[SITE" + std::to_string(section) + "]\r\n";
        out << header;
        written += header.size();
        for (int k = 0; k < 100 && written < siteBytes; ++k) {
            const std::string line = "KEY" + std::to_string(k) + "=some value of a site tool " + std::to_string(k) + "\r\n";
            out << line;
            written += line.size();
        }
    }
    return path;
}

const std::filesystem::path& smallFile() {
    static const auto p = makeFile("small.ini", 0);
    return p;
}
const std::filesystem::path& largeFile() {
    static const auto p = makeFile("large.ini", std::size_t{50} << 20);
    return p;
}
const std::filesystem::path& fileFor(const benchmark::State& state) {
    return state.range(0) ? largeFile() : smallFile();
}

// The first read of a fresh store: the whole file is read and indexed once.
void BM_FirstRead(benchmark::State& state) {
    const auto& path = fileFor(state);
    for (auto _ : state) {
        SettingsStore s(path);
        benchmark::DoNotOptimize(s.readText("KELVOR", "DEVICE"));
    }
}
BENCHMARK(BM_FirstRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What every later read costs while the file is unchanged; the 50 MB file must match the small one.
void BM_Read(benchmark::State& state) {
    SettingsStore s(fileFor(state));
    s.readText("KELVOR", "DEVICE");
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.readText("KELVOR", "FREQ"));
        benchmark::DoNotOptimize(s.readText("OpenFile", "FilePathHex"));
    }
}
BENCHMARK(BM_Read)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A job start writes FREQ, VOL, UIDD and UIDS, mostly with the values already stored.
void BM_JobStartWrites(benchmark::State& state) {
    SettingsStore s(fileFor(state));
    s.readText("KELVOR", "DEVICE");
    for (auto _ : state) {
        s.writeText("KELVOR", "FREQ", "5");
        s.writeText("KELVOR", "VOL", "4.500");
        s.writeText("KELVOR", "UIDD", "FFFFFFFF");
        s.writeText("KELVOR", "UIDS", "FFFFFFFF");
    }
}
BENCHMARK(BM_JobStartWrites)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A value that changes: the file is rewritten beside itself and renamed over.
void BM_ChangedWrite(benchmark::State& state) {
    SettingsStore s(fileFor(state));
    int i = 0;
    for (auto _ : state) s.writeText("KELVOR", "FREQ", std::to_string(i++ % 9));
}
BENCHMARK(BM_ChangedWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
