// kelvor program: connect, run the job as "烧录" (or an offline-page button) does, and wait for each
// chip's run to end with its verdict.
#include "base/json.h"
#include "chips/catalog.h"
#include "cli/job_options.h"
#include "cli/programmer_args.h"
#include "cli/session.h"
#include "jobs/job.h"
#include "jobs/station/job_station.h"
#include "link/station/transfer.h"

#include <QDir>
#include <QFileInfo>

#include <optional>
#include <ostream>

namespace kelvor::cli {
namespace {

constexpr int kDetectWaitMs = 3000;
// A run ends by itself (its verdict and the burn's last report, or its own bounds); this only
// guards against a station that never ends it.
constexpr int kRunWaitMs = 600000;

int usage(Context& ctx, const std::string& why) {
    if (!why.empty()) ctx.err << "kelvor: " << why << "\n";
    ctx.err << "usage: kelvor program --model MODEL IMAGE [job options] [--offline MODE] [--count N] "
            << kProgrammerUsage << " [--json]\n"
            << kJobOptionsHelp;
    return kExitUsage;
}

int runProgram(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    const auto modelName = ctx.args.option("--model");
    const auto offlineText = ctx.args.option("--offline");
    const auto countText = ctx.args.option("--count");
    if (!modelName) return usage(ctx, "--model is required");
    const chips::ModelRow* row = chips::findModel(*modelName);
    if (!row) return usage(ctx, "unknown model " + *modelName);

    int offline = 0;
    if (offlineText) {
        const bool ok = offlineText->size() == 1 && (*offlineText)[0] >= '1' && (*offlineText)[0] <= '6';
        if (!ok) return usage(ctx, "--offline takes a mode 1-6");
        offline = (*offlineText)[0] - '0';
    }
    int count = 1;
    if (countText) {
        if (countText->empty() || countText->size() > 6 || countText->find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(*countText) < 1)
            return usage(ctx, "--count takes a number of chips from 1");
        count = std::stoi(*countText);
    }
    JobOptions job;
    if (auto bad = parseJobOptions(ctx.args, *row, job)) return usage(ctx, *bad);
    // The socket holds the model being programmed unless told otherwise.
    Session s(ctx.args, [row](link::ProgrammerOptions& o) {
        if (o.simChip.empty()) o.simChip = std::string(row->model);
    });
    const auto rest = ctx.args.finish();
    if (!ctx.args.ok()) return usage(ctx, ctx.args.error());
    if (rest.size() != 1) return usage(ctx, "one IMAGE is required");
    if (row->model == "EP39H01" && offline == 0)
        return usage(ctx, "EP39H01 cannot be programmed online (its \"烧录\" is disabled); use --offline 1");

    // A run of many chips keeps none of its lines: each is printed as the pane receives it.
    if (json)
        s.streamLines([&ctx](const std::string& line) { ctx.out << Json(Json::Object{{"line", Json(line)}}).dump() << "\n"; });
    else
        s.streamLines([&ctx](const std::string& line) { ctx.out << line << "\n"; });
    s.start();
    auto finish = [&](int code, int passed, int failed) {
        s.settle();
        if (json) {
            Json summary = Json::object();
            summary.set("passed", passed);
            summary.set("failed", failed);
            summary.set("cksum", s.station().mainModel().text(controlKey(1041)).toStdString());
            summary.set("boxes", s.boxesJson());
            const auto& boxes = s.prompter();
            if (boxes.boxesShown > boxes.boxes.size()) summary.set("boxesNotKept", boxes.boxesShown - boxes.boxes.size());
            ctx.out << summary.dump() << "\n";
        }
        return code;
    };
    // Open without its receive thread (the first command failed): no result could ever arrive.
    if (!s.link().linkOpen() || s.link().globals().g_receiverRunning == 0) return finish(kExitLink, 0, 0);
    // Let the connect's auto-detect answer arrive before the model is chosen, so it cannot
    // change the selection afterwards.
    s.runUntil([&] { return s.link().detectAnswers > 0; }, kDetectWaitMs);

    CQORVENDlg& st = s.station();
    st.selectModel(*row);
    st.imagePath = QFileInfo(QString::fromStdString(rest[0])).absoluteFilePath();
    if (job.imageKey) st.imageKeyOverride = *job.imageKey;
    jobs::showJobInputs(st, job.inputs);

    // One result per chip: the run's, taken as the window takes it.
    std::optional<link::RunResult> ended;
    QObject::connect(&s.link(), &link::Link::runFinished, [&ended](const link::RunResult& r) { ended = r; });

    int passed = 0, failed = 0;
    for (int n = 0; n < count; ++n) {
        ended.reset();
        const std::int64_t recordBefore = s.recorder().lastRecordId();
        if (offline)
            st.sendMessage(WM_PROGRAM_MODE, offline, 0);
        else
            st.page(page::kIsp).click(controlKey(1042)); // the job runs, then the press is counted
        if (st.lastJobCode != jobs::kJobPrepared) return finish(kExitUsage, passed, failed);
        if (!s.link().runInProgress() && !ended) return finish(kExitLink, passed, failed);
        if (!s.runUntil([&] { return ended.has_value(); }, kRunWaitMs)) {
            ctx.err << "kelvor: chip " << (n + 1) << ": the run did not end\n";
            return finish(kExitLink, passed, failed + 1);
        }
        if (ended->end == link::RunEnd::TimedOut)
            ctx.err << "kelvor: chip " << (n + 1) << ": no result from the programmer\n";
        if (ended->end == link::RunEnd::LinkClosed) return finish(kExitLink, passed, failed + 1);
        ended->pass ? ++passed : ++failed;
        if (!json) {
            // The chip's verdict, and the record that holds it (committed before it was shown).
            const std::int64_t record = s.recorder().lastRecordId();
            s.flush(ctx.out);
            ctx.out << "chip " << (n + 1) << ": " << (ended->pass ? "OK" : "NG");
            if (record > recordBefore) ctx.out << ", record " << record;
            ctx.out << std::endl;
        }
        if (!s.link().linkOpen()) return finish(kExitLink, passed, failed);
    }
    return finish(failed ? kExitFail : kExitOk, passed, failed);
}

} // namespace

KELVOR_CLI_COMMAND("program", "program --model M IMAGE [...]    program chips through the programmer", runProgram);

} // namespace kelvor::cli
