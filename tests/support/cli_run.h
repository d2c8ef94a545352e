#pragma once
// Runs a `kelvor` command line in-process and keeps what it printed.
#include "cli/cli.h"

#include <QTemporaryDir>

#include <cstdlib>

#include <sstream>
#include <string>
#include <vector>

namespace kelvor::test {

struct CliRun {
    int code;
    std::string out, err;
};

// A program directory of its own (KELVOR_HOME) for the commands run while it lives.
struct KelvorHome {
    QTemporaryDir dir;
    KelvorHome() { setenv("KELVOR_HOME", dir.path().toLocal8Bit().constData(), 1); }
    ~KelvorHome() { unsetenv("KELVOR_HOME"); }
};

inline CliRun runKelvor(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace kelvor::test
