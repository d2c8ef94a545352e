#include "base/log_format.h"

#include "base/strfmt.h"

#include <chrono>
#include <ctime>

namespace kelvor {

LocalTime localTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return t;
}

std::string panePrefix(const LocalTime& t) { return strfmt("%02d:%02d:%02d ", t.hour, t.minute, t.second); }

std::string fileRecord(const LocalTime& t, std::string_view message) {
    return strfmt("%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second, t.millisecond) + std::string(message);
}

std::string bannerText(const LocalTime& t, bool programmingSteps) {
    std::string head = strfmt("%d-%d-%d  %02d:%02d:%02d \r\n", t.year, t.month, t.day, t.hour, t.minute, t.second) +
                       "KEL-VOR V0.015-10.28 Start\r\n";
    if (!programmingSteps) return head;
    return head + "\t1.确认电脑与烧录器通过USB线连接\r\n\t2.点击烧录器连接按键\r\n\t3."
           "打开烧录文件\r\n\t4.选定校准频率值和UART工作波特率\r\n\t5.开始烧录\r\n";
}

std::string cutMessage(std::string_view message) { return cutUtf8(std::string(message), kMaxMessageBytes); }

} // namespace kelvor
