#include "chips/catalog.h"

#include <algorithm>
#include <array>

namespace kelvor::chips {
namespace {

constexpr std::array<std::string_view, kFamilyCount> kFamilyNames = {
    "EP2702",  "EP2701",   "EP2705",   "EP3901",   "EP2703",   "EP3904",  "EP3902",  "EP3903",  "EP27H02",
    "EP27H01", "EP2706",   "EP39B13",  "EP27C42",  "EP2707",   "EP39F01", "EP39F02", "EP39F25X", "EP39F022",
    "EP39F020", "EP39F024", "EP39F256", "EP39F03", "EP39F05",  "EP39H01", "EP39H02", "EP8505_IN", "EP8505",
    "EP27F01", "EP27F02",  "EP39F06",  "EP39F003", "EP39F08",  "EP406",   "EP408",
};

// clang-format off
constexpr ModelRow kRows[] = {
    {"EP3901", Family::EP3901, 32781, 5, 6, false, false, SizeGroup::Otp, EepromOption::Off, PinList::None, "ZEP3901", "ZEP3901", false, true,
     "EP:3901 校准信息", "烧录芯片为 EP:3901", "Device:3901 "},
    {"EP2701", Family::EP2701, 32783, -1, 0, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2701", "", false, true,
     "EP:2701 校准信息", "烧录芯片为 EP:2701", "Device:2701 "},
    {"EP2702", Family::EP2702, 32784, -1, 6, true, true, SizeGroup::All, EepromOption::Off, PinList::None, "ZEP2702", "", false, true,
     "EP:2702 校准信息", "烧录芯片为 EP:2702", "Device:2702 "},
    {"EP2705", Family::EP2705, 32785, 0, 5, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2705", "ZEP2705", false, true,
     "EP:2705 校准信息", "烧录芯片为 EP:2705", "Device:2705 "},
    {"EP3902", Family::EP3902, 32786, -1, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP3902", "", false, true,
     "EP:3902 校准信息", "烧录芯片为 EP:3902", "Device:3902 "},
    {"EP2703", Family::EP2703, 32788, -1, 6, true, true, SizeGroup::All, EepromOption::Off, PinList::None, "ZEP2703", "", false, true,
     "EP:2703 校准信息", "烧录芯片为 EP:2703", "Device:2703 "},
    {"EP3904", Family::EP3904, 32789, -1, 6, false, false, SizeGroup::Otp, EepromOption::Off, PinList::None, "ZEP3904", "", false, true,
     "EP:3904 校准信息", "烧录芯片为 EP:3904", "Device:3904 "},
    {"EP3903", Family::EP3903, 32790, -1, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP3903", "", false, true,
     "EP:3903 校准信息", "烧录芯片为 EP:3903", "Device:3903 "},
    {"EP27H02", Family::EP27H02, 32792, 4, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP27H02", "ZEP27H02", false, true,
     "EP:27h02 校准信息", "烧录芯片为 EP:27h02", "Device:27h02 "},
    {"EP27H01", Family::EP27H01, 32793, 3, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP27H01", "ZEP27H01", false, true,
     "EP:27h01 校准信息", "烧录芯片为 EP:27h01", "Device:27h01 "},
    {"EP2706", Family::EP2706, 32794, 1, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2706", "ZEP2706", false, true,
     "EP:2706 校准信息", "烧录芯片为 EP:2706", "Device:2706 "},
    {"EP39F02", Family::EP39F02, 32795, 10, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP39F02", "ZEP39F02", false, true,
     "EP:39F02 校准信息", "烧录芯片为 EP:39F02", "Device:39F02 "},
    {"EP39H01", Family::EP39H01, 32796, 13, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP39H01", "ZEP39H01", false, true,
     "EP:39H01 校准信息", "烧录芯片为 EP:39H01", "Device:39H01 "},
    {"EP8505", Family::EP8505, 32797, 27, 5, true, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP8505", "ZEP8505", false, true,
     "EP:8505 校准信息", "烧录芯片为 EP:8505", "Device:8505 "},
    {"EP8505_IN", Family::EP8505_IN, 32800, 28, 5, true, true, SizeGroup::None, EepromOption::Untouched, PinList::None, "", "", false, true,
     "EP:8505 校准信息", "烧录芯片为 EP:8505", "Device:8505 "},
    {"EP39F01", Family::EP39F01, 32802, 9, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::Pins8, "", "ZEP39F01", false, false,
     "EP:39F01 校准信息", "烧录芯片为 EP:39F01", "Device:39F01 "},
    {"EP39F03", Family::EP39F03, 32803, 11, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::Pins24, "", "ZEP39F03", false, false,
     "EP:39F03 校准信息", "烧录芯片为 EP:39F03", "Device:39F03 "},
    {"EP39F05", Family::EP39F05, 32804, 12, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::Pins24, "", "ZEP39F04", false, false,
     "EP:39F05 校准信息", "烧录芯片为 EP:39F05", "Device:39F05"},
    {"EP39F022", Family::EP39F022, 32805, 14, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F022", false, false,
     "EP:39F022 校准信息", "烧录芯片为 EP:39F022", "Device:39F022 "},
    {"EP2707", Family::EP2707, 32806, 17, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2707", "ZEP2707", false, true,
     "EP:2707 校准信息", "烧录芯片为 EP:2707", "Device:2707 "},
    {"EP39H02", Family::EP39H02, 32807, 18, 6, false, false, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP39H02", "ZEP39H02", false, true,
     "EP:39H02 校准信息", "烧录芯片为 EP:39H02", "Device:39H02 "},
    {"EP39F020", Family::EP39F020, 32808, 19, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F020", false, false,
     "EP:39F020 校准信息", "烧录芯片为 EP:39F020", "Device:39F020 "},
    {"EP27F01", Family::EP27F01, 32809, 20, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::None, "ZEP27F01", "ZEP27F01", true, true,
     "EP:27F01 校准信息", "烧录芯片为 EP:27F01", "Device:27F01 "},
    {"EP39F06", Family::EP39F06, 32810, 22, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F06", true, false,
     "EP:39F06 校准信息", "烧录芯片为 EP:39F06", "Device:39F06 "},
    {"EP39F08", Family::EP39F08, 32811, 24, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP39F08", "ZEP39F08", true, true,
     "EP:39F08 校准信息", "烧录芯片为 EP:39F08", "Device:39F08 "},
    {"EP406", Family::EP406, 32812, 25, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "EP406", "EP406", false, true,
     "EP:EP406 校准信息", "烧录芯片为 EP:EP406", "Device:EP406 "},
    {"EP408", Family::EP408, 32813, 26, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "EP408", "EP408", false, true,
     "EP:39F02 校准信息", "烧录芯片为 EP:EP408", "Device:EP408 "},
    {"EP39F003", Family::EP39F003, 32814, 23, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F003", false, false,
     "EP:39F003 校准信息", "烧录芯片为 EP:39F003", "Device:39F003 "},
    {"EP27F02", Family::EP27F02, 32815, 21, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP27F02", "ZEP27F02", true, true,
     "EP:27F02 校准信息", "烧录芯片为 EP:27F02", "Device:27F02 "},
    {"EP39F024", Family::EP39F024, 32816, -1, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "", false, false,
     "EP:39F024 校准信息", "烧录芯片为 EP:39F024", "Device:39F024 "},
    {"EP39F256", Family::EP39F256, 32817, 16, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F256", false, false,
     "EP:39F256 校准信息", "烧录芯片为 EP:39F256", "Device:39F256 "},
    {"EP27C42", Family::EP27C42, 32818, 2, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP27C42", "ZEP27C42", false, true,
     "EP:27C42 校准信息", "烧录芯片为 EP:27C42", "Device:27C42 "},
    {"EP27F01D", Family::EP27F01, 32819, 29, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP27F01D", "ZEP27F01D", true, true,
     "EP:27F01D 校准信息", "烧录芯片为 EP:27F01D", "Device:27F01D "},
    {"EP27F01A3", Family::EP27F01, 32820, 30, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::None, "ZEP27F01A3", "ZEP27F01A3", true, true,
     "EP:27F01A3 校准信息", "烧录芯片为 EP:27F01A3", "Device:27F01A3 "},
    {"EP39F065", Family::EP39F06, 32821, 15, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F065", true, false,
     "EP:39F065 校准信息", "烧录芯片为 EP:39F065", "Device:39F065 "},
    {"EPW311", Family::EP27F02, 32822, 6, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "EPW311", "EPW311", true, true,
     "EP:EPW311 校准信息", "烧录芯片为 EP:EPW311", "Device:EPW311 "},
    {"EPW414", Family::EP39F08, 32823, 7, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "EPW414", true, false,
     "EP:EPW414 校准信息", "烧录芯片为 EP:EPW414", "Device:EPW414 "},
    {"EP39B13", Family::EP39B13, 32824, 8, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP39B13", "ZEP39B13", false, true,
     "EP:39B13 校准信息", "烧录芯片为 EP:39B13", "Device:39B13 "},
    {"EP39F08A", Family::EP39F08, 32825, 31, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP39F08A", "ZEP39F08A", true, true,
     "EP:39F08A 校准信息", "烧录芯片为 EP:39F08A", "Device:39F08A "},
    {"EP39C57", Family::EP39F08, 32826, -1, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP39C57", "", false, true,
     "EP:39C57 校准信息", "烧录芯片为 EP:39C57", "Device:39C57 "},
    {"LN2056", Family::EP2706, 32827, 33, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2056", "ZEP2056", true, true,
     "LN2056 校准信息", "烧录芯片为 LN2056", "Device:LN2056 "},
    {"LN2057", Family::EP2706, 32828, 34, 6, false, true, SizeGroup::None, EepromOption::Off, PinList::None, "ZEP2057", "ZEP2057", true, true,
     "LN2057 校准信息", "烧录芯片为 LN2057", "Device:LN2057 "},
    {"LN2058", Family::EP39F08, 32829, 35, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP2058", "ZEP2058", true, true,
     "LN2058 校准信息", "烧录芯片为:LN2058", "Device:LN2058 "},
    {"LN2059", Family::EP3902, 32830, 36, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP2059", "ZEP2059", true, true,
     "LN2059 准信息", "烧录芯片为 LN2059", "Device:LN2059 "},
    {"EP39F06A", Family::EP39F06, 32831, 37, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "", "ZEP39F06A", true, false,
     "EP:39F06A 校准信息", "烧录芯片为 EP:39F06A", "Device:39F06A "},
    {"EP431", Family::EP39F08, 32832, 32, 6, false, true, SizeGroup::None, EepromOption::Option, PinList::Pins18, "ZEP431", "ZEP431", true, true,
     "EP:431 校准信息", "烧录芯片为 EP:431", "Device:EP431 "},
};
// clang-format on

} // namespace

std::string_view familyName(Family f) { return kFamilyNames[familyIndex(f)]; }

std::optional<Family> familyByName(std::string_view name) {
    for (int i = 0; i < kFamilyCount; ++i)
        if (kFamilyNames[i] == name) return static_cast<Family>(i);
    return std::nullopt;
}

std::span<const ModelRow> models() { return kRows; }

const ModelRow* findModel(std::string_view name) {
    for (const auto& r : kRows)
        if (r.model == name) return &r;
    return nullptr;
}

const ModelRow* findCommand(int command) {
    for (const auto& r : kRows)
        if (r.command == command) return &r;
    return nullptr;
}

std::vector<const ModelRow*> deviceMenu() {
    std::vector<const ModelRow*> out;
    for (const auto& r : kRows)
        if (r.menuPosition >= 0) out.push_back(&r);
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->menuPosition < b->menuPosition; });
    return out;
}

