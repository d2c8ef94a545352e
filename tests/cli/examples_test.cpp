// The example images: every row of examples/README.md burns against the simulator with the CKSUM
// the table shows, and examples/build.sh still makes the committed files from their sources.
#include "support/cli_run.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

using kelvor::test::runKelvor;

const std::string kExamples = KELVOR_EXAMPLES;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Row {
    std::string model, file, cksum;
};

std::vector<Row> tableRows() {
    const std::string text = readFile(kExamples + "/README.md");
    // | kind | MODEL | `file` | made by | CKSUM: 0x.... |
    const std::regex row(R"(\|[^|\n]*\| (\w+) \| `([\w.]+)` \|[^|\n]*\| (CKSUM: 0x[0-9a-f]{4}) \|)");
    std::vector<Row> rows;
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it)
        rows.push_back({(*it)[1], (*it)[2], (*it)[3]});
    return rows;
}

} // namespace

TEST(Examples, EveryRowBurnsWithTheCksumItShows) {
    const auto rows = tableRows();
    ASSERT_EQ(rows.size(), 6u) << "one image per procedure kind";
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        QTemporaryDir home;
        setenv("KELVOR_HOME", home.path().toLocal8Bit().constData(), 1);
        const auto run = runKelvor({"program", "--model", r.model, kExamples + "/" + r.file, "--json"});
        unsetenv("KELVOR_HOME");
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("{\"passed\": 1, \"failed\": 0, \"cksum\": \"" + r.cksum + "\""), std::string::npos)
            << run.out;
    }
}

TEST(Examples, BuildScriptMakesTheCommittedFiles) {
    for (const char* tool : {"gpasm", "srec_cat", "objcopy"})
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << tool << " is not installed (scripts/deps.sh installs it)";
    QTemporaryDir out;
    const std::string dir = out.path().toStdString();
    ASSERT_EQ(std::system(("'" + kExamples + "/build.sh' '" + dir + "'").c_str()), 0);
    for (const auto& r : tableRows()) {
        SCOPED_TRACE(r.file);
        const std::string made = readFile(dir + "/" + r.file);
        EXPECT_FALSE(made.empty());
        EXPECT_EQ(made, readFile(kExamples + "/" + r.file)) << "examples/build.sh no longer makes this file";
    }
}
