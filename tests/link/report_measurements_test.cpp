// Calibration, trim and OTP position reports: the per-model lines, with values worked out by hand
// in single precision.
#include "link/report_decoder.h"
#include "link/report_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvor::link::test {
namespace {

const std::string FAIL = "WM_RESULT_FAIL";
const std::vector<std::string> kFailed = {"S6", "beep", "both", FAIL};

std::vector<std::string> plus(std::vector<std::string> lines, const std::vector<std::string>& effects) {
    lines.insert(lines.end(), effects.begin(), effects.end());
    return lines;
}

// Count bytes 4, 5 as r16 (big-endian) or r14 (bits 6-7 of byte 4 dropped); byte 3 the trim.
Bytes count(int trim, int value, int topBits = 0) {
    return {{3, trim}, {4, ((value >> 8) & 0xFF) | topBits}, {5, value & 0xFF}};
}

class Measurement : public testing::TestWithParam<Case> {};
TEST_P(Measurement, LinesAndEffectsInOrder) {
    checkCase(GetParam());
}

// clang-format off
const Case kOscillator[] = {
    // f = 6300 x 3200 Hz against 20 MHz (entry 6).
    {{0x13, 0x86}, "EP2702", count(0x5A, 6300), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=20.1600MHz, delta=0.8000%", "P40"}},
    {{0x13}, "EP2703", count(0x5A, 6300), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=20.1600MHz, delta=0.8000%", "P40"}},
    {{0x13}, "LN2059", count(0x5A, 6300), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=20.1600MHz, delta=0.8000%", "P40"}},
    {{0x13}, "EP2702", count(0x5A, 2450), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=7.8400MHz, delta=2.0000%", "P40"}, {}, 0},
    {{0x13}, "EP2702", count(0x5A, 0), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=0.0000MHz, delta=100.0000%", "P40"}},
    // No calibration entry selected: the frequency is known, the deviation is not.
    {{0x13}, "EP2702", count(0x5A, 6300), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=20.1600MHz, delta=无效(校准频率序号-1)", "P40"}, {}, -1},
    // Group B+: trim10 = 0x12 x 4 + 1; q = 8000 / 10000.
    {{0x13}, "EP27C42", count(0x12, 10000, 0x40), {"OSC 校准成功!  OSC=0x049, 25ms\n", "OSC FREQ=12.8000MHz, delta=20.0000%", "P40"}},
    {{0x86}, "EP2705", count(0x12, 8000, 0xC0), {"OSC 校准成功!  OSC=0x04b, 25ms\n", "OSC FREQ=16.0000MHz, delta=0.0000%", "P40"}},
    // Group D: f = 128e9 / r16; at 7003 double precision would print 14.2368.
    {{0x13}, "EP39F020", count(0x5A, 7003), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=18.2779MHz, delta=14.2367%", "P40"}},
    {{0x13}, "EP408", count(0x5A, 8100), {"OSC 校准成功!  OSC=0x5a, 25ms\n", "OSC FREQ=15.8025MHz, delta=1.2346%", "P40"}},
    {{0x13}, "EP39B13", count(0x5A, 6300), {"OSC_TRIM_OK 25ms\n", "P40"}},
    {{0x13}, "EP8505", count(0x5A, 6300), {"P40"}},

    {{0x14, 0x87}, "EP2702", count(0x5A, 6300), plus({"OSC 校准失败! OSC=0x5a, 25ms\n", "OSC FREQ=20.1600MHz, delta=0.8000%"}, kFailed)},
    {{0x14}, "EP2703", count(0x5A, 6300), kFailed},
    {{0x14}, "EP3901", count(0x5A, 6300), kFailed},
    {{0x14}, "EP27H01", count(0x12, 10000, 0x40), plus({"OSC 校准失败! OSC=0x49, 25ms\n", "OSC FREQ=12.8000MHz, delta=20.0000%"}, kFailed)},
    {{0x87}, "EP39B13", count(0x5A, 6300), plus({"OSC_TRIM_ERR 25ms\n"}, kFailed)},
    {{0x14}, "EP39F02", count(0x5A, 6300), kFailed},
};
INSTANTIATE_TEST_SUITE_P(Oscillator, Measurement, testing::ValuesIn(kOscillator), caseName);
// clang-format on

// clang-format off
const Case kVoltage[] = {
    {{0x28, 0x94}, "EP2706", count(0x21, 1013), {"V1P0_TRIM=0x21,V1P0 Vol=1.0130v,delta=1.3000%,25ms\n"}},
    {{0x28}, "LN2057", count(0x21, 1013), {"V1P0_TRIM=0x21,V1P0 Vol=1.0130v,delta=1.3000%,25ms\n"}},
    {{0x28}, "EP39F022", count(0x21, 1013), {"V1_TRIM=0x21,V1 Vol=1.0130v,delta=1.3000%,25ms\n"}},
    {{0x28}, "EP39B13", count(0x21, 1013), {"BGR_OK 25ms\n"}},
    {{0x94}, "EP27H02", count(0x21, 1326), {"V1P3_TRIM=0x21,V1P3 Vol=1.3260v,delta=2.0000%,25ms\n"}},
    // Double precision would print 28.8462.
    {{0x28}, "EP2702", count(0x21, 925), {"V1P3_TRIM=0x21,V1P3 Vol=0.9250v,delta=28.8461%,25ms\n"}},
    {{0x33, 0x95}, "EP2707", count(0x21, 1013), {"V1P0_TRIM=0x21,V1P0 Vol=1.0130v,delta=1.3000%,25ms\n", "BGRERR:V1P3_TRIM=0x21,V1P3 Vol=1.0130v,delta=22.0769%,25ms\n", "S6", "both", FAIL}},
    {{0x33}, "EP39B13", count(0x21, 1013), {"BGRERR 25ms\n", "S6", "both", FAIL}},
    {{0x33}, "EP39F02", count(0x21, 1326), {"BGRERR:V1P3_TRIM=0x21,V1P3 Vol=1.3260v,delta=2.0000%,25ms\n", "S6", "both", FAIL}},
    {{0x29, 0x96}, "EP27F02", count(0x21, 2940), {"V3P0_TRIM=0x21,V3P0 Vol=2.9400v,delta=2.0000%,25ms\n"}},
    {{0x29}, "EP39B13", count(0x21, 2940), {"LDO_VEL1_OK 25ms\n"}},
    {{0x29}, "EP3901", count(0x21, 2193), {"V2P15_TRIM=0x21,V2P15 Vol=2.1930v,delta=2.0000%,25ms\n"}},
    {{0x34, 0x97}, "EP406", count(0x21, 2940), {"TRIMERR: V3P0_TRIM=0x21,V3P0 Vol=2.9400v,delta=2.0000%,25ms\n", "TRIMERR: V2P15_TRIM=0x21,V2P15 Vol=2.9400v,delta=36.7442%,25ms\n", "S6", "both", FAIL}},
    {{0x34}, "EP39B13", count(0x21, 2940), {"LDO_VEL1_ERR 25ms\n", "S6", "both", FAIL}},
    {{0x34}, "EP2702", count(0x21, 2193), {"TRIMERR: V2P15_TRIM=0x21,V2P15 Vol=2.1930v,delta=2.0000%,25ms\n", "S6", "both", FAIL}},
    {{0x30, 0x9E}, "EP27H02", count(0x21, 1013), {"06E4 BOR ERR: V1P0_TRIM=0x21,V1P0 Vol=1.0130v,25ms\n", "S6", "both", FAIL}},
    {{0x30}, "EP2702", count(0x21, 1326), {"06E4 BOR ERR: V1P3_TRIM=0x21,V1P3 Vol=1.3260v,25ms\n", "S6", "both", FAIL}},
};
INSTANTIATE_TEST_SUITE_P(Voltage, Measurement, testing::ValuesIn(kVoltage), caseName);
// clang-format on

// clang-format off
const Case kSlowOscillator[] = {
    {{0x3D, 0x88}, "EP2705", count(0x21, 1010), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", "OSC FREQ=253.4653KHz, delta=0.9901%"}},
    {{0x3E, 0x89}, "EP2705", count(0x21, 1010), plus({"SLOW OSC 校准失败! OSC=0x21, 25ms\n", "OSC FREQ=253.4653KHz, delta=0.9901%"}, kFailed)},
    {{0x3D}, "EP27H02", count(0x21, 2000), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", "OSC FREQ=256.0000KHz, delta=0.0000%"}},
    {{0x3D}, "EP27F01D", count(0x21, 16100), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", "OSC FREQ=1017.6398KHz, delta=0.6211%"}},
    // r14 ignores the top two bits of byte 4.
    {{0x3E}, "EP27F01A3", count(0x21, 16000, 0xC0), plus({"SLOW OSC 校准失败! OSC=0x21, 25ms\n", "OSC FREQ=512.0000KHz, delta=0.0000%"}, kFailed)},
    {{0x3D}, "EP3901", count(0x21, 125), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", "OSC FREQ=128.0000KHz, delta=0.0000%"}},
    {{0x3E}, "EP3901", count(0x21, 125), plus({"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=128.0000KHz, delta=0.0000%"}, kFailed)},
    {{0x3D}, "EP39F05", count(0x21, 31), {"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=129.0323KHz, delta=0.8065%"}},
    {{0x3E}, "EP39F03", count(0x21, 31), plus({"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=129.0323KHz, delta=0.8065%"}, kFailed)},
    {{0x3D}, "EP39H02", count(0x21, 31), {"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=129.0323KHz, delta=0.8065%"}},
    {{0x3E}, "EP39H02", count(0x21, 31), kFailed},
    {{0x3D}, "EP39F024", count(0x21, 19800), {"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=1.0343MHz, delta=1.0101%"}},
    {{0x3E}, "EP39F256", count(0x21, 16000), plus({"SLOW OSC 校准! OSC=0x21, 25ms\n", "OSC FREQ=1280000.0000KHz, delta=999900.0000%", "SLOW OSC 校准失败! OSC=0x21, 25ms\n"}, kFailed)},
    {{0x3D}, "EP39B13", count(0x21, 125), {"SLOSC_TRIM_OK 25ms\n"}},
    {{0x3E}, "EP39B13", count(0x21, 125), plus({"SLOSC_TRIM_ERR 25ms\n"}, kFailed)},
    {{0x3D}, "EP27H01", count(0x21, 125), {}},
    {{0x3E}, "EP27H01", count(0x21, 125), kFailed},
};
INSTANTIATE_TEST_SUITE_P(SlowOscillator, Measurement, testing::ValuesIn(kSlowOscillator), caseName);
// clang-format on

// A count of 0 gives a clear line instead of a division by zero; the other lines stay.
const std::string kZero = "OSC FREQ=无效测量值(计数为0)";
// clang-format off
const Case kZeroCounts[] = {
    {{0x13}, "EP27C42", count(0x12, 0, 0xC0), {"OSC 校准成功!  OSC=0x04b, 25ms\n", kZero, "P40"}},
    {{0x13}, "EP39F02", count(0x5A, 0), {"OSC 校准成功!  OSC=0x5a, 25ms\n", kZero, "P40"}},
    {{0x14}, "EP2705", count(0x12, 0, 0x40), plus({"OSC 校准失败! OSC=0x49, 25ms\n", kZero}, kFailed)},
    {{0x3D}, "EP2705", count(0x21, 0, 0xC0), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", kZero}},
    {{0x3D}, "EP2706", count(0x21, 0), {"SLOW OSC 校准成功! OSC=0x21, 25ms\n", kZero}},
    {{0x3D}, "EP408", count(0x21, 0), {"SLOW OSC 校准! OSC=0x21, 25ms\n", kZero}},
    {{0x3E}, "EP39F022", count(0x21, 0), plus({"SLOW OSC 校准! OSC=0x21, 25ms\n", kZero, "SLOW OSC 校准失败! OSC=0x21, 25ms\n"}, kFailed)},
};
INSTANTIATE_TEST_SUITE_P(ZeroCount, Measurement, testing::ValuesIn(kZeroCounts), caseName);
// clang-format on

// OTP positions: EP2702/EP2703 use B(11) & 7 against bits 8-10 of the image word at 8208;
// EP3901 uses LE16(8) & 0x7FFF against the image word at 32780 & 0x7FFF.
Bytes used27(int used) {
    return {{11, 0xF8 | used}};
}
Bytes asked27(int asked) {
    return {{8208, 0xFF}, {8209, 0xF8 | asked}};
}
const std::vector<std::string> kRefused = {"both", FAIL};

// clang-format off
const Case kOtpPositions[] = {
    {{0x3A, 0x6B}, "EP2702", used27(5), plus({"芯片8K模式位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(5)},
    {{0x3A}, "EP2703", used27(5), plus({"芯片8K模式位置烧录错误，不能再次烧录！25ms\n"}, kRefused), asked27(4)},
    {{0x6B}, "EP2702", used27(5), plus({"芯片8K模式位置烧录次数满，不能再次烧录！25ms\n"}, kRefused), asked27(4)},
    {{0x1E}, "EP2703", used27(2), plus({"芯片8K模式位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x6C}, "EP2702", used27(2), plus({"芯片4K模式位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x1E}, "EP2702", used27(2), plus({"芯片4K模式烧录次数满，不能再次烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x1E}, "EP2703", used27(2), plus({"芯片8K模式位置烧录错误，不能再次烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x1F}, "EP2702", used27(2), plus({"芯片2K模式该位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x1F}, "EP2703", used27(2), plus({"芯片4K模式该位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x1F}, "EP2702", used27(0), kRefused, asked27(4)},
    {{0x6D}, "EP2702", used27(0), plus({"芯片2K模式0位置已经烧录过一次，只能在1位置烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x1F}, "EP2703", used27(0), plus({"芯片4K模式0位置已经烧录过一次，只能在1位置烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x1F}, "EP2702", used27(2), plus({"芯片2K模式位置烧录次数满，不能再次烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x1F}, "EP2703", used27(2), plus({"芯片4K模式位置烧录错误，不能再次烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x20}, "EP2702", used27(5), plus({"芯片1K模式该位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(5)},
    {{0x20}, "EP2703", used27(5), plus({"芯片2K模式该位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), asked27(5)},
    {{0x20}, "EP2702", used27(7), kRefused, asked27(3)},
    {{0x6E}, "EP2702", used27(7), plus({"芯片1K模式0位置已经烧录过一次，只能在1位置烧录！25ms\n"}, kRefused), asked27(1)},
    {{0x20}, "EP2702", used27(3), kRefused, asked27(1)},
    {{0x20}, "EP2703", used27(3), plus({"芯片2K模式0、1位置已经烧录过一次，只能在2位置烧录！25ms\n"}, kRefused), asked27(0)},
    {{0x20}, "EP2702", used27(1), kRefused, asked27(0)},
    {{0x20}, "EP2702", used27(1), plus({"芯片1K模式0、1、2位置已经烧录过一次，只能在3位置烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x20}, "EP2702", used27(6), plus({"芯片1K模式位置烧录次数满，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    {{0x20}, "EP2703", used27(6), plus({"芯片2K模式位置错误，不能再次烧录！25ms\n"}, kRefused), asked27(2)},
    // EP3901: bit 15 is dropped on both sides; the 2K/1K rules look at the low three bits of asked.
    {{0x20}, "EP3901", {{8, 0x07}, {9, 0x80}}, kRefused, {{32780, 0x0B}, {32781, 0x80}}},
    {{0x3A}, "EP3901", {{8, 0x34}, {9, 0x92}}, plus({"芯片8K模式位置已经烧录过一次，不能再次烧录！25ms\n"}, kRefused), {{32780, 0x34}, {32781, 0x12}}},
    {{0x1F}, "EP3901", {{8, 0x34}, {9, 0x12}}, plus({"芯片2K模式位置烧录次数满，不能再次烧录！25ms\n"}, kRefused), {{32780, 0x35}, {32781, 0x12}}},
    // Models whose positions are not known: the refusal, the mode and the code, nothing invented.
    {{0x3A}, "EP39F02", {}, plus({"芯片8K模式位置不能烧录，该型号无法核对位置(状态0x3a)！25ms\n"}, kRefused)},
    {{0x6C}, "EP27C42", {}, plus({"芯片4K模式位置不能烧录，该型号无法核对位置(状态0x6c)！25ms\n"}, kRefused)},
    {{0x20}, "EP8505", {}, plus({"芯片1K模式位置不能烧录，该型号无法核对位置(状态0x20)！25ms\n"}, kRefused)},
};
INSTANTIATE_TEST_SUITE_P(OtpPosition, Measurement, testing::ValuesIn(kOtpPositions), caseName);
// clang-format on

TEST(OtpPosition, ShortTransferImageIsNeverReadPastItsEnd) {
    struct Row {
        const char* model;
        std::size_t size; // one byte short of the asked word
        const char* line;
    };
    const Row rows[] = {
        {"EP2702", 8209, "芯片4K模式位置不能烧录，该型号无法核对位置(状态0x1e)！25ms\n"},
        {"EP2703", 0, "芯片8K模式位置不能烧录，该型号无法核对位置(状态0x1e)！25ms\n"},
        {"EP3901", 32781, "芯片4K模式位置不能烧录，该型号无法核对位置(状态0x1e)！25ms\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        const std::vector<std::uint8_t> image(row.size, 0);
        const ReportContext ctx{model(row.model), 6, 0, image};
        ReceiverState state;
        EXPECT_EQ(decode25(statusReport(0x1E), state, ctx), plus({row.line}, kRefused));
    }
}

TEST(ModelGroups, MembershipFollowsTheFamilies) {
    const std::pair<ModelGroup, std::vector<std::string_view>> groups[] = {
        {ModelGroup::A,
         {"EP408", "EP39F01", "EP39F02", "EP39F020", "EP39F022", "EP39F024", "EP39F256", "EP39F03", "EP39F05",
          "EP39H01", "EP39H02", "EP3902", "LN2059", "EP3903", "EP3904"}},
        {ModelGroup::B,
         {"EP2706", "LN2056", "LN2057", "EP27C42", "EP2707", "EP27F01", "EP27F01D", "EP27F01A3", "EP27F02",
          "EPW311", "EP406"}},
        {ModelGroup::BPlus,
         {"EP2706", "LN2056", "LN2057", "EP27C42", "EP2707", "EP27F01", "EP27F01D", "EP27F01A3", "EP27F02",
          "EPW311", "EP406", "EP27H01", "EP27H02", "EP2705"}},
        {ModelGroup::T,
         {"EP3901", "EP39H02", "EP39H01", "EP39F05", "EP39F03", "EP39F01", "EP3903", "EP3902", "LN2059"}},
        {ModelGroup::D, {"EP39F02", "EP39F022", "EP39F024", "EP39F256", "EP39F020", "EP408"}},
        {ModelGroup::H,
         {"EP39H02", "EP39H01", "EP39F05", "EP39F03", "EP39F01", "EP3903", "EP3902", "LN2059"}},
    };
    for (const auto& [group, members] : groups) {
        for (const auto& row : chips::models()) {
            const bool listed = std::find(members.begin(), members.end(), row.model) != members.end();
            EXPECT_EQ(inGroup(group, row.family), listed)
                << row.model << " in group " << static_cast<int>(group);
        }
    }
}

} // namespace
} // namespace kelvor::link::test
