// kelvor checksum: what a "烧录" job would send, prepared without a programmer.
#include "base/strfmt.h"
#include "cli/cli.h"
#include "image/buffers.h"
#include "jobs/hex_fixture.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace kelvor::cli {
namespace {

using testing_hex::HexBuilder;
using testing_hex::pattern;
using testing_hex::writeTempFile;

test::CliRun checksum(std::vector<std::string> args) {
    args.insert(args.begin(), "checksum");
    return test::runKelvor(args);
}

// Program bytes and configuration words with OTP_MODE 0xF: EP3901 reads it as a full 16 KB image.
std::string image(std::uint8_t otpMode = 0xF) {
    HexBuilder h;
    h.data(0, pattern(0x40));
    h.upper(0x0030).data(
        0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, static_cast<std::uint8_t>(0xF0 | otpMode), 0xFF, 0xFF, 0xFF});
    return h.text();
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ChecksumCommand, PrintsTheLogAndTheChecksumLabel) {
    const std::string path = writeTempFile("demo.hex", image());
    const test::CliRun human = checksum({"--model", "EP27C42", path});
    ASSERT_EQ(human.code, 0) << human.err;
    const test::CliRun json = checksum({"--model", "EP27C42", path, "--json"});
    ASSERT_EQ(json.code, 0);
    const auto at = json.out.find("\"cksum\": ") + 9;
    const int cksum = std::stoi(json.out.substr(at));
    EXPECT_TRUE(has(human.out, "\n============================\n============================\n"));
    EXPECT_TRUE(has(human.out, strfmt("CKSUM: 0x%04x\n", cksum)));
    EXPECT_TRUE(has(json.out, strfmt("\"cksumText\": \"CKSUM: 0x%04x\"", cksum)));
}

TEST(ChecksumCommand, JsonNamesLayoutVariantAndBlock) {
    const std::string path = writeTempFile("demo.hex", image());
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> parts;
    } rows[] = {
        {{"--model", "EP27C42"},
         {"\"family\": \"EP27C42\"", "\"result\": 0", "\"length\": 8322", "\"variant\": \"plain\"",
          "\"block\": \"short\""}},
        {{"--model", "EP27C42", "--long-block"}, {"\"block\": \"long\""}},
        {{"--model", "LN2058"}, {"\"family\": \"EP39F08\"", "\"block\": \"39F\"", "\"length\": 8322"}},
        {{"--model", "EP3901"}, {"\"length\": 32898", "\"variant\": \"paged\""}},
        {{"--model", "EP39H02"}, {"\"block\": \"charger\"", "\"length\": 24706", "\"variant\": \"paged\""}},
        {{"--model", "EP8505"},
         {"\"variant\": \"offline-block\"", "\"block\": \"none\"", "\"checkWord\": null"}},
        {{"--model", "EP27C42", "--voltage", "2.9"},
         {"\"result\": -2", "\"cksum\": null", "请在校准信息栏上输入烧录器实测4.5V电压实测值！"}},
        {{"--model", "EP39H01", "--pdo", "03,A1,5F,3C,"},
         {"\"result\": -3", "输入的PDO数据存在异常，请检查"}},
    };
    for (const auto& r : rows) {
        auto args = r.args;
        args.push_back(path);
        args.push_back("--json");
        const test::CliRun out = checksum(args);
        EXPECT_EQ(out.code, has(out.out, "\"result\": 0") ? 0 : 2) << out.out;
        for (const auto& part : r.parts)
            EXPECT_TRUE(has(out.out, part)) << part << " in " << out.out;
    }
}

