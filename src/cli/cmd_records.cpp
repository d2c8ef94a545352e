// kelvor records: the production records, filtered, as a table, CSV, JSON lines or a summary.
#include "app/station/station_dirs.h"
#include "base/station/settings_store.h"
#include "cli/cli.h"
#include "cli/session.h"
#include "records/export.h"
#include "records/station/recorder.h"
#include "records/station/store.h"

#include <QDateTime>

#include <CLI/CLI.hpp>

#include <ostream>
#include <tuple>
#include <variant>

namespace kelvor::cli {
namespace {

enum class Format { Table, Csv, Json, Summary };

struct RecordsOptions {
    records::RecordFilter filter;
    Format format = Format::Table;
    std::string db; // empty: the station's records file
};

std::optional<std::int64_t> parseTime(const std::string& text) {
    const QString t = QString::fromStdString(text).trimmed();
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    for (const char* f : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"})
        if (!dt.isValid()) dt = QDateTime::fromString(t, QString::fromLatin1(f));
    if (!dt.isValid()) return std::nullopt;
    return dt.toMSecsSinceEpoch();
}

struct RecordsArgs {
    std::optional<std::string> since, until, model, verdict, db;
    bool csv = false, json = false, summary = false;
};

void addRecordsOptions(CLI::App& app, RecordsArgs& a) {
    const char* timeForms = "2026-12-11, 2026-12-11 08:00[:00] (local time) or ISO 8601 with Z or an offset";
    app.add_option("--since", a.since, std::string("first time: ") + timeForms)->type_name("TIME");
    app.add_option("--until", a.until, std::string("last time: ") + timeForms)->type_name("TIME");
    app.add_option("--model", a.model, "only this model")->type_name("M");
    app.add_option("--verdict", a.verdict, "only this verdict: pass, fail, refused, timeout, link-failure")
        ->type_name("V");
    app.add_option("--db", a.db, "the records file (default: the station's, [RECORDS] PATH)")->type_name("FILE");
    app.add_flag("--csv", a.csv, "CSV for spreadsheets, with the stages");
    app.add_flag("--json", a.json, "one JSON object per record, with the stages");
    app.add_flag("--summary", a.summary, "counts, yield per model and hour, failures ranked");
}

// The options as the query wants them, or what is wrong with them.
std::variant<RecordsOptions, std::string> recordsOptionsFrom(const RecordsArgs& a) {
    RecordsOptions o;
    if (a.csv + a.json + a.summary > 1) return std::string("--csv, --json and --summary exclude each other");
    o.format = a.csv ? Format::Csv : a.json ? Format::Json : a.summary ? Format::Summary : Format::Table;
    for (auto [name, text, slot] : {std::tuple{"--since", &a.since, &o.filter.sinceMs},
                                    std::tuple{"--until", &a.until, &o.filter.untilMs}}) {
        if (*text) {
            *slot = parseTime(**text);
            if (!*slot) return std::string(name) + ": not a time: " + **text;
        }
    }
    if (a.model) o.filter.model = *a.model;
    if (a.verdict) {
        o.filter.verdict = records::parseVerdict(*a.verdict);
        if (!o.filter.verdict) return "--verdict: unknown verdict " + *a.verdict;
    }
    if (a.db) o.db = *a.db;
    o.filter.withStages = o.format == Format::Csv || o.format == Format::Json;
    return o;
}

std::string defaultDatabase() {
    const StationDirs dirs = stationDirs(stationProgramDir(), "zep.log");
    const SettingsStore settings(dirs.settingsFile.toStdString());
    return records::recordsPath(settings, dirs.logFile).toStdString();
}

void printTable(std::ostream& out, const std::vector<records::ChipRecord>& rows) {
    for (const auto& r : rows) {
        out << r.id << "  " << r.in.timeLocal << "  " << r.in.model << "  " << r.in.mode << "  "
            << records::verdictName(r.verdict);
        if (r.verdict != records::Verdict::Pass && (r.failCode || !r.failLine.empty()))
            out << "  " << records::failureLabel(r);
        out << "  " << r.durationMs << "ms\n";
    }
}

int runRecords(Context& ctx, const RecordsArgs& a) {
    auto parsed = recordsOptionsFrom(a);
    if (auto* why = std::get_if<std::string>(&parsed)) return ctx.usage(*why);
    const RecordsOptions& o = std::get<RecordsOptions>(parsed);
    const std::string path = o.db.empty() ? defaultDatabase() : o.db;
    if (path.empty()) {
        ctx.err << "kelvor: records are off ([RECORDS] PATH=off)\n";
        return kExitFail;
    }
    records::RecordStore store;
    std::string error;
    if (!store.open(path, records::RecordStore::Mode::ReadOnly, error)) {
        ctx.err << "kelvor: cannot read records " << path << ": " << error << "\n";
        return kExitFail;
    }
    const auto rows = store.query(o.filter, error);
    if (!error.empty()) {
        ctx.err << "kelvor: reading records " << path << ": " << error << "\n";
        return kExitFail;
    }
    switch (o.format) {
    case Format::Table: printTable(ctx.out, rows); break;
    case Format::Csv:
        ctx.out << records::csvHeader() << "\r\n";
        for (const auto& r : rows) ctx.out << records::csvRow(r) << "\r\n";
        break;
    case Format::Json:
        for (const auto& r : rows) ctx.out << jsonLine(records::jsonRecord(r)) << "\n";
        break;
    case Format::Summary: ctx.out << records::renderSummary(records::summarize(rows)); break;
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("records",
                   "records [--since TIME] [--until TIME] [--model M] [--verdict V] [--csv | --json | --summary] [--db FILE]",
                   "Print the production records", RecordsArgs, addRecordsOptions, runRecords);

} // namespace kelvor::cli
