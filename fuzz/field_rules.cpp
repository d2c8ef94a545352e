// The typing rules of the validating fields over any text, selection and typed character (UTF-16
// units from the input, lone surrogates included). Cuts keep their length limits, whole surrogate
// pairs and a caret inside the text; verdicts name a character only when they insert one.
#include "jobs/field_rules.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkCut(const std::optional<kelvor::jobs::CutText>& cut, std::size_t limit) {
    if (!cut) return;
    check(cut->text.size() <= limit);
    check(cut->caret >= 0 && static_cast<std::size_t>(cut->caret) <= cut->text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor::jobs;
    if (size < 6) return 0;
    const int selStart = static_cast<std::int8_t>(data[0]);
    const int selEnd = static_cast<std::int8_t>(data[1]);
    const auto ch = static_cast<char16_t>(data[2] | data[3] << 8);
    const int ids[] = {kFieldCheckCode, kFieldFirmwareVersion, kFieldCustomPdo, 0};
    const int id = ids[data[4] % 4];
    std::u16string text;
    for (std::size_t i = 6; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | data[i + 1] << 8);

    const auto volt = voltageLengthRule(text);
    checkCut(volt, 5);
    // A cut never splits a pair; a surrogate that was alone in the text may stay alone.
    if (volt && !volt->text.empty()) {
        const char16_t last = volt->text.back(), next = text[volt->text.size()];
        check(!(last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF));
    }
    checkCut(digitRule(text, selStart), kDigitFieldLength);

    for (const CharVerdict v : {uidCharRule(text, selStart, selEnd, ch), myEditCharRule(id, text, selStart, selEnd, ch)}) {
        if (v.action == CharVerdict::Action::Refuse) check(!v.balloon.empty());
    }
    if (const auto refusal = firstRefusalWhenTyped(id, text)) check(refusal->index < text.size());
    return 0;
}
