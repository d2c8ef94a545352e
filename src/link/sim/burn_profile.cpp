#include "link/sim/burn_profile.h"

#include "link/report_decoder.h"

#include <array>

namespace kelvor::link::sim {
namespace {

using chips::Family;
using E = Ending;
using O = OscForm;
using T = TrimForm;
using S = SlowForm;

// clang-format off
constexpr BurnProfile kProfiles[] = {
    {Family::EP2702,    E::Classic, O::Count,  T::None,     S::None},
    {Family::EP2701,    E::Classic, O::Count,  T::None,     S::None},
    {Family::EP2705,    E::Classic, O::Ratio,  T::None,     S::R14Of256k},
    {Family::EP3901,    E::Staged,  O::Count,  T::Standard, S::R14Of16k},
    {Family::EP2703,    E::Classic, O::Count,  T::None,     S::None},
    {Family::EP3904,    E::Staged,  O::Count,  T::Standard, S::None},
    {Family::EP3902,    E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP3903,    E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP27H02,   E::Staged,  O::Ratio,  T::Standard, S::R14Of512k},
    {Family::EP27H01,   E::Staged,  O::Ratio,  T::Standard, S::None},
    {Family::EP2706,    E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP39B13,   E::Staged,  O::Flag,   T::Flag,     S::Flag},
    {Family::EP27C42,   E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP2707,    E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP39F01,   E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP39F02,   E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
    {Family::EP39F25X,  E::Staged,  O::Count,  T::Standard, S::None},
    {Family::EP39F022,  E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
    {Family::EP39F020,  E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
    {Family::EP39F024,  E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
    {Family::EP39F256,  E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
    {Family::EP39F03,   E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP39F05,   E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP39H01,   E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    {Family::EP39H02,   E::Staged,  O::Count,  T::Standard, S::R14Of4k},
    // Raw images are written as they come: no calibration.
    {Family::EP8505_IN, E::Staged,  O::Flag,   T::None,     S::None},
    {Family::EP8505,    E::Staged,  O::Flag,   T::None,     S::None},
    {Family::EP27F01,   E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP27F02,   E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP39F06,   E::Staged,  O::Count,  T::Standard, S::None},
    {Family::EP39F003,  E::Staged,  O::Count,  T::Standard, S::None},
    {Family::EP39F08,   E::Staged,  O::Count,  T::Standard, S::None},
    {Family::EP406,     E::Staged,  O::Ratio,  T::GroupB,   S::R16Of16384k},
    {Family::EP408,     E::Staged,  O::Period, T::GroupD,   S::R16Of20480M},
};
// clang-format on
static_assert(std::size(kProfiles) == chips::kFamilyCount);

constexpr bool inFamilyOrder() {
    for (int i = 0; i < chips::kFamilyCount; ++i)
        if (chips::familyIndex(kProfiles[i].family) != i) return false;
    return true;
}
static_assert(inFamilyOrder());

// Calibration targets in units of 3200 Hz, by calibration-frequency entry (8 MHz … 24 MHz).
constexpr int kTargets[] = {2500, 3125, 3456, 3750, 4237, 5000, 6250, 6912, 7500};
constexpr int kDefaultFreqIndex = 6;

// A count within `permille` of nominal either way.
int near(int nominal, int permille, Rng& rng) {
    const int spread = nominal * permille / 1000;
    return static_cast<int>(rng.between(nominal - spread, nominal + spread));
}

std::uint8_t trimCode(Rng& rng) {
    return static_cast<std::uint8_t>(rng.between(0x40, 0xBF));
}

void putBe16(std::uint8_t* p, int v) {
    p[0] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

// B(3) trim, B(4)/B(5) a 14-bit count below the two top bits of B(4).
void putR14(std::array<std::uint8_t, 3>& v, int count) {
    v[1] = static_cast<std::uint8_t>((v[1] & 0xC0) | ((count >> 8) & 0x3F));
    v[2] = static_cast<std::uint8_t>(count & 0xFF);
}

} // namespace

std::span<const BurnProfile> burnProfiles() {
    return kProfiles;
}

const BurnProfile& burnProfile(chips::Family f) {
    return kProfiles[chips::familyIndex(f)];
}

Report oscReport(const BurnProfile& p, int freqIndex, Rng& rng) {
    std::array<std::uint8_t, 3> v{trimCode(rng), 0, 0};
    switch (p.osc) {
    case OscForm::Count: {
        if (freqIndex < 0 || freqIndex >= static_cast<int>(std::size(kTargets)))
            freqIndex = kDefaultFreqIndex;
        putBe16(&v[1], near(kTargets[freqIndex], 3, rng));
        break;
    }
    case OscForm::Ratio: {
        const int trim10 = static_cast<int>(rng.between(0x100, 0x2FF));
        v[0] = static_cast<std::uint8_t>(trim10 >> 2);
        v[1] = static_cast<std::uint8_t>((trim10 & 3) << 6);
        putR14(v, near(8000, 3, rng));
        break;
    }
    case OscForm::Period:
        putBe16(&v[1], near(8000, 3, rng));
        break;
    case OscForm::Flag:
        break;
    }
    return statusReport(0x13, v);
}

Report trimReport(const BurnProfile& p, bool high, bool failed, Rng& rng) {
    int nominal = 0;
    switch (p.trims) {
    case TrimForm::Standard:
        nominal = high ? 2150 : 1300;
        break;
    case TrimForm::GroupB:
        nominal = high ? 3000 : 1000;
        break;
    case TrimForm::GroupD:
        nominal = high ? 2150 : 1000;
        break;
    case TrimForm::None:
    case TrimForm::Flag:
        break;
    }
    std::array<std::uint8_t, 3> v{trimCode(rng), 0, 0};
    // Within half a percent when it passes; eight to twelve percent off when the trim runs out.
    int mv = near(nominal, 5, rng);
    if (failed) {
        const int off = nominal * static_cast<int>(rng.between(80, 120)) / 1000;
        mv = rng.between(0, 1) ? nominal + off : nominal - off;
    }
    putBe16(&v[1], mv);
    const std::uint8_t code = high ? (failed ? 0x34 : 0x29) : (failed ? 0x33 : 0x28);
    return statusReport(code, v);
}

Report slowReport(const BurnProfile& p, Rng& rng) {
    std::array<std::uint8_t, 3> v{trimCode(rng), 0, 0};
    switch (p.slow) {
    case SlowForm::R14Of256k:
        putR14(v, near(1000, 3, rng));
        break;
    case SlowForm::R14Of512k:
        putR14(v, near(2000, 3, rng));
        break;
    case SlowForm::R16Of16384k:
        putBe16(&v[1], near(16000, 3, rng));
        break;
    case SlowForm::R14Of16k:
        putR14(v, static_cast<int>(rng.between(124, 126)));
        break;
    case SlowForm::R14Of4k:
        putR14(v, 31);
        break;
    case SlowForm::R16Of20480M:
        putBe16(&v[1], near(20000, 3, rng));
        break;
    case SlowForm::None:
    case SlowForm::Flag:
        break;
    }
    return statusReport(0x3D, v);
}

bool writesHandshake(std::uint8_t code, chips::Family selected) {
    // Decoded once for a model of group A and one outside it: only 0x00/0x68 tell them apart.
    struct Table {
        std::array<bool, 256> inA{}, outsideA{};
    };
    static const Table table = [] {
        Table t;
        const chips::ModelRow* a = chips::findModel("EP408");
        const chips::ModelRow* other = chips::findModel("EP2706");
        for (int c = 0; c < 256; ++c) {
            for (auto [model, out] : {std::pair{a, &t.inA}, std::pair{other, &t.outsideA}}) {
                ReceiverState state;
                ReportContext ctx;
                ctx.model = model;
                const Report r = statusReport(static_cast<std::uint8_t>(c));
                for (const Effect& e : decodeReport(r, 0, state, ctx))
                    if (e.kind == Effect::Kind::LinkState) (*out)[static_cast<std::size_t>(c)] = true;
            }
        }
        return t;
    }();
    return inGroup(ModelGroup::A, selected) ? table.inA[code] : table.outsideA[code];
}

} // namespace kelvor::link::sim
