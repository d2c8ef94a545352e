#include "image/readers.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <optional>

namespace kelvor::image {
namespace {

using test::bytesOf;
using test::hexData;
using test::hexEnd;
using test::hexRecord;
using test::hexUpper;

enum class Reading { Plain, Payload };
enum class Where { Program, Config, Id, Eeprom };

struct Placed {
    Where where;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
};

struct ReaderCase {
    const char* name;
    Reading reading;
    std::string text;
    HexReadOptions options;
    bool ok;
    int result;
    std::vector<std::string> log;
    std::optional<Placed> placed;
};

const HexReadOptions kProgramEnd{};
const HexReadOptions kAtOffset{true, ResultRule::EndOfLastProgramRecord};
const HexReadOptions kLastCount{false, ResultRule::LastRecordCount};
const HexReadOptions kDataEnd{false, ResultRule::EndOfLastDataRecord};

const std::uint8_t* areaOf(const ImageBuffers& b, Where w) {
    switch (w) {
    case Where::Program:
        return b.programArea();
    case Where::Config:
        return b.configArea.data();
    case Where::Id:
        return b.idArea.data();
    case Where::Eeprom:
        return b.eepromArea.data();
    }
    return nullptr;
}

std::vector<ReaderCase> readerCases() {
    const std::vector<std::uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::string cfg = hexUpper(0x00, 0x30);
    std::vector<std::uint8_t> sixteen(16, 0xA5), seventeen(17, 0xA5), nine(9, 0xA5);
    return {
        {"lower-case digits and a wrong checksum are accepted",
         Reading::Plain,
         ":0400100001ab0cde00\r\n" + hexEnd(),
         kProgramEnd,
         true,
         0x14,
         {"Warning Hex file: record 1 (type 00, offset 0x0010) has checksum 0x00, expected 0x56; read anyway"},
         Placed{Where::Program, 0x10, {1, 0xab, 0x0c, 0xde}}},
        // Line ends: CR LF, or LF alone as the tools of this platform write them.
        {"LF-only line ends are read",
         Reading::Plain,
         ":0100000055AA\n:010001006698\n:00000001FF\n",
         kProgramEnd,
         true,
         2,
         {},
         Placed{Where::Program, 0, {0x55, 0x66}}},
        {"LF and CR LF mixed",
         Reading::Payload,
         ":0100000055AA\r\n:010001006698\n:010002007786\r\n",
         kProgramEnd,
         true,
         3,
         {},
         Placed{Where::Program, 0, {0x55, 0x66, 0x77}}},
        {"a payload may end after an LF",
         Reading::Payload,
         ":0100000055AA\n",
         kProgramEnd,
         true,
         1,
         {},
         Placed{Where::Program, 0, {0x55}}},
        {"CR alone still fails",
         Reading::Plain,
         ":0100000055AA\r:00000001FF\r",
         kProgramEnd,
         false,
         0,
         {msg::kErrorHexFile},
         {}},
        {"LF LF is taken as the two line-end characters",
         Reading::Plain,
         ":0100000055AA\n\n" + hexEnd(),
         kProgramEnd,
         true,
         1,
         {},
         {}},
        {"plain file without a type-01 record fails",
         Reading::Plain,
         hexData(0, {1}),
         kProgramEnd,
         false,
         0,
         {msg::kErrorHexFile},
         {}},
        {"payload without a type-01 record succeeds",
         Reading::Payload,
         hexData(0, {1}),
         kProgramEnd,
         true,
         1,
         {},
         Placed{Where::Program, 0, {1}}},
        {"first character not ':' (plain)",
         Reading::Plain,
         "x" + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kErrorHexFile},
         {}},
        {"first character not ':' (payload, silent)",
         Reading::Payload,
         "x" + hexEnd(),
         kProgramEnd,
         false,
         0,
         {},
         {}},
        {"upper address 0x0030 selects configArea",
         Reading::Plain,
         cfg + hexData(0, ten) + hexEnd(),
         kProgramEnd,
         true,
         0,
         {},
         Placed{Where::Config, 0, ten}},
        {"upper address 0x0001 folds onto programArea",
         Reading::Plain,
         hexUpper(0x00, 0x01) + hexData(0x0010, {7, 8}) + hexEnd(),
         kProgramEnd,
         true,
         0x12,
         {},
         Placed{Where::Program, 0x10, {7, 8}}},
        {"configuration record at offset 4 lands at 0",
         Reading::Plain,
         cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kProgramEnd,
         true,
         0,
         {},
         Placed{Where::Config, 0, {0x11, 0x22}}},
        {"configAtOffset places it at 4 in a plain file",
         Reading::Plain,
         cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kAtOffset,
         true,
         0,
         {},
         Placed{Where::Config, 4, {0x11, 0x22}}},
        {"configAtOffset does not apply to a payload",
         Reading::Payload,
         cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kAtOffset,
         true,
         0,
         {},
         Placed{Where::Config, 0, {0x11, 0x22}}},
        {"upper address 0x0020 selects idArea from 0",
         Reading::Plain,
         hexUpper(0x00, 0x20) + hexData(0x40, {1, 2, 3}) + hexEnd(),
         kProgramEnd,
         true,
         0,
         {},
         Placed{Where::Id, 0, {1, 2, 3}}},
        {"upper address 0x00F0 selects eepromArea at the offset",
         Reading::Plain,
         hexUpper(0x00, 0xF0) + hexData(0x1F0, sixteen) + hexEnd(),
         kDataEnd,
         true,
         0x200,
         {},
         Placed{Where::Eeprom, 0x1F0, sixteen}},
        {"a program record may end exactly at 64 KB (no modulo)",
         Reading::Plain,
         hexData(0xFFF0, sixteen) + hexEnd(),
         kProgramEnd,
         true,
         0x10000,
         {},
         Placed{Where::Program, 0xFFF0, sixteen}},
        {"endOfLastDataRecord takes the end modulo 64 KB",
         Reading::Plain,
         hexData(0xFFF0, sixteen) + hexEnd(),
         kDataEnd,
         true,
         0,
         {},
         {}},
        {"endOfLastDataRecord counts any area",
         Reading::Plain,
         hexData(0x100, {1}) + cfg + hexData(6, {1, 2}) + hexEnd(),
         kDataEnd,
         true,
         8,
         {},
         {}},
        {"endOfLastProgramRecord ignores other areas and other types",
         Reading::Plain,
         hexData(0x100, {1}) + hexRecord(0x03, 0x200, {1}) + cfg + hexData(6, {1, 2}) + hexEnd(),
         kProgramEnd,
         true,
         0x101,
         {},
         {}},
        {"lastRecordCount of the usual end record is 0",
         Reading::Plain,
         hexData(0, {1, 2}) + hexEnd(),
         kLastCount,
         true,
         0,
         {},
         {}},
        {"lastRecordCount is the count of the last record read",
         Reading::Plain,
         hexData(0, {1, 2}) + ":02000001AABB00\r\n",
         kLastCount,
         true,
         2,
         {},
         {}},
        // Start addresses (types 03 and 05) used to be written over program bytes 0-3.
        {"type 05 places nothing (plain)",
         Reading::Plain,
         hexData(0x10, {1}) + hexRecord(0x05, 0, {9, 9, 9, 9}) + hexEnd(),
         kDataEnd,
         true,
         0x11,
         {},
         Placed{Where::Program, 0, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {"type 03 places nothing (payload)",
         Reading::Payload,
         hexData(0x10, {1}) + hexRecord(0x03, 0, {0x12, 0x34, 0, 0}) + hexEnd(),
         kDataEnd,
         true,
         0x11,
         {},
         Placed{Where::Program, 0, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {"type 05 counts as the last record read",
         Reading::Plain,
         hexRecord(0x05, 0, {0, 0, 0, 0}) + ":00000001FF",
         kLastCount,
         true,
         0,
         {},
         {}},
        // Segment records (objcopy above 64 KB) shift the offsets that follow.
        {"type 02 adds its base times 16, folded onto 64 KB",
         Reading::Plain,
         hexRecord(0x02, 0, {0x10, 0x80}) + hexData(0x0010, {7, 8}) + hexEnd(),
         kProgramEnd,
         true,
         0x0812,
         {},
         Placed{Where::Program, 0x0810, {7, 8}}},
        {"type 02 leads back from configArea to programArea",
         Reading::Payload,
         cfg + hexRecord(0x02, 0, {0x00, 0x20}) + hexData(0, {5}) + hexEnd(),
         kProgramEnd,
         true,
         0x201,
         {},
         Placed{Where::Program, 0x200, {5}}},
        {"type 04 ends the segment base",
         Reading::Plain,
         hexRecord(0x02, 0, {0x00, 0x20}) + hexUpper(0, 0) + hexData(4, {6}) + hexEnd(),
         kProgramEnd,
         true,
         5,
         {},
         Placed{Where::Program, 4, {6}}},
        {"type 02 with one data byte",
         Reading::Plain,
         ":0100000200FD\r\n" + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kType02Count},
         {}},
        {"a segment record past 64 KB after folding",
         Reading::Plain,
         hexRecord(0x02, 0, {0x0F, 0xFF}) + hexData(0x0008, sixteen) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kRecordPastArea},
         {}},
        {"other characters count as digits c - 55",
         Reading::Plain,
         ":010000001GDF\r\n" + hexEnd(),
         kProgramEnd,
         true,
         1,
         {},
         Placed{Where::Program, 0, {0x20}}},
        // Limits: refused with one line, nothing written past an area.
        {"type 04 with one data byte",
         Reading::Plain,
         ":0100000400FB\r\n" + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kType04Count},
         {}},
        {"type 04 with three data bytes",
         Reading::Payload,
         hexRecord(0x04, 0, {0, 0x30, 0}) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kType04Count},
         {}},
        {"program record past 64 KB",
         Reading::Plain,
         hexData(0xFFF8, sixteen) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kRecordPastArea},
         Placed{Where::Program, 0xFFF8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}},
        {"configuration record of 17 bytes",
         Reading::Payload,
         cfg + hexData(0, seventeen) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kRecordPastArea},
         {}},
        {"configuration record past the area at its offset",
         Reading::Plain,
         cfg + hexData(8, ten) + hexEnd(),
         kAtOffset,
         false,
         0,
         {msg::kRecordPastArea},
         {}},
        {"identification record of 9 bytes",
         Reading::Plain,
         hexUpper(0, 0x20) + hexData(0, nine) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kRecordPastArea},
         {}},
        {"EEPROM record past 512 bytes",
         Reading::Plain,
         hexUpper(0, 0xF0) + hexData(0x1F8, sixteen) + hexEnd(),
         kProgramEnd,
         false,
         0,
         {msg::kRecordPastArea},
         {}},
        {"file ends inside the header",
         Reading::Plain,
         ":0400",
         kProgramEnd,
         false,
         0,
         {msg::kRecordCutShort},
         {}},
        {"payload ends inside the data",
         Reading::Payload,
         ":04000000AABB",
         kProgramEnd,
         false,
         0,
         {msg::kRecordCutShort},
         Placed{Where::Program, 0, {0xFF, 0xFF}}},
        {"payload ends before the line end",
         Reading::Payload,
         ":01000000AA55",
         kProgramEnd,
         false,
         0,
         {msg::kRecordCutShort},
         {}},
        {"file ends inside a type-05 record",
         Reading::Plain,
         ":04000005AABB",
         kProgramEnd,
         false,
         0,
         {msg::kRecordCutShort},
         {}},
    };
}

