// The station's own work for one "烧录" press: reading the pages, image read and decode, job
// preparation with its settings writes, and handing the transfers over. Budget: 1 % of the job's
// pacing floor (plain 8322 bytes: 33 chunks x 10 ms = 330 ms, so 3.3 ms).
#include "app/station/controller.h"
#include "base/strfmt.h"
#include "chips/catalog.h"
#include "jobs/job.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>

namespace {

using namespace kelvor;

std::string record(unsigned type, unsigned offset, const std::uint8_t* data, unsigned n) {
    std::string out = strfmt(":%02X%04X%02X", n, offset, type);
    unsigned sum = n + (offset >> 8) + (offset & 0xFF) + type;
    for (unsigned i = 0; i < n; ++i) {
        out += strfmt("%02X", data[i]);
        sum += data[i];
    }
    return out + strfmt("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

// `bytes` of program data in 16-byte records, and layout-A configuration words for OTP_MODE 0xF.
std::string imageText(unsigned bytes) {
    std::mt19937 rng(1);
    std::array<std::uint8_t, 16> d{};
    std::string text;
    for (unsigned off = 0; off < bytes; off += 16) {
        for (auto& b : d) b = static_cast<std::uint8_t>(rng());
        text += record(0x00, off, d.data(), 16);
    }
    const std::uint8_t upper[] = {0x00, 0x30};
    const std::uint8_t words[] = {0xB5, 0x00, 0xC9, 0x00, 0xAE, 0x00, 0x0F, 0x00, 0xFF, 0x7F};
    return text + record(0x04, 0, upper, 2) + record(0x00, 0, words, 10) + ":00000001FF\r\n";
}

void programPress(benchmark::State& st, const char* model, unsigned imageBytes) {
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    StationEnvironment env;
    env.programDir = dir.path();
    env.prompter = &prompter;
    env.logFile = (dir.path() + "/zep.log").toStdString();
    CQORVENDlg station(env);
    station.startUp();
    station.selectModel(*chips::findModel(model));
    const QString image = dir.path() + "/image.hex";
    std::ofstream(image.toStdString(), std::ios::binary) << imageText(imageBytes);
    station.imagePath = image;
    std::size_t sent = 0;
    station.startTransfers = [&sent](std::vector<jobs::TransferRequest> r) {
        for (const auto& t : r) sent += t.bytes.size();
        return true;
    };
    for (auto _ : st) {
        station.sendMessage(WM_PROGRAM);
        if (station.lastJobCode != jobs::kJobPrepared) {
            st.SkipWithError("job not prepared");
            break;
        }
    }
    benchmark::DoNotOptimize(sent);
}
BENCHMARK_CAPTURE(programPress, plain_EP27C42, "EP27C42", 0x4000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(programPress, plain_EP39F022, "EP39F022", 0x2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(programPress, paged_EP3901, "EP3901", 0x8000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
