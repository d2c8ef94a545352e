// Typing rules of the validating fields, driven as the widgets drive them: text, selection, key.
#include "jobs/field_rules.h"

#include <gtest/gtest.h>

namespace kelvor::jobs {
namespace {

using Action = CharVerdict::Action;

TEST(VoltageLengthRule, CutsToFiveWithTheCaretAtTheEnd) {
    EXPECT_FALSE(voltageLengthRule(u""));
    EXPECT_FALSE(voltageLengthRule(u"4.500"));
    const auto cut = voltageLengthRule(u"4.5001");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text, u"4.500");
    EXPECT_EQ(cut->caret, 5);
    const auto pair = voltageLengthRule(u"4.50\U0001F600x"); // never half a surrogate pair
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->text, u"4.50");
    EXPECT_EQ(pair->caret, 4);
}

struct Typed {
    const char16_t* text;
    int s, e;
    char16_t ch;
    Action action;
    char16_t inserted;
    const char* balloon;
};

void expectRows(int control, std::initializer_list<Typed> rows) {
    for (const auto& r : rows) {
        const CharVerdict v = control == 0 ? uidCharRule(r.text, r.s, r.e, r.ch)
                                           : myEditCharRule(control, r.text, r.s, r.e, r.ch);
        const std::string where = "control " + std::to_string(control) + " char " + std::to_string(r.ch) +
                                  " at " + std::to_string(r.s) + "-" + std::to_string(r.e);
        EXPECT_EQ(v.action, r.action) << where;
        if (r.action == Action::Accept || r.action == Action::AcceptUpper) {
            EXPECT_EQ(v.ch, r.inserted) << where;
        }
        EXPECT_EQ(std::string(v.balloon), std::string(r.balloon)) << where;
    }
}

TEST(UidCharRule, AtMostEightHexDigitsDroppedSilently) {
    expectRows(0, {
                      {u"", 0, 0, u'a', Action::Accept, u'a', ""},
                      {u"1234567", 7, 7, u'F', Action::Accept, u'F', ""},
                      {u"12345678", 8, 8, u'1', Action::Drop, 0, ""},
                      {u"FFFFFFFF", 0, 8, u'1', Action::Drop, 0, ""}, // even with everything selected
                      {u"FFFFFFFF", 8, 8, kBackspace, Action::Accept, kBackspace, ""},
                      {u"12", 2, 2, u'g', Action::Drop, 0, ""},
                      {u"12", 2, 2, u' ', Action::Drop, 0, ""},
                  });
}

TEST(CheckCodeRule, FourHexDigitsUpperCased) {
    expectRows(kFieldCheckCode, {
                                    {u"", 0, 0, u'b', Action::AcceptUpper, u'B', ""},
                                    {u"12A", 3, 3, u'f', Action::AcceptUpper, u'F', ""},
                                    {u"12AF", 4, 4, u'1', Action::Refuse, 0, "只能输入4位校验码"},
                                    {u"12AF", 0, 4, u'1', Action::AcceptUpper, u'1', ""},
                                    {u"12AF", 1, 2, u'c', Action::AcceptUpper, u'C', ""},
                                    {u"12AF", 4, 4, kBackspace, Action::Accept, kBackspace, ""},
                                    {u"12", 2, 2, u'g', Action::Refuse, 0, "输入应在0~9或A~F之间"},
                                });
}

TEST(FirmwareVersionRule, KeepsTheValueWithin65535) {
    expectRows(kFieldFirmwareVersion,
               {
                   {u"6553", 4, 4, u'5', Action::Accept, u'5', ""},
                   {u"6553", 4, 4, u'6', Action::Refuse, 0, "取值范围应在0~65535"},
                   {u"6553", 0, 0, u'9', Action::Refuse, 0, "取值范围应在0~65535"},
                   {u"65535", 4, 5, u'9', Action::Refuse, 0, "取值范围应在0~65535"},
                   {u"65535", 4, 5, u'0', Action::Accept, u'0', ""},
                   {u"65535", 0, 2, u'9', Action::Accept, u'9', ""}, // longer selection: no check
                   {u"-5", 1, 2, u'3', Action::Refuse, 0, "取值范围应在0~65535"},
                   {u"12", 2, 2, u'a', Action::Refuse, 0, "输入应在0~9之间"},
                   {u"99999999999999999999", 20, 20, u'9', Action::Refuse, 0, "取值范围应在0~65535"},
                   {u"12", 2, 2, kBackspace, Action::Accept, kBackspace, ""},
               });
}

TEST(CustomPdoRule, BuildsTwoDigitItemsEachEndedByAComma) {
    expectRows(kFieldCustomPdo, {
                                    {u"", 0, 0, u'0', Action::AcceptUpper, u'0', ""},
                                    {u"0", 1, 1, u'2', Action::AcceptUpper, u'2', ""},
                                    {u"02", 2, 2, u',', Action::AcceptUpper, u',', ""},
                                    {u"", 0, 0, u',', Action::Refuse, 0, "请输入两位数据!"},
                                    {u"02,0", 4, 4, u',', Action::Refuse, 0, "请输入两位数据!"},
                                    {u"02", 2, 2, u'3', Action::Refuse, 0, "请输入','结束符"},
                                    {u"02,", 3, 3, u'b', Action::AcceptUpper, u'B', ""},
                                    {u"02,", 0, 0, u',', Action::AcceptUpper, u',', ""}, // inside: unchecked
                                    {u"02", 0, 2, u'x', Action::Refuse, 0, "输入应在0~9或A~F之间"},
                                    {u"02", 2, 2, 0xFF0C, Action::Refuse, 0, "请输入英文输入法下的','"},
                                    {u"02", 2, 2, kBackspace, Action::Accept, kBackspace, ""},
                                    {u"02", 9, 9, u'3', Action::Refuse, 0, "请输入','结束符"}, // stale caret
                                });
}

TEST(MyEditRule, OtherControlsDropEverything) {
    for (char16_t c : {u'1', u'A', kBackspace})
        EXPECT_EQ(myEditCharRule(1000, u"", 0, 0, c).action, Action::Drop);
}

} // namespace
} // namespace kelvor::jobs
