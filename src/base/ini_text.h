#pragma once
// The settings file as text that is indexed, never rebuilt: a value is found where it lies in the
// bytes, and a write replaces exactly those bytes. Whatever the station does not understand (NUL
// bytes, invalid UTF-8, comments, blank lines, duplicate sections and keys, their order) stays as it
// was, because it is never parsed into anything that could be written back.
//
// Lines end in LF or CR LF. A section line is "[name]" (blanks allowed around); a key line is
// "key=value", key and value trimmed of blanks; lines starting with ';' or '#' are comments. Names
// compare without regard to ASCII case. A key that occurs more than once, in one section or in
// repeated sections of the same name, is read and written at its first occurrence.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kelvor::ini {

struct Span {
    std::size_t begin = 0, end = 0; // value bytes [begin, end) of the text
};

class Index {
public:
    Index() = default;
    explicit Index(std::string_view text);

    std::optional<Span> find(std::string_view section, std::string_view key) const;
    // Where a new key of `section` is inserted: just after the last key line of the section's first
    // occurrence (after its header when it holds none). nullopt when the section does not occur.
    std::optional<std::size_t> insertAt(std::string_view section) const;
    // The line end the text uses (its first one), LF for a text without any.
    const std::string& lineEnd() const { return lineEnd_; }

private:
    std::unordered_map<std::string, Span> values_;        // "SECTION\nKEY", upper-case
    std::unordered_map<std::string, std::size_t> inserts_; // "SECTION"
    std::string lineEnd_ = "\n";
};

// The value as the station reads it: the bytes up to the first NUL (a C-string read never saw more).
std::string valueAt(std::string_view text, Span span);

// False for a value that could not stand on one line of the file (CR, LF or NUL in it).
bool storableValue(std::string_view value);

// `text` with section/key set to `value`: the old value's bytes replaced, or one key line added to
// the section's first occurrence, or the section and key appended at the end. Every other byte is
// kept. The value must be storable.
std::string withValue(std::string_view text, const Index& index, std::string_view section, std::string_view key,
                      std::string_view value);

} // namespace kelvor::ini
