#pragma once
// Reading the current image for the selected model and decoding its configuration words.
#include "base/reporter.h"
#include "chips/catalog.h"
#include "image/buffers.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvor::image {

// The station's default image key: the 15 ASCII bytes of "KEL-VOR-IMG-KEY".
ImageKey defaultImageKey();
// 30 hex digits (either case); nullopt for anything else.
std::optional<ImageKey> parseImageKey(std::string_view hex);

enum class ResultRule { EndOfLastProgramRecord, LastRecordCount, EndOfLastDataRecord };

struct HexReadOptions {
    bool configAtOffset = false;
    ResultRule resultRule = ResultRule::EndOfLastProgramRecord;
};

// A record whose checksum byte does not make its bytes sum to zero. Such files are read anyway
// (hand-patched images exist on real lines); the first one is logged.
struct WrongRecordChecksum {
    int record = 0; // 1-based: the line of the record in the file or payload
    unsigned type = 0;
    unsigned offset = 0;
    std::uint8_t found = 0;
    std::uint8_t expected = 0;
};

struct HexReadResult {
    bool ok = false;
    int result = 0; // by the options' resultRule
    // Every wrong record checksum of the read, in file order, up to kListedChecksums of them.
    std::vector<WrongRecordChecksum> wrongChecksums;
    int wrongChecksumCount = 0;
    static constexpr std::size_t kListedChecksums = 64;
};

// Reads `path` into the areas: enciphered when the name ends in "bin" (lower case), else plain HEX.
HexReadResult readHexImage(const std::string& path, const HexReadOptions& options, ImageBuffers& buffers,
                           const ImageKey& key, Reporter& reporter);

// Who loads a raw file: the EEPROM programming refuses an empty path ("EEPROM文件为空!") after the
// separator line; the firmware download and the factory data open whatever path they are given.
enum class RawCaller { Other, Eeprom };

// Copies a raw binary file into programArea and sets rawLength and rawCrc, logging the separator,
// "Open File:…" and "文件打开成功!" as the station does. Returns false when nothing was loaded (file
// missing or unreadable, longer than 65,536 bytes, empty EEPROM path). The caller checks the link
// ("请使能烧录器连接!") and starts its transfer thread with rawLength.
bool loadRawImage(const std::string& path, ImageBuffers& buffers, Reporter& reporter,
                  RawCaller caller = RawCaller::Other);

// One text slot of the configuration-word page.
struct FuseSlot {
    int id;
    std::string text;
    bool visible;
};

// The configuration-word page's 22 slots, in the page's table order, with their default texts.
using FuseSlots = std::array<FuseSlot, 22>;
FuseSlots defaultFuseSlots();
FuseSlot* findSlot(FuseSlots& slots, int id);

// Where the last decoder copied its configuration block.
struct BlockCopy {
    enum class Destination { ConfigBlock, ProgramArea } destination;
    std::size_t offset;
    std::size_t size;
};

// Everything the decoders keep from one check to the next: their templates, the words c0…c4, the
// page slots. Defined in image/decoders.cpp.
struct DecoderTemplates;

struct DecoderState {
    DecoderState();
    ~DecoderState();
    DecoderState(DecoderState&&) noexcept;
    DecoderState& operator=(DecoderState&&) noexcept;

    std::array<std::uint16_t, 5> words{}; // c0 … c4
    FuseSlots fuseSlots;
    std::optional<BlockCopy> lastBlock; // set by the last successful decoder that built a block
    bool lastReadOk = false;            // whether the last decoder could read its image
    std::vector<WrongRecordChecksum> wrongChecksums; // of the last decoder's read (HexReadResult)
    int wrongChecksumCount = 0;
    std::unique_ptr<DecoderTemplates> templates;
};

// The image buffers and decoder state of one station, plus the image key and the last image length.
struct ImageState {
    ImageBuffers buffers;
    DecoderState decoders;
    ImageKey key = defaultImageKey();
    int imageLength = 0; // result of the last image check's decoder
};

// Runs the decoder of `model` on `imagePath`; returns the image length (0 when the image could not
// be read). A model without a decoder returns std::nullopt, reads nothing and puts the page slots
// back to their defaults.
std::optional<int> runDecoder(const chips::ModelRow& model, const std::string& imagePath, ImageState& state,
                              Reporter& reporter);

// The image check: runs the decoder, stores imageLength (0 for a model without a decoder) and
// returns 0 (usable) or -1 (warned with the "警告!" box and the event log line). EP39H01 and EP39H02
// pass whatever their decoder returns.
int checkImage(const chips::ModelRow& model, const std::string& imagePath, ImageState& state,
               Reporter& reporter);

} // namespace kelvor::image
