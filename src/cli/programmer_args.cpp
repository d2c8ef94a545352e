#include "cli/programmer_args.h"

#include "link/sim/faults.h"
#include "link/sim/socket_chips.h"

#include <CLI/CLI.hpp>

namespace kelvor::cli {

void addProgrammerOptions(CLI::App& app, ProgrammerArgs& args) {
    const char* group = "Programmer";
    app.add_option("--programmer", args.programmer,
                   "auto (libusbio.so beside the program, else the simulator), sim, or a vendor library")
        ->type_name("auto|sim|PATH")
        ->group(group);
    app.add_option("--sim-chip", args.simChip, "chip in the simulator's socket, none for an empty socket")
        ->type_name("MODEL|none")
        ->group(group);
    app.add_option("--sim-fault", args.simFaults, "simulator faults; may be repeated")
        ->type_name("NAME[,NAME...]")
        ->allow_extra_args(false) // one value per --sim-fault; what follows is an argument
        ->group(group);
    app.add_option("--trace", args.trace, "write every programmer call and report as a JSON line")
        ->type_name("FILE")
        ->group(group);
}

std::optional<std::string> programmerArgsProblem(const ProgrammerArgs& args) {
    if (args.simChip) {
        if (auto parsed = link::sim::parseSocketChip(*args.simChip); !parsed.ok()) return parsed.error;
    }
    for (const auto& f : args.simFaults)
        if (auto parsed = link::sim::parseFaults(f); !parsed.ok()) return parsed.error;
    return std::nullopt;
}

link::ProgrammerOptions programmerOptions(const ProgrammerArgs& args, const Settings& settings) {
    auto options = link::programmerOptionsFromSettings(settings);
    link::applyCommandLine(options, args.programmer, args.simChip, args.simFaults, args.trace);
    return options;
}

} // namespace kelvor::cli
