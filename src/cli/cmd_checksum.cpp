// kelvor checksum --model M IMAGE [job options] [--json] [--out FILE]: prepares exactly the image a
// "烧录" job would send, without a programmer, and prints its "CKSUM: 0x%04x".
#include "base/json_line.h"
#include "base/reporter.h"
#include "base/settings.h"
#include "chips/catalog.h"
#include "cli/cli.h"
#include "cli/job_options.h"
#include "cli/recorded_json.h"
#include "image/image_check.h"
#include "jobs/job.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <memory>
#include <ostream>

namespace kelvor::cli {
namespace {

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

struct ChecksumArgs {
    std::string model;
    std::vector<std::string> images;
    std::optional<std::string> out;
    bool json = false;
    JobArgs job;
};

void addChecksumOptions(CLI::App& app, ChecksumArgs& a) {
    app.add_option("--model", a.model, "chip model (kelvor models)")->type_name("M")->required();
    app.add_option("IMAGE", a.images, "the image a \"烧录\" job would send")->type_name("");
    app.add_flag("--json", a.json, "print one JSON object");
    app.add_option("--out", a.out, "write the prepared chip image to FILE")->type_name("FILE");
    addJobOptions(app, a.job);
}

int runChecksum(Context& ctx, const ChecksumArgs& a) {
    const bool json = a.json;
    const auto& outPath = a.out;
    const chips::ModelRow* model = chips::findModel(a.model);
    if (model == nullptr) return ctx.usage("unknown model '" + a.model + "' (see kelvor models)");
    JobOptions options;
    if (auto error = jobOptionsFrom(a.job, *model, options)) return ctx.usage(*error);
    const auto& rest = a.images;
    if (rest.size() != 1)
        return ctx.usage(rest.empty() ? "an IMAGE is required" : "only one IMAGE is taken");

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
        o["model"] = model->model;
        o["family"] = chips::familyName(r.family);
        o["result"] = r.code;
        o["length"] = r.length;
        o["variant"] = jobs::variantName(r.variant);
        o["block"] = jobs::blockName(r.block);
        o["checkWord"] = optionalWord(r.checkWord);
        o["cksum"] = optionalWord(r.cksum);
        o["cksumText"] = r.cksumText.empty() ? Json() : Json(r.cksumText);
        o["log"] = logLines(reporter);
        o["boxes"] = messageBoxes(reporter);
        ctx.out << jsonLine(o) << "\n";
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

KELVOR_CLI_COMMAND("checksum", "checksum --model M IMAGE [job options] [--json] [--out FILE]",
                   "Prepare a job with the link closed and print its CKSUM",
                   ChecksumArgs, addChecksumOptions, runChecksum);

} // namespace kelvor::cli
