// kelvor encipher IN.hex OUT.bin [--image-key HEX]: wraps HEX text into an enciphered image that the
// station reads back to the same text.
#include "base/file_read.h"
#include "cli/cli.h"
#include "cli/image_key_option.h"
#include "image/readers.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <ostream>

namespace kelvor::cli {
namespace {

struct EncipherArgs {
    std::optional<std::string> in, out;
    std::optional<std::string> imageKey;
};

void addEncipherOptions(CLI::App& app, EncipherArgs& a) {
    app.add_option("IN.hex", a.in, "the HEX text")->type_name("");
    app.add_option("OUT.bin", a.out, "the enciphered image to write")->type_name("");
    addImageKeyOption(app, a.imageKey);
}

int runEncipher(Context& ctx, const EncipherArgs& a) {
    const auto key = imageKeyFrom(a.imageKey);
    if (!key) return ctx.usage(kImageKeyMistake);
    if (!a.in || !a.out) return ctx.usage("IN.hex and OUT.bin are required");
    const std::string rest[] = {*a.in, *a.out};
    // One byte more than can fit is enough to refuse the text.
    std::vector<std::uint8_t> text;
    const FileReadInfo info = readRegularFile(rest[0], image::kMaxEncipheredSize + 1, text);
    if (info.status == FileReadStatus::TooLarge) {
        text.assign(image::kMaxEncipheredSize + 1, 0); // refused below with the size message
    } else if (info.status != FileReadStatus::Ok) {
        ctx.err << "kelvor encipher: " << rest[0] << " " << fileReadProblem(info, image::kMaxEncipheredSize + 1)
                << "\n";
        return kExitUsage;
    }
    const auto image = image::encipherImage(text, *key);
    if (!image) {
        ctx.err << "kelvor encipher: " << rest[0] << " does not fit an enciphered image (at most "
                << image::kMaxEncipheredText << " bytes of text)\n";
        return kExitUsage;
    }
    std::ofstream out(rest[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image->data()), static_cast<std::streamsize>(image->size()));
    if (!out.flush()) {
        ctx.err << "kelvor encipher: cannot write " << rest[1] << "\n";
        return kExitUsage;
    }
    ctx.out << "enciphered " << text.size() << " bytes of text into " << rest[1] << " (" << image->size()
            << " bytes)\n";
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("encipher", "encipher IN.hex OUT.bin [--image-key HEX]",
                   "Wrap HEX text into an enciphered image",
                   EncipherArgs, addEncipherOptions, runEncipher);

} // namespace kelvor::cli
