#pragma once
// The programmer options of the commands that drive a programmer, over the settings file's
// KELVOR/PROGRAMMER and SIMULATOR keys; link::chooseProgrammer decides with them.
#include "base/settings.h"
#include "link/station/programmer_choice.h"

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kelvor::cli {

struct ProgrammerArgs {
    std::optional<std::string> programmer;
    std::optional<std::string> simChip;
    std::vector<std::string> simFaults; // --sim-fault may be repeated
    std::optional<std::string> trace;
};

inline constexpr const char* kProgrammerUsage =
    "[--programmer auto|sim|PATH] [--sim-chip MODEL|none] [--sim-fault NAME[,NAME...]] [--trace FILE]";

void addProgrammerOptions(CLI::App& app, ProgrammerArgs& args);

// A mistyped simulator value is a usage error, not a missing programmer: its message, or nothing.
std::optional<std::string> programmerArgsProblem(const ProgrammerArgs& args);

// The options given, each over its setting.
link::ProgrammerOptions programmerOptions(const ProgrammerArgs& args, const Settings& settings);

} // namespace kelvor::cli
