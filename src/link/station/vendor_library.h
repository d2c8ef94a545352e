#pragma once
// A programmer library of the maker (libusbio.so), loaded with dlopen and driven through the C
// interface of link/usbio.h.
#include "link/programmer.h"

#include <atomic>
#include <memory>
#include <string>

namespace kelvor::link {

class VendorLibrary final : public Programmer {
public:
    struct Load {
        std::unique_ptr<VendorLibrary> library; // null when loading failed
        std::string error;                      // why, naming the library and what it lacks
    };
    // Resolves all thirteen USBIO_ functions by name; a library that cannot be opened or lacks any
    // of them is refused, never half used.
    static Load load(const std::string& path);

    // The library stays mapped: threads it started, or a receive thread still inside it, would
    // crash if its code went away.
    ~VendorLibrary() override;

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
    int lastOsError() override { return lastOsError_.load(); }
    // A library that says so through USBIOX_IsSimulated.
    bool simulated() const override { return simulated_; }
    std::string description() const override;

    const std::string& path() const { return path_; }

    struct Api; // the resolved functions

private:
    VendorLibrary(std::string path, std::unique_ptr<Api> api);

    std::string path_;
    std::unique_ptr<Api> api_;
    bool simulated_ = false;
    std::atomic<int> lastOsError_{0};
};

// OS error of a failed open from errno, for libraries without USBIOX_LastOsError: EBUSY is the
// sharing violation; errno 32 (EPIPE) must not read as one.
int osErrorFromErrno(int e);

} // namespace kelvor::link
