// The simulated programmer's own cost while it receives. The station paces its packets (10 ms after
// each 256-byte packet), so against a zero-latency simulator the simulator must stay far below that:
// budget 1 % of the pace, 100 us per packet, and a whole burn (validation, CRCs, cells, reports)
// within a few packets' budget.
#include "image/buffers.h"
#include "image/checksums.h"
#include "jobs/family_table.h"
#include "link/sim/simulated_programmer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace kelvor;
using link::sim::SimulatedProgrammer;

link::sim::SimOptions fast(std::string_view chip) {
    link::sim::SimOptions o;
    o.timing = 0;
    o.recvWait = std::chrono::milliseconds(0);
    o.chip = link::sim::parseSocketChip(chip).chip;
    return o;
}

// A chip image of `family` as its job lays it out: program bytes, the block with its chip code, the
// check word.
std::vector<std::uint8_t> chipImage(chips::Family family) {
    const jobs::JobFamily& f = jobs::jobFamily(family);
    const jobs::JobLayout lay = jobs::jobLayout(f, 0x4000);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(lay.length));
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 37) & 0x3F);
    const std::size_t block = static_cast<std::size_t>(lay.programBytes) + jobs::kBlockOffset;
    std::fill(image.begin() + static_cast<long>(block), image.begin() + static_cast<long>(block) + 0x40, 0);
    image::writeLe16(image.data() + block + (f.block == jobs::BlockType::Params39F ? 0x02 : 0x0E),
                     f.shortCode);
    const std::size_t covered = static_cast<std::size_t>(lay.programBytes) + jobs::kCheckOffset;
    const std::uint16_t check = f.check == jobs::CheckForm::BlankWords
                                    ? image::maskedImageCrc(image.data(), covered, image::CrcForm::BlankWords)
                                    : image::imageCrc(image.data(), covered);
    image::writeLe16(image.data() + covered, check);
    return image;
}

void drain(SimulatedProgrammer& p) {
    link::sim::Report r{};
    while (p.pendingReports() > 0)
        p.otpRecv(nullptr, r.data());
}

// One packet of a plain stream.
void BM_Packet(benchmark::State& state) {
    SimulatedProgrammer p(fast("EP2706"));
    p.openDevice(SimulatedProgrammer::kDeviceIndex);
    const std::vector<std::uint8_t> chunk(256, 0x5A);
    int offset = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.otpSend(offset, 256, chunk.data()));
        offset = (offset + 256) % 32768;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Packet);

// A whole plain burn of 8322 bytes: 33 packets, SET_ZEP, the burn and its reports received.
void BM_PlainBurn(benchmark::State& state) {
    SimulatedProgrammer p(fast("EP2706"));
    p.openDevice(SimulatedProgrammer::kDeviceIndex);
    const std::vector<std::uint8_t> image = chipImage(chips::Family::EP2706);
    for (auto _ : state) {
        for (std::size_t at = 0; at < image.size(); at += 256) {
            const int n = static_cast<int>(std::min<std::size_t>(256, image.size() - at));
            p.otpSend(static_cast<int>(at), n, image.data() + at);
        }
        p.setZep(1);
        drain(p);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}
BENCHMARK(BM_PlainBurn)->Unit(benchmark::kMicrosecond);

// A whole paged transfer of 32898 bytes (EP39F03), kept for stand-alone programming: four pages and
// the tail, each checked and answered. (A paged burn's second start answer keeps a real-time gap,
// which is no cost of the simulator's.)
void BM_PagedStore(benchmark::State& state) {
    SimulatedProgrammer p(fast("EP39F03"));
    p.openDevice(SimulatedProgrammer::kDeviceIndex);
    const std::vector<std::uint8_t> image = chipImage(chips::Family::EP39F03);
    const std::size_t program = image.size() - jobs::kTailBytes;
    for (auto _ : state) {
        p.setZep(2);
        p.otpSend(0, 64, image.data() + image.size() - 66);
        p.zepIap(12, 0, 0, 0);
        for (std::size_t page = 0; page < program; page += jobs::kPageBytes) {
            for (std::size_t at = 0; at < jobs::kPageBytes; at += 256)
                p.otpSend(static_cast<int>(at), 256, image.data() + page + at);
            p.zepIap(10, static_cast<int>(page), jobs::kPageBytes,
                     image::crc16Xmodem(image.data() + page, jobs::kPageBytes));
        }
        p.otpSend(0, jobs::kTailBytes, image.data() + program);
        p.zepIap(11, static_cast<int>(program), jobs::kTailBytes,
                 image::crc16Xmodem(image.data() + program, jobs::kTailBytes));
        drain(p);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}
BENCHMARK(BM_PagedStore)->Unit(benchmark::kMicrosecond);

} // namespace
