#include "link/sim/socket_chips.h"

#include "chips/catalog.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kelvor::link::sim {
namespace {

using chips::Family;

// The bytes a family's job sends (program, configuration words, parameter block, check word);
// the 8505 models take raw images up to the full 64 KB.
constexpr std::size_t otpBytesOf(Family f) {
    switch (f) {
    case Family::EP2702:
    case Family::EP2701:
    case Family::EP2705:
    case Family::EP27H02:
    case Family::EP27H01:
    case Family::EP2706:
    case Family::EP39B13:
    case Family::EP27C42:
    case Family::EP2707:
    case Family::EP39F01:
    case Family::EP39F05:
    case Family::EP39F02:
    case Family::EP408:
    case Family::EP39F020:
    case Family::EP39F022:
    case Family::EP39F024:
    case Family::EP27F01:
    case Family::EP39F08:
    case Family::EP406:
        return 8322;
    case Family::EP2703:
    case Family::EP3902:
    case Family::EP3903:
    case Family::EP3904:
    case Family::EP39F25X:
    case Family::EP39F003:
    case Family::EP39F256:
    case Family::EP39F06:
    case Family::EP39H01:
        return 16514;
    case Family::EP27F02:
        return 4226;
    case Family::EP3901:
    case Family::EP39F03:
        return 32898;
    case Family::EP39H02:
        return 24706;
    case Family::EP8505_IN:
    case Family::EP8505:
        return 65536;
    }
    return 65536;
}

struct Row {
    std::string_view model;
    std::uint16_t identifier;
};

// clang-format off
constexpr Row kRows[] = {
    {"EP406", 0x006A}, {"EP408", 0x008A}, {"EP2706", 0x2700}, {"LN2056", 0x2701}, {"LN2057", 0x2703},
    {"EP2707", 0x2707},
    {"EP2701", 0x27A1}, {"EP2702", 0x2702}, {"EP2703", 0x27A3}, {"EP2705", 0x2705},
    {"EP3901", 0x3901}, {"EP3902", 0x3902}, {"LN2059", 0x3902}, {"EP3903", 0x3903}, {"EP3904", 0x3904},
    {"EP27C42", 0x7C42}, {"EP27F01", 0x7F01}, {"EP27F01D", 0x7F01}, {"EP27F01A3", 0x7F0A},
    {"EP27F02", 0x7F02}, {"EPW311", 0x7F02}, {"EP27H01", 0x1D01}, {"EP27H02", 0x3E02}, {"EP39B13", 0x9B13},
    {"EP39F01", 0x9F02}, {"EP39F05", 0x9F02}, {"EP39F02", 0x9F02}, {"EP39F024", 0x9F02}, {"EP39F256", 0x9F02},
    {"EP39F03", 0x9F03}, {"EP39F003", 0x9F06}, {"EP39F06", 0x9F06}, {"EP39F065", 0x9F06}, {"EP39F06A", 0x9F0A},
    {"EP39F08", 0x9F08}, {"EP431", 0x9F08}, {"EPW414", 0x9F08}, {"EP39F08A", 0x9F08}, {"EP39C57", 0x9F08},
    {"LN2058", 0x9F08}, {"EP39F020", 0xF020}, {"EP39F022", 0xF022}, {"EP39H01", 0x39B1}, {"EP39H02", 0x39B2},
    {"EP8505", 0x8505}, {"EP8505_IN", 0x8505},
};
// clang-format on

std::array<SocketChip, std::size(kRows)> buildTable() {
    std::array<SocketChip, std::size(kRows)> out{};
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const auto* model = chips::findModel(kRows[i].model);
        out[i] = {kRows[i].model, kRows[i].identifier, model ? otpBytesOf(model->family) : 0};
    }
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const SocketChip> socketChips() {
    static const auto table = buildTable();
    return table;
}

SocketChip defaultSocketChip() {
    for (const auto& c : socketChips())
        if (c.model == "EP2706") return c;
    return socketChips().front();
}

const SocketChip* findSocketChip(std::string_view model) {
    for (const auto& c : socketChips())
        if (c.model == model) return &c;
    return nullptr;
}

ChipParse parseSocketChip(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.empty() || equalNoCase(text, "auto")) return {defaultSocketChip(), true, {}};
    if (equalNoCase(text, "none")) return {std::nullopt, false, {}};
    for (const auto& c : socketChips())
        if (equalNoCase(c.model, text)) return {c, false, {}};
    return {std::nullopt, false,
            "unknown chip model \"" + std::string(text) +
                "\" for the simulator's socket (auto, a model such as EP2706, or none)"};
}

} // namespace kelvor::link::sim
