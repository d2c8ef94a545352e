// kelvor encipher IN.hex OUT.bin [--image-key HEX]: wraps HEX text into an enciphered image that the
// station reads back to the same text.
#include "base/file_read.h"
#include "cli/cli.h"
#include "cli/image_key_option.h"
#include "image/readers.h"

#include <fstream>
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

KELVOR_CLI_COMMAND("encipher", "encipher IN.hex OUT.bin [--image-key HEX]  make an enciphered image",
                   runEncipher);

} // namespace kelvor::cli
