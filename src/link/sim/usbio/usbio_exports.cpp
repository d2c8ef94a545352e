// The simulated programmer as a programmer library with the C interface of link/usbio.h.
//
// Configured by the environment, read once at the first call (variables in link/sim/environment.h:
// KELVOR_SIM_CHIP, KELVOR_SIM_FAULTS, KELVOR_SIM_TIMING, KELVOR_SIM_SEED). A value that does not
// parse is reported on stderr and the programmer stays off the bus, so that a mistyped set-up never
// runs as something it was not asked to be.
#include "link/sim/environment.h"
#include "link/usbio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using kelvor::link::sim::SimOptions;
using kelvor::link::sim::SimulatedProgrammer;

SimulatedProgrammer& sim() {
    // Never destroyed: a receive thread may still wait in USBIO_OTP_RECV while the process exits.
    static SimulatedProgrammer* instance = [] {
        auto parsed =
            kelvor::link::sim::simOptionsFromEnvironment([](const char* name) { return std::getenv(name); });
        if (!parsed.ok()) {
            std::fprintf(stderr, "kelvor_sim_usbio: %s; the simulated programmer stays off the bus\n",
                         parsed.error.c_str());
            parsed.options = SimOptions{};
            parsed.options.faults.set(kelvor::link::sim::Fault::NoProgrammer);
        }
        return new SimulatedProgrammer(parsed.options);
    }();
    return *instance;
}

} // namespace

extern "C" {

USBIO_API int USBIO_SetDeviceID(const USBIO_GUID* classGuid, const char* filter) {
    const kelvor::link::Guid hid = kelvor::link::kHidClassGuid;
    const bool isHid =
        classGuid && classGuid->data1 == hid.data1 && classGuid->data2 == hid.data2 &&
        classGuid->data3 == hid.data3 &&
        std::equal(std::begin(classGuid->data4), std::end(classGuid->data4), hid.data4.begin());
    // Devices of another class never match: the programmer is a HID device.
    sim().setDeviceId(isHid && filter ? filter : "");
    return 0;
}

USBIO_API int USBIO_GetDllVersion(void) {
    return sim().getDllVersion();
}
USBIO_API int USBIO_GetDeviceCount(void) {
    return sim().getDeviceCount();
}
USBIO_API int USBIO_IsConnected(void) {
    return sim().isConnected();
}

USBIO_API int USBIO_OpenDevice(int index) {
    const int handle = sim().openDevice(index);
    if (handle == -1) errno = sim().lastOsError() == kelvor::link::kErrorAlreadyOpen ? EBUSY : ENODEV;
    return handle;
}

USBIO_API int USBIO_CloseDevice(int handle) {
    return sim().closeDevice(handle);
}

USBIO_API const char* USBIO_GetDevicePathNameNew(void) {
    thread_local std::string path;
    path = sim().devicePathName();
    return path.c_str();
}

USBIO_API int USBIO_SET_LED(int a, int b) {
    return sim().setLed(a, b);
}
USBIO_API int USBIO_UART_CONFIG(int value) {
    return sim().uartConfig(value);
}
USBIO_API int USBIO_OTP_SEND(int offset, int length, const uint8_t* data) {
    return sim().otpSend(offset, length, data);
}
USBIO_API int USBIO_OTP_RECV(uint8_t* spare, uint8_t* report) {
    return sim().otpRecv(spare, report);
}
USBIO_API int USBIO_SET_ZEP(int mode) {
    return sim().setZep(mode);
}
USBIO_API int USBIO_ZEP_IAP(int command, int a, int b, int c) {
    return sim().zepIap(command, a, b, c);
}
USBIO_API int USBIOX_LastOsError(void) {
    return sim().lastOsError();
}
USBIO_API int USBIOX_IsSimulated(void) {
    return 1;
}

} // extern "C"
