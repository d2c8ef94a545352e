#include "jobs/params.h"

#include "base/settings.h"
#include "image/buffers.h"
#include "jobs/text_units.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace kelvor::jobs {
namespace {

using image::writeLe16;

void writeLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The decimal number at the start of the text as strtod reads it, restricted to plain decimal
// notation (no "inf", "nan" or hex floats) and independent of the process locale.
double leadingDecimal(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && isBlank(t[i]))
        ++i;
    std::string number;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') number.push_back('-');
        ++i;
    }
    std::size_t mantissaDigits = 0;
    while (i < t.size() && isDigit(t[i]))
        number.push_back(t[i++]), ++mantissaDigits;
    if (i < t.size() && t[i] == '.') {
        number.push_back(t[i++]);
        while (i < t.size() && isDigit(t[i]))
            number.push_back(t[i++]), ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0.0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) exponent.push_back(t[j++]);
        if (j < t.size() && isDigit(t[j])) {
            while (j < t.size() && isDigit(t[j]))
                exponent.push_back(t[j++]);
            if (exponent[1] == '+') exponent.erase(1, 1);
            number += exponent;
        }
    }
    double value = 0.0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // strtod's answer: overflow gives infinity, underflow zero.
        const bool negative = number[0] == '-';
        const auto e = number.find('e');
        const bool bigExponent = e != std::string::npos && number[e + 1] != '-';
        if (!bigExponent) return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return value;
}

} // namespace

void writeHead(std::span<std::uint8_t> b, const BlockHead& h) {
    if (b.size() < 0x1C) return;
    writeLe16(&b[0x0A], h.freqIndex);
    writeLe16(&b[0x0E], h.chipCode);
    writeLe32(&b[0x10], h.uidBase);
    writeLe32(&b[0x14], h.uidStep);
    writeLe16(&b[0x18], h.supplyMillivolts);
}

std::array<std::uint8_t, 32> serialize(const JobParams& p) {
    std::array<std::uint8_t, 32> b{};
    writeHead(b, p.head);
    writeLe16(&b[0x1A], p.fastClockCal);
    return b;
}

std::array<std::uint8_t, 64> serialize(const JobParamsLong& p) {
    std::array<std::uint8_t, 64> b{};
    writeHead(b, p.head);
    writeLe16(&b[0x20], p.calibrationSelect);
    writeLe16(&b[0x22], p.firmwareSelect);
    writeLe16(&b[0x24], p.autoVoltage);
    for (std::size_t i = 0; i < p.imageName.size(); ++i)
        b[0x26 + i] = p.imageName[i];
    writeLe16(&b[0x3C], p.eepromInitMillivolts);
    writeLe16(&b[0x3E], p.clockIndex);
    return b;
}

std::array<std::uint8_t, 52> serialize(const JobParams39F& p) {
    std::array<std::uint8_t, 52> b{};
    writeLe16(&b[0x02], p.chipCode);
    writeLe32(&b[0x04], p.uidBase);
    writeLe32(&b[0x08], p.uidStep);
    writeLe16(&b[0x0C], p.supplyMillivolts);
    writeLe16(&b[0x2A], p.clockIndex);
    for (std::size_t i = 0; i < p.clockOutPin.size(); ++i)
        b[0x2C + i] = p.clockOutPin[i];
    b[0x2F] = p.select32M;
    writeLe16(&b[0x30], p.imageLength);
    b[0x32] = p.eraseMode;
    b[0x33] = p.select32MAlt;
    return b;
}

std::uint32_t uidTextValue(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && isBlank(t[i]))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    // "0x" is a prefix only when a hex digit follows; otherwise the "0" is the number.
    if (i + 2 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X') && hexDigit(t[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < t.size() && hexDigit(t[i]) >= 0; ++i) {
        value = value * 16 + static_cast<std::uint64_t>(hexDigit(t[i]));
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull; // keeps the accumulator bounded over long texts
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    const auto v = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - v) : v;
}

SupplyVoltage supplyVoltage(std::string_view text) {
    SupplyVoltage out;
    const double d = leadingDecimal(text);
    // The reading is held in single precision before scaling; that is why "4.501" gives 4498.
    float f;
    if (std::isinf(d) || std::fabs(d) > static_cast<double>(FLT_MAX))
        f = d < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    else
        f = static_cast<float>(d);
    const double mv = std::trunc(static_cast<double>(f) * 1000.0 - 2.0);
    if (!std::isfinite(mv) || std::fabs(mv) >= 9.2e18) {
        out.finite = false;
        out.millivolts =
            mv < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
        out.wire = 0;
        return out;
    }
    out.millivolts = static_cast<std::int64_t>(mv);
    out.wire = static_cast<std::uint16_t>(static_cast<std::uint64_t>(out.millivolts) & 0xFFFF);
    return out;
}

bool supplyVoltageInRange(const SupplyVoltage& v) {
    // The full value is checked, not its 16 wire bits: "70.036" must not pass as 4498 mV.
    return v.finite && v.millivolts >= kMinSupplyMillivolts && v.millivolts <= kMaxSupplyMillivolts;
}

std::int32_t hexTextValue(std::string_view text) {
    std::uint32_t acc = 0;
    for (char16_t u : utf16Units(text)) {
        if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
        const std::int32_t d = (u >= u'A' && u <= u'F') ? u - u'A' + 10 : static_cast<std::int32_t>(u) - 48;
        acc = acc * 16u + static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(acc);
}

std::uint16_t decimalTextValue16(std::string_view text) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(leadingInt(text)) & 0xFFFF);
}

std::array<std::uint8_t, 22> imageName(std::string_view path) {
    const auto sep = path.find_last_of("\\/");
    const std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
    const std::u16string units = utf16Units(name);
    std::array<std::uint8_t, 22> out;
    out.fill('*');
    for (std::size_t i = 0; i < out.size() && i < units.size(); ++i)
        out[i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    return out;
}

std::array<std::uint8_t, 3> clockOutPin(std::string_view pinText) {
    const std::u16string units = utf16Units(pinText);
    std::array<std::uint8_t, 3> out{};
    for (std::size_t i = 0; i < out.size() && i < units.size(); ++i)
        out[i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    return out;
}

std::uint8_t eraseMode(bool full, bool sectors, bool none) {
    std::uint8_t mode = 0;
    if (full) mode = 0;
    if (sectors) mode = 1;
    if (none) mode = 2;
    return mode;
}

std::uint16_t calibrationSelect(bool slosc, bool eeprom, bool op) {
    return static_cast<std::uint16_t>((slosc ? 1 : 0) | (eeprom ? 2 : 0) | (op ? 4 : 0));
}

std::uint16_t firmwareSelect(int firmwareIndex) {
    if (firmwareIndex == 0) return 1;
    if (firmwareIndex == 1) return 2;
    return 0;
}

} // namespace kelvor::jobs
