#pragma once
// The controls of the three QC pages, named once per page.
#include <array>
#include <string_view>

namespace kelvor {

// "QC首测", QCTest.
namespace qctest {
inline constexpr int kModel = 1071;        // beside "芯片型号"
inline constexpr int kChecksum = 1080;     // beside "校验码"
inline constexpr int kVersionLabel = 1082; // "固件版本号"
inline constexpr int kVersion = 1072;
inline constexpr int kDateLabel = 1083; // "日期"
inline constexpr int kDate = 1073;
inline constexpr int kVoltageLabel = 1084; // "芯片VDD电压"
inline constexpr int kVoltage = 1075;
inline constexpr int kMvLabel = 1090; // "mV"
inline constexpr int kDisplay = 1085; // result display; its value is the display state
inline constexpr int kTest = 1067;    // "检测"
inline constexpr std::array<int, 5> kResultFields{kModel, kChecksum, kVersion, kDate, kVoltage};
} // namespace qctest

// "QC设置", QCTestConfig.
namespace qcconfig {
inline constexpr int kFirmwareList = 1091; // beside "芯片型号": the QC firmware to load
inline constexpr int kChecksum = 1079;     // "校验码"
inline constexpr int kCheckVersion = 1065;
inline constexpr int kVersionLabel = 1087; // "检测固件版本号"
inline constexpr int kVersion = 1076;
inline constexpr int kCheckDate = 1068;
inline constexpr int kDateLabel = 1088; // "检测固件日期"
inline constexpr int kDate = 1078;      // date picker
inline constexpr int kCheckVoltage = 1070;
inline constexpr int kVoltageLabel = 1089; // "检测电压(范围:3000~5500mv)"
// The entries of kFirmwareList; only the first has a QC firmware file to load.
inline constexpr std::array<std::string_view, 10> kFirmwareChoices{
    "ZEP2706", "ZEP27C42", "EP406", "ZEP2707", "EP39F02", "EP408", "EP39F022", "EP39F020", "EP39F024", "EP39F256"};
} // namespace qcconfig

// "QCLog", CQCComm.
namespace qccomm {
inline constexpr int kReadStats = 1030; // "读烧录错误类型统计数据"
} // namespace qccomm

} // namespace kelvor
