// kelvor decode --model MODEL IMAGE [--json] [--image-key HEX]: the station's image check for one
// model, in a fresh state, with the words, page slots, block and log it produced.
#include "base/json_line.h"
#include "base/strfmt.h"
#include "chips/catalog.h"
#include "cli/cli.h"
#include "cli/image_key_option.h"
#include "cli/recorded_json.h"
#include "image/decoders.h"
#include "image/image_check.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <ostream>

namespace kelvor::cli {
namespace {

std::vector<image::FuseSlot> slotsById(const image::FuseSlots& slots) {
    std::vector<image::FuseSlot> out(slots.begin(), slots.end());
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
}

std::span<const std::uint8_t> blockBytes(const image::ImageState& s) {
    const auto& b = *s.decoders.lastBlock;
    const std::uint8_t* base = b.destination == image::BlockCopy::Destination::ConfigBlock
                                   ? s.buffers.configBlock()
                                   : s.buffers.programArea();
    return {base + b.offset, b.size};
}

std::string hexOf(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes)
        out += strfmt("%02x", b);
    return out;
}

const char* destinationName(image::BlockCopy::Destination d) {
    return d == image::BlockCopy::Destination::ConfigBlock ? "configBlock" : "programArea";
}

// Log texts keep their own line ends in JSON; the human listing shows one entry per line.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void printJson(std::ostream& out, const chips::ModelRow& model, int result, const image::ImageState& s,
               const RecordingReporter& rep) {
    Json words = Json::array();
    for (auto w : s.decoders.words)
        words.push_back(static_cast<unsigned>(w));
    Json slots = Json::array();
    for (const auto& slot : slotsById(s.decoders.fuseSlots)) {
        Json o = Json::object();
        o["id"] = slot.id;
        o["text"] = slot.text;
        o["visible"] = slot.visible;
        slots.push_back(std::move(o));
    }
    Json block;
    if (s.decoders.lastBlock) {
        block = Json::object();
        block["destination"] = destinationName(s.decoders.lastBlock->destination);
        block["offset"] = s.decoders.lastBlock->offset;
        block["hex"] = hexOf(blockBytes(s));
    }
    Json wrong = Json::array();
    for (const auto& w : s.decoders.wrongChecksums) {
        Json o = Json::object();
        o["record"] = w.record;
        o["type"] = w.type;
        o["offset"] = w.offset;
        o["found"] = static_cast<unsigned>(w.found);
        o["expected"] = static_cast<unsigned>(w.expected);
        wrong.push_back(std::move(o));
    }

    Json o = Json::object();
    o["model"] = model.model;
    o["family"] = chips::familyName(model.family);
    o["result"] = result;
    o["imageLength"] = s.imageLength;
    o["words"] = std::move(words);
    o["slots"] = std::move(slots);
    o["block"] = std::move(block);
    o["wrongChecksums"] = std::move(wrong);
    o["wrongChecksumCount"] = s.decoders.wrongChecksumCount;
    o["log"] = logLines(rep);
    o["boxes"] = messageBoxes(rep);
    out << jsonLine(o) << "\n";
}

void printText(std::ostream& out, const chips::ModelRow& model, int result, const image::ImageState& s,
               const RecordingReporter& rep) {
    const auto decoder = image::decoderName(model);
    out << "model: " << model.model << " (family " << chips::familyName(model.family) << ", decoder "
        << (decoder.empty() ? "none" : decoder) << ")\n";
    out << "result: " << result << (result == 0 ? " (usable)" : " (warned)") << "\n";
    out << strfmt("imageLength: %d (0x%04x)\n", s.imageLength, static_cast<unsigned>(s.imageLength));
    const auto& c = s.decoders.words;
    out << strfmt("words: c0=0x%04x c1=0x%04x c2=0x%04x c3=0x%04x c4=0x%04x\n", c[0], c[1], c[2], c[3], c[4]);
    out << "slots:\n";
    for (const auto& slot : slotsById(s.decoders.fuseSlots))
        out << "  " << slot.id << "  " << slot.text << (slot.visible ? "" : "  (hidden)") << "\n";
    if (s.decoders.lastBlock) {
        const auto bytes = blockBytes(s);
        out << strfmt("block: %s offset 0x%04zx, %zu bytes\n",
                      destinationName(s.decoders.lastBlock->destination), s.decoders.lastBlock->offset,
                      bytes.size());
        for (std::size_t i = 0; i < bytes.size(); i += 32)
            out << "  " << hexOf(bytes.subspan(i, std::min<std::size_t>(32, bytes.size() - i))) << "\n";
    } else {
        out << "block: none\n";
    }
    out << "log:\n";
    for (const auto& e : rep.entries)
        if (e.kind != RecordingReporter::Kind::Box) out << "  " << oneLine(e.text) << "\n";
    for (const auto& e : rep.entries)
        if (e.kind == RecordingReporter::Kind::Box) out << "box " << e.caption << " " << oneLine(e.text) << "\n";
}

struct DecodeArgs {
    std::string model;
    std::vector<std::string> images;
    std::optional<std::string> imageKey;
    bool json = false;
};

void addDecodeOptions(CLI::App& app, DecodeArgs& a) {
    app.add_option("--model", a.model, "chip model (kelvor models)")->type_name("MODEL")->required();
    app.add_option("IMAGE", a.images, "HEX, enciphered or raw image")->type_name("");
    app.add_flag("--json", a.json, "print one JSON object");
    addImageKeyOption(app, a.imageKey);
}

int runDecode(Context& ctx, const DecodeArgs& a) {
    const bool json = a.json;
    const auto key = imageKeyFrom(a.imageKey);
    if (!key) return ctx.usage(kImageKeyMistake);
    if (a.images.size() != 1) return ctx.usage(a.images.empty() ? "an IMAGE is required" : "only one IMAGE is taken");
    const chips::ModelRow* model = chips::findModel(a.model);
    if (!model) return ctx.usage("unknown model '" + a.model + "' (see kelvor models)");
    const auto& rest = a.images;

    auto state = std::make_unique<image::ImageState>();
    state->key = *key;
    RecordingReporter rep;
    rep.boxAnswer = false; // the warning's answer is not used
    const int result = image::checkImage(*model, rest.front(), *state, rep);
    if (json)
        printJson(ctx.out, *model, result, *state, rep);
    else
        printText(ctx.out, *model, result, *state, rep);
    // decode asks the image check a question, and "refused" (-1) is its answer, not a mistake in
    // asking: 1, as a comparison answers "differs", so that 2 keeps meaning the call was wrong.
    return result == 0 ? kExitOk : kExitFail;
}

} // namespace

KELVOR_CLI_COMMAND("decode", "decode --model MODEL IMAGE [--json] [--image-key HEX]",
                   "Run the image check: words, page slots, block and log",
                   DecodeArgs, addDecodeOptions, runDecode);

} // namespace kelvor::cli
