#include "qc/evaluation.h"

#include "base/strfmt.h"
#include "jobs/params.h"

#include <algorithm>

namespace kelvor::qc {
namespace {

constexpr int be16(const Reply& q, std::size_t at) { return q[at] * 256 + q[at + 1]; }

// The digits of a decimal text as a number; texts the version field cannot hold read as -1.
std::int64_t decimalValue(std::string_view t) {
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    std::int64_t v = 0;
    for (char c : t) v = v * 10 + (c - '0');
    return v;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

class Builder {
public:
    explicit Builder(Evaluation& e) : e_(e) {}
    void show(Field f, std::string t) { e_.steps.push_back({Step::Kind::Show, f, Display::Idle, std::move(t)}); }
    void display(Display d) { e_.steps.push_back({Step::Kind::Display, Field::Model, d, {}}); }
    // A mismatch: the display says FAIL before the box is up.
    void fail(std::string_view message) {
        display(Display::Fail);
        e_.steps.push_back({Step::Kind::Log, Field::Model, Display::Idle, std::string(message) + "\n"});
        e_.steps.push_back({Step::Kind::Box, Field::Model, Display::Idle, std::string(message)});
    }
    void check(std::string name, std::string expected, std::string actual, bool pass) {
        e_.checks.push_back({std::move(name), std::move(expected), std::move(actual), pass});
    }

private:
    Evaluation& e_;
};

} // namespace

std::string_view displayText(Display d) {
    switch (d) {
    case Display::Fail: return text::kFail;
    case Display::Pass: return text::kPass;
    case Display::Idle: break;
    }
    return text::kIdle;
}

std::uint32_t displayColour(Display d) {
    switch (d) {
    case Display::Fail: return 0xDC143C; // RGB(220, 20, 60)
    case Display::Pass: return 0x3CB371; // RGB(60, 179, 113)
    case Display::Idle: break;
    }
    return 0x000000;
}

std::optional<Refusal> precheck(const Expectations& e) {
    auto refuse = [](std::string_view m) { return Refusal{std::string(m), std::string(m) + "!"}; };
    if (e.checksumText.empty()) return refuse(text::kNeedChecksum);
    if (e.checkVersion && e.versionText.empty()) return refuse(text::kNeedVersion);
    if (e.checkDate && !e.dateChosen) return refuse(text::kNeedDate);
    return std::nullopt;
}

Refusal testerAbsent() { return {std::string(text::kTesterAbsentLine), std::string(text::kTesterAbsentBox)}; }

std::string Evaluation::field(Field f) const {
    std::string out;
    for (const auto& s : steps)
        if (s.kind == Step::Kind::Show && s.field == f) out = s.text;
    return out;
}

Evaluation evaluate(const Reply& q, const Expectations& e) {
    Evaluation ev;
    Builder b(ev);
    ev.identifier = (std::uint32_t{q[0]} << 24) | (std::uint32_t{q[1]} << 16) | (std::uint32_t{q[2]} << 8) | q[3];
    // 1: a QC firmware with nothing in its socket answers zeros.
    if (ev.identifier == 0) {
        b.fail(text::kNoChip);
        return ev;
    }
    ev.chipPresent = true;
    bool pass = true;
    // 2
    b.show(Field::Model, std::string(modelText(ev.identifier)));
    // 3
    const int checksum = be16(q, 4);
    const std::string shown = strfmt("%X", static_cast<unsigned>(checksum));
    b.show(Field::Checksum, shown);
    const auto expected = static_cast<std::uint32_t>(jobs::hexTextValue(e.checksumText));
    const bool sumOk = expected == static_cast<std::uint32_t>(checksum);
    b.check("checksum", e.checksumText, shown, sumOk);
    if (!sumOk) {
        b.fail(text::kChecksumWrong);
        pass = false;
    }
    // 4
    if (e.checkVersion) {
        const int version = be16(q, 6);
        b.show(Field::Version, std::to_string(version));
        const bool ok = decimalValue(e.versionText) == version;
        b.check("version", e.versionText, std::to_string(version), ok);
        if (!ok) {
            b.fail(text::kVersionWrong);
            pass = false;
        }
    }
    // 5
    if (e.checkDate) {
        const int year = be16(q, 8);
        const int monthDay = be16(q, 10);
        const std::string actual = dateText(year, monthDay);
        b.show(Field::Date, actual);
        const bool ok = year == e.year && monthDay == e.monthDay;
        b.check("date", dateText(e.year, e.monthDay), actual, ok);
        if (!ok) {
            b.fail(text::kDateWrong);
            pass = false;
        }
    }
    // 6
    bool voltageOk = true;
    if (e.checkVoltage) {
        const int mv = be16(q, 12);
        b.show(Field::Voltage, std::to_string(mv));
        voltageOk = mv >= kMinMillivolts && mv <= kMaxMillivolts;
        b.check("voltage", strfmt("%d-%d", kMinMillivolts, kMaxMillivolts), std::to_string(mv), voltageOk);
        if (!voltageOk) b.fail(text::kVoltageWrong);
    }
    // 7
    ev.pass = pass && voltageOk;
    b.display(ev.pass ? Display::Pass : Display::Fail);
    return ev;
}

const std::vector<QcChip>& qcChips() {
    // The EP39F02x identifiers are three consecutive values that spell their model.
    static const std::vector<QcChip> chips{
        {0x006A, "0x006a", "EP406"},   {0x008A, "0x008a", "EP408"},     {0x2700, "2706A0", "EP2706"},
        {0x2701, "2706A1", "LN2056"},  {0x2703, "2706B0", "LN2057"},    {0x2707, "2706B1", "EP2707"},
        {0x0039F020, "39F020", "EP39F020"}, {0x0039F021, "39F02", "EP39F02"}, {0x0039F022, "39F022", "EP39F022"},
    };
    return chips;
}

std::string_view modelText(std::uint32_t identifier) {
    for (const auto& c : qcChips())
        if (c.identifier == identifier) return c.text;
    return {};
}

std::optional<std::uint32_t> qcIdentifierOf(std::string_view model) {
    for (const auto& c : qcChips())
        if (c.model == model) return c.identifier;
    return std::nullopt;
}

const std::array<StatsRow, 12>& statsRows() {
    static constexpr std::array<StatsRow, 12> rows{{
        {1095, "ID错误:"},
        {1096, "SRAM错误:"},
        {1097, "BGR错误:"},
        {1098, "16M时钟错误:"},
        {1106, "低速1M时钟错误:"},
        {1099, "OP错误:"},
        {1100, "主区编程错误:"},
        {1101, "主区校验错误:"},
        {1102, "配置区编程错误:"},
        {1103, "配置区校验错误:"},
        {1104, "配置区编程2错误:"},
        {1105, "配置区校验2错误:"},
    }};
    return rows;
}

std::array<std::string, 12> statsTexts(const ErrorStats& counters) {
    std::array<std::string, 12> out;
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = std::string(statsRows()[k].label) + std::to_string(counters[k]) + "个";
    return out;
}

std::string dateText(int year, int monthDay) { return strfmt("%d-%02d-%02d", year, monthDay / 100, monthDay % 100); }

bool parseDate(std::string_view t, int& year, int& monthDay) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    auto digits = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return -1;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    const int y = digits(0, 4), m = digits(5, 2), d = digits(8, 2);
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m)) return false;
    year = y;
    monthDay = m * 100 + d;
    return true;
}

} // namespace kelvor::qc
