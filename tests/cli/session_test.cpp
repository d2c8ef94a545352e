#include "cli/programmer_args.h"
#include "cli/session.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvor::cli {
namespace {

// A long run held every line it had printed (about 2 KB a chip) until the command ended.
TEST(Session, StreamedLinesAreDeliveredInOrderAndNotHeld) {
    QTemporaryDir home;
    qputenv("KELVOR_HOME", home.path().toLocal8Bit());
    ProgrammerArgs args;
    args.programmer = "sim";
    Session s(args);
    s.station().log().windowLog("before\n");
    s.settle();
    std::vector<std::string> got;
    s.streamLines([&got](const std::string& line) { got.push_back(line); });
    constexpr int kLines = 3000; // well past the pane's own 1024-line limit
    for (int i = 0; i < kLines; ++i) s.station().log().windowLog("line " + std::to_string(i) + "\n");
    s.settle();
    qunsetenv("KELVOR_HOME");

    EXPECT_TRUE(s.paneLines().empty());
    ASSERT_EQ(got.size(), 1u + kLines);
    EXPECT_NE(got.front().find("before"), std::string::npos);
    for (int i = 0; i < kLines; ++i)
        ASSERT_NE(got[1 + i].find("line " + std::to_string(i)), std::string::npos) << "at " << i;
}

TEST(Session, KeepsTheFirstBoxesAndCountsTheRest) {
    HeadlessPrompter p;
    for (std::size_t i = 0; i < HeadlessPrompter::kBoxesKept + 5; ++i)
        EXPECT_TRUE(p.messageBox("c", QString::number(i), BoxButtons::YesNo, BoxIcon::Question));
    EXPECT_EQ(p.boxes.size(), HeadlessPrompter::kBoxesKept);
    EXPECT_EQ(p.boxes.back().text, QString::number(HeadlessPrompter::kBoxesKept - 1));
    EXPECT_EQ(p.boxesShown, HeadlessPrompter::kBoxesKept + 5);
}

} // namespace
} // namespace kelvor::cli