TEST(HexReader, RecordGrammarTable) {
    for (const auto& c : readerCases()) {
        SCOPED_TRACE(c.name);
        auto state = test::freshImageState();
        ImageBuffers& b = state->buffers;
        RecordingReporter rep;
        const auto text = bytesOf(c.text);
        std::fill_n(b.programArea(), kProgramAreaSize,
                    0xFF); // the payload reading leaves the fill to its caller
        const HexReadResult r = c.reading == Reading::Plain ? readHexText(text, c.options, b, rep)
                                                            : readPayload(text, c.options, b, rep);
        EXPECT_EQ(r.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(r.result, c.result);
        }
        EXPECT_EQ(rep.texts(), c.log);
        if (c.placed) {
            const std::uint8_t* area = areaOf(b, c.placed->where) + c.placed->offset;
            EXPECT_EQ(std::vector<std::uint8_t>(area, area + c.placed->bytes.size()), c.placed->bytes);
        }
        EXPECT_EQ(b.configBlock()[0], 0) << "nothing may run on into the block behind programArea";
    }
}

TEST(HexReader, WrongRecordChecksumsAreLoggedOnceAndListed) {
    auto state = test::freshImageState();
    RecordingReporter rep;
    // Records 2 and 4 are hand-patched; record 3 is a start address with a wrong checksum.
    const std::string text = hexData(0, {1}) + ":0100010002FF\r\n" + ":0400000500000000FF\r\n" +
                             ":0100020003FF\r\n" + hexEnd();
    const HexReadResult r = readHexText(bytesOf(text), {}, state->buffers, rep);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(state->buffers.programArea()[1], 2) << "a wrong checksum is not a reason to refuse";
    EXPECT_EQ(rep.texts(), std::vector<std::string>{"Warning Hex file: record 2 (type 00, offset 0x0001) has "
                                                    "checksum 0xFF, expected 0xFC; read anyway"});
    EXPECT_EQ(r.wrongChecksumCount, 3);
    ASSERT_EQ(r.wrongChecksums.size(), 3u);
    EXPECT_EQ(r.wrongChecksums[1].record, 3);
    EXPECT_EQ(r.wrongChecksums[1].type, 5u);
    EXPECT_EQ(r.wrongChecksums[2].offset, 2u);
    EXPECT_EQ(r.wrongChecksums[2].expected, 0xFA);

    // A failed read still reports what it saw; a clean file reports nothing.
    RecordingReporter rep2;
    const HexReadResult cut = readHexText(bytesOf(":0100010002FF\r\n"), {}, state->buffers, rep2);
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.wrongChecksumCount, 1);
    RecordingReporter rep3;
    EXPECT_EQ(readHexText(bytesOf(text.substr(0, 15) + hexEnd()), {}, state->buffers, rep3).wrongChecksumCount, 0);
}

