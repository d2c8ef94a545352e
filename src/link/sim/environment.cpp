#include "link/sim/environment.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace kelvor::link::sim {

EnvironmentParse simOptionsFromEnvironment(const std::function<const char*(const char*)>& lookup) {
    EnvironmentParse out;
    SimOptions& o = out.options;
    if (const char* chip = lookup("KELVOR_SIM_CHIP")) {
        auto parsed = parseSocketChip(chip);
        if (!parsed.ok()) return {o, "KELVOR_SIM_CHIP: " + parsed.error};
        o.chip = parsed.chip;
        o.followSelection = parsed.follow;
    }
    if (const char* faults = lookup("KELVOR_SIM_FAULTS")) {
        auto parsed = parseFaults(faults);
        if (!parsed.ok()) return {o, "KELVOR_SIM_FAULTS: " + parsed.error};
        o.faults = parsed.faults;
    }
    if (const char* timing = lookup("KELVOR_SIM_TIMING"); timing && *timing) {
        char* end = nullptr;
        const double v = std::strtod(timing, &end);
        if (*end != '\0' || !std::isfinite(v) || v < 0)
            return {o, std::string("KELVOR_SIM_TIMING: \"") + timing + "\" is not a factor of 0 or more"};
        o.timing = v;
    }
    if (const char* seed = lookup("KELVOR_SIM_SEED"); seed && *seed) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long v = std::strtoull(seed, &end, 0);
        // strtoull accepts a sign and wraps negative numbers; a seed has none.
        if (*end != '\0' || errno == ERANGE || std::string_view(seed).find('-') != std::string_view::npos)
            return {o, std::string("KELVOR_SIM_SEED: \"") + seed + "\" is not a number"};
        o.seed = v;
    }
    if (const char* insert = lookup("KELVOR_SIM_AUTO_INSERT"); insert && *insert) {
        const std::string_view v(insert);
        if (v != "0" && v != "1")
            return {o, std::string("KELVOR_SIM_AUTO_INSERT: \"") + insert + "\" is not 0 or 1"};
        o.autoInsert = v == "1";
    }
    return out;
}

} // namespace kelvor::link::sim
