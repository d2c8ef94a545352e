#include "image/readers.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace kelvor::image {
namespace {

using test::bytesOf;

std::vector<std::uint8_t> unhex(std::string_view h) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    return out;
}

// One AES-128 block deciphered straight through OpenSSL, as an outside reference.
std::vector<std::uint8_t> aesDecrypt(const std::vector<std::uint8_t>& key16, const std::uint8_t* in) {
    std::vector<std::uint8_t> out(32);
    int len = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key16.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_DecryptUpdate(ctx, out.data(), &len, in, 16);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(16);
    return out;
}

TEST(ImageKey, DefaultAndParsed) {
    const ImageKey k = defaultImageKey();
    EXPECT_EQ(std::string(k.begin(), k.end()), "KEL-VOR-IMG-KEY");
    EXPECT_EQ(parseImageKey("4b454c2d564f522d494d472d4b4559"), k);
    EXPECT_EQ(parseImageKey("4B454C2D564F522D494D472D4B4559"), k);
    for (const char* bad : {"", "4b454c2d564f522d494d472d4b455", "4b454c2d564f522d494d472d4b455900",
                            "4b454c2d564f522d494d472d4b45zz", "4b454c2d564f522d494d472d4b45 9"})
        EXPECT_FALSE(parseImageKey(bad)) << bad;
}

// FIPS-197 C.1 as block 1 of a 32-byte image: its key is the image key followed by ciphertext byte 15.
TEST(Decipher, ChainsTheKeyAndDeciphersOneBlockMore) {
    ImageKey key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(i);
    auto cipher = unhex("a0a1a2a3a4a5a6a7a8a9aaabacadae0f"
                        "69c4e0d86a7b0430d8cdb78070b4c55a");
    std::vector<std::uint8_t> plain(kPlaintextSize, 0xEE);
    ASSERT_TRUE(
        decipherBlocks(cipher, std::span<std::uint8_t, kPlaintextSize>(plain.data(), kPlaintextSize), key));

    std::vector<std::uint8_t> key16(key.begin(), key.end());
    key16.push_back(0x00);
    EXPECT_EQ(std::vector<std::uint8_t>(plain.begin(), plain.begin() + 16), aesDecrypt(key16, cipher.data()));
    EXPECT_EQ(std::vector<std::uint8_t>(plain.begin() + 16, plain.begin() + 32),
              unhex("00112233445566778899aabbccddeeff"));
    // Block 2 lies wholly past the file: a zero block under a key ending with ciphertext byte 31.
    key16.back() = 0x5a;
    const std::uint8_t zero[16] = {};
    auto third = aesDecrypt(key16, zero);
    third[0] = 0; // plaintext byte n
    EXPECT_EQ(std::vector<std::uint8_t>(plain.begin() + 32, plain.begin() + 48), third);
    EXPECT_EQ(plain[48], 0xEE) << "nothing past the extra block is written";
}

// The largest file, each key serving many blocks: every block as OpenSSL deciphers it alone.
TEST(Decipher, EveryBlockOfTheLargestFileUnderItsOwnKey) {
    std::vector<std::uint8_t> cipher(kMaxEncipheredSize);
    std::mt19937 rng(7);
    for (auto& c : cipher)
        c = static_cast<std::uint8_t>(rng());
    const ImageKey key = defaultImageKey();
    std::vector<std::uint8_t> plain(kPlaintextSize, 0xEE);
    ASSERT_TRUE(
        decipherBlocks(cipher, std::span<std::uint8_t, kPlaintextSize>(plain.data(), kPlaintextSize), key));
    std::vector<std::uint8_t> key16(key.begin(), key.end());
    key16.push_back(0);
    const std::size_t blocks = cipher.size() / 16 + 1;
    for (std::size_t b = 0; b < blocks; ++b) {
        std::uint8_t in[16] = {};
        std::copy_n(cipher.data() + b * 16, std::min<std::size_t>(16, cipher.size() - b * 16), in);
        key16.back() = b == 0 ? 0 : cipher[b * 16 - 1];
        auto expected = aesDecrypt(key16, in);
        if (b + 1 == blocks) expected.back() = 0; // plaintext byte n
        ASSERT_EQ(std::vector<std::uint8_t>(plain.begin() + 16 * b, plain.begin() + 16 * (b + 1)), expected)
            << "block " << b;
    }
}

