#include "jobs/job_inputs.h"

#include <cctype>

namespace kelvor::jobs {
namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

} // namespace

ClockPinChoice clockPinFor(chips::PinList list, std::string_view pwmOutput) {
    const auto pins = chips::pinNames(list);
    if (pins.empty()) return {};
    if (list != chips::PinList::Pins18) return {std::string(pins.front()), false};
    for (std::size_t i = 1; i <= pins.size(); ++i) {
        const std::string_view pin = pins[i % pins.size()]; // entries 1-17, then entry 0
        if (startsWithIgnoringCase(pin, pwmOutput)) return {std::string(pin), false};
    }
    return {"PC4", true};
}

JobInputs defaultJobInputs(const chips::ModelRow& model, std::string_view pwmOutput) {
    JobInputs in;
    in.frequencyIndex = model.frequencyEntry;
    in.clockPinText = clockPinFor(model.pins, pwmOutput).pin;
    return in;
}

} // namespace kelvor::jobs
