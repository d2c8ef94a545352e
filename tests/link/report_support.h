#pragma once
// Helpers for the status report tests: building reports byte by byte and reading effects as tokens.
#include "chips/catalog.h"
#include "link/report_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kelvor::link::test {

using Report = std::array<std::uint8_t, kReportSize>;
using Bytes = std::vector<std::pair<int, int>>; // (index, value)

inline Report rawReport(const Bytes& bytes) {
    Report r{};
    for (auto [i, v] : bytes)
        r.at(static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v);
    return r;
}

// Class 3 kind 1: byte 0 is 0x13, byte 2 the status code.
inline Report statusReport(int code, const Bytes& bytes = {}) {
    Report r = rawReport(bytes);
    r[0] = 0x13;
    r[2] = static_cast<std::uint8_t>(code);
    return r;
}

// Log lines as their text; other effects as "S6", "P60", "beep", "ok-beep", "both", "WM_...".
inline std::vector<std::string> tokens(const std::vector<Effect>& effects) {
    std::vector<std::string> out;
    for (const Effect& e : effects) {
        switch (e.kind) {
        case Effect::Kind::EventLog:
            out.push_back(e.text);
            break;
        case Effect::Kind::LinkState:
            out.push_back("S" + std::to_string(e.value));
            break;
        case Effect::Kind::Progress:
            out.push_back("P" + std::to_string(e.value));
            break;
        case Effect::Kind::Notify:
            out.emplace_back(notificationName(e.notification()));
            break;
        case Effect::Kind::Sound:
            out.push_back(e.sound() == Sound::Error ? "beep" : "ok-beep");
            break;
        case Effect::Kind::EnableBoth:
            out.push_back("both");
            break;
        }
    }
    return out;
}

inline const chips::ModelRow* model(const char* name) {
    const chips::ModelRow* m = chips::findModel(name);
    EXPECT_NE(m, nullptr) << name;
    return m;
}

inline ReportContext contextFor(const char* name, int presses = 0) {
    return {model(name), 6, presses, {}};
}

// Decodes a report arriving 25 ms after the time base and returns its tokens without the
// WM_CONTROLS_ENABLE that closes every report (checked here).
inline std::vector<std::string> decode25(const Report& report, ReceiverState& state,
                                         const ReportContext& ctx) {
    state.timeBase = 1000;
    auto t = tokens(decodeReport(report, 1025, state, ctx));
    EXPECT_FALSE(t.empty());
    if (t.empty()) return t;
    EXPECT_EQ(t.back(), "WM_CONTROLS_ENABLE");
    EXPECT_EQ(state.timeBase, 1025u);
    t.pop_back();
    return t;
}

// One row of a table of single reports decoded with a fresh receiver state.
struct Case {
    std::vector<int> codes; // each decoded on its own; all give `expect`
    const char* model;
    Bytes bytes;
    std::vector<std::string> expect;
    Bytes image = {}; // transfer image bytes (offset, value)
    int freq = 6;
};

inline void PrintTo(const Case& c, std::ostream* os) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02x", c.codes.empty() ? 0 : c.codes.front());
    *os << code << " " << c.model;
}

inline std::string caseName(const testing::TestParamInfo<Case>& info) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "x%02X_%s_%zu", info.param.codes.front(), info.param.model, info.index);
    return buf;
}

inline void checkCase(const Case& c) {
    std::vector<std::uint8_t> image(65536, 0);
    for (auto [i, v] : c.image)
        image.at(static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v);
    const ReportContext ctx{model(c.model), c.freq, 0, image};
    for (int code : c.codes) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        ReceiverState state;
        EXPECT_EQ(decode25(statusReport(code, c.bytes), state, ctx), c.expect);
    }
}

} // namespace kelvor::link::test
