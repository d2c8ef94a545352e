#pragma once
// Device-interface arrival and removal, as the station's device monitor hands them to the connect
// logic. The monitor of real hardware and the simulated programmer raise the same events.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kelvor::link {

// A device-interface class identifier in the usual 16-byte layout.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// The HID device-interface class; the programmer enumerates as a HID device.
inline constexpr Guid kHidClassGuid{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// "{4D1E55B2-F16F-11CF-88CB-001111000030}"
std::string guidText(const Guid& g);

struct DeviceEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    Guid classGuid = kHidClassGuid;
    std::u16string widePath; // the interface path as the event carries it
    std::string path;        // the same path, narrow
};

using DeviceEventSink = std::function<void(const DeviceEvent&)>;

} // namespace kelvor::link
