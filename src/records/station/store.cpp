#include "records/station/store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>

namespace kelvor::records {
namespace {

// Version 1. Each later version adds one step to kMigrations; a database is brought up step by
// step inside one transaction.
constexpr const char* kSchema = R"sql(
CREATE TABLE schema_version (version INTEGER NOT NULL);
CREATE TABLE chips (
    id                  INTEGER PRIMARY KEY,
    epoch_ms            INTEGER NOT NULL,
    time_utc            TEXT NOT NULL,
    time_local          TEXT NOT NULL,
    station             TEXT NOT NULL,
    programmer          TEXT NOT NULL,
    programmer_firmware TEXT,
    model               TEXT NOT NULL,
    family              TEXT,
    mode                TEXT NOT NULL,
    image_path          TEXT,
    image_size          INTEGER,
    image_mtime         TEXT,
    image_sha256        TEXT,
    cksum               INTEGER,
    check_word          INTEGER,
    uid_base            TEXT,
    uid_increment       TEXT,
    uid_reported        TEXT,
    voltage_text        TEXT,
    millivolts          INTEGER,
    frequency_index     INTEGER,
    verdict             TEXT NOT NULL CHECK (verdict IN ('pass','fail','refused','timeout','link-failure')),
    fail_code           INTEGER,
    fail_line           TEXT,
    job_code            INTEGER NOT NULL,
    osc_trim            REAL,
    osc_freq_hz         REAL,
    osc_delta_pct       REAL,
    slow_trim           REAL,
    slow_freq_hz        REAL,
    slow_delta_pct      REAL,
    duration_ms         INTEGER NOT NULL
);
CREATE INDEX chips_by_time ON chips (epoch_ms);
CREATE INDEX chips_by_model ON chips (model, epoch_ms);
CREATE TABLE stages (
    chip_id       INTEGER NOT NULL REFERENCES chips (id) ON DELETE CASCADE,
    seq           INTEGER NOT NULL,
    code          INTEGER,
    line          TEXT NOT NULL,
    ms            INTEGER NOT NULL,
    failed        INTEGER NOT NULL,
    after_verdict INTEGER NOT NULL,
    PRIMARY KEY (chip_id, seq)
) WITHOUT ROWID;
CREATE TABLE measures (
    chip_id INTEGER NOT NULL REFERENCES chips (id) ON DELETE CASCADE,
    name    TEXT NOT NULL,
    value   REAL NOT NULL,
    PRIMARY KEY (chip_id, name)
) WITHOUT ROWID;
INSERT INTO schema_version (version) VALUES (1);
)sql";

// kMigrations[v - 1] brings version v to v + 1.
constexpr const char* kMigrations[] = {nullptr};

constexpr const char* kChipColumns =
    "epoch_ms, time_utc, time_local, station, programmer, programmer_firmware, model, family, mode, "
    "image_path, image_size, image_mtime, image_sha256, cksum, check_word, uid_base, uid_increment, "
    "uid_reported, voltage_text, millivolts, frequency_index, verdict, fail_code, fail_line, job_code, "
    "osc_trim, osc_freq_hz, osc_delta_pct, slow_trim, slow_freq_hz, slow_delta_pct, duration_ms";
constexpr int kChipColumnCount = 32;

enum Slot { kInsertChip, kInsertStage, kInsertMeasure, kUpdateChip, kDeleteStages, kDeleteMeasures, kSlotCount };

std::string lastError(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

void bindText(sqlite3_stmt* s, int i, const std::string& v) {
    if (v.empty()) sqlite3_bind_null(s, i);
    else sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}
template <class T> void bindOpt(sqlite3_stmt* s, int i, const std::optional<T>& v) {
    if (!v) sqlite3_bind_null(s, i);
    else if constexpr (std::is_floating_point_v<T>) sqlite3_bind_double(s, i, *v);
    else sqlite3_bind_int64(s, i, *v);
}

void bindChip(sqlite3_stmt* s, const ChipRecord& r) {
    const RunInputs& in = r.in;
    int i = 1;
    sqlite3_bind_int64(s, i++, in.epochMs);
    sqlite3_bind_text(s, i++, in.timeUtc.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, i++, in.timeLocal.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, i++, in.station.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, i++, in.programmer.c_str(), -1, SQLITE_TRANSIENT);
    bindText(s, i++, in.programmerFirmware);
    sqlite3_bind_text(s, i++, in.model.c_str(), -1, SQLITE_TRANSIENT);
    bindText(s, i++, in.family);
    sqlite3_bind_text(s, i++, in.mode.c_str(), -1, SQLITE_TRANSIENT);
    bindText(s, i++, in.imagePath);
    bindOpt(s, i++, in.imageSize);
    bindText(s, i++, in.imageMtime);
    bindText(s, i++, in.imageSha256);
    bindOpt(s, i++, in.cksum);
    bindOpt(s, i++, in.checkWord);
    bindText(s, i++, in.uidBase);
    bindText(s, i++, in.uidIncrement);
    bindText(s, i++, r.uidReported);
    bindText(s, i++, in.voltageText);
    bindOpt(s, i++, in.millivolts);
    sqlite3_bind_int(s, i++, in.frequencyIndex);
    const std::string verdict(verdictName(r.verdict));
    sqlite3_bind_text(s, i++, verdict.c_str(), -1, SQLITE_TRANSIENT);
    bindOpt(s, i++, r.failCode);
    bindText(s, i++, r.failLine);
    sqlite3_bind_int(s, i++, in.jobCode);
    bindOpt(s, i++, r.oscTrim);
    bindOpt(s, i++, r.oscFreqHz);
    bindOpt(s, i++, r.oscDeltaPct);
    bindOpt(s, i++, r.slowTrim);
    bindOpt(s, i++, r.slowFreqHz);
    bindOpt(s, i++, r.slowDeltaPct);
    sqlite3_bind_int(s, i++, r.durationMs);
}

std::string columnText(sqlite3_stmt* s, int i) {
    const auto* t = sqlite3_column_text(s, i);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}
template <class T> std::optional<T> columnOpt(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) return sqlite3_column_double(s, i);
    else return static_cast<T>(sqlite3_column_int64(s, i));
}

ChipRecord readChip(sqlite3_stmt* s) {
    ChipRecord r;
    RunInputs& in = r.in;
    int i = 0;
    r.id = sqlite3_column_int64(s, i++);
    in.epochMs = sqlite3_column_int64(s, i++);
    in.timeUtc = columnText(s, i++);
    in.timeLocal = columnText(s, i++);
    in.station = columnText(s, i++);
    in.programmer = columnText(s, i++);
    in.programmerFirmware = columnText(s, i++);
    in.model = columnText(s, i++);
    in.family = columnText(s, i++);
    in.mode = columnText(s, i++);
    in.imagePath = columnText(s, i++);
    in.imageSize = columnOpt<std::int64_t>(s, i++);
    in.imageMtime = columnText(s, i++);
    in.imageSha256 = columnText(s, i++);
    in.cksum = columnOpt<int>(s, i++);
    in.checkWord = columnOpt<int>(s, i++);
    in.uidBase = columnText(s, i++);
    in.uidIncrement = columnText(s, i++);
    r.uidReported = columnText(s, i++);
    in.voltageText = columnText(s, i++);
    in.millivolts = columnOpt<int>(s, i++);
    in.frequencyIndex = sqlite3_column_int(s, i++);
    r.verdict = parseVerdict(columnText(s, i++)).value_or(Verdict::Fail);
    r.failCode = columnOpt<int>(s, i++);
    r.failLine = columnText(s, i++);
    in.jobCode = sqlite3_column_int(s, i++);
    r.oscTrim = columnOpt<double>(s, i++);
    r.oscFreqHz = columnOpt<double>(s, i++);
    r.oscDeltaPct = columnOpt<double>(s, i++);
    r.slowTrim = columnOpt<double>(s, i++);
    r.slowFreqHz = columnOpt<double>(s, i++);
    r.slowDeltaPct = columnOpt<double>(s, i++);
    r.durationMs = sqlite3_column_int(s, i++);
    return r;
}

ChipRecord readBrief(sqlite3_stmt* s) {
    ChipRecord r;
    int i = 0;
    r.id = sqlite3_column_int64(s, i++);
    r.in.epochMs = sqlite3_column_int64(s, i++);
    r.in.timeLocal = columnText(s, i++);
    r.in.model = columnText(s, i++);
    r.in.mode = columnText(s, i++);
    r.verdict = parseVerdict(columnText(s, i++)).value_or(Verdict::Fail);
    r.failCode = columnOpt<int>(s, i++);
    r.failLine = columnText(s, i++);
    r.in.cksum = columnOpt<int>(s, i++);
    r.oscDeltaPct = columnOpt<double>(s, i++);
    r.durationMs = sqlite3_column_int(s, i++);
    r.in.imagePath = columnText(s, i++);
    return r;
}

// A statement that finalizes itself.
struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

} // namespace

