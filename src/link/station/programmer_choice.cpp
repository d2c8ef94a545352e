#include "link/station/programmer_choice.h"

#include "link/sim/simulated_programmer.h"
#include "link/station/tracing_programmer.h"
#include "link/station/vendor_library.h"
#include "qc/evaluation.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kelvor::link {
namespace {

std::string trimmed(std::string s) {
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The longest pause a factor may stretch the simulator to, as the simulator itself allows.
constexpr double kMaxTiming = 1000;

std::optional<double> parseTiming(const std::string& text) {
    if (text.empty()) return 1.0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < 0 || v > kMaxTiming) return std::nullopt;
    return v;
}

std::optional<std::uint64_t> parseSeed(const std::string& text) {
    if (text.empty()) return sim::SimOptions{}.seed;
    if (text.find('-') != std::string::npos) return std::nullopt; // strtoull would wrap it
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE) return std::nullopt;
    return v;
}

ProgrammerChoice simulator(const ProgrammerOptions& options, const std::string& why) {
    ProgrammerChoice choice;
    const auto chip = sim::parseSocketChip(options.simChip);
    const auto faults = sim::parseFaults(options.simFaults);
    const std::string fresh = trimmed(options.simFreshChip);
    if (!chip.ok()) choice.problems.push_back(chip.error);
    if (!faults.ok()) choice.problems.push_back(faults.error);
    if (!fresh.empty() && fresh != "0" && fresh != "1")
        choice.problems.push_back("SIMULATOR/FRESHCHIP \"" + fresh + "\" is not 0 or 1");
    const auto timing = parseTiming(trimmed(options.simTiming));
    const auto seed = parseSeed(trimmed(options.simSeed));
    if (!timing) choice.problems.push_back("SIMULATOR/TIMING \"" + trimmed(options.simTiming) + "\" is not a factor from 0 to 1000");
    if (!seed) choice.problems.push_back("SIMULATOR/SEED \"" + trimmed(options.simSeed) + "\" is not a number");
    sim::QcChipValues qc;
    auto number16 = [&](const std::string& text, const char* key, std::uint16_t& out) {
        const std::string t = trimmed(text);
        if (t.empty()) return;
        if (t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos || std::stol(t) > 65535)
            choice.problems.push_back(std::string("SIMULATOR/") + key + " \"" + t + "\" is not a number 0-65535");
        else
            out = static_cast<std::uint16_t>(std::stol(t));
    };
    number16(options.simQcVersion, "QCVERSION", qc.version);
    number16(options.simQcVoltage, "QCVOLTAGE", qc.millivolts);
    if (const std::string date = trimmed(options.simQcDate); !date.empty()) {
        int year = 0, monthDay = 0;
        if (!qc::parseDate(date, year, monthDay) || year > 65535)
            choice.problems.push_back("SIMULATOR/QCDATE \"" + date + "\" is not a date YYYY-MM-DD");
        qc.year = static_cast<std::uint16_t>(year);
        qc.monthDay = static_cast<std::uint16_t>(monthDay);
    }
    if (!choice.problems.empty()) {
        choice.description = "no programmer: the simulator's options are not valid";
        return choice;
    }
    sim::SimOptions o;
    o.chip = chip.chip;
    o.followSelection = chip.follow;
    o.faults = faults.faults;
    o.autoInsert = fresh != "0";
    o.timing = *timing;
    o.seed = *seed;
    choice.transferPace = std::min(*timing, 1.0);
    o.qc = qc;
    choice.programmer = std::make_unique<sim::SimulatedProgrammer>(o);
    choice.description = choice.programmer->description() + why;
    return choice;
}

ProgrammerChoice vendor(const std::string& path) {
    ProgrammerChoice choice;
    auto load = VendorLibrary::load(path);
    if (!load.library) {
        choice.problems.push_back(load.error);
        choice.description = "no programmer: " + load.error;
        return choice;
    }
    choice.programmer = std::move(load.library);
    choice.description = choice.programmer->description();
    return choice;
}

} // namespace

ProgrammerOptions programmerOptionsFromSettings(const Settings& settings) {
    ProgrammerOptions o;
    o.programmer = settings.readText("KELVOR", "PROGRAMMER");
    o.simChip = settings.readText("SIMULATOR", "CHIP");
    o.simFreshChip = settings.readText("SIMULATOR", "FRESHCHIP");
    o.simFaults = settings.readText("SIMULATOR", "FAULTS");
    o.simTiming = settings.readText("SIMULATOR", "TIMING");
    o.simSeed = settings.readText("SIMULATOR", "SEED");
    o.trace = settings.readText("SIMULATOR", "TRACE");
    o.simQcVersion = settings.readText("SIMULATOR", "QCVERSION");
    o.simQcDate = settings.readText("SIMULATOR", "QCDATE");
    o.simQcVoltage = settings.readText("SIMULATOR", "QCVOLTAGE");
    return o;
}

void applyCommandLine(ProgrammerOptions& options, const std::optional<std::string>& programmer,
                      const std::optional<std::string>& simChip, const std::vector<std::string>& simFaults,
                      const std::optional<std::string>& trace) {
    if (programmer) options.programmer = *programmer;
    if (simChip) options.simChip = *simChip;
    if (!simFaults.empty()) {
        options.simFaults.clear();
        for (const auto& f : simFaults) {
            if (!options.simFaults.empty()) options.simFaults += ',';
            options.simFaults += f;
        }
    }
    if (trace) options.trace = *trace;
}

ProgrammerChoice chooseProgrammer(const ProgrammerOptions& options, const std::filesystem::path& programDir) {
    const std::string which = trimmed(options.programmer);
    ProgrammerChoice choice;
    if (which.empty() || equalNoCase(which, "auto")) {
        const auto beside = programDir / kVendorLibraryName;
        std::error_code ec;
        if (std::filesystem::exists(beside, ec))
            choice = vendor(beside.string());
        else
            choice = simulator(options, " (no " + std::string(kVendorLibraryName) + " beside the program)");
    } else if (equalNoCase(which, "sim")) {
        choice = simulator(options, {});
    } else {
        choice = vendor(which);
    }

    const std::string trace = trimmed(options.trace);
    if (choice.programmer && !trace.empty()) {
        std::string error;
        if (std::FILE* f = TracingProgrammer::openTraceFile(trace, error)) {
            choice.programmer = std::make_unique<TracingProgrammer>(std::move(choice.programmer), f);
            choice.description += ", traced to " + trace;
        } else {
            choice.problems.push_back(error + " (the programmer runs untraced)");
        }
    }
    return choice;
}

} // namespace kelvor::link
