// kelvor program end to end against the simulated programmer: every model, repeated presses,
// offline modes and each fault with its exit code.
#include "chips/catalog.h"
#include "support/cli_run.h"
#include "support/image_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using kelvor::test::runKelvor;

struct Bench {
    QTemporaryDir dir;
    std::string image;
    Bench() {
        setenv("KELVOR_HOME", dir.path().toLocal8Bit().constData(), 1);
        // 512 bytes of program data: usable for every family's decoder.
        std::vector<std::uint8_t> data(512);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        std::string text;
        for (std::size_t at = 0; at < data.size(); at += 16)
            text += kelvor::test::hexData(static_cast<std::uint16_t>(at), {data.begin() + static_cast<long>(at),
                                                                           data.begin() + static_cast<long>(at) + 16});
        image = (dir.path() + "/demo.hex").toStdString();
        std::ofstream(image, std::ios::binary) << text << kelvor::test::hexEnd();
    }
    ~Bench() { unsetenv("KELVOR_HOME"); }
};

bool has(const std::string& out, const char* text) { return out.find(text) != std::string::npos; }

class EveryModel : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(EveryModel, ProgramsAChipAgainstTheSimulator) {
    Bench b;
    const std::string model = GetParam();
    std::vector<std::string> args{"program", "--model", model, b.image};
    if (model == "EP39H01") args.insert(args.end(), {"--offline", "1"});
    const auto r = runKelvor(args);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "CKSUM") || has(r.out, "下载完毕")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Catalog, EveryModel, testing::ValuesIn([] {
                             std::vector<std::string> names;
                             for (const auto& row : kelvor::chips::models()) names.emplace_back(row.model);
                             return names;
                         }()),
                         [](const auto& info) { return info.param; });

TEST(Program, ThreeChipsInARowAndJson) {
    Bench b;
    auto r = runKelvor({"program", "--model", "EP27C42", b.image, "--count", "3"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "总次数:3,OK:3,NG:0")) << r.out;

    r = runKelvor({"program", "--model", "EP39F022", b.image, "--count", "3", "--json"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "{\"passed\": 3, \"failed\": 0, \"cksum\": \"CKSUM: 0x")) << r.out;
    EXPECT_TRUE(has(r.out, "{\"line\": ")) << r.out;
    EXPECT_TRUE(has(r.out, "\"boxes\": []}")) << r.out;

    // The voltage warning is a message box in its own list, besides its log line.
    r = runKelvor({"program", "--model", "EP27C42", b.image, "--voltage", "2.9", "--json"});
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_TRUE(has(r.out, "\"boxes\": [{\"caption\": \"警告!\", \"text\": \"请在校准信息栏上输入烧录器实测4.5V电压实测值！\"}]"))
        << r.out;
}

TEST(Program, FaultsGiveTheirLineAndExitCode) {
    struct Case {
        const char* model;
        const char* fault;
        int code;
        const char* line;
    };
    const Case cases[] = {
        {"EP27C42", "blank-fail", 1, "芯片Blank检测错误!"},
        {"EP27C42", "verify-fail", 1, "芯片校验错误!"},
        {"EP27C42", "id-error", 1, "芯片ID错误!"},
        {"EP27C42", "checksum-error", 1, "芯片校验和错误！"},
        {"EP27C42", "ng-rate=100", 1, "NG:1"},
        {"EP27C42", "garbage", 1, "USB信息返回错误!"},
        {"EP3901", "no-ack", 3, "等待烧录器应答超时!"},
        {"EP27C42", "unplug-mid-transfer", 3, "USB设备被拔出!"},
        {"EP27C42", "usb-fail", 3, "USB通讯错误!"},
        {"EP27C42", "open-busy", 3, "打开设备失败：设备已经被打开!"},
        {"EP27C42", "silent", 3, "下载完毕!"},
    };
    for (const auto& c : cases) {
        Bench b;
        const auto r = runKelvor({"program", "--model", c.model, b.image, "--sim-fault", c.fault});
        EXPECT_EQ(r.code, c.code) << c.fault << "\n" << r.out << r.err;
        EXPECT_TRUE(has(r.out, c.line)) << c.fault << "\n" << r.out;
    }
}

TEST(Program, BadInputIsRefused) {
    Bench b;
    const std::vector<std::vector<std::string>> cases = {
        {"program", "--model", "EP9999", b.image},
        {"program", "--model", "EP39H01", b.image}, // its 烧录 is disabled: --offline 1 is the way
        {"program", "--model", "EP27C42", b.image, "--voltage", "2.9"},
        {"program", "--model", "EP27C42", b.dir.path().toStdString() + "/missing.hex"},
        {"program", "--model", "EP27C42"},
        {"program", "--model", "EP27C42", b.image, "--count", "0"},
    };
    for (const auto& args : cases) {
        const auto r = runKelvor(args);
        EXPECT_EQ(r.code, 2) << args.back() << "\n" << r.out << r.err;
    }
    EXPECT_TRUE(has(runKelvor({"program", "--model", "EP39H01", b.image}).err, "--offline 1"));
}

TEST(Program, OfflineStoresTheImageInTheProgrammer) {
    Bench b;
    auto r = runKelvor({"program", "--model", "EP39F022", b.image, "--offline", "1"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "HEX校验OK!")) << r.out;
    // The programmer refused the image and stored nothing: this used to exit 0.
    r = runKelvor({"program", "--model", "EP39F022", b.image, "--offline", "1", "--sim-fault", "checksum-error"});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_TRUE(has(r.out, "HEX校验和错误!")) << r.out;
    r = runKelvor({"program", "--model", "EP8505_IN", b.image, "--offline", "5"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(has(r.out, "HEX校验OK!")) << r.out;
}

TEST(Program, EachChipGetsTheProgrammersVerdictAndNoTransferOverlapsABurn) {
    // A failing chip's second fail report was counted as the next chip's verdict, and the next
    // transfer started while the burn was still reporting.
    Bench b;
    const std::string trace = (b.dir.path() + "/trace.jsonl").toStdString();
    constexpr int kChips = 12;
    const auto r = runKelvor({"program", "--model", "EP27C42", b.image, "--count", std::to_string(kChips), "--sim-fault",
                              "ng-rate=30", "--trace", trace, "--json"});
    EXPECT_TRUE(r.code == 0 || r.code == 1) << r.out << r.err;

    // The programmer's own account, from the trace: each burn (SET_ZEP 1) ends with 0x8B or 0x8E,
    // and no data goes out between a burn command and its closing report.
    std::ifstream in(trace);
    std::string line;
    int passed = 0, failed = 0, overlaps = 0;
    bool burning = false;
    while (std::getline(in, line)) {
        if (has(line, "\"USBIO_OTP_SEND\"") && burning) ++overlaps;
        if (has(line, "\"USBIO_SET_ZEP\", \"args\": [1]")) burning = true;
        const auto at = line.find("\"report\": \"13");
        if (at == std::string::npos || !burning) continue;
        const std::string code = line.substr(at + 15, 2); // byte 2: the status code
        if (code == "8b") ++passed, burning = false;
        if (code == "8e") ++failed, burning = false;
    }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(passed + failed, kChips);
    EXPECT_GT(failed, 0);
    std::ostringstream summary;
    summary << "{\"passed\": " << passed << ", \"failed\": " << failed << ", ";
    EXPECT_TRUE(has(r.out, summary.str().c_str())) << summary.str() << "\n" << r.out;
    EXPECT_EQ(r.code, failed ? 1 : 0);
}
