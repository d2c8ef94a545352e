#include "base/ini_text.h"

#include <algorithm>

namespace kelvor::ini {
namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

void appendUpper(std::string& out, std::string_view s) {
    for (char c : s) out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string sectionName(std::string_view section) {
    std::string k;
    appendUpper(k, trim(section));
    return k;
}

std::string valueName(std::string_view section, std::string_view key) {
    std::string k = sectionName(section);
    k += '\n';
    appendUpper(k, trim(key));
    return k;
}

} // namespace

Index::Index(std::string_view text) {
    const std::size_t firstLf = text.find('\n');
    if (firstLf != std::string_view::npos && firstLf > 0 && text[firstLf - 1] == '\r') lineEnd_ = "\r\n";

    std::size_t pos = 0;
    // A byte-order mark belongs to no line's content.
    if (text.starts_with("\xEF\xBB\xBF")) pos = 3;
    std::string section;               // current section, upper-case
    std::size_t* sectionInsert = nullptr; // insert point of the current section when it is a first occurrence
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > pos && text[end - 1] == '\r') --end;
        std::size_t b = pos;
        while (b < end && blank(text[b])) ++b;
        const std::string_view line = text.substr(b, end - b);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            // blank or comment: no part of any section's key lines
        } else if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                section = sectionName(line.substr(1, close - 1));
                auto [it, first] = inserts_.try_emplace(section, next);
                sectionInsert = first ? &it->second : nullptr;
            }
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            const std::string_view rawKey = trim(line.substr(0, eq));
            if (!rawKey.empty()) {
                std::size_t vb = b + eq + 1, ve = end;
                while (vb < ve && blank(text[vb])) ++vb;
                while (ve > vb && blank(text[ve - 1])) --ve;
                std::string name = section;
                name += '\n';
                appendUpper(name, rawKey);
                values_.try_emplace(std::move(name), Span{vb, ve});
                if (sectionInsert) *sectionInsert = next;
            }
        }
        pos = next;
    }
}

std::optional<Span> Index::find(std::string_view section, std::string_view key) const {
    const auto it = values_.find(valueName(section, key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::size_t> Index::insertAt(std::string_view section) const {
    const auto it = inserts_.find(sectionName(section));
    if (it == inserts_.end()) return std::nullopt;
    return it->second;
}

std::string valueAt(std::string_view text, Span span) {
    std::string_view v = text.substr(span.begin, span.end - span.begin);
    if (const std::size_t nul = v.find('\0'); nul != std::string_view::npos) v = v.substr(0, nul);
    return std::string(v);
}

bool storableValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string withValue(std::string_view text, const Index& index, std::string_view section, std::string_view key,
                      std::string_view value) {
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (const auto span = index.find(section, key)) {
        out.append(text.substr(0, span->begin));
        out.append(value);
        out.append(text.substr(span->end));
        return out;
    }
    std::string line(key);
    line += '=';
    line += value;
    line += index.lineEnd();
    std::size_t at = text.size();
    if (const auto insert = index.insertAt(section)) {
        at = *insert;
    } else {
        line = "[" + std::string(section) + "]" + index.lineEnd() + line;
    }
    out.append(text.substr(0, at));
    // The last line may lack its line end; the new line must not join it.
    if (at == text.size() && !text.empty() && text.back() != '\n') out.append(index.lineEnd());
    out.append(line);
    out.append(text.substr(at));
    return out;
}

} // namespace kelvor::ini
