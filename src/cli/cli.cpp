#include "cli/cli.h"

#include "version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>

namespace kelvor::cli {
namespace {

std::vector<Command>& registry() {
    static std::vector<Command> r;
    return r;
}

const Command* findCommand(std::string_view name) {
    for (const auto& c : commands())
        if (name == c.name) return &c;
    return nullptr;
}

// CLI11's own words for a value that never came, in the station's words.
std::string mistake(const CLI::ParseError& e) {
    const std::string what = e.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr && what.ends_with(" missing")) {
        const auto colon = what.find(": ");
        if (colon != std::string::npos) return "missing value for " + what.substr(0, colon);
    }
    return what;
}

} // namespace

struct LineParser::Impl {
    CLI::App app{"KEL-VOR programming station, headless: the window's station code without the window.",
                 "kelvor"};
    struct Bound {
        const Command* command;
        CLI::App* app;
        BoundCommand options;
    };
    std::vector<Bound> bound;

    Impl() {
        // A repeated option means its last value, as a later setting replaces an earlier one.
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.get_formatter()->column_width(32);
        app.set_version_flag("--version", std::string("kelvor ") + KELVOR_VERSION + " (KEL-VOR(V1.34))",
                             "Print the version and exit");
        app.set_help_all_flag("--help-all", "Print the help of every command and exit");
        app.require_subcommand(0, 1);
        app.footer(kExitCodesText);
        for (const auto& c : commands()) {
            CLI::App* sub = app.add_subcommand(c.name, c.summary);
            // Unknown options are collected and refused with the command's own usage line.
            sub->allow_extras();
            bound.push_back({&c, sub, c.bind(*sub)});
        }
    }
};

// The README's table, as `kelvor --help` ends.
const char* const kExitCodesText =
    "Exit codes (every command):\n"
    "  0  success\n"
    "  1  a chip failed: the programmer's verdict (NG, blank, verify, ID or checksum error, an answer\n"
    "     the station judges NG); detect: no chip, or one the station cannot select;\n"
    "     decode: the image check refused the image\n"
    "  2  bad input: a file that cannot be read or written, an option, an image the station refuses\n"
    "     (checksum, program), a transfer the programmer cannot be sent\n"
    "  3  programmer or link failure: no programmer, an open, UART or USB failure, no answer within\n"
    "     the bound (acknowledgement, verdict, auto-detect), the programmer removed\n";

int Context::usage(const std::string& why) const {
    if (!why.empty()) err << "kelvor " << command << ": " << why << "\n";
    err << "usage: kelvor " << synopsis << "\n"
        << "Run 'kelvor " << command << " --help' for every option.\n";
    return kExitUsage;
}

bool registerCommand(const Command& c) {
    registry().push_back(c);
    return true;
}

const std::vector<Command>& commands() {
    auto& r = registry();
    std::sort(r.begin(), r.end(), [](const Command& a, const Command& b) { return std::string_view(a.name) < b.name; });
    return r;
}

LineParser::LineParser() : impl_(std::make_unique<Impl>()) {}
LineParser::~LineParser() = default;

ParsedLine parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return LineParser().parse(args, out, err);
}

ParsedLine LineParser::parse(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
    auto ends = [](int code) { return ParsedLine{nullptr, {}, code}; };
    Impl& parser = *impl_;
    // The last line's results go, CLI11's (which help() would follow into the last command) and
    // the bound fields'.
    parser.app.clear();
    for (auto& b : parser.bound) b.options.reset();
    std::vector<std::string> args = given;
    if (args.empty()) {
        err << parser.app.help();
        return ends(kExitUsage);
    }
    if (args.front() == "version") args.front() = "--version";
    if (args.front() == "help") { // kelvor help [COMMAND]
        args.erase(args.begin());
        args.push_back("--help");
    }
    const Command* named = findCommand(args.front());
    if (named == nullptr && !args.front().starts_with("-")) {
        err << "kelvor: unknown command '" << args.front() << "'\n" << parser.app.help();
        return ends(kExitUsage);
    }
    const Impl::Bound* chosen = nullptr;
    for (const auto& b : parser.bound)
        if (b.command == named) chosen = &b;

    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    try {
        parser.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << parser.app.help();
        return ends(kExitOk);
    } catch (const CLI::CallForAllHelp&) {
        out << parser.app.help("", CLI::AppFormatMode::All);
        return ends(kExitOk);
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return ends(kExitOk);
    } catch (const CLI::ParseError& e) {
        if (chosen == nullptr) {
            err << "kelvor: " << mistake(e) << "\n" << parser.app.help();
            return ends(kExitUsage);
        }
        return ends(Context{chosen->command->name, chosen->command->synopsis, out, err}.usage(mistake(e)));
    }
    if (chosen == nullptr) { // options of kelvor itself only
        err << parser.app.help();
        return ends(kExitUsage);
    }
    Context ctx{chosen->command->name, chosen->command->synopsis, out, err};
    for (const auto& extra : chosen->app->remaining())
        return ends(ctx.usage(extra.size() > 1 && extra[0] == '-' ? "unknown option " + extra
                                                                  : "unexpected argument '" + extra + "'"));
    return {chosen->command, chosen->options.run, kExitOk};
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedLine line = parse(args, out, err);
    if (line.command == nullptr) return line.exitCode;
    Context ctx{line.command->name, line.command->synopsis, out, err};
    return line.run(ctx);
}

} // namespace kelvor::cli
