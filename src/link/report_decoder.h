#pragma once
// The programmer's 64-byte status reports, decoded. This is the one place that knows the status
// table: decodeReport turns a report into the ordered effects the receive thread applies (log lines,
// handshake writes, progress, sounds, notifications) and updates the receiver's own state.
#include "chips/catalog.h"
#include "link/programmer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::link {

// Programmer firmware the status table was written against: status 0x1B reports the running
// version as two 16-bit halves (upper 0x2024, lower 0x1028, the build of 2024-10-28) and a
// mismatch asks the operator to load exactly this version.
inline constexpr std::uint32_t kExpectedFirmwareVersion = 0x20241028;

enum class Notification : std::uint8_t {
    ResultFail,
    ResultPass,
    ControlsEnable,
    DetectResult,
    QcResult,
    QcStats
};
// "WM_RESULT_FAIL", "WM_RESULT_PASS", ...
std::string_view notificationName(Notification n);

enum class Sound : std::uint8_t { Error, Default };
// "error", "default"
std::string_view soundName(Sound s);

// Model groups the decoding distinguishes; membership is by chip family.
enum class ModelGroup : std::uint8_t { A, B, BPlus, T, D, H };
bool inGroup(ModelGroup g, chips::Family f);

// What the receive thread keeps between reports. decodeReport writes it before it returns, so the
// thread publishes these values first and then applies the effects in order: every "set before
// the line" and "filled before the notification" holds that way.
struct ReceiverState {
    int passCount = 0;
    int failCount = 0;
    bool hwVersionSeen = false;
    bool progressByReport = true;
    std::uint32_t timeBase = 0;      // ms tick; "%dms" in a line is lastEventTick - timeBase
    std::uint32_t lastEventTick = 0; // ms tick of the last report
    std::array<std::uint8_t, 6> detectReply{};
    std::array<std::uint8_t, 15> qcReply{};
    std::array<std::uint16_t, 12> qcErrorStats{};
};

// Read-only inputs owned by others.
struct ReportContext {
    const chips::ModelRow* model = nullptr;      // selected model; nullptr matches no model and no group
    int freqIndex = 6;                           // calibration frequency entry, 0-8
    int programPresses = 0;                      // "烧录" presses so far
    std::span<const std::uint8_t> transferImage; // last image sent; read for the OTP position checks
};

struct Effect {
    enum class Kind : std::uint8_t {
        EventLog,   // text: the message exactly as formatted (log file and pane)
        LinkState,  // value: written into the handshake byte under its lock
        Progress,   // value: progress bar position
        Notify,     // value: a Notification, sent synchronously
        Sound,      // value: a Sound
        EnableBoth, // enable the two buttons of the receiver's record
    };
    Kind kind;
    std::string text;
    int value = 0;

    Notification notification() const { return static_cast<Notification>(value); }
    Sound sound() const { return static_cast<Sound>(value); }
    bool operator==(const Effect&) const = default;
};

// A value a report measured, as the number its line prints it from: "osc.trim", "osc.freq_hz",
// "osc.delta_pct", "slow.trim", "slow.freq_hz", "slow.delta_pct", and per voltage trim
// "<v>.trim", "<v>.volts", "<v>.delta_pct" with <v> one of v1p0, v1, v1p3, v2p15, v3p0.
struct Measure {
    std::string_view name;
    double value = 0;
    bool operator==(const Measure&) const = default;
};

// What one report said, as data, for whoever keeps records of runs: the status code of a class 3
// kind 1 report (its row's first code), the milliseconds its lines print, its first line and the
// values it measured.
struct ReportReading {
    std::optional<std::uint8_t> status;
    int ms = 0;
    std::string line;
    std::vector<Measure> measures;
    std::optional<std::uint32_t> firmwareVersion; // status 0x1B: the programmer's running firmware
    std::optional<std::uint32_t> uid;             // the stand-alone key results: the chip's UID
};

// Handles one report that arrived at tick `now` (ms). Pure apart from `state`; reads only inside
// the 64 bytes and, for the OTP position checks, inside ctx.transferImage. The last effect is
// always WM_CONTROLS_ENABLE, and state.timeBase ends equal to `now`.
std::vector<Effect> decodeReport(std::span<const std::uint8_t, kReportSize> report, std::uint32_t now,
                                 ReceiverState& state, const ReportContext& ctx);
// The same, also filling `reading` (when given) with what the report said as data.
std::vector<Effect> decodeReport(std::span<const std::uint8_t, kReportSize> report, std::uint32_t now,
                                 ReceiverState& state, const ReportContext& ctx, ReportReading* reading);

// True for the status codes of class 3 kind 1 reports that have their own row; every other code
// gets "USB信息返回错误! %dms\n" and a fail.
bool isListedStatus(std::uint8_t code);
// The first code of the row that handles `code` (0x82 gives 0x0F); an unlisted code is itself.
std::uint8_t canonicalStatus(std::uint8_t code);

} // namespace kelvor::link
