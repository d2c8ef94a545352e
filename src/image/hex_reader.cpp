// The HEX record reader (stream and in-memory forms), the enciphered image and the raw binary load.
#include "base/file_read.h"
#include "base/strfmt.h"
#include "image/checksums.h"
#include "image/readers.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kelvor::image {
namespace {

// "File Open Fail <path>" for a file that cannot be opened; with the reason appended for a path that
// is not a regular file or cannot be read, so the operator sees why.
void reportUnreadable(const std::string& path, const FileReadInfo& info, std::size_t limit, Reporter& reporter) {
    std::string line = strfmt(msg::kFileOpenFail, path.c_str());
    if (info.status != FileReadStatus::CannotOpen) line += ": " + fileReadProblem(info, limit);
    reporter.eventLog(line);
}

// Character sources of the record parser; get() returns -1 at the end of the data.
class SpanSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> s) : s_(s) {}
    int get() { return pos_ < s_.size() ? s_[pos_++] : -1; }

private:
    std::span<const std::uint8_t> s_;
    std::size_t pos_ = 0;
};

enum class Area { Program, Config, Id, Eeprom };

Area areaOf(std::uint8_t h, std::uint8_t l) {
    if (h == 0x00 && l == 0x30) return Area::Config;
    if (h == 0x00 && l == 0x20) return Area::Id;
    if (h == 0x00 && l == 0xF0) return Area::Eeprom;
    return Area::Program;
}

// The two readings share one grammar; the plain file differs in its complaints, in needing a
// type-01 record, and in honouring configAtOffset.
enum class Reading { PlainFile, Payload };

template <class Source> class RecordParser {
public:
    RecordParser(Source& src, Reading reading, const HexReadOptions& options, ImageBuffers& buffers,
                 Reporter& reporter)
        : src_(src), plain_(reading == Reading::PlainFile), opt_(options), buf_(buffers), rep_(reporter) {}

    HexReadResult run() {
        int c = src_.get();
        for (;;) {
            if (c != ':') {
                if (c == -1 && !plain_) return success();
                if (plain_) rep_.eventLog(msg::kErrorHexFile);
                return failure();
            }
            ++record_;
            std::uint8_t head[4];
            if (!readBytes(head, 4)) return refuse(msg::kRecordCutShort);
            const unsigned count = head[0];
            const unsigned offset = static_cast<unsigned>(head[1]) << 8 | head[2];
            const unsigned type = head[3];
            lastCount_ = static_cast<int>(count);
            if (type == 0x01) return success();
            std::uint8_t data[256];
            if (type == 0x04 || type == 0x02) {
                if (count != 2) return refuse(type == 0x04 ? msg::kType04Count : msg::kType02Count);
                if (!readBytes(data, 2)) return refuse(msg::kRecordCutShort);
                if (type == 0x04) {
                    area_ = areaOf(data[0], data[1]);
                    segmentBase_ = 0;
                } else {
                    // A segment address lies below 1 MB: program data, folded onto 64 KB like the rest.
                    area_ = Area::Program;
                    segmentBase_ = (static_cast<unsigned>(data[0]) << 8 | data[1]) * 16u;
                }
            } else if (type == 0x03 || type == 0x05) {
                // Start addresses: where execution begins, never bytes of the image.
                if (!readBytes(data, count)) return refuse(msg::kRecordCutShort);
            } else {
                const unsigned at = area_ == Area::Program ? (segmentBase_ + offset) & 0xFFFF : offset;
                std::uint8_t* dest = destination(at, count);
                if (!dest) return refuse(msg::kRecordPastArea);
                if (!readBytes(data, count)) return refuse(msg::kRecordCutShort);
                std::copy_n(data, count, dest);
                const int end = static_cast<int>(at + count);
                if (type == 0x00 && area_ == Area::Program) endOfProgram_ = end;
                endOfData_ = end & 0xFFFF;
            }
            std::uint8_t check = 0;
            if (!readBytes(&check, 1) || !lineEnd(c)) return refuse(msg::kRecordCutShort);
            checkRecord(head, data, type == 0x04 || type == 0x02 ? 2 : count, check);
        }
    }

private:
    // Where a data record of `count` bytes at `offset` lands in the current area, or nullptr when it
    // would run past the area's end.
    std::uint8_t* destination(unsigned offset, unsigned count) {
        std::uint8_t* base = nullptr;
        std::size_t size = 0, start = offset;
        switch (area_) {
        case Area::Program:
            base = buf_.programArea(), size = kProgramAreaSize;
            break;
        case Area::Eeprom:
            base = buf_.eepromArea.data(), size = kEepromAreaSize;
            break;
        case Area::Id:
            base = buf_.idArea.data(), size = kIdAreaSize, start = 0;
            break;
        case Area::Config:
            base = buf_.configArea.data(), size = kConfigAreaSize;
            if (!(plain_ && opt_.configAtOffset)) start = 0;
            break;
        }
        return start + count <= size ? base + start : nullptr;
    }

    bool readBytes(std::uint8_t* out, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            const int hi = src_.get();
            const int lo = src_.get();
            if (hi < 0 || lo < 0) return false;
            out[i] = static_cast<std::uint8_t>(hexDigitValue(hi) * 16 + hexDigitValue(lo));
        }
        return true;
    }

    // The line end after a checksum: LF alone (as every tool on this platform writes), or the two
    // characters of CR LF, taken unseen as the station always took them. `next` gets the character
    // after it. False when the text ends inside it.
    bool lineEnd(int& next) {
        const int first = src_.get();
        if (first < 0) return false;
        const int second = src_.get();
        if (first == '\n' && (second == ':' || second == -1)) {
            next = second;
            return true;
        }
        if (second < 0) return false;
        next = src_.get();
        return true;
    }

    void checkRecord(const std::uint8_t* head, const std::uint8_t* data, unsigned count, std::uint8_t found) {
        unsigned sum = head[0] + head[1] + head[2] + head[3];
        for (unsigned i = 0; i < count; ++i)
            sum += data[i];
        const auto expected = static_cast<std::uint8_t>(-sum);
        if (found == expected) return;
        const WrongRecordChecksum w{record_, head[3], static_cast<unsigned>(head[1]) << 8 | head[2], found,
                                    expected};
        if (wrong_.empty())
            rep_.eventLog(strfmt(msg::kWrongChecksum, w.record, w.type, w.offset, w.found, w.expected));
        if (wrong_.size() < HexReadResult::kListedChecksums) wrong_.push_back(w);
        ++wrongCount_;
    }

    HexReadResult success() {
        HexReadResult r = failure();
        r.ok = true;
        switch (opt_.resultRule) {
        case ResultRule::EndOfLastProgramRecord:
            r.result = endOfProgram_;
            break;
        case ResultRule::LastRecordCount:
            r.result = lastCount_;
            break;
        case ResultRule::EndOfLastDataRecord:
            r.result = endOfData_;
            break;
        }
        return r;
    }

    HexReadResult failure() {
        HexReadResult r;
        r.wrongChecksums = std::move(wrong_);
        r.wrongChecksumCount = wrongCount_;
        return r;
    }

    HexReadResult refuse(const char* why) {
        rep_.eventLog(why);
        return failure();
    }

    Source& src_;
    const bool plain_;
    const HexReadOptions& opt_;
    ImageBuffers& buf_;
    Reporter& rep_;
    Area area_ = Area::Program;
    unsigned segmentBase_ = 0; // of the last type-02 record; 0 after a type-04 record
    int record_ = 0;
    int lastCount_ = 0, endOfProgram_ = 0, endOfData_ = 0;
    std::vector<WrongRecordChecksum> wrong_;
    int wrongCount_ = 0;
};