std::vector<const ModelRow*> modelsOfFamily(Family f) {
    std::vector<const ModelRow*> out;
    for (const auto& r : kRows)
        if (r.family == f) out.push_back(&r);
    return out;
}

std::vector<std::string_view> pinNames(PinList list) {
    static constexpr std::string_view p18[] = {"PA0", "PA1", "PA2", "PA3", "PA4", "PA5", "PB0", "PB1", "PB2",
                                               "PB3", "PB4", "PB5", "PC0", "PC1", "PC2", "PC3", "PC4", "PC5"};
    static constexpr std::string_view p24[] = {"PA0", "PA1", "PA2", "PA3", "PA4", "PA5", "PA6", "PA7",
                                               "PB0", "PB1", "PB2", "PB3", "PB4", "PB5", "PB6", "PB7",
                                               "PC0", "PC1", "PC2", "PC3", "PC4", "PC5", "PC6", "PC7"};
    static constexpr std::string_view p8[] = {"PB0", "PB1", "PB2", "PB3", "PB4", "PB5", "PB6", "PB7"};
    switch (list) {
    case PinList::Pins18: return {std::begin(p18), std::end(p18)};
    case PinList::Pins24: return {std::begin(p24), std::end(p24)};
    case PinList::Pins8: return {std::begin(p8), std::end(p8)};
    case PinList::None: break;
    }
    return {};
}

ModelTexts customTexts(const ModelRow& row, std::string_view name) {
    const std::string prefix = row.model == "LN2058" ? "LN:" : "EP:";
    const std::string n(name);
    return {prefix + n + " 校准信息", "烧录芯片为 " + prefix + n, "Device:" + n};
}

} // namespace kelvor::chips
