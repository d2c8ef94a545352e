#pragma once
// Typing rules of the station's validating fields, as pure functions: the widget asks, then does
// what the verdict says. Text and positions are UTF-16 code units, the units the edit widgets
// count their selection in.
#include <optional>
#include <string>
#include <string_view>

namespace kelvor::jobs {

inline constexpr char16_t kBackspace = 8;

// Field ids of the CMyEdit fields.
inline constexpr int kFieldCheckCode = 1079;       // "校验码", QC configuration page
inline constexpr int kFieldFirmwareVersion = 1076; // "检测固件版本号", QC configuration page
inline constexpr int kFieldCustomPdo = 1140;       // custom PDO text, configuration-word list page

inline constexpr std::string_view kBalloonTitle = "提示";

struct CharVerdict {
    enum class Action {
        Accept,      // let the field insert `ch` as typed (also backspace)
        AcceptUpper, // insert `ch` (a-f upper-cased)
        Drop,        // ignore the character silently
        Refuse,      // ignore it and show a balloon tip: title "提示", `balloon`, information icon
    };
    Action action = Action::Drop;
    char16_t ch = 0;          // the character to insert for Accept and AcceptUpper
    std::string_view balloon; // UTF-8, for Refuse
};

// The voltage field keeps at most 5 characters: a longer text is cut to its first 5 (4 when the
// fifth unit would split a surrogate pair) with the caret at its end. Nothing when the text fits.
struct CutText {
    std::u16string text;
    int caret = 0; // selection start and end
};
std::optional<CutText> voltageLengthRule(std::u16string_view text);

// "设置EEPROM初始化电压" and "设置序号" keep at most 6 decimal digits. Applied to the text after a
// change (typed, pasted or put in): every other character goes, the caret at the index of the last
// one removed; then a text longer than 6 is cut to its first 6, the caret at `selStartBefore`, the
// selection start before the change. Nothing when the text already conforms.
inline constexpr int kDigitFieldLength = 6;
std::optional<CutText> digitRule(std::u16string_view after, int selStartBefore);

// CEditEx (UID fields): at most 8 hex digits; drops silently, never uppercases.
CharVerdict uidCharRule(std::u16string_view text, int selStart, int selEnd, char16_t ch);

// CMyEdit: the rule of the field with that control id; any other id drops every character.
CharVerdict myEditCharRule(int controlId, std::u16string_view text, int selStart, int selEnd, char16_t ch);

// Typing `text` into the empty CMyEdit field `controlId`, one character after the other: the
// index of the first character the rule keeps out and its balloon; nothing when all get in.
struct TypingRefusal {
    std::size_t index = 0;
    std::string_view balloon;
};
std::optional<TypingRefusal> firstRefusalWhenTyped(int controlId, std::u16string_view text);

} // namespace kelvor::jobs
