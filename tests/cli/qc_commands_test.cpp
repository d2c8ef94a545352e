// kelvor qc | qc-stats against the simulated QC firmware.
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using kelvor::test::runKelvor;
using Home = kelvor::test::KelvorHome;

bool has(const std::string& out, const char* needle) { return out.find(needle) != std::string::npos; }

TEST(QcCommands, ExitCodesForBadInputLinkFailuresAndVerdicts) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* needle; // in the output or the errors
    };
    const Case cases[] = {
        {{"qc"}, 2, "--checksum is required"},
        {{"qc", "--checksum", "12345"}, 2, "1 to 4 hex digits"},
        {{"qc", "--checksum", "12g4"}, 2, "1 to 4 hex digits"},
        {{"qc", "--checksum", "1", "--date", "2023-02-30"}, 2, "a date YYYY-MM-DD"},
        {{"qc", "--checksum", "1", "--version", "65536"}, 2, "a number 0-65535"},
        {{"qc", "--checksum", "1", "--sim-fault", "no-programmer"}, 3, "请插入USB设备!"},
        {{"qc", "--checksum", "1", "--sim-fault", "qc-silent"}, 3, "did not answer the QC test"},
        {{"qc", "--checksum", "1", "--sim-chip", "none"}, 1, "未检测到芯片，请确保连线无误!"},
        {{"qc", "--checksum", "1"}, 1, "校验码错误!"},
        {{"qc-stats", "--sim-fault", "no-programmer"}, 3, "请插入USB设备!"},
    };
    for (const auto& c : cases) {
        Home home;
        const auto r = runKelvor(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        EXPECT_TRUE(has(r.out + r.err, c.needle)) << r.out << r.err;
    }
}

TEST(QcCommands, PassesWithTheChipsOwnValuesAndFailsEachMismatch) {
    Home home;
    // The JSON names what the chip answered; the checksum it read is the one to expect.
    auto r = runKelvor({"qc", "--checksum", "0", "--json"});
    ASSERT_EQ(r.code, 1) << r.out << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"re("checksum": "([0-9A-F]{1,4})")re"))) << r.out;
    const std::string sum = m[1];
    EXPECT_TRUE(has(r.out, R"("check": "checksum", "expected": "0", "actual": ")")) << r.out;
    EXPECT_TRUE(has(r.out, R"("model": "2706A0")")) << r.out;

    const std::vector<std::string> all{"qc", "--checksum", sum, "--version", "258", "--date", "2024-03-15", "--voltage"};
    r = runKelvor(all);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "date: expected 2024-03-15, read 2024-03-15 PASS")) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 5), "PASS\n");

    auto with = [&](std::vector<std::string> extra) {
        auto args = all;
        args.insert(args.end(), extra.begin(), extra.end());
        return runKelvor(args);
    };
    r = with({"--sim-fault", "qc-voltage,qc-version"});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_TRUE(has(r.out, "芯片VDD电压错误!")) << r.out;
    EXPECT_TRUE(has(r.out, "固件版本号错误!")) << r.out;
    EXPECT_FALSE(has(r.out, "校验码错误!")) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 5), "FAIL\n");
}

TEST(QcCommands, StatisticsPrintTwelveCounters) {
    Home home;
    auto r = runKelvor({"qc-stats"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("ID错误:[0-9]+个\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("配置区校验2错误:[0-9]+个\n$"))) << r.out;
    r = runKelvor({"qc-stats", "--json"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"("counters": \[([0-9]+, ){11}[0-9]+\])"))) << r.out;
}

} // namespace
