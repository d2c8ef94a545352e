#pragma once
// Faults of the simulated programmer, chosen at run time ("--sim-fault open-busy,silent").
#include <bitset>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvor::link::sim {

enum class Fault : std::uint8_t {
    NoProgrammer, // nothing enumerates: count 0, every open fails
    OpenBusy,     // open fails with the sharing violation (another process holds the programmer)
    OpenFail,     // open fails with another OS error
    UartFail,     // USBIO_UART_CONFIG fails
    UsbFail,      // command 8, the first command on a link, fails
    DetectFail,   // command 17 (auto-detect) fails
    NoHwVersion,  // auto-detect answers without the hardware-version report 0xFF
    Garbage,      // every answer carries status 0x18, a code the station does not know
    Silent,       // commands are accepted but never answered
    // The burn faults join here, each with its row in the name table.
};
inline constexpr int kFaultCount = 9;

struct FaultInfo {
    Fault fault;
    std::string_view name;
    std::string_view effect;
};
// One row per fault, in enum order.
std::span<const FaultInfo> faultTable();

class FaultSet {
public:
    FaultSet() = default;
    FaultSet(std::initializer_list<Fault> faults) {
        for (Fault f : faults)
            set(f);
    }
    bool has(Fault f) const { return bits_.test(static_cast<std::size_t>(f)); }
    void set(Fault f, bool on = true) { bits_.set(static_cast<std::size_t>(f), on); }
    bool empty() const { return bits_.none(); }
    // "open-busy,silent" in table order; "none" when empty.
    std::string names() const;
    friend bool operator==(const FaultSet&, const FaultSet&) = default;

private:
    std::bitset<kFaultCount> bits_;
};

struct FaultParse {
    FaultSet faults;
    std::string error; // empty: parsed
    bool ok() const { return error.empty(); }
};
// "a,b,c": names compared without regard to case, blanks around names and empty items skipped.
// An unknown name is an error that lists the known ones.
FaultParse parseFaults(std::string_view list);

} // namespace kelvor::link::sim
