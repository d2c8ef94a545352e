#pragma once
// The simulator library's set-up from the environment:
//   KELVOR_SIM_CHIP    model in the socket, "none", or "auto" (the default: EP2706 until the
//                      station names a selected model, which a vendor-library caller never does)
//   KELVOR_SIM_FAULTS  faults, "open-busy,silent"
//   KELVOR_SIM_TIMING  factor on answer delays, 1 when unset, 0 for answers at once
//   KELVOR_SIM_SEED    RNG seed, decimal or 0x hex
//   KELVOR_SIM_AUTO_INSERT  1 (default): a fresh chip replaces a burnt one; 0: the burnt chip stays
#include "link/sim/simulated_programmer.h"

#include <functional>
#include <string>

namespace kelvor::link::sim {

struct EnvironmentParse {
    SimOptions options;
    std::string error; // names the variable; empty: parsed
    bool ok() const { return error.empty(); }
};

// `lookup` returns a variable's value or null when it is unset (std::getenv in the library).
EnvironmentParse simOptionsFromEnvironment(const std::function<const char*(const char*)>& lookup);

} // namespace kelvor::link::sim
