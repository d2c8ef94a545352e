// A programmer library for the loader's tests: complete but without the optional USBIOX_ functions,
// or, built with STUB_INCOMPLETE, lacking USBIO_OTP_RECV and USBIO_SET_ZEP. Its one programmer is
// always held by another process; the failed open says so through errno alone.
#include "link/usbio.h"

#include <cerrno>

extern "C" {

USBIO_API int USBIO_SetDeviceID(const USBIO_GUID*, const char*) {
    return 0;
}
USBIO_API int USBIO_GetDllVersion(void) {
    return 1;
}
USBIO_API int USBIO_GetDeviceCount(void) {
    return 1;
}
USBIO_API int USBIO_IsConnected(void) {
    return 0;
}
USBIO_API int USBIO_OpenDevice(int) {
    errno = EBUSY;
    return -1;
}
USBIO_API int USBIO_CloseDevice(int) {
    return 0;
}
USBIO_API const char* USBIO_GetDevicePathNameNew(void) {
    return nullptr;
}
USBIO_API int USBIO_SET_LED(int, int) {
    return 0;
}
USBIO_API int USBIO_UART_CONFIG(int) {
    return 1;
}
USBIO_API int USBIO_OTP_SEND(int, int, const uint8_t*) {
    return 1;
}
USBIO_API int USBIO_ZEP_IAP(int, int, int, int) {
    return 1;
}
#ifndef STUB_INCOMPLETE
USBIO_API int USBIO_OTP_RECV(uint8_t*, uint8_t*) {
    return 1;
}
USBIO_API int USBIO_SET_ZEP(int) {
    return 1;
}
#endif
}
