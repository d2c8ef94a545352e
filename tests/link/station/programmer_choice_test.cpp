#include "link/station/programmer_choice.h"
#include "link/station/tracing_programmer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace kelvor::link {
namespace {

enum class Beside { Nothing, Library, Broken }; // what lies beside the program as libusbio.so
enum class Gets { Simulator, Vendor, Nothing };

struct RuleCase {
    const char* name;
    const char* programmer; // setting or --programmer; "@stub", "@incomplete" name the test libraries
    Beside beside;
    Gets gets;
    const char* text; // found in the description, or in the problem when nothing is chosen
};

class ChoiceRules : public testing::TestWithParam<RuleCase> {};

TEST_P(ChoiceRules, PickTheProgrammer) {
    const auto& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString beside = dir.path() + "/libusbio.so";
    if (c.beside == Beside::Library) {
        ASSERT_TRUE(QFile::copy(KELVOR_STUB_USBIO_PATH, beside));
    }
    if (c.beside == Beside::Broken) {
        QFile f(beside);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x7f"
                "ELF truncated");
    }
    ProgrammerOptions o;
    o.programmer = c.programmer;
    if (o.programmer == "@stub") o.programmer = KELVOR_STUB_USBIO_PATH;
    if (o.programmer == "@incomplete") o.programmer = KELVOR_STUB_USBIO_INCOMPLETE_PATH;

