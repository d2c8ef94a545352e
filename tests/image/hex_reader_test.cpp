#include "image/readers.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <optional>

namespace kelvor::image {
namespace {

using testing::bytesOf;
using testing::hexData;
using testing::hexEnd;
using testing::hexRecord;
using testing::hexUpper;

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
const HexReadOptions kAtOffset{true, false, ResultRule::EndOfLastProgramRecord};
const HexReadOptions kLastCount{false, false, ResultRule::LastRecordCount};
const HexReadOptions kDataEnd{false, false, ResultRule::EndOfLastDataRecord};
const HexReadOptions kSkip05{false, true, ResultRule::EndOfLastDataRecord};

const std::uint8_t* areaOf(const ImageBuffers& b, Where w) {
    switch (w) {
    case Where::Program: return b.programArea();
    case Where::Config: return b.configArea.data();
    case Where::Id: return b.idArea.data();
    case Where::Eeprom: return b.eepromArea.data();
    }
    return nullptr;
}

std::vector<ReaderCase> readerCases() {
    const std::vector<std::uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::string cfg = hexUpper(0x00, 0x30);
    std::vector<std::uint8_t> sixteen(16, 0xA5), seventeen(17, 0xA5), nine(9, 0xA5);
    return {
        {"lower-case digits and a wrong checksum are accepted", Reading::Plain,
         ":0400100001ab0cde00\r\n" + hexEnd(), kProgramEnd, true, 0x14, {}, Placed{Where::Program, 0x10, {1, 0xab, 0x0c, 0xde}}},
        {"LF-only line ends fail right after the first record", Reading::Plain,
         ":0100000055AA\n:00000001FF\n", kProgramEnd, false, 0, {msg::kErrorHexFile}, Placed{Where::Program, 0, {0x55}}},
        {"plain file without a type-01 record fails", Reading::Plain, hexData(0, {1}), kProgramEnd, false, 0,
         {msg::kErrorHexFile}, {}},
        {"payload without a type-01 record succeeds", Reading::Payload, hexData(0, {1}), kProgramEnd, true, 1, {},
         Placed{Where::Program, 0, {1}}},
        {"first character not ':' (plain)", Reading::Plain, "x" + hexEnd(), kProgramEnd, false, 0,
         {msg::kErrorHexFile}, {}},
        {"first character not ':' (payload, silent)", Reading::Payload, "x" + hexEnd(), kProgramEnd, false, 0, {}, {}},
        {"upper address 0x0030 selects configArea", Reading::Plain, cfg + hexData(0, ten) + hexEnd(), kProgramEnd,
         true, 0, {}, Placed{Where::Config, 0, ten}},
        {"upper address 0x0001 folds onto programArea", Reading::Plain,
         hexUpper(0x00, 0x01) + hexData(0x0010, {7, 8}) + hexEnd(), kProgramEnd, true, 0x12, {},
         Placed{Where::Program, 0x10, {7, 8}}},
        {"configuration record at offset 4 lands at 0", Reading::Plain, cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kProgramEnd, true, 0, {}, Placed{Where::Config, 0, {0x11, 0x22}}},
        {"configAtOffset places it at 4 in a plain file", Reading::Plain, cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kAtOffset, true, 0, {}, Placed{Where::Config, 4, {0x11, 0x22}}},
        {"configAtOffset does not apply to a payload", Reading::Payload, cfg + hexData(4, {0x11, 0x22}) + hexEnd(),
         kAtOffset, true, 0, {}, Placed{Where::Config, 0, {0x11, 0x22}}},
        {"upper address 0x0020 selects idArea from 0", Reading::Plain,
         hexUpper(0x00, 0x20) + hexData(0x40, {1, 2, 3}) + hexEnd(), kProgramEnd, true, 0, {},
         Placed{Where::Id, 0, {1, 2, 3}}},
        {"upper address 0x00F0 selects eepromArea at the offset", Reading::Plain,
         hexUpper(0x00, 0xF0) + hexData(0x1F0, sixteen) + hexEnd(), kDataEnd, true, 0x200, {},
         Placed{Where::Eeprom, 0x1F0, sixteen}},
        {"a program record may end exactly at 64 KB (no modulo)", Reading::Plain, hexData(0xFFF0, sixteen) + hexEnd(),
         kProgramEnd, true, 0x10000, {}, Placed{Where::Program, 0xFFF0, sixteen}},
        {"endOfLastDataRecord takes the end modulo 64 KB", Reading::Plain, hexData(0xFFF0, sixteen) + hexEnd(),
         kDataEnd, true, 0, {}, {}},
        {"endOfLastDataRecord counts any area", Reading::Plain,
         hexData(0x100, {1}) + cfg + hexData(6, {1, 2}) + hexEnd(), kDataEnd, true, 8, {}, {}},
        {"endOfLastProgramRecord ignores other areas and other types", Reading::Plain,
         hexData(0x100, {1}) + hexRecord(0x03, 0x200, {1}) + cfg + hexData(6, {1, 2}) + hexEnd(), kProgramEnd, true,
         0x101, {}, {}},
        {"lastRecordCount of the usual end record is 0", Reading::Plain, hexData(0, {1, 2}) + hexEnd(), kLastCount,
         true, 0, {}, {}},
        {"lastRecordCount is the count of the last record read", Reading::Plain,
         hexData(0, {1, 2}) + ":02000001AABB00\r\n", kLastCount, true, 2, {}, {}},
        {"type 05 is skipped whole with skipType05", Reading::Plain,
         hexData(0x10, {1}) + hexRecord(0x05, 0, {9, 9, 9, 9}) + hexEnd(), kSkip05, true, 0x11, {},
         Placed{Where::Program, 0, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {"type 05 is data without skipType05", Reading::Payload,
         hexData(0x10, {1}) + hexRecord(0x05, 0, {9, 9, 9, 9}) + hexEnd(), kDataEnd, true, 4, {},
         Placed{Where::Program, 0, {9, 9, 9, 9}}},
        {"other characters count as digits c - 55", Reading::Plain, ":010000001G00\r\n" + hexEnd(), kProgramEnd, true,
         1, {}, Placed{Where::Program, 0, {0x20}}},
        // Limits: refused with one line, nothing written past an area.
        {"type 04 with one data byte", Reading::Plain, ":0100000400FB\r\n" + hexEnd(), kProgramEnd, false, 0,
         {msg::kType04Count}, {}},
        {"type 04 with three data bytes", Reading::Payload, hexRecord(0x04, 0, {0, 0x30, 0}) + hexEnd(), kProgramEnd,
         false, 0, {msg::kType04Count}, {}},
        {"program record past 64 KB", Reading::Plain, hexData(0xFFF8, sixteen) + hexEnd(), kProgramEnd, false, 0,
         {msg::kRecordPastArea}, Placed{Where::Program, 0xFFF8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}},
        {"configuration record of 17 bytes", Reading::Payload, cfg + hexData(0, seventeen) + hexEnd(), kProgramEnd,
         false, 0, {msg::kRecordPastArea}, {}},
        {"configuration record past the area at its offset", Reading::Plain, cfg + hexData(8, ten) + hexEnd(),
         kAtOffset, false, 0, {msg::kRecordPastArea}, {}},
        {"identification record of 9 bytes", Reading::Plain, hexUpper(0, 0x20) + hexData(0, nine) + hexEnd(),
         kProgramEnd, false, 0, {msg::kRecordPastArea}, {}},
        {"EEPROM record past 512 bytes", Reading::Plain, hexUpper(0, 0xF0) + hexData(0x1F8, sixteen) + hexEnd(),
         kProgramEnd, false, 0, {msg::kRecordPastArea}, {}},
        {"file ends inside the header", Reading::Plain, ":0400", kProgramEnd, false, 0, {msg::kRecordCutShort}, {}},
        {"payload ends inside the data", Reading::Payload, ":04000000AABB", kProgramEnd, false, 0,
         {msg::kRecordCutShort}, Placed{Where::Program, 0, {0xFF, 0xFF}}},
        {"payload ends before the line end", Reading::Payload, ":01000000AA55", kProgramEnd, false, 0,
         {msg::kRecordCutShort}, {}},
        {"file ends inside a skipped type-05 record", Reading::Plain, ":04000005AABB", kSkip05, false, 0,
         {msg::kRecordCutShort}, {}},
    };
}

TEST(HexReader, RecordGrammarTable) {
    for (const auto& c : readerCases()) {
        SCOPED_TRACE(c.name);
        auto state = testing::freshImageState();
        ImageBuffers& b = state->buffers;
        RecordingReporter rep;
        const auto text = bytesOf(c.text);
        std::fill_n(b.programArea(), kProgramAreaSize, 0xFF); // the payload reading leaves the fill to its caller
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

TEST(HexReader, DigitValues) {
    const std::pair<int, int> rows[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10},
                                        {'F', 15}, {'G', 16}, {'g', 0x30}, {' ', 0xE9}, {-1 + 256, 0xC8}};
    for (auto [c, v] : rows) EXPECT_EQ(hexDigitValue(c), v) << c;
}

TEST(HexReader, AreasKeptOrClearedBetweenReads) {
    auto state = testing::freshImageState();
    ImageBuffers& b = state->buffers;
    RecordingReporter rep;
    const std::string first = hexData(0, {1, 2}) + hexUpper(0, 0x30) + hexData(0, {0x11, 0x22, 0x33, 0x44}) +
                              hexUpper(0, 0x20) + hexData(0, {0x55}) + hexUpper(0, 0xF0) + hexData(0, {0x66}) +
                              hexEnd();
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
    testing::TempDir dir;
    const std::string text = hexData(0, {0x42}) + hexEnd();
    auto state = testing::freshImageState();
    const ImageKey key = defaultImageKey();

    RecordingReporter rep;
    const std::string upper = dir.write("image.BIN", text);
    EXPECT_TRUE(readHexImage(upper, {}, state->buffers, key, rep).ok);
    EXPECT_EQ(rep.texts(), std::vector<std::string>{"Open File:" + upper + "\n"});

    RecordingReporter rep2;
    state->buffers.programArea()[0] = 0;
    EXPECT_TRUE(readHexImage(dir.write("image.bin", testing::encipherText(text)), {}, state->buffers, key, rep2).ok);
    EXPECT_EQ(state->buffers.programArea()[0], 0x42);
    EXPECT_TRUE(rep2.texts().empty());

    RecordingReporter rep3;
    const std::string missing = dir.path("missing.hex");
    EXPECT_FALSE(readHexImage(missing, {}, state->buffers, key, rep3).ok);
    EXPECT_EQ(rep3.texts(), std::vector<std::string>{"File Open Fail " + missing});
}

} // namespace
} // namespace kelvor::image
