#pragma once
// The `kelvor` command line: each command registers itself from its own source file.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::cli {

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFail = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLink = 3;

// Consumes options as a command asks for them; finish() rejects what is left over.
class ArgParser {
public:
    explicit ArgParser(std::vector<std::string> args) : args_(std::move(args)) {}
    bool flag(std::string_view name);                              // --json
    std::optional<std::string> option(std::string_view name);      // --model X or --model=X
    std::vector<std::string> options(std::string_view name);       // repeated option
    // Remaining arguments; an unknown "--x" or a missing option value is an error.
    std::vector<std::string> finish();
    const std::string& error() const { return error_; }
    // Records a bad value found by the command (the first error is kept).
    void fail(std::string why) {
        if (error_.empty()) error_ = std::move(why);
    }
    bool ok() const { return error_.empty(); }

private:
    std::vector<std::string> args_;
    std::string error_;
};

struct Context {
    ArgParser& args;
    std::ostream& out;
    std::ostream& err;
};

using CommandFn = int (*)(Context&);

struct Command {
    const char* name;
    const char* usage; // one line, shown by `kelvor help`
    CommandFn run;
};

bool registerCommand(const Command& c);
const std::vector<Command>& commands();

// Runs one command line (argv[0] excluded) and returns the exit code.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kelvor::cli

#define KELVOR_CLI_CONCAT2(a, b) a##b
#define KELVOR_CLI_CONCAT(a, b) KELVOR_CLI_CONCAT2(a, b)
#define KELVOR_CLI_COMMAND(name, usage, fn)                                                                  \
    static const bool KELVOR_CLI_CONCAT(kelvorCliReg_, __LINE__) =                                          \
        ::kelvor::cli::registerCommand({name, usage, fn})