TEST(ChecksumCommand, OutWritesThePreparedChipImage) {
    const std::string path = writeTempFile("demo.hex", image());
    const std::string outPath = ::testing::TempDir() + "kelvor_checksum_out.bin";
    const test::CliRun r = checksum({"--model", "EP39F022", path, "--clock-pin", "PB3", "--erase", "sectors",
                                "--out", outPath, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::ifstream in(outPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 8322u);
    EXPECT_EQ(bytes.substr(8192 + 0x40 + 0x2C, 3), "PB3");
    const auto at = r.out.find("\"checkWord\": ") + 13;
    const auto* tail = reinterpret_cast<const std::uint8_t*>(bytes.data() + 8320);
    EXPECT_EQ(image::readLe16(tail), std::stoi(r.out.substr(at)));
}

TEST(ChecksumCommand, BadImageAndClosedLinkAreReported) {
    const test::CliRun missing = checksum({"--model", "EP27C42", ::testing::TempDir() + "kelvor_missing.hex"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(has(missing.out, "选择的hex文件有误，请重新确认此文件！"));
    EXPECT_FALSE(has(missing.out, "CKSUM"));

    // LF alone ends a record as CR LF does; a CR alone does not.
    std::string text = image();
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;)
        text.replace(p, 2, "\n");
    EXPECT_EQ(checksum({"--model", "EP39F02", writeTempFile("lf.hex", text)}).code, 0);
    for (std::size_t p; (p = text.find('\n')) != std::string::npos;)
        text[p] = '\r';
    EXPECT_EQ(checksum({"--model", "EP39F02", writeTempFile("cr.hex", text)}).code, 2);

    const std::string path = writeTempFile("demo.hex", image());
    const test::CliRun side = checksum({"--model", "EP39F02", path, "--eeprom-file", path});
    EXPECT_EQ(side.code, 0);
    EXPECT_TRUE(has(side.out, "请使能烧录器连接!"));
    EXPECT_TRUE(has(side.out, "EEPROM and factory data are not sent"));
}

TEST(ChecksumCommand, UsageErrorsExitWith2AndSayWhy) {
    const std::string path = writeTempFile("demo.hex", image());
    const struct {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{path}, "--model is required"},
        {{"--model", "EP9999", path}, "unknown model 'EP9999'"},
        {{"--model", "EP27C42"}, "an IMAGE is required"},
        {{"--model", "EP27C42", path, path}, "only one IMAGE"},
        {{"--model", "EP27C42", path, "--freq", "9"}, "--freq"},
        {{"--model", "EP27C42", path, "--batch", "123456789"}, "--batch"},
        {{"--model", "EP27C42", path, "--increment", "12G4"}, "--increment"},
        {{"--model", "EP27C42", path, "--voltage", "4.5000"}, "--voltage"},
        {{"--model", "EP27C42", path, "--voltage", "4.5", "--auto-voltage"}, "exclude each other"},
        {{"--model", "EP27C42", path, "--erase", "partly"}, "--erase"},
        {{"--model", "EP27C42", path, "--calibration", "1,1"}, "--calibration"},
        {{"--model", "EP27C42", path, "--ee-voltage", "45a"}, "--ee-voltage"},
        {{"--model", "EP27C42", path, "--clock", "4"}, "--clock"},
        {{"--model", "EP27C42", path, "--clock-pin", "PA0"}, "has no CKOE list"},
        {{"--model", "EP39F022", path, "--clock-pin", "PC7"}, "not a CKOE pin"},
        {{"--model", "EP39H01", path, "--charger", "1,1,"}, "--charger"},
        {{"--model", "EP39H01", path, "--charger", "0,0,1,1,3,1,1,1,0,0,1,1,4,"}, "out of range"},
        {{"--model", "EP39H01", path, "--charger", "1,2,1,1,3,1,1,1,0,0,1,1,2,"}, "IC_NAME_CHK"},
        // The field would keep the third F out and leave a different, valid table.
        {{"--model", "EP39H01", path, "--pdo", "01,A1,5FF,"}, "keeps out character 9 of '01,A1,5FF,' (请输入','结束符)"},
        {{"--model", "EP39F02", path, "--start-address", "1F00X"}, "--start-address"},
        {{"--model", "EP39F02", path, "--image-key", "12"}, "--image-key"},
        {{"--model", "EP27C42", path, "--frobnicate"}, "unknown option --frobnicate"},
        {{"--model", "EP27C42", path, "--batch"}, "missing value for --batch"},
    };
    for (const auto& r : rows) {
        const test::CliRun out = checksum(r.args);
        EXPECT_EQ(out.code, 2) << r.message;
        EXPECT_TRUE(has(out.err, r.message)) << r.message << " in " << out.err;
        EXPECT_TRUE(out.out.empty()) << r.message;
    }
}

} // namespace
} // namespace kelvor::cli
