#include "qc/evaluation.h"

#include <gtest/gtest.h>

namespace kelvor::qc {
namespace {

using Kind = Step::Kind;

// A reply from identifier, checksum, version, year, month-day and millivolts.
Reply reply(std::uint32_t id, int sum, int version = 0, int year = 0, int monthDay = 0, int mv = 0) {
    Reply q{};
    for (int i = 0; i < 4; ++i) q[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (24 - 8 * i));
    auto put = [&](std::size_t at, int v) {
        q[at] = static_cast<std::uint8_t>(v >> 8);
        q[at + 1] = static_cast<std::uint8_t>(v);
    };
    put(4, sum);
    put(6, version);
    put(8, year);
    put(10, monthDay);
    put(12, mv);
    q[14] = 0x5A; // unused: never read
    return q;
}

std::vector<std::string> boxes(const Evaluation& e) {
    std::vector<std::string> out;
    for (const auto& s : e.steps)
        if (s.kind == Kind::Box) out.push_back(s.text);
    return out;
}

Display finalDisplay(const Evaluation& e) {
    Display d = Display::Idle;
    for (const auto& s : e.steps)
        if (s.kind == Kind::Display) d = s.display;
    return d;
}

struct Row {
    const char* name;
    Reply q;
    Expectations e;
    bool pass;
    std::vector<std::string> boxes;
};

class Judged : public ::testing::TestWithParam<Row> {};

TEST_P(Judged, VerdictAndBoxes) {
    const Row& r = GetParam();
    const Evaluation ev = evaluate(r.q, r.e);
    EXPECT_EQ(ev.pass, r.pass);
    EXPECT_EQ(finalDisplay(ev), r.pass ? Display::Pass : Display::Fail);
    EXPECT_EQ(boxes(ev), r.boxes);
}

Expectations sum(const char* text) {
    Expectations e;
    e.checksumText = text;
    return e;
}
Expectations withVersion(const char* text) {
    Expectations e = sum("1234");
    e.checkVersion = true;
    e.versionText = text;
    return e;
}
Expectations withDate(int year, int monthDay) {
    Expectations e = sum("1234");
    e.checkDate = true;
    e.year = year;
    e.monthDay = monthDay;
    return e;
}
Expectations withVoltage() {
    Expectations e = sum("1234");
    e.checkVoltage = true;
    return e;
}
Expectations everything() {
    Expectations e = withVersion("258");
    e.checkDate = true;
    e.year = 2024;
    e.monthDay = 315;
    e.checkVoltage = true;
    return e;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Judged,
    ::testing::Values(
        Row{"NoChip", reply(0, 0x1234, 258, 2024, 315, 5000), everything(), false, {"未检测到芯片，请确保连线无误!"}},
        Row{"LeadingZerosOfChecksum", reply(0x2700, 0x00AB), sum("00ab"), true, {}},
        Row{"ChecksumDiffers", reply(0x2700, 0x1235), sum("1234"), false, {"校验码错误!"}},
        Row{"VersionMatches", reply(0x2700, 0x1234, 65535), withVersion("65535"), true, {}},
        Row{"VersionDiffers", reply(0x2700, 0x1234, 257), withVersion("258"), false, {"固件版本号错误!"}},
        Row{"DateMatches", reply(0x2700, 0x1234, 0, 2023, 704), withDate(2023, 704), true, {}},
        Row{"DayDiffers", reply(0x2700, 0x1234, 0, 2023, 705), withDate(2023, 704), false, {"日期错误!"}},
        Row{"YearDiffers", reply(0x2700, 0x1234, 0, 2024, 704), withDate(2023, 704), false, {"日期错误!"}},
        Row{"VoltageAtTop", reply(0x2700, 0x1234, 0, 0, 0, 5500), withVoltage(), true, {}},
        Row{"VoltageAboveTop", reply(0x2700, 0x1234, 0, 0, 0, 5501), withVoltage(), false, {"芯片VDD电压错误!"}},
        Row{"VoltageAtBottom", reply(0x2700, 0x1234, 0, 0, 0, 3000), withVoltage(), true, {}},
        Row{"VoltageBelowBottom", reply(0x2700, 0x1234, 0, 0, 0, 2999), withVoltage(), false, {"芯片VDD电压错误!"}},
        // Unticked boxes are not judged, whatever the reply holds.
        Row{"UntickedSkipped", reply(0x2700, 0x1234, 1, 1999, 101, 100), sum("1234"), true, {}},
        // Every mismatch is reported, none stops the others.
        Row{"AllWrong", reply(0x2700, 0x1111, 1, 2000, 101, 6000), everything(), false,
            {"校验码错误!", "固件版本号错误!", "日期错误!", "芯片VDD电压错误!"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Evaluation, NoChipStopsAtItsLineAndBox) {
    const Evaluation ev = evaluate(reply(0, 0x1234), sum("1234"));
    const std::vector<Step> expected{{Kind::Display, Field::Model, Display::Fail, ""},
                                     {Kind::Log, Field::Model, Display::Idle, "未检测到芯片，请确保连线无误!\n"},
                                     {Kind::Box, Field::Model, Display::Idle, "未检测到芯片，请确保连线无误!"}};
    EXPECT_EQ(ev.steps, expected);
    EXPECT_FALSE(ev.chipPresent);
    EXPECT_TRUE(ev.checks.empty());
}

TEST(Evaluation, FailShowsBeforeItsLineAndBox) {
    const Evaluation ev = evaluate(reply(0x2700, 0x1235), sum("1234"));
    const std::vector<Step> expected{{Kind::Show, Field::Model, Display::Idle, "2706A0"},
                                     {Kind::Show, Field::Checksum, Display::Idle, "1235"},
                                     {Kind::Display, Field::Model, Display::Fail, ""},
                                     {Kind::Log, Field::Model, Display::Idle, "校验码错误!\n"},
                                     {Kind::Box, Field::Model, Display::Idle, "校验码错误!"},
                                     {Kind::Display, Field::Model, Display::Fail, ""}};
    EXPECT_EQ(ev.steps, expected);
}

TEST(Evaluation, FieldsShowTheReply) {
    const Evaluation ev = evaluate(reply(0x0039F021, 0x00AB, 258, 2023, 704, 4980), everything());
    EXPECT_EQ(ev.field(Field::Model), "39F02");
    EXPECT_EQ(ev.field(Field::Checksum), "AB");
    EXPECT_EQ(ev.field(Field::Version), "258");
    EXPECT_EQ(ev.field(Field::Date), "2023-07-04");
    EXPECT_EQ(ev.field(Field::Voltage), "4980");
    // Unticked boxes leave their fields empty.
    const Evaluation bare = evaluate(reply(0x2700, 0x1234, 258, 2023, 704, 4980), sum("1234"));
    EXPECT_EQ(bare.field(Field::Version), "");
    EXPECT_EQ(bare.field(Field::Date), "");
    EXPECT_EQ(bare.field(Field::Voltage), "");
    ASSERT_EQ(bare.checks.size(), 1u);
    EXPECT_EQ(bare.checks[0].name, "checksum");
}

TEST(Evaluation, ModelTexts) {
    const std::pair<std::uint32_t, const char*> rows[] = {
        {0x6A, "0x006a"},       {0x8A, "0x008a"},      {0x2700, "2706A0"},     {0x2701, "2706A1"},
        {0x2703, "2706B0"},     {0x2707, "2706B1"},    {0x0039F020, "39F020"}, {0x0039F021, "39F02"},
        {0x0039F022, "39F022"}, {0x2702, ""},          {0x6A000000, ""},
    };
    for (const auto& [id, text] : rows) EXPECT_EQ(modelText(id), text) << std::hex << id;
    // Every QC chip names a model the catalog has, once.
    for (const auto& c : qcChips()) EXPECT_EQ(qcIdentifierOf(c.model), c.identifier) << c.model;
}

TEST(Precheck, StepsInOrder) {
    Expectations e;
    e.checkVersion = true;
    e.checkDate = true;
    e.dateChosen = false;
    EXPECT_EQ(precheck(e)->line, "请在设置页面输入校验码");
    EXPECT_EQ(precheck(e)->box, "请在设置页面输入校验码!");
    e.checksumText = "AB";
    EXPECT_EQ(precheck(e)->box, "请在设置页面输入固件版本号!");
    e.versionText = "1";
    EXPECT_EQ(precheck(e)->box, "请在设置页面选择日期!");
    e.dateChosen = true;
    EXPECT_FALSE(precheck(e));
    // An empty version text only matters when the version is checked.
    e.checkVersion = false;
    e.versionText.clear();
    EXPECT_FALSE(precheck(e));
}

TEST(Stats, TwelveTexts) {
    ErrorStats c{};
    auto zero = statsTexts(c);
    EXPECT_EQ(zero[0], "ID错误:0个");
    EXPECT_EQ(zero[11], "配置区校验2错误:0个");
    c[4] = 65535;
    EXPECT_EQ(statsTexts(c)[4], "低速1M时钟错误:65535个");
    EXPECT_EQ(statsRows()[4].control, 1106);
}

TEST(Dates, ParsedAndShown) {
    int y = 0, md = 0;
    ASSERT_TRUE(parseDate("2023-07-04", y, md));
    EXPECT_EQ(y, 2023);
    EXPECT_EQ(md, 704);
    EXPECT_EQ(dateText(y, md), "2023-07-04");
    EXPECT_TRUE(parseDate("2024-02-29", y, md));
    for (const char* bad : {"2023-02-29", "2023-13-01", "2023-00-10", "2023-7-4", "20230704", "", "abcd-ef-gh"})
        EXPECT_FALSE(parseDate(bad, y, md)) << bad;
}

} // namespace
} // namespace kelvor::qc
