// The plain HEX reader (stream reading) over arbitrary text. First byte: read options.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    if (size < 1) return 0;
    auto& b = fuzz::buffers();
    fuzz::QuietReporter rep;
    image::readHexText({data + 1, size - 1}, fuzz::optionsFrom(data[0]), b, rep);
    fuzz::checkConfigBlockUntouched(b);
    return 0;
}
