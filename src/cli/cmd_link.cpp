// kelvor detect | reset | ee-write: connect to the chosen programmer, run one command, print the
// log lines (with --json: one object with the lines and the message boxes).
#include "cli/programmer_args.h"
#include "cli/session.h"

#include <ostream>

namespace kelvor::cli {
namespace {

constexpr int kAnswerTimeoutMs = 3000;

bool usage(Context& ctx, const char* text) {
    ctx.err << "usage: kelvor " << text << " " << kProgrammerUsage << " [--json]\n";
    if (!ctx.args.error().empty()) ctx.err << "kelvor: " << ctx.args.error() << "\n";
    return false;
}

bool lineSeen(Session& s, std::string_view needle, std::size_t from) {
    const auto& lines = s.paneLines();
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(needle) != std::string::npos) return true;
    return false;
}

// Prints the run and returns `code`; `model` is the detected model, printed last.
int finish(Context& ctx, Session& s, bool json, int code, const chips::ModelRow* model = nullptr) {
    s.settle();
    if (json) {
        Json o = s.json();
        if (model) o.set("model", model->model);
        ctx.out << o.dump() << "\n";
    } else {
        s.flush(ctx.out);
        if (model) ctx.out << model->model << "\n";
    }
    return code;
}

int runDetect(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    Session s(ctx.args);
    if (!ctx.args.finish().empty() || !ctx.args.ok()) return usage(ctx, "detect"), kExitUsage;
    s.start();
    // The connect handler asks for auto-detect; wait for its answer.
    const bool answered =
        s.link().linkOpen() && !lineSeen(s, "自动检测失败!", 0) &&
        s.runUntil([&] { return s.link().detectAnswers > 0; }, kAnswerTimeoutMs);
    if (!s.link().linkOpen() || !answered) {
        if (s.link().linkOpen()) ctx.err << "kelvor: the programmer did not answer the auto-detect request\n";
        return finish(ctx, s, json, kExitLink);
    }
    if (!s.link().lastDetectSelected) return finish(ctx, s, json, kExitFail);
    return finish(ctx, s, json, kExitOk, s.station().selectedModel());
}

int runReset(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    Session s(ctx.args);
    if (!ctx.args.finish().empty() || !ctx.args.ok()) return usage(ctx, "reset"), kExitUsage;
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, json, kExitLink);
    const std::size_t from = s.paneLines().size();
    s.station().sendMessage(WM_CHIP_RESET);
    return finish(ctx, s, json, lineSeen(s, "复位芯片成功!", from) ? kExitOk : kExitLink);
}

int runEeWrite(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    Session s(ctx.args);
    const auto rest = ctx.args.finish();
    if (rest.size() != 2 || !ctx.args.ok()) return usage(ctx, "ee-write SEQ MILLIVOLTS"), kExitUsage;
    long values[2];
    for (int i = 0; i < 2; ++i) {
        const std::string& t = rest[static_cast<std::size_t>(i)];
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) {
            ctx.err << "kelvor: " << t << " is not a number of at most 6 digits\n";
            return kExitUsage;
        }
        values[i] = std::stol(t);
    }
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, json, kExitLink);
    const std::size_t from = s.paneLines().size();
    s.station().sendMessage(WM_COUNT_CLEAR, values[0], values[1]);
    const bool failed = lineSeen(s, "清除烧录计数失败!", from);
    const bool done = !failed && s.runUntil([&] { return lineSeen(s, "烧录计数已清零", from); }, kAnswerTimeoutMs);
    return finish(ctx, s, json, done ? kExitOk : kExitLink);
}

} // namespace

KELVOR_CLI_COMMAND("detect", "detect [programmer options] [--json]  auto-detect the chip in the socket", runDetect);
KELVOR_CLI_COMMAND("reset", "reset [programmer options] [--json]   reset the chip", runReset);
KELVOR_CLI_COMMAND("ee-write", "ee-write SEQ MILLIVOLTS [...] [--json]  write the EE voltage and sequence number",
                   runEeWrite);

} // namespace kelvor::cli