RecordStore::~RecordStore() { close(); }

void RecordStore::close() {
    for (auto* s : statements_) sqlite3_finalize(s);
    statements_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool RecordStore::exec(const char* sql, std::string& error) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error = msg ? msg : lastError(db_);
    sqlite3_free(msg);
    return false;
}

sqlite3_stmt* RecordStore::prepared(int slot, const char* sql, std::string& error) {
    if (statements_.size() < kSlotCount) statements_.resize(kSlotCount, nullptr);
    sqlite3_stmt*& s = statements_[static_cast<std::size_t>(slot)];
    if (!s && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
        error = lastError(db_);
        s = nullptr;
        return nullptr;
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return s;
}

bool RecordStore::open(const std::string& path, Mode mode, std::string& error) {
    close();
    path_ = path;
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        error = lastError(db_);
        close();
        return false;
    }
    // Another station process (the window and the command line) may hold the write lock a moment.
    sqlite3_busy_timeout(db_, 2000);
    bool ok = true;
    if (mode == Mode::ReadWrite) {
        // WAL: a commit is one append, readers never block the writer; FULL: the commit is on disk
        // before add() returns.
        ok = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;", error) &&
             createOrMigrate(error);
    } else {
        ok = schemaVersion() > 0;
        if (!ok) error = sqlite3_errcode(db_) == SQLITE_OK ? "no records in this file" : lastError(db_);
    }
    if (ok && schemaVersion() > kSchemaVersion) {
        error = "records of a newer station (schema " + std::to_string(schemaVersion()) + ")";
        ok = mode == Mode::ReadOnly; // readable, never written by an older schema
    }
    if (!ok) close();
    return ok;
}

