#pragma once
// The table-driven rules of selecting a model; the station applies them to its pages.
#include "chips/catalog.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::chips {

// The "CKOE" entry for the stored PWM_OUTPUT of an 18-pin row: the first entry that begins with the
// upper-cased text (ignoring case), searching entries 1 to 17 and then 0. -1: none matches.
int pwmOutputEntry(const std::vector<std::string_view>& pins, std::string_view pwmOutput);

// What the stored DEVICE text selects at start-up.
struct RestoreChoice {
    bool selectSomething;
    const ModelRow* row; // set when selectSomething
};
RestoreChoice restoreChoice(std::string_view device);

// The model named by an auto-detect identifier, or nullptr.
const ModelRow* modelForDetectedId(int identifier);

// Check mark of a Device-menu entry.
bool menuChecked(const ModelRow& row, std::string_view storedDevice, const std::array<int, kFamilyCount>& familyFlags);

// Custom-chip mode: which entries of the Device menu stay, and under which text.
struct MenuEntry {
    const ModelRow* row;
    std::string text;
};
std::vector<MenuEntry> applyCustomChips(const std::vector<MenuEntry>& menu, const std::vector<std::string>& keys,
                                        const std::vector<std::string>& names);

// Texts shown for a model; custom names apply when the model's custom-chip key is in `keys`.
ModelTexts modelTexts(const ModelRow& row, const std::vector<std::string>& keys, const std::vector<std::string>& names);

} // namespace kelvor::chips
