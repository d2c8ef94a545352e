#pragma once
// One burn as the simulated programmer performs it: the reports it sends, in order and with their
// pacing, and what it does to the chip's OTP cells. Pure over its inputs (the cells and the RNG
// change); the programmer queues the steps.
#include "link/sim/burn_profile.h"
#include "link/sim/faults.h"
#include "link/sim/sim_parts.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kelvor::link::sim {

// A report and how long after the step before it the programmer sends it (ms, before the timing
// factor).
struct Step {
    Report report;
    int delayMs = 0;
};
using Steps = std::vector<Step>;

// Why a burn stops.
enum class Failure : std::uint8_t {
    EmptySocket,  // no chip answers: 0x02
    WrongId,      // the chip is not the one the image was prepared for: 0x01
    Layout,       // the image does not fit the chip's family (length, variant): 0x1D
    HeadMismatch, // a paged image's block differs from the one its transfer began with: 0x1D
    HeadMissing,  // a paged transfer began without its 64-byte block: 0x15
    Checksum,     // the check word does not match the image: 0x24
    PageCrc,      // a page or the tail arrived damaged or out of order: 0x43
    Blank,        // the chip is not blank: 0x04
    Verify,       // a cell reads back wrong: 0x08 with its address
};

// Which station wait a failure must release: none (plain burns), the paged start (answer 4 expected)
// or a paged page/tail (answer 10 expected).
enum class Wait : std::uint8_t { None, PagedStart, PagedData };

// The address, expected and read words of a verify error (0x08: LE16 at bytes 6, 8 and 10).
struct VerifyError {
    std::uint16_t address = 0; // word address
    std::uint16_t expected = 0;
    std::uint16_t read = 0;
};

// The failure's line, then for the staged families 0x8E (the NG count and face), and last, when the
// line does not already answer the wait, the code that releases it with a failure (S 12 or S 6).
// `selected` is the family the station has selected (group A decides what 0x00 does).
void appendFailure(Steps& steps, Failure failure, const BurnProfile& profile, Wait wait,
                   chips::Family selected, const VerifyError& verify = {});

// Chip ID and calibration. With Wait::PagedStart the two start answers are placed as the profile's
// header describes. When `trimFails` the low voltage trim runs out and the sequence ends in its
// failure (0x33, S 6). Returns false when it failed.
bool appendCalibration(Steps& steps, const BurnProfile& profile, int freqIndex, bool trimFails, Wait wait,
                       chips::Family selected, Rng& rng);

struct CellBurn {
    std::size_t base = 0;      // first cell the image goes to
    std::size_t mainBytes = 0; // program part; the rest is the configuration area
    bool blankFails = false;   // fault: the blank check reports a programmed chip
    bool weakBit = false;      // one bit of the image does not take its 0
};

struct BurnResult {
    bool passed = false;
    bool cellsWritten = false;
};

// Blank check, programming and verification of `image` into `otp`, each stage reported; ends in the
// profile's pass ending or in a failure. With Wait::PagedData the final answer 0x3F precedes the
// pass ending.
BurnResult appendCellBurn(Steps& steps, const BurnProfile& profile, VirtualOtp& otp,
                          std::span<const std::uint8_t> image, const CellBurn& how, Wait wait,
                          chips::Family selected, Rng& rng);

} // namespace kelvor::link::sim
