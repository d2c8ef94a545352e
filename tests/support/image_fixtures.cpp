#include "support/image_fixtures.h"

#include "base/strfmt.h"
#include "image/readers.h"

#include <atomic>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace kelvor::test {

std::string hexRecord(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data) {
    std::string out = strfmt(":%02X%04X%02X", static_cast<unsigned>(data.size()), offset, type);
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    for (auto b : data) {
        out += strfmt("%02X", b);
        sum += b;
    }
    return out + strfmt("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

static std::vector<std::uint8_t> leBytes(const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> out;
    for (auto w : words) {
        out.push_back(static_cast<std::uint8_t>(w & 0xFF));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

std::string hexConfigWords(const std::vector<std::uint16_t>& words) {
    return hexUpper(0x00, 0x30) + hexData(0, leBytes(words)) + hexUpper(0x00, 0x00);
}

std::string hexChipWords(const std::vector<std::uint16_t>& words) {
    return hexData(0x4000, leBytes(words));
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> encipherText(std::string_view text) {
    auto image = image::encipherImage(bytesOf(text), image::defaultImageKey());
    if (!image) throw std::runtime_error("text does not fit an enciphered image");
    return *image;
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("kelvor-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string TempDir::path(std::string_view name) const {
    return (dir_ / name).string();
}

std::string TempDir::write(std::string_view name, std::string_view text) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    return p;
}

std::string TempDir::write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace kelvor::test