TEST(Encipher, RoundTripsThroughTheStationReader) {
    const std::string text = test::hexData(0, {1, 2, 3}) + test::hexEnd();
    const auto image = test::encipherText(text);
    EXPECT_EQ(image.size() % 16, 0u);
    auto state = test::freshImageState();
    RecordingReporter rep;
    ASSERT_TRUE(readEncipheredBytes(image, state->buffers, defaultImageKey(), rep));
    EXPECT_EQ(state->buffers.payloadLength, static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(std::string(state->buffers.payload.begin(), state->buffers.payload.begin() + text.size()),
              text);

    // Another key reads garbage: the start field lands outside 1…65,536 or the text lacks its ':'.
    ImageKey other = defaultImageKey();
    other[0] ^= 1;
    EXPECT_FALSE(readEncipheredHex(image, {}, state->buffers, other, rep).ok);
}

TEST(Encipher, LongestTextFitsAndOneMoreIsRefused) {
    std::string text(kMaxEncipheredText, 'x');
    const auto image = encipherImage(bytesOf(text), defaultImageKey());
    ASSERT_TRUE(image);
    EXPECT_LE(image->size(), kMaxEncipheredSize);
    auto state = test::freshImageState();
    RecordingReporter rep;
    ASSERT_TRUE(readEncipheredBytes(*image, state->buffers, defaultImageKey(), rep));
    EXPECT_EQ(state->buffers.payloadLength, static_cast<std::int32_t>(text.size()));
    text.push_back('x');
    EXPECT_FALSE(encipherImage(bytesOf(text), defaultImageKey()));
}

// An image whose plaintext carries the given start and length fields and the text behind them.
std::vector<std::uint8_t> imageWith(std::int32_t start, std::int32_t length, std::size_t size = 64) {
    std::vector<std::uint8_t> plain(size, 0);
    writeLe32(plain.data() + 16, static_cast<std::uint32_t>(start));
    writeLe32(plain.data() + 24, static_cast<std::uint32_t>(length));
    const std::string text = test::hexEnd();
    std::memcpy(plain.data() + 28, text.data(), text.size());
    return *encipherBlocks(plain, defaultImageKey());
}

TEST(Decipher, StartAndLengthFieldsTable) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> image;
        bool ok;
        std::vector<std::string> log;
    };
    const Row rows[] = {
        {"start 0 fails silently", imageWith(0, 13), false, {}},
        {"start past the plaintext fails silently", imageWith(65537, 1), false, {}},
        {"the text at start 29", imageWith(29, 13), true, {}},
        {"start 1 with the whole plaintext", imageWith(1, 65536), true, {}},
        {"negative length", imageWith(29, -1), false, {msg::kPayloadOutside}},
        {"length reaching past the plaintext", imageWith(2, 65536), false, {msg::kPayloadOutside}},
        {"length above the payload", imageWith(1, 131073), false, {msg::kPayloadOutside}},
        {"file longer than 65,535 bytes", std::vector<std::uint8_t>(65536), false, {msg::kEncipheredTooLong}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto state = test::freshImageState();
        RecordingReporter rep;
        EXPECT_EQ(readEncipheredBytes(r.image, state->buffers, defaultImageKey(), rep), r.ok);
        EXPECT_EQ(rep.texts(), r.log);
    }
}

TEST(Decipher, EmptyPayloadClearsEepromAndUnreadableImageLeavesProgramArea) {
    auto state = test::freshImageState();
    ImageBuffers& b = state->buffers;
    RecordingReporter rep;
    b.eepromArea.fill(0x5A);
    b.programArea()[0] = 0x00;
    EXPECT_FALSE(readEncipheredHex(imageWith(29, 0), {}, b, defaultImageKey(), rep).ok);
    EXPECT_EQ(b.eepromArea[511], 0);
    EXPECT_EQ(b.programArea()[0], 0xFF);

    b.eepromArea.fill(0x5A);
    b.programArea()[0] = 0x00;
    EXPECT_FALSE(readEncipheredHex(imageWith(0, 13), {}, b, defaultImageKey(), rep).ok);
    EXPECT_EQ(b.eepromArea[0], 0x5A);
    EXPECT_EQ(b.programArea()[0], 0x00) << "an image that could not be read leaves programArea alone";
    EXPECT_TRUE(rep.texts().empty());
}

} // namespace
} // namespace kelvor::image
