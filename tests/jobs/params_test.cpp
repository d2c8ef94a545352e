// The operator's texts turned into block fields, and the blocks' wire offsets.
#include "jobs/params.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvor::jobs {
namespace {

TEST(UidTextValue, ReadsLikeStrtoulWithClamp) {
    const struct {
        const char* text;
        std::uint32_t value;
    } rows[] = {
        {"FFFFFFFF", 0xFFFFFFFFu},
        {"12G4", 0x12},
        {" 0x1f", 0x1F},
        {"-1", 0xFFFFFFFFu},
        {"-0x10", 0xFFFFFFF0u},
        {"", 0},
        {"G", 0},
        {"0x", 0},
        {"0xg", 0},
        {"+a", 0xA},
        {"\t7", 7},
        {"123456789", 0xFFFFFFFFu},
        {"-123456789", 0xFFFFFFFFu},
        {"0000000000000001", 1},
        {"abcdef", 0xABCDEF},
    };
    for (const auto& r : rows)
        EXPECT_EQ(uidTextValue(r.text), r.value) << '"' << r.text << '"';
}

TEST(SupplyVoltage, SubtractsTwoMillivoltsAndTruncates) {
    const struct {
        const char* text;
        std::int64_t millivolts;
        std::uint16_t wire;
        bool inRange;
    } rows[] = {
        {"4.500", 4498, 4498, true},
        {"2.9", 2898, 2898, false},
        {"4.501", 4498, 4498, true}, // single precision: 4.501 scales to just under 4501
        {"5.503", 5500, 5500, true},
        {"5.504", 5502, 5502, false},
        {"3.002", 3000, 3000, true},
        {"3.001", 2998, 2998, false},
        {"AUTO", -2, 0xFFFE, false},
        {"", -2, 0xFFFE, false},
        {" +4.5e0x", 4498, 4498, true},
        {"45e-1", 4498, 4498, true},
        {"-1", -1002, static_cast<std::uint16_t>(-1002), false},
        // Regression: the 16-bit wrap of 70034 mV is 4498, which used to pass the range check.
        {"70.036", 70034, 4498, false},
        {"1e999", 0, 0, false},
    };
    for (const auto& r : rows) {
        const SupplyVoltage v = supplyVoltage(r.text);
        if (v.finite) {
            EXPECT_EQ(v.millivolts, r.millivolts) << r.text;
        }
        EXPECT_EQ(v.wire, r.wire) << r.text;
        EXPECT_EQ(supplyVoltageInRange(v), r.inRange) << r.text;
    }
}

TEST(HexTextValue, UsesTheStationsDigitRule) {
    const struct {
        const char* text;
        std::int32_t value;
    } rows[] = {
        {"1F00", 7936},       {"1f00", 7936},   {"", 0},
        {"FFFFFFFF", -1},     {"100000000", 0}, {"G", 23}, // 'G' - 48
        {" 1", -16 * 16 + 1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(hexTextValue(r.text), r.value) << '"' << r.text << '"';
}

TEST(ImageName, TakesTheFileNamePaddedOrCutTo22) {
    auto text = [](const std::array<std::uint8_t, 22>& a) { return std::string(a.begin(), a.end()); };
    EXPECT_EQ(text(imageName("C:\\work\\demo.hex")), "demo.hex**************");
    EXPECT_EQ(text(imageName("/home/op/demo.hex")), "demo.hex**************");
    EXPECT_EQ(text(imageName("demo.hex")), "demo.hex**************");
    EXPECT_EQ(text(imageName("dir\\abcdefghijklmnopqrstuvwxyz0123.hex")), "abcdefghijklmnopqrstuv");
    EXPECT_EQ(text(imageName("dir\\")), std::string(22, '*'));
    // One byte per UTF-16 unit: the low bytes of U+56FA and U+4EF6.
    const auto wide = imageName("\xE5\x9B\xBA\xE4\xBB\xB6.hex");
    EXPECT_EQ(wide[0], 0xFA);
    EXPECT_EQ(wide[1], 0xF6);
    EXPECT_EQ(wide[2], '.');
}

TEST(SmallFieldRules, PinEraseCalibrationFirmware) {
    EXPECT_EQ(clockOutPin("PB3"), (std::array<std::uint8_t, 3>{'P', 'B', '3'}));
    EXPECT_EQ(clockOutPin("P"), (std::array<std::uint8_t, 3>{'P', 0, 0}));
    EXPECT_EQ(clockOutPin("PC4X"), (std::array<std::uint8_t, 3>{'P', 'C', '4'}));
    EXPECT_EQ(eraseMode(true, false, false), 0);
    EXPECT_EQ(eraseMode(true, true, false), 1);
    EXPECT_EQ(eraseMode(false, true, true), 2);
    EXPECT_EQ(eraseMode(false, false, false), 0);
    EXPECT_EQ(calibrationSelect(true, true, false), 3);
    EXPECT_EQ(calibrationSelect(false, false, true), 4);
    EXPECT_EQ(firmwareSelect(0), 1);
    EXPECT_EQ(firmwareSelect(1), 2);
    EXPECT_EQ(firmwareSelect(2), 0);
    EXPECT_EQ(firmwareSelect(-1), 0);
    EXPECT_EQ(decimalTextValue16("4500"), 4500);
    EXPECT_EQ(decimalTextValue16("12ab"), 12);
    EXPECT_EQ(decimalTextValue16("x"), 0);
    EXPECT_EQ(decimalTextValue16("70000"), 70000 - 65536);
}

TEST(BlockBytes, FieldsLandAtTheirLittleEndianOffsets) {
    BlockHead head{0x0006, 0x7C42, 0x11223344, 0xA1B2C3D4, 4498};
    JobParams shortBlock{head, 1};
    const auto s = serialize(shortBlock);
    const std::array<std::uint8_t, 32> expectShort = {
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0x06, 0x00, 0, 0, 0x42, 0x7C,
        0x44, 0x33, 0x22, 0x11, 0xD4, 0xC3, 0xB2, 0xA1, 0x92, 0x11, 0x01, 0x00, 0, 0, 0,    0};
    EXPECT_EQ(s, expectShort);

    JobParamsLong longBlock;
    longBlock.head = head;
    longBlock.calibrationSelect = 0x0005;
    longBlock.firmwareSelect = 2;
    longBlock.autoVoltage = 1;
    longBlock.imageName = imageName("demo.hex");
    longBlock.eepromInitMillivolts = 0x1194;
    longBlock.clockIndex = 0xFFFF;
    const auto l = serialize(longBlock);
    EXPECT_TRUE(std::equal(s.begin(), s.begin() + 0x1A, l.begin())); // same head
    EXPECT_EQ(l[0x1A], 0);
    EXPECT_EQ(l[0x20], 5);
    EXPECT_EQ(l[0x22], 2);
    EXPECT_EQ(l[0x24], 1);
    EXPECT_EQ(std::string(l.begin() + 0x26, l.begin() + 0x3C), "demo.hex**************");
    EXPECT_EQ(l[0x3C], 0x94);
    EXPECT_EQ(l[0x3D], 0x11);
    EXPECT_EQ(l[0x3E], 0xFF);
    EXPECT_EQ(l[0x3F], 0xFF);

    JobParams39F f;
    f.chipCode = 0xF022;
    f.uidBase = 0x01020304;
    f.uidStep = 0x05060708;
    f.supplyMillivolts = 0x1192;
    f.clockIndex = 3;
    f.clockOutPin = clockOutPin("PB3");
    f.select32M = 1;
    f.imageLength = 0x1234;
    f.eraseMode = 1;
    f.select32MAlt = 1;
    const auto b = serialize(f);
    const std::array<std::uint8_t, 14> head39 = {0, 0, 0x22, 0xF0, 4, 3, 2, 1, 8, 7, 6, 5, 0x92, 0x11};
    EXPECT_TRUE(std::equal(head39.begin(), head39.end(), b.begin()));
    for (int i = 0x0E; i < 0x2A; ++i)
        EXPECT_EQ(b[i], 0) << i;
    const std::array<std::uint8_t, 10> tail39 = {3, 0, 'P', 'B', '3', 1, 0x34, 0x12, 1, 1};
    EXPECT_TRUE(std::equal(tail39.begin(), tail39.end(), b.begin() + 0x2A));
}

} // namespace
} // namespace kelvor::jobs
