// Production records end to end: kelvor program against the simulator leaves one record per chip
// whose verdict and stages are what it printed, a killed station loses no shown verdict, and a
// database the station cannot use never stops programming.
#include "records/station/recorder.h"
#include "records/station/store.h"
#include "support/cli_run.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace {

using kelvor::test::runKelvor;
namespace records = kelvor::records;

// A program folder with the sample image and KELVOR.ini naming the records file.
struct Line {
    QTemporaryDir dir;
    std::string image, db;
    explicit Line(const std::string& dbName = "records.sqlite") {
        setenv("KELVOR_HOME", dir.path().toLocal8Bit().constData(), 1);
        image = (dir.path() + "/rfpwm.hex").toStdString();
        QFile::copy(QStringLiteral(KELVOR_EXAMPLES "/rfpwm.hex"), QString::fromStdString(image));
        db = dbName.front() == '/' ? dbName : (dir.path() + "/" + QString::fromStdString(dbName)).toStdString();
        std::ofstream(dir.path().toStdString() + "/KELVOR.ini") << "[RECORDS]\nPATH=" << db << "\nSTATION=line-7\n";
    }
    ~Line() { unsetenv("KELVOR_HOME"); }
};

struct PrintedChip {
    int n = 0;
    bool ok = false;
    std::int64_t record = 0;              // 0: no record named
    std::vector<std::string> lines;       // the pane lines printed for it
};

// "chip N: OK, record ID" closes the lines printed for chip N.
std::vector<PrintedChip> printedChips(const std::string& out) {
    static const std::regex verdict(R"(^chip (\d+): (OK|NG)(, record (\d+))?$)");
    std::vector<PrintedChip> chips;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, verdict)) {
            lines.push_back(line);
            continue;
        }
        chips.push_back({std::stoi(m[1]), m[2] == "OK", m[4].matched ? std::stoll(m[4]) : 0, std::move(lines)});
        lines.clear();
    }
    return chips;
}

std::vector<records::ChipRecord> stored(const std::string& db) {
    records::RecordStore s;
    std::string error;
    EXPECT_TRUE(s.open(db, records::RecordStore::Mode::ReadWrite, error)) << error;
    EXPECT_TRUE(s.intact());
    return s.query({}, error);
}

// Every stage line of the record appears, in order, among the lines printed for its chip.
void expectStagesPrinted(const records::ChipRecord& r, const PrintedChip& p) {
    std::size_t at = 0;
    for (const auto& st : r.stages) {
        while (at < p.lines.size() && p.lines[at].find(st.line) == std::string::npos) ++at;
        ASSERT_LT(at, p.lines.size()) << "chip " << p.n << ": stage not printed: " << st.line;
        ++at;
    }
}

} // namespace

