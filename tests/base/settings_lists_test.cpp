#include "base/log_format.h"
#include "base/settings_lists.h"
#include "base/strfmt.h"

#include <gtest/gtest.h>

#include <climits>

using namespace kelvor;

TEST(SettingsLists, CommaTerminatedList) {
    EXPECT_EQ(commaTerminatedList("4,0,"), (std::vector<int>{4, 0}));
    EXPECT_EQ(commaTerminatedList("1,2,3"), (std::vector<int>{1, 2}));
    EXPECT_EQ(commaTerminatedList("1,2,3,"), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(commaTerminatedList(",1,").empty());
    EXPECT_TRUE(commaTerminatedList("").empty());
    EXPECT_EQ(commaTerminatedList("x,-1,"), (std::vector<int>{0, -1}));
}

TEST(SettingsLists, CountedCommaListGivesExactlyMaxN1UpperCaseEntries) {
    EXPECT_EQ(countedCommaList("zep2706,ZEP27C42", 2), (std::vector<std::string>{"ZEP2706", "ZEP27C42"}));
    // Once the commas run out the middle entries are empty and the rest of the text is the last entry.
    EXPECT_EQ(countedCommaList("zep2706,ZEP27C42", 3), (std::vector<std::string>{"ZEP2706", "", "ZEP27C42"}));
    EXPECT_EQ(countedCommaList("a,b", 0), (std::vector<std::string>{"A,B"}));
    EXPECT_EQ(countedCommaList("", -4), (std::vector<std::string>{""}));
    // A count from a hand-edited file: bounded, not two thousand million entries.
    const auto huge = countedCommaList("a,b", INT_MAX);
    ASSERT_EQ(huge.size(), static_cast<std::size_t>(kMaxCountedEntries));
    EXPECT_EQ(huge.front(), "A");
    EXPECT_EQ(huge.back(), "B");
}

TEST(SettingsLists, RecentFileListChecksItsCount) {
    EXPECT_EQ(recentFileList(2, "/a.hex?/b.hex?"), (std::vector<std::string>{"/a.hex", "/b.hex"}));
    EXPECT_FALSE(recentFileList(3, "/a.hex?/b.hex?"));
    EXPECT_FALSE(recentFileList(1, "?/a.hex?"));   // "?" at position 0 takes nothing
    EXPECT_FALSE(recentFileList(-1, ""));
    EXPECT_FALSE(recentFileList(INT_MAX, "/a.hex?")); // at once, not after 2^31 empty turns
    EXPECT_EQ(recentFileList(0, "junk"), std::vector<std::string>{});
    EXPECT_EQ(joinRecentFiles({"/a", "/b"}), "/a?/b?");
}

TEST(SettingsLists, AddToRecentMovesOrInsertsKeepingTen) {
    std::vector<std::string> list;
    for (int i = 0; i < 11; ++i) addToRecent(list, "f" + std::to_string(i));
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front(), "f10");
    EXPECT_EQ(list.back(), "f1"); // the oldest, f0, dropped
    addToRecent(list, "f5");
    EXPECT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], "f5");
    EXPECT_EQ(list[1], "f10");
    moveToFront(list, 99); // out of range: unchanged
    EXPECT_EQ(list[0], "f5");
}

TEST(LogFormat, PrefixesRecordsAndBanner) {
    const LocalTime t{2026, 3, 7, 12, 5, 9, 42};
    EXPECT_EQ(panePrefix(t), "12:05:09 ");
    EXPECT_EQ(fileRecord(t, "设备打开正常!\n"), "12:05:09.042 设备打开正常!\n");
    EXPECT_EQ(bannerText(t).substr(0, 23), "2026-3-7  12:05:09 \r\nKE");
}

TEST(LogFormat, LongMessagesAreCutAtACharacterBoundary) {
    std::string msg(2046, 'a');
    msg += "校"; // three bytes straddling the 2047 limit
    const std::string cut = cutMessage(msg);
    EXPECT_EQ(cut.size(), 2046u);
    EXPECT_EQ(cutMessage(std::string(3000, 'b')).size(), 2047u);
    EXPECT_EQ(cutUtf8("ab", 10), "ab");
}
