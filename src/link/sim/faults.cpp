#include "link/sim/faults.h"

#include <algorithm>
#include <cctype>

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
    }
    return out.empty() ? "none" : out;
}

FaultParse parseFaults(std::string_view list) {
    FaultParse result;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (item.empty()) continue;
        const auto* row = std::find_if(std::begin(kFaults), std::end(kFaults),
                                       [&](const FaultInfo& f) { return equalNoCase(f.name, item); });
        if (row == std::end(kFaults)) {
            std::string known;
            for (const auto& f : kFaults) {
                if (!known.empty()) known += ", ";
                known += f.name;
            }
            result.error = "unknown simulator fault \"" + std::string(item) + "\" (known: " + known + ")";
            result.faults = {};
            return result;
        }
        result.faults.set(row->fault);
    }
    return result;
}

} // namespace kelvor::link::sim
