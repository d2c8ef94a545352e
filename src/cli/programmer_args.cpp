#include "cli/programmer_args.h"

#include "link/sim/faults.h"
#include "link/sim/socket_chips.h"

namespace kelvor::cli {

link::ProgrammerOptions programmerArgs(ArgParser& args, const Settings& settings) {
    auto options = link::programmerOptionsFromSettings(settings);
    const auto programmer = args.option("--programmer");
    const auto chip = args.option("--sim-chip");
    const auto faults = args.options("--sim-fault");
    const auto trace = args.option("--trace");
    // A mistyped value on the command line is a usage error, not a missing programmer.
    if (chip) {
        if (auto parsed = link::sim::parseSocketChip(*chip); !parsed.ok()) args.fail(parsed.error);
    }
    for (const auto& f : faults)
        if (auto parsed = link::sim::parseFaults(f); !parsed.ok()) args.fail(parsed.error);
    link::applyCommandLine(options, programmer, chip, faults, trace);
    return options;
}

} // namespace kelvor::cli
