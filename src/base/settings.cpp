#include "base/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kelvor {
namespace {

std::string upperKey(std::string_view section, std::string_view key) {
    std::string k(section);
    k += '/';
    k += key;
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return k;
}

} // namespace

int Settings::readNumber(std::string_view section, std::string_view key) const {
    return leadingInt(readText(section, key));
}

std::string MemorySettings::readText(std::string_view section, std::string_view key) const {
    auto it = values_.find(upperKey(section, key));
    return it == values_.end() ? std::string() : it->second;
}

bool MemorySettings::writeText(std::string_view section, std::string_view key, std::string_view value) {
    values_[upperKey(section, key)] = std::string(value);
    writes.emplace_back(std::string(section) + "/" + std::string(key), std::string(value));
    return true;
}

int leadingInt(std::string_view text, int base) {
    const std::string s(text);
    errno = 0;
    const long long v = std::strtoll(s.c_str(), nullptr, base);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

} // namespace kelvor
