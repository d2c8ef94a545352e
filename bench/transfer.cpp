// Transfer wall time against a programmer that takes every call and answers every wait at once.
// What remains is the pacing the station imposes (chunks x pause); the station's own work per
// chunk must stay within 3 % of that floor. A run above it is reported as an error.
// jobs/job.h ahead of the Qt headers: image_check.h has a member named like Qt's `slots` macro.
#include "jobs/job.h"

#include "app/station/controller.h"
#include "link/station/transfer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace kelvor;
using namespace kelvor::link;

// Answers each announcing command while it is issued, as the fastest programmer could.
class InstantProgrammer : public Programmer {
public:
    explicit InstantProgrammer(LinkGlobals& g) : g_(g) {}
    void setDeviceId(std::string_view) override {}
    int getDllVersion() override { return 0x0100; }
    int getDeviceCount() override { return 1; }
    int isConnected() override { return 1; }
    int openDevice(int) override { return 1; }
    int closeDevice(int) override { return 0; }
    std::string devicePathName() override { return "\\\\?\\HID#VID_0B7A&PID_0731#bench"; }
    int setLed(int, int) override { return 0; }
    int uartConfig(int) override { return 0; }
    int otpSend(int, int length, const std::uint8_t* data) override {
        benchmark::DoNotOptimize(data[length > 0 ? length - 1 : 0]);
        return 0;
    }
    int otpRecv(std::uint8_t*, std::uint8_t*) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }
    int setZep(int) override { return 0; }
    int zepIap(int command, int, int, int) override {
        switch (command) {
        case 12: g_.setLinkState(4); break;
        case 10:
        case 11: g_.setLinkState(10); break;
        case 5:
        case 6: g_.setLinkState(1); break;
        case 14: g_.setLinkState(13); break;
        default: break;
        }
        return 0;
    }
    int lastOsError() override { return 0; }
    std::string description() const override { return "instant benchmark programmer"; }

private:
    LinkGlobals& g_;
};

struct Station {
    Station() {
        StationEnvironment env;
        env.programDir = dir.path();
        env.prompter = &prompter;
        env.logFile = (dir.path() + "/zep.log").toStdString();
        controller = std::make_unique<CQORVENDlg>(env);
        g.g_linkOpen = 1;
        queue = std::make_unique<TransferQueue>(*controller, std::make_shared<InstantProgrammer>(g), g);
    }
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<CQORVENDlg> controller;
    LinkGlobals g;
    std::unique_ptr<TransferQueue> queue;
};

// Pauses of the station's own timing: the floor of each variant.
double floorSeconds(TransferKind kind, int length) {
    const TransferTiming t;
    auto seconds = [](std::chrono::microseconds d) { return std::chrono::duration<double>(d).count(); };
    const int blocks = (length + 2047) / 2048;
    switch (kind) {
    case TransferKind::Plain: return (length + 255) / 256 * seconds(t.chunkPause);
    // The program chunks, the 64-byte send before them and the tail after them.
    case TransferKind::Paged: return ((length - 130) / 256 + 2) * seconds(t.sendPause);
    case TransferKind::OfflineBlock:
    case TransferKind::Firmware: return blocks * 8 * seconds(t.chunkPause);
    default: return 0;
    }
}

void runTransfer(benchmark::State& state, TransferKind kind, int length) {
    Station s;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length), 0x5A);
    const double floor = floorSeconds(kind, length);
    double worst = 0;
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        bool started;
        if (kind == TransferKind::Firmware) {
            started = s.queue->startFirmware(bytes);
        } else {
            const auto variant = kind == TransferKind::Paged          ? jobs::TransferVariant::Paged
                                 : kind == TransferKind::OfflineBlock ? jobs::TransferVariant::OfflineBlock
                                                                      : jobs::TransferVariant::Plain;
            std::vector<jobs::TransferRequest> run;
            run.push_back({variant, 1, bytes});
            started = s.queue->start(std::move(run));
        }
        if (!started) {
            state.SkipWithError("the queue refused the run");
            break;
        }
        // This thread is the UI thread: it delivers the posted updates and the notification.
        while (s.queue->busy()) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(elapsed);
        worst = std::max(worst, elapsed);
        total += elapsed;
        ++runs;
        QCoreApplication::processEvents();
    }
    if (runs == 0) return;
    const double mean = total / runs;
    const double overhead = (mean - floor) / floor * 100;
    state.counters["floor_ms"] = floor * 1000;
    state.counters["mean_ms"] = mean * 1000;
    state.counters["worst_ms"] = worst * 1000;
    state.counters["overhead_pct"] = overhead;
    if (overhead > 3) state.SkipWithError("transfer overhead above 3 % of the pacing floor");
}

void BM_Plain8322(benchmark::State& s) { runTransfer(s, TransferKind::Plain, 8322); }
void BM_Plain32898(benchmark::State& s) { runTransfer(s, TransferKind::Plain, 32898); }
void BM_Paged32898(benchmark::State& s) { runTransfer(s, TransferKind::Paged, 32898); }
void BM_Offline5000(benchmark::State& s) { runTransfer(s, TransferKind::OfflineBlock, 5000); }
void BM_Firmware5000(benchmark::State& s) { runTransfer(s, TransferKind::Firmware, 5000); }

BENCHMARK(BM_Plain8322)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Plain32898)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Paged32898)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Offline5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Firmware5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the UI thread's event loop for the posted updates
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
