// Reading and decoding a full 64 KB image, and every checksum over 64 KB. The budget for read +
// decode is 1 % of the shortest transfer's pacing floor (17 chunks x 10 ms): 1.7 ms.
#include "base/strfmt.h"
#include "chips/catalog.h"
#include "image/checksums.h"
#include "image/image_check.h"
#include "image/readers.h"

#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace {

using namespace kelvor;

class QuietReporter : public Reporter {
public:
    void eventLog(std::string_view) override {}
    void windowLog(std::string_view) override {}
    bool messageBox(std::string_view, std::string_view, BoxButtons, BoxIcon) override { return false; }
};

std::string record(unsigned type, unsigned offset, const std::uint8_t* data, unsigned n) {
    std::string out = strfmt(":%02X%04X%02X", n, offset, type);
    unsigned sum = n + (offset >> 8) + (offset & 0xFF) + type;
    for (unsigned i = 0; i < n; ++i) {
        out += strfmt("%02X", data[i]);
        sum += data[i];
    }
    return out + strfmt("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

// 64 KB of program data in 16-byte records, plus the layout-A configuration words.
std::string fullImageText() {
    std::mt19937 rng(1);
    std::array<std::uint8_t, 16> d{};
    std::string text;
    for (unsigned off = 0; off < 0x10000; off += 16) {
        for (auto& b : d)
            b = static_cast<std::uint8_t>(rng());
        text += record(0x00, off, d.data(), 16);
    }
    const std::uint8_t upper[] = {0x00, 0x30};
    const std::uint8_t words[] = {0xB5, 0x00, 0xC9, 0x00, 0xAE, 0x00, 0x0F, 0x00, 0x00, 0x00};
    text += record(0x04, 0, upper, 2) + record(0x00, 0, words, 10) + ":00000001FF\r\n";
    return text;
}

const std::string& imagePath() {
    static const std::string path = [] {
        auto p = std::filesystem::temp_directory_path() / "kelvor-bench-image.hex";
        std::ofstream(p, std::ios::binary) << fullImageText();
        return p.string();
    }();
    return path;
}

void readAndDecode(benchmark::State& st, const char* model) {
    const auto& row = *chips::findModel(model);
    auto state = std::make_unique<image::ImageState>();
    const std::string& path = imagePath();
    QuietReporter rep;
    for (auto _ : st)
        benchmark::DoNotOptimize(image::checkImage(row, path, *state, rep));
    if (state->imageLength <= 0) st.SkipWithError("image not usable");
}
BENCHMARK_CAPTURE(readAndDecode, layoutA_EP39F02, "EP39F02")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAndDecode, layoutB_EP2706, "EP2706")->Unit(benchmark::kMillisecond);

// The enciphered branch of the image read (decipher, parse) over `text` enciphered once.
void timeEncipheredRead(benchmark::State& st, const std::string& text) {
    const auto file = image::encipherImage({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                           image::defaultImageKey());
    auto state = std::make_unique<image::ImageState>();
    QuietReporter rep;
    for (auto _ : st)
        benchmark::DoNotOptimize(image::readEncipheredHex(*file, {}, state->buffers, state->key, rep));
}

// The largest enciphered image (about 21 KB of data in 64 KB of text) through decipher and parse.
void readEnciphered(benchmark::State& st) {
    std::string text = fullImageText();
    text.resize(image::kMaxEncipheredText - 13);
    text = text.substr(0, text.rfind(':')) + ":00000001FF\r\n";
    timeEncipheredRead(st, text);
}
BENCHMARK(readEnciphered)->Unit(benchmark::kMillisecond);

const std::vector<std::uint8_t>& data64k();

// The cipher alone over the largest enciphered image: 4096 blocks, each under its own key.
void decipher64k(benchmark::State& st) {
    const std::span<const std::uint8_t> file(data64k().data(), image::kMaxEncipheredSize);
    std::vector<std::uint8_t> plain(image::kPlaintextSize);
    const auto key = image::defaultImageKey();
    for (auto _ : st)
        benchmark::DoNotOptimize(image::decipherBlocks(
            file, std::span<std::uint8_t, image::kPlaintextSize>(plain.data(), plain.size()), key));
    st.SetBytesProcessed(st.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(decipher64k)->Unit(benchmark::kMicrosecond);

// A small enciphered image (one HEX record) as a fuzzer or a tiny firmware brings it: what does not
// grow with the image (buffers cleared, the cipher set up).
void readEncipheredSmall(benchmark::State& st) {
    timeEncipheredRead(st, ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n");
}
BENCHMARK(readEncipheredSmall)->Unit(benchmark::kMicrosecond);

const std::vector<std::uint8_t>& data64k() {
    static const std::vector<std::uint8_t> d = [] {
        std::vector<std::uint8_t> v(65536);
        std::mt19937 rng(2);
        for (auto& b : v)
            b = static_cast<std::uint8_t>(rng());
        return v;
    }();
    return d;
}

void crc16XmodemBench(benchmark::State& st) {
    for (auto _ : st)
        benchmark::DoNotOptimize(image::crc16Xmodem(data64k().data(), 65536));
    st.SetBytesProcessed(st.iterations() * 65536);
}
BENCHMARK(crc16XmodemBench)->Unit(benchmark::kMicrosecond);

void maskedCrc(benchmark::State& st, image::CrcForm form) {
    for (auto _ : st)
        benchmark::DoNotOptimize(image::maskedImageCrc(data64k().data(), 65536, form, 65536 - 0x30));
    st.SetBytesProcessed(st.iterations() * 65536);
}
BENCHMARK_CAPTURE(maskedCrc, plain, image::CrcForm::Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, skip, image::CrcForm::Skip)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, blankWords, image::CrcForm::BlankWords)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, skipBlankWords, image::CrcForm::SkipBlankWords)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, skipErasedRecord, image::CrcForm::SkipErasedRecord)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, large, image::CrcForm::Large)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(maskedCrc, small, image::CrcForm::Small)->Unit(benchmark::kMicrosecond);

void imageCrcBench(benchmark::State& st) {
    for (auto _ : st)
        benchmark::DoNotOptimize(image::imageCrc(data64k().data(), 65536));
    st.SetBytesProcessed(st.iterations() * 65536);
}
BENCHMARK(imageCrcBench)->Unit(benchmark::kMicrosecond);

// The block checks run over at most 128 words; 64 KB of words is 512 blocks' worth.
void blockChecks(benchmark::State& st) {
    std::vector<std::uint16_t> words(32768, 0x3FFF);
    for (auto _ : st) {
        for (std::size_t at = 0; at + 64 <= words.size(); at += 64) {
            std::span<std::uint16_t> block(words.data() + at, 64);
            image::blockCheck16(block, 2, 30, 31);
            image::blockCheck14(block, 15);
            image::blockCheck14Tail(block);
        }
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * 65536);
}
BENCHMARK(blockChecks)->Unit(benchmark::kMicrosecond);

} // namespace
