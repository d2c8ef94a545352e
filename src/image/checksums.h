#pragma once
// Every check value computed over image data.
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvor::image {

// CRC-16/XMODEM register.
std::uint16_t crc16Xmodem(const std::uint8_t* data, std::size_t count);
// CRC-16/MODBUS register with its two bytes exchanged.
std::uint16_t imageCrc(const std::uint8_t* data, std::size_t count);

// Incremental forms for data that arrives in pieces (a file read in chunks). crc16Xmodem starts
// from 0x0000; the MODBUS register starts from 0xFFFF and imageCrc exchanges its bytes at the end.
std::uint16_t crc16XmodemUpdate(std::uint16_t reg, const std::uint8_t* data, std::size_t count);
std::uint16_t modbusCrcUpdate(std::uint16_t reg, const std::uint8_t* data, std::size_t count);

enum class CrcForm {
    Plain,            // identical to imageCrc
    Skip,             // bytes s … s+10 left out
    BlankWords,       // 0x2060-0x207F read as 0xFF/0x3F (sixteen words 0x3FFF)
    SkipBlankWords,   // both of the above
    SkipErasedRecord, // skip, and 0x2040-0x2073 read as 0xFF
    Large,            // skip 0x4050-0x405A, 0x4040-0x4073 read as 0xFF (count 0x4080)
    Small,            // skip 0x1050-0x105A, 0x4040-0x4073 read as 0xFF (count 0x1080)
};
// Never modifies the buffer. skipStart is used by the forms that skip with a caller-given start;
// Large and Small have their own fixed windows. Windows beyond count have no effect.
std::uint16_t maskedImageCrc(const std::uint8_t* data, std::size_t count, CrcForm form, std::size_t skipStart = 0);

// Configuration-block checks over 16-bit words (host order; callers serialise little-endian).
// Word indices must lie inside the block.
void blockCheck16(std::span<std::uint16_t> block, int first, int last, int target);
void blockCheck14(std::span<std::uint16_t> block, int last); // writes W[1]
void blockCheck14Tail(std::span<std::uint16_t> block);       // writes W[15]

} // namespace kelvor::image
