#pragma once
// The records database: one SQLite file, written in WAL mode with synchronous commits, so that a
// record that add() has returned from survives a killed station or a lost supply, and a station
// killed in the middle of a write leaves the database as it was before it.
#include "records/record.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvor::records {

// The schema this station writes; schema_version holds the database's.
inline constexpr int kSchemaVersion = 1;

struct RecordFilter {
    std::optional<std::int64_t> sinceMs; // epoch ms, inclusive
    std::optional<std::int64_t> untilMs; // epoch ms, exclusive
    std::string model;                   // empty: every model
    std::optional<Verdict> verdict;
    bool withStages = true;              // stages and measures too (the charts need neither)
    // Only what the records window shows and charts: times, model, mode, verdict and failure,
    // CKSUM, oscillator delta, duration and image path (no stages either).
    bool brief = false;
};

class RecordStore {
public:
    enum class Mode { ReadWrite, ReadOnly };
    RecordStore() = default;
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens (ReadWrite: creates or migrates) the database. False with `error` set when it cannot be
    // used: unreadable, not a database, a schema newer than this station's.
    bool open(const std::string& path, Mode mode, std::string& error);
    bool isOpen() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }

    // Stores a record and its stages in one transaction, committed when this returns true; sets r.id.
    bool add(ChipRecord& r, std::string& error);
    // Many records in one transaction (imports, generated test data): all or none.
    bool addAll(const std::vector<ChipRecord*>& records, std::string& error);
    // Rewrites a stored record's stages, measures and duration (the run's end after its verdict).
    bool update(const ChipRecord& r, std::string& error);

    std::vector<ChipRecord> query(const RecordFilter& f, std::string& error) const;
    std::vector<std::string> models(std::string& error) const;
    int schemaVersion() const;
    // PRAGMA integrity_check said "ok".
    bool intact() const;

private:
    bool exec(const char* sql, std::string& error);
    bool insert(ChipRecord& r, std::string& error);
    bool createOrMigrate(std::string& error);
    bool writeStagesAndMeasures(const ChipRecord& r, std::string& error);
    sqlite3_stmt* prepared(int slot, const char* sql, std::string& error);
    void close();

    sqlite3* db_ = nullptr;
    std::string path_;
    std::vector<sqlite3_stmt*> statements_;
};

} // namespace kelvor::records
