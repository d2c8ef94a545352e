// kelvor qc | qc-stats: the QC station headless. `qc` fills the QC configuration page as a tester
// would, presses "检测" and prints the judgement; `qc-stats` reads the programmer's error counters.
#include "cli/programmer_args.h"
#include "cli/session.h"
#include "qc/page_controls.h"
#include "qc/station/qc_station.h"

#include <ostream>

namespace kelvor::cli {
namespace {

constexpr int kAnswerTimeoutMs = 3000;
constexpr const char* kQcUsage = "qc --checksum HEX [--version N] [--date YYYY-MM-DD] [--voltage]";

struct QcOptions {
    std::string checksum;
    std::optional<std::string> version;
    std::optional<std::string> date;
    bool voltage = false;
    bool json = false;
};

// The QC options, apart from the programmer's; a bad value is recorded in `args`.
QcOptions parseQcOptions(ArgParser& args) {
    QcOptions o;
    o.json = args.flag("--json");
    o.voltage = args.flag("--voltage");
    o.version = args.option("--version");
    o.date = args.option("--date");
    const auto checksum = args.option("--checksum");
    if (!checksum) {
        args.fail("--checksum is required");
    } else if (checksum->empty() || checksum->size() > 4 ||
               checksum->find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        args.fail("--checksum " + *checksum + ": 1 to 4 hex digits");
    } else {
        o.checksum = *checksum;
    }
    if (o.version && (o.version->empty() || o.version->size() > 5 ||
                      o.version->find_first_not_of("0123456789") != std::string::npos || std::stol(*o.version) > 65535))
        args.fail("--version " + *o.version + ": a number 0-65535");
    int y = 0, md = 0;
    if (o.date && !qc::parseDate(*o.date, y, md)) args.fail("--date " + *o.date + ": a date YYYY-MM-DD");
    return o;
}

int usage(Context& ctx, const std::string& text) {
    ctx.err << "usage: kelvor " << text << " " << kProgrammerUsage << " [--json]\n";
    if (!ctx.args.error().empty()) ctx.err << "kelvor: " << ctx.args.error() << "\n";
    return kExitUsage;
}

bool boxShown(Session& s, std::string_view text) {
    for (const auto& b : s.prompter().boxes)
        if (b.text.toStdString() == text) return true;
    return false;
}

Json evaluationJson(const qc::Evaluation& ev) {
    Json reply = Json::object();
    reply.set("identifier", static_cast<unsigned>(ev.identifier));
    reply.set("chip", ev.chipPresent);
    using qc::Field;
    const std::pair<const char*, Field> fields[] = {{"model", Field::Model},     {"checksum", Field::Checksum},
                                                    {"version", Field::Version}, {"date", Field::Date},
                                                    {"voltage", Field::Voltage}};
    for (const auto& [name, f] : fields) reply.set(name, ev.field(f));
    Json checks = Json::array();
    for (const auto& c : ev.checks) {
        Json o = Json::object();
        o.set("check", c.name);
        o.set("expected", c.expected);
        o.set("actual", c.actual);
        o.set("verdict", c.pass ? "PASS" : "FAIL");
        checks.push(std::move(o));
    }
    Json o = Json::object();
    o.set("reply", std::move(reply));
    o.set("checks", std::move(checks));
    o.set("verdict", ev.pass ? "PASS" : "FAIL");
    return o;
}

int finish(Context& ctx, Session& s, bool json, int code, const qc::Evaluation* ev) {
    s.settle();
    if (json) {
        Json o = s.json();
        if (ev) {
            // The judgement's keys after the session's lines and boxes.
            Json e = evaluationJson(*ev);
            o.set("evaluation", std::move(e));
        }
        ctx.out << o.dump() << "\n";
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

void fillConfigPage(CQORVENDlg& st, const QcOptions& o) {
    PageModel& cfg = st.page(page::kQcConfig);
    auto key = [](int id) { return controlKey(id); };
    cfg.edit(key(qcconfig::kChecksum), QString::fromStdString(o.checksum));
    cfg.check(key(qcconfig::kCheckVersion), o.version.has_value());
    cfg.edit(key(qcconfig::kVersion), QString::fromStdString(o.version.value_or("")));
    cfg.check(key(qcconfig::kCheckDate), o.date.has_value());
    if (o.date) cfg.edit(key(qcconfig::kDate), QString::fromStdString(*o.date));
    cfg.check(key(qcconfig::kCheckVoltage), o.voltage);
}

int runQc(Context& ctx) {
    const QcOptions o = parseQcOptions(ctx.args);
    Session s(ctx.args);
    if (!ctx.args.finish().empty() || !ctx.args.ok()) return usage(ctx, kQcUsage);
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

int runQcStats(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    Session s(ctx.args);
    if (!ctx.args.finish().empty() || !ctx.args.ok()) return usage(ctx, "qc-stats");
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
            values.push(static_cast<unsigned>(counters[k]));
            shown.push(texts[k]);
        }
        o.set("counters", std::move(values));
        o.set("texts", std::move(shown));
        ctx.out << o.dump() << "\n";
    } else {
        s.flush(ctx.out);
        for (const auto& t : texts) ctx.out << t << "\n";
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("qc",
                   "qc --checksum HEX [--version N] [--date YYYY-MM-DD] [--voltage] [programmer options] [--json]"
                   "  test the chip in the socket against the expectations",
                   runQc);
KELVOR_CLI_COMMAND("qc-stats", "qc-stats [programmer options] [--json]  print the programmer's error counters",
                   runQcStats);

} // namespace kelvor::cli
