#pragma once
// The one way to the programmer: the thirteen calls of the programmer library, as a C++ interface.
// Implementations: the simulated programmer (link/sim) and the vendor-library loader (link/station).
#include "link/device_event.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::link {

inline constexpr int kReportSize = 64;
// OS error of an open that failed because the device is already open (a sharing violation).
inline constexpr int kErrorAlreadyOpen = 32;
inline constexpr std::string_view kDeviceFilter = "vid_0b7a&pid_0731";
inline constexpr std::string_view kInterfacePrefix = "\\\\?\\HID#VID_0B7A&PID_0731"; // 25 characters

// Controls of a programmer on a test bench — the simulated one: plugging it, the chip in its
// socket, its faults. The station offers them in its 模拟器 menu.
class BenchControls {
public:
    virtual ~BenchControls() = default;
    virtual void plug() = 0;
    virtual void unplug() = 0;
    virtual bool plugged() const = 0;
    // Puts a fresh, blank chip of the same model into the socket.
    virtual void insertBlankChip() = 0;
    // The station selected `model` (menu, restore, auto-detect). A socket that follows the selection
    // takes a blank chip of that model, as an operator changing chips would; a fixed one keeps its chip.
    virtual void modelSelected(std::string_view model) = 0;
    // How the socket is chosen: "auto" (follows the selection), "none" (empty) or a model name.
    virtual std::string socketChoice() const = 0;
    // Takes a choice as socketChoice() gives it; returns an error text, empty when it was taken.
    virtual std::string setSocketChoice(std::string_view choice) = 0;
    // The model of the chip in the socket, empty when the socket is empty.
    virtual std::string socketModel() const = 0;
    // The models whose chips the socket can hold, in catalog order.
    virtual std::vector<std::string> socketModels() const = 0;
    // Whether a burnt chip leaves for a fresh blank one when the next burn starts.
    virtual bool freshChipAfterBurn() const = 0;
    virtual void setFreshChipAfterBurn(bool on) = 0;
    struct FaultChoice {
        std::string name;   // as --sim-fault takes it
        std::string effect; // one line for the menu
    };
    virtual std::vector<FaultChoice> faultChoices() const = 0;
    virtual std::string activeFaults() const = 0; // "a,b" or "none"
    // Replaces the active faults; returns an error text, empty when the list was taken.
    virtual std::string setActiveFaults(std::string_view list) = 0;
};

class Programmer {
public:
    virtual ~Programmer() = default;

    virtual void setDeviceId(std::string_view filter) = 0;        // USBIO_SetDeviceID
    virtual int getDllVersion() = 0;                               // USBIO_GetDllVersion
    virtual int getDeviceCount() = 0;                              // bits 0-7 count, 8 up open index
    virtual int isConnected() = 0;                                 // non-zero: already open
    virtual int openDevice(int index) = 0;                         // handle, or -1 (see lastOsError)
    virtual int closeDevice(int handle) = 0;
    virtual std::string devicePathName() = 0;                      // USBIO_GetDevicePathNameNew
    virtual int setLed(int a, int b) = 0;
    virtual int uartConfig(int value) = 0;                         // 0: link usable
    virtual int otpSend(int offset, int length, const std::uint8_t* data) = 0;
    // Stores one 64-byte report in `report` and returns 0, or returns non-zero when none came.
    // Blocks for at most a short timeout, so callers never spin.
    virtual int otpRecv(std::uint8_t* spare, std::uint8_t* report) = 0;
    virtual int setZep(int mode) = 0;
    virtual int zepIap(int command, int a, int b, int c) = 0;

    // OS error of the last failed openDevice (kErrorAlreadyOpen for a sharing violation).
    virtual int lastOsError() = 0;
    // A programmer that raises its own arrival and removal events (the simulator's virtual plug)
    // delivers them to `sink` on the thread that caused them and returns true. False: the events
    // come from the OS device monitor. An empty sink stops the delivery.
    virtual bool setDeviceEventSink(DeviceEventSink sink) { return false; }
    // Capability, not identity: the station shows that a burn is simulated.
    virtual bool simulated() const { return false; }
    // The bench controls of a programmer that has them (the simulator), else null.
    virtual BenchControls* benchControls() { return nullptr; }
    // A short description for the log ("simulated programmer", the vendor library path).
    virtual std::string description() const = 0;
};

} // namespace kelvor::link
