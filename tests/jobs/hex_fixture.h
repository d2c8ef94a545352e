#pragma once
// Small Intel HEX images built in the tests (CR LF line ends, as the reader requires), and temporary
// files to hold them.
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kelvor::testing_hex {

class HexBuilder {
public:
    // Data at a 16-bit offset of the current area, split into records of at most 16 bytes.
    HexBuilder& data(std::uint16_t offset, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += 16) {
            const std::size_t n = std::min<std::size_t>(16, bytes.size() - i);
            record(static_cast<std::uint16_t>(offset + i), 0x00,
                   std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(i),
                                             bytes.begin() + static_cast<long>(i + n)));
        }
        return *this;
    }
    // Type-04 record: 0x0030 selects the configuration area, 0x0000 the program area.
    HexBuilder& upper(std::uint16_t value) {
        return record(0, 0x04,
                      {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)});
    }
    HexBuilder& record(std::uint16_t offset, std::uint8_t type, const std::vector<std::uint8_t>& bytes) {
        text_ += test::hexRecord(type, offset, bytes);
        return *this;
    }
    // The text with its end-of-file record.
    std::string text() const { return text_ + test::hexEnd(); }

private:
    std::string text_;
};

// `count` bytes of a pattern that sets the top bits of some words, so 14-bit masking shows.
inline std::vector<std::uint8_t> pattern(std::size_t count, std::uint8_t seed = 0x11) {
    std::vector<std::uint8_t> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<std::uint8_t>(seed + i * 37);
    return v;
}

// Writes `content` to `name` in a directory of its own for the running test (so parallel tests never
// share a file and the file name stays exactly `name`) and returns its path.
inline std::string writeTempFile(const std::string& name, const std::string& content) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string tag = info ? std::string(info->test_suite_name()) + "_" + info->name() : "x";
    for (auto& c : tag)
        if (c == '/') c = '_';
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("kelvor_" + tag);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

} // namespace kelvor::testing_hex