bool RecordStore::createOrMigrate(std::string& error) {
    if (!exec("BEGIN IMMEDIATE", error)) return false;
    bool ok = true;
    Statement has;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='schema_version'", -1,
                           &has.s, nullptr) != SQLITE_OK) {
        error = lastError(db_);
        ok = false;
    }
    if (ok && sqlite3_step(has.s) != SQLITE_ROW) {
        ok = exec(kSchema, error);
    } else if (ok) {
        for (int v = schemaVersion(); ok && v >= 1 && v < kSchemaVersion; ++v) {
            ok = kMigrations[v - 1] && exec(kMigrations[v - 1], error) &&
                 exec(("UPDATE schema_version SET version=" + std::to_string(v + 1)).c_str(), error);
        }
    }
    std::string ignored;
    if (!ok) {
        exec("ROLLBACK", ignored);
        return false;
    }
    return exec("COMMIT", error);
}

int RecordStore::schemaVersion() const {
    if (!db_) return 0;
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT version FROM schema_version", -1, &s.s, nullptr) != SQLITE_OK) return 0;
    return sqlite3_step(s.s) == SQLITE_ROW ? sqlite3_column_int(s.s, 0) : 0;
}

bool RecordStore::intact() const {
    if (!db_) return false;
    Statement s;
    if (sqlite3_prepare_v2(db_, "PRAGMA integrity_check", -1, &s.s, nullptr) != SQLITE_OK) return false;
    return sqlite3_step(s.s) == SQLITE_ROW && columnText(s.s, 0) == "ok";
}

