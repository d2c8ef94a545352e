#pragma once
// The `kelvor` command line on CLI11. Each command registers itself from its own source file with
// an options struct, a function that adds those options to the command's CLI::App, and a function
// that runs with the parsed options (docs/cli.md shows the pattern).
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace kelvor::cli {

// Exit codes, the same for every command (kExitCodesText says what each means).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFail = 1;  // a chip failed: the programmer's verdict
inline constexpr int kExitUsage = 2; // bad input: files, options, an image the station refuses
inline constexpr int kExitLink = 3;  // programmer or link failure
extern const char* const kExitCodesText;

struct Context {
    std::string_view command;
    std::string_view synopsis;
    std::ostream& out;
    std::ostream& err;
    // "kelvor COMMAND: why", the command's usage line and where to find every option, on err.
    // Returns kExitUsage.
    int usage(const std::string& why) const;
};

using Runner = std::function<int(Context&)>;

// A command's options bound to its CLI::App: `run` reads them, `reset` puts back the values they had
// when bound, so that the same App can parse another line.
struct BoundCommand {
    Runner run;
    std::function<void()> reset;
};

struct Command {
    const char* name;
    const char* synopsis; // "checksum --model M IMAGE [...]": the usage line of mistakes
    const char* summary;  // one line in `kelvor --help`
    // Adds the command's options to `app` and returns what runs once they are parsed.
    BoundCommand (*bind)(CLI::App& app);
};

bool registerCommand(const Command& c);
const std::vector<Command>& commands();

// Runs one command line (argv[0] excluded) and returns the exit code.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The parse step of run(): the line checked against every command's options, nothing run, no file
// or programmer touched. A line that ends there (help, version, a mistake) has no command; its text
// went to out or err and exitCode is what run() returns for it.
struct ParsedLine {
    const Command* command = nullptr;
    Runner run; // the command with its options parsed
    int exitCode = kExitOk;
};
ParsedLine parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// parse() with the command line built once for many lines (kelvor builds it once per run; the
// command_line fuzz target parses every input with one). Each line starts from every option's
// default, exactly as a fresh parse() would. The options a returned command runs with are this
// line's until the next parse.
class LineParser {
public:
    LineParser();
    ~LineParser();
    LineParser(const LineParser&) = delete;
    LineParser& operator=(const LineParser&) = delete;
    ParsedLine parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One parse, one options value: `add` binds the options' fields to `app`, `run` reads them.
template <class Options, void (*add)(CLI::App&, Options&), int (*run)(Context&, const Options&)>
BoundCommand bindCommand(CLI::App& app) {
    auto options = std::make_shared<Options>();
    add(app, *options);
    auto bound = std::make_shared<const Options>(*options);
    return {[options](Context& ctx) { return run(ctx, *options); }, [options, bound] { *options = *bound; }};
}

} // namespace kelvor::cli

#define KELVOR_CLI_CONCAT2(a, b) a##b
#define KELVOR_CLI_CONCAT(a, b) KELVOR_CLI_CONCAT2(a, b)
#define KELVOR_CLI_COMMAND(name, synopsis, summary, Options, add, run)                                      \
    static const bool KELVOR_CLI_CONCAT(kelvorCliReg_, __LINE__) = ::kelvor::cli::registerCommand(          \
        {name, synopsis, summary, &::kelvor::cli::bindCommand<Options, add, run>})
