#pragma once
// A Programmer that writes every call to a trace file, one JSON line each, then passes it on:
//   {"t": 12, "call": "USBIO_ZEP_IAP", "args": [17, 0, 0, 0], "result": 0}
//   {"t": 12, "call": "USBIO_OTP_SEND", "args": [0, 4], "result": 0, "data": "0a0b0c0d"}
//   {"t": 80, "report": "13 00 fd …" as 128 lower-case hex digits}
//   {"t": 95, "event": "removal", "path": "\\\\?\\HID#…"}
// "t" counts milliseconds since the link opened (since the tracer started until the first open).
// Receives that brought no report are left out, so that the receive loop does not flood the trace.
#include "link/programmer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace kelvor::link {

class TracingProgrammer final : public Programmer {
public:
    // Takes `out` over and closes it at the end; lines are flushed as they are written.
    TracingProgrammer(std::unique_ptr<Programmer> inner, std::FILE* out);
    ~TracingProgrammer() override;

    // Opens `path` for appending, so that an earlier session's trace is kept. Null with `error`
    // set when the file cannot be opened.
    static std::FILE* openTraceFile(const std::string& path, std::string& error);

    void setDeviceId(std::string_view filter) override;
    int getDllVersion() override;
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
    int lastOsError() override { return inner_->lastOsError(); }
    bool simulated() const override { return inner_->simulated(); }
    BenchControls* benchControls() override { return inner_->benchControls(); }
    std::string description() const override { return inner_->description(); }
    bool setDeviceEventSink(DeviceEventSink sink) override;

    Programmer& inner() { return *inner_; }

private:
    long long elapsedMs() const;
    void write(const std::string& line);

    std::unique_ptr<Programmer> inner_;
    std::FILE* out_;
    std::mutex writeMutex_;
    std::atomic<std::chrono::steady_clock::rep> base_;
};

} // namespace kelvor::link
