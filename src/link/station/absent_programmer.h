#pragma once
// The programmer when none could be chosen (a vendor library that failed to load): nothing
// enumerates and every command fails, so the station runs and says why, but never burns.
#include "link/programmer.h"

namespace kelvor::link {

class AbsentProgrammer final : public Programmer {
public:
    explicit AbsentProgrammer(std::string why) : why_(std::move(why)) {}
    void setDeviceId(std::string_view) override {}
    int getDllVersion() override { return 0; }
    int getDeviceCount() override { return 0; }
    int isConnected() override { return 0; }
    int openDevice(int) override { return -1; }
    int closeDevice(int) override { return -1; }
    std::string devicePathName() override { return {}; }
    int setLed(int, int) override { return -1; }
    int uartConfig(int) override { return -1; }
    int otpSend(int, int, const std::uint8_t*) override { return -1; }
    int otpRecv(std::uint8_t*, std::uint8_t*) override { return -1; }
    int setZep(int) override { return -1; }
    int zepIap(int, int, int, int) override { return -1; }
    int lastOsError() override { return 2; }
    std::string description() const override { return "no programmer (" + why_ + ")"; }

private:
    std::string why_;
};

} // namespace kelvor::link
