#include "base/notifications.h"

namespace kelvor {

const char* notificationName(int message) {
    switch (message) {
    case WM_LINK_CONNECT: return "WM_LINK_CONNECT";
    case WM_FW_ENTER_IAP: return "WM_FW_ENTER_IAP";
    case WM_FW_DOWNLOAD: return "WM_FW_DOWNLOAD";
    case WM_IMAGE_CHECK: return "WM_IMAGE_CHECK";
    case WM_PROGRAM: return "WM_PROGRAM";
    case WM_RESULT_FAIL: return "WM_RESULT_FAIL";
    case WM_RESULT_PASS: return "WM_RESULT_PASS";
    case WM_PROGRAM_MODE: return "WM_PROGRAM_MODE";
    case WM_CONTROLS_ENABLE: return "WM_CONTROLS_ENABLE";
    case WM_COUNT_CLEAR: return "WM_COUNT_CLEAR";
    case WM_DETECT_RESULT: return "WM_DETECT_RESULT";
    case WM_QC_PRECHECK: return "WM_QC_PRECHECK";
    case WM_QC_RESULT: return "WM_QC_RESULT";
    case WM_QC_STATS_REQUEST: return "WM_QC_STATS_REQUEST";
    case WM_QC_STATS: return "WM_QC_STATS";
    case WM_CHIP_RESET: return "WM_CHIP_RESET";
    default: return "";
    }
}

} // namespace kelvor
