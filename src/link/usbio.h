/*
 * The C interface a programmer library exports for the station (libusbio.so on Linux). The station
 * loads the library with dlopen and resolves every function below by its name; a library that lacks
 * one of the thirteen USBIO_ functions is refused with a message naming what is missing.
 *
 * Results: every function returns int, 0 for success where a result is tested, unless its comment
 * says otherwise.
 *
 * Threads: one thread of the station sits in USBIO_OTP_RECV while other threads call USBIO_OTP_SEND,
 * USBIO_ZEP_IAP and USBIO_SET_ZEP; the library must allow that. USBIO_OTP_RECV waits a short time
 * (tens of milliseconds) for a report and returns non-zero when none came, so that the station's
 * receive loop neither spins nor hangs; it also returns once the device is closed or removed.
 *
 * Optional extensions (USBIOX_): a library may export them; the station loads a library without them.
 */
#ifndef KELVOR_LINK_USBIO_H
#define KELVOR_LINK_USBIO_H

#include <stdint.h>

#if defined(__GNUC__)
#define USBIO_API __attribute__((visibility("default")))
#else
#define USBIO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Size of one status report stored by USBIO_OTP_RECV. */
#define USBIO_REPORT_SIZE 64
/* USBIOX_LastOsError value of an open that found the device already open (a sharing violation). */
#define USBIO_ERROR_ALREADY_OPEN 32

/* A device-interface class identifier in the usual 16-byte layout. */
typedef struct USBIO_GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} USBIO_GUID;

/* Selects the devices to enumerate: the interface class (HID) and a filter such as
 * "vid_0b7a&pid_0731". Result ignored. */
USBIO_API int USBIO_SetDeviceID(const USBIO_GUID* classGuid, const char* filter);
/* The library's version. Result ignored. */
USBIO_API int USBIO_GetDllVersion(void);
/* Bits 0-7: programmers found; bits 8 and up: the index to pass to USBIO_OpenDevice. */
USBIO_API int USBIO_GetDeviceCount(void);
/* Non-zero while a device is open. */
USBIO_API int USBIO_IsConnected(void);
/* A handle (not -1), or -1 when the device cannot be opened; see "OS error of a failed open". */
USBIO_API int USBIO_OpenDevice(int index);
/* Closes the device of `handle`; -1 or an unknown handle closes nothing. Result ignored. */
USBIO_API int USBIO_CloseDevice(int handle);
/* The NUL-terminated interface path of the device opened last (never NULL; "" before any open). It
 * stays after the device is closed or removed, so that a removal event can be matched against it.
 * The text is owned by the library and stays valid until the calling thread calls this function
 * again. */
USBIO_API const char* USBIO_GetDevicePathNameNew(void);
/* Programmer LED. Result ignored. */
USBIO_API int USBIO_SET_LED(int a, int b);
/* Programmer UART set-up (the station passes 9); 0 = link usable. */
USBIO_API int USBIO_UART_CONFIG(int value);
/* Sends `length` bytes of `data` to `offset` of the programmer's current page or block; 0 = sent.
 * Chunked transfers send at most 256 bytes per call. */
USBIO_API int USBIO_OTP_SEND(int offset, int length, const uint8_t* data);
/* Stores one status report of USBIO_REPORT_SIZE bytes at the start of `report` and returns 0, or
 * returns non-zero when no report came within the library's short wait. `spare` is never read. */
USBIO_API int USBIO_OTP_RECV(uint8_t* spare, uint8_t* report);
/* Programmer mode command (1/2 start programming, 13 reset the chip, 30+n offline image); 0 = accepted. */
USBIO_API int USBIO_SET_ZEP(int mode);
/* Programmer command with three values; 0 = accepted. Answers arrive as status reports. */
USBIO_API int USBIO_ZEP_IAP(int command, int a, int b, int c);

/*
 * OS error of a failed open. After USBIO_OpenDevice returned -1 the station asks USBIOX_LastOsError
 * when the library exports it: USBIO_ERROR_ALREADY_OPEN when another process holds the device, any
 * other non-zero value for other failures. A library without it sets errno before returning -1; the
 * station reads errno at once and takes EBUSY as "already open".
 */
USBIO_API int USBIOX_LastOsError(void);
/*
 * Non-zero when the library simulates the programmer rather than driving one. The station marks
 * every result of such a library as simulated, whatever the file is called.
 */
USBIO_API int USBIOX_IsSimulated(void);

#ifdef __cplusplus
}
#endif

#endif /* KELVOR_LINK_USBIO_H */
