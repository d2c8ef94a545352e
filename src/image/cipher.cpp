// The enciphered-image container: AES-128 blocks, each under the image key extended by one byte
// taken from the previous ciphertext block, so that blocks cannot be reordered or cut out unnoticed.
#include "image/readers.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace kelvor::image {
namespace {

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

constexpr std::size_t kBlock = 16;

// One ECB context re-keyed for every block; the key's last byte chains the blocks.
class BlockCipher {
public:
    BlockCipher(const ImageKey& key, bool encrypt) : ctx_(EVP_CIPHER_CTX_new()), encrypt_(encrypt) {
        std::copy(key.begin(), key.end(), key_.begin());
        ok_ = ctx_ && EVP_CipherInit_ex(ctx_.get(), EVP_aes_128_ecb(), nullptr, nullptr, nullptr, encrypt_) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx_.get(), 0) == 1;
    }
    bool run(const std::uint8_t* in, std::uint8_t* out, std::uint8_t keyTail) {
        key_[15] = keyTail;
        int outl = 0;
        return ok_ && EVP_CipherInit_ex(ctx_.get(), nullptr, nullptr, key_.data(), nullptr, encrypt_) == 1 &&
               EVP_CipherUpdate(ctx_.get(), out, &outl, in, static_cast<int>(kBlock)) == 1 &&
               outl == static_cast<int>(kBlock);
    }

private:
    CipherCtx ctx_;
    int encrypt_;
    bool ok_ = false;
    std::array<std::uint8_t, 16> key_{};
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

bool decipherBlocks(std::span<const std::uint8_t> ciphertext, std::span<std::uint8_t, kPlaintextSize> plaintext,
                    const ImageKey& key) {
    const std::size_t n = ciphertext.size();
    if (n > kMaxEncipheredSize) return false;
    BlockCipher cipher(key, false);
    const std::size_t blocks = n / kBlock + 1; // one more than the whole blocks, zero-padded
    for (std::size_t b = 0; b < blocks; ++b) {
        std::uint8_t in[kBlock] = {};
        const std::size_t at = b * kBlock;
        std::copy_n(ciphertext.data() + at, std::min(kBlock, n - at), in);
        const std::uint8_t tail = b == 0 ? 0x00 : ciphertext[at - 1];
        if (!cipher.run(in, plaintext.data() + at, tail)) return false;
    }
    plaintext[n] = 0;
    return true;
}

std::optional<std::vector<std::uint8_t>> encipherBlocks(std::span<const std::uint8_t> plaintext, const ImageKey& key) {
    if (plaintext.size() % kBlock != 0 || plaintext.size() > kMaxEncipheredSize) return std::nullopt;
    std::vector<std::uint8_t> out(plaintext.size());
    BlockCipher cipher(key, true);
    for (std::size_t at = 0; at < plaintext.size(); at += kBlock) {
        const std::uint8_t tail = at == 0 ? 0x00 : out[at - 1];
        if (!cipher.run(plaintext.data() + at, out.data() + at, tail)) return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encipherImage(std::span<const std::uint8_t> hexText, const ImageKey& key) {
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