TEST(Records, FiftyChipsAtTwentyPercentNgMatchWhatWasPrinted) {
    Line line;
    const auto run = runKelvor({"program", "--model", "EP2702", line.image, "--count", "50", "--sim-fault", "ng-rate=20"});
    EXPECT_EQ(run.code, 1) << run.err; // some chips failed
    const auto printed = printedChips(run.out);
    ASSERT_EQ(printed.size(), 50u) << run.out;
    const auto rows = stored(line.db);
    ASSERT_EQ(rows.size(), 50u);
    int failed = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE("chip " + std::to_string(k + 1));
        const auto& r = rows[k];
        EXPECT_EQ(printed[k].record, r.id);
        EXPECT_EQ(printed[k].ok, r.verdict == records::Verdict::Pass);
        EXPECT_EQ(r.in.station, "line-7");
        EXPECT_EQ(r.in.model, "EP2702");
        EXPECT_EQ(r.in.mode, "online");
        EXPECT_EQ(r.in.programmer, "simulated");
        EXPECT_EQ(r.in.imageSha256.size(), 64u);
        EXPECT_TRUE(r.in.cksum);
        EXPECT_FALSE(r.stages.empty());
        expectStagesPrinted(r, printed[k]);
        if (r.verdict == records::Verdict::Pass) {
            EXPECT_TRUE(r.oscDeltaPct);
            EXPECT_FALSE(r.failCode);
        } else {
            ++failed;
            ASSERT_TRUE(r.failCode);
            EXPECT_EQ(r.stages.back().failed || r.stages.back().afterVerdict, true);
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_LT(failed, 50);

    const auto csv = runKelvor({"records", "--csv"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 51);
    EXPECT_EQ(csv.out.rfind("id,time_utc,", 0), 0u);
    const auto summary = runKelvor({"records", "--summary"});
    EXPECT_NE(summary.out.find("chips: 50"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("fail          " + std::to_string(failed)), std::string::npos) << summary.out;
    const auto passes = runKelvor({"records", "--verdict", "pass", "--json"});
    EXPECT_EQ(std::count(passes.out.begin(), passes.out.end(), '\n'), 50 - failed);
}

TEST(Records, CommandLineRefusesWhatItCannotRead) {
    Line line;
    const std::vector<std::vector<std::string>> bad = {
        {"records", "--verdict", "maybe"}, {"records", "--since", "yesterday"},
        {"records", "--csv", "--json"},    {"records", "extra"},
    };
    for (const auto& args : bad) EXPECT_EQ(runKelvor(args).code, 2) << args[1];
    // No records yet: said so, not an empty success.
    const auto none = runKelvor({"records"});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("cannot read records"), std::string::npos);
}

TEST(Records, AKilledStationLosesNoShownVerdict) {
    Line line;
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::size_t printedTotal = 0;
    for (int round = 0; round < 4; ++round) {
        QProcess p;
        p.start(QStringLiteral(KELVOR_CLI_PATH),
                {"program", "--model", "EP2702", QString::fromStdString(line.image), "--count", "100", "--sim-fault",
                 "ng-rate=30"});
        ASSERT_TRUE(p.waitForStarted(5000));
        const int killAfter = 400 + static_cast<int>(rng() % 3600);
        p.waitForFinished(killAfter);
        p.kill(); // SIGKILL: no handler, no flush, no closing of the database
        ASSERT_TRUE(p.waitForFinished(5000));
        const auto printed = printedChips(p.readAllStandardOutput().toStdString());
        printedTotal += printed.size();

        const auto rows = stored(line.db);
        for (const auto& chip : printed) {
            ASSERT_GT(chip.record, 0) << "round " << round << " chip " << chip.n;
            const auto it = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.id == chip.record; });
            ASSERT_NE(it, rows.end()) << "printed verdict missing: record " << chip.record;
            EXPECT_EQ(it->verdict == records::Verdict::Pass, chip.ok);
        }
        // No half-written row: every record has its stages.
        for (const auto& r : rows) EXPECT_FALSE(r.stages.empty()) << "record " << r.id;
        EXPECT_GE(rows.size(), printedTotal);
    }
    EXPECT_GT(printedTotal, 0u); // the kills came while chips were being burnt
}

TEST(Records, ADatabaseThatCannotBeUsedNeverStopsProgramming) {
    struct Case {
        const char* name;
        std::function<void(const std::string& db)> prepare;
        const char* line; // the one line the pane shows
    };
    const Case cases[] = {
        {"not a database", [](const std::string& db) { std::ofstream(db) << "not records\n"; },
         "生产记录: 无法打开记录数据库"},
        {"missing folder", [](const std::string&) {}, "生产记录: 无法打开记录数据库"},
        {"every write fails",
         [](const std::string& db) {
             {
                 records::RecordStore s;
                 std::string error;
                 ASSERT_TRUE(s.open(db, records::RecordStore::Mode::ReadWrite, error)) << error;
             }
             sqlite3* raw = nullptr;
             ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(raw,
                                    "CREATE TRIGGER full BEFORE INSERT ON chips BEGIN "
                                    "SELECT RAISE(ABORT, 'database or disk is full'); END",
                                    nullptr, nullptr, nullptr),
                       SQLITE_OK);
             sqlite3_close(raw);
         },
         "生产记录: 写入记录数据库"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Line line(std::string(c.name) == "missing folder" ? "no/such/folder/records.sqlite" : "records.sqlite");
        c.prepare(line.db);
        const auto run = runKelvor({"program", "--model", "EP2702", line.image, "--count", "2"});
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("chip 2: OK\n"), std::string::npos) << run.out;
        std::size_t said = 0;
        for (auto at = run.out.find(c.line); at != std::string::npos; at = run.out.find(c.line, at + 1)) ++said;
        EXPECT_EQ(said, 1u) << run.out;
    }
}

TEST(Records, OffRecordsNothing) {
    Line line;
    std::ofstream(line.dir.path().toStdString() + "/KELVOR.ini") << "[RECORDS]\nPATH=off\n";
    const auto run = runKelvor({"program", "--model", "EP2702", line.image});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("chip 1: OK\n"), std::string::npos);
    EXPECT_EQ(run.out.find("生产记录"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(line.db)));
}
