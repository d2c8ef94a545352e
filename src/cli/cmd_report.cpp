// kelvor report: the receive thread's handling of status reports, without a programmer. Each REPORT
// is hex; report i arrives at i x interval ms on a virtual clock whose time base starts at 0.
//
// Human output prints each event log message once, as formatted; a message that does not end in a
// line feed (the totals and frequency lines) gets one, so that no two messages share a line.
#include "base/file_read.h"
#include "base/json.h"
#include "chips/catalog.h"
#include "cli/cli.h"
#include "link/report_decoder.h"

#include <charconv>
#include <climits>
#include <algorithm>
#include <ostream>

namespace kelvor::cli {
namespace {

using link::Effect;

constexpr const char* kUsage =
    "usage: kelvor report [--model M] [--freq N] [--presses N] [--pass N] [--fail N] [--hw-version]\n"
    "                     [--progress-by-report 0|1] [--interval MS] [--transfer FILE] [--json] REPORT...\n"
    "  REPORT: up to 128 hex digits (64 bytes), zero-filled on the right\n";
constexpr std::size_t kTransferSize = 65536;

int usage(Context& ctx, const std::string& message) {
    ctx.err << "kelvor report: " << message << "\n" << kUsage;
    return kExitUsage;
}

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
        a.push(static_cast<int>(v));
    return a;
}

int runReport(Context& ctx) {
    if (ctx.args.flag("--help")) {
        ctx.out << kUsage;
        return kExitOk;
    }
    const bool json = ctx.args.flag("--json");
    const bool hwVersion = ctx.args.flag("--hw-version");
    const auto modelName = ctx.args.option("--model");
    const auto freq = ctx.args.option("--freq");
    const auto presses = ctx.args.option("--presses");
    const auto pass = ctx.args.option("--pass");
    const auto fail = ctx.args.option("--fail");
    const auto byReport = ctx.args.option("--progress-by-report");
    const auto interval = ctx.args.option("--interval");
    const auto transfer = ctx.args.option("--transfer");
    const auto hexReports = ctx.args.finish();
    if (!ctx.args.ok()) return usage(ctx, ctx.args.error());
    if (hexReports.empty()) return usage(ctx, "no REPORT given");

    const chips::ModelRow* model = chips::findModel(modelName.value_or("EP2702"));
    if (!model) return usage(ctx, "unknown model '" + *modelName + "'");

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
            return usage(ctx, std::string(o.name) + " wants a whole number from " + std::to_string(o.lo) +
                                  " to " + std::to_string(o.hi) + ", not '" + *o.text + "'");
    }

    std::vector<std::array<std::uint8_t, link::kReportSize>> reports(hexReports.size());
    for (std::size_t i = 0; i < hexReports.size(); ++i) {
        std::string why;
        if (!parseReport(hexReports[i], reports[i], why)) return usage(ctx, why);
    }

    std::vector<std::uint8_t> image(kTransferSize, 0);
    if (transfer) {
        std::vector<std::uint8_t> bytes;
        const FileReadInfo info = readRegularFile(*transfer, kTransferSize, bytes);
        if (info.status == FileReadStatus::TooLarge) {
            ctx.err << "kelvor report: transfer image '" << *transfer << "' is larger than " << kTransferSize
                    << " bytes\n";
            return kExitFail;
        }
        if (info.status != FileReadStatus::Ok) {
            ctx.err << "kelvor report: cannot read transfer image '" << *transfer << "': it "
                    << fileReadProblem(info, kTransferSize) << "\n";
            return kExitFail;
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
                lines.push(e.text);
                break;
            case Effect::Kind::LinkState:
                linkState.push(e.value);
                break;
            case Effect::Kind::Progress:
                progress.push(e.value);
                break;
            case Effect::Kind::Notify:
                notifications.push(link::notificationName(e.notification()));
                break;
            case Effect::Kind::Sound:
                sounds.push(link::soundName(e.sound()));
                break;
            case Effect::Kind::EnableBoth:
                ++enableBoth;
                break;
            }
        }
    }
    if (!json) return kExitOk;

    Json counters = Json::object();
    counters.set("presses", context.programPresses);
    counters.set("pass", state.passCount);
    counters.set("fail", state.failCount);
    Json o = Json::object();
    o.set("model", model->model);
    o.set("lines", std::move(lines));
    o.set("linkState", std::move(linkState));
    o.set("progress", std::move(progress));
    o.set("notifications", std::move(notifications));
    o.set("sounds", std::move(sounds));
    o.set("enableBoth", enableBoth);
    o.set("counters", std::move(counters));
    o.set("hwVersionSeen", state.hwVersionSeen);
    o.set("progressByReport", state.progressByReport);
    o.set("detectReply", numbers(state.detectReply));
    o.set("qcReply", numbers(state.qcReply));
    o.set("qcErrorStats", numbers(state.qcErrorStats));
    ctx.out << o.dump() << "\n";
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("report",
                   "report [options] REPORT...      decode status reports given in hex (report --help)",
                   runReport);

} // namespace kelvor::cli
