#include "link/sim/faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kelvor::link::sim {
namespace {

constexpr FaultInfo kFaults[] = {
    {Fault::NoProgrammer, "no-programmer", "no programmer enumerates"},
    {Fault::OpenBusy, "open-busy", "open fails: the programmer is already open (OS error 32)"},
    {Fault::OpenFail, "open-fail", "open fails with another OS error"},
    {Fault::UartFail, "uart-fail", "the UART set-up fails"},
    {Fault::UsbFail, "usb-fail", "command 8 fails"},
    {Fault::DetectFail, "detect-fail", "command 17 (auto-detect) fails"},
    {Fault::NoHwVersion, "no-hw-version", "auto-detect answers without the hardware version"},
    {Fault::Garbage, "garbage", "answers carry the unknown status 0x18"},
    {Fault::Silent, "silent", "commands are accepted and never answered"},
    {Fault::BlankFail, "blank-fail", "the blank check fails (0x04)"},
    {Fault::VerifyFail, "verify-fail", "a bit of the chip stays 1: verify error with its address (0x08)"},
    {Fault::IdError, "id-error", "the chip answers a wrong identifier (0x01)"},
    {Fault::NoAck, "no-ack", "the answers a transfer waits for never come"},
    {Fault::NoAckFirst, "no-ack-first", "the answer to a transfer's first wait never comes"},
    {Fault::NoAckMiddle, "no-ack-middle",
     "the answer to a transfer's first page (or second block) never comes"},
    {Fault::NoAckLast, "no-ack-last",
     "the answer to a transfer's last wait (the paged tail, a download's end) never comes"},
    {Fault::UnplugMidTransfer, "unplug-mid-transfer",
     "the programmer leaves the bus at the third data packet"},
    {Fault::ChecksumError, "checksum-error", "the programmer computes a different check word (0x24)"},
    {Fault::FwBlockReject, "fw-block-reject", "the boot loader cannot write the first firmware block (0x0B)"},
    {Fault::NoReturn, "no-return", "after entering its boot loader the programmer stays off the bus"},
    {Fault::PowerLoss, "power-loss",
     "power fails once during a firmware download; the programmer comes back in its boot loader"},
    {Fault::QcSilent, "qc-silent", "command 18 (QC test) is never answered"},
    {Fault::QcChecksum, "qc-checksum", "the QC test reads a wrong checksum"},
    {Fault::QcVersion, "qc-version", "the QC test reads a wrong firmware version"},
    {Fault::QcVoltage, "qc-voltage", "the QC test measures a supply voltage out of range (5600 mV)"},
    {Fault::NgRate, "ng-rate", "P percent of burns fail (ng-rate=P)", true},
};
static_assert(std::size(kFaults) == kFaultCount);

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const FaultInfo> faultTable() {
    return kFaults;
}

std::string FaultSet::names() const {
    std::string out;
    for (const auto& f : kFaults) {
        if (!has(f.fault)) continue;
        if (!out.empty()) out += ',';
        out += f.name;
        if (f.takesPercent) {
            out += '=';
            out += std::to_string(ngRate());
        }
    }
    return out.empty() ? "none" : out;
}

FaultParse parseFaults(std::string_view list) {
    FaultParse result;
    auto fail = [&result](std::string error) {
        result.error = std::move(error);
        result.faults = {};
        return result;
    };
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (item.empty()) continue;
        const auto equals = item.find('=');
        const std::string_view name = trim(item.substr(0, equals));
        const auto* row = std::find_if(std::begin(kFaults), std::end(kFaults),
                                       [&](const FaultInfo& f) { return equalNoCase(f.name, name); });
        if (row == std::end(kFaults)) {
            std::string known;
            for (const auto& f : kFaults) {
                if (!known.empty()) known += ", ";
                known += f.name;
                if (f.takesPercent) known += "=P";
            }
            return fail("unknown simulator fault \"" + std::string(item) + "\" (known: " + known + ")");
        }
        if (!row->takesPercent) {
            if (equals != std::string_view::npos)
                return fail("simulator fault \"" + std::string(row->name) + "\" takes no value");
            result.faults.set(row->fault);
            continue;
        }
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : trim(item.substr(equals + 1));
        int percent = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), percent);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() || percent < 0 ||
            percent > 100)
            return fail("simulator fault \"" + std::string(row->name) +
                        "\" needs a percentage from 0 to 100 (" + std::string(row->name) + "=25)");
        result.faults.setNgRate(percent);
    }
    return result;
}

} // namespace kelvor::link::sim
