#include "cli/cli.h"
#include "support/cli_run.h"
#include "support/image_fixtures.h"
#include "support/special_files.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kelvor {
namespace {

using test::hexConfigWords;
using test::hexData;
using test::hexEnd;

using test::CliRun;
const auto kelvorRun = test::runKelvor;

// The value of one top-level key of the decode command's JSON object, as printed.
std::string field(const std::string& json, const std::string& key, const std::string& next) {
    const auto from = json.find("\"" + key + "\": ");
    const auto to = json.find(", \"" + next + "\": ", from);
    if (from == std::string::npos || to == std::string::npos) return "<missing " + key + ">";
    return json.substr(from + key.size() + 4, to - from - key.size() - 4);
}

class ImageCommands : public ::testing::Test {
protected:
    test::TempDir dir;
    const std::string hexText =
        hexConfigWords({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}) + hexData(0, {1, 2}) + hexEnd();
};

TEST_F(ImageCommands, DecodeJsonOfAHexImage) {
    const std::string path = dir.write("image.hex", hexText);
    const CliRun r = kelvorRun({"decode", "--model", "EP39F01", path, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(
        r.out.rfind(
            "{\"model\": \"EP39F01\", \"family\": \"EP39F01\", \"result\": 0, \"imageLength\": 8192, ", 0),
        0u)
        << r.out;
    EXPECT_EQ(field(r.out, "words", "slots"), "[65535, 65535, 65535, 65535, 65535]");
    EXPECT_NE(r.out.find("{\"id\": 1023, \"text\": \"WDTEN:1\", \"visible\": true}, {\"id\": 1024, "),
              std::string::npos);
    EXPECT_NE(r.out.find("{\"id\": 1044, \"text\": \"FUSE4\", \"visible\": false}]"), std::string::npos);
    const std::string block = field(r.out, "block", "wrongChecksums");
    EXPECT_EQ(block.rfind("{\"destination\": \"configBlock\", \"offset\": 0, \"hex\": \"18ada0f1ffff", 0), 0u)
        << block;
    const std::string hex = block.substr(block.find("\"hex\": \"") + 8, 256);
    EXPECT_EQ(hex.substr(31 * 4, 4), "2702") << "W31 = 0x0227, little-endian: " << hex;
    EXPECT_EQ(r.out.substr(r.out.find("\"wrongChecksums\": ")),
              "\"wrongChecksums\": [], \"wrongChecksumCount\": 0, \"log\": [\"Open File:" + path +
                  "\\n\"], \"boxes\": []}\n");
}

TEST_F(ImageCommands, DecodeListsWrongRecordChecksumsAndKeepsBoxesApart) {
    // Two hand-patched records: read anyway, logged once, listed whole.
    const std::string patched =
        dir.write("patched.hex", hexConfigWords({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}) + ":0200000001FFAA\r\n" +
                                     ":0100100005FF\r\n" + hexEnd());
    const CliRun r = kelvorRun({"decode", "--model", "EP39F01", patched, "--json"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("\"wrongChecksums\": [{\"record\": 4, \"type\": 0, \"offset\": 0, \"found\": 170, "
                         "\"expected\": 254}, {\"record\": 5, \"type\": 0, \"offset\": 16, \"found\": 255, "
                         "\"expected\": 234}], \"wrongChecksumCount\": 2"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"Warning Hex file: record 4 (type 00, offset 0x0000) has checksum 0xAA, expected 0xFE; "
                         "read anyway\"]"),
              std::string::npos)
        << r.out;

    // The warning box is a box, not a second log line.
    const std::string broken = dir.write("cr.hex", std::string(":0100000055AA\r:00000001FF\r"));
    const CliRun bad = kelvorRun({"decode", "--model", "EP2706", broken, "--json"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.out.find("\"log\": [\"Open File:" + broken +
                           "\\n\", \"Error Hex file !!!!\", \"选择的hex文件有误，请重新确认此文件！\"], \"boxes\": "
                           "[{\"caption\": \"警告!\", \"text\": \"选择的hex文件有误，请重新确认此文件！\"}]}"),
              std::string::npos)
        << bad.out;
}

TEST_F(ImageCommands, EncipheredImageDecodesLikeItsHexText) {
    const std::string hex = dir.write("image.hex", hexText);
    const std::string bin = dir.path("image.bin");
    const CliRun enc = kelvorRun({"encipher", hex, bin});
    ASSERT_EQ(enc.code, 0) << enc.err;
    const CliRun a = kelvorRun({"decode", "--model", "EP3902", hex, "--json"});
    const CliRun b = kelvorRun({"decode", "--model", "EP3902", bin, "--json"});
    ASSERT_EQ(b.code, 0) << b.out;
    EXPECT_EQ(a.out.substr(0, a.out.find("\"log\"")), b.out.substr(0, b.out.find("\"log\"")));
    EXPECT_NE(b.out.find("\"log\": [], \"boxes\": []}"), std::string::npos);

    // A maker's own key: the image reads back with it, and not with the station's default.
    const std::string key = "00112233445566778899aabbccddee";
    const std::string own = dir.path("own.bin");
    ASSERT_EQ(kelvorRun({"encipher", hex, own, "--image-key", key}).code, 0);
    EXPECT_EQ(kelvorRun({"decode", "--model", "EP3902", own, "--image-key", key}).code, 0);
    EXPECT_EQ(kelvorRun({"decode", "--model", "EP3902", own}).code, 1);
}

TEST_F(ImageCommands, DecodeOfUnusableImagesAndUsageErrors) {
    const std::string crOnly = dir.write("cr.hex", std::string(":0100000055AA\r:00000001FF\r"));
    const CliRun bad = kelvorRun({"decode", "--model", "EP2706", crOnly, "--json"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.out.find("\"result\": -1, \"imageLength\": 0, \"words\": [0, 0, 0, 0, 0]"),
              std::string::npos);
    EXPECT_NE(bad.out.find("\"block\": null"), std::string::npos);

    const std::string past =
        dir.write("past.hex", hexData(0xFFF8, std::vector<std::uint8_t>(16, 0)) + hexEnd());
    const CliRun refused = kelvorRun({"decode", "--model", "EP2706", past});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.out.find("Error Hex file: record past end of area !!!!"), std::string::npos)
        << refused.out;

    // A missing file no longer passes for the charger-chip models either.
    EXPECT_EQ(kelvorRun({"decode", "--model", "EP39H01", dir.path("none.hex")}).code, 1);

    const std::vector<std::vector<std::string>> usage = {
        {"decode", "--model", "EP9999", crOnly},
        {"decode", "--model", "EP2706"},
        {"decode", crOnly},
        {"decode", "--model", "EP2706", crOnly, "--image-key", "0011"},
        {"decode", "--model", "EP2706", crOnly, "--frobnicate"},
        {"encipher", crOnly},
        {"encipher", dir.path("none.hex"), dir.path("out.bin")},
    };
    for (const auto& args : usage)
        EXPECT_EQ(kelvorRun(args).code, 2) << args.back();
}

TEST_F(ImageCommands, EncipherRefusesATextThatDoesNotFit) {
    const std::string big = dir.write("big.hex", std::string(65493, ':'));
    const CliRun r = kelvorRun({"encipher", big, dir.path("big.bin")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("does not fit"), std::string::npos);
}

TEST_F(ImageCommands, CrcOfAFile) {
    const std::string path = dir.write("check.txt", std::string("123456789"));
    const CliRun text = kelvorRun({"crc", path});
    EXPECT_EQ(text.code, 0);
    EXPECT_EQ(text.out, "crc16Xmodem: 0x31c3\nimageCrc: 0x374b\n");
    const CliRun json = kelvorRun({"crc", path, "--json"});
    EXPECT_EQ(json.out, "{\"crc16Xmodem\": 12739, \"imageCrc\": 14155}\n");

    // Larger than the 16-bit count of the station's own use: computed over the whole file.
    const std::string big = dir.write("big.bin", std::vector<std::uint8_t>(200000, 0));
    const CliRun large = kelvorRun({"crc", big});
    EXPECT_EQ(large.code, 0);
    EXPECT_NE(large.out,
              kelvorRun({"crc", dir.write("small.bin", std::vector<std::uint8_t>(200000 - 65536, 0))}).out);

    EXPECT_EQ(kelvorRun({"crc", dir.path("missing.bin")}).code, 2);
    EXPECT_EQ(kelvorRun({"crc", dir.path("")}).code, 2) << "a folder cannot be read";
    EXPECT_EQ(kelvorRun({"crc"}).code, 2);
}

// A FIFO once blocked decode, checksum and crc for ever, and crc read /dev/zero without end.
TEST(ImageCommandFiles, SpecialFilesAreRefusedAtOnce) {
    test::TempDir dir;
    const std::string root = dir.path("");
    for (const auto& special : test::makeSpecialFiles(root)) {
        const std::string hex = test::linkTo(root, "image.hex", special.path);
        const std::vector<std::vector<std::string>> commands = {
            {"crc", special.path},
            {"decode", "--model", "EP2706", hex},
            {"checksum", "--model", "EP2706", hex},
        };
        for (const auto& args : commands) {
            SCOPED_TRACE(args[0] + " " + special.kind);
            const CliRun r = kelvorRun(args);
            EXPECT_NE(r.code, 0);
            EXPECT_NE((r.out + r.err).find(std::string("is a ") + special.kind + ", not a regular file"),
                      std::string::npos)
                << r.out << r.err;
        }
    }
}

} // namespace
} // namespace kelvor
