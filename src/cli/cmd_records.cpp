// kelvor records: the production records, filtered, as a table, CSV, JSON lines or a summary.
#include "app/station/station_dirs.h"
#include "base/station/settings_store.h"
#include "cli/cli.h"
#include "cli/session.h"
#include "records/export.h"
#include "records/station/recorder.h"
#include "records/station/store.h"

#include <QDateTime>

#include <ostream>
#include <variant>

namespace kelvor::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvor records [--since TIME] [--until TIME] [--model M] [--verdict V] [--csv | --json | --summary] "
    "[--db FILE]\n"
    "  TIME: 2026-12-11, 2026-12-11 08:00[:00] (local time) or ISO 8601 with Z or an offset\n"
    "  V: pass, fail, refused, timeout, link-failure\n";

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

// Option parsing only; the work is elsewhere.
std::variant<RecordsOptions, std::string> parseRecordsOptions(ArgParser& args) {
    RecordsOptions o;
    const bool csv = args.flag("--csv"), json = args.flag("--json"), summary = args.flag("--summary");
    if (csv + json + summary > 1) return std::string("--csv, --json and --summary exclude each other");
    o.format = csv ? Format::Csv : json ? Format::Json : summary ? Format::Summary : Format::Table;
    for (auto [name, slot] : {std::pair{"--since", &o.filter.sinceMs}, std::pair{"--until", &o.filter.untilMs}}) {
        if (auto v = args.option(name)) {
            *slot = parseTime(*v);
            if (!*slot) return std::string(name) + ": not a time: " + *v;
        }
    }
    if (auto v = args.option("--model")) o.filter.model = *v;
    if (auto v = args.option("--verdict")) {
        o.filter.verdict = records::parseVerdict(*v);
        if (!o.filter.verdict) return "--verdict: unknown verdict " + *v;
    }
    if (auto v = args.option("--db")) o.db = *v;
    const auto rest = args.finish();
    if (!args.ok()) return args.error();
    if (!rest.empty()) return "unexpected argument " + rest.front();
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

int runRecords(Context& ctx) {
    auto parsed = parseRecordsOptions(ctx.args);
    if (auto* why = std::get_if<std::string>(&parsed)) {
        ctx.err << "kelvor: " << *why << "\n" << kUsage;
        return kExitUsage;
    }
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
        for (const auto& r : rows) ctx.out << records::jsonRecord(r).dump() << "\n";
        break;
    case Format::Summary: ctx.out << records::renderSummary(records::summarize(rows)); break;
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("records", "records [--since T] [--csv|--json|--summary]  print the production records", runRecords);

} // namespace kelvor::cli
