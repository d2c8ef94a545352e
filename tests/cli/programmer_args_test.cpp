#include "cli/programmer_args.h"

#include <gtest/gtest.h>

namespace kelvor::cli {
namespace {

TEST(ProgrammerArgs, TakesTheOptionsOverTheSettings) {
    MemorySettings s;
    s.writeText("KELVOR", "PROGRAMMER", "/opt/usbio/libusbio.so");
    s.writeText("SIMULATOR", "CHIP", "EP408");
    ArgParser args({"--programmer", "sim", "--sim-fault", "silent", "--sim-fault=garbage,open-busy",
                    "--trace", "t.jsonl", "image.hex"});
    const auto o = programmerArgs(args, s);
    EXPECT_EQ(o.programmer, "sim");
    EXPECT_EQ(o.simChip, "EP408");
    EXPECT_EQ(o.simFaults, "silent,garbage,open-busy");
    EXPECT_EQ(o.trace, "t.jsonl");
    EXPECT_EQ(args.finish(), std::vector<std::string>{"image.hex"});
    EXPECT_TRUE(args.ok()) << args.error();
}

} // namespace
} // namespace kelvor::cli
