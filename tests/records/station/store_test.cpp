// The records database: what goes in comes out, filters select, the schema is versioned, and a
// file the station cannot use is refused with a reason instead of being written over.
#include "records/station/store.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

namespace kelvor::records {
namespace {

ChipRecord sample(std::int64_t epochMs, const char* model, Verdict v) {
    ChipRecord r;
    r.in.epochMs = epochMs;
    r.in.timeUtc = "2026-12-11T00:00:00.000Z";
    r.in.timeLocal = "2026-12-11T08:00:00.000+08:00";
    r.in.station = "line-3";
    r.in.programmer = "simulated";
    r.in.model = model;
    r.in.mode = "online";
    r.in.cksum = 0xBEEF;
    r.in.imageSha256 = std::string(64, 'a');
    r.verdict = v;
    if (v != Verdict::Pass) {
        r.failCode = 0x14;
        r.failLine = "OSC 校准失败! OSC=0x5a, 25ms";
    }
    r.oscDeltaPct = 0.8;
    r.stages = {{0, 0x00, "芯片初始化成功! 3ms", 3, false, false}, {1, 0x14, "x", 25, v != Verdict::Pass, false}};
    r.measures = {{"osc.delta_pct", 0.8}, {"osc.trim", 90}};
    r.durationMs = 420;
    return r;
}

struct Db {
    QTemporaryDir dir;
    std::string path = (dir.path() + "/records.sqlite").toStdString();
};

TEST(Store, WhatIsAddedComesBackAndFiltersSelect) {
    Db db;
    RecordStore s;
    std::string error;
    ASSERT_TRUE(s.open(db.path, RecordStore::Mode::ReadWrite, error)) << error;
    EXPECT_EQ(s.schemaVersion(), kSchemaVersion);
    for (auto [t, m, v] : {std::tuple{1000, "EP2702", Verdict::Pass}, std::tuple{2000, "EP2702", Verdict::Fail},
                           std::tuple{3000, "EP27C42", Verdict::Pass}}) {
        ChipRecord r = sample(t, m, v);
        ASSERT_TRUE(s.add(r, error)) << error;
        EXPECT_GT(r.id, 0);
    }
    // A second connection, read-only, as `kelvor records` and the window open it.
    RecordStore reader;
    ASSERT_TRUE(reader.open(db.path, RecordStore::Mode::ReadOnly, error)) << error;
    auto all = reader.query({}, error);
    ASSERT_EQ(all.size(), 3u);
    const ChipRecord want = sample(2000, "EP2702", Verdict::Fail);
    const ChipRecord& got = all[1];
    EXPECT_EQ(got.in.model, want.in.model);
    EXPECT_EQ(got.in.cksum, want.in.cksum);
    EXPECT_EQ(got.in.imageSha256, want.in.imageSha256);
    EXPECT_EQ(got.verdict, Verdict::Fail);
    EXPECT_EQ(got.failCode, 0x14);
    EXPECT_EQ(got.failLine, want.failLine);
    EXPECT_EQ(got.oscDeltaPct, 0.8);
    EXPECT_FALSE(got.slowTrim);
    EXPECT_EQ(got.stages, want.stages);
    EXPECT_EQ(got.measures, want.measures);

    struct Case {
        RecordFilter f;
        std::size_t n;
    };
    const Case cases[] = {
        {{1500, std::nullopt, "", std::nullopt}, 2},
        {{std::nullopt, 2000, "", std::nullopt}, 1}, // until is exclusive
        {{std::nullopt, std::nullopt, "EP2702", std::nullopt}, 2},
        {{std::nullopt, std::nullopt, "EP2702", Verdict::Pass}, 1},
        {{std::nullopt, std::nullopt, "", Verdict::Timeout}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(reader.query(c.f, error).size(), c.n);
    RecordFilter bare;
    bare.withStages = false;
    EXPECT_TRUE(reader.query(bare, error).front().stages.empty());
    RecordFilter brief;
    brief.brief = true;
    const ChipRecord shown = reader.query(brief, error)[1];
    EXPECT_EQ(shown.id, got.id);
    EXPECT_EQ(shown.in.model, "EP2702");
    EXPECT_EQ(shown.verdict, Verdict::Fail);
    EXPECT_EQ(shown.failCode, 0x14);
    EXPECT_EQ(shown.oscDeltaPct, 0.8);
    EXPECT_EQ(shown.in.cksum, 0xBEEF);
    EXPECT_TRUE(shown.stages.empty());
    EXPECT_EQ(reader.models(error), (std::vector<std::string>{"EP2702", "EP27C42"}));

    // The run's end rewrites the stages and the duration of its record.
    ChipRecord done = all[0];
    done.stages.push_back({2, 0x8B, "芯片烧录完成 2ms", 2, false, true});
    done.durationMs = 999;
    ASSERT_TRUE(s.update(done, error)) << error;
    const auto again = reader.query({}, error);
    EXPECT_EQ(again[0].stages.size(), 3u);
    EXPECT_EQ(again[0].durationMs, 999);
    EXPECT_TRUE(reader.intact());
}

TEST(Store, RefusesFilesItCannotUse) {
    Db db;
    std::string error;
    // Not a database: refused, and the file stays as it was.
    std::ofstream(db.path) << "these are not records, but someone's notes\n";
    RecordStore s;
    EXPECT_FALSE(s.open(db.path, RecordStore::Mode::ReadWrite, error));
    EXPECT_FALSE(error.empty());
    std::ifstream in(db.path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "these are not records, but someone's notes");

    // A folder that does not exist.
    EXPECT_FALSE(s.open((db.dir.path() + "/no/such/dir/r.sqlite").toStdString(), RecordStore::Mode::ReadWrite, error));
    // Nothing to read yet.
    EXPECT_FALSE(s.open((db.dir.path() + "/absent.sqlite").toStdString(), RecordStore::Mode::ReadOnly, error));

    // A newer station's schema is read, never written.
    const std::string newer = (db.dir.path() + "/newer.sqlite").toStdString();
    {
        RecordStore writer;
        ASSERT_TRUE(writer.open(newer, RecordStore::Mode::ReadWrite, error)) << error;
        ChipRecord r = sample(1, "EP2702", Verdict::Pass);
        ASSERT_TRUE(writer.add(r, error));
    }
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(newer.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "UPDATE schema_version SET version=99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    RecordStore older;
    EXPECT_FALSE(older.open(newer, RecordStore::Mode::ReadWrite, error));
    EXPECT_NE(error.find("newer"), std::string::npos);
    EXPECT_TRUE(older.open(newer, RecordStore::Mode::ReadOnly, error));
    EXPECT_EQ(older.query({}, error).size(), 1u);
}

} // namespace
} // namespace kelvor::records
