#include "jobs/family_table.h"

#include "base/strfmt.h"
#include "image/buffers.h"

#include <array>

namespace kelvor::jobs {
namespace {

using chips::Family;
using image::CrcForm;
using C = ConfigSource;
using B = BlockType;
using K = JobKind;
using T = TransferVariant;
using L = LengthRule;

constexpr bool Y = true;
constexpr bool n = false;

// Columns: family, kind, N, copy, config source, block, check, CKSUM, transfer, length rule,
// 13.56, EEPROM side, factory side, PDO, select32M, select32MAlt, short code, long code,
// variant model, its code.
// clang-format off
constexpr std::array<JobFamily, chips::kFamilyCount> kFamilies = {{
    {Family::EP2702,    K::BuiltIn, 8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x2702, 0x2702, "", 0},
    {Family::EP2701,    K::BuiltIn, 8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x2701, 0x2701, "", 0},
    {Family::EP2705,    K::BuiltIn, 8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x2705, 0x2705, "", 0},
    {Family::EP3901,    K::Bits16,  16384, 16384, C::ConfigBlock,     B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::ByImageLength, n, n, n, n, n, n, 0x3901, 0x3901, "", 0},
    {Family::EP2703,    K::BuiltIn, 16384, 16384, C::ProgramArea4000, B::ShortOrLong, CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x2703, 0x2703, "", 0},
    {Family::EP3904,    K::Bits16,  16384, 16384, C::ConfigBlock,     B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x3904, 0x3904, "", 0},
    {Family::EP3902,    K::Bits16,  16384, 16384, C::ConfigBlock,     B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x3902, 0x3902, "", 0},
    {Family::EP3903,    K::Bits16,  16384, 16384, C::ConfigBlock,     B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x3903, 0x3903, "", 0},
    {Family::EP27H02,   K::Bits14,  8192,  8192,  C::ProgramArea4000, B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x3E02, 0x3E02, "", 0},
    {Family::EP27H01,   K::Bits14,  8192,  8192,  C::ProgramArea4000, B::Short,       CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x1D01, 0x1D01, "", 0},
    {Family::EP2706,    K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, n, n, n, n, n, 0x2706, 0x2706, "", 0},
    {Family::EP39B13,   K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, n, n, n, n, n, 0x9B13, 0x9B13, "", 0},
    {Family::EP27C42,   K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, n, n, n, n, n, 0x7C42, 0x7C42, "", 0},
    {Family::EP2707,    K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x2707, 0x2706, "", 0},
    {Family::EP39F01,   K::F39,     8192,  8192,  C::ConfigBlock,     B::Long,        CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39F02,   K::F39,     8192,  8192,  C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39F25X,  K::F39,     16384, 16384, C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, n, n, n, Y, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39F022,  K::F39,     8192,  8192,  C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0xF022, 0xF022, "", 0},
    {Family::EP39F020,  K::F39,     8192,  8192,  C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0xF020, 0xF020, "", 0},
    {Family::EP39F024,  K::F39,     8192,  8192,  C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39F256,  K::F39,     16384, 16384, C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::Large,            T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39F03,   K::F39,     32768, 32768, C::ConfigBlock,     B::Long,        CheckForm::Plain,      CrcForm::Skip,             T::Paged,        L::Fixed,         n, n, n, n, n, n, 0x9F03, 0x9F03, "", 0},
    {Family::EP39F05,   K::F39,     8192,  8192,  C::ConfigBlock,     B::Long,        CheckForm::Plain,      CrcForm::Skip,             T::Plain,        L::Fixed,         n, n, n, n, n, n, 0x9F02, 0x9F02, "", 0},
    {Family::EP39H01,   K::Charger, 16384, 16384, C::ConfigBlock,     B::Charger,     CheckForm::Plain,      CrcForm::Skip,             T::Paged,        L::Fixed,         n, n, n, Y, n, n, 0x39B1, 0x39B1, "", 0},
    {Family::EP39H02,   K::Charger, 24576, 24576, C::ConfigBlock,     B::Charger,     CheckForm::Plain,      CrcForm::Skip,             T::Paged,        L::Fixed,         n, n, n, n, n, n, 0x39B2, 0x39B2, "", 0},
    {Family::EP8505_IN, K::Raw,     0,     0,     C::None,            B::None,        CheckForm::None,       CrcForm::Plain,            T::OfflineBlock, L::RawImage,      n, n, n, n, n, n, 0,      0,      "", 0},
    {Family::EP8505,    K::Raw,     0,     0,     C::None,            B::None,        CheckForm::None,       CrcForm::Plain,            T::OfflineBlock, L::RawImage,      n, n, n, n, n, n, 0,      0,      "", 0},
    {Family::EP27F01,   K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, Y, n, n, n, n, 0x7F01, 0x7F01, "EP27F01A3", 0x7F0A},
    {Family::EP27F02,   K::Bits14,  4096,  4096,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, n, n, n, n, n, 0x7F02, 0x7F02, "", 0},
    {Family::EP39F06,   K::F39,     16384, 16384, C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::Large,            T::Plain,        L::Fixed,         n, Y, Y, n, Y, Y, 0x9F06, 0x9F06, "EP39F06A", 0x9F0A},
    {Family::EP39F003,  K::F39,     16384, 16384, C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::Large,            T::Plain,        L::Fixed,         n, n, n, n, Y, n, 0x9F06, 0x9F06, "", 0},
    {Family::EP39F08,   K::F39,     4096,  8192,  C::ProgramArea1000, B::Params39F,   CheckForm::Plain,      CrcForm::Small,            T::Plain,        L::Fixed,         n, Y, Y, n, n, Y, 0x9F08, 0x9F08, "", 0},
    {Family::EP406,     K::Bits14,  8192,  8192,  C::ProgramArea4000, B::ShortOrLong, CheckForm::BlankWords, CrcForm::SkipBlankWords,   T::Plain,        L::Fixed,         Y, n, n, n, n, n, 0x006A, 0x006A, "", 0},
    {Family::EP408,     K::F39,     8192,  8192,  C::ConfigBlock,     B::Params39F,   CheckForm::Plain,      CrcForm::SkipErasedRecord, T::Plain,        L::Fixed,         n, Y, Y, n, Y, n, 0x008A, 0x008A, "", 0},
}};
// clang-format on

} // namespace

const JobFamily& jobFamily(chips::Family f) {
    return kFamilies[static_cast<std::size_t>(chips::familyIndex(f))];
}

std::span<const JobFamily> jobFamilies() {
    return kFamilies;
}

JobLayout jobLayout(const JobFamily& family, int imageLength) {
    JobLayout out;
    out.variant = family.transfer;
    switch (family.length) {
    case LengthRule::RawImage:
        // Rounded toward zero to an even count: the programmer takes whole 16-bit words.
        out.programBytes = out.copyBytes = out.length = imageLength - imageLength % 2;
        return out;
    case LengthRule::ByImageLength:
        if (imageLength == 0x4000) {
            out.programBytes = out.copyBytes = 32768;
            out.variant = TransferVariant::Paged;
        } else {
            out.programBytes = out.copyBytes = family.programBytes;
        }
        break;
    case LengthRule::Fixed:
        out.programBytes = family.programBytes;
        out.copyBytes = family.copyBytes;
        break;
    }
    out.length = out.copyBytes + kTailBytes;
    out.hasCheckWord = family.check != CheckForm::None;
    return out;
}

BlockKind blockKind(const JobFamily& family, bool hwVersionSeen) {
    switch (family.block) {
    case BlockType::None:
        return BlockKind::None;
    case BlockType::ShortOrLong:
        return hwVersionSeen ? BlockKind::Long : BlockKind::Short;
    case BlockType::Short:
        return BlockKind::Short;
    case BlockType::Long:
        return BlockKind::Long;
    case BlockType::Params39F:
        return BlockKind::F39;
    case BlockType::Charger:
        return BlockKind::Charger;
    }
    return BlockKind::None;
}

std::uint16_t chipCode(const JobFamily& family, std::string_view model, BlockKind block) {
    if (block == BlockKind::Long) return family.longCode;
    if (!family.variantModel.empty() && model == family.variantModel) return family.variantCode;
    return family.shortCode;
}

std::optional<std::string> pagedLengthError(int length) {
    const int program = length - kTailBytes;
    if (program > 0 && program % kPageBytes == 0) return std::nullopt;
    return strfmt("程序长度%d字节,不是8192字节的整数倍,不发送!", program);
}

std::vector<std::string> validateFamilyTable() {
    std::vector<std::string> problems;
    for (int i = 0; i < chips::kFamilyCount; ++i) {
        const JobFamily& f = kFamilies[static_cast<std::size_t>(i)];
        const std::string name(chips::familyName(static_cast<chips::Family>(i)));
        if (chips::familyIndex(f.family) != i) problems.push_back(name + ": row out of family order");
        if (f.verdictMs < kVerdictMs) problems.push_back(name + ": verdict bound below the station's");
        if (f.kind == JobKind::Raw) {
            if (f.length != LengthRule::RawImage || f.transfer != TransferVariant::OfflineBlock)
                problems.push_back(name + ": raw family without the raw length and offline transfer");
            continue;
        }
        if (f.shortCode == 0 || f.longCode == 0) problems.push_back(name + ": no chip code");
        if (f.copyBytes < f.programBytes) problems.push_back(name + ": copies less than its program part");
        // The tail (and EP39F08's check word) must lie inside both transferImage and the program copy.
        const int largest = f.length == LengthRule::ByImageLength ? 32768 : f.copyBytes;
        if (largest + kTailBytes > static_cast<int>(image::kTransferImageSize))
            problems.push_back(name + ": image longer than transferImage");
        if (f.programBytes + kCheckOffset + 2 > largest + kTailBytes)
            problems.push_back(name + ": check word beyond the bytes sent");
        for (int imageLength : {0x4000, 0x2000}) {
            const JobLayout lay = jobLayout(f, imageLength);
            if (lay.variant == TransferVariant::Paged && pagedLengthError(lay.length))
                problems.push_back(name + ": paged length not in whole pages");
        }
        if (f.customPdo && (f.kind != JobKind::Charger || f.programBytes < kPdoOffset + kPdoMaxBytes))
            problems.push_back(name + ": PDO table outside its program part");
        const bool is39F = f.block == BlockType::Params39F;
        if (!is39F && (f.select32M || f.select32MAlt))
            problems.push_back(name + ": 32M flags without the 39F block");
        if (f.config == ConfigSource::None) problems.push_back(name + ": no configuration source");
    }
    return problems;
}

std::string_view variantName(TransferVariant v) {
    switch (v) {
    case TransferVariant::Plain:
        return "plain";
    case TransferVariant::Paged:
        return "paged";
    case TransferVariant::OfflineBlock:
        return "offline-block";
    case TransferVariant::Eeprom:
        return "eeprom";
    case TransferVariant::UserData:
        return "user-data";
    }
    return "plain";
}

std::string_view blockName(BlockKind b) {
    switch (b) {
    case BlockKind::Short:
        return "short";
    case BlockKind::Long:
        return "long";
    case BlockKind::F39:
        return "39F";
    case BlockKind::Charger:
        return "charger";
    case BlockKind::None:
        break;
    }
    return "none";
}

} // namespace kelvor::jobs
