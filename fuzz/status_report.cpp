// The status-report decoder: 64 report bytes and a context (model, frequency, presses, receiver
// state, tick, a transfer image of any length) to effects. The decoder may read only inside the
// report and the transfer image (a heap copy of exactly its length, so AddressSanitizer sees any
// read past it); its last effect is always WM_CONTROLS_ENABLE and the time base ends at `now`.
#include "chips/catalog.h"
#include "link/report_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    constexpr std::size_t kContext = 16;
    if (size < kContext + link::kReportSize) return 0;
    const auto models = chips::models();
    link::ReportContext ctx;
    ctx.model = data[0] < models.size() ? &models[data[0]] : nullptr;
    ctx.freqIndex = static_cast<std::int8_t>(data[1]);
    ctx.programPresses = data[2] | data[3] << 8;
    link::ReceiverState state;
    state.passCount = data[4];
    state.failCount = data[5];
    state.hwVersionSeen = data[6] & 1;
    state.progressByReport = data[6] & 2;
    std::uint32_t base = 0, now = 0;
    std::memcpy(&base, data + 8, 4);
    std::memcpy(&now, data + 12, 4);
    state.timeBase = base;
    state.lastEventTick = base;

    std::array<std::uint8_t, link::kReportSize> report{};
    std::memcpy(report.data(), data + kContext, link::kReportSize);
    const std::vector<std::uint8_t> image(data + kContext + link::kReportSize, data + size);
    ctx.transferImage = image;

    const auto effects = link::decodeReport(report, now, state, ctx);
    if (effects.empty()) std::abort();
    const auto& last = effects.back();
    if (last.kind != link::Effect::Kind::Notify || last.notification() != link::Notification::ControlsEnable)
        std::abort();
    if (state.timeBase != now) std::abort();
    return 0;
}
