// The enciphered-image container: AES-128 blocks, each under the image key extended by one byte
// taken from the previous ciphertext block, so that blocks cannot be reordered or cut out unnoticed.
#include "image/readers.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace kelvor::image {
namespace {

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

constexpr std::size_t kBlock = 16;

// The key's last byte chains the blocks, so an image uses at most 256 keys. Keying a context costs
// many times a block, so each key gets its own ECB context, keyed once, on its first block.
class BlockCipher {
public:
    BlockCipher(const ImageKey& key, bool encrypt) : encrypt_(encrypt) {
        std::copy(key.begin(), key.end(), key_.begin());
    }
    // `blocks` whole blocks, all under the key ending in keyTail.
    bool run(const std::uint8_t* in, std::uint8_t* out, std::uint8_t keyTail, std::size_t blocks = 1) {
        CipherCtx& ctx = contexts_[keyTail];
        if (!ctx && !keyed(ctx, keyTail)) return false;
        const int bytes = static_cast<int>(blocks * kBlock);
        int outl = 0;
        return EVP_CipherUpdate(ctx.get(), out, &outl, in, bytes) == 1 && outl == bytes;
    }

private:
    bool keyed(CipherCtx& ctx, std::uint8_t keyTail) {
        // Fetched once for the process: the implicit fetch of EVP_aes_128_ecb() would look the
        // cipher up again at every init. Shared by every thread, never freed.
        static EVP_CIPHER* const aes = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
        if (aes == nullptr) return false;
        key_[15] = keyTail;
        CipherCtx c(EVP_CIPHER_CTX_new());
        if (!c || EVP_CipherInit_ex(c.get(), aes, nullptr, key_.data(), nullptr, encrypt_) != 1 ||
            EVP_CIPHER_CTX_set_padding(c.get(), 0) != 1)
            return false;
        ctx = std::move(c);
        return true;
    }

    int encrypt_;
    std::array<std::uint8_t, 16> key_{};
    std::array<CipherCtx, 256> contexts_;
};

} // namespace

ImageKey defaultImageKey() {
    static constexpr char kText[] = "KEL-VOR-IMG-KEY";
    static_assert(sizeof kText - 1 == std::tuple_size_v<ImageKey>);
    ImageKey k{};
    std::memcpy(k.data(), kText, k.size());
    return k;
}

std::optional<ImageKey> parseImageKey(std::string_view hex) {
    ImageKey k{};
    if (hex.size() != 2 * k.size()) return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < k.size(); ++i) {
        const int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        k[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return k;
}

bool decipherBlocks(std::span<const std::uint8_t> ciphertext,
                    std::span<std::uint8_t, kPlaintextSize> plaintext, const ImageKey& key) {
    const std::size_t n = ciphertext.size();
    if (n > kMaxEncipheredSize) return false;
    const std::size_t blocks = n / kBlock + 1; // one more than the whole blocks, zero-padded
    // Every block's key is known before any is deciphered (it ends in the ciphertext byte before the
    // block), so the blocks of one key go through the cipher in one call: gathered by key, deciphered,
    // put back in place.
    auto keyTail = [&](std::size_t b) -> std::uint8_t { return b == 0 ? 0x00 : ciphertext[b * kBlock - 1]; };
    std::array<std::size_t, 257> first{}; // first[t]: where key t's blocks start among the gathered
    for (std::size_t b = 0; b < blocks; ++b)
        ++first[keyTail(b) + 1u];
    for (std::size_t t = 1; t < first.size(); ++t)
        first[t] += first[t - 1];
    std::vector<std::uint8_t> gathered(blocks * kBlock, 0), deciphered(blocks * kBlock);
    std::vector<std::size_t> blockAt(blocks); // the gathered position's block
    auto next = first;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t at = b * kBlock, to = next[keyTail(b)]++;
        blockAt[to] = b;
        std::copy_n(ciphertext.data() + at, std::min(kBlock, n - at), gathered.data() + to * kBlock);
    }
    BlockCipher cipher(key, false);
    for (std::size_t t = 0; t < 256; ++t) {
        const std::size_t count = first[t + 1] - first[t];
        if (count == 0) continue;
        const std::size_t at = first[t] * kBlock;
        if (!cipher.run(gathered.data() + at, deciphered.data() + at, static_cast<std::uint8_t>(t), count))
            return false;
    }
    for (std::size_t k = 0; k < blocks; ++k)
        std::copy_n(deciphered.data() + k * kBlock, kBlock, plaintext.data() + blockAt[k] * kBlock);
    plaintext[n] = 0;
    return true;
}

std::optional<std::vector<std::uint8_t>> encipherBlocks(std::span<const std::uint8_t> plaintext,
                                                        const ImageKey& key) {
    if (plaintext.size() % kBlock != 0 || plaintext.size() > kMaxEncipheredSize) return std::nullopt;
    std::vector<std::uint8_t> out(plaintext.size());
    BlockCipher cipher(key, true);
    for (std::size_t at = 0; at < plaintext.size(); at += kBlock) {
        const std::uint8_t tail = at == 0 ? 0x00 : out[at - 1];
        if (!cipher.run(plaintext.data() + at, out.data() + at, tail)) return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encipherImage(std::span<const std::uint8_t> hexText,
                                                       const ImageKey& key) {
    const std::size_t textAt = kEncipheredTextStart - 1;
    if (hexText.size() > kMaxEncipheredText) return std::nullopt;
    // Whole blocks only: the decipherer reads a partial last block as zero-padded ciphertext.
    std::vector<std::uint8_t> plain((textAt + hexText.size() + kBlock - 1) / kBlock * kBlock, 0);
    writeLe32(plain.data() + 16, static_cast<std::uint32_t>(kEncipheredTextStart));
    writeLe32(plain.data() + 24, static_cast<std::uint32_t>(hexText.size()));
    if (!hexText.empty()) std::memcpy(plain.data() + textAt, hexText.data(), hexText.size());
    return encipherBlocks(plain, key);
}

} // namespace kelvor::image
