#pragma once
// The --image-key option shared by the image commands: 30 hex digits, the station's key otherwise.
#include "image/image_check.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace kelvor::cli {

inline void addImageKeyOption(CLI::App& app, std::optional<std::string>& text) {
    app.add_option("--image-key", text, "key of enciphered images, 30 hex digits (the station's own otherwise)")
        ->type_name("HEX");
}

// The key given, or the station's; nothing when the text given is not a key.
inline std::optional<image::ImageKey> imageKeyFrom(const std::optional<std::string>& text) {
    if (!text) return image::defaultImageKey();
    return image::parseImageKey(*text);
}

inline constexpr const char* kImageKeyMistake = "--image-key needs 30 hex digits (15 bytes)";

} // namespace kelvor::cli
