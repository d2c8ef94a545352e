#pragma once
// Introspection of the configuration decoders beyond what the image check needs: for the CLI and
// the tests. The decoders themselves run through runDecoder (image/image_check.h).
#include "chips/catalog.h"
#include "image/image_check.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace kelvor::image {

inline constexpr std::size_t kDecoderCount = 22;

// The decoder that serves the model's family ("C-2701", "B-2706", "A1-3901", …); empty when none.
std::string_view decoderName(const chips::ModelRow& model);
std::string_view decoderName(chips::Family family);

// The current words of the block template the model's decoder writes (empty when it builds none).
// Templates keep their writes from one check to the next; decoders that share one share them.
std::span<const std::uint16_t> templateWords(const DecoderState& state, chips::Family family);

} // namespace kelvor::image
