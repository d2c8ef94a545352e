#include "chips/selection.h"

#include <algorithm>
#include <cctype>

namespace kelvor::chips {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

} // namespace

int pwmOutputEntry(const std::vector<std::string_view>& pins, std::string_view pwmOutput) {
    const int n = static_cast<int>(pins.size());
    for (int k = 1; k <= n; ++k) {
        const int i = k % n; // 1 … n-1, then 0
        if (startsWithNoCase(pins[static_cast<std::size_t>(i)], pwmOutput)) return i;
    }
    return -1;
}

RestoreChoice restoreChoice(std::string_view device) {
    if (device == "EP39F25X") return {false, nullptr};
    const ModelRow* row = findModel(device);
    if (!row || row->model == "EP39F003") row = findModel("EP2703");
    return {true, row};
}

const ModelRow* modelForDetectedId(int identifier) {
    switch (identifier) {
    case 0x006A: return findModel("EP406");
    case 0x008A: return findModel("EP408");
    case 0x2700:
    case 0x2701:
    case 0x2703:
    case 0x2707: return findModel("EP2706");
    default: return nullptr;
    }
}

bool menuChecked(const ModelRow& row, std::string_view storedDevice, const std::array<int, kFamilyCount>& familyFlags) {
    if (row.checkByDevice) return storedDevice == row.model;
    return familyFlags[static_cast<std::size_t>(familyIndex(row.family))] == 1;
}

std::vector<MenuEntry> applyCustomChips(const std::vector<MenuEntry>& menu, const std::vector<std::string>& keys,
                                        const std::vector<std::string>& names) {
    std::vector<MenuEntry> entries = menu;
    std::vector<bool> keep(entries.size(), false);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        for (std::size_t e = 0; e < entries.size(); ++e) {
            if (!entries[e].row->menuKey.empty() && entries[e].row->menuKey == keys[i]) {
                entries[e].text = i < names.size() ? names[i] : std::string();
                keep[e] = true;
            }
        }
    }
    std::vector<MenuEntry> out;
    for (std::size_t e = 0; e < entries.size(); ++e)
        if (keep[e]) out.push_back(entries[e]);
    return out;
}

ModelTexts modelTexts(const ModelRow& row, const std::vector<std::string>& keys, const std::vector<std::string>& names) {
    if (!row.customKey.empty()) {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == row.customKey) return customTexts(row, i < names.size() ? names[i] : std::string());
    }
    return {std::string(row.caption), std::string(row.logText), std::string(row.statusText)};
}

} // namespace kelvor::chips
