// kelvor report: the receive thread's handling of status reports, without a programmer. Each REPORT
// is hex; report i arrives at i x interval ms on a virtual clock whose time base starts at 0.
//
// Human output prints each event log message once, as formatted; a message that does not end in a
// line feed (the totals and frequency lines) gets one, so that no two messages share a line.
#include "base/file_read.h"
#include "base/json_line.h"
#include "chips/catalog.h"
#include "cli/cli.h"
#include "link/report_decoder.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <algorithm>
#include <ostream>

namespace kelvor::cli {
namespace {

using link::Effect;

constexpr std::size_t kTransferSize = 65536;

// A whole decimal number within [lo, hi].
bool parseInt(const std::string& text, long long lo, long long hi, long long& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && !text.empty() && value >= lo && value <= hi;
}

bool parseReport(const std::string& hex, std::array<std::uint8_t, link::kReportSize>& report,
                 std::string& why) {
    if (hex.empty()) return why = "empty report", false;
    if (hex.size() > 2 * link::kReportSize)
        return why = "report '" + hex + "' has more than 128 hex digits", false;
    if (hex.size() % 2) return why = "report '" + hex + "' has an odd number of hex digits", false;
    report.fill(0);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned byte = 0;
        auto [p, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (ec != std::errc() || p != hex.data() + i + 2)
            return why = "report '" + hex + "' is not hex (at digit " + std::to_string(i + 1) + ")", false;
        report[i / 2] = static_cast<std::uint8_t>(byte);
    }
    return true;
}

template <std::size_t N, typename T> Json numbers(const std::array<T, N>& values) {
    Json a = Json::array();
    for (T v : values)
        a.push_back(static_cast<int>(v));
    return a;
}

struct ReportArgs {
    std::vector<std::string> reports;
    std::optional<std::string> model, freq, presses, pass, fail, byReport, interval, transfer;
    bool hwVersion = false, json = false;
};

void addReportOptions(CLI::App& app, ReportArgs& a) {
    app.add_option("REPORT", a.reports, "up to 128 hex digits (64 bytes), zero-filled on the right")->type_name("");
    app.add_option("--model", a.model, "the selected model (EP2702)")->type_name("M");
    app.add_option("--freq", a.freq, "calibration frequency entry 0..8 (6)")->type_name("N");
    app.add_option("--presses", a.presses, "\"烧录\" presses so far (0)")->type_name("N");
    app.add_option("--pass", a.pass, "OK count so far (0)")->type_name("N");
    app.add_option("--fail", a.fail, "NG count so far (0)")->type_name("N");
    app.add_flag("--hw-version", a.hwVersion, "as if the programmer had reported its hardware version");
    app.add_option("--progress-by-report", a.byReport, "the reports drive the progress bar (1)")->type_name("0|1");
    app.add_option("--interval", a.interval, "report i arrives at i x MS on a virtual clock (0)")->type_name("MS");
    app.add_option("--transfer", a.transfer, "the transfer image the reports refer to, at most 64 KB")
        ->type_name("FILE");
    app.add_flag("--json", a.json, "print one JSON object with every effect in order");
}

int runReport(Context& ctx, const ReportArgs& a) {
    const bool json = a.json;
    const bool hwVersion = a.hwVersion;
    const auto& modelName = a.model;
    const auto& freq = a.freq;
    const auto& presses = a.presses;
    const auto& pass = a.pass;
    const auto& fail = a.fail;
    const auto& byReport = a.byReport;
    const auto& interval = a.interval;
    const auto& transfer = a.transfer;
    const auto& hexReports = a.reports;
    if (hexReports.empty()) return ctx.usage("no REPORT given");

    const chips::ModelRow* model = chips::findModel(modelName.value_or("EP2702"));
    if (!model) return ctx.usage("unknown model '" + *modelName + "'");

    struct IntOption {
        const char* name;
        const std::optional<std::string>& text;
        long long lo, hi, value;
    };
    IntOption ints[] = {
        {"--freq", freq, 0, 8, 6},
        {"--presses", presses, 0, INT_MAX, 0},
        {"--pass", pass, 0, INT_MAX, 0},
        {"--fail", fail, 0, INT_MAX, 0},
        {"--progress-by-report", byReport, 0, 1, 1},
        {"--interval", interval, 0, INT_MAX, 0},
    };
    for (auto& o : ints) {
        if (o.text && !parseInt(*o.text, o.lo, o.hi, o.value))
            return ctx.usage(std::string(o.name) + " wants a whole number from " + std::to_string(o.lo) +
                                  " to " + std::to_string(o.hi) + ", not '" + *o.text + "'");
    }

    std::vector<std::array<std::uint8_t, link::kReportSize>> reports(hexReports.size());
    for (std::size_t i = 0; i < hexReports.size(); ++i) {
        std::string why;
        if (!parseReport(hexReports[i], reports[i], why)) return ctx.usage(why);
    }

    std::vector<std::uint8_t> image(kTransferSize, 0);
    if (transfer) {
        std::vector<std::uint8_t> bytes;
        const FileReadInfo info = readRegularFile(*transfer, kTransferSize, bytes);
        if (info.status == FileReadStatus::TooLarge) {
            ctx.err << "kelvor report: transfer image '" << *transfer << "' is larger than " << kTransferSize
                    << " bytes\n";
            return kExitUsage;
        }
        if (info.status != FileReadStatus::Ok) {
            ctx.err << "kelvor report: cannot read transfer image '" << *transfer << "': it "
                    << fileReadProblem(info, kTransferSize) << "\n";
            return kExitUsage;
        }
        std::copy(bytes.begin(), bytes.end(), image.begin());
    }

    link::ReceiverState state;
    state.passCount = static_cast<int>(ints[2].value);
    state.failCount = static_cast<int>(ints[3].value);
    state.hwVersionSeen = hwVersion;
    state.progressByReport = ints[4].value != 0;
    const link::ReportContext context{model, static_cast<int>(ints[0].value), static_cast<int>(ints[1].value),
                                      image};
    const auto step = static_cast<std::uint32_t>(ints[5].value);

    Json lines = Json::array(), linkState = Json::array(), progress = Json::array();
    Json notifications = Json::array(), sounds = Json::array();
    int enableBoth = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const std::uint32_t now = static_cast<std::uint32_t>(i) * step; // wraps like a tick counter
        for (const Effect& e : link::decodeReport(reports[i], now, state, context)) {
            switch (e.kind) {
            case Effect::Kind::EventLog:
                if (!json) ctx.out << e.text << (e.text.ends_with('\n') ? "" : "\n");
                lines.push_back(e.text);
                break;
            case Effect::Kind::LinkState:
                linkState.push_back(e.value);
                break;
            case Effect::Kind::Progress:
                progress.push_back(e.value);
                break;
            case Effect::Kind::Notify:
                notifications.push_back(link::notificationName(e.notification()));
                break;
            case Effect::Kind::Sound:
                sounds.push_back(link::soundName(e.sound()));
                break;
            case Effect::Kind::EnableBoth:
                ++enableBoth;
                break;
            }
        }
    }
    if (!json) return kExitOk;

    Json counters = Json::object();
    counters["presses"] = context.programPresses;
    counters["pass"] = state.passCount;
    counters["fail"] = state.failCount;
    Json o = Json::object();
    o["model"] = model->model;
    o["lines"] = std::move(lines);
    o["linkState"] = std::move(linkState);
    o["progress"] = std::move(progress);
    o["notifications"] = std::move(notifications);
    o["sounds"] = std::move(sounds);
    o["enableBoth"] = enableBoth;
    o["counters"] = std::move(counters);
    o["hwVersionSeen"] = state.hwVersionSeen;
    o["progressByReport"] = state.progressByReport;
    o["detectReply"] = numbers(state.detectReply);
    o["qcReply"] = numbers(state.qcReply);
    o["qcErrorStats"] = numbers(state.qcErrorStats);
    ctx.out << jsonLine(o) << "\n";
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("report",
                   "report [--model M] [--freq N] [--presses N] [--pass N] [--fail N] [--hw-version]\n"
                   "                     [--progress-by-report 0|1] [--interval MS] [--transfer FILE] [--json] REPORT...",
                   "Decode status reports given in hex, without a programmer",
                   ReportArgs, addReportOptions, runReport);

} // namespace kelvor::cli
