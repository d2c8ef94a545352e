// kelvor detect | reset | ee-write against the simulated programmer.
#include "support/cli_run.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using kelvor::test::runKelvor;

using Home = kelvor::test::KelvorHome;

std::string lastLine(const std::string& out) {
    const auto end = out.find_last_not_of('\n');
    const auto start = out.rfind('\n', end);
    return out.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

} // namespace

TEST(LinkCommands, DetectOutcomes) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* needle; // in the output, or the last line for a selected model
    };
    const Case cases[] = {
        {{"detect"}, 0, "EP2706"},
        {{"detect", "--sim-chip", "EP406"}, 0, "EP406"},
        {{"detect", "--sim-chip", "none"}, 1, "未检测到芯片，请确保连线无误!"},
        {{"detect", "--sim-chip", "EP27C42"}, 1, "USB设备已打开!"},
        {{"detect", "--sim-fault", "detect-fail"}, 3, "自动检测失败!"},
        {{"detect", "--sim-fault", "open-busy"}, 3, "打开设备失败：设备已经被打开!"},
        {{"detect", "--sim-fault", "no-programmer"}, 3, "请插入USB设备!"},
        {{"detect", "--programmer", "/nonexistent/libusbio.so"}, 3, "请插入USB设备!"},
    };
    for (const auto& c : cases) {
        Home home;
        const auto r = runKelvor(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        if (c.code == 0) {
            EXPECT_EQ(lastLine(r.out), c.needle);
        } else {
            EXPECT_NE(r.out.find(c.needle), std::string::npos) << r.out;
        }
    }
}

TEST(LinkCommands, ResetAndEeWrite) {
    Home home;
    auto r = runKelvor({"reset"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("复位芯片成功!"), std::string::npos);
    r = runKelvor({"ee-write", "12", "4500"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("烧录计数已清零"), std::string::npos);
    EXPECT_EQ(runKelvor({"ee-write", "12"}).code, 2);
    EXPECT_EQ(runKelvor({"ee-write", "1x", "4500"}).code, 2);
    EXPECT_EQ(runKelvor({"reset", "--sim-fault", "uart-fail"}).code, 3);
    EXPECT_EQ(runKelvor({"reset", "--sim-fault", "bogus"}).code, 2);
    EXPECT_EQ(runKelvor({"detect", "--sim-chip", "EP9999"}).code, 2);
}

TEST(LinkCommands, WithoutAProgrammerEveryCommandSaysSoAndExits3) {
    // Each used to end quietly after "共找到0个设备!" (reset even with 0).
    const std::vector<std::vector<std::string>> commands = {
        {"reset"}, {"detect"}, {"ee-write", "12", "4500"}, {"reset", "--json"}};
    for (auto args : commands) {
        Home home;
        args.insert(args.end(), {"--sim-fault", "no-programmer"});
        const auto r = runKelvor(args);
        SCOPED_TRACE(args.front());
        EXPECT_EQ(r.code, 3) << r.out;
        EXPECT_NE(r.out.find("请插入USB设备!"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("复位芯片成功!"), std::string::npos) << r.out;
    }
}

TEST(LinkCommands, JsonKeepsLinesAndBoxesApart) {
    Home home;
    const auto r = runKelvor({"detect", "--json"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.rfind("{\"lines\": [", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("共找到1个设备!"), std::string::npos);
    EXPECT_NE(r.out.find("], \"boxes\": [], \"model\": \"EP2706\"}\n"), std::string::npos) << r.out;
}
