// The custom PDO text parse and the station's text-to-number rules (hexTextValue and its kin). A
// parsed table must hold count + 2 bytes within its 32, and a refused text says why in one box.
#include "fuzz_support.h"
#include "jobs/charger.h"
#include "jobs/params.h"

#include <string_view>

namespace {

struct BoxCounter : kelvor::fuzz::QuietReporter {
    bool messageBox(std::string_view, std::string_view, kelvor::BoxButtons, kelvor::BoxIcon) override {
        ++boxes;
        return false;
    }
    int boxes = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    BoxCounter rep;
    const auto pdo = jobs::parsePdoText(text, rep);
    if (pdo && (pdo->count < 0 || pdo->size() > static_cast<int>(pdo->bytes.size()) || rep.boxes != 0))
        std::abort();
    if (!pdo && rep.boxes != 1) std::abort();

    jobs::hexTextValue(text);
    jobs::decimalTextValue16(text);
    jobs::uidTextValue(text);
    jobs::supplyVoltageInRange(jobs::supplyVoltage(text));
    jobs::imageName(text);
    return 0;
}
