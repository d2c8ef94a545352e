#include "link/report_decoder.h"

#include "base/strfmt.h"

#include <climits>
#include <cmath>
#include <cstdarg>

namespace kelvor::link {
namespace {

using chips::Family;

// ---------------------------------------------------------------------------------------------
// Model groups, by family.

constexpr Family kGroupA[] = {Family::EP408,    Family::EP39F01,  Family::EP39F02,  Family::EP39F020,
                              Family::EP39F022, Family::EP39F024, Family::EP39F256, Family::EP39F03,
                              Family::EP39F05,  Family::EP39H01,  Family::EP39H02,  Family::EP3902,
                              Family::EP3903,   Family::EP3904};
constexpr Family kGroupB[] = {Family::EP2706,  Family::EP27C42, Family::EP2707,
                              Family::EP27F01, Family::EP27F02, Family::EP406};
constexpr Family kGroupBPlus[] = {Family::EP2706,  Family::EP27C42, Family::EP2707,
                                  Family::EP27F01, Family::EP27F02, Family::EP406,
                                  Family::EP27H01, Family::EP27H02, Family::EP2705};
constexpr Family kGroupT[] = {Family::EP3901,  Family::EP39H02, Family::EP39H01, Family::EP39F05,
                              Family::EP39F03, Family::EP39F01, Family::EP3903,  Family::EP3902};
constexpr Family kGroupD[] = {Family::EP39F02,  Family::EP39F022, Family::EP39F024,
                              Family::EP39F256, Family::EP39F020, Family::EP408};
constexpr Family kGroupH[] = {Family::EP39H02, Family::EP39H01, Family::EP39F05, Family::EP39F03,
                              Family::EP39F01, Family::EP3903,  Family::EP3902};
constexpr std::span<const Family> kGroups[] = {kGroupA, kGroupB, kGroupBPlus, kGroupT, kGroupD, kGroupH};

// Calibration targets in units of 3200 Hz, indexed by the frequency entry.
constexpr int kTargets[] = {2500, 3125, 3456, 3750, 4237, 5000, 6250, 6912, 7500};

// A measurement whose count is 0 has no frequency; the line says so instead of printing inf.
constexpr const char* kZeroCountLine = "OSC FREQ=无效测量值(计数为0)";

// ---------------------------------------------------------------------------------------------
// One report being decoded.

class Run {
public:
    Run(std::span<const std::uint8_t, kReportSize> report, ReceiverState& state, const ReportContext& ctx,
        std::vector<Effect>& out, int ms, ReportReading* reading)
        : st(state), ctx(ctx), ms(ms), r_(report), out_(out), reading_(reading) {}

    ReceiverState& st;
    const ReportContext& ctx;
    const int ms;

    // Every read goes through B, which never leaves the report.
    unsigned B(std::size_t i) const { return i < r_.size() ? r_[i] : 0u; }
    unsigned be16(std::size_t i) const { return B(i) * 256u + B(i + 1); }
    unsigned le16(std::size_t i) const { return B(i) + B(i + 1) * 256u; }
    std::uint32_t le32(std::size_t i) const {
        return B(i) | (B(i + 1) << 8) | (B(i + 2) << 16) | (static_cast<std::uint32_t>(B(i + 3)) << 24);
    }
    unsigned r14() const { return (B(4) & 0x3Fu) * 256u + B(5); }
    unsigned r16() const { return be16(4); }
    unsigned trim10() const { return B(3) * 4u + (B(4) >> 6); }
    float volts() const { return static_cast<float>(be16(4)) / 1000.0f; }

    bool is(Family f) const { return ctx.model && ctx.model->family == f; }
    bool in(ModelGroup g) const { return ctx.model && inGroup(g, ctx.model->family); }

