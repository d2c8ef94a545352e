#include "image/checksums.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string_view>
#include <vector>

namespace kelvor::image {
namespace {

const std::uint8_t* bytes(std::string_view s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(Checksums, PublishedCheckValues) {
    struct Row {
        std::string_view input;
        std::uint16_t xmodem, image;
    };
    // imageCrc is CRC-16/MODBUS with its bytes exchanged (MODBUS check value 0x4B37).
    const Row rows[] = {
        {"123456789", 0x31C3, 0x374B},
        {"abc", 0x9DD6, 0x4957},
        {"", 0x0000, 0xFFFF},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.input));
        EXPECT_EQ(crc16Xmodem(bytes(r.input), r.input.size()), r.xmodem);
        EXPECT_EQ(imageCrc(bytes(r.input), r.input.size()), r.image);
        EXPECT_EQ(maskedImageCrc(bytes(r.input), r.input.size(), CrcForm::Plain), r.image);
    }
}

TEST(Checksums, IncrementalFormsMatchOneShot) {
    const std::string_view text = "123456789";
    std::uint16_t x = crc16XmodemUpdate(0, bytes(text), 4);
    x = crc16XmodemUpdate(x, bytes(text) + 4, 5);
    std::uint16_t m = modbusCrcUpdate(0xFFFF, bytes(text), 4);
    m = modbusCrcUpdate(m, bytes(text) + 4, 5);
    EXPECT_EQ(x, 0x31C3);
    EXPECT_EQ(m, 0x4B37);
}

// Reference: build the byte sequence each form stands for, then take the plain CRC over it.
std::uint16_t reference(const std::vector<std::uint8_t>& data, std::size_t count, std::size_t skipFirst,
                        std::size_t skipLast, std::size_t subFirst, std::size_t subLast, std::uint8_t even,
                        std::uint8_t odd) {
    std::vector<std::uint8_t> seq;
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= skipFirst && i <= skipLast) continue;
        seq.push_back(i >= subFirst && i <= subLast ? ((i & 1) ? odd : even) : data[i]);
    }
    return imageCrc(seq.data(), seq.size());
}

TEST(Checksums, MaskedFormsLeaveOutAndSubstituteWithoutTouchingTheBuffer) {
    std::vector<std::uint8_t> data(0x4080);
    std::mt19937 rng(7);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const auto original = data;
    constexpr std::size_t none = SIZE_MAX;

    struct Row {
        const char* name;
        CrcForm form;
        std::size_t count, s;
        std::size_t skipFirst, skipLast, subFirst, subLast;
        std::uint8_t even, odd;
    };
    const Row rows[] = {
        {"skip", CrcForm::Skip, 0x3000, 0x2FD0, 0x2FD0, 0x2FDA, none, none, 0, 0},
        {"blank-words", CrcForm::BlankWords, 0x2100, 0, none, none, 0x2060, 0x207F, 0xFF, 0x3F},
        {"skip+blank-words", CrcForm::SkipBlankWords, 0x2100, 0x20D0, 0x20D0, 0x20DA, 0x2060, 0x207F, 0xFF, 0x3F},
        // The skip window lies inside the substitution window: skipped bytes are left out, not replaced.
        {"skip+erased-record", CrcForm::SkipErasedRecord, 0x2080, 0x2050, 0x2050, 0x205A, 0x2040, 0x2073, 0xFF,
         0xFF},
        {"large", CrcForm::Large, 0x4080, 0, 0x4050, 0x405A, 0x4040, 0x4073, 0xFF, 0xFF},
        {"small", CrcForm::Small, 0x1080, 0, 0x1050, 0x105A, none, none, 0, 0},
        // A window beyond the count has no effect.
        {"blank-words short", CrcForm::BlankWords, 0x2060, 0, none, none, none, none, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(maskedImageCrc(data.data(), r.count, r.form, r.s),
                  reference(data, r.count, r.skipFirst, r.skipLast, r.subFirst, r.subLast, r.even, r.odd));
        EXPECT_EQ(data, original);
    }
    EXPECT_EQ(maskedImageCrc(data.data(), 0x1080, CrcForm::Small),
              maskedImageCrc(data.data(), 0x1080, CrcForm::Skip, 0x1050));
}

TEST(Checksums, BlockChecksWorkedExamples) {
    std::array<std::uint16_t, 64> w{};
    w.fill(0xFFFF);
    blockCheck16(w, 2, 30, 31);
    EXPECT_EQ(w[31], 0x001C);

    w.fill(0x3FFF);
    blockCheck14(w, 15);
    EXPECT_EQ(w[1], 0x3E6D);

    // S = 0x3FFF gives 0xFFFF: W0 + 0x01A0 + W2 … W6 summing to 0x3FFF modulo 0x4000.
    w.fill(0);
    w[0] = 0x3FFF - 0x01A0;
    blockCheck14(w, 6);
    EXPECT_EQ(w[1], 0xFFFF);

    w.fill(0x3FFF);
    blockCheck14Tail(w);
    EXPECT_EQ(w[15], 0x000A);
}

} // namespace
} // namespace kelvor::image
