#pragma once
// The values a programming job reads from the pages at the moment it runs.
#include "chips/catalog.h"
#include "jobs/charger.h"

#include <string>
#include <string_view>

namespace kelvor::jobs {

struct JobInputs {
    // Programming page.
    std::string batchText = "FFFFFFFF";     // "批号(4Byte)" 1043
    std::string incrementText = "FFFFFFFF"; // "增量(4Byte)" 1044
    std::string voltageText = "4.500";      // "4.5v电压" 1032 ("AUTO" while the auto box is checked)
    int frequencyIndex = 6;                 // 1045, 0-8 or -1
    bool autoVoltage = false;               // 1065
    // General settings page.
    int firmwareIndex = 2;               // "选择烧录固件" 1060, -1: none
    bool calSlosc = true;                // "SLOSC" 1061
    bool calEeprom = true;               // "EEPROM" 1062
    bool calOp = false;                  // "OP" 1063
    std::string eepromVoltageText = "0"; // "设置EEPROM初始化电压" 1064
    int clockIndex = 0;                  // "Clock频率" 1092
    std::string clockPinText;            // "CKOE" 1093
    bool eepromProgramming = false;      // "EEPROM烧录" 1065
    std::string eepromPath;              // current EEPROM file
    bool select32M = false;              // "选择32M主频" 1068
    bool fastClock = false;              // "校准主频(13.56)" 1069
    // Factory configuration page.
    bool factoryData = false;              // "出厂信息" 1065
    std::string factoryPath;               // current factory file
    std::string factoryListText;           // text of the factory file list 1107
    bool eraseFull = true;                 // "Erase Full Chip" 1109
    bool eraseSectors = false;             // "Erase Sectors" 1110
    bool eraseNone = false;                // "Do not Erase" 1111
    std::string startAddressText = "1F00"; // field after "0x" 1113
    // Configuration-word list page.
    ChargerSelections charger;
};

// The "CKOE" entry a model selection leaves selected: 18-pin lists search PWM_OUTPUT (upper-cased,
// first entry that starts with it ignoring case, entries 1-17 then 0; an empty text therefore
// matches "PA1"), falling back to "PC4"; 24- and 8-pin lists take entry 0; no list, empty text.
// `rewritePwmOutput` is set when the fallback applies and PWM_OUTPUT must be written as "PC4".
struct ClockPinChoice {
    std::string pin;
    bool rewritePwmOutput = false;
};
ClockPinChoice clockPinFor(chips::PinList list, std::string_view pwmOutput);

// The pages' start-up contents with `model` selected (Firmware_IN and FastClock missing, no
// ConfigList stored, PWM_OUTPUT as given).
JobInputs defaultJobInputs(const chips::ModelRow& model, std::string_view pwmOutput = {});

} // namespace kelvor::jobs
