#pragma once
// The simulated programmer: an ordinary Programmer, marked by simulated(), that enumerates, opens,
// answers the one-shot commands with status reports paced on a monotonic clock, holds a virtual
// OTP chip in its socket and can be plugged and unplugged. Faults are chosen at run time and the
// RNG is seeded, so one set of options always gives the same session.
#include "link/programmer.h"
#include "link/sim/faults.h"
#include "link/sim/sim_parts.h"
#include "link/sim/socket_chips.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvor::link::sim {

struct SimOptions {
    std::optional<SocketChip> chip = defaultSocketChip(); // nullopt: empty socket
    FaultSet faults;
    // Factor on every answer's delay: 1 paces like a programmer, 0 makes answers due at once
    // (at most 1000).
    double timing = 1.0;
    std::uint64_t seed = 0x4B454C564F52ull;
    // How long otpRecv waits for a report before it returns non-zero.
    std::chrono::milliseconds recvWait{30};
};

// Counters of status 0xFB, in the order of the QC statistics page.
using ErrorCounters = std::array<std::uint16_t, 12>;

// Outlives every thread that calls it, as any Programmer must.
class SimulatedProgrammer final : public Programmer {
public:
    // The programmer sits at HID position 3, so that a caller that passes the count, or the whole
    // count value, instead of bits 8 and up to openDevice is caught.
    static constexpr int kDeviceIndex = 3;
    static constexpr int kHandle = 0x51;
    static constexpr int kDllVersion = 0x0100;
    // Reported by 0xFF, bytes 3-4 (major, minor).
    static constexpr std::uint8_t kHardwareVersion[2] = {2, 1};
    // OS errors of a failed open other than kErrorAlreadyOpen.
    static constexpr int kErrorNotFound = 2;
    static constexpr int kErrorDeviceFault = 31;
    // Result of a command the simulator does not carry out.
    static constexpr int kNotSimulated = 0x7E;

    explicit SimulatedProgrammer(SimOptions options = {});
    ~SimulatedProgrammer() override;

    void setDeviceId(std::string_view filter) override;
    int getDllVersion() override { return kDllVersion; }
    int getDeviceCount() override;
    int isConnected() override;
    int openDevice(int index) override;
    int closeDevice(int handle) override;
    std::string devicePathName() override;
    int setLed(int a, int b) override;
    int uartConfig(int value) override;
    int otpSend(int offset, int length, const std::uint8_t* data) override;
    int otpRecv(std::uint8_t* spare, std::uint8_t* report) override;
    int setZep(int mode) override;
    int zepIap(int command, int a, int b, int c) override;
    int lastOsError() override;
    bool simulated() const override { return true; }
    std::string description() const override;
    bool setDeviceEventSink(DeviceEventSink sink) override;

    // Bench controls, for tests, benches and the operator trainer.
    // Plug raises an arrival event and makes the programmer enumerable; unplug closes an open
    // device, drops its pending reports and raises a removal event. Events go to the sink on the
    // calling thread; the sink must not plug or unplug in turn.
    void plug();
    void unplug();
    bool plugged() const;
    void setFaults(FaultSet faults);
    FaultSet faults() const;
    // A fresh, blank chip of that model (nullopt: the socket empties).
    void setSocketChip(std::optional<SocketChip> chip);
    std::optional<SocketChip> socketChip() const;
    void setErrorCounters(const ErrorCounters& counters);
    ErrorCounters errorCounters() const;
    // The interface path the device carries in events and in devicePathName().
    std::string interfacePath() const { return path_; }
    // Bytes received for the current transfer: [0, highWater) of the receive buffer.
    std::vector<std::uint8_t> receivedBytes() const;
    // Serial number and voltage of the last EE voltage write (command 23).
    std::pair<int, int> eeVoltageWrite() const;

private:
    // Callers hold mutex_.
    bool deviceVisible() const;
    void closeLocked();
    void answer(std::uint8_t code, std::span<const std::uint8_t> values, int delayMs);
    std::array<std::uint8_t, 15> qcReply();
    void raise(DeviceEvent::Kind kind);

    const SimOptions options_;
    const std::string path_;

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    Rng rng_;
    FaultSet faults_;
    std::string filter_;
    bool plugged_ = true;
    bool open_ = false;
    std::uint64_t session_ = 0; // changes with every open and close
    int lastOsError_ = 0;
    std::string lastPath_;
    std::optional<SocketChip> chip_;
    std::optional<VirtualOtp> otp_;
    ErrorCounters counters_{};
    std::pair<int, int> eeWrite_{0, 0};
    ReportQueue reports_;
    ReceiveBuffer received_;

    // Serialises event delivery so that events arrive in the order the bench caused them.
    std::mutex eventMutex_;
    DeviceEventSink sink_;
};

} // namespace kelvor::link::sim