TEST(HexReader, DigitValues) {
    const std::pair<int, int> rows[] = {{'0', 0},  {'9', 9},  {'a', 10},   {'f', 15},   {'A', 10},
                                        {'F', 15}, {'G', 16}, {'g', 0x30}, {' ', 0xE9}, {-1 + 256, 0xC8}};
    for (auto [c, v] : rows)
        EXPECT_EQ(hexDigitValue(c), v) << c;
}

TEST(HexReader, AreasKeptOrClearedBetweenReads) {
    auto state = test::freshImageState();
    ImageBuffers& b = state->buffers;
    RecordingReporter rep;
    const std::string first = hexData(0, {1, 2}) + hexUpper(0, 0x30) + hexData(0, {0x11, 0x22, 0x33, 0x44}) +
                              hexUpper(0, 0x20) + hexData(0, {0x55}) + hexUpper(0, 0xF0) +
                              hexData(0, {0x66}) + hexEnd();
    ASSERT_TRUE(readHexText(bytesOf(first), {}, b, rep).ok);
    // A second image with only one configuration byte and no identification or EEPROM data.
    ASSERT_TRUE(readHexText(bytesOf(hexUpper(0, 0x30) + hexData(0, {0x99}) + hexEnd()), {}, b, rep).ok);
    EXPECT_EQ(b.programArea()[0], 0xFF) << "programArea is refilled at every read";
    EXPECT_EQ(b.configArea[0], 0x99);
    EXPECT_EQ(b.configArea[1], 0x22) << "configArea keeps the earlier image's bytes";
    EXPECT_EQ(b.idArea[0], 0x55) << "idArea keeps the earlier image's bytes";
    EXPECT_EQ(b.eepromArea[0], 0x66) << "eepromArea is cleared only by an empty enciphered payload";
}

TEST(HexReader, PathFormsChooseTheReadingByTheLowerCaseSuffix) {
    test::TempDir dir;
    const std::string text = hexData(0, {0x42}) + hexEnd();
    auto state = test::freshImageState();
    const ImageKey key = defaultImageKey();

    RecordingReporter rep;
    const std::string upper = dir.write("image.BIN", text);
    EXPECT_TRUE(readHexImage(upper, {}, state->buffers, key, rep).ok);
    EXPECT_EQ(rep.texts(), std::vector<std::string>{"Open File:" + upper + "\n"});

    RecordingReporter rep2;
    state->buffers.programArea()[0] = 0;
    EXPECT_TRUE(
        readHexImage(dir.write("image.bin", test::encipherText(text)), {}, state->buffers, key, rep2).ok);
    EXPECT_EQ(state->buffers.programArea()[0], 0x42);
    EXPECT_TRUE(rep2.texts().empty());

    RecordingReporter rep3;
    const std::string missing = dir.path("missing.hex");
    EXPECT_FALSE(readHexImage(missing, {}, state->buffers, key, rep3).ok);
    EXPECT_EQ(rep3.texts(), std::vector<std::string>{"File Open Fail " + missing});
}

} // namespace
} // namespace kelvor::image
