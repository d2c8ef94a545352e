#pragma once
// The controller's notification numbers (user window messages from WM_USER).
namespace kelvor {

inline constexpr int WM_USER = 0x0400;

enum Notification : int {
    WM_LINK_CONNECT = WM_USER + 100,
    WM_FW_ENTER_IAP = WM_USER + 101,
    WM_FW_DOWNLOAD = WM_USER + 102,
    WM_IMAGE_CHECK = WM_USER + 103,
    WM_PROGRAM = WM_USER + 104,
    WM_RESULT_FAIL = WM_USER + 105,
    WM_RESULT_PASS = WM_USER + 106,
    WM_PROGRAM_MODE = WM_USER + 107,
    WM_CONTROLS_ENABLE = WM_USER + 108,
    WM_COUNT_CLEAR = WM_USER + 109,
    WM_DETECT_RESULT = WM_USER + 110,
    WM_QC_PRECHECK = WM_USER + 111,
    WM_QC_RESULT = WM_USER + 112,
    WM_QC_STATS_REQUEST = WM_USER + 113,
    WM_QC_STATS = WM_USER + 114,
    WM_CHIP_RESET = WM_USER + 200,
};

const char* notificationName(int message);

} // namespace kelvor
