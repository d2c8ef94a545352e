// kelvor checksum --model M IMAGE [job options] [--json] [--out FILE]: prepares exactly the image a
// "烧录" job would send, without a programmer, and prints its "CKSUM: 0x%04x".
#include "base/json.h"
#include "base/reporter.h"
#include "base/settings.h"
#include "chips/catalog.h"
#include "cli/cli.h"
#include "cli/job_options.h"
#include "cli/recorded_json.h"
#include "image/image_check.h"
#include "jobs/job.h"

#include <fstream>
#include <memory>
#include <ostream>

namespace kelvor::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvor checksum --model M IMAGE [job options] [--json] [--out FILE]\n"
    "Prepares what a programming job would send, with the link closed: EEPROM and factory data\n"
    "are loaded and checked but never sent. --out writes the prepared chip image.\n"
    "Exit 0 when the image was prepared, 2 otherwise.\n";

int usage(Context& ctx, const std::string& message) {
    if (!message.empty()) ctx.err << "kelvor checksum: " << message << "\n";
    ctx.err << kUsage << kJobOptionsHelp;
    return kExitUsage;
}

// Log texts as lines: CR LF becomes LF and the message's own final line end is dropped.
void printText(std::ostream& out, const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        line.push_back(text[i]);
    }
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    out << line << "\n";
}

Json optionalWord(const std::optional<std::uint16_t>& v) {
    return v ? Json(static_cast<int>(*v)) : Json();
}

int runChecksum(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    const auto outPath = ctx.args.option("--out");
    const auto modelName = ctx.args.option("--model");
    if (!modelName) {
        ctx.args.finish();
        return usage(ctx, ctx.args.ok() ? "--model is required" : ctx.args.error());
    }
    const chips::ModelRow* model = chips::findModel(*modelName);
    if (model == nullptr) return usage(ctx, "unknown model '" + *modelName + "' (see kelvor models)");
    JobOptions options;
    if (auto error = parseJobOptions(ctx.args, *model, options)) return usage(ctx, *error);
    const auto rest = ctx.args.finish();
    if (!ctx.args.ok()) return usage(ctx, ctx.args.error());
    if (rest.size() != 1)
        return usage(ctx, rest.empty() ? "an IMAGE is required" : "only one IMAGE is taken");

    auto state = std::make_unique<image::ImageState>();
    if (options.imageKey) state->key = *options.imageKey;
    MemorySettings settings; // a dry run leaves the station's settings file alone
    RecordingReporter reporter;
    jobs::JobContext job;
    job.model = model;
    job.imagePath = rest.front();
    job.linkOpen = false;
    job.hwVersionSeen = options.hwVersionSeen;
    const jobs::JobResult r = jobs::startProgrammingJob(options.inputs, job, *state, settings, reporter);

    const jobs::TransferRequest* chip = r.chipTransfer();
    if (outPath && r.code == jobs::kJobPrepared && chip != nullptr) {
        std::ofstream file(*outPath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(chip->bytes.data()),
                   static_cast<std::streamsize>(chip->bytes.size()));
        if (!file) {
            ctx.err << "kelvor checksum: cannot write " << *outPath << "\n";
            return kExitUsage;
        }
    }

    if (json) {
        Json o = Json::object();
        o.set("model", model->model);
        o.set("family", chips::familyName(r.family));
        o.set("result", r.code);
        o.set("length", r.length);
        o.set("variant", jobs::variantName(r.variant));
        o.set("block", jobs::blockName(r.block));
        o.set("checkWord", optionalWord(r.checkWord));
        o.set("cksum", optionalWord(r.cksum));
        o.set("cksumText", r.cksumText.empty() ? Json() : Json(r.cksumText));
        o.set("log", logLines(reporter));
        o.set("boxes", messageBoxes(reporter));
        ctx.out << o.dump() << "\n";
    } else {
        for (const auto& e : reporter.entries)
            printText(ctx.out, e.kind == RecordingReporter::Kind::Box ? "box " + e.caption + " " + e.text : e.text);
        if (options.sideFilesGiven) ctx.out << "(no programmer link: EEPROM and factory data are not sent)\n";
        if (!r.cksumText.empty()) ctx.out << r.cksumText << "\n";
        if (r.code != jobs::kJobPrepared)
            ctx.err << "kelvor checksum: job not prepared (result " << r.code << ")\n";
    }
    return r.code == jobs::kJobPrepared ? kExitOk : kExitUsage;
}

} // namespace

KELVOR_CLI_COMMAND("checksum",
                   "checksum --model M IMAGE [job options] [--json] [--out FILE]  prepare a job, print CKSUM",
                   runChecksum);

} // namespace kelvor::cli
