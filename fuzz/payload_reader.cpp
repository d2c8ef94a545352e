// The in-memory reader of an enciphered image's HEX text. First byte: read options.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    if (size < 1) return 0;
    auto& b = fuzz::buffers();
    fuzz::QuietReporter rep;
    image::readPayload({data + 1, size - 1}, fuzz::optionsFrom(data[0]), b, rep);
    fuzz::checkConfigBlockUntouched(b);
    return 0;
}
