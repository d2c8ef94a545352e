#pragma once
// The charger-IC options ("配置字列表" page) as a job sees them: the ConfigList setting, the 44-byte
// charger block of EP39H01/EP39H02 and the custom PDO table of EP39H01.
#include "base/reporter.h"
#include "base/settings.h"
#include "chips/catalog.h"
#include "image/buffers.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvor::jobs {

// Selections of the page. Lists hold the selected entry (-1: none); boxes hold their state.
// Defaults are the page's start-up contents.
struct ChargerSelections {
    int icName = 0;            // "IC_NAME" 1128
    int icNameChk = 0;         // "IC_NAME_CHK" 1129, follows IC_NAME
    bool printSwitch = true;   // "打印开关"
    int ocp = 1;               // "OCP调节"
    int dischargeTime = 3;     // "泄放电流时间"
    int power = 1;             // "功率选择/A口拔出时间调节"
    bool shortCircuit = true;  // "短路保护开关"
    bool overVoltage = true;   // "过压保护开关"
    bool dApple = false;       // "D_APPLE"
    bool acApple = false;      // "AC_APPLE"
    int qcClass = 1;           // "QC_CLASS"
    int cableCompensation = 1; // "线补"
    int powerSave = 2;         // "POWER_SAVE_TIRM"
    bool customPdo = false;    // "自定义PDO"
    std::string pdoText;       // the custom PDO field (emptied when the box is unchecked)
};

inline constexpr int kConfigListValues = 13;
// Entry counts of the lists in ConfigList order; 0 marks a check box.
inline constexpr std::array<int, kConfigListValues> kConfigListEntries = {4, 4, 0, 4, 4, 8, 0,
                                                                          0, 0, 0, 3, 4, 4};

// The 13 values in ConfigList order.
std::array<int, kConfigListValues> configListValues(const ChargerSelections& s);
// "%d,%d,…,%d," of the 13 values.
std::string configListText(const ChargerSelections& s);
// Writes KELVOR/ConfigList; every job does this first, whatever the family.
void storeConfigList(const ChargerSelections& s, Settings& settings);

// Start-up restore of ConfigList: the comma-terminated list rule (a last value without its comma is
// ignored; a leading comma yields nothing); values 0 and 1 each set both IC_NAME and IC_NAME_CHK;
// indexes above 12 are ignored. A list value outside its entries leaves the list without a
// selection (-1); a box is checked by any non-zero value.
void applyConfigList(std::string_view text, ChargerSelections& s);

// The 44 bytes of JobParams39H without the head (the job adds the head).
std::array<std::uint8_t, 44> buildChargerBlock(chips::Family family, const ChargerSelections& s);

// The custom PDO table: count k, the second item, then k data bytes (32 bytes, zero beyond).
struct CustomPdo {
    std::array<std::uint8_t, 32> bytes{};
    int count = 0; // k
    int size() const { return count + 2; }
};

inline constexpr std::string_view kPdoCaption = "提示!";

// Parses the PDO text; a failure shows its "提示!" box and gives nothing.
std::optional<CustomPdo> parsePdoText(std::string_view text, Reporter& reporter);

// The free bytes for the table: consecutive 0xFF in programArea from 0x3FE0, at most 32.
int pdoFreeSpace(const image::ImageBuffers& buffers);

// EP39H01 only, after the block is placed and before the check word: when "自定义PDO" is checked,
// parses the text and copies the table into transferImage at 0x3FE0. False when it was refused.
bool placeCustomPdo(const ChargerSelections& s, image::ImageBuffers& buffers, Reporter& reporter);

} // namespace kelvor::jobs
