#include "link/report_decoder.h"
#include "link/report_support.h"

#include <gtest/gtest.h>

#include <climits>

namespace kelvor::link::test {
namespace {

const std::string FAIL = "WM_RESULT_FAIL";
const std::string PASS = "WM_RESULT_PASS";

class StatusRow : public testing::TestWithParam<Case> {};
TEST_P(StatusRow, LinesAndEffectsInOrder) {
    checkCase(GetParam());
}

// Every row of the status table with lines and effects, at 25 ms. EP2702 is outside every
// group; EP39F01 is in group A.
// clang-format off
const Case kStatusRows[] = {
    {{0x00, 0x68}, "EP2702", {}, {"芯片初始化成功! 25ms\n"}},
    {{0x00, 0x68}, "EP39F01", {}, {"芯片初始化成功! 25ms\n", "S4"}},
    {{0x01, 0x65}, "EP2702", {}, {"芯片ID错误! 25ms\n", "S6", "beep", "both", FAIL}},
    {{0x01, 0x65}, "EP39F01", {}, {"芯片ID错误! 25ms\n", "S6", "beep", "both", FAIL, "S6"}},
    {{0x02}, "EP3904", {}, {"芯片IO错误! 25ms\n", "S6", "beep", "both", FAIL, "S6"}},
    {{0x03}, "EP2702", {}, {"芯片OTP错误! 25ms\n", "beep", "both", FAIL}},
    {{0x04, 0x70}, "EP2702", {}, {"芯片Blank检测错误! 25ms \n", "beep", "both", FAIL}},
    {{0x05, 0x6F}, "EP2702", {}, {"芯片Blank检测成功! 25ms\n", "P60"}},
    {{0x06}, "EP2702", {}, {"芯片编程错误! 25ms\n", "beep", "both", FAIL}},
    {{0x07}, "EP2702", {}, {"芯片编程成功! 25ms\n"}},
    {{0x08}, "EP2702", {{6, 0x34}, {7, 0x12}, {8, 0xCD}, {9, 0xAB}, {10, 0xEF}, {11, 0x00}}, {"芯片校验错误! 25ms\n", "芯片校验错误! adr=1234,org=abcd,rd=  ef, 25ms\n", "beep", "both", FAIL}},
    {{0x0A, 0x7D}, "EP2702", {}, {"FLASH擦除错误! 25ms\n", "beep", "both", "S3"}},
    {{0x0B, 0x7E}, "EP2702", {}, {"FLASH编程错误! 25ms\n", "beep", "both", "S3"}},
    {{0x0C, 0x7F}, "EP2702", {}, {"FLASH校验错误! 25ms\n", "both", "S3"}},
    {{0x0D, 0x80}, "EP2702", {}, {"FLASH编程成功! 25ms\n", "S1"}},
    {{0x0E, 0x81}, "EP2702", {}, {"脱机烧录FLASH校验和错误! 25ms\n", "beep", "both", "S3"}},
    {{0x0F, 0x82}, "EP2702", {{16, 0x78}, {17, 0x56}, {18, 0x34}, {19, 0x12}, {20, 0x01}, {23, 0x80}}, {"脱机烧录按键下载成功,uid=12345678,num=80000001! 25ms\n", "both", PASS}},
    {{0x10, 0x83}, "EP2702", {{16, 0x78}, {17, 0x56}, {18, 0x34}, {19, 0x12}, {20, 0x01}, {23, 0x80}}, {"脱机烧录按键下载失败,uid=12345678,num=80000001! 25ms\n", "both", FAIL}},
    {{0x11, 0x84}, "EP2702", {}, {"OTP 模式进入成功! 25ms\n"}},
    {{0x12, 0x85}, "EP2702", {}, {"寄存器模式进入失败! 25ms\n", "S6", "beep", "both", FAIL}},
    {{0x15, 0x69}, "EP2702", {}, {"芯片初始化失败! 25ms\n", "S6", "beep", "both", FAIL}},
    {{0x16}, "EP39F01", {}, {"芯片初始化成功! 25ms\n"}},
    {{0x17}, "EP2702", {}, {"芯片初始化写入成功! 25ms\n"}},
    {{0x1B, 0x66}, "EP2702", {{12, 0x24}, {13, 0x20}, {14, 0x28}, {15, 0x10}}, {"固件版本正确!\n"}},
    {{0x1B, 0x66}, "EP2702", {{12, 0x24}, {13, 0x20}, {14, 0x29}, {15, 0x10}}, {"固件版本错误, 请下载20241028版本，否则会出现烧录后芯片不能使用!\n"}},
    {{0x1B}, "EP2702", {}, {"固件版本错误, 请下载20241028版本，否则会出现烧录后芯片不能使用!\n"}},
    {{0x1C}, "EP2702", {}, {"2702 ID 错误! 25ms\n", "S6", "both", FAIL}},
    {{0x1D, 0x6A}, "EP2702", {}, {"程序配置字信息与烧录芯片配置信息不一致，不能烧录！25ms\n", "S6", "both", FAIL}},
    {{0x21}, "EP2702", {}, {"芯片目前不支持512字节烧录模式！25ms\n", "both", FAIL}},
    {{0x22}, "EP2702", {}, {"芯片初始化错误！25ms\n", "S6", "both", FAIL}},
    {{0x23}, "EP2702", {}, {"芯片初始化成功！25ms\n"}},
    {{0x24}, "EP2702", {}, {"芯片校验和错误！25ms\n", "both", FAIL}},
    {{0x25}, "EP2702", {}, {"芯片是空片，OTP_KMODE请选0！25ms\n", "both", FAIL}},
    {{0x26}, "EP2702", {}, {"ERROR_38！25ms\n", "both", FAIL}},
    {{0x27}, "EP2702", {}, {"ERROR_39！25ms\n", "both", FAIL}},
    {{0x2A, 0x98}, "EP2702", {{6, 0x1F}, {8, 0x5A}, {10, 0xA5}}, {"regw addr=0x1f,we=5a,re=a5,25ms\n", "S6", "both", FAIL}},
    {{0x2B, 0x99}, "EP2702", {{6, 0x1F}, {8, 0x5A}, {10, 0xA5}}, {"regr addr=0x1f,gd=5a,rd=a5,25ms\n", "S6", "both", FAIL}},
    {{0x2C, 0x9A}, "EP2702", {}, {"PAD TEST PASS 25ms\n"}},
    {{0x2D, 0x9B}, "EP2702", {{6, 0x34}, {7, 0x12}, {8, 0x5A}, {10, 0xA5}}, {"sram addr=0x1234,gd=5a,rd=a5,25ms\n", "S6", "both", FAIL}},
    {{0x2E, 0x9C}, "EP2702", {}, {"SRAM TEST PASS 25ms\n"}},
    {{0x2F, 0x9D}, "EP2702", {}, {"OTP TEST PASS 25ms\n"}},
    {{0x31, 0x9F}, "EP2702", {{6, 0x1F}, {8, 0x5A}, {10, 0xA5}}, {"EE ERROR: regr addr=0x1f,gd=5a,rd=a5,25ms\n", "S6", "both", FAIL}},
    {{0x32, 0xA0}, "EP2702", {}, {"EE TEST PASS 25ms\n"}},
    {{0x35, 0xA1}, "EP2702", {{6, 200}}, {"MCU TEST ERROR NUMBER=200,25ms\n", "both", FAIL}},
    {{0x36, 0xA2}, "EP2702", {}, {"MCU TEST GOOD 25ms\n"}},
    {{0x37, 0xA3}, "EP2702", {{6, 200}}, {"MCU CP ERROR NUMBER=200,25ms\n", "both", FAIL}},
    {{0x38, 0xA4}, "EP2702", {}, {"MCU CP GOOD 25ms\n"}},
    // 1025 / 256 rounds down.
    {{0x3B}, "EP2702", {{6, 0x00}, {7, 0x01}, {8, 0x01}, {9, 0x04}}, {"length=256, times=4! 25ms\n"}},
    {{0x3B}, "EP2702", {{8, 0x01}, {9, 0x04}}, {"length=0, times=无效(长度为0)! 25ms\n"}},
    {{0x3C}, "EP2702", {{6, 0x00}, {7, 0x02}}, {"length=512 空间写满，无法写入! 25ms\n"}},
    // The handshake is written before the line.
    {{0x3F}, "EP2702", {}, {"S10", "烧录校验成功， 25ms\n"}},
    {{0x40}, "EP2702", {}, {"MTP_MODE失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x41}, "EP2702", {}, {"MTP_WRITE失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x42}, "EP2702", {}, {"MTP_CRC失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x43}, "EP2702", {}, {"PAGE_CRC失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x44}, "EP2702", {}, {"OTP_MODE失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x45}, "EP2702", {}, {"OTP_WRITE失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x46}, "EP2702", {}, {"OTP_CRC失败， 25ms\n", "S12", "beep", "both", FAIL}},
    {{0x47, 0x8A}, "EP2702", {}, {"S4", "芯片校准完成， 25ms\n"}},
    {{0x48, 0xA5}, "EP2702", {}, {"HEX校验和错误! 25ms\n", "beep", "both", "S15"}},
    {{0x49, 0xA6}, "EP2702", {}, {"HEX校验OK! 25ms\n", "beep", "both", "S13"}},
    {{0x53}, "EP2702", {}, {"IR_REF_OK 25ms\n"}},
    {{0x54}, "EP2702", {}, {"IR_REF_ERR 25ms\n"}},
    {{0x55}, "EP2702", {}, {"LDO_VEL0_OK 25ms\n"}},
    {{0x56}, "EP2702", {}, {"LDO_VEL0_ERR 25ms\n"}},
    {{0x57}, "EP2702", {}, {"ADC_REF_OK 25ms\n"}},
    {{0x58}, "EP2702", {}, {"ADC_REF_ERR 25ms\n"}},
    {{0x59}, "EP2702", {}, {"LDO_VEL1SLEEP0_OK 25ms\n"}},
    {{0x5A}, "EP2702", {}, {"LDO_VEL1SLEEP0_ERR 25ms\n"}},
    {{0x5B}, "EP2702", {}, {"选择32M主频失败！25ms\n", "both", FAIL}},
    {{0x64}, "EP2702", {}, {"芯片ID正确 25ms\n", "P20"}},
    {{0x67}, "EP2702", {}, {"选择的型号与固件不匹配 25ms\n"}},
    {{0x71}, "EP8505", {}, {"芯片主区写入成功 25ms\n"}},
    {{0x72}, "EP8505", {}, {"芯片主区写入失败 25ms\n"}},
    {{0x73}, "EP8505", {}, {"芯片主区校验成功 25ms\n", "P60"}},
    {{0x74}, "EP8505", {}, {"芯片主区校验失败 25ms\n"}},
    {{0x75}, "EP8505", {}, {"芯片配置区写入成功 25ms\n"}},
    {{0x76}, "EP8505", {}, {"芯片配置区写入失败 25ms\n"}},
    {{0x77}, "EP8505", {}, {"芯片配置区校验成功 25ms\n", "P80"}},
    {{0x78}, "EP8505", {}, {"芯片配置区校验失败 25ms\n"}},
    {{0x79}, "EP8505", {}, {"用户HEX数据写入成功 25ms\n"}},
    {{0x7A}, "EP8505", {}, {"用户HEX数据写入失败，请确认该区域为空，方可写入 25ms\n"}},
    {{0x7B}, "EP8505", {}, {"用户HEX数据校验成功 25ms\n"}},
    {{0x7C}, "EP8505", {}, {"用户HEX数据校验失败 25ms\n"}},
    {{0x8F}, "EP2702", {}, {"电压差异过大，请重新测量CHIP VCC电压并执行写入操作 25ms\n"}},
    {{0x90}, "EP2702", {}, {"测量芯片VCC电压存储成功 25ms\n"}},
    {{0x91}, "EP2702", {}, {"测量芯片VCC电压存储失败 25ms\n"}},
    {{0x92}, "EP2702", {}, {"烧录计数擦除中 25ms\n"}},
    {{0xFA}, "EP2702", {{3, 1}}, {"用户数据写入成功 25ms\n"}},
    {{0xFA}, "EP2702", {{3, 2}}, {"用户数据写入失败 25ms\n"}},
    {{0xFA}, "EP2702", {}, {"用户数据写入失败 25ms\n"}},
};
INSTANTIATE_TEST_SUITE_P(Table, StatusRow, testing::ValuesIn(kStatusRows), caseName);
// clang-format on

// Codes with a row; all others are unlisted.
bool listedInTable(int code) {
    return (code >= 0x00 && code <= 0x17) || (code >= 0x1B && code <= 0x38) ||
           (code >= 0x3A && code <= 0x49) || (code >= 0x53 && code <= 0x5B) ||
           (code >= 0x64 && code <= 0xA6) || code >= 0xFA;
}

TEST(StatusReport, UnlistedCodesLogTheDefaultLineAndFail) {
    const ReportContext ctx = contextFor("EP2702");
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(isListedStatus(static_cast<std::uint8_t>(code)), listedInTable(code));
        if (listedInTable(code)) continue;
        ReceiverState state;
        EXPECT_EQ(decode25(statusReport(code, {{3, 0xFF}, {4, 0xFF}}), state, ctx),
                  (std::vector<std::string>{"USB信息返回错误! 25ms\n", "both", FAIL}));
    }
}

// Every code for every model (and none selected), on zeroed and on all-ones reports, with no
// transfer image: the decoder finishes every report, never prints a non-number and never claims
// an unlisted code.
TEST(StatusReport, EveryCodeForEveryModelIsHandled) {
    std::vector<const chips::ModelRow*> selections{nullptr};
    for (const auto& row : chips::models())
        selections.push_back(&row);
    for (const chips::ModelRow* selected : selections) {
        const char* name = selected ? selected->model.data() : "none";
        const ReportContext ctx{selected, 6, 1, {}};
        for (int fill : {0x00, 0xFF}) {
            for (int code = 0; code < 256; ++code) {
                Report r;
                r.fill(static_cast<std::uint8_t>(fill));
                r[0] = 0x13;
                r[2] = static_cast<std::uint8_t>(code);
                ReceiverState state;
                const auto effects = decodeReport(r, 7, state, ctx);
                ASSERT_FALSE(effects.empty());
                EXPECT_EQ(effects.back().kind, Effect::Kind::Notify);
                EXPECT_EQ(effects.back().notification(), Notification::ControlsEnable);
                for (const Effect& e : effects) {
                    if (e.kind != Effect::Kind::EventLog) continue;
                    EXPECT_EQ(e.text.find("inf"), std::string::npos) << name << " " << code << ": " << e.text;
                    EXPECT_EQ(e.text.find("nan"), std::string::npos) << name << " " << code << ": " << e.text;
                    if (listedInTable(code)) {
                        EXPECT_NE(e.text, "USB信息返回错误! 7ms\n") << name << " " << code;
                    }
                }
            }
        }
    }
}

TEST(StatusReport, ReportClassAndKindChooseTheHandling) {
    const ReportContext ctx = contextFor("EP2702");
    struct Row {
        int byte0;
        std::vector<std::string> expect;
    };
    const Row rows[] = {
        {0x35, {"oscduty=1285,nVersion=1798"}},       // class 5 kind 3: BE16(2), BE16(4)
        {0x45, {"芯片名称下载成功! 25ms\n"}},         // class 5 kind 4
        {0x13, {"芯片Blank检测成功! 25ms\n", "P60"}}, // class 3 kind 1: byte 2 is the status
        {0x15, {}},                                   // class 5, another kind
        {0x55, {}},
        {0x23, {}}, // class 3, another kind
        {0x03, {}},
        {0x31, {}}, // kind and class swapped
        {0x00, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.byte0);
        ReceiverState state;
        const Report r = rawReport({{0, row.byte0}, {2, 0x05}, {3, 0x05}, {4, 0x07}, {5, 0x06}});
        EXPECT_EQ(decode25(r, state, ctx), row.expect);
    }
}

TEST(StatusReport, TimeIsMeasuredFromThePreviousReportOfAnyKind) {
    const ReportContext ctx = contextFor("EP2702");
    ReceiverState state; // time base 0 at start
    auto first = tokens(decodeReport(statusReport(0x07), 1000, state, ctx));
    EXPECT_EQ(first.front(), "芯片编程成功! 1000ms\n");
    EXPECT_EQ(state.lastEventTick, 1000u);
    EXPECT_EQ(state.timeBase, 1000u);
    // A report of no known class still moves the time base.
    EXPECT_EQ(tokens(decodeReport(rawReport({}), 1100, state, ctx)),
              (std::vector<std::string>{"WM_CONTROLS_ENABLE"}));
    EXPECT_EQ(tokens(decodeReport(statusReport(0x07), 1250, state, ctx)).front(), "芯片编程成功! 150ms\n");
    // The tick counter wraps; the elapsed time does not.
    state.timeBase = 0xFFFFFF00u;
    EXPECT_EQ(tokens(decodeReport(statusReport(0x07), 0x10, state, ctx)).front(), "芯片编程成功! 272ms\n");
}

TEST(StatusReport, CountersAndTotals) {
    struct Row {
        const char* story;
        Report report;
        int presses, pass, fail;
        bool hwSeen, byReport;
        std::vector<std::string> expect;
        int passAfter, failAfter;
        bool byReportAfter;
    };
    const Row rows[] = {
        {"0x09 counts one more OK; NG is presses minus OK",
         statusReport(0x09),
         3,
         1,
         0,
         false,
         true,
         {"芯片校验成功! 25ms\n", "总次数:3,OK:2,NG:1", "ok-beep", "P100", "both", PASS},
         2,
         0,
         true},
        {"0x09 moves the bar even when the stage reports do not",
         statusReport(0x09),
         1,
         0,
         0,
         false,
         false,
         {"芯片校验成功! 25ms\n", "总次数:1,OK:1,NG:0", "ok-beep", "P100", "both", PASS},
         1,
         0,
         false},
        {"0x09 leaves the bar alone once the hardware version was seen",
         statusReport(0x09),
         1,
         0,
         0,
         true,
         true,
         {"芯片校验成功! 25ms\n", "总次数:1,OK:1,NG:0", "ok-beep", "both", PASS},
         1,
         0,
         true},
        {"0x8B totals are pass + fail after the increment",
         statusReport(0x8B),
         0,
         4,
         2,
         false,
         false,
         {"芯片烧录完成 25ms\n", "总次数:7,OK:5,NG:2", "ok-beep", "both", "P100", PASS},
         5,
         2,
         true},
        {"0x8C counts an OK without a face",
         statusReport(0x8C),
         0,
         4,
         2,
         false,
         false,
         {"芯片测试完成 25ms\n", "总次数:7,OK:5,NG:2", "P100"},
         5,
         2,
         true},
        {"0x8D counts an OK without a face",
         statusReport(0x8D),
         0,
         4,
         2,
         false,
         false,
         {"芯片读取完成 25ms\n", "总次数:7,OK:5,NG:2", "P100"},
         5,
         2,
         true},
        {"0x8E used to leave the previous chip's OK face showing after a failed burn",
         statusReport(0x8E),
         0,
         4,
         2,
         false,
         false,
         {"芯片烧录失败 25ms\n", "总次数:7,OK:4,NG:3", "both", FAIL},
         4,
         3,
         true},
        {"0xFE takes OK from the programmer",
         statusReport(0xFE, {{4, 0x00}, {5, 0x05}}),
         9,
         1,
         2,
         false,
         true,
         {"总次数:7,OK:5,NG:2"},
         5,
         2,
         true},
        {"0xFE reads OK big-endian",
         statusReport(0xFE, {{4, 0x01}, {5, 0x02}}),
         0,
         0,
         0,
         false,
         true,
         {"总次数:258,OK:258,NG:0"},
         258,
         0,
         true},
        {"0x93 clears both counters",
         statusReport(0x93),
         5,
         4,
         3,
         false,
         true,
         {"烧录计数已清零 25ms\n"},
         0,
         0,
         true},
        {"counters at their limit stay there",
         statusReport(0x8B),
         0,
         INT_MAX,
         0,
         false,
         true,
         {"芯片烧录完成 25ms\n", "总次数:2147483647,OK:2147483647,NG:0", "ok-beep", "both", "P100", PASS},
         INT_MAX,
         0,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.story);
        ReceiverState state;
        state.passCount = row.pass;
        state.failCount = row.fail;
        state.hwVersionSeen = row.hwSeen;
        state.progressByReport = row.byReport;
        const ReportContext ctx = contextFor("EP2702", row.presses);
        EXPECT_EQ(decode25(row.report, state, ctx), row.expect);
        EXPECT_EQ(state.passCount, row.passAfter);
        EXPECT_EQ(state.failCount, row.failAfter);
        EXPECT_EQ(state.progressByReport, row.byReportAfter);
    }
}

TEST(StatusReport, StageReportsMoveTheBarUntilTheConfigurationCheck) {
    const ReportContext ctx = contextFor("EP2702");
    ReceiverState state;
    const auto progressOf = [&](int code) {
        std::vector<std::string> steps;
        for (const auto& t : decode25(statusReport(code, {{4, 0x18}, {5, 0x6A}}), state, ctx))
            if (t.size() <= 4 && t[0] == 'P') steps.push_back(t);
        return steps;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(progressOf(0x64), V{"P20"});
    EXPECT_EQ(progressOf(0x13), V{"P40"});
    EXPECT_EQ(progressOf(0x05), V{"P60"});
    EXPECT_EQ(progressOf(0x73), V{"P60"});
    EXPECT_EQ(progressOf(0x77), V{"P80"});
    EXPECT_FALSE(state.progressByReport);
    // From here the stage reports leave the bar alone, and 0x77 changes nothing but the log.
    EXPECT_EQ(progressOf(0x64), V{});
    EXPECT_EQ(progressOf(0x05), V{});
    EXPECT_EQ(decode25(statusReport(0x77), state, ctx), V{"芯片配置区校验成功 25ms\n"});
    EXPECT_FALSE(state.progressByReport);
    EXPECT_EQ(progressOf(0x8D), V{"P100"});
    EXPECT_TRUE(state.progressByReport);
    EXPECT_EQ(progressOf(0x64), V{"P20"});
}

TEST(StatusReport, HardwareVersionIsRecordedWithItsLine) {
    const ReportContext ctx = contextFor("EP2702");
    ReceiverState state;
    EXPECT_EQ(decode25(statusReport(0xFF), state, ctx), std::vector<std::string>{"硬件版本返回成功 25ms\n"});
    EXPECT_TRUE(state.hwVersionSeen);
}

TEST(StatusReport, RepliesCopyExactlyTheirBytes) {
    const ReportContext ctx = contextFor("EP2702");
    Report r = statusReport(0);
    for (int i = 3; i < kReportSize; ++i)
        r[i] = static_cast<std::uint8_t>(i - 2); // 1, 2, 3, ...
    ReceiverState state;
    state.detectReply.fill(0xEE);
    state.qcReply.fill(0xEE);
    state.qcErrorStats.fill(0xEEEE);

    r[2] = 0xFC;
    EXPECT_EQ(decode25(r, state, ctx), std::vector<std::string>{"WM_QC_RESULT"});
    EXPECT_EQ(state.qcReply,
              (std::array<std::uint8_t, 15>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(state.detectReply[0], 0xEE);

    r[2] = 0xFD;
    EXPECT_EQ(decode25(r, state, ctx), std::vector<std::string>{"WM_DETECT_RESULT"});
    EXPECT_EQ(state.detectReply, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));

    r[2] = 0xFB;
    EXPECT_EQ(decode25(r, state, ctx), std::vector<std::string>{"WM_QC_STATS"});
    // Little-endian pairs from byte 3: (1, 2) -> 0x0201, ..., (23, 24) -> 0x1817.
    EXPECT_EQ(state.qcErrorStats,
              (std::array<std::uint16_t, 12>{0x0201, 0x0403, 0x0605, 0x0807, 0x0A09, 0x0C0B, 0x0E0D, 0x100F,
                                             0x1211, 0x1413, 0x1615, 0x1817}));
    EXPECT_EQ(state.passCount, 0);
}

} // namespace
} // namespace kelvor::link::test
