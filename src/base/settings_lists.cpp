#include "base/settings_lists.h"

#include "base/settings.h"

#include <algorithm>
#include <cctype>

namespace kelvor {

std::vector<int> commaTerminatedList(std::string_view text) {
    std::vector<int> out;
    std::size_t p = text.find(',');
    while (p != std::string_view::npos && p > 0) {
        out.push_back(leadingInt(text.substr(0, p)));
        text.remove_prefix(p + 1);
        if (text.empty()) break;
        p = text.find(',');
    }
    return out;
}

std::vector<std::string> countedCommaList(std::string_view text, int n) {
    // The count comes from the file: a huge one must not build millions of empty entries.
    n = std::min(n, kMaxCountedEntries);
    std::string rest(text);
    std::transform(rest.begin(), rest.end(), rest.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::vector<std::string> out;
    for (int i = 1; i < n; ++i) { // n - 1 times, without n - 1 overflowing for INT_MIN
        const std::size_t p = rest.find(',');
        if (p == std::string::npos) {
            out.emplace_back();
            continue;
        }
        out.push_back(rest.substr(0, p));
        rest.erase(0, p + 1);
    }
    out.push_back(rest);
    return out;
}

std::optional<std::vector<std::string>> recentFileList(int count, std::string_view text) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        const std::size_t p = text.find('?');
        // Nothing more can be taken, so the count cannot be met: stop rather than spin through a
        // count from the file that may be two thousand million.
        if (text.empty() || p == std::string_view::npos || p == 0) return std::nullopt;
        out.emplace_back(text.substr(0, p));
        text.remove_prefix(p + 1);
    }
    if (count < 0 || out.size() != static_cast<std::size_t>(count)) return std::nullopt;
    return out;
}

std::string joinRecentFiles(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& e : list) {
        out += e;
        out += '?';
    }
    return out;
}

void addToRecent(std::vector<std::string>& list, const std::string& path) {
    auto it = std::find(list.begin(), list.end(), path);
    if (it != list.end()) {
        moveToFront(list, static_cast<std::size_t>(it - list.begin()));
        return;
    }
    if (list.size() >= kRecentFileLimit) list.resize(kRecentFileLimit - 1);
    list.insert(list.begin(), path);
}

void moveToFront(std::vector<std::string>& list, std::size_t index) {
    if (index >= list.size()) return;
    std::rotate(list.begin(), list.begin() + static_cast<long>(index), list.begin() + static_cast<long>(index) + 1);
}

} // namespace kelvor
