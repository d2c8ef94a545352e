#pragma once
// How the simulated programmer burns each chip family: which calibrations it reports, with raw values
// in the form the station's status table decodes for that family, and how a burn ends.
//
// Report sequences (codes in order; "cal" is 0x13, then 0x28 and 0x29 where the family trims, then
// 0x3D where it has a slow oscillator):
//
//   plain, classic ending   0x64 ID, cal, 0x05 blank, 0x07 programmed, 0x09 verified (pass)
//   plain, staged ending    0x64 ID, cal, 0x05 blank, 0x71/0x73 main area, 0x75/0x77 configuration
//                           area, 0x8B burn complete (pass)
//   paged, command 12       0x64 ID, 0x00 (group A) or 0x47 after 0x13 (others): the first start
//                           answer, the rest of cal, then 0x8A: the second start answer
//   paged, each page        0x3F
//   paged, tail             0x05, 0x71/0x73, 0x75/0x77, 0x3F (the final answer), 0x8B
//   failures                the failing stage's line; when a station's wait must hear of it and the
//                           line writes no handshake value, 0x15 (start) or 0x45/0x46 (page, tail);
//                           staged families then 0x8E (NG count and face)
//
// The classic ending belongs to the four oldest families (built-in jobs); every other family reports
// the staged ending, whose 0x64/0x13/0x05/0x73/0x77/0x8B steps move the progress bar of group B.
#include "chips/catalog.h"
#include "link/sim/sim_parts.h"

#include <cstdint>
#include <span>

namespace kelvor::link::sim {

enum class Ending : std::uint8_t { Classic, Staged };

// Oscillator calibration (0x13): the raw values the family's decoding turns into a frequency.
enum class OscForm : std::uint8_t {
    Count,  // B(3) trim, BE16(4) = frequency / 3200 Hz against the selected calibration target
    Ratio,  // 10-bit trim in B(3)/B(4), 14-bit count 8000 at exactly 16 MHz
    Period, // B(3) trim, BE16(4) = 128e9 / f, 8000 at 16 MHz
    Flag,   // the family's line carries no values
};

// Voltage trims (0x28 low, 0x29 high); nominal values in millivolts.
enum class TrimForm : std::uint8_t {
    None,
    Standard, // 1.3 V and 2.15 V
    GroupB,   // 1.0 V and 3.0 V
    GroupD,   // 1.0 V and 2.15 V
    Flag,     // lines without values
};

// Slow oscillator calibration (0x3D): the count the family's formula expects at its nominal rate.
enum class SlowForm : std::uint8_t {
    None,
    R14Of256k,   // 256000 / count kHz = 256 kHz: 1000
    R14Of512k,   // 512000 / count = 256: 2000
    R16Of16384k, // 16384000 / count = 1024: 16000
    R14Of16k,    // 16000 / count = 128: 125
    R14Of4k,     // 4000 / count = 128: 31 (the coarsest the formula allows)
    R16Of20480M, // 20480000000 / count / 1e6 = 1.024 MHz: 20000
    Flag,
};

struct BurnProfile {
    chips::Family family;
    Ending ending;
    OscForm osc;
    TrimForm trims;
    SlowForm slow;
};

// One row per family, in family order.
std::span<const BurnProfile> burnProfiles();
const BurnProfile& burnProfile(chips::Family f);

// Calibration reports of a chip that calibrates within tolerance, or (failed) one whose measured
// value lies far off. freqIndex selects the calibration target of the Count form (6 when outside
// 0-8).
Report oscReport(const BurnProfile& p, int freqIndex, Rng& rng);
Report trimReport(const BurnProfile& p, bool high, bool failed, Rng& rng);
Report slowReport(const BurnProfile& p, Rng& rng);

// Whether the station's receiver writes the handshake byte for this status code (for 0x00/0x68
// that depends on the selected model being in group A). Taken from the station's own decoder, so
// the two cannot disagree.
bool writesHandshake(std::uint8_t code, chips::Family selected);

} // namespace kelvor::link::sim
