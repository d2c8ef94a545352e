#pragma once
// Small image files made inside the tests: HEX records, enciphered images, a temporary folder.
#include "image/image_check.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::testing {

// One Intel HEX record with a correct checksum and CR LF.
std::string hexRecord(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data);
inline std::string hexData(std::uint16_t offset, const std::vector<std::uint8_t>& data) {
    return hexRecord(0x00, offset, data);
}
// Type-04 record selecting upper address 0x00HL.
inline std::string hexUpper(std::uint8_t h, std::uint8_t l) { return hexRecord(0x04, 0, {h, l}); }
inline std::string hexEnd() { return ":00000001FF\r\n"; }
// Configuration words c0 … c4 at linear address 0x300000, as a layout-A image carries them.
std::string hexConfigWords(const std::vector<std::uint16_t>& words);
// Chip words at byte offset 0x4000 (chip word 0x2000), as a layout-B or layout-C image carries them.
std::string hexChipWords(const std::vector<std::uint16_t>& words);

std::vector<std::uint8_t> bytesOf(std::string_view text);
// Enciphered image carrying `text` under the station's default key.
std::vector<std::uint8_t> encipherText(std::string_view text);

// A folder below the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(std::string_view name) const;
    std::string write(std::string_view name, std::string_view text) const;
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path dir_;
};

// A station's image state as after start-up (zeroed areas, default page, template start values).
inline std::unique_ptr<image::ImageState> freshImageState() { return std::make_unique<image::ImageState>(); }

} // namespace kelvor::testing
