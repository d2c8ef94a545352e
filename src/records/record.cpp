#include "records/record.h"

#include <cstdio>
#include <map>

namespace kelvor::records {
namespace {

// "HEX校验和错误!" and "脱机烧录FLASH校验和错误!": the programmer refused the image, burnt nothing.
bool refusesImage(int code) { return code == 0x48 || code == 0x0E; }

} // namespace

std::string_view verdictName(Verdict v) {
    switch (v) {
    case Verdict::Pass: return "pass";
    case Verdict::Fail: return "fail";
    case Verdict::Refused: return "refused";
    case Verdict::Timeout: return "timeout";
    case Verdict::LinkFailure: return "link-failure";
    }
    return "fail";
}

std::optional<Verdict> parseVerdict(std::string_view name) {
    for (Verdict v : kVerdicts)
        if (verdictName(v) == name) return v;
    return std::nullopt;
}

ChipRecord refusedJob(const RunInputs& in) {
    ChipRecord r;
    r.in = in;
    r.verdict = Verdict::Refused;
    return r;
}

std::vector<Stage> stagesOf(const std::vector<StageEvent>& events, int firstSeq) {
    std::vector<Stage> out;
    out.reserve(events.size());
    int seq = firstSeq;
    for (const auto& e : events) {
        Stage s;
        s.seq = seq++;
        if (e.reading.status) s.code = *e.reading.status;
        s.line = e.reading.line;
        s.ms = e.reading.ms;
        s.failed = e.failed;
        s.afterVerdict = e.afterVerdict;
        out.push_back(std::move(s));
    }
    return out;
}

void takeMeasures(ChipRecord& r, const std::vector<StageEvent>& events) {
    // The last value of each name counts: a row that prints its trim twice means one trim.
    std::map<std::string, double> last;
    std::vector<std::string> order;
    for (const auto& e : events) {
        for (const auto& m : e.reading.measures) {
            const std::string name(m.name);
            if (!last.count(name)) order.push_back(name);
            last[name] = m.value;
        }
        if (e.reading.uid) {
            char text[9];
            std::snprintf(text, sizeof text, "%08x", *e.reading.uid);
            r.uidReported = text;
        }
    }
    r.measures.clear();
    for (const auto& name : order) r.measures.push_back({name, last[name]});
    auto value = [&](const char* name) -> std::optional<double> {
        for (const auto& v : r.measures)
            if (v.name == name) return v.value;
        return std::nullopt;
    };
    r.oscTrim = value("osc.trim");
    r.oscFreqHz = value("osc.freq_hz");
    r.oscDeltaPct = value("osc.delta_pct");
    r.slowTrim = value("slow.trim");
    r.slowFreqHz = value("slow.freq_hz");
    r.slowDeltaPct = value("slow.delta_pct");
}

ChipRecord recordRun(const RunInputs& in, const std::vector<StageEvent>& events, const RunOutcome& outcome) {
    ChipRecord r;
    r.in = in;
    r.stages = stagesOf(events);
    r.durationMs = outcome.durationMs;
    takeMeasures(r, events);

    const Stage* failing = nullptr;
    for (const auto& s : r.stages)
        if (s.failed) {
            failing = &s;
            break;
        }
    if (outcome.pass) {
        r.verdict = Verdict::Pass;
        return r;
    }
    if (failing) {
        r.failCode = failing->code;
        r.failLine = failing->line;
    }
    switch (outcome.end) {
    case link::RunEnd::TimedOut: r.verdict = Verdict::Timeout; break;
    case link::RunEnd::LinkClosed:
    case link::RunEnd::TransferFailed: r.verdict = Verdict::LinkFailure; break;
    case link::RunEnd::TransferRefused: r.verdict = Verdict::Refused; break;
    case link::RunEnd::Judged:
        r.verdict = failing && failing->code && refusesImage(*failing->code) ? Verdict::Refused : Verdict::Fail;
        break;
    }
    return r;
}

} // namespace kelvor::records
