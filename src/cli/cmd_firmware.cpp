// kelvor firmware FILE: update the programmer's own firmware as the firmware page does. The
// station's handlers run headless: enter the boot loader, wait for the programmer to come back,
// download, and see the new firmware start and come back on the bus.
#include "base/json_line.h"
#include "cli/programmer_args.h"
#include "cli/session.h"
#include "link/station/firmware_update.h"
#include "link/station/transfer.h"

#include <CLI/CLI.hpp>

#include <QElapsedTimer>
#include <QFileInfo>

#include <optional>
#include <ostream>
#include <vector>

namespace kelvor::cli {
namespace {

constexpr int kDetectWaitMs = 3000;
// A programmer off the bus longer than this after a restart or a power loss is not coming back.
constexpr int kReturnWaitMs = 15000;
// Nothing running, nothing awaited, the programmer on the bus: the update has stopped for good
// once this has passed (a programmer that is about to leave the bus has done so by then).
constexpr int kIdleMs = 500;
// Bounds the whole download (64 KB take well under a minute).
constexpr int kUpdateWaitMs = 300000;

enum class Step { Connect, File, EnterBootLoader, Return, Download, Jump, Restart };

const char* stepName(Step s) {
    switch (s) {
    case Step::Connect: return "connect";
    case Step::File: return "file";
    case Step::EnterBootLoader: return "enter-boot-loader";
    case Step::Return: return "return";
    case Step::Download: return "download";
    case Step::Jump: return "jump";
    case Step::Restart: return "restart";
    }
    return "?";
}

struct FirmwareArgs {
    std::vector<std::string> files;
    ProgrammerArgs programmer;
    bool json = false;
};

void addFirmwareOptions(CLI::App& app, FirmwareArgs& a) {
    app.add_option("FILE", a.files, "the programmer's firmware, at most 64 KB")->type_name("");
    app.add_flag("--json", a.json, "print each log line and then a summary as JSON lines");
    addProgrammerOptions(app, a.programmer);
}

// The last pane line at or after `from` that contains `needle`; npos when none.
std::size_t lastLine(Session& s, std::string_view needle, std::size_t from = 0) {
    const auto& lines = s.paneLines();
    for (std::size_t i = lines.size(); i > from; --i)
        if (lines[i - 1].find(needle) != std::string::npos) return i - 1;
    return std::string::npos;
}

int runFirmware(Context& ctx, const FirmwareArgs& a) {
    const bool json = a.json;
    if (auto problem = programmerArgsProblem(a.programmer)) return ctx.usage(*problem);
    const auto& rest = a.files;
    if (rest.size() != 1) return ctx.usage("one firmware FILE is required");
    Session s(a.programmer);
    const QString file = QFileInfo(QString::fromStdString(rest[0])).absoluteFilePath();

    std::optional<bool> versionOk;
    std::string error;
    auto finish = [&](int code, std::optional<Step> failed) {
        s.settle();
        if (json) {
            for (const auto& line : s.paneLines()) ctx.out << jsonLine(Json::object({{"line", line}})) << "\n";
            Json summary = Json::object();
            summary["updated"] = code == kExitOk;
            summary["failed_step"] = failed ? Json(stepName(*failed)) : Json();
            summary["version_ok"] = versionOk ? Json(*versionOk) : Json();
            if (!error.empty()) summary["error"] = error;
            ctx.out << jsonLine(summary) << "\n";
        } else {
            s.flush(ctx.out);
        }
        if (!error.empty()) ctx.err << "kelvor: " << error << "\n";
        if (failed) ctx.err << "kelvor: firmware update failed at step " << stepName(*failed) << "\n";
        return code;
    };

    // A file the programmer cannot take never sends it to its boot loader.
    if (auto problem = link::FirmwareUpdate::fileProblem(file)) {
        error = *problem;
        return finish(kExitUsage, Step::File);
    }
    s.start();
    link::Link& link = s.link();
    if (!link.linkOpen()) return finish(kExitLink, Step::Connect);
    // The connect's auto-detect answer first, so that its lines do not run through the update's.
    s.runUntil([&] { return link.detectAnswers > 0; }, kDetectWaitMs);

    CQORVENDlg& st = s.station();
    st.imagePath = file;
    link::FirmwareUpdate& fw = link.firmware();
    std::vector<link::TransferOutcome> runs;
    link.transfers().onRunFinished = [&runs, linkHandler = link.transfers().onRunFinished](link::TransferOutcome o) {
        runs.push_back(o);
        if (linkHandler) linkHandler(o); // the link keeps its own account
    };

    st.sendMessage(WM_FW_ENTER_IAP);
    switch (fw.lastEntered()) {
    case link::FirmwareUpdate::Entered::LinkClosed: return finish(kExitLink, Step::Connect);
    case link::FirmwareUpdate::Entered::BadFile: return finish(kExitUsage, Step::File);
    case link::FirmwareUpdate::Entered::Busy:
    case link::FirmwareUpdate::Entered::CommandFailed: return finish(kExitLink, Step::EnterBootLoader);
    case link::FirmwareUpdate::Entered::AwaitingReturn:
    case link::FirmwareUpdate::Entered::Continued: break;
    }

    // Until the new firmware is started. A download cut short by the programmer leaving the bus
    // starts again when it returns; one that ended with the programmer still there is over.
    auto& g = link.globals();
    std::optional<Step> failed;
    QElapsedTimer offBus, idle;
    bool everStarted = false;
    const bool started = s.runUntil(
        [&] {
            if (g.g_fwUpdatePending == 0) return true;
            if (fw.returnTimedOut()) {
                failed = Step::Return;
                return true;
            }
            if (!link.linkOpen()) {
                idle.invalidate();
                if (!offBus.isValid()) offBus.start();
                if (offBus.elapsed() <= kReturnWaitMs) return false;
                failed = Step::Return;
                return true;
            }
            offBus.invalidate();
            if (link.transfers().busy() || fw.awaitingReturn()) {
                everStarted = everStarted || link.transfers().busy();
                idle.invalidate();
                return false;
            }
            if (!idle.isValid()) idle.start();
            if (idle.elapsed() <= kIdleMs) return false;
            // Everything arrived and the start of the new firmware failed, or the download failed.
            const std::size_t opened = lastLine(s, "Open File:");
            const bool downloaded = everStarted && !runs.empty() && opened != std::string::npos &&
                                    lastLine(s, "下载完毕!", opened) != std::string::npos;
            failed = downloaded ? Step::Jump : Step::Download;
            return true;
        },
        kUpdateWaitMs);
    if (!started && !failed) failed = Step::Download;
    if (failed) return finish(kExitLink, failed);

    // The new firmware restarts the programmer, which comes back and says its version.
    const std::size_t jumped = lastLine(s, "跳转至主程序");
    const std::size_t from = jumped == std::string::npos ? 0 : jumped;
    s.runUntil(
        [&] {
            return link.linkOpen() && (lastLine(s, "固件版本正确!", from) != std::string::npos ||
                                       lastLine(s, "固件版本错误", from) != std::string::npos);
        },
        kReturnWaitMs);
    if (lastLine(s, "固件版本正确!", from) != std::string::npos)
        versionOk = true;
    else if (lastLine(s, "固件版本错误", from) != std::string::npos)
        versionOk = false;
    if (!link.linkOpen()) return finish(kExitLink, Step::Restart);
    if (versionOk == false) error = "the programmer runs the new firmware, but the station expects another version";
    return finish(kExitOk, std::nullopt);
}

} // namespace

KELVOR_CLI_COMMAND("firmware", "firmware FILE [programmer options] [--json]",
                   "Update the programmer's own firmware",
                   FirmwareArgs, addFirmwareOptions, runFirmware);

} // namespace kelvor::cli
