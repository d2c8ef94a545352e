#pragma once
// The chips the simulated programmer can hold in its socket: what each answers to auto-detect and
// QC test, and how many OTP bytes it carries.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelvor::link::sim {

struct SocketChip {
    std::string_view model;   // catalog model name
    std::uint16_t identifier; // auto-detect answer, values 2-3 of status 0xFD
    std::size_t otpBytes;     // cells of the chip: the largest image its family sends
    friend bool operator==(const SocketChip&, const SocketChip&) = default;
};

// One row per catalog model. Only EP406, EP408, EP2706, LN2056, LN2057 and EP2707 answer with an
// identifier the station selects a model by (0x006A, 0x008A, 0x2700, 0x2701, 0x2703, 0x2707). The
// others answer with their family's chip code, which selects nothing; EP2701 and EP2703, whose chip
// codes are the LN2056 and LN2057 identifiers, answer 0x27A1 and 0x27A3 instead.
std::span<const SocketChip> socketChips();
// EP2706, so that auto-detect selects a model out of the box.
SocketChip defaultSocketChip();
// The row of a catalog model name (exact), or nullptr.
const SocketChip* findSocketChip(std::string_view model);

struct ChipParse {
    std::optional<SocketChip> chip; // nullopt: empty socket
    // The socket follows the station's selection; `chip` is what it holds until one arrives.
    bool follow = false;
    std::string error; // empty: parsed
    bool ok() const { return error.empty(); }
};
// A model name (without regard to case) for a fixed chip, "none" for an empty socket, "" or "auto"
// for a socket that follows the selected model (the default chip until a model is selected).
ChipParse parseSocketChip(std::string_view text);

} // namespace kelvor::link::sim
