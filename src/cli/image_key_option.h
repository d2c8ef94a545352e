#pragma once
// The --image-key option shared by the image commands: 30 hex digits, the station's key otherwise.
#include "cli/cli.h"
#include "image/image_check.h"

#include <ostream>

namespace kelvor::cli {

// False (after a message on err) when the option is present but malformed.
inline bool imageKeyOption(Context& ctx, const char* command, image::ImageKey& key) {
    key = image::defaultImageKey();
    const auto text = ctx.args.option("--image-key");
    if (!text) return true;
    const auto parsed = image::parseImageKey(*text);
    if (!parsed) {
        ctx.err << "kelvor " << command << ": --image-key needs 30 hex digits (15 bytes)\n";
        return false;
    }
    key = *parsed;
    return true;
}

} // namespace kelvor::cli
