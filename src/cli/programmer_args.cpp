#include "cli/programmer_args.h"

namespace kelvor::cli {

link::ProgrammerOptions programmerArgs(ArgParser& args, const Settings& settings) {
    auto options = link::programmerOptionsFromSettings(settings);
    const auto programmer = args.option("--programmer");
    const auto chip = args.option("--sim-chip");
    const auto faults = args.options("--sim-fault");
    const auto trace = args.option("--trace");
    link::applyCommandLine(options, programmer, chip, faults, trace);
    return options;
}

} // namespace kelvor::cli