bool RecordStore::writeStagesAndMeasures(const ChipRecord& r, std::string& error) {
    for (const auto& st : r.stages) {
        sqlite3_stmt* s = prepared(kInsertStage,
                                   "INSERT INTO stages (chip_id, seq, code, line, ms, failed, after_verdict) "
                                   "VALUES (?, ?, ?, ?, ?, ?, ?)",
                                   error);
        if (!s) return false;
        sqlite3_bind_int64(s, 1, r.id);
        sqlite3_bind_int(s, 2, st.seq);
        bindOpt(s, 3, st.code);
        sqlite3_bind_text(s, 4, st.line.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 5, st.ms);
        sqlite3_bind_int(s, 6, st.failed ? 1 : 0);
        sqlite3_bind_int(s, 7, st.afterVerdict ? 1 : 0);
        if (sqlite3_step(s) != SQLITE_DONE) return error = lastError(db_), false;
    }
    for (const auto& m : r.measures) {
        sqlite3_stmt* s = prepared(kInsertMeasure, "INSERT INTO measures (chip_id, name, value) VALUES (?, ?, ?)", error);
        if (!s) return false;
        sqlite3_bind_int64(s, 1, r.id);
        sqlite3_bind_text(s, 2, m.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(s, 3, m.value);
        if (sqlite3_step(s) != SQLITE_DONE) return error = lastError(db_), false;
    }
    return true;
}

bool RecordStore::insert(ChipRecord& r, std::string& error) {
    static const std::string sql = [] {
        std::string q = std::string("INSERT INTO chips (") + kChipColumns + ") VALUES (";
        for (int i = 0; i < kChipColumnCount; ++i) q += i ? ", ?" : "?";
        return q + ")";
    }();
    sqlite3_stmt* s = prepared(kInsertChip, sql.c_str(), error);
    if (!s) return false;
    bindChip(s, r);
    if (sqlite3_step(s) != SQLITE_DONE) return error = lastError(db_), false;
    r.id = sqlite3_last_insert_rowid(db_);
    return writeStagesAndMeasures(r, error);
}

bool RecordStore::add(ChipRecord& r, std::string& error) {
    std::vector<ChipRecord*> one{&r};
    return addAll(one, error);
}

bool RecordStore::addAll(const std::vector<ChipRecord*>& records, std::string& error) {
    if (!db_) return error = "records database not open", false;
    if (!exec("BEGIN IMMEDIATE", error)) return false;
    std::vector<std::int64_t> before;
    bool ok = true;
    for (ChipRecord* r : records) {
        before.push_back(r->id);
        if (!(ok = insert(*r, error))) break;
    }
    ok = ok && exec("COMMIT", error);
    if (!ok) {
        std::string ignored;
        exec("ROLLBACK", ignored);
        for (std::size_t k = 0; k < before.size(); ++k) records[k]->id = before[k];
    }
    return ok;
}

bool RecordStore::update(const ChipRecord& r, std::string& error) {
    if (!db_) return error = "records database not open", false;
    if (!exec("BEGIN IMMEDIATE", error)) return false;
    bool ok = false;
    sqlite3_stmt* s = prepared(kUpdateChip,
                               "UPDATE chips SET duration_ms=?, uid_reported=?, osc_trim=?, osc_freq_hz=?, "
                               "osc_delta_pct=?, slow_trim=?, slow_freq_hz=?, slow_delta_pct=? WHERE id=?",
                               error);
    if (s) {
        sqlite3_bind_int(s, 1, r.durationMs);
        bindText(s, 2, r.uidReported);
        bindOpt(s, 3, r.oscTrim);
        bindOpt(s, 4, r.oscFreqHz);
        bindOpt(s, 5, r.oscDeltaPct);
        bindOpt(s, 6, r.slowTrim);
        bindOpt(s, 7, r.slowFreqHz);
        bindOpt(s, 8, r.slowDeltaPct);
        sqlite3_bind_int64(s, 9, r.id);
        ok = sqlite3_step(s) == SQLITE_DONE;
        if (!ok) error = lastError(db_);
    }
    for (auto [slot, sql] : {std::pair{kDeleteStages, "DELETE FROM stages WHERE chip_id=?"},
                             std::pair{kDeleteMeasures, "DELETE FROM measures WHERE chip_id=?"}}) {
        if (!ok) break;
        sqlite3_stmt* d = prepared(slot, sql, error);
        ok = d != nullptr;
        if (!ok) break;
        sqlite3_bind_int64(d, 1, r.id);
        ok = sqlite3_step(d) == SQLITE_DONE;
        if (!ok) error = lastError(db_);
    }
    ok = ok && writeStagesAndMeasures(r, error) && exec("COMMIT", error);
    if (!ok) {
        std::string ignored;
        exec("ROLLBACK", ignored);
    }
    return ok;
}

std::vector<ChipRecord> RecordStore::query(const RecordFilter& f, std::string& error) const {
    std::vector<ChipRecord> out;
    if (!db_) return error = "records database not open", out;
    constexpr const char* kBriefColumns = "epoch_ms, time_local, model, mode, verdict, fail_code, fail_line, cksum, "
                                          "osc_delta_pct, duration_ms, image_path";
    std::string sql = std::string("SELECT id, ") + (f.brief ? kBriefColumns : kChipColumns) + " FROM chips WHERE 1";
    if (f.sinceMs) sql += " AND epoch_ms >= ?1";
    if (f.untilMs) sql += " AND epoch_ms < ?2";
    if (!f.model.empty()) sql += " AND model = ?3";
    if (f.verdict) sql += " AND verdict = ?4";
    sql += " ORDER BY epoch_ms, id";
    Statement s;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.s, nullptr) != SQLITE_OK) return error = lastError(db_), out;
    if (f.sinceMs) sqlite3_bind_int64(s.s, 1, *f.sinceMs);
    if (f.untilMs) sqlite3_bind_int64(s.s, 2, *f.untilMs);
    if (!f.model.empty()) sqlite3_bind_text(s.s, 3, f.model.c_str(), -1, SQLITE_TRANSIENT);
    const std::string verdict = f.verdict ? std::string(verdictName(*f.verdict)) : std::string();
    if (f.verdict) sqlite3_bind_text(s.s, 4, verdict.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(s.s)) == SQLITE_ROW) out.push_back(f.brief ? readBrief(s.s) : readChip(s.s));
    if (rc != SQLITE_DONE) error = lastError(db_);
    if (!f.withStages || f.brief || out.empty()) return out;

    // Stages and measures of the chips found, in one pass each over the chips' id range.
    std::vector<std::size_t> index;
    std::int64_t minId = out.front().id, maxId = out.front().id;
    for (const auto& r : out) minId = std::min(minId, r.id), maxId = std::max(maxId, r.id);
    index.assign(static_cast<std::size_t>(maxId - minId + 1), SIZE_MAX);
    for (std::size_t k = 0; k < out.size(); ++k) index[static_cast<std::size_t>(out[k].id - minId)] = k;
    auto owner = [&](std::int64_t id) -> ChipRecord* {
        if (id < minId || id > maxId) return nullptr;
        const std::size_t k = index[static_cast<std::size_t>(id - minId)];
        return k == SIZE_MAX ? nullptr : &out[k];
    };
    Statement st;
    if (sqlite3_prepare_v2(db_,
                           "SELECT chip_id, seq, code, line, ms, failed, after_verdict FROM stages "
                           "WHERE chip_id BETWEEN ?1 AND ?2 ORDER BY chip_id, seq",
                           -1, &st.s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(st.s, 1, minId);
        sqlite3_bind_int64(st.s, 2, maxId);
        while (sqlite3_step(st.s) == SQLITE_ROW)
            if (ChipRecord* r = owner(sqlite3_column_int64(st.s, 0)))
                r->stages.push_back({sqlite3_column_int(st.s, 1), columnOpt<int>(st.s, 2), columnText(st.s, 3),
                                     sqlite3_column_int(st.s, 4), sqlite3_column_int(st.s, 5) != 0,
                                     sqlite3_column_int(st.s, 6) != 0});
    }
    Statement ms;
    if (sqlite3_prepare_v2(db_,
                           "SELECT chip_id, name, value FROM measures WHERE chip_id BETWEEN ?1 AND ?2 "
                           "ORDER BY chip_id, name",
                           -1, &ms.s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(ms.s, 1, minId);
        sqlite3_bind_int64(ms.s, 2, maxId);
        while (sqlite3_step(ms.s) == SQLITE_ROW)
            if (ChipRecord* r = owner(sqlite3_column_int64(ms.s, 0)))
                r->measures.push_back({columnText(ms.s, 1), sqlite3_column_double(ms.s, 2)});
    }
    return out;
}

std::vector<std::string> RecordStore::models(std::string& error) const {
    std::vector<std::string> out;
    if (!db_) return out;
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT DISTINCT model FROM chips ORDER BY model", -1, &s.s, nullptr) != SQLITE_OK)
        return error = lastError(db_), out;
    while (sqlite3_step(s.s) == SQLITE_ROW) out.push_back(columnText(s.s, 0));
    return out;
}

} // namespace kelvor::records
