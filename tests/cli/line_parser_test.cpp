// One LineParser for many lines must answer each exactly as a fresh parse does: nothing of an earlier
// line (an option's value, a chosen command, an unknown option) may reach a later one.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kelvor::cli {
namespace {

struct Answer {
    std::string command;
    int code = -1;
    std::string out, err;
    std::string ran; // what a command that parses prints when run, when it touches nothing
};

bool pure(const std::string& command) { return command == "models" || command == "report"; }

Answer answer(const ParsedLine& line, const std::string& out, const std::string& err) {
    Answer a{line.command ? line.command->name : "", line.exitCode, out, err, ""};
    if (line.command && pure(a.command)) {
        std::ostringstream o, e;
        Context ctx{line.command->name, line.command->synopsis, o, e};
        a.code = line.run(ctx);
        a.ran = o.str() + e.str();
    }
    return a;
}

Answer fresh(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const ParsedLine line = parse(args, out, err);
    return answer(line, out.str(), err.str());
}

Answer reused(LineParser& parser, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const ParsedLine line = parser.parse(args, out, err);
    return answer(line, out.str(), err.str());
}

TEST(LineParser, EveryLineAsAFreshParseWhateverCameBefore) {
    // Lines that set options or choose a command, each followed somewhere by lines that rely on the
    // defaults, on no command, or on an option being missing.
    const std::vector<std::vector<std::string>> lines = {
        {"models", "--json"},
        {"models"},
        {"report", "--json", "--model", "EP2706", "--presses", "3", "--hw-version", "1300", "0200"},
        {"report", "1300"},
        {"checksum", "--model", "EP27C42", "a.hex"},
        {"checksum", "a.hex"},
        {"program", "--count", "5", "--bogus"},
        {"program", "--help"},
        {},
        {"--help"},
        {"help", "decode"},
        {"--help-all"},
        {"--version"},
        {"version"},
        {"nosuch", "--json"},
        {"models", "stray"},
        {"decode", "--model"},
        {"--frobnicate"},
        {"detect", "--sim-fault", "silent", "--sim-fault", "garbage"},
        {"detect"},
    };
    LineParser parser;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const auto& args = lines[pass == 0 ? k : lines.size() - 1 - k];
            std::string shown;
            for (const auto& a : args) shown += a + " ";
            SCOPED_TRACE("kelvor " + shown);
            const Answer want = fresh(args), got = reused(parser, args);
            EXPECT_EQ(got.command, want.command);
            EXPECT_EQ(got.code, want.code);
            EXPECT_EQ(got.out, want.out);
            EXPECT_EQ(got.err, want.err);
            EXPECT_EQ(got.ran, want.ran);
        }
    }
}

} // namespace
} // namespace kelvor::cli
