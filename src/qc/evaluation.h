#pragma once
// QC testing as pure functions: the pre-check of the tester's expectations, the judgement of one
// QC firmware reply against them, and the error-statistics texts. The station applies the ordered
// steps these return to its pages, log and message boxes; the command line prints them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::qc {

// Bytes 3-17 of status report 0xFC; q[14] is not used.
using Reply = std::array<std::uint8_t, 15>;
// Status report 0xFB: twelve counters in the order of the statistics page.
using ErrorStats = std::array<std::uint16_t, 12>;

inline constexpr std::string_view kBoxCaption = "KEL-VOR";

namespace text {
inline constexpr std::string_view kNeedChecksum = "请在设置页面输入校验码";
inline constexpr std::string_view kNeedVersion = "请在设置页面输入固件版本号";
inline constexpr std::string_view kNeedDate = "请在设置页面选择日期";
inline constexpr std::string_view kTesterAbsentLine = "测试器未连接到PC，请检查USB连线!\n";
inline constexpr std::string_view kTesterAbsentBox = "测试器未连接到PC，请检查USB连线!";
inline constexpr std::string_view kNoChip = "未检测到芯片，请确保连线无误!";
inline constexpr std::string_view kChecksumWrong = "校验码错误!";
inline constexpr std::string_view kVersionWrong = "固件版本号错误!";
inline constexpr std::string_view kDateWrong = "日期错误!";
inline constexpr std::string_view kVoltageWrong = "芯片VDD电压错误!";
inline constexpr std::string_view kUpdateQuestion = "将会更新固件,是否继续";
inline constexpr std::string_view kIdle = "****";
inline constexpr std::string_view kPass = "PASS";
inline constexpr std::string_view kFail = "FAIL";
} // namespace text

// The result display's states, kept as the display's value.
enum class Display : int { Fail = 0, Pass = 1, Idle = 2 };
std::string_view displayText(Display d);
// 0xRRGGBB the display is painted in.
std::uint32_t displayColour(Display d);

inline constexpr int kMinMillivolts = 3000;
inline constexpr int kMaxMillivolts = 5500;
inline constexpr int kDisplayHoldMs = 2000;

// What the configuration page asks for.
struct Expectations {
    std::string checksumText; // expected checksum, up to 4 hex digits
    bool checkVersion = false;
    std::string versionText; // decimal 0-65535
    bool checkDate = false;
    bool dateChosen = true; // the date picker holds a date
    int year = 0;
    int monthDay = 0; // month * 100 + day
    bool checkVoltage = false;
};

// A failing pre-check step: its window log line and box text. nullopt: command 18 may be sent.
struct Refusal {
    std::string line;
    std::string box;
};
std::optional<Refusal> precheck(const Expectations& e);
// Command 18 (or 20) was refused by the programmer.
Refusal testerAbsent();

// The reply fields the test page shows.
enum class Field : std::uint8_t { Model, Checksum, Version, Date, Voltage };

// One thing the station does, in order: fill a result field, set the display, write a window log
// line, show a box.
struct Step {
    enum class Kind : std::uint8_t { Show, Display, Log, Box } kind;
    Field field = Field::Model; // Show
    Display display = Display::Idle; // Display
    std::string text;               // Show, Log, Box
    friend bool operator==(const Step&, const Step&) = default;
};

// One judged value, for reports.
struct Check {
    std::string name; // "checksum", "version", "date", "voltage"
    std::string expected;
    std::string actual;
    bool pass = false;
};

struct Evaluation {
    bool chipPresent = false;
    std::uint32_t identifier = 0;
    std::vector<Step> steps;
    std::vector<Check> checks;
    bool pass = false;
    // Text of a field after the steps (empty when it was not shown).
    std::string field(Field f) const;
};

Evaluation evaluate(const Reply& q, const Expectations& e);

// The model text of a QC identifier; empty for an unknown one.
std::string_view modelText(std::uint32_t identifier);
struct QcChip {
    std::uint32_t identifier;
    std::string_view text;  // shown in the model field
    std::string_view model; // the catalog model that answers it
};
const std::vector<QcChip>& qcChips();
// The identifier a QC firmware reports for a chip of `model`; nullopt for a model it does not name.
std::optional<std::uint32_t> qcIdentifierOf(std::string_view model);

// The statistics page's edits (control numbers) and their texts, k = 0…11.
struct StatsRow {
    int control;
    std::string_view label; // shown at QC start-up
};
const std::array<StatsRow, 12>& statsRows();
// "ID错误:%d个" … for each counter.
std::array<std::string, 12> statsTexts(const ErrorStats& counters);

// "2023-07-04" style date text of a year and month-day; "YYYY-MM-DD" parsed back into them (false
// for anything but a real calendar date).
std::string dateText(int year, int monthDay);
bool parseDate(std::string_view text, int& year, int& monthDay);

} // namespace kelvor::qc
