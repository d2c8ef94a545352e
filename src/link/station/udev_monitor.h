#pragma once
// Arrival and removal of the programmer from udev: hidraw devices with the programmer's vendor and
// product id, turned into the interface-path form the connect logic compares.
#include "link/station/link.h"

#include <memory>

namespace kelvor::link {

// Null when this build has no libudev.
std::unique_ptr<DeviceEventSource> makeUdevMonitor();

// "/devices/…/0003:0B7A:0731.0005/hidraw/hidraw2" -> "\\?\HID#VID_0B7A&PID_0731#7&0005&0&0000#{4D1E…}";
// empty for any other device.
std::string interfacePathFromDevpath(std::string_view devpath);

} // namespace kelvor::link
