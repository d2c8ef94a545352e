// The command line: argv from the input, one argument per NUL-terminated run of bytes, parsed
// against every command's options and never run. One LineParser for every input: building the
// commands' options is nine tenths of a fresh parse and the same for every line, and a reused
// parser starts each line from the defaults (the CLI tests hold it to a fresh parse).
#include "cli/cli.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor::cli;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    while (!in.empty()) {
        const auto nul = in.find('\0');
        args.emplace_back(in.substr(0, nul));
        in = nul == std::string_view::npos ? std::string_view() : in.substr(nul + 1);
    }
    static LineParser parser;
    std::ostringstream out, err;
    const ParsedLine line = parser.parse(args, out, err);
    if (line.command != nullptr) {
        // A command to run: nothing said yet, its options parsed.
        if (!line.run || line.exitCode != kExitOk || !out.str().empty() || !err.str().empty()) std::abort();
        return 0;
    }
    // Help and version go to out with 0; every mistake is said on err with the usage code.
    if (line.exitCode == kExitOk ? out.str().empty() || !err.str().empty()
                                 : line.exitCode != kExitUsage || err.str().empty())
        std::abort();
    return 0;
}