    void log(std::string text) { out_.push_back({Effect::Kind::EventLog, std::move(text), 0}); }
    void logf(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, fmt);
        log(vstrfmt(fmt, ap));
        va_end(ap);
    }
    void linkState(int v) { out_.push_back({Effect::Kind::LinkState, {}, v}); }
    void progress(int v) { out_.push_back({Effect::Kind::Progress, {}, v}); }
    void step(int v) {
        if (st.progressByReport) progress(v);
    }
    void notify(Notification n) { out_.push_back({Effect::Kind::Notify, {}, static_cast<int>(n)}); }
    void sound(Sound s) { out_.push_back({Effect::Kind::Sound, {}, static_cast<int>(s)}); }
    void enableBoth() { out_.push_back({Effect::Kind::EnableBoth, {}, 0}); }
    void measure(std::string_view name, double value) {
        if (reading_) reading_->measures.push_back({name, value});
    }
    void firmware(std::uint32_t v) {
        if (reading_) reading_->firmwareVersion = v;
    }
    void uid(std::uint32_t v) {
        if (reading_) reading_->uid = v;
    }

private:
    std::span<const std::uint8_t, kReportSize> r_;
    std::vector<Effect>& out_;
    ReportReading* reading_;
};

// Counters are ints shared with the station; keep their arithmetic defined at the extremes.
int saturate(long long v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

void totals(Run& d, long long total, int ok, int ng) {
    d.logf("总次数:%d,OK:%d,NG:%d", saturate(total), ok, ng);
}

// ---------------------------------------------------------------------------------------------
// Measurements, all in single precision.

float deltaPercent(float f, float target) {
    return std::fabs(f - target) * 100.0f / target;
}

// Which oscillator a frequency line measures, for the reading.
enum class Osc : std::uint8_t { Main, Slow };

void freqMeasures(Run& d, Osc osc, double hz, float delta) {
    d.measure(osc == Osc::Main ? "osc.freq_hz" : "slow.freq_hz", hz);
    d.measure(osc == Osc::Main ? "osc.delta_pct" : "slow.delta_pct", delta);
}
void mhzLine(Run& d, float mhz, float delta, Osc osc = Osc::Main) {
    d.logf("OSC FREQ=%1.4fMHz, delta=%1.4f%%", mhz, delta);
    freqMeasures(d, osc, static_cast<double>(mhz) * 1e6, delta);
}
void khzLine(Run& d, float khz, float delta) {
    d.logf("OSC FREQ=%1.4fKHz, delta=%1.4f%%", khz, delta);
    freqMeasures(d, Osc::Slow, static_cast<double>(khz) * 1e3, delta);
}

// f = count x 3200 Hz against the selected calibration target.
void freqAgainstTarget(Run& d) {
    const float f = static_cast<float>(d.r16()) * 3200.0f;
    const int idx = d.ctx.freqIndex;
    if (idx < 0 || idx >= static_cast<int>(std::size(kTargets))) {
        d.logf("OSC FREQ=%1.4fMHz, delta=无效(校准频率序号%d)", f / 1000000.0f, idx);
        return;
    }
    const float target = static_cast<float>(kTargets[idx]) * 3200.0f;
    mhzLine(d, f / 1000000.0f, deltaPercent(f, target));
}

// q = 8000 / count is the ratio to the nominal 16 MHz.
void freqAsRatio(Run& d) {
    const unsigned n = d.r14();
    if (n == 0) return d.log(kZeroCountLine);
    const float q = 8000.0f / static_cast<float>(n);
    mhzLine(d, q * 16.0f, std::fabs(q - 1.0f) * 100.0f);
}

// f = 128000000000 / count Hz against 16 MHz.
void freqAsPeriod(Run& d) {
    const unsigned n = d.r16();
    if (n == 0) return d.log(kZeroCountLine);
    const float f = 128000000000.0f / static_cast<float>(n);
    mhzLine(d, f / 1000000.0f, deltaPercent(f, 16000000.0f));
}

void slowKhz(Run& d, float numerator, unsigned count, float target) {
    if (count == 0) return d.log(kZeroCountLine);
    const float f = numerator / static_cast<float>(count);
    khzLine(d, f, deltaPercent(f, target));
}

void oscPassed(Run& d) {
    if (d.is(Family::EP2702) || d.is(Family::EP2703) || d.in(ModelGroup::T)) {
        d.logf("OSC 校准成功!  OSC=0x%02x, %dms\n", d.B(3), d.ms);
        d.measure("osc.trim", d.B(3));
        freqAgainstTarget(d);
    } else if (d.in(ModelGroup::BPlus)) {
        d.logf("OSC 校准成功!  OSC=0x%03x, %dms\n", d.trim10(), d.ms);
        d.measure("osc.trim", d.trim10());
        freqAsRatio(d);
    } else if (d.in(ModelGroup::D)) {
        d.logf("OSC 校准成功!  OSC=0x%02x, %dms\n", d.B(3), d.ms);
        d.measure("osc.trim", d.B(3));
        freqAsPeriod(d);
    } else if (d.is(Family::EP39B13)) {
        d.logf("OSC_TRIM_OK %dms\n", d.ms);
    }
}

void oscFailed(Run& d) {
    if (d.is(Family::EP2702)) {
        d.logf("OSC 校准失败! OSC=0x%02x, %dms\n", d.B(3), d.ms);
        d.measure("osc.trim", d.B(3));
        freqAgainstTarget(d);
    } else if (d.in(ModelGroup::BPlus)) {
        d.logf("OSC 校准失败! OSC=0x%02x, %dms\n", d.trim10(), d.ms);
        d.measure("osc.trim", d.trim10());
        freqAsRatio(d);
    } else if (d.is(Family::EP39B13)) {
        d.logf("OSC_TRIM_ERR %dms\n", d.ms);
    }
}

// A voltage trim's three values for the reading: its trim code, the volts and the delta.
void trimMeasures(Run& d, std::string_view prefix, float v, float delta) {
    static constexpr std::string_view kNames[][3] = {
        {"v1p0.trim", "v1p0.volts", "v1p0.delta_pct"},    {"v1.trim", "v1.volts", "v1.delta_pct"},
        {"v1p3.trim", "v1p3.volts", "v1p3.delta_pct"},    {"v2p15.trim", "v2p15.volts", "v2p15.delta_pct"},
        {"v3p0.trim", "v3p0.volts", "v3p0.delta_pct"},
    };
    for (const auto& n : kNames) {
        if (n[0].substr(0, n[0].find('.')) != prefix) continue;
        d.measure(n[0], d.B(3));
        d.measure(n[1], v);
        d.measure(n[2], delta);
    }
}

void v1p0Line(Run& d) {
    const float v = d.volts();
    trimMeasures(d, "v1p0", v, std::fabs(v - 1.0f) * 100.0f);
    d.logf("V1P0_TRIM=0x%02x,V1P0 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, std::fabs(v - 1.0f) * 100.0f,
           d.ms);
}
void v3p0Line(Run& d, bool error) {
    const float v = d.volts();
    const float delta = deltaPercent(v, 3.0f);
    trimMeasures(d, "v3p0", v, delta);
    if (error)
        d.logf("TRIMERR: V3P0_TRIM=0x%02x,V3P0 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
    else
        d.logf("V3P0_TRIM=0x%02x,V3P0 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
}
void v1p3Line(Run& d, bool error) {
    const float v = d.volts();
    const float delta = deltaPercent(v, 1.3f);
    trimMeasures(d, "v1p3", v, delta);
    if (error)
        d.logf("BGRERR:V1P3_TRIM=0x%02x,V1P3 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
    else
        d.logf("V1P3_TRIM=0x%02x,V1P3 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
}
void v2p15Line(Run& d, bool error) {
    const float v = d.volts();
    const float delta = deltaPercent(v, 2.15f);
    trimMeasures(d, "v2p15", v, delta);
    if (error)
        d.logf("TRIMERR: V2P15_TRIM=0x%02x,V2P15 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
    else
        d.logf("V2P15_TRIM=0x%02x,V2P15 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, delta, d.ms);
}

void trimLowPassed(Run& d) {
    if (d.in(ModelGroup::B)) {
        v1p0Line(d);
    } else if (d.in(ModelGroup::D)) {
        const float v = d.volts();
        trimMeasures(d, "v1", v, std::fabs(v - 1.0f) * 100.0f);
        d.logf("V1_TRIM=0x%02x,V1 Vol=%1.4fv,delta=%1.4f%%,%dms\n", d.B(3), v, std::fabs(v - 1.0f) * 100.0f,
               d.ms);
    } else if (d.is(Family::EP39B13)) {
        d.logf("BGR_OK %dms\n", d.ms);
    } else {
        v1p3Line(d, false);
    }
}

void trimLowFailed(Run& d) {
    if (d.is(Family::EP39B13)) return d.logf("BGRERR %dms\n", d.ms);
    if (d.in(ModelGroup::B)) v1p0Line(d); // and then the common line too
    v1p3Line(d, true);
}

void trimHighPassed(Run& d) {
    if (d.in(ModelGroup::B))
        v3p0Line(d, false);
    else if (d.is(Family::EP39B13))
        d.logf("LDO_VEL1_OK %dms\n", d.ms);
    else
        v2p15Line(d, false);
}

void trimHighFailed(Run& d) {
    if (d.is(Family::EP39B13)) return d.logf("LDO_VEL1_ERR %dms\n", d.ms);
    if (d.in(ModelGroup::B)) v3p0Line(d, true); // and then the common line too
    v2p15Line(d, true);
}

void borError(Run& d) {
    const float v = d.volts();
    if (d.is(Family::EP27H02))
        d.logf("06E4 BOR ERR: V1P0_TRIM=0x%02x,V1P0 Vol=%1.4fv,%dms\n", d.B(3), v, d.ms);
    else
        d.logf("06E4 BOR ERR: V1P3_TRIM=0x%02x,V1P3 Vol=%1.4fv,%dms\n", d.B(3), v, d.ms);
}

void slowPassed(Run& d) {
    const unsigned trim = d.B(3);
    if (d.is(Family::EP2705)) {
        d.logf("SLOW OSC 校准成功! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 256000.0f, d.r14(), 256.0f);
    } else if (d.is(Family::EP27H02)) {
        d.logf("SLOW OSC 校准成功! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 512000.0f, d.r14(), 256.0f);
    } else if (d.in(ModelGroup::B)) {
        d.logf("SLOW OSC 校准成功! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 16384000.0f, d.r16(), 1024.0f);
    } else if (d.is(Family::EP3901)) {
        d.logf("SLOW OSC 校准成功! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 16.0f * 1000.0f, d.r14(), 128.0f);
    } else if (d.in(ModelGroup::H)) {
        d.logf("SLOW OSC 校准! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 4000.0f, d.r14(), 128.0f);
    } else if (d.in(ModelGroup::D)) {
        d.logf("SLOW OSC 校准! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        const unsigned n = d.r16();
        if (n == 0) return d.log(kZeroCountLine);
        const float f = 20480000000.0f / static_cast<float>(n) / 1000000.0f;
        mhzLine(d, f, deltaPercent(f, 1.024f), Osc::Slow);
    } else if (d.is(Family::EP39B13)) {
        d.logf("SLOSC_TRIM_OK %dms\n", d.ms);
    }
}

void slowFailed(Run& d) {
    const unsigned trim = d.B(3);
    if (d.is(Family::EP2705)) {
        d.logf("SLOW OSC 校准失败! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 256000.0f, d.r14(), 256.0f);
    } else if (d.is(Family::EP27H02)) {
        d.logf("SLOW OSC 校准失败! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 512000.0f, d.r14(), 256.0f);
    } else if (d.in(ModelGroup::B)) {
        d.logf("SLOW OSC 校准失败! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 8192000.0f, d.r14(), 512.0f);
    } else if (d.is(Family::EP3901)) {
        d.logf("SLOW OSC 校准! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 16.0f * 1000.0f, d.r14(), 128.0f);
    } else if (d.in(ModelGroup::H) && !d.is(Family::EP39H02)) {
        d.logf("SLOW OSC 校准! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 4000.0f, d.r14(), 128.0f);
    } else if (d.in(ModelGroup::D)) {
        d.logf("SLOW OSC 校准! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
        slowKhz(d, 20480000000.0f, d.r14(), 128.0f);
        d.logf("SLOW OSC 校准失败! OSC=0x%02x, %dms\n", trim, d.ms);
        d.measure("slow.trim", trim);
    } else if (d.is(Family::EP39B13)) {
        d.logf("SLOSC_TRIM_ERR %dms\n", d.ms);
    }
}

// ---------------------------------------------------------------------------------------------
// OTP position checks: the chip refused a burn position; explain which.

struct Positions {
    bool known = false;
    unsigned used = 0;  // position the chip reports as used
    unsigned asked = 0; // position the image asks for
};

unsigned imageLe16(std::span<const std::uint8_t> image, std::size_t offset) {
    return image[offset] | (image[offset + 1] << 8);
}

Positions otpPositions(const Run& d) {
    const auto image = d.ctx.transferImage;
    if (d.is(Family::EP2702) || d.is(Family::EP2703)) {
        // Configuration tail of an 8192-byte program, word 8.
        if (image.size() < 8210) return {};
        return {true, d.B(11) & 7u, (imageLe16(image, 8208) >> 8) & 7u};
    }
    if (d.is(Family::EP3901)) {
        if (image.size() < 32782) return {};
        return {true, d.le16(8) & 0x7FFFu, imageLe16(image, 32780) & 0x7FFFu};
    }
    return {};
}

// Models whose position fields are not known (and an image too short to hold them): the chip's
// refusal is all that can honestly be said.
void otpUnknown(Run& d, const char* mode) {
    d.logf("芯片%s模式位置不能烧录，该型号无法核对位置(状态0x%02x)！%dms\n", mode, d.B(2), d.ms);
}

void otp8k(Run& d) {
    const Positions p = otpPositions(d);
    if (!p.known) return otpUnknown(d, "8K");
    if (p.asked == p.used)
        d.logf("芯片8K模式位置已经烧录过一次，不能再次烧录！%dms\n", d.ms);
    else if (d.is(Family::EP2703))
        d.logf("芯片8K模式位置烧录错误，不能再次烧录！%dms\n", d.ms);
    else
        d.logf("芯片8K模式位置烧录次数满，不能再次烧录！%dms\n", d.ms);
}

void otp4k(Run& d) {
    const bool big = d.is(Family::EP2703);
    const Positions p = otpPositions(d);
    if (!p.known) return otpUnknown(d, big ? "8K" : "4K");
    if (p.asked == p.used)
        d.logf(big ? "芯片8K模式位置已经烧录过一次，不能再次烧录！%dms\n"
                   : "芯片4K模式位置已经烧录过一次，不能再次烧录！%dms\n",
               d.ms);
    else
        d.logf(big ? "芯片8K模式位置烧录错误，不能再次烧录！%dms\n"
                   : "芯片4K模式烧录次数满，不能再次烧录！%dms\n",
               d.ms);
}

void otp2k(Run& d) {
    const bool big = d.is(Family::EP2703);
    const Positions p = otpPositions(d);
    if (!p.known) return otpUnknown(d, big ? "4K" : "2K");
    if (p.asked == p.used)
        d.logf(big ? "芯片4K模式该位置已经烧录过一次，不能再次烧录！%dms\n"
                   : "芯片2K模式该位置已经烧录过一次，不能再次烧录！%dms\n",
               d.ms);
    else if (p.used == 0 && (p.asked & 3) == 0)
        return;
    else if (p.used == 0)
        d.logf(big ? "芯片4K模式0位置已经烧录过一次，只能在1位置烧录！%dms\n"
                   : "芯片2K模式0位置已经烧录过一次，只能在1位置烧录！%dms\n",
               d.ms);
    else
        d.logf(big ? "芯片4K模式位置烧录错误，不能再次烧录！%dms\n"
                   : "芯片2K模式位置烧录次数满，不能再次烧录！%dms\n",
               d.ms);
}

void otp1k(Run& d) {
    const bool big = d.is(Family::EP2703);
    const Positions p = otpPositions(d);
    if (!p.known) return otpUnknown(d, big ? "2K" : "1K");
    const unsigned asked = p.asked & 7;
    if (p.asked == p.used)
        d.logf(big ? "芯片2K模式该位置已经烧录过一次，不能再次烧录！%dms\n"
                   : "芯片1K模式该位置已经烧录过一次，不能再次烧录！%dms\n",
               d.ms);
    else if ((p.used == 7 && asked == 3) || (p.used == 3 && asked == 1) || (p.used == 1 && asked == 0))
        return;
    else if (p.used == 7)
        d.logf(big ? "芯片2K模式0位置已经烧录过一次，只能在1位置烧录！%dms\n"
                   : "芯片1K模式0位置已经烧录过一次，只能在1位置烧录！%dms\n",
               d.ms);
    else if (p.used == 3)
        d.logf(big ? "芯片2K模式0、1位置已经烧录过一次，只能在2位置烧录！%dms\n"
                   : "芯片1K模式0、1位置已经烧录过一次，只能在2位置烧录！%dms\n",
               d.ms);
    else if (p.used == 1)
        d.logf(big ? "芯片2K模式0、1、2位置已经烧录过一次，只能在3位置烧录！%dms\n"
                   : "芯片1K模式0、1、2位置已经烧录过一次，只能在3位置烧录！%dms\n",
               d.ms);
    else
        d.logf(big ? "芯片2K模式位置错误，不能再次烧录！%dms\n"
                   : "芯片1K模式位置烧录次数满，不能再次烧录！%dms\n",
               d.ms);
}

// ---------------------------------------------------------------------------------------------
// Other rows with values.

void verifyDetail(Run& d) {
    d.logf("芯片校验错误! adr=%4x,org=%4x,rd=%4x, %dms\n", d.le16(6), d.le16(8), d.le16(10), d.ms);
}

void totalsByPresses(Run& d) {
    const int ok = d.st.passCount = saturate(1LL + d.st.passCount);
    totals(d, d.ctx.programPresses, ok, saturate(static_cast<long long>(d.ctx.programPresses) - ok));
}

void totalsPassed(Run& d) {
    const int ok = d.st.passCount = saturate(1LL + d.st.passCount);
    totals(d, static_cast<long long>(ok) + d.st.failCount, ok, d.st.failCount);
}

void totalsFailed(Run& d) {
    const int ng = d.st.failCount = saturate(1LL + d.st.failCount);
    totals(d, static_cast<long long>(d.st.passCount) + ng, d.st.passCount, ng);
}

void totalsFromProgrammer(Run& d) {
    const int ok = d.st.passCount = static_cast<int>(d.be16(4));
    totals(d, static_cast<long long>(d.st.failCount) + ok, ok, d.st.failCount);
}

void offlineKeyPassed(Run& d) {
    d.uid(d.le32(16));
    d.logf("脱机烧录按键下载成功,uid=%08x,num=%08x! %dms\n", d.le32(16), d.le32(20), d.ms);
}
void offlineKeyFailed(Run& d) {
    d.uid(d.le32(16));
    d.logf("脱机烧录按键下载失败,uid=%08x,num=%08x! %dms\n", d.le32(16), d.le32(20), d.ms);
}

void firmwareVersion(Run& d) {
    d.firmware((static_cast<std::uint32_t>(d.le16(12)) << 16) | d.le16(14));
    if (d.le16(12) == (kExpectedFirmwareVersion >> 16) && d.le16(14) == (kExpectedFirmwareVersion & 0xFFFFu))
        d.logf("固件版本正确!\n");
    else
        d.logf("固件版本错误, 请下载%08x版本，否则会出现烧录后芯片不能使用!\n", kExpectedFirmwareVersion);
}

void regWrite(Run& d) {
    d.logf("regw addr=0x%02x,we=%02x,re=%02x,%dms\n", d.B(6), d.B(8), d.B(10), d.ms);
}
void regRead(Run& d) {
    d.logf("regr addr=0x%02x,gd=%02x,rd=%02x,%dms\n", d.B(6), d.B(8), d.B(10), d.ms);
}
void sram(Run& d) {
    d.logf("sram addr=0x%04x,gd=%02x,rd=%02x,%dms\n", d.le16(6), d.B(8), d.B(10), d.ms);
}
void eeRead(Run& d) {
    d.logf("EE ERROR: regr addr=0x%02x,gd=%02x,rd=%02x,%dms\n", d.B(6), d.B(8), d.B(10), d.ms);
}
void mcuTest(Run& d) {
    d.logf("MCU TEST ERROR NUMBER=%d,%dms\n", static_cast<int>(d.B(6)), d.ms);
}
void mcuCp(Run& d) {
    d.logf("MCU CP ERROR NUMBER=%d,%dms\n", static_cast<int>(d.B(6)), d.ms);
}

void lengthTimes(Run& d) {
    const unsigned length = d.le16(6);
    if (length == 0) return d.logf("length=0, times=无效(长度为0)! %dms\n", d.ms);
    d.logf("length=%d, times=%d! %dms\n", static_cast<int>(length), static_cast<int>(d.le16(8) / length),
           d.ms);
}
void lengthFull(Run& d) {
    d.logf("length=%d 空间写满，无法写入! %dms\n", static_cast<int>(d.le16(6)), d.ms);
}

void userData(Run& d) {
    if (d.B(3) == 1)
        d.logf("用户数据写入成功 %dms\n", d.ms);
    else
        d.logf("用户数据写入失败 %dms\n", d.ms);
}

// ---------------------------------------------------------------------------------------------
// The status table.

enum class OpKind : std::uint8_t {
    None,
    Log,      // the row's lines go here; without it they come first
    S,        // write value into the handshake byte
    GroupAS,  // the same, only for group A models
    P,        // progress step, only while the reports drive the bar
    Progress, // progress, always
    ProgressUnlessHw,
    Beep,
    OkBeep,
    EnableBoth,
    Fail, // enable both, WM_RESULT_FAIL
    Pass, // enable both, WM_RESULT_PASS
    NotifyPass,
    ProgressByReport, // value 0/1
    ClearCounters,
    HwVersionSeen,
    CopyQcStats,
    CopyQcReply,
    CopyDetectReply,
};

struct Op {
    OpKind kind = OpKind::None;
    int value = 0;
};

constexpr Op Log{OpKind::Log};
constexpr Op S(int v) {
    return {OpKind::S, v};
}
constexpr Op AS(int v) {
    return {OpKind::GroupAS, v};
}
constexpr Op P(int v) {
    return {OpKind::P, v};
}
constexpr Op Progress(int v) {
    return {OpKind::Progress, v};
}
constexpr Op Beep{OpKind::Beep};
constexpr Op OkBeep{OpKind::OkBeep};
constexpr Op Both{OpKind::EnableBoth};
constexpr Op Fail{OpKind::Fail};
constexpr Op Pass{OpKind::Pass};

using LinesFn = void (*)(Run&);

struct StatusRow {
    int code;
    int alias;        // second code with the same handling; -1: none
    const char* line; // plain line whose one argument is the time; nullptr: none
    LinesFn more;     // lines after `line` (values, measurements); nullptr: none
    Op ops[6];
};

constexpr int kNone = -1;

// clang-format off
constexpr StatusRow kStatusTable[] = {
    {0x00, 0x68, "芯片初始化成功! %dms\n", nullptr, {AS(4)}},
    {0x01, 0x65, "芯片ID错误! %dms\n", nullptr, {S(6), Beep, Fail, AS(6)}},
    {0x02, kNone, "芯片IO错误! %dms\n", nullptr, {S(6), Beep, Fail, AS(6)}},
    {0x03, kNone, "芯片OTP错误! %dms\n", nullptr, {Beep, Fail}},
    {0x04, 0x70, "芯片Blank检测错误! %dms \n", nullptr, {Beep, Fail}},
    {0x05, 0x6F, "芯片Blank检测成功! %dms\n", nullptr, {P(60)}},
    {0x06, kNone, "芯片编程错误! %dms\n", nullptr, {Beep, Fail}},
    {0x07, kNone, "芯片编程成功! %dms\n", nullptr, {}},
    {0x08, kNone, "芯片校验错误! %dms\n", verifyDetail, {Beep, Fail}},
    {0x09, kNone, "芯片校验成功! %dms\n", totalsByPresses, {OkBeep, {OpKind::ProgressUnlessHw, 100}, Pass}},
    {0x0A, 0x7D, "FLASH擦除错误! %dms\n", nullptr, {Beep, Both, S(3)}},
    {0x0B, 0x7E, "FLASH编程错误! %dms\n", nullptr, {Beep, Both, S(3)}},
    {0x0C, 0x7F, "FLASH校验错误! %dms\n", nullptr, {Both, S(3)}},
    {0x0D, 0x80, "FLASH编程成功! %dms\n", nullptr, {S(1)}},
    {0x0E, 0x81, "脱机烧录FLASH校验和错误! %dms\n", nullptr, {Beep, Both, S(3)}},
    {0x0F, 0x82, nullptr, offlineKeyPassed, {Pass}},
    {0x10, 0x83, nullptr, offlineKeyFailed, {Fail}},
    {0x11, 0x84, "OTP 模式进入成功! %dms\n", nullptr, {}},
    {0x12, 0x85, "寄存器模式进入失败! %dms\n", nullptr, {S(6), Beep, Fail}},
    {0x13, 0x86, nullptr, oscPassed, {P(40)}},
    {0x14, 0x87, nullptr, oscFailed, {S(6), Beep, Fail}},
    {0x15, 0x69, "芯片初始化失败! %dms\n", nullptr, {S(6), Beep, Fail}},
    {0x16, kNone, "芯片初始化成功! %dms\n", nullptr, {}},
    {0x17, kNone, "芯片初始化写入成功! %dms\n", nullptr, {}},
    {0x1B, 0x66, nullptr, firmwareVersion, {}},
    {0x1C, kNone, "2702 ID 错误! %dms\n", nullptr, {S(6), Fail}},
    {0x1D, 0x6A, "程序配置字信息与烧录芯片配置信息不一致，不能烧录！%dms\n", nullptr, {S(6), Fail}},
    {0x1E, 0x6C, nullptr, otp4k, {Fail}},
    {0x1F, 0x6D, nullptr, otp2k, {Fail}},
    {0x20, 0x6E, nullptr, otp1k, {Fail}},
    {0x3A, 0x6B, nullptr, otp8k, {Fail}},
    {0x21, kNone, "芯片目前不支持512字节烧录模式！%dms\n", nullptr, {Fail}},
    {0x22, kNone, "芯片初始化错误！%dms\n", nullptr, {S(6), Fail}},
    {0x23, kNone, "芯片初始化成功！%dms\n", nullptr, {}},
    {0x24, kNone, "芯片校验和错误！%dms\n", nullptr, {Fail}},
    {0x25, kNone, "芯片是空片，OTP_KMODE请选0！%dms\n", nullptr, {Fail}},
    {0x26, kNone, "ERROR_38！%dms\n", nullptr, {Fail}},
    {0x27, kNone, "ERROR_39！%dms\n", nullptr, {Fail}},
    {0x28, 0x94, nullptr, trimLowPassed, {}},
    {0x29, 0x96, nullptr, trimHighPassed, {}},
    {0x33, 0x95, nullptr, trimLowFailed, {S(6), Fail}},
    {0x34, 0x97, nullptr, trimHighFailed, {S(6), Fail}},
    {0x2A, 0x98, nullptr, regWrite, {S(6), Fail}},
    {0x2B, 0x99, nullptr, regRead, {S(6), Fail}},
    {0x2C, 0x9A, "PAD TEST PASS %dms\n", nullptr, {}},
    {0x2D, 0x9B, nullptr, sram, {S(6), Fail}},
    {0x2E, 0x9C, "SRAM TEST PASS %dms\n", nullptr, {}},
    {0x2F, 0x9D, "OTP TEST PASS %dms\n", nullptr, {}},
    {0x30, 0x9E, nullptr, borError, {S(6), Fail}},
    {0x31, 0x9F, nullptr, eeRead, {S(6), Fail}},
    {0x32, 0xA0, "EE TEST PASS %dms\n", nullptr, {}},
    {0x35, 0xA1, nullptr, mcuTest, {Fail}},
    {0x36, 0xA2, "MCU TEST GOOD %dms\n", nullptr, {}},
    {0x37, 0xA3, nullptr, mcuCp, {Fail}},
    {0x38, 0xA4, "MCU CP GOOD %dms\n", nullptr, {}},
    {0x3B, kNone, nullptr, lengthTimes, {}},
    {0x3C, kNone, nullptr, lengthFull, {}},
    {0x3D, 0x88, nullptr, slowPassed, {}},
    {0x3E, 0x89, nullptr, slowFailed, {S(6), Beep, Fail}},
    {0x3F, kNone, "烧录校验成功， %dms\n", nullptr, {S(10), Log}},
    {0x40, kNone, "MTP_MODE失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x41, kNone, "MTP_WRITE失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x42, kNone, "MTP_CRC失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x43, kNone, "PAGE_CRC失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x44, kNone, "OTP_MODE失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x45, kNone, "OTP_WRITE失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x46, kNone, "OTP_CRC失败， %dms\n", nullptr, {S(12), Beep, Fail}},
    {0x47, 0x8A, "芯片校准完成， %dms\n", nullptr, {S(4), Log}},
    {0x48, 0xA5, "HEX校验和错误! %dms\n", nullptr, {Beep, Both, S(15)}},
    {0x49, 0xA6, "HEX校验OK! %dms\n", nullptr, {Beep, Both, S(13)}},
    {0x53, kNone, "IR_REF_OK %dms\n", nullptr, {}},
    {0x54, kNone, "IR_REF_ERR %dms\n", nullptr, {}},
    {0x55, kNone, "LDO_VEL0_OK %dms\n", nullptr, {}},
    {0x56, kNone, "LDO_VEL0_ERR %dms\n", nullptr, {}},
    {0x57, kNone, "ADC_REF_OK %dms\n", nullptr, {}},
    {0x58, kNone, "ADC_REF_ERR %dms\n", nullptr, {}},
    {0x59, kNone, "LDO_VEL1SLEEP0_OK %dms\n", nullptr, {}},
    {0x5A, kNone, "LDO_VEL1SLEEP0_ERR %dms\n", nullptr, {}},
    {0x5B, kNone, "选择32M主频失败！%dms\n", nullptr, {Fail}},
    {0x64, kNone, "芯片ID正确 %dms\n", nullptr, {P(20)}},
    {0x67, kNone, "选择的型号与固件不匹配 %dms\n", nullptr, {}},
    {0x71, kNone, "芯片主区写入成功 %dms\n", nullptr, {}},
    {0x72, kNone, "芯片主区写入失败 %dms\n", nullptr, {}},
    {0x73, kNone, "芯片主区校验成功 %dms\n", nullptr, {P(60)}},
    {0x74, kNone, "芯片主区校验失败 %dms\n", nullptr, {}},
    {0x75, kNone, "芯片配置区写入成功 %dms\n", nullptr, {}},
    {0x76, kNone, "芯片配置区写入失败 %dms\n", nullptr, {}},
    {0x77, kNone, "芯片配置区校验成功 %dms\n", nullptr, {P(80), {OpKind::ProgressByReport, 0}}},
    {0x78, kNone, "芯片配置区校验失败 %dms\n", nullptr, {}},
    {0x79, kNone, "用户HEX数据写入成功 %dms\n", nullptr, {}},
    {0x7A, kNone, "用户HEX数据写入失败，请确认该区域为空，方可写入 %dms\n", nullptr, {}},
    {0x7B, kNone, "用户HEX数据校验成功 %dms\n", nullptr, {}},
    {0x7C, kNone, "用户HEX数据校验失败 %dms\n", nullptr, {}},
    {0x8B, kNone, "芯片烧录完成 %dms\n", totalsPassed,
     {OkBeep, Both, Progress(100), {OpKind::ProgressByReport, 1}, {OpKind::NotifyPass}}},
    {0x8C, kNone, "芯片测试完成 %dms\n", totalsPassed, {Progress(100), {OpKind::ProgressByReport, 1}}},
    {0x8D, kNone, "芯片读取完成 %dms\n", totalsPassed, {Progress(100), {OpKind::ProgressByReport, 1}}},
    // A failed burn must replace the face of the previous chip with NG, hence the fail.
    {0x8E, kNone, "芯片烧录失败 %dms\n", totalsFailed, {{OpKind::ProgressByReport, 1}, Fail}},
    {0x8F, kNone, "电压差异过大，请重新测量CHIP VCC电压并执行写入操作 %dms\n", nullptr, {}},
    {0x90, kNone, "测量芯片VCC电压存储成功 %dms\n", nullptr, {}},
    {0x91, kNone, "测量芯片VCC电压存储失败 %dms\n", nullptr, {}},
    {0x92, kNone, "烧录计数擦除中 %dms\n", nullptr, {}},
    {0x93, kNone, "烧录计数已清零 %dms\n", nullptr, {{OpKind::ClearCounters}}},
    {0xFA, kNone, nullptr, userData, {}},
    {0xFB, kNone, nullptr, nullptr, {{OpKind::CopyQcStats}}},
    {0xFC, kNone, nullptr, nullptr, {{OpKind::CopyQcReply}}},
    {0xFD, kNone, nullptr, nullptr, {{OpKind::CopyDetectReply}}},
    {0xFE, kNone, nullptr, totalsFromProgrammer, {}},
    {0xFF, kNone, "硬件版本返回成功 %dms\n", nullptr, {{OpKind::HwVersionSeen}, Log}},
};
// clang-format on

// Exactly one %d and otherwise only "%%": the time is the plain line's one argument.
constexpr bool plainLineOk(const char* s) {
    int conversions = 0;
    for (; *s; ++s) {
        if (*s != '%') continue;
        ++s;
        if (*s == '%') continue;
        if (*s != 'd') return false;
        ++conversions;
    }
    return conversions == 1;
}

// Code -> row; building it rejects duplicate codes and malformed plain lines at compile time.
constexpr auto kRowOfCode = [] {
    std::array<std::int16_t, 256> index{};
    index.fill(-1);
    for (std::size_t i = 0; i < std::size(kStatusTable); ++i) {
        const StatusRow& row = kStatusTable[i];
        if (row.line && !plainLineOk(row.line)) throw "plain line must take exactly the time";
        for (int code : {row.code, row.alias}) {
            if (code == kNone) continue;
            if (index[code] != -1) throw "status code listed twice";
            index[code] = static_cast<std::int16_t>(i);
        }
    }
    return index;
}();

void lines(Run& d, const StatusRow& row) {
    if (row.line) d.log(strfmt(row.line, d.ms));
    if (row.more) row.more(d);
}

void apply(Run& d, const Op& op, const StatusRow& row) {
    ReceiverState& st = d.st;
    switch (op.kind) {
    case OpKind::None:
        break;
    case OpKind::Log:
        lines(d, row);
        break;
    case OpKind::S:
        d.linkState(op.value);
        break;
    case OpKind::GroupAS:
        if (d.in(ModelGroup::A)) d.linkState(op.value);
        break;
    case OpKind::P:
        d.step(op.value);
        break;
    case OpKind::Progress:
        d.progress(op.value);
        break;
    case OpKind::ProgressUnlessHw:
        if (!st.hwVersionSeen) d.progress(op.value);
        break;
    case OpKind::Beep:
        d.sound(Sound::Error);
        break;
    case OpKind::OkBeep:
        d.sound(Sound::Default);
        break;
    case OpKind::EnableBoth:
        d.enableBoth();
        break;
    case OpKind::Fail:
        d.enableBoth();
        d.notify(Notification::ResultFail);
        break;
    case OpKind::Pass:
        d.enableBoth();
        d.notify(Notification::ResultPass);
        break;
    case OpKind::NotifyPass:
        d.notify(Notification::ResultPass);
        break;
    case OpKind::ProgressByReport:
        st.progressByReport = op.value != 0;
        break;
    case OpKind::ClearCounters:
        st.passCount = st.failCount = 0;
        break;
    case OpKind::HwVersionSeen:
        st.hwVersionSeen = true;
        break;
    case OpKind::CopyQcStats:
        for (std::size_t k = 0; k < st.qcErrorStats.size(); ++k)
            st.qcErrorStats[k] = static_cast<std::uint16_t>(d.le16(3 + 2 * k));
        d.notify(Notification::QcStats);
        break;
    case OpKind::CopyQcReply:
        for (std::size_t k = 0; k < st.qcReply.size(); ++k)
            st.qcReply[k] = static_cast<std::uint8_t>(d.B(3 + k));
        d.notify(Notification::QcResult);
        break;
    case OpKind::CopyDetectReply:
        for (std::size_t k = 0; k < st.detectReply.size(); ++k)
            st.detectReply[k] = static_cast<std::uint8_t>(d.B(3 + k));
        d.notify(Notification::DetectResult);
        break;
    }
}

void status(Run& d, unsigned code) {
    const int i = kRowOfCode[code & 0xFF];
    if (i < 0) {
        d.logf("USB信息返回错误! %dms\n", d.ms);
        d.enableBoth();
        d.notify(Notification::ResultFail);
        return;
    }
    const StatusRow& row = kStatusTable[i];
    bool placed = false;
    for (const Op& op : row.ops)
        placed = placed || op.kind == OpKind::Log;
    if (!placed) lines(d, row);
    for (const Op& op : row.ops)
        apply(d, op, row);
}

} // namespace

std::string_view notificationName(Notification n) {
    switch (n) {
    case Notification::ResultFail:
        return "WM_RESULT_FAIL";
    case Notification::ResultPass:
        return "WM_RESULT_PASS";
    case Notification::ControlsEnable:
        return "WM_CONTROLS_ENABLE";
    case Notification::DetectResult:
        return "WM_DETECT_RESULT";
    case Notification::QcResult:
        return "WM_QC_RESULT";
    case Notification::QcStats:
        return "WM_QC_STATS";
    }
    return "?";
}

std::string_view soundName(Sound s) {
    return s == Sound::Error ? "error" : "default";
}

bool inGroup(ModelGroup g, chips::Family f) {
    for (Family member : kGroups[static_cast<int>(g)])
        if (member == f) return true;
    return false;
}

bool isListedStatus(std::uint8_t code) {
    return kRowOfCode[code] >= 0;
}

std::uint8_t canonicalStatus(std::uint8_t code) {
    const int i = kRowOfCode[code];
    return i < 0 ? code : static_cast<std::uint8_t>(kStatusTable[i].code);
}

std::vector<Effect> decodeReport(std::span<const std::uint8_t, kReportSize> report, std::uint32_t now,
                                 ReceiverState& state, const ReportContext& ctx) {
    return decodeReport(report, now, state, ctx, nullptr);
}

std::vector<Effect> decodeReport(std::span<const std::uint8_t, kReportSize> report, std::uint32_t now,
                                 ReceiverState& state, const ReportContext& ctx, ReportReading* reading) {
    std::vector<Effect> out;
    state.lastEventTick = now;
    // Unsigned difference, so a wrapped tick counter still gives the elapsed time.
    const int ms = static_cast<int>(state.lastEventTick - state.timeBase);
    Run d(report, state, ctx, out, ms, reading);
    if (reading) {
        *reading = {};
        reading->ms = ms;
        if ((report[0] & 0x0Fu) == 3 && (report[0] >> 4) == 1) reading->status = canonicalStatus(report[2]);
    }

    const unsigned reportClass = d.B(0) & 0x0Fu;
    const unsigned kind = d.B(0) >> 4;
    if (reportClass == 5 && kind == 3)
        d.logf("oscduty=%d,nVersion=%d", static_cast<int>(d.be16(2)), static_cast<int>(d.be16(4)));
    else if (reportClass == 5 && kind == 4)
        d.logf("芯片名称下载成功! %dms\n", d.ms);
    else if (reportClass == 3 && kind == 1)
        status(d, d.B(2));

    if (reading)
        for (const Effect& e : out)
            if (e.kind == Effect::Kind::EventLog) {
                reading->line = e.text;
                while (!reading->line.empty() && (reading->line.back() == '\n' || reading->line.back() == ' '))
                    reading->line.pop_back();
                break;
            }
    d.notify(Notification::ControlsEnable);
    state.timeBase = state.lastEventTick;
    return out;
}

} // namespace kelvor::link
