#include "records/export.h"

#include "base/strfmt.h"

#include <algorithm>
#include <map>
#include <variant>

namespace kelvor::records {
namespace {

using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;

template <class T> Cell opt(const std::optional<T>& v) {
    if (!v) return {};
    if constexpr (std::is_floating_point_v<T>) return static_cast<double>(*v);
    else return static_cast<std::int64_t>(*v);
}
Cell text(const std::string& s) { return s.empty() ? Cell{} : Cell{s}; }
Cell hex16(const std::optional<int>& v) { return v ? Cell{strfmt("0x%04x", *v)} : Cell{}; }

std::string stagesText(const ChipRecord& r) {
    std::string out;
    for (const auto& s : r.stages) {
        if (!out.empty()) out += "; ";
        out += s.code ? strfmt("0x%02x", *s.code) : std::string("-");
        out += strfmt(" %dms", s.ms);
        if (s.failed) out += " fail";
    }
    return out;
}

std::string measuresText(const ChipRecord& r) {
    std::string out;
    for (const auto& m : r.measures) {
        if (!out.empty()) out += "; ";
        out += m.name + "=" + strfmt("%.10g", m.value);
    }
    return out;
}

struct Column {
    std::string_view name;
    Cell (*get)(const ChipRecord&);
};

// clang-format off
const Column kColumns[] = {
    {"id", [](const ChipRecord& r) -> Cell { return r.id; }},
    {"time_utc", [](const ChipRecord& r) { return text(r.in.timeUtc); }},
    {"time_local", [](const ChipRecord& r) { return text(r.in.timeLocal); }},
    {"station", [](const ChipRecord& r) { return text(r.in.station); }},
    {"programmer", [](const ChipRecord& r) { return text(r.in.programmer); }},
    {"programmer_firmware", [](const ChipRecord& r) { return text(r.in.programmerFirmware); }},
    {"model", [](const ChipRecord& r) { return text(r.in.model); }},
    {"family", [](const ChipRecord& r) { return text(r.in.family); }},
    {"mode", [](const ChipRecord& r) { return text(r.in.mode); }},
    {"image_path", [](const ChipRecord& r) { return text(r.in.imagePath); }},
    {"image_size", [](const ChipRecord& r) { return opt(r.in.imageSize); }},
    {"image_mtime", [](const ChipRecord& r) { return text(r.in.imageMtime); }},
    {"image_sha256", [](const ChipRecord& r) { return text(r.in.imageSha256); }},
    {"cksum", [](const ChipRecord& r) { return hex16(r.in.cksum); }},
    {"check_word", [](const ChipRecord& r) { return hex16(r.in.checkWord); }},
    {"uid_base", [](const ChipRecord& r) { return text(r.in.uidBase); }},
    {"uid_increment", [](const ChipRecord& r) { return text(r.in.uidIncrement); }},
    {"uid_reported", [](const ChipRecord& r) { return text(r.uidReported); }},
    {"voltage_text", [](const ChipRecord& r) { return text(r.in.voltageText); }},
    {"millivolts", [](const ChipRecord& r) { return opt(r.in.millivolts); }},
    {"frequency_index", [](const ChipRecord& r) -> Cell { return std::int64_t{r.in.frequencyIndex}; }},
    {"verdict", [](const ChipRecord& r) -> Cell { return std::string(verdictName(r.verdict)); }},
    {"fail_code", [](const ChipRecord& r) { return r.failCode ? Cell{strfmt("0x%02x", *r.failCode)} : Cell{}; }},
    {"fail_line", [](const ChipRecord& r) { return text(r.failLine); }},
    {"job_code", [](const ChipRecord& r) -> Cell { return std::int64_t{r.in.jobCode}; }},
    {"osc_trim", [](const ChipRecord& r) { return opt(r.oscTrim); }},
    {"osc_freq_hz", [](const ChipRecord& r) { return opt(r.oscFreqHz); }},
    {"osc_delta_pct", [](const ChipRecord& r) { return opt(r.oscDeltaPct); }},
    {"slow_trim", [](const ChipRecord& r) { return opt(r.slowTrim); }},
    {"slow_freq_hz", [](const ChipRecord& r) { return opt(r.slowFreqHz); }},
    {"slow_delta_pct", [](const ChipRecord& r) { return opt(r.slowDeltaPct); }},
    {"duration_ms", [](const ChipRecord& r) -> Cell { return std::int64_t{r.durationMs}; }},
    {"stages", [](const ChipRecord& r) { return text(stagesText(r)); }},
    {"measures", [](const ChipRecord& r) { return text(measuresText(r)); }},
};
// clang-format on

std::string cellText(const Cell& c) {
    if (std::holds_alternative<std::int64_t>(c)) return std::to_string(std::get<std::int64_t>(c));
    if (std::holds_alternative<double>(c)) return strfmt("%.10g", std::get<double>(c));
    if (std::holds_alternative<std::string>(c)) return std::get<std::string>(c);
    return {};
}

Json cellJson(const Cell& c) {
    if (std::holds_alternative<std::int64_t>(c)) return Json(static_cast<long long>(std::get<std::int64_t>(c)));
    if (std::holds_alternative<double>(c)) return Json(std::get<double>(c));
    if (std::holds_alternative<std::string>(c)) return Json(std::get<std::string>(c));
    return Json();
}

// The line up to its first exclamation mark or comma: the stage, without the values and times
// that differ from chip to chip.
std::string lineHead(std::string_view line) {
    std::size_t cut = line.size();
    for (std::string_view mark : {"!", "！", ",", "，"}) {
        const auto at = line.find(mark);
        if (at != std::string_view::npos) cut = std::min(cut, mark == "!" || mark == "！" ? at + mark.size() : at);
    }
    std::string head(line.substr(0, cut));
    while (!head.empty() && head.back() == ' ') head.pop_back();
    return head;
}

Count& slot(std::map<std::string, Count>& m, const std::string& key) {
    Count& c = m[key];
    c.key = key;
    return c;
}

std::vector<Count> values(const std::map<std::string, Count>& m) {
    std::vector<Count> out;
    out.reserve(m.size());
    for (const auto& [k, c] : m) out.push_back(c);
    return out;
}

std::string hourOf(const ChipRecord& r) {
    // "YYYY-MM-DDTHH" of the local time, written as the hour a shift reads.
    std::string h = r.in.timeLocal.substr(0, 13);
    if (h.size() == 13) h[10] = ' ';
    return h;
}

std::vector<Count> ranked(const std::map<std::string, Count>& m) {
    auto out = values(m);
    std::stable_sort(out.begin(), out.end(), [](const Count& a, const Count& b) { return a.total > b.total; });
    return out;
}

} // namespace

std::vector<std::string_view> columnNames() {
    std::vector<std::string_view> out;
    for (const auto& c : kColumns) out.push_back(c.name);
    return out;
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

std::string csvHeader() {
    std::string out;
    for (const auto& c : kColumns) out += (out.empty() ? "" : ",") + std::string(c.name);
    return out;
}

std::string csvRow(const ChipRecord& r) {
    std::string out;
    bool first = true;
    for (const auto& c : kColumns) {
        if (!first) out += ',';
        first = false;
        out += csvField(cellText(c.get(r)));
    }
    return out;
}

Json jsonRecord(const ChipRecord& r) {
    Json o = Json::object();
    for (const auto& c : kColumns) {
        if (c.name == "stages") {
            Json stages = Json::array();
            for (const auto& s : r.stages) {
                Json st = Json::object();
                st["code"] = s.code ? Json(*s.code) : Json();
                st["line"] = s.line;
                st["ms"] = s.ms;
                st["failed"] = s.failed;
                st["after_verdict"] = s.afterVerdict;
                stages.push_back(std::move(st));
            }
            o["stages"] = std::move(stages);
        } else if (c.name == "measures") {
            Json m = Json::object();
            for (const auto& v : r.measures) m[v.name] = v.value;
            o["measures"] = std::move(m);
        } else {
            o[std::string(c.name)] = cellJson(c.get(r));
        }
    }
    return o;
}

std::string failureLabel(const ChipRecord& r) {
    if (r.failCode) return strfmt("0x%02x ", *r.failCode) + lineHead(r.failLine);
    return std::string(verdictName(r.verdict));
}

Summary summarize(const std::vector<ChipRecord>& records) {
    Summary s;
    std::map<std::string, Count> models, hours, failures;
    for (const auto& r : records) {
        ++s.total;
        ++s.byVerdict[static_cast<int>(r.verdict)];
        const bool pass = r.verdict == Verdict::Pass;
        for (Count* c : {&slot(models, r.in.model), &slot(hours, hourOf(r))}) {
            ++c->total;
            if (pass) ++c->passed;
        }
        if (!pass) ++slot(failures, failureLabel(r)).total;
    }
    s.perModel = values(models);
    s.perHour = values(hours);
    s.failures = ranked(failures);
    return s;
}

std::string renderSummary(const Summary& s) {
    std::string out = strfmt("chips: %d\n", s.total);
    for (Verdict v : kVerdicts) out += strfmt("  %-13s %d\n", std::string(verdictName(v)).c_str(), s.byVerdict[static_cast<int>(v)]);
    out += "yield per model:\n";
    for (const auto& c : s.perModel)
        out += strfmt("  %-12s %6d chips  %6d pass  %6.2f%%\n", c.key.c_str(), c.total, c.passed, c.yieldPct());
    out += "yield per hour:\n";
    for (const auto& c : s.perHour)
        out += strfmt("  %-13s %6d chips  %6d pass  %6.2f%%\n", c.key.c_str(), c.total, c.passed, c.yieldPct());
    out += "failures ranked:\n";
    for (const auto& c : s.failures) out += strfmt("  %6d  %s\n", c.total, c.key.c_str());
    return out;
}

ChartSeries chartSeries(const std::vector<ChipRecord>& records, std::string_view driftModel) {
    ChartSeries cs;
    std::map<std::string, Count> hours, failures;
    for (const auto& r : records) {
        const bool pass = r.verdict == Verdict::Pass;
        Count& h = slot(hours, hourOf(r));
        ++h.total;
        if (pass) ++h.passed;
        else ++slot(failures, failureLabel(r)).total;
        if (r.oscDeltaPct && r.in.model == driftModel) cs.drift.push_back({r.in.epochMs, *r.oscDeltaPct});
    }
    cs.perHour = values(hours);
    if (cs.perHour.size() > kMaxHourBars) {
        std::map<std::string, Count> days;
        for (const auto& h : cs.perHour) {
            Count& d = slot(days, h.key.substr(0, 10));
            d.total += h.total;
            d.passed += h.passed;
        }
        cs.perHour = values(days);
    }
    cs.failures = ranked(failures);
    if (cs.failures.size() > kMaxFailureBars) cs.failures.resize(kMaxFailureBars);
    std::stable_sort(cs.drift.begin(), cs.drift.end(),
                     [](const DriftPoint& a, const DriftPoint& b) { return a.epochMs < b.epochMs; });
    if (cs.drift.size() > kMaxDriftPoints) {
        const std::size_t run = (cs.drift.size() + kMaxDriftPoints - 1) / kMaxDriftPoints;
        std::vector<DriftPoint> means;
        for (std::size_t at = 0; at < cs.drift.size(); at += run) {
            const std::size_t end = std::min(cs.drift.size(), at + run);
            double t = 0, d = 0;
            for (std::size_t k = at; k < end; ++k) t += static_cast<double>(cs.drift[k].epochMs), d += cs.drift[k].deltaPct;
            const double n = static_cast<double>(end - at);
            means.push_back({static_cast<std::int64_t>(t / n), d / n});
        }
        cs.drift = std::move(means);
    }
    return cs;
}

} // namespace kelvor::records
