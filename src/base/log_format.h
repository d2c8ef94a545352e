#pragma once
// The station's log formats: the pane's time prefix, the zep.log record and the start banner.
#include <string>
#include <string_view>

namespace kelvor {

struct LocalTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalTime localTimeNow();

// Messages are formatted into 2048 bytes: longer ones are cut to 2047, at a character boundary.
inline constexpr std::size_t kMaxMessageBytes = 2047;
// A pane holding more lines than this is emptied before the next line.
inline constexpr int kMaxPaneLines = 1024;

std::string panePrefix(const LocalTime& t);                           // "12:05:09 "
std::string fileRecord(const LocalTime& t, std::string_view message); // "12:05:09.042 " + message
// Without the programming steps for a QC station, which has no connect button and no image file.
std::string bannerText(const LocalTime& t, bool programmingSteps = true);
std::string cutMessage(std::string_view message);

} // namespace kelvor
