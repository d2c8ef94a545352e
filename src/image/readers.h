#pragma once
// The image readers in both forms: from a path, as the station reads the current image, and from
// bytes already in memory (fuzzers, tests, the encipher command). Declared here beside the path
// forms of image_check.h; every reader fills the areas of ImageBuffers and never leaves them.
#include "base/reporter.h"
#include "image/buffers.h"
#include "image/image_check.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvor::image {

inline constexpr std::size_t kPlaintextSize = 65536;     // decipher buffer
inline constexpr std::size_t kMaxEncipheredSize = 65535; // one block more than the whole blocks must fit
inline constexpr std::size_t kMaxRawSize = kProgramAreaSize;
// A HEX file filling every area with one-byte records stays under 1 MiB; real producers write far
// less. Anything beyond this is not an image for these chips, and is refused before it is parsed.
inline constexpr std::size_t kMaxHexFileSize = 8u << 20;
inline constexpr std::int32_t kEncipheredTextStart = 29; // where encipherImage places the HEX text (1-based)
// The longest text encipherImage can carry: whole blocks within kMaxEncipheredSize.
inline constexpr std::size_t kMaxEncipheredText = kMaxEncipheredSize / 16 * 16 - (kEncipheredTextStart - 1);

// Texts the readers write to the event log.
namespace msg {
inline constexpr const char* kOpenFile = "Open File:%s\n";
inline constexpr const char* kFileOpenFail = "File Open Fail %s";
inline constexpr const char* kErrorHexFile = "Error Hex file !!!!";
inline constexpr const char* kRawSeparator = kLogSeparator;
inline constexpr const char* kRawLoaded = "文件打开成功!";
inline constexpr const char* kEepromPathEmpty = "EEPROM文件为空!";
// Inputs beyond the limits of the buffers are refused with one of these.
inline constexpr const char* kEncipheredTooLong =
    "Error Hex file: enciphered image longer than 65535 bytes !!!!";
inline constexpr const char* kPayloadOutside = "Error Hex file: payload start/length outside the image !!!!";
inline constexpr const char* kType04Count = "Error Hex file: type 04 record without 2 data bytes !!!!";
inline constexpr const char* kType02Count = "Error Hex file: type 02 record without 2 data bytes !!!!";
inline constexpr const char* kRecordPastArea = "Error Hex file: record past end of area !!!!";
inline constexpr const char* kRecordCutShort = "Error Hex file: record cut short !!!!";
// Logged once per read, for the first record whose checksum is wrong; the file is still read.
inline constexpr const char* kWrongChecksum =
    "Warning Hex file: record %d (type %02X, offset 0x%04X) has checksum 0x%02X, expected 0x%02X; read anyway";
inline constexpr const char* kRawTooLong = "Error raw file: longer than 65536 bytes !!!!";
} // namespace msg

// c - '0' for digits, c - 'a' + 10 for a-f, c - 55 for anything else (wrapping, never refused).
std::uint8_t hexDigitValue(int c);

// True when the path names an enciphered image: its last three characters are exactly "bin".
bool isEncipheredPath(const std::string& path);

// The record grammar of both readings: ':', count, offset, type, data, checksum, then CR LF (any two
// characters, unchecked) or LF alone. Type 01 ends the read; 04 selects the area by its upper
// address; 02 sets a segment base (value * 16) for the program data that follows, folded onto
// 64 KB; 03 and 05 are start addresses and place nothing; every other type is data. A wrong
// record checksum is logged once (kWrongChecksum) and listed in the result, never refused.
//
// Plain HEX text (the stream reading): fills programArea with 0xFF, then parses. Logs
// "Error Hex file !!!!" for a broken record chain and the refusal texts above.
HexReadResult readHexText(std::span<const std::uint8_t> text, const HexReadOptions& options,
                          ImageBuffers& buffers, Reporter& reporter);

// The HEX text carried in an enciphered image (the in-memory reading): a record that does not start
// with ':' fails silently, the end of the text without a type-01 record succeeds, configuration
// data always lands from the start of configArea. Does not touch programArea's fill.
HexReadResult readPayload(std::span<const std::uint8_t> text, const HexReadOptions& options,
                          ImageBuffers& buffers, Reporter& reporter);

// readEncipheredImage over file bytes already in memory.
bool readEncipheredBytes(std::span<const std::uint8_t> file, ImageBuffers& buffers, const ImageKey& key,
                         Reporter& reporter);
// Deciphers an enciphered image into payload/payloadLength. False (silently) when the file cannot be
// opened or its start field lies outside 1…65,536; false with a log line for a path that is not a
// regular file, a file longer than 65,535 bytes or a start/length pair reaching past the plaintext
// (a negative length included).
bool readEncipheredImage(const std::string& path, ImageBuffers& buffers, const ImageKey& key,
                         Reporter& reporter);

// The whole enciphered branch of readHexImage over file bytes: decipher, fill programArea, parse.
HexReadResult readEncipheredHex(std::span<const std::uint8_t> file, const HexReadOptions& options,
                                ImageBuffers& buffers, const ImageKey& key, Reporter& reporter);

// Deciphers n = ciphertext.size() bytes as n/16 + 1 blocks (the bytes past the file read as zero),
// block b under the key imageKey + (0x00 for block 0, else the last ciphertext byte of block b-1),
// then sets plaintext byte n to 0. False when n > 65,535 or the cipher fails.
bool decipherBlocks(std::span<const std::uint8_t> ciphertext,
                    std::span<std::uint8_t, kPlaintextSize> plaintext, const ImageKey& key);

// The inverse of decipherBlocks for plaintext of whole blocks (size a multiple of 16, at most 65,535
// bytes); std::nullopt otherwise.
std::optional<std::vector<std::uint8_t>> encipherBlocks(std::span<const std::uint8_t> plaintext,
                                                        const ImageKey& key);

// An enciphered image carrying `hexText` at position 29, zero-padded to whole blocks.
// std::nullopt when the result would be longer than 65,535 bytes.
std::optional<std::vector<std::uint8_t>> encipherImage(std::span<const std::uint8_t> hexText,
                                                       const ImageKey& key);

} // namespace kelvor::image
