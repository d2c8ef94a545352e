#pragma once
// The controls of the pages that feed a job, named once per page. Page models key a control by its
// number (controlKey); the same number names different controls on different pages.
#include "jobs/field_rules.h"

namespace kelvor {

// "通用设置", CMySeting.
namespace settings {
inline constexpr int kFirmwareKind = 1060;      // "选择烧录固件"
inline constexpr int kCalSlosc = 1061;          // "SLOSC"
inline constexpr int kCalEeprom = 1062;         // "EEPROM"
inline constexpr int kCalOp = 1063;             // "OP"
inline constexpr int kEepromVoltage = 1064;     // "设置EEPROM初始化电压"
inline constexpr int kSequence = 1066;          // "设置序号"
inline constexpr int kEeVoltageWrite = 1027;    // "EE电压写入"
inline constexpr int kClock = 1092;             // "Clock频率"
inline constexpr int kClockPin = 1093;          // "CKOE"
inline constexpr int kSelect32M = 1068;         // "选择32M主频"
inline constexpr int kFastClock = 1069;         // "校准主频(13.56)"
inline constexpr int kEepromProgramming = 1065; // "EEPROM烧录"
inline constexpr int kEepromFiles = 1094;       // recent EEPROM files
inline constexpr int kEepromChooser = 1030;     // "..."
} // namespace settings

// "出厂配置", CInitConfig.
namespace factory {
inline constexpr int kFactoryData = 1065;   // "出厂信息"
inline constexpr int kFactoryFiles = 1107;  // recent factory files
inline constexpr int kFactoryChooser = 1030; // "..."
inline constexpr int kStartAddress = 1113;  // after the label "0x"
inline constexpr int kEraseFull = 1109;     // "Erase Full Chip"
inline constexpr int kEraseSectors = 1110;  // "Erase Sectors"
inline constexpr int kEraseNone = 1111;     // "Do not Erase"
inline constexpr int kSectorCount = 1112;
} // namespace factory

// "配置字列表", CConfig_List.
namespace charger {
inline constexpr int kIcName = 1128;            // "IC_NAME"
inline constexpr int kIcNameChk = 1129;         // "IC_NAME_CHK"
inline constexpr int kPrintSwitch = 1065;       // "打印开关"
inline constexpr int kOcp = 1117;               // "OCP调节"
inline constexpr int kDischargeTime = 1130;     // "泄放电流时间"
inline constexpr int kPower = 1119;             // "功率选择/A口拔出时间调节"
inline constexpr int kShortCircuit = 1120;      // "短路保护开关"
inline constexpr int kOverVoltage = 1121;       // "过压保护开关"
inline constexpr int kDApple = 1122;            // "D_APPLE"
inline constexpr int kAcApple = 1123;           // "AC_APPLE"
inline constexpr int kQcClass = 1127;           // "QC_CLASS"
inline constexpr int kCableCompensation = 1126; // "线补"
inline constexpr int kPowerSave = 1131;         // "POWER_SAVE_TIRM"
inline constexpr int kCustomPdo = 1139;         // "自定义PDO"
inline constexpr int kPdoText = jobs::kFieldCustomPdo;
} // namespace charger

} // namespace kelvor
