#include "image/checksums.h"

#include <array>
#include <cassert>

namespace kelvor::image {
namespace {

constexpr std::array<std::uint16_t, 256> makeXmodemTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t r = static_cast<std::uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b) r = static_cast<std::uint16_t>((r & 0x8000) ? (r << 1) ^ 0x1021 : r << 1);
        t[i] = r;
    }
    return t;
}

constexpr std::array<std::uint16_t, 256> makeModbusTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t r = static_cast<std::uint16_t>(i);
        for (int b = 0; b < 8; ++b) r = static_cast<std::uint16_t>((r & 1) ? (r >> 1) ^ 0xA001 : r >> 1);
        t[i] = r;
    }
    return t;
}

constexpr auto kXmodemTable = makeXmodemTable();
constexpr auto kModbusTable = makeModbusTable();

inline std::uint16_t modbusStep(std::uint16_t reg, std::uint8_t byte) {
    return static_cast<std::uint16_t>((reg >> 8) ^ kModbusTable[(reg ^ byte) & 0xFF]);
}

inline std::uint16_t exchangeBytes(std::uint16_t reg) { return static_cast<std::uint16_t>((reg << 8) | (reg >> 8)); }

// The masks of one maskedImageCrc form: an optional 11-byte skip window and an optional
// substitution window whose fill depends on the parity of the offset.
struct CrcMask {
    bool skip = false;
    std::size_t skipStart = 0;
    bool substitute = false;
    std::size_t first = 0, last = 0;
    std::uint8_t evenFill = 0xFF, oddFill = 0xFF;
};

CrcMask maskOf(CrcForm form, std::size_t s) {
    switch (form) {
    case CrcForm::Plain: return {};
    case CrcForm::Skip: return {true, s};
    case CrcForm::BlankWords: return {false, 0, true, 0x2060, 0x207F, 0xFF, 0x3F};
    case CrcForm::SkipBlankWords: return {true, s, true, 0x2060, 0x207F, 0xFF, 0x3F};
    case CrcForm::SkipErasedRecord: return {true, s, true, 0x2040, 0x2073};
    case CrcForm::Large: return {true, 0x4050, true, 0x4040, 0x4073};
    case CrcForm::Small: return {true, 0x1050, true, 0x4040, 0x4073};
    }
    return {};
}

} // namespace

std::uint16_t crc16XmodemUpdate(std::uint16_t reg, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        reg = static_cast<std::uint16_t>((reg << 8) ^ kXmodemTable[((reg >> 8) ^ data[i]) & 0xFF]);
    return reg;
}

std::uint16_t modbusCrcUpdate(std::uint16_t reg, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) reg = modbusStep(reg, data[i]);
    return reg;
}

std::uint16_t crc16Xmodem(const std::uint8_t* data, std::size_t count) { return crc16XmodemUpdate(0, data, count); }

std::uint16_t imageCrc(const std::uint8_t* data, std::size_t count) {
    return exchangeBytes(modbusCrcUpdate(0xFFFF, data, count));
}

std::uint16_t maskedImageCrc(const std::uint8_t* data, std::size_t count, CrcForm form, std::size_t skipStart) {
    const CrcMask m = maskOf(form, skipStart);
    std::uint16_t reg = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        if (m.skip && i >= m.skipStart && i <= m.skipStart + 10) continue;
        std::uint8_t b = data[i];
        if (m.substitute && i >= m.first && i <= m.last) b = (i & 1) ? m.oddFill : m.evenFill;
        reg = modbusStep(reg, b);
    }
    return exchangeBytes(reg);
}

void blockCheck16(std::span<std::uint16_t> block, int first, int last, int target) {
    assert(first >= 0 && first <= last && static_cast<std::size_t>(last) < block.size() &&
           target >= 0 && static_cast<std::size_t>(target) < block.size());
    std::uint16_t sum = 0;
    for (int i = first; i <= last; ++i) sum = static_cast<std::uint16_t>(sum + block[i]);
    block[target] = static_cast<std::uint16_t>(0xFFFF - sum);
}

void blockCheck14(std::span<std::uint16_t> block, int last) {
    assert(last >= 1 && static_cast<std::size_t>(last) < block.size());
    block[1] = 0x01A0;
    unsigned sum = 0;
    for (int i = 0; i <= last; ++i) sum += block[i];
    block[1] = static_cast<std::uint16_t>(0x3FFE - (sum % 0x4000));
}

void blockCheck14Tail(std::span<std::uint16_t> block) {
    assert(block.size() >= 16);
    unsigned sum = 0;
    for (int i = 4; i <= 14; ++i) sum += block[i];
    block[15] = static_cast<std::uint16_t>(0x3FFF - (sum % 0x4000));
}

} // namespace kelvor::image
