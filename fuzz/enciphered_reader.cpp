// The enciphered image reader. First byte: bit 7 set, the rest is an enciphered file as it comes
// (garbage start and length fields); clear, the rest is HEX text that is enciphered first and must
// come back byte for byte. The low bits choose the read options.
#include "fuzz_support.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    if (size < 1) return 0;
    auto& b = fuzz::buffers();
    fuzz::QuietReporter rep;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const auto key = image::defaultImageKey();
    if (data[0] & 0x80) {
        image::readEncipheredHex(rest, fuzz::optionsFrom(data[0]), b, key, rep);
    } else {
        const auto file = image::encipherImage(rest, key);
        if (!file) return 0;
        if (!image::readEncipheredBytes(*file, b, key, rep)) std::abort();
        if (b.payloadLength != static_cast<std::int32_t>(rest.size()) ||
            (!rest.empty() && std::memcmp(b.payload.data(), rest.data(), rest.size()) != 0))
            std::abort();
        image::readEncipheredHex(*file, fuzz::optionsFrom(data[0]), b, key, rep);
    }
    fuzz::checkConfigBlockUntouched(b);
    return 0;
}
