// kelvor qc | qc-stats: the QC station headless. `qc` fills the QC configuration page as a tester
// would, presses "检测" and prints the judgement; `qc-stats` reads the programmer's error counters.
#include "base/json_line.h"
#include "cli/programmer_args.h"
#include "cli/session.h"
#include "qc/page_controls.h"
#include "qc/station/qc_station.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace kelvor::cli {
namespace {

constexpr int kAnswerTimeoutMs = 3000;

struct QcArgs {
    std::optional<std::string> checksum;
    std::optional<std::string> version;
    std::optional<std::string> date;
    bool voltage = false;
    bool json = false;
    ProgrammerArgs programmer;
};

void addQcOptions(CLI::App& app, QcArgs& a) {
    app.add_option("--checksum", a.checksum, "expected checksum, 1 to 4 hex digits")->type_name("HEX");
    app.add_option("--version", a.version, "expected firmware version, 0-65535 (not checked when absent)")
        ->type_name("N");
    app.add_option("--date", a.date, "expected date (not checked when absent)")->type_name("YYYY-MM-DD");
    app.add_flag("--voltage", a.voltage, "check the voltage (3000-5500 mV)");
    app.add_flag("--json", a.json, "print one JSON object with the lines, the boxes and the evaluation");
    addProgrammerOptions(app, a.programmer);
}

struct QcStatsArgs {
    bool json = false;
    ProgrammerArgs programmer;
};

void addQcStatsOptions(CLI::App& app, QcStatsArgs& a) {
    app.add_flag("--json", a.json, "print one JSON object with the lines, the counters and their texts");
    addProgrammerOptions(app, a.programmer);
}

// The values of `qc`, checked with the field rules of the configuration page.
std::optional<std::string> qcArgsProblem(const QcArgs& a) {
    if (!a.checksum) return "--checksum is required";
    const std::string& c = *a.checksum;
    if (c.empty() || c.size() > 4 || c.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return "--checksum " + c + ": 1 to 4 hex digits";
    const auto& v = a.version;
    if (v && (v->empty() || v->size() > 5 || v->find_first_not_of("0123456789") != std::string::npos ||
              std::stol(*v) > 65535))
        return "--version " + *v + ": a number 0-65535";
    int y = 0, md = 0;
    if (a.date && !qc::parseDate(*a.date, y, md)) return "--date " + *a.date + ": a date YYYY-MM-DD";
    return programmerArgsProblem(a.programmer);
}

bool boxShown(Session& s, std::string_view text) {
    for (const auto& b : s.prompter().boxes)
        if (b.text.toStdString() == text) return true;
    return false;
}

Json evaluationJson(const qc::Evaluation& ev) {
    Json reply = Json::object();
    reply["identifier"] = static_cast<unsigned>(ev.identifier);
    reply["chip"] = ev.chipPresent;
    using qc::Field;
    const std::pair<const char*, Field> fields[] = {{"model", Field::Model},     {"checksum", Field::Checksum},
                                                    {"version", Field::Version}, {"date", Field::Date},
                                                    {"voltage", Field::Voltage}};
    for (const auto& [name, f] : fields) reply[name] = ev.field(f);
    Json checks = Json::array();
    for (const auto& c : ev.checks) {
        Json o = Json::object();
        o["check"] = c.name;
        o["expected"] = c.expected;
        o["actual"] = c.actual;
        o["verdict"] = c.pass ? "PASS" : "FAIL";
        checks.push_back(std::move(o));
    }
    Json o = Json::object();
    o["reply"] = std::move(reply);
    o["checks"] = std::move(checks);
    o["verdict"] = ev.pass ? "PASS" : "FAIL";
    return o;
}

int finish(Context& ctx, Session& s, bool json, int code, const qc::Evaluation* ev) {
    s.settle();
    if (json) {
        Json o = s.json();
        if (ev) {
            // The judgement's keys after the session's lines and boxes.
            Json e = evaluationJson(*ev);
            o["evaluation"] = std::move(e);
        }
        ctx.out << jsonLine(o) << "\n";
        return code;
    }
    s.flush(ctx.out);
    if (ev) {
        for (const auto& c : ev->checks)
            ctx.out << c.name << ": expected " << c.expected << ", read " << c.actual << " " << (c.pass ? "PASS" : "FAIL")
                    << "\n";
        ctx.out << (ev->pass ? "PASS" : "FAIL") << "\n";
    }
    return code;
}

void fillConfigPage(CQORVENDlg& st, const QcArgs& o) {
    PageModel& cfg = st.page(page::kQcConfig);
    auto key = [](int id) { return controlKey(id); };
    cfg.edit(key(qcconfig::kChecksum), QString::fromStdString(o.checksum.value_or("")));
    cfg.check(key(qcconfig::kCheckVersion), o.version.has_value());
    cfg.edit(key(qcconfig::kVersion), QString::fromStdString(o.version.value_or("")));
    cfg.check(key(qcconfig::kCheckDate), o.date.has_value());
    if (o.date) cfg.edit(key(qcconfig::kDate), QString::fromStdString(*o.date));
    cfg.check(key(qcconfig::kCheckVoltage), o.voltage);
}

int runQc(Context& ctx, const QcArgs& o) {
    if (auto problem = qcArgsProblem(o)) return ctx.usage(*problem);
    Session s(o.programmer);
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, o.json, kExitLink, nullptr);
    fillConfigPage(s.station(), o);
    qc::QcStation& qc = s.station().qc();
    const int before = qc.results();
    s.station().page(page::kQcTest).click(controlKey(qctest::kTest));
    if (boxShown(s, qc::testerAbsent().box)) return finish(ctx, s, o.json, kExitLink, nullptr);
    if (!s.runUntil([&] { return qc.results() > before; }, kAnswerTimeoutMs)) {
        ctx.err << "kelvor: the programmer did not answer the QC test\n";
        return finish(ctx, s, o.json, kExitLink, nullptr);
    }
    const qc::Evaluation& ev = *qc.lastEvaluation();
    return finish(ctx, s, o.json, ev.pass ? kExitOk : kExitFail, &ev);
}

int runQcStats(Context& ctx, const QcStatsArgs& a) {
    const bool json = a.json;
    if (auto problem = programmerArgsProblem(a.programmer)) return ctx.usage(*problem);
    Session s(a.programmer);
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, json, kExitLink, nullptr);
    qc::QcStation& qc = s.station().qc();
    const int before = qc.statsAnswers();
    s.station().page(page::kQcComm).click(controlKey(qccomm::kReadStats));
    if (boxShown(s, qc::testerAbsent().box)) return finish(ctx, s, json, kExitLink, nullptr);
    if (!s.runUntil([&] { return qc.statsAnswers() > before; }, kAnswerTimeoutMs)) {
        ctx.err << "kelvor: the programmer did not answer the statistics request\n";
        return finish(ctx, s, json, kExitLink, nullptr);
    }
    const auto counters = s.link().qcErrorStats();
    const auto texts = qc::statsTexts(counters);
    s.settle();
    if (json) {
        Json o = s.json();
        Json values = Json::array();
        Json shown = Json::array();
        for (std::size_t k = 0; k < texts.size(); ++k) {
            values.push_back(static_cast<unsigned>(counters[k]));
            shown.push_back(texts[k]);
        }
        o["counters"] = std::move(values);
        o["texts"] = std::move(shown);
        ctx.out << jsonLine(o) << "\n";
    } else {
        s.flush(ctx.out);
        for (const auto& t : texts) ctx.out << t << "\n";
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("qc", "qc --checksum HEX [--version N] [--date YYYY-MM-DD] [--voltage] [programmer options] [--json]",
                   "Test the chip in the socket against the expectations, as \"检测\" does", QcArgs, addQcOptions,
                   runQc);
KELVOR_CLI_COMMAND("qc-stats", "qc-stats [programmer options] [--json]", "Print the programmer's error counters", QcStatsArgs,
                   addQcStatsOptions, runQcStats);

} // namespace kelvor::cli
