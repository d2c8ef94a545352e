// The settings file reader and its one-value writer over arbitrary file text. The first three
// bytes give the lengths of a section, key and value taken from the input; the rest is the file.
// A write must read back as written and keep every byte outside the value it replaced or the line
// it added.
#include "base/ini_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A name the station could write: what a section or key line can hold and read back.
bool plainName(std::string_view s) {
    if (s.empty() || s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t') return false;
    if (s.front() == ';' || s.front() == '#' || s.front() == '[') return false;
    return s.find_first_of(std::string_view("\r\n\0[]=", 6)) == std::string_view::npos;
}

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvor;
    if (size < 3) return 0;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    std::size_t at = 3;
    auto take = [&](std::size_t n) {
        n = std::min(n, all.size() - at);
        const std::string_view s = all.substr(at, n);
        at += n;
        return s;
    };
    const std::string_view section = take(data[0] % 16), key = take(data[1] % 16), value = take(data[2] % 32);
    const std::string_view text = all.substr(at);

    const ini::Index index(text);
    const auto found = index.find(section, key);
    if (found) check(found->begin <= found->end && found->end <= text.size());
    if (const auto ins = index.insertAt(section)) check(*ins <= text.size());

    const bool valueReadsBack = ini::storableValue(value) &&
                                (value.empty() || (value.front() != ' ' && value.front() != '\t' &&
                                                   value.back() != ' ' && value.back() != '\t'));
    if (!plainName(section) || !plainName(key) || !valueReadsBack) return 0;

    const std::string out = ini::withValue(text, index, section, key, value);
    const ini::Index after(out);
    const auto span = after.find(section, key);
    check(span && ini::valueAt(out, *span) == value);
    if (found) {
        check(out.compare(0, found->begin, text, 0, found->begin) == 0);
        check(std::string_view(out).substr(found->begin + value.size()) == text.substr(found->end));
    } else {
        const std::size_t ins = index.insertAt(section).value_or(text.size());
        check(out.compare(0, ins, text, 0, ins) == 0);
        check(std::string_view(out).ends_with(text.substr(ins)));
        check(out.size() > text.size());
    }
    return 0;
}
