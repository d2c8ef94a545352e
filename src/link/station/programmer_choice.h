#pragma once
// The one place that decides which programmer the station drives.
//
//   KELVOR/PROGRAMMER  --programmer   choice
//   missing, "", auto  auto           libusbio.so beside the program when the file is there,
//                                     else the simulated programmer
//   SIM (any case)     sim            the simulated programmer
//   anything else      PATH           that vendor library
//
// A vendor library that fails to load (the named one, or libusbio.so beside the program) leaves the
// station with no programmer and a message; it never falls back to the simulator, so an operator
// cannot get a simulated burn by accident. Simulator options (SIMULATOR/CHIP, FRESHCHIP, FAULTS,
// TIMING and SEED,
// --sim-chip, --sim-fault) only matter when the simulator is chosen; a value that does not parse
// also leaves the station with no programmer. SIMULATOR/TRACE and --trace wrap whichever
// programmer was chosen in a trace; a trace file that cannot be opened is reported and the
// programmer runs untraced.
#include "base/settings.h"
#include "link/programmer.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvor::link {

inline constexpr const char* kVendorLibraryName = "libusbio.so";

struct ProgrammerOptions {
    std::string programmer; // "", "auto", "sim" (any case) or a library path
    std::string simChip;    // model name, "none", "" or "auto" for a socket that follows the selection
    std::string simFreshChip; // "0": a burnt chip stays in the socket; "", "1": a fresh one replaces it
    std::string simFaults;  // "a,b,c"
    std::string simTiming;  // factor on the simulator's answer delays and the transfer pauses; "": 1
    std::string simSeed;    // the simulator's random seed (decimal or 0x hex); "": its default
    std::string trace;      // trace file, "" for none
    // What the simulated QC firmware reads from a chip: version (0-65535), date (YYYY-MM-DD) and
    // supply voltage in mV (0-65535); "" for the simulator's own.
    std::string simQcVersion;
    std::string simQcDate;
    std::string simQcVoltage;
};

ProgrammerOptions programmerOptionsFromSettings(const Settings& settings);

// The command line over the settings: each option given replaces its setting. Repeated
// --sim-fault values add up.
void applyCommandLine(ProgrammerOptions& options, const std::optional<std::string>& programmer,
                      const std::optional<std::string>& simChip, const std::vector<std::string>& simFaults,
                      const std::optional<std::string>& trace);

struct ProgrammerChoice {
    std::unique_ptr<Programmer> programmer; // null: the station runs with no programmer
    std::string description;                // one line for the log
    std::vector<std::string> problems;      // clear messages, one per problem
    // Factor on the station's transfer pauses. They pace a real programmer's buffer, so only the
    // simulator, whose answers the same factor speeds up, can shorten them.
    double transferPace = 1.0;
};

// `programDir` is where libusbio.so is looked for in auto mode.
ProgrammerChoice chooseProgrammer(const ProgrammerOptions& options, const std::filesystem::path& programDir);

} // namespace kelvor::link
