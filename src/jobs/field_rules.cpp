#include "jobs/field_rules.h"

#include <algorithm>
#include <cstdint>

namespace kelvor::jobs {
namespace {

using Action = CharVerdict::Action;

constexpr std::string_view kOnlyFourDigits = "只能输入4位校验码";
constexpr std::string_view kHexOnly = "输入应在0~9或A~F之间";
constexpr std::string_view kDigitsOnly = "输入应在0~9之间";
constexpr std::string_view kVersionRange = "取值范围应在0~65535";
constexpr std::string_view kAsciiComma = "请输入英文输入法下的','";
constexpr std::string_view kTwoDigits = "请输入两位数据!";
constexpr std::string_view kCommaEnd = "请输入','结束符";
constexpr char16_t kFullWidthComma = 0xFF0C;

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool isHex(char16_t c) {
    return isDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}
char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'f' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

CharVerdict accept(char16_t c) {
    return {Action::Accept, c, {}};
}
CharVerdict acceptUpper(char16_t c) {
    return {Action::AcceptUpper, upper(c), {}};
}
CharVerdict drop() {
    return {Action::Drop, 0, {}};
}
CharVerdict refuse(std::string_view text) {
    return {Action::Refuse, 0, text};
}

// Widgets may report a reversed or stale selection; keep positions inside the text.
void normalise(std::u16string_view text, int& s, int& e) {
    const int len = static_cast<int>(text.size());
    s = std::clamp(s, 0, len);
    e = std::clamp(e, 0, len);
    if (s > e) std::swap(s, e);
}

// Decimal value of the leading integer of the text (blanks and a sign allowed), saturated far
// beyond the range any caller compares with.
std::int64_t leadingValue(std::u16string_view t) {
    std::size_t i = 0;
    while (i < t.size() && (t[i] == u' ' || (t[i] >= 9 && t[i] <= 13)))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
    std::int64_t v = 0;
    for (; i < t.size() && isDigit(t[i]); ++i)
        v = std::min<std::int64_t>(v * 10 + (t[i] - u'0'), 1'000'000'000'000);
    return negative ? -v : v;
}

CharVerdict checkCodeRule(std::u16string_view text, int s, int e, char16_t ch) {
    if (ch == kBackspace) return accept(ch);
    if (!isHex(ch)) return refuse(kHexOnly);
    if (s == e && text.size() >= 4) return refuse(kOnlyFourDigits);
    return acceptUpper(ch);
}

CharVerdict firmwareVersionRule(std::u16string_view text, int s, int e, char16_t ch) {
    if (ch == kBackspace) return accept(ch);
    if (!isDigit(ch)) return refuse(kDigitsOnly);
    std::u16string after(text);
    if (s == e) {
        after.insert(after.begin() + s, ch);
        if (leadingValue(after) > 65535) return refuse(kVersionRange);
    } else if (e - s == 1) {
        after[static_cast<std::size_t>(s)] = ch;
        const std::int64_t v = leadingValue(after);
        if (v > 65535 || v < 0) return refuse(kVersionRange);
    }
    return accept(ch);
}

CharVerdict customPdoRule(std::u16string_view text, int s, int e, char16_t ch) {
    if (ch == kBackspace) return accept(ch);
    if (ch == kFullWidthComma) return refuse(kAsciiComma);
    if (!isHex(ch) && ch != u',') return refuse(kHexOnly);
    const int len = static_cast<int>(text.size());
    if (s != e || s < len) return acceptUpper(ch);
    // At the end the text grows by items of two hex digits and a comma.
    const bool commaPlace = (len + 1) % 3 == 0;
    if (!commaPlace && ch == u',') return refuse(kTwoDigits);
    if (commaPlace && ch != u',') return refuse(kCommaEnd);
    return acceptUpper(ch);
}

} // namespace

std::optional<CutText> voltageLengthRule(std::u16string_view text) {
    if (text.size() <= 5) return std::nullopt;
    std::size_t keep = 5;
    if (text[4] >= 0xD800 && text[4] <= 0xDBFF) keep = 4;
    return CutText{std::u16string(text.substr(0, keep)), static_cast<int>(keep)};
}

std::optional<CutText> digitRule(std::u16string_view after, int selStartBefore) {
    CutText out;
    bool changed = false;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (isDigit(after[i])) {
            out.text.push_back(after[i]);
        } else {
            out.caret = static_cast<int>(i);
            changed = true;
        }
    }
    if (out.text.size() > kDigitFieldLength) {
        out.text.resize(kDigitFieldLength);
        out.caret = selStartBefore;
        changed = true;
    }
    if (!changed) return std::nullopt;
    out.caret = std::clamp(out.caret, 0, static_cast<int>(out.text.size()));
    return out;
}

CharVerdict uidCharRule(std::u16string_view text, int selStart, int selEnd, char16_t ch) {
    if (text.size() >= 8 && ch != kBackspace) return drop();
    if (ch == kBackspace || isHex(ch)) return accept(ch);
    return drop();
}

CharVerdict myEditCharRule(int controlId, std::u16string_view text, int selStart, int selEnd, char16_t ch) {
    normalise(text, selStart, selEnd);
    switch (controlId) {
    case kFieldCheckCode:
        return checkCodeRule(text, selStart, selEnd, ch);
    case kFieldFirmwareVersion:
        return firmwareVersionRule(text, selStart, selEnd, ch);
    case kFieldCustomPdo:
        return customPdoRule(text, selStart, selEnd, ch);
    default:
        return drop();
    }
}

std::optional<TypingRefusal> firstRefusalWhenTyped(int controlId, std::u16string_view text) {
    std::u16string typed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int caret = static_cast<int>(typed.size());
        const CharVerdict v = myEditCharRule(controlId, typed, caret, caret, text[i]);
        if (v.action != Action::Accept && v.action != Action::AcceptUpper) return TypingRefusal{i, v.balloon};
        if (text[i] == kBackspace) return TypingRefusal{i, {}};
        typed.push_back(v.ch);
    }
    return std::nullopt;
}

} // namespace kelvor::jobs