template <class Source>
HexReadResult parse(Source& src, Reading reading, const HexReadOptions& options, ImageBuffers& buffers,
                    Reporter& reporter) {
    return RecordParser<Source>(src, reading, options, buffers, reporter).run();
}

// The areas are cleared for every image read: with memset rather than a loop, which the fuzz and
// sanitizer builds would instrument byte by byte.
void fillProgramArea(ImageBuffers& buffers) {
    std::memset(buffers.programArea(), 0xFF, kProgramAreaSize);
}
void clearPayload(ImageBuffers& buffers) {
    std::memset(buffers.payload.data(), 0, buffers.payload.size());
}

// Steps shared by the path and byte forms once the file bytes are in hand.
bool takePayload(std::span<const std::uint8_t> file, ImageBuffers& buffers, const ImageKey& key,
                 Reporter& reporter) {
    if (file.size() > kMaxEncipheredSize) {
        reporter.eventLog(msg::kEncipheredTooLong);
        return false;
    }
    std::vector<std::uint8_t> plain(kPlaintextSize);
    if (!decipherBlocks(file, std::span<std::uint8_t, kPlaintextSize>(plain.data(), kPlaintextSize), key))
        return false;
    const std::int32_t start = static_cast<std::int32_t>(readLe32(plain.data() + 16));
    const std::int32_t length = static_cast<std::int32_t>(readLe32(plain.data() + 24));
    if (start < 1 || start > static_cast<std::int32_t>(kPlaintextSize)) return false;
    // The original copy loop would run past the plaintext (and the payload) for these.
    if (length < 0 ||
        static_cast<std::int64_t>(start) - 1 + length > static_cast<std::int64_t>(kPlaintextSize)) {
        reporter.eventLog(msg::kPayloadOutside);
        return false;
    }
    std::copy_n(plain.begin() + (start - 1), length, buffers.payload.begin());
    buffers.payloadLength = length;
    return true;
}

HexReadResult parsePayloadOfBuffers(const HexReadOptions& options, ImageBuffers& buffers,
                                    Reporter& reporter) {
    fillProgramArea(buffers);
    if (buffers.payloadLength < 1) {
        buffers.eepromArea.fill(0);
        return {};
    }
    return readPayload(std::span<const std::uint8_t>(buffers.payload.data(), buffers.payloadLength), options,
                       buffers, reporter);
}

} // namespace

