#pragma once
// Shared by the reader fuzzers: one set of buffers for the whole run, options from the first byte,
// and the one overrun AddressSanitizer cannot see (programArea runs straight into configBlock).
#include "base/reporter.h"
#include "image/readers.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace kelvor::fuzz {

class QuietReporter : public Reporter {
public:
    void eventLog(std::string_view) override {}
    void windowLog(std::string_view) override {}
    bool messageBox(std::string_view, std::string_view, BoxButtons, BoxIcon) override { return false; }
};

inline image::ImageBuffers& buffers() {
    static auto* b = new image::ImageBuffers; // large: kept off the stack, alive for the whole run
    return *b;
}

inline image::HexReadOptions optionsFrom(std::uint8_t bits) {
    image::HexReadOptions o;
    o.configAtOffset = bits & 1;
    o.resultRule = static_cast<image::ResultRule>((bits >> 2) % 3);
    return o;
}

// The readers never write configBlock; anything there came from a record that ran past programArea.
inline void checkConfigBlockUntouched(const image::ImageBuffers& b) {
    if (std::any_of(b.configBlock(), b.configBlock() + image::kConfigBlockSize,
                    [](std::uint8_t v) { return v; }))
        std::abort();
}

} // namespace kelvor::fuzz
