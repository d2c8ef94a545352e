#pragma once
// The list forms stored in the settings file.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor {

inline constexpr std::size_t kRecentFileLimit = 10;

// "4,0," -> {4, 0}. A last value without a following "," is ignored; a text starting with "," gives
// nothing.
std::vector<int> commaTerminatedList(std::string_view text);

// Exactly max(n, 1) entries from a "," separated text, upper-cased (the custom-chip lists); n is
// taken as at most kMaxCountedEntries, far more custom chips than the catalog holds.
inline constexpr int kMaxCountedEntries = 256;
std::vector<std::string> countedCommaList(std::string_view text, int n);

// A FilePath… text ("a?b?") with its FileCount…; nullopt when the count does not match the entries
// (the caller then clears both keys).
std::optional<std::vector<std::string>> recentFileList(int count, std::string_view text);
std::string joinRecentFiles(const std::vector<std::string>& list);

// Moves an existing path to the front, or inserts it there dropping the oldest beyond ten.
void addToRecent(std::vector<std::string>& list, const std::string& path);
// Moves entry `index` to the front, shifting the entries before it down by one.
void moveToFront(std::vector<std::string>& list, std::size_t index);

} // namespace kelvor
