#pragma once
// The fixed image areas every part of the station reads or writes. One instance lives for the whole
// run; it is large, so owners allocate it on the heap.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvor::image {

inline constexpr std::size_t kProgramAreaSize = 65536;
inline constexpr std::size_t kConfigBlockSize = 256;
inline constexpr std::size_t kConfigAreaSize = 16;
inline constexpr std::size_t kIdAreaSize = 8;
inline constexpr std::size_t kEepromAreaSize = 512;
inline constexpr std::size_t kPayloadSize = 131072;
inline constexpr std::size_t kTransferImageSize = 65536;

using ImageKey = std::array<std::uint8_t, 15>;

struct ImageBuffers {
    // programArea and configBlock form one contiguous region, as the job preparation expects.
    std::array<std::uint8_t, kProgramAreaSize + kConfigBlockSize> programRegion{};
    std::array<std::uint8_t, kConfigAreaSize> configArea{};
    std::array<std::uint8_t, kIdAreaSize> idArea{};
    std::array<std::uint8_t, kEepromAreaSize> eepromArea{};
    std::vector<std::uint8_t> payload = std::vector<std::uint8_t>(kPayloadSize);
    std::int32_t payloadLength = 0;
    std::array<std::uint8_t, kTransferImageSize> transferImage{};
    std::int32_t rawLength = 0;
    std::uint16_t rawCrc = 0;

    std::uint8_t* programArea() { return programRegion.data(); }
    const std::uint8_t* programArea() const { return programRegion.data(); }
    std::uint8_t* configBlock() { return programRegion.data() + kProgramAreaSize; }
    const std::uint8_t* configBlock() const { return programRegion.data() + kProgramAreaSize; }
};

// Little-endian 16-bit word access, the layout of every image and block.
inline std::uint16_t readLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t readLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void writeLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void writeLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace kelvor::image
