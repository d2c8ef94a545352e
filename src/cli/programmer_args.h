#pragma once
// The programmer options of the commands that drive a programmer, over the settings file's
// KELVOR/PROGRAMMER and SIMULATOR keys; link::chooseProgrammer decides with them.
#include "base/settings.h"
#include "cli/cli.h"
#include "link/station/programmer_choice.h"

namespace kelvor::cli {

inline constexpr const char* kProgrammerUsage =
    "[--programmer auto|sim|PATH] [--sim-chip MODEL|none] [--sim-fault NAME[,NAME...]] [--trace FILE]";

// Takes the options out of `args`; --sim-fault may be repeated.
link::ProgrammerOptions programmerArgs(ArgParser& args, const Settings& settings);

} // namespace kelvor::cli
