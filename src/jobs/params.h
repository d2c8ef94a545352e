#pragma once
// The parameter blocks of a programming job and the rules that turn the operator's texts into their
// fields. Blocks are written byte by byte at their wire offsets (little-endian), never through a
// packed struct, so the bytes on the wire do not depend on the compiler.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kelvor::jobs {

// The fields every block but JobParams39F starts with.
struct BlockHead {
    std::uint16_t freqIndex = 0;
    std::uint16_t chipCode = 0;
    std::uint32_t uidBase = 0;
    std::uint32_t uidStep = 0;
    std::uint16_t supplyMillivolts = 0;
};

struct JobParams {
    BlockHead head;
    std::uint16_t fastClockCal = 0;
};

struct JobParamsLong {
    BlockHead head;
    std::uint16_t calibrationSelect = 0;
    std::uint16_t firmwareSelect = 0;
    std::uint16_t autoVoltage = 0;
    std::array<std::uint8_t, 22> imageName{};
    std::uint16_t eepromInitMillivolts = 0;
    std::uint16_t clockIndex = 0;
};

struct JobParams39F {
    std::uint16_t chipCode = 0;
    std::uint32_t uidBase = 0;
    std::uint32_t uidStep = 0;
    std::uint16_t supplyMillivolts = 0;
    std::uint16_t clockIndex = 0;
    std::array<std::uint8_t, 3> clockOutPin{};
    std::uint8_t select32M = 0;
    std::uint16_t imageLength = 0;
    std::uint8_t eraseMode = 0;
    std::uint8_t select32MAlt = 0;
};

std::array<std::uint8_t, 32> serialize(const JobParams& p);
std::array<std::uint8_t, 64> serialize(const JobParamsLong& p);
std::array<std::uint8_t, 52> serialize(const JobParams39F& p);
// Writes the head at its offsets 0x0A-0x1B; the block must hold at least 0x1C bytes.
void writeHead(std::span<std::uint8_t> block, const BlockHead& head);

// Batch and increment texts: base 16 as strtoul reads it (leading blanks, optional sign, optional
// 0x, digits up to the first non-digit); a value above 0xFFFFFFFF gives 0xFFFFFFFF, no digits 0,
// and a minus sign negates modulo 2^32 ("-1" gives 0xFFFFFFFF).
std::uint32_t uidTextValue(std::string_view text);

// The measured supply voltage: the text's decimal value (leading blanks, sign, fraction, exponent;
// 0 when there is no number) in single precision, times 1000, minus the fixed offset of 2 mV,
// truncated toward zero. `millivolts` keeps the full value for the range check; `wire` is the
// 16-bit field ("AUTO" reads as 0 and gives 0xFFFE).
struct SupplyVoltage {
    std::int64_t millivolts = 0;
    std::uint16_t wire = 0;
    bool finite = true;
};
SupplyVoltage supplyVoltage(std::string_view text);
inline constexpr int kMinSupplyMillivolts = 3000;
inline constexpr int kMaxSupplyMillivolts = 5500;
bool supplyVoltageInRange(const SupplyVoltage& v);

// The station's hex rule for the factory start address and the PDO items: upper-cased, "A"-"F"
// give 10-15 and every other character (code - 48), summed positionally in base 16 modulo 2^32.
// It never rejects; callers that need real hex digits check them first.
std::int32_t hexTextValue(std::string_view text);

// Decimal integer of the text's leading digits (blanks and a sign allowed; 0 when none), 16 bits.
std::uint16_t decimalTextValue16(std::string_view text);

// The long block's image name: the file name of `path` (after its last "\"; "/" counts as a
// separator too, since paths on Linux use it), one byte per UTF-16 code unit (its low byte), cut to
// 22 or padded to 22 with "*".
std::array<std::uint8_t, 22> imageName(std::string_view path);

// The first three characters of the clock pin text, low byte of each UTF-16 code unit, 0 beyond it.
std::array<std::uint8_t, 3> clockOutPin(std::string_view pinText);

// 0 "Erase Full Chip", 1 "Erase Sectors", 2 "Do not Erase": the last checked box in that order.
std::uint8_t eraseMode(bool full, bool sectors, bool none);

// Bit 0 SLOSC, bit 1 EEPROM, bit 2 OP.
std::uint16_t calibrationSelect(bool slosc, bool eeprom, bool op);

// Entry 0 "测试固件" gives 1, entry 1 "检空片固件" 2, anything else 0.
std::uint16_t firmwareSelect(int firmwareIndex);

} // namespace kelvor::jobs
