#pragma once
// The chip catalog: families in controller-flag order and one row per selectable model.
// Plain data; selection behaviour lives in chips/selection.h and the station.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::chips {

// Order is the order of the controller's family flags.
enum class Family : std::uint8_t {
    EP2702, EP2701, EP2705, EP3901, EP2703, EP3904, EP3902, EP3903, EP27H02, EP27H01,
    EP2706, EP39B13, EP27C42, EP2707, EP39F01, EP39F02, EP39F25X, EP39F022, EP39F020, EP39F024,
    EP39F256, EP39F03, EP39F05, EP39H01, EP39H02, EP8505_IN, EP8505, EP27F01, EP27F02, EP39F06,
    EP39F003, EP39F08, EP406, EP408,
};
inline constexpr int kFamilyCount = 34;

std::string_view familyName(Family f);
std::optional<Family> familyByName(std::string_view name);
inline constexpr int familyIndex(Family f) { return static_cast<int>(f); }

// "IO && OTP SIZE" group of the configuration-word page.
enum class SizeGroup : std::uint8_t { All, Otp, None };
// "EEPROM烧录" of the settings page: Untouched leaves the box, list and "..." as they are.
enum class EepromOption : std::uint8_t { Option, Off, Untouched };
enum class PinList : std::uint8_t { None, Pins18, Pins24, Pins8 };

struct ModelRow {
    std::string_view model;
    Family family;
    int command;
    int menuPosition;        // -1: no Device-menu entry
    int frequencyEntry;      // entry of the calibration-frequency list
    bool frequencyEnabled;
    bool uidShown;
    SizeGroup sizeGroup;
    EepromOption eeprom;
    PinList pins;
    std::string_view customKey; // empty: none
    std::string_view menuKey;   // key matched in custom-chip mode; empty: none
    bool checkByDevice;         // menu check mark follows the stored DEVICE text, not the family flag
    bool refreshesOfflinePage;  // selection re-shows the offline page when that tab is current
    std::string_view caption;   // calibration group caption
    std::string_view logText;   // window log line
    std::string_view statusText;
};

// All model rows in command-id order.
std::span<const ModelRow> models();
// Exact, case-sensitive.
const ModelRow* findModel(std::string_view name);
const ModelRow* findCommand(int command);
// The Device-menu entries in position order (38 entries).
std::vector<const ModelRow*> deviceMenu();
std::vector<const ModelRow*> modelsOfFamily(Family f);
std::vector<std::string_view> pinNames(PinList list);

struct ModelTexts {
    std::string caption;
    std::string logText;
    std::string statusText;
};
// Texts shown when the custom-chip lists give the model a display name.
ModelTexts customTexts(const ModelRow& row, std::string_view displayName);

inline constexpr const char* kFrequencyNames[9] = {"8mhz",   "10mhz", "11.0592mhz", "12mhz",  "13.56mhz",
                                                   "16mhz",  "20mhz", "22.1184mhz", "24mhz"};

} // namespace kelvor::chips
