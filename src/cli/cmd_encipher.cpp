// kelvor encipher IN.hex OUT.bin [--image-key HEX]: wraps HEX text into an enciphered image that the
// station reads back to the same text.
#include "cli/cli.h"
#include "cli/image_key_option.h"
#include "image/readers.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iterator>
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
    std::ifstream in(rest[0], std::ios::binary);
    if (!in) {
        ctx.err << "kelvor encipher: cannot open " << rest[0] << "\n";
        return kExitUsage;
    }
    // One byte more than can fit is enough to refuse the text.
    std::vector<std::uint8_t> text;
    for (std::istreambuf_iterator<char> it(in), end; it != end && text.size() <= image::kMaxEncipheredSize;
         ++it)
        text.push_back(static_cast<std::uint8_t>(*it));
    if (in.bad()) {
        ctx.err << "kelvor encipher: cannot read " << rest[0] << "\n";
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