    const auto choice = chooseProgrammer(o, dir.path().toStdString());
    switch (c.gets) {
    case Gets::Simulator:
        ASSERT_TRUE(choice.programmer);
        EXPECT_TRUE(choice.programmer->simulated());
        EXPECT_TRUE(choice.problems.empty());
        break;
    case Gets::Vendor:
        ASSERT_TRUE(choice.programmer) << (choice.problems.empty() ? "" : choice.problems[0]);
        EXPECT_FALSE(choice.programmer->simulated());
        EXPECT_TRUE(choice.problems.empty());
        break;
    case Gets::Nothing:
        // Never the simulator in place of a library that was meant to drive hardware.
        EXPECT_FALSE(choice.programmer);
        ASSERT_EQ(choice.problems.size(), 1u);
        EXPECT_NE(choice.problems[0].find(c.text), std::string::npos) << choice.problems[0];
        break;
    }
    if (c.gets != Gets::Nothing) {
        EXPECT_NE(choice.description.find(c.text), std::string::npos) << choice.description;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programmer, ChoiceRules,
    testing::Values(
        RuleCase{"MissingFallsToTheSimulator", "", Beside::Nothing, Gets::Simulator,
                 "no libusbio.so beside the program"},
        RuleCase{"AutoFallsToTheSimulator", " Auto ", Beside::Nothing, Gets::Simulator,
                 "simulated programmer"},
        RuleCase{"MissingTakesTheLibraryBeside", "", Beside::Library, Gets::Vendor, "/libusbio.so"},
        RuleCase{"BrokenLibraryBesideGivesNothing", "", Beside::Broken, Gets::Nothing, "cannot be loaded"},
        RuleCase{"SimInAnyCase", "sIm", Beside::Library, Gets::Simulator,
                 "simulated programmer: socket EP2706"},
        RuleCase{"PathOfALibrary", "@stub", Beside::Nothing, Gets::Vendor, "programmer library /"},
        RuleCase{"PathThatIsMissing", "/nonexistent/libusbio.so", Beside::Nothing, Gets::Nothing,
                 "programmer library /nonexistent/libusbio.so cannot be loaded"},
        RuleCase{"PathOfAnIncompleteLibrary", "@incomplete", Beside::Nothing, Gets::Nothing,
                 "lacks USBIO_OTP_RECV, USBIO_SET_ZEP"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgrammerChoice, SimulatorOptionsApplyOrStopTheChoice) {
    ProgrammerOptions o;
    o.programmer = "SIM";
    o.simChip = "none";
    o.simFaults = "silent, garbage";
    auto choice = chooseProgrammer(o, "/nonexistent");
    ASSERT_TRUE(choice.programmer);
    EXPECT_EQ(choice.description, "simulated programmer: socket empty, faults garbage,silent");

    for (auto [chip, faults, timing, seed, problem] :
         {std::tuple{"EP9999", "", "", "", "\"EP9999\""},
          {"", "silent,bogus", "", "", "\"bogus\""},
          {"", "", "fast", "", "SIMULATOR/TIMING \"fast\""},
          {"", "", "-1", "", "SIMULATOR/TIMING \"-1\""},
          {"", "", "", "-5", "SIMULATOR/SEED \"-5\""},
          {"", "", "", "0x1g", "SIMULATOR/SEED \"0x1g\""}}) {
        o.simChip = chip;
        o.simFaults = faults;
        o.simTiming = timing;
        o.simSeed = seed;
        choice = chooseProgrammer(o, "/nonexistent");
        EXPECT_FALSE(choice.programmer);
        ASSERT_EQ(choice.problems.size(), 1u);
        EXPECT_NE(choice.problems[0].find(problem), std::string::npos) << choice.problems[0];
    }
}

// Only the simulator's own timing factor shortens the pauses that pace a programmer's buffer.
TEST(ProgrammerChoice, OnlyAFasterSimulatorShortensTheTransferPauses) {
    ProgrammerOptions o;
    o.programmer = "sim";
    EXPECT_EQ(chooseProgrammer(o, "/nonexistent").transferPace, 1.0);
    o.simTiming = " 0 ";
    EXPECT_EQ(chooseProgrammer(o, "/nonexistent").transferPace, 0.0);
    o.simTiming = "3";
    EXPECT_EQ(chooseProgrammer(o, "/nonexistent").transferPace, 1.0);
    o.programmer = "/nonexistent/libusbio.so";
    o.simTiming = "0";
    EXPECT_EQ(chooseProgrammer(o, "/nonexistent").transferPace, 1.0);
}

TEST(ProgrammerChoice, CommandLineReplacesTheSettings) {
    MemorySettings s;
    s.writeText("KELVOR", "PROGRAMMER", "sim");
    s.writeText("SIMULATOR", "CHIP", "EP406");
    s.writeText("SIMULATOR", "FAULTS", "garbage");
    s.writeText("SIMULATOR", "TRACE", "/tmp/a.jsonl");
    auto o = programmerOptionsFromSettings(s);
    EXPECT_EQ(o.programmer, "sim");
    EXPECT_EQ(o.simChip, "EP406");
    EXPECT_EQ(o.simFaults, "garbage");
    EXPECT_EQ(o.trace, "/tmp/a.jsonl");

    applyCommandLine(o, std::string("auto"), std::nullopt, {"silent", "open-busy"}, std::nullopt);
    EXPECT_EQ(o.programmer, "auto");
    EXPECT_EQ(o.simChip, "EP406");
    EXPECT_EQ(o.simFaults, "silent,open-busy");
    EXPECT_EQ(o.trace, "/tmp/a.jsonl");
    applyCommandLine(o, std::nullopt, std::string("none"), {}, std::string("b.jsonl"));
    EXPECT_EQ(o.programmer, "auto");
    EXPECT_EQ(o.simChip, "none");
    EXPECT_EQ(o.simFaults, "silent,open-busy");
    EXPECT_EQ(o.trace, "b.jsonl");
}

TEST(ProgrammerChoice, TraceWrapsWhicheverProgrammerWasChosen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* which : {"sim", KELVOR_STUB_USBIO_PATH}) {
        SCOPED_TRACE(which);
        ProgrammerOptions o;
        o.programmer = which;
        o.trace = (dir.path() + "/trace.jsonl").toStdString();
        auto choice = chooseProgrammer(o, dir.path().toStdString());
        ASSERT_TRUE(choice.programmer);
        EXPECT_TRUE(choice.problems.empty());
        EXPECT_NE(dynamic_cast<TracingProgrammer*>(choice.programmer.get()), nullptr);
        EXPECT_EQ(choice.programmer->simulated(), std::string(which) == "sim");
        EXPECT_NE(choice.description.find(", traced to " + o.trace), std::string::npos);
    }

    // A trace that cannot be written is reported; the programmer itself still serves.
    ProgrammerOptions o;
    o.programmer = "sim";
    o.trace = "/nonexistent/dir/trace.jsonl";
    const auto choice = chooseProgrammer(o, dir.path().toStdString());
    ASSERT_TRUE(choice.programmer);
    EXPECT_EQ(dynamic_cast<TracingProgrammer*>(choice.programmer.get()), nullptr);
    ASSERT_EQ(choice.problems.size(), 1u);
    EXPECT_TRUE(choice.problems[0].starts_with("cannot open trace file /nonexistent/dir/trace.jsonl: "));
}

} // namespace
} // namespace kelvor::link
