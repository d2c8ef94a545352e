// kelvor report: status reports typed as hex, run through the receiver's decoding.
#include "cli/cli.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace kelvor::cli {
namespace {

test::CliRun report(std::vector<std::string> args) {
    args.insert(args.begin(), "report");
    return test::runKelvor(args);
}

std::string writeFile(const std::string& name, std::vector<char> bytes) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(ReportCli, HumanOutputPrintsEachMessageOnItsOwnLine) {
    // 128 digits: the offline key result reads its values from bytes 16-23; the rest is padding.
    std::string full = "13000f" + std::string(26, '0') + "7856341201000080";
    full += std::string(128 - full.size(), 'f');
    const test::CliRun r = report({"--interval", "7", "130001", "1300fe00000500", "1300135a189c", full});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    // Totals and frequency lines carry no line feed of their own.
    EXPECT_EQ(r.out, "芯片ID错误! 0ms\n"
                     "总次数:5,OK:5,NG:0\n"
                     "OSC 校准成功!  OSC=0x5a, 7ms\n"
                     "OSC FREQ=20.1600MHz, delta=0.8000%\n"
                     "脱机烧录按键下载成功,uid=12345678,num=80000001! 7ms\n");
}

TEST(ReportCli, JsonCollectsEveryEffectInOrder) {
    const test::CliRun r =
        report({"--json", "--model", "EP39F01", "--presses", "3", "--pass", "1", "--interval", "5",
                "1300090000", "130001", "1300fc0102030405060708090a0b0c0d0e0f10", "1300ff"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(
        r.out,
        R"({"model": "EP39F01", )"
        R"("lines": ["芯片校验成功! 0ms\n", "总次数:3,OK:2,NG:1", "芯片ID错误! 5ms\n", "硬件版本返回成功 5ms\n"], )"
        R"("linkState": [6, 6], "progress": [100], )"
        R"("notifications": ["WM_RESULT_PASS", "WM_CONTROLS_ENABLE", "WM_RESULT_FAIL", "WM_CONTROLS_ENABLE", )"
        R"("WM_QC_RESULT", "WM_CONTROLS_ENABLE", "WM_CONTROLS_ENABLE"], )"
        R"("sounds": ["default", "error"], "enableBoth": 2, "counters": {"presses": 3, "pass": 2, "fail": 0}, )"
        R"("hwVersionSeen": true, "progressByReport": true, "detectReply": [0, 0, 0, 0, 0, 0], )"
        R"("qcReply": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15], )"
        R"("qcErrorStats": [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]})"
        "\n");
}

TEST(ReportCli, StartStateComesFromTheOptions) {
    // Stage steps only while the reports drive the bar; 0x09 skips its step once the hardware
    // version was seen; the calibration target follows --freq (entry 0: 8 MHz).
    const test::CliRun r = report({"--json", "--progress-by-report", "0", "--hw-version", "--freq", "0", "130064",
                             "1300090000", "1300135a0992"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(R"("progress": [], )"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OSC FREQ=7.8400MHz, delta=2.0000%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("counters": {"presses": 0, "pass": 1, "fail": 0})"), std::string::npos) << r.out;
}

TEST(ReportCli, TransferImageFeedsThePositionCheck) {
    std::vector<char> image(8210, 0);
    image[8209] = 0x05; // asks for position 5
    const std::string path = writeFile("report_cli_image.bin", image);
    const std::string used5 = "13001e" + std::string(16, '0') + "05";
    test::CliRun r = report({"--transfer", path, used5});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "芯片4K模式位置已经烧录过一次，不能再次烧录！0ms\n");

    const std::string big = writeFile("report_cli_big.bin", std::vector<char>(65537, 0));
    r = report({"--transfer", big, used5});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("larger than 65536 bytes"), std::string::npos) << r.err;

    r = report({"--transfer", testing::TempDir() + "no_such_image.bin", used5});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot read transfer image"), std::string::npos) << r.err;
}

TEST(ReportCli, UsageErrorsSayWhatIsWrong) {
    struct Row {
        std::vector<std::string> args;
        const char* message;
    };
    const Row rows[] = {
        {{"13010"}, "odd number of hex digits"},
        {{"13zz"}, "'13zz' is not hex (at digit 3)"},
        {{"+1"}, "is not hex"},
        {{std::string(130, '0')}, "more than 128 hex digits"},
        {{""}, "empty report"},
        {{}, "no REPORT given"},
        {{"--model", "EP9999", "1300"}, "unknown model 'EP9999'"},
        {{"--model", "ep2702", "1300"}, "unknown model 'ep2702'"},
        {{"--freq", "9", "1300"}, "--freq wants a whole number from 0 to 8, not '9'"},
        {{"--progress-by-report", "2", "1300"}, "--progress-by-report wants"},
        {{"--interval", "-1", "1300"}, "--interval wants"},
        {{"--presses", "3x", "1300"}, "--presses wants"},
        {{"--bogus", "1300"}, "unknown option --bogus"},
        {{"1300", "--model"}, "missing value for --model"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        const test::CliRun r = report(row.args);
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: kelvor report"), std::string::npos);
    }
}

TEST(ReportCli, BinaryReportsThroughStdoutAndExitCode) {
    const auto runBinary = [](const std::string& args, std::string& out) {
        FILE* p = popen((std::string(KELVOR_CLI_PATH) + " report " + args + " 2>/dev/null").c_str(), "r");
        if (!p) return -1;
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        const int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    EXPECT_EQ(runBinary("--interval 3 1300 45 130018", out), 0);
    EXPECT_EQ(out, "芯片初始化成功! 0ms\n芯片名称下载成功! 3ms\nUSB信息返回错误! 3ms\n");
    out.clear();
    EXPECT_EQ(runBinary("13010", out), kExitUsage);
    EXPECT_EQ(out, "");
}

} // namespace
} // namespace kelvor::cli
