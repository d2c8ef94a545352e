// kelvor encipher IN.hex OUT.bin [--image-key HEX]: wraps HEX text into an enciphered image that the
// station reads back to the same text.
#include "cli/cli.h"
#include "cli/image_key_option.h"
#include "image/readers.h"

#include <fstream>
#include <iterator>
#include <ostream>

namespace kelvor::cli {
namespace {

constexpr const char* kUsage = "usage: kelvor encipher IN.hex OUT.bin [--image-key HEX]\n";

int runEncipher(Context& ctx) {
    image::ImageKey key{};
    const bool keyOk = imageKeyOption(ctx, "encipher", key);
    const auto rest = ctx.args.finish();
    if (!keyOk) return kExitUsage;
    if (!ctx.args.ok() || rest.size() != 2) {
        if (!ctx.args.ok()) ctx.err << "kelvor encipher: " << ctx.args.error() << "\n";
        ctx.err << kUsage;
        return kExitUsage;
    }
    std::ifstream in(rest[0], std::ios::binary);
    if (!in) {
        ctx.err << "kelvor encipher: cannot open " << rest[0] << "\n";
        return kExitUsage;
    }
    // One byte more than can fit is enough to refuse the text.
    std::vector<std::uint8_t> text;
    for (std::istreambuf_iterator<char> it(in), end; it != end && text.size() <= image::kMaxEncipheredSize; ++it)
        text.push_back(static_cast<std::uint8_t>(*it));
    if (in.bad()) {
        ctx.err << "kelvor encipher: cannot read " << rest[0] << "\n";
        return kExitUsage;
    }
    const auto image = image::encipherImage(text, key);
    if (!image) {
        ctx.err << "kelvor encipher: " << rest[0] << " does not fit an enciphered image (at most "
                << image::kMaxEncipheredText << " bytes of text)\n";
        return kExitFail;
    }
    std::ofstream out(rest[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image->data()), static_cast<std::streamsize>(image->size()));
    if (!out.flush()) {
        ctx.err << "kelvor encipher: cannot write " << rest[1] << "\n";
        return kExitFail;
    }
    ctx.out << "enciphered " << text.size() << " bytes of text into " << rest[1] << " (" << image->size()
            << " bytes)\n";
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("encipher", "encipher IN.hex OUT.bin [--image-key HEX]  make an enciphered image", runEncipher);

} // namespace kelvor::cli
