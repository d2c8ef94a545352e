// kelvor detect | reset | ee-write: connect to the chosen programmer, run one command, print the
// log lines (with --json: one object with the lines and the message boxes).
#include "cli/programmer_args.h"
#include "cli/session.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace kelvor::cli {
namespace {

constexpr int kAnswerTimeoutMs = 3000;

struct LinkArgs {
    ProgrammerArgs programmer;
    bool json = false;
};

void addLinkOptions(CLI::App& app, LinkArgs& a) {
    app.add_flag("--json", a.json, "print one JSON object with the log lines and the message boxes");
    addProgrammerOptions(app, a.programmer);
}

struct EeWriteArgs : LinkArgs {
    std::optional<std::string> sequence, millivolts;
};

void addEeWriteOptions(CLI::App& app, EeWriteArgs& a) {
    app.add_option("SEQ", a.sequence, "sequence number, at most 6 digits")->type_name("");
    app.add_option("MILLIVOLTS", a.millivolts, "EE voltage in mV, at most 6 digits")->type_name("");
    addLinkOptions(app, a);
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
        if (model) o["model"] = model->model;
        ctx.out << jsonLine(o) << "\n";
    } else {
        s.flush(ctx.out);
        if (model) ctx.out << model->model << "\n";
    }
    return code;
}

int runDetect(Context& ctx, const LinkArgs& a) {
    const bool json = a.json;
    if (auto problem = programmerArgsProblem(a.programmer)) return ctx.usage(*problem);
    Session s(a.programmer);
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

int runReset(Context& ctx, const LinkArgs& a) {
    const bool json = a.json;
    if (auto problem = programmerArgsProblem(a.programmer)) return ctx.usage(*problem);
    Session s(a.programmer);
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, json, kExitLink);
    const std::size_t from = s.paneLines().size();
    s.station().sendMessage(WM_CHIP_RESET);
    return finish(ctx, s, json, lineSeen(s, "复位芯片成功!", from) ? kExitOk : kExitLink);
}

int runEeWrite(Context& ctx, const EeWriteArgs& a) {
    const bool json = a.json;
    if (auto problem = programmerArgsProblem(a.programmer)) return ctx.usage(*problem);
    if (!a.sequence || !a.millivolts) return ctx.usage("SEQ and MILLIVOLTS are required");
    long values[2];
    const std::string* texts[] = {&*a.sequence, &*a.millivolts};
    for (int i = 0; i < 2; ++i) {
        const std::string& t = *texts[i];
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos)
            return ctx.usage(t + " is not a number of at most 6 digits");
        values[i] = std::stol(t);
    }
    Session s(a.programmer);
    s.start();
    if (!s.link().linkOpen()) return finish(ctx, s, json, kExitLink);
    const std::size_t from = s.paneLines().size();
    s.station().sendMessage(WM_COUNT_CLEAR, values[0], values[1]);
    const bool failed = lineSeen(s, "清除烧录计数失败!", from);
    const bool done = !failed && s.runUntil([&] { return lineSeen(s, "烧录计数已清零", from); }, kAnswerTimeoutMs);
    return finish(ctx, s, json, done ? kExitOk : kExitLink);
}

} // namespace

KELVOR_CLI_COMMAND("detect", "detect [programmer options] [--json]", "Auto-detect the chip in the socket", LinkArgs,
                   addLinkOptions, runDetect);
KELVOR_CLI_COMMAND("reset", "reset [programmer options] [--json]", "Reset the chip", LinkArgs, addLinkOptions,
                   runReset);
KELVOR_CLI_COMMAND("ee-write", "ee-write SEQ MILLIVOLTS [programmer options] [--json]",
                   "Write the EE voltage and the sequence number", EeWriteArgs, addEeWriteOptions,
                   runEeWrite);

} // namespace kelvor::cli