namespace {
constexpr std::uint8_t digitValue(int c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - 0x30);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 0x57);
    return static_cast<std::uint8_t>(c - 0x37);
}
constexpr auto kDigitValues = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = digitValue(c);
    return t;
}();
} // namespace

std::uint8_t hexDigitValue(int c) {
    return kDigitValues[c & 0xFF];
}

bool isEncipheredPath(const std::string& path) {
    return path.size() >= 3 && path.compare(path.size() - 3, 3, "bin") == 0;
}

HexReadResult readHexText(std::span<const std::uint8_t> text, const HexReadOptions& options,
                          ImageBuffers& buffers, Reporter& reporter) {
    fillProgramArea(buffers);
    SpanSource src(text);
    return parse(src, Reading::PlainFile, options, buffers, reporter);
}

HexReadResult readPayload(std::span<const std::uint8_t> text, const HexReadOptions& options,
                          ImageBuffers& buffers, Reporter& reporter) {
    SpanSource src(text);
    return parse(src, Reading::Payload, options, buffers, reporter);
}

bool readEncipheredBytes(std::span<const std::uint8_t> file, ImageBuffers& buffers, const ImageKey& key,
                         Reporter& reporter) {
    clearPayload(buffers);
    return takePayload(file, buffers, key, reporter);
}

bool readEncipheredImage(const std::string& path, ImageBuffers& buffers, const ImageKey& key,
                         Reporter& reporter) {
    clearPayload(buffers);
    std::vector<std::uint8_t> file;
    const FileReadInfo info = readRegularFile(path, kMaxEncipheredSize, file);
    switch (info.status) {
    case FileReadStatus::Ok:
        return takePayload(file, buffers, key, reporter);
    case FileReadStatus::CannotOpen:
        return false; // silently, as an unreadable image always was
    case FileReadStatus::TooLarge:
        reporter.eventLog(msg::kEncipheredTooLong);
        return false;
    default:
        reportUnreadable(path, info, kMaxEncipheredSize, reporter);
        return false;
    }
}

HexReadResult readEncipheredHex(std::span<const std::uint8_t> file, const HexReadOptions& options,
                                ImageBuffers& buffers, const ImageKey& key, Reporter& reporter) {
    if (!readEncipheredBytes(file, buffers, key, reporter)) return {};
    return parsePayloadOfBuffers(options, buffers, reporter);
}

HexReadResult readHexImage(const std::string& path, const HexReadOptions& options, ImageBuffers& buffers,
                           const ImageKey& key, Reporter& reporter) {
    if (isEncipheredPath(path)) {
        if (!readEncipheredImage(path, buffers, key, reporter)) return {};
        return parsePayloadOfBuffers(options, buffers, reporter);
    }
    fillProgramArea(buffers);
    std::vector<std::uint8_t> text;
    const FileReadInfo info = readRegularFile(path, kMaxHexFileSize, text);
    if (info.status != FileReadStatus::Ok) {
        reportUnreadable(path, info, kMaxHexFileSize, reporter);
        return {};
    }
    reporter.eventLog(strfmt(msg::kOpenFile, path.c_str()));
    SpanSource src(text);
    return parse(src, Reading::PlainFile, options, buffers, reporter);
}

bool loadRawImage(const std::string& path, ImageBuffers& buffers, Reporter& reporter, RawCaller caller) {
    reporter.eventLog(msg::kRawSeparator);
    if (caller == RawCaller::Eeprom && path.empty()) {
        reporter.eventLog(msg::kEepromPathEmpty);
        return false;
    }
    fillProgramArea(buffers);
    // Straight into programArea: the limit is its size, so nothing past it is ever written.
    std::size_t got = 0;
    const FileReadInfo info = readRegularFileChunks(path, kMaxRawSize, [&](std::span<const std::uint8_t> c) {
        std::copy(c.begin(), c.end(), buffers.programArea() + got);
        got += c.size();
    });
    if (info.status != FileReadStatus::Ok) {
        // Half a file in programArea is worse than none: restore the fill.
        fillProgramArea(buffers);
        const bool opened = info.status == FileReadStatus::TooLarge || info.status == FileReadStatus::ReadError;
        if (opened) reporter.eventLog(strfmt(msg::kOpenFile, path.c_str()));
        if (info.status == FileReadStatus::TooLarge)
            reporter.eventLog(msg::kRawTooLong);
        else
            reportUnreadable(path, info, kMaxRawSize, reporter);
        return false;
    }
    reporter.eventLog(strfmt(msg::kOpenFile, path.c_str()));
    buffers.rawLength = static_cast<std::int32_t>(got);
    buffers.rawCrc = imageCrc(buffers.programArea(), got);
    reporter.eventLog(msg::kRawLoaded);
    return true;
}

} // namespace kelvor::image
