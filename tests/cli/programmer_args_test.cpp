#include "cli/programmer_args.h"

#include <CLI/CLI.hpp>

#include <gtest/gtest.h>

namespace kelvor::cli {
namespace {

TEST(ProgrammerArgs, TakesTheOptionsOverTheSettings) {
    MemorySettings s;
    s.writeText("KELVOR", "PROGRAMMER", "/opt/usbio/libusbio.so");
    s.writeText("SIMULATOR", "CHIP", "EP408");
    CLI::App app;
    ProgrammerArgs args;
    addProgrammerOptions(app, args);
    std::vector<std::string> rest;
    app.add_option("IMAGE", rest);
    // Each --sim-fault takes one value: the image after it stays an argument.
    app.parse("--programmer sim --sim-fault silent --sim-fault=garbage,open-busy --trace t.jsonl image.hex", false);
    const auto o = programmerOptions(args, s);
    EXPECT_EQ(o.programmer, "sim");
    EXPECT_EQ(o.simChip, "EP408");
    EXPECT_EQ(o.simFaults, "silent,garbage,open-busy");
    EXPECT_EQ(o.trace, "t.jsonl");
    EXPECT_EQ(rest, std::vector<std::string>{"image.hex"});
    EXPECT_FALSE(programmerArgsProblem(args));

    args.simChip = "EP9999";
    EXPECT_TRUE(programmerArgsProblem(args));
}

} // namespace
} // namespace kelvor::cli
