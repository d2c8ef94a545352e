#include "link/station/vendor_library.h"

#include "link/usbio.h"

#include <cerrno>
#include <dlfcn.h>

namespace kelvor::link {

struct VendorLibrary::Api {
    decltype(&USBIO_SetDeviceID) setDeviceId = nullptr;
    decltype(&USBIO_GetDllVersion) getDllVersion = nullptr;
    decltype(&USBIO_GetDeviceCount) getDeviceCount = nullptr;
    decltype(&USBIO_IsConnected) isConnected = nullptr;
    decltype(&USBIO_OpenDevice) openDevice = nullptr;
    decltype(&USBIO_CloseDevice) closeDevice = nullptr;
    decltype(&USBIO_GetDevicePathNameNew) devicePathName = nullptr;
    decltype(&USBIO_SET_LED) setLed = nullptr;
    decltype(&USBIO_UART_CONFIG) uartConfig = nullptr;
    decltype(&USBIO_OTP_SEND) otpSend = nullptr;
    decltype(&USBIO_OTP_RECV) otpRecv = nullptr;
    decltype(&USBIO_SET_ZEP) setZep = nullptr;
    decltype(&USBIO_ZEP_IAP) zepIap = nullptr;
    // Optional extensions.
    decltype(&USBIOX_LastOsError) lastOsError = nullptr;
    decltype(&USBIOX_IsSimulated) isSimulated = nullptr;
};

namespace {

template <typename Fn> void resolve(void* handle, const char* name, Fn& slot, std::string* missing) {
    slot = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!slot && missing) {
        if (!missing->empty()) *missing += ", ";
        *missing += name;
    }
}

} // namespace

int osErrorFromErrno(int e) {
    if (e == EBUSY) return kErrorAlreadyOpen;
    if (e == 0 || e == kErrorAlreadyOpen) return EIO;
    return e;
}

VendorLibrary::Load VendorLibrary::load(const std::string& path) {
    const std::string what = "programmer library " + path;
    if (path.empty()) return {nullptr, "programmer library path is empty"};
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return {nullptr, what + " cannot be loaded: " + (why ? why : "unknown error")};
    }
    auto api = std::make_unique<Api>();
    std::string missing;
    resolve(handle, "USBIO_SetDeviceID", api->setDeviceId, &missing);
    resolve(handle, "USBIO_GetDllVersion", api->getDllVersion, &missing);
    resolve(handle, "USBIO_GetDeviceCount", api->getDeviceCount, &missing);
    resolve(handle, "USBIO_IsConnected", api->isConnected, &missing);
    resolve(handle, "USBIO_OpenDevice", api->openDevice, &missing);
    resolve(handle, "USBIO_CloseDevice", api->closeDevice, &missing);
    resolve(handle, "USBIO_GetDevicePathNameNew", api->devicePathName, &missing);
    resolve(handle, "USBIO_SET_LED", api->setLed, &missing);
    resolve(handle, "USBIO_UART_CONFIG", api->uartConfig, &missing);
    resolve(handle, "USBIO_OTP_SEND", api->otpSend, &missing);
    resolve(handle, "USBIO_OTP_RECV", api->otpRecv, &missing);
    resolve(handle, "USBIO_SET_ZEP", api->setZep, &missing);
    resolve(handle, "USBIO_ZEP_IAP", api->zepIap, &missing);
    resolve(handle, "USBIOX_LastOsError", api->lastOsError, nullptr);
    resolve(handle, "USBIOX_IsSimulated", api->isSimulated, nullptr);
    if (!missing.empty()) {
        dlclose(handle); // nothing of it has run yet
        return {nullptr, what + " lacks " + missing};
    }
    std::unique_ptr<VendorLibrary> lib(new VendorLibrary(path, std::move(api)));
    return {std::move(lib), {}};
}

VendorLibrary::VendorLibrary(std::string path, std::unique_ptr<Api> api)
    : path_(std::move(path)), api_(std::move(api)) {
    simulated_ = api_->isSimulated && api_->isSimulated() != 0;
}

VendorLibrary::~VendorLibrary() = default;

void VendorLibrary::setDeviceId(std::string_view filter) {
    USBIO_GUID g{};
    g.data1 = kHidClassGuid.data1;
    g.data2 = kHidClassGuid.data2;
    g.data3 = kHidClassGuid.data3;
    for (std::size_t i = 0; i < 8; ++i)
        g.data4[i] = kHidClassGuid.data4[i];
    const std::string text(filter);
    api_->setDeviceId(&g, text.c_str());
}

int VendorLibrary::getDllVersion() {
    return api_->getDllVersion();
}
int VendorLibrary::getDeviceCount() {
    return api_->getDeviceCount();
}
int VendorLibrary::isConnected() {
    return api_->isConnected();
}

int VendorLibrary::openDevice(int index) {
    errno = 0;
    const int handle = api_->openDevice(index);
    const int e = errno; // before anything else can touch it
    if (handle == -1) lastOsError_ = api_->lastOsError ? api_->lastOsError() : osErrorFromErrno(e);
    return handle;
}

int VendorLibrary::closeDevice(int handle) {
    return api_->closeDevice(handle);
}

std::string VendorLibrary::devicePathName() {
    const char* p = api_->devicePathName();
    return p ? std::string(p) : std::string();
}

int VendorLibrary::setLed(int a, int b) {
    return api_->setLed(a, b);
}
int VendorLibrary::uartConfig(int value) {
    return api_->uartConfig(value);
}

int VendorLibrary::otpSend(int offset, int length, const std::uint8_t* data) {
    // The library would read `length` bytes from `data`; refuse what it cannot read safely.
    if (offset < 0 || length < 0 || (length > 0 && !data)) return 1;
    return api_->otpSend(offset, length, data);
}

int VendorLibrary::otpRecv(std::uint8_t* spare, std::uint8_t* report) {
    if (!report) return 1;
    std::uint8_t ownSpare = 0;
    return api_->otpRecv(spare ? spare : &ownSpare, report);
}

int VendorLibrary::setZep(int mode) {
    return api_->setZep(mode);
}
int VendorLibrary::zepIap(int command, int a, int b, int c) {
    return api_->zepIap(command, a, b, c);
}

std::string VendorLibrary::description() const {
    return "programmer library " + path_ + (simulated_ ? " (simulated)" : "");
}

} // namespace kelvor::link
