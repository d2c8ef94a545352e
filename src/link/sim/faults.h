#pragma once
// Faults of the simulated programmer, chosen at run time ("--sim-fault open-busy,ng-rate=25").
#include <bitset>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvor::link::sim {

enum class Fault : std::uint8_t {
    NoProgrammer,      // nothing enumerates: count 0, every open fails
    OpenBusy,          // open fails with the sharing violation (another process holds the programmer)
    OpenFail,          // open fails with another OS error
    UartFail,          // USBIO_UART_CONFIG fails
    UsbFail,           // command 8, the first command on a link, fails
    DetectFail,        // command 17 (auto-detect) fails
    NoHwVersion,       // auto-detect answers without the hardware-version report 0xFF
    Garbage,           // every answer carries status 0x18, a code the station does not know
    Silent,            // commands are accepted but never answered
    BlankFail,         // the blank check finds the chip programmed
    VerifyFail,        // one bit of the chip does not take its 0: verify error with its address
    IdError,           // the chip answers a wrong identifier
    NoAck,             // reports that answer a transfer's wait are never sent
    NoAckFirst,        // only those that answer the transfer's first wait
    NoAckMiddle,       // only those of the first wait on data that is neither first nor last
    NoAckLast,         // only those that answer the transfer's closing command
    UnplugMidTransfer, // the third OTP_SEND of a link fails and the programmer leaves the bus
    ChecksumError,     // the programmer computes a different check word than the image carries
    FwBlockReject,     // the boot loader cannot write the first firmware block (0x0B)
    NoReturn,          // after command 9 the programmer leaves the bus and does not come back
    PowerLoss,         // power fails once in an update, at its second data packet; back in the boot loader
    QcSilent,          // command 18 (QC test) is accepted and never answered
    QcChecksum,        // the QC firmware reads a checksum that differs from the chip's
    QcVersion,         // the QC firmware reads a firmware version one above the chip's
    QcVoltage,         // the QC firmware measures a supply voltage above 5500 mV
    NgRate,            // each burn fails with the fault set's NG percentage (seeded)
};
inline constexpr int kFaultCount = 26;

// What "ng-rate" means when it is switched on without a value (the GUI's menu toggles it).
inline constexpr int kDefaultNgRate = 10;

struct FaultInfo {
    Fault fault;
    std::string_view name;
    std::string_view effect;   // one line, shown in the simulator menu
    bool takesPercent = false; // written "name=P", P a whole percentage 0-100
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
    // NgRate switched on without a rate takes kDefaultNgRate.
    void set(Fault f, bool on = true) {
        if (f == Fault::NgRate) return setNgRate(on ? (ngRate_ > 0 ? ngRate_ : kDefaultNgRate) : 0);
        bits_.set(static_cast<std::size_t>(f), on);
    }
    // Percentage of burns that fail, 0 when NgRate is off. A rate of 0 switches NgRate off; more
    // than 100 is 100.
    int ngRate() const { return has(Fault::NgRate) ? ngRate_ : 0; }
    void setNgRate(int percent) {
        ngRate_ = percent <= 0 ? 0 : percent > 100 ? 100 : percent;
        bits_.set(static_cast<std::size_t>(Fault::NgRate), ngRate_ > 0);
    }
    bool empty() const { return bits_.none(); }
    // "open-busy,ng-rate=25" in table order; "none" when empty.
    std::string names() const;
    friend bool operator==(const FaultSet&, const FaultSet&) = default;

private:
    std::bitset<kFaultCount> bits_;
    int ngRate_ = 0; // meaningful while NgRate is set
};

struct FaultParse {
    FaultSet faults;
    std::string error; // empty: parsed
    bool ok() const { return error.empty(); }
};
// "a,b,c": names compared without regard to case, blanks around names and empty items skipped.
// A fault that takes a percentage needs one ("ng-rate=25", 0-100); the others take no value. An
// unknown name is an error that lists the known ones; any error leaves the set empty.
FaultParse parseFaults(std::string_view list);

} // namespace kelvor::link::sim
