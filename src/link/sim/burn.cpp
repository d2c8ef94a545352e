#include "link/sim/burn.h"

#include "link/report_decoder.h"

#include <array>
#include <optional>

namespace kelvor::link::sim {
namespace {

// Stage times in milliseconds before the timing factor: roughly what a programmer takes for an
// 8 KB chip, programming 25 ms and reading back 4 ms per kilobyte.
constexpr int kIdMs = 12;
constexpr int kInitMs = 8;
constexpr int kOscMs = 90;
constexpr int kTrimMs = 35;
constexpr int kSlowMs = 60;
constexpr int kStageDoneMs = 5;
constexpr int kConfigWriteMs = 15;
constexpr int kConfigVerifyMs = 8;

int blankMs(std::size_t bytes) {
    return 5 + static_cast<int>(bytes / 256);
}
int writeMs(std::size_t bytes) {
    return 2 + static_cast<int>(bytes * 25 / 1024);
}
int verifyMs(std::size_t bytes) {
    return 2 + static_cast<int>(bytes * 4 / 1024);
}

void push(Steps& steps, std::uint8_t code, int delayMs) {
    steps.push_back({statusReport(code), delayMs});
}

Report verifyReport(const VerifyError& v) {
    // LE16 at report bytes 6, 8 and 10 (values start at byte 3).
    std::array<std::uint8_t, 9> values{};
    const std::uint16_t words[] = {v.address, v.expected, v.read};
    for (int k = 0; k < 3; ++k) {
        values[3 + 2 * k] = static_cast<std::uint8_t>(words[k] & 0xFF);
        values[4 + 2 * k] = static_cast<std::uint8_t>(words[k] >> 8);
    }
    return statusReport(0x08, values);
}

std::uint8_t primaryCode(Failure f) {
    switch (f) {
    case Failure::EmptySocket:
        return 0x02;
    case Failure::WrongId:
        return 0x01;
    case Failure::Layout:
    case Failure::HeadMismatch:
        return 0x1D;
    case Failure::HeadMissing:
        return 0x15;
    case Failure::Checksum:
        return 0x24;
    case Failure::PageCrc:
        return 0x43;
    case Failure::Blank:
        return 0x04;
    case Failure::Verify:
        return 0x08;
    }
    return 0x06;
}

// After a failure's line: release the wait if the line did not, then the NG count.
void closeFailure(Steps& steps, std::uint8_t line, std::uint8_t release, const BurnProfile& profile,
                  Wait wait, chips::Family selected) {
    if (wait != Wait::None && !writesHandshake(line, selected)) push(steps, release, kStageDoneMs);
    if (profile.ending == Ending::Staged) push(steps, 0x8E, kStageDoneMs);
}

std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    const std::size_t even = i & ~std::size_t{1};
    const std::uint16_t lo = even < bytes.size() ? bytes[even] : 0xFF;
    const std::uint16_t hi = even + 1 < bytes.size() ? bytes[even + 1] : 0xFF;
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

// A cell of the image with a bit to clear, from a random place, in the program part when it has one.
std::optional<std::size_t> weakCell(std::span<const std::uint8_t> image, std::size_t mainBytes, Rng& rng) {
    for (std::size_t part : {mainBytes, image.size()}) {
        if (part == 0) continue;
        const auto start = static_cast<std::size_t>(rng.between(0, static_cast<std::int64_t>(part) - 1));
        for (std::size_t k = 0; k < part; ++k) {
            const std::size_t i = (start + k) % part;
            if (image[i] != 0xFF) return i;
        }
    }
    return std::nullopt;
}

} // namespace

void appendFailure(Steps& steps, Failure failure, const BurnProfile& profile, Wait wait,
                   chips::Family selected, const VerifyError& verify) {
    const std::uint8_t code = primaryCode(failure);
    steps.push_back({failure == Failure::Verify ? verifyReport(verify) : statusReport(code), kStageDoneMs});
    // 0x15 ("芯片初始化失败!") answers the start wait; 0x45/0x46 a page or the tail.
    const std::uint8_t release = wait == Wait::PagedStart ? 0x15 : failure == Failure::Blank ? 0x45 : 0x46;
    closeFailure(steps, code, release, profile, wait, selected);
}

bool appendCalibration(Steps& steps, const BurnProfile& profile, int freqIndex, bool trimFails, Wait wait,
                       chips::Family selected, Rng& rng) {
    const bool paged = wait == Wait::PagedStart;
    // Group A is answered by 0x00 at once; the others need 0x47, the only start answer they take.
    const bool groupA = inGroup(ModelGroup::A, selected);
    push(steps, 0x64, kIdMs);
    if (paged && groupA) push(steps, 0x00, kInitMs);
    steps.push_back({oscReport(profile, freqIndex, rng), kOscMs});
    if (paged && !groupA) push(steps, 0x47, kStageDoneMs);
    if (profile.trims != TrimForm::None) {
        if (trimFails) {
            steps.push_back({trimReport(profile, false, true, rng), kTrimMs});
            closeFailure(steps, 0x33, 0x15, profile, wait, selected);
            return false;
        }
        steps.push_back({trimReport(profile, false, false, rng), kTrimMs});
        steps.push_back({trimReport(profile, true, false, rng), kTrimMs});
    }
    if (profile.slow != SlowForm::None) steps.push_back({slowReport(profile, rng), kSlowMs});
    if (paged) push(steps, 0x8A, kStageDoneMs);
    return true;
}

BurnResult appendCellBurn(Steps& steps, const BurnProfile& profile, VirtualOtp& otp,
                          std::span<const std::uint8_t> image, const CellBurn& how, Wait wait,
                          chips::Family selected, Rng& rng) {
    const std::size_t len = image.size();
    const std::size_t mainBytes = std::min(how.mainBytes, len);
    if (how.base > otp.size() || len > otp.size() - how.base) {
        appendFailure(steps, Failure::Layout, profile, wait, selected);
        return {};
    }
    if (how.blankFails || !otp.blank(how.base, len)) {
        appendFailure(steps, Failure::Blank, profile, wait, selected);
        return {};
    }
    push(steps, 0x05, blankMs(len));

    std::vector<std::uint8_t> data(image.begin(), image.end());
    if (how.weakBit) {
        if (const auto cell = weakCell(image, mainBytes, rng)) {
            const std::uint8_t zeros = static_cast<std::uint8_t>(~image[*cell]);
            data[*cell] |= static_cast<std::uint8_t>(zeros & -zeros); // its lowest 0 stays 1
        }
    }
    otp.program(how.base, data);

    // Read back: the first cell that differs from the image, wherever the burn went wrong.
    const auto cells = otp.cells().subspan(how.base, len);
    std::optional<std::size_t> bad;
    for (std::size_t i = 0; i < len && !bad; ++i)
        if (cells[i] != image[i]) bad = i;
    auto fail = [&](std::size_t i) {
        const VerifyError v{static_cast<std::uint16_t>((how.base + i) / 2), wordAt(image, i),
                            wordAt(cells, i)};
        appendFailure(steps, Failure::Verify, profile, wait, selected, v);
        return BurnResult{false, true};
    };

    if (profile.ending == Ending::Classic) {
        push(steps, 0x07, writeMs(len));
        if (bad) return fail(*bad);
        if (wait == Wait::PagedData) push(steps, 0x3F, kStageDoneMs);
        push(steps, 0x09, verifyMs(len));
        return {true, true};
    }
    push(steps, 0x71, writeMs(mainBytes));
    if (bad && *bad < mainBytes) return fail(*bad);
    push(steps, 0x73, verifyMs(mainBytes));
    if (len > mainBytes) {
        push(steps, 0x75, kConfigWriteMs);
        if (bad) return fail(*bad);
        push(steps, 0x77, kConfigVerifyMs);
    }
    if (wait == Wait::PagedData) push(steps, 0x3F, kStageDoneMs);
    push(steps, 0x8B, kStageDoneMs);
    return {true, true};
}

} // namespace kelvor::link::sim
