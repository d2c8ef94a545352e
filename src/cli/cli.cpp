#include "cli/cli.h"

#include "version.h"

#include <algorithm>
#include <ostream>

namespace kelvor::cli {

bool ArgParser::flag(std::string_view name) {
    auto it = std::find(args_.begin(), args_.end(), name);
    if (it == args_.end()) return false;
    args_.erase(it);
    return true;
}

std::optional<std::string> ArgParser::option(std::string_view name) {
    auto all = options(name);
    if (all.empty()) return std::nullopt;
    return all.back();
}

std::vector<std::string> ArgParser::options(std::string_view name) {
    std::vector<std::string> values;
    const std::string withEq = std::string(name) + "=";
    for (std::size_t i = 0; i < args_.size();) {
        if (args_[i] == name) {
            if (i + 1 >= args_.size()) {
                error_ = "missing value for " + std::string(name);
                args_.erase(args_.begin() + static_cast<long>(i));
                continue;
            }
            values.push_back(args_[i + 1]);
            args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
        } else if (args_[i].rfind(withEq, 0) == 0) {
            values.push_back(args_[i].substr(withEq.size()));
            args_.erase(args_.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    return values;
}

std::vector<std::string> ArgParser::finish() {
    std::vector<std::string> rest;
    for (const auto& a : args_) {
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            if (error_.empty()) error_ = "unknown option " + a;
        } else {
            rest.push_back(a);
        }
    }
    return rest;
}

static std::vector<Command>& registry() {
    static std::vector<Command> r;
    return r;
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

static void printHelp(std::ostream& out) {
    out << "usage: kelvor COMMAND [options]\n\ncommands:\n";
    for (const auto& c : commands()) out << "  " << c.usage << "\n";
    out << "  --version\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        printHelp(err);
        return kExitUsage;
    }
    const std::string& name = args.front();
    if (name == "--version" || name == "version") {
        out << "kelvor " << KELVOR_VERSION << " (KEL-VOR(V1.34))\n";
        return kExitOk;
    }
    if (name == "help" || name == "--help" || name == "-h") {
        printHelp(out);
        return kExitOk;
    }
    for (const auto& c : commands()) {
        if (name == c.name) {
            ArgParser parser(std::vector<std::string>(args.begin() + 1, args.end()));
            Context ctx{parser, out, err};
            return c.run(ctx);
        }
    }
    err << "kelvor: unknown command '" << name << "'\n";
    printHelp(err);
    return kExitUsage;
}

} // namespace kelvor::cli
