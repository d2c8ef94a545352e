#pragma once
// Runs a `kelvor` command line in-process and keeps what it printed.
#include "cli/cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace kelvor::test {

struct CliRun {
    int code;
    std::string out, err;
};

inline CliRun runKelvor(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace kelvor::test
