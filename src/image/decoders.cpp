// The configuration decoders: one routine over tables of decoders, page layouts and block templates.
#include "image/decoders.h"
#include "base/strfmt.h"
#include "image/checksums.h"

#include <algorithm>
#include <cassert>
#include <charconv>

namespace kelvor::image {
namespace {

using chips::Family;

// ---- Page layouts --------------------------------------------------------------------------------

struct ValueText {
    unsigned value;
    const char* text;
};

// One OTP_MODE value of an OTP_KMOD table: the code bits and the thermometer codes they may hold.
struct KmodCode {
    unsigned code;
    int n;
};
struct KmodMode {
    unsigned mode;
    unsigned mask;
    std::span<const KmodCode> codes;
    const char* error; // logged for a code not in the table, where the layout logs at all
};

enum class RuleKind : std::uint8_t { Format, Texts, Hide, Kmod };

// Extra word index of the layout-C OTP_KMOD code K, after c0 … c4.
constexpr int kWordK = 5;

struct FieldRule {
    RuleKind kind;
    int slot;
    int word = 0; // c0 … c4, or kWordK
    int shift = 0;
    unsigned mask = 0;
    const char* format = nullptr; // Format: strfmt(format, value * scale + add)
    int scale = 1, add = 0;
    std::span<const ValueText> values{}; // Texts
    const char* otherwise = nullptr;     // Texts: value not listed; nullptr leaves the slot alone
    std::span<const KmodMode> modes{};   // Kmod: the mode is the field, the code is codeWord
    int codeWord = 0;
    bool show = false;     // make the slot visible after writing it
    bool sizeSlot = false; // one of the "IO && OTP SIZE" slots, left alone by layouts without them
};

constexpr FieldRule bitText(int slot, const char* format, int word, int bit) {
    return {RuleKind::Format, slot, word, bit, 1u, format};
}
constexpr FieldRule fieldText(int slot, int word, int shift, unsigned mask, std::span<const ValueText> values,
                              const char* otherwise = nullptr) {
    FieldRule r{RuleKind::Texts, slot, word, shift, mask};
    r.values = values;
    r.otherwise = otherwise;
    return r;
}
constexpr FieldRule kmod(int slot, int modeWord, int shift, unsigned mask, int codeWord,
                         std::span<const KmodMode> modes) {
    FieldRule r{RuleKind::Kmod, slot, modeWord, shift, mask};
    r.modes = modes;
    r.codeWord = codeWord;
    return r;
}
constexpr FieldRule hidden(int slot) {
    return {RuleKind::Hide, slot};
}
constexpr FieldRule shown(FieldRule r) {
    r.show = true;
    return r;
}
constexpr FieldRule sizeSlot(FieldRule r) {
    r.sizeSlot = true;
    return r;
}

struct Layout {
    std::span<const FieldRule> rules;
    bool sizeSlots; // writes the "IO && OTP SIZE" slots
    bool kmodLogs;  // an OTP_KMOD code outside the table is logged (else the slot is just left)
};

// -- Layout A (A1, A2, A3)
constexpr ValueText kLvtA[] = {{7, "LVT: 111"}, {6, "LVT: 110"}, {5, "LVT: 101"}, {4, "LVT: 100"},
                               {3, "LVT: 011"}, {2, "LVT: 010"}, {1, "LVT: 001"}, {0, "LVT: 000"}};
constexpr ValueText kFintoscA[] = {{7, "FINTOSC: DIV1"},  {6, "FINTOSC: DIV2"},  {5, "FINTOSC: DIV4"},
                                   {4, "FINTOSC: DIV8"},  {3, "FINTOSC: DIV16"}, {2, "FINTOSC: DIV32"},
                                   {1, "FINTOSC: DIV64"}, {0, "FINTOSC: DIV128"}};
constexpr ValueText kOtpModeA[] = {
    {0xF, "OTP_MODE:16K"}, {7, "OTP_MODE:8K"}, {3, "OTP_MODE:4K"}, {1, "OTP_MODE:2K"}};
constexpr ValueText kTwdtA[] = {{0, "TWDT:1:1"},  {1, "TWDT:1:2"},  {2, "TWDT:1:4"},  {3, "TWDT:1:8"},
                                {4, "TWDT:1:16"}, {5, "TWDT:1:32"}, {6, "TWDT:1:64"}, {7, "TWDT:1:128"}};
constexpr ValueText kPsut[] = {{0, "PSUT:000"}, {1, "PSUT:001"}, {2, "PSUT:010"}, {3, "PSUT:011"},
                               {4, "PSUT:100"}, {5, "PSUT:101"}, {6, "PSUT:110"}, {7, "PSUT:111"}};
constexpr ValueText kOscmA[] = {{0, "OSCM:00"}, {1, "OSCM:01"}, {2, "OSCM:10"}, {3, "OSCM:11"}};

constexpr KmodCode kKmodAll0[] = {{0, 0}};
constexpr KmodCode kKmod1Bit[] = {{1, 0}, {0, 1}};
constexpr KmodCode kKmod3Bits[] = {{7, 0}, {3, 1}, {1, 2}, {0, 3}};
constexpr KmodCode kKmod7BitsA[] = {{0x7F, 0}, {0x3F, 1}, {0x1F, 2}, {0x0F, 3},
                                    {0x07, 4}, {0x03, 5}, {0x01, 6}, {0x00, 7}};
constexpr KmodCode kKmod15Bits[] = {{0x7FFF, 0},  {0x3FFF, 1},  {0x1FFF, 2},  {0x0FFF, 3},
                                    {0x07FF, 4},  {0x03FF, 5},  {0x01FF, 6},  {0x00FF, 7},
                                    {0x007F, 8},  {0x003F, 9},  {0x001F, 10}, {0x000F, 11},
                                    {0x0007, 12}, {0x0003, 13}, {0x0001, 14}, {0x0000, 15}};
constexpr KmodMode kKmodA[] = {
    {0xF, 0, kKmodAll0, nullptr},
    {7, 0x1, kKmod1Bit, nullptr},
    {3, 0x7, kKmod3Bits, "OTP KMODE Error!"},
    {1, 0x7F, kKmod7BitsA, "OTP KMODE Error"},
    {0, 0x7FFF, kKmod15Bits, "OTP KMODE Error"},
};

constexpr FieldRule kLayoutA[] = {
    bitText(1039, "FCPUS:%1d", 2, 4),
    bitText(1027, "STVEN:%1d", 1, 0),
    bitText(1028, "LVTEN:%1d", 0, 4),
    bitText(1031, "LVTV:%1d", 0, 3),
    bitText(1023, "WDTEN:%1d", 2, 3),
    bitText(1036, "CRYEN:%1d", 1, 6),
    shown(bitText(1040, "CRYPTEN:%1d", 1, 3)),
    shown(bitText(1041, "IDIS:%1d", 1, 3)),
    bitText(1037, "CRYSEL:%1d", 1, 7),
    fieldText(1032, 0, 0, 0x7, kLvtA),
    fieldText(1035, 0, 5, 0x7, kFintoscA),
    bitText(1029, "RESETE:%1d", 1, 2),
    sizeSlot(fieldText(1025, 3, 0, 0xF, kOtpModeA, "OTP_MODE:1K")),
    sizeSlot(kmod(1026, 3, 0, 0xF, 4, kKmodA)),
    hidden(1030),
    bitText(1038, "RSEL:%1d", 1, 3),
    bitText(1033, "WDTE:%1d", 2, 3),
    fieldText(1034, 2, 0, 0x7, kTwdtA),
    shown(fieldText(1042, 2, 5, 0x7, kPsut)),
    shown(fieldText(1043, 3, 4, 0x3, kOscmA)),
};

constexpr Layout kA1{kLayoutA, true, true};
constexpr Layout kA2{kLayoutA, true, false};
constexpr Layout kA3{kLayoutA, false, false};

// -- Layout B
constexpr ValueText kFintoscB[] = {{7, "FINTOSC: DIV1"},
                                   {6, "FINTOSC: DIV2"},
                                   {5, "FINTOSC: DIV4"},
                                   {4, "FINTOSC: DIV8"},
                                   {3, "FINTOSC: DIV16"}};
constexpr ValueText kLvtB[] = {{0xF, "LVT: 4.6v"}, {0xE, "LVT: 4.5v"}, {0xD, "LVT: 4.4v"}, {0xC, "LVT: 4.3v"},
                               {0xB, "LVT: 4.2v"}, {0xA, "LVT: 4.0v"}, {9, "LVT: 3.8v"},   {8, "LVT: 3.6v"},
                               {7, "LVT: 3.4v"},   {6, "LVT: 3.2v"},   {5, "LVT: 3.0v"},   {4, "LVT: 2.8v"},
                               {3, "LVT: 2.6v"},   {2, "LVT: 2.4v"},   {1, "LVT: 2.2v"},   {0, "LVT: 2.0v"}};
constexpr ValueText kOscmB[] = {{1, "OSCM:16MHZ"}, {0, "OSCM:512KHZ"}};
constexpr ValueText kTwdtB[] = {{0, "TWDT:000"}, {1, "TWDT:001"}, {2, "TWDT:010"}, {3, "TWDT:011"},
                                {4, "TWDT:100"}, {5, "TWDT:101"}, {6, "TWDT:110"}, {7, "TWDT:111"}};

constexpr FieldRule fcpusB() {
    FieldRule r = bitText(1039, "FCPUS:%1dT", 0, 7);
    r.scale = 2;
    r.add = 2;
    return r;
}

constexpr FieldRule kLayoutBRules[] = {
    fcpusB(),
    fieldText(1035, 0, 4, 0x7, kFintoscB, "FINTOSC: NULL"),
    fieldText(1032, 0, 0, 0xF, kLvtB),
    bitText(1031, "CRYEN:%1d", 1, 0),
    bitText(1028, "RDPIN:%1d", 1, 1),
    bitText(1027, "SMT:%1d", 1, 2),
    bitText(1038, "RSEL:%1d", 1, 3),
    fieldText(1037, 1, 4, 0x1, kOscmB),
    bitText(1030, "PRO:%1d", 1, 5),
    bitText(1033, "OTP_DIS:%1d", 1, 6),
    fieldText(1034, 2, 0, 0x7, kTwdtB),
    bitText(1023, "WDTEN:%1d", 2, 3),
    FieldRule{RuleKind::Format, 1036, 2, 4, 0x3, "MCUSEL:%1d"},
    bitText(1029, "RESETE:%1d", 0, 3),
};
constexpr Layout kB{kLayoutBRules, false, false};

// -- Layout C (C-2701, C-2702, C-2703)
// IO_MODE 1 has no text of its own; the page shows NULL for it, as for the other fields' unnamed values.
constexpr ValueText kIoMode2702[] = {{3, "IO_MODE: 18"}, {2, "IO_MODE: 16"}, {0, "IO_MODE: 8"}};
constexpr ValueText kIoMode2703[] = {{3, "IO_MODE: 20"}, {2, "IO_MODE: 16"}, {0, "IO_MODE: 8"}};
constexpr const char* kIoModeOther = "IO_MODE: NULL";
constexpr ValueText kOtpMode2702[] = {{7, "OTP_MODE:4K"}, {3, "OTP_MODE:2K"}, {1, "OTP_MODE:1K"}};
constexpr ValueText kOtpMode2703[] = {{7, "OTP_MODE:8K"}, {3, "OTP_MODE:4K"}, {1, "OTP_MODE:2K"}};
constexpr ValueText kCrystalC[] = {{1, "CRYSTAL:HIGH"}, {0, "CRYSTAL:LOW"}};
constexpr ValueText kLvtC[] = {{7, "LVT: 3.6V"}, {6, "LVT: 3.0V"}, {5, "LVT: 2.6V"},
                               {4, "LVT: 2.4V"}, {3, "LVT: 2.2V"}, {2, "LVT: 2.0V"}};
constexpr ValueText kFintosc2701[] = {
    {7, "FINTOSC: 8M"}, {6, "FINTOSC: 4M"}, {5, "FINTOSC: 2M"}, {4, "FINTOSC: 1M"}, {2, "FINTOSC: 0.5M"}};
constexpr ValueText kFintosc2702[] = {{7, "FINTOSC: 20M"},
                                      {6, "FINTOSC: 10M"},
                                      {5, "FINTOSC: 5M"},
                                      {4, "FINTOSC: 2.5M"},
                                      {2, "FINTOSC: 1.25M"}};
constexpr ValueText kFintosc2703[] = {{7, "FINTOSC: DIV1"},
                                      {6, "FINTOSC: DIV2"},
                                      {5, "FINTOSC: DIV4"},
                                      {4, "FINTOSC: DIV8"},
                                      {2, "FINTOSC: DIV16"}};
constexpr ValueText kWdtps[] = {{0, "WDTPS:1:1"},  {1, "WDTPS:1:2"},  {2, "WDTPS:1:4"},  {3, "WDTPS:1:8"},
                                {4, "WDTPS:1:16"}, {5, "WDTPS:1:32"}, {6, "WDTPS:1:64"}, {7, "WDTPS:1:128"}};
constexpr ValueText kSut[] = {{0, "SUT:1:1"},  {1, "SUT:1:2"},  {2, "SUT:1:4"},  {3, "SUT:1:8"},
                              {4, "SUT:1:16"}, {5, "SUT:1:32"}, {6, "SUT:1:64"}, {7, "SUT:1:128"}};

constexpr KmodCode kKmod7BitsC[] = {{0x7F, 0}, {0x5F, 1}, {0x4F, 2}, {0x47, 3},
                                    {0x07, 4}, {0x03, 5}, {0x01, 6}, {0x00, 7}};
constexpr KmodMode kKmodC[] = {
    {7, 0, kKmodAll0, nullptr},
    {3, 0x1, kKmod1Bit, nullptr},
    {1, 0x7, kKmod3Bits, "OTP KMODE Error!"},
    {0, 0x7F, kKmod7BitsC, "OTP KMODE Error"},
};

constexpr std::array<FieldRule, 17> layoutC(std::span<const ValueText> ioMode, int crystalEnBit,
                                            std::span<const ValueText> otpMode, const char* otpModeOther,
                                            std::span<const ValueText> fintosc) {
    return {
        sizeSlot(fieldText(1024, 0, 12, 0x3, ioMode, kIoModeOther)),
        bitText(1039, "PWRT:%1d", 0, 11),
        bitText(1027, "SMTEN:%1d", 0, 9),
        bitText(1028, "RDPIN:%1d", 0, 8),
        bitText(1031, "LVTEN:%1d", 0, 4),
        bitText(1023, "WDTEN:%1d", 0, 2),
        bitText(1036, "CRYSTALEN:%1d", 0, crystalEnBit),
        sizeSlot(fieldText(1025, 1, 8, 0x7, otpMode, otpModeOther)),
        fieldText(1037, 1, 7, 0x1, kCrystalC),
        fieldText(1032, 1, 4, 0x7, kLvtC, "LVT: NULL"),
        fieldText(1035, 1, 1, 0x7, fintosc, "FINTOSC: NULL"),
        bitText(1029, "RESETE:%1d", 1, 0),
        sizeSlot(kmod(1026, 1, 8, 0x7, kWordK, kKmodC)),
        fieldText(1030, 2, 5, 0x7, kWdtps),
        bitText(1038, "CRYPTEN:%1d", 2, 4),
        bitText(1033, "SUTEN:%1d", 2, 3),
        fieldText(1034, 2, 0, 0x7, kSut),
    };
}

constexpr auto kLayoutC2701 = layoutC({}, 2, {}, nullptr, kFintosc2701);
constexpr auto kLayoutC2702 = layoutC(kIoMode2702, 0, kOtpMode2702, "OTP_MODE:512", kFintosc2702);
constexpr auto kLayoutC2703 = layoutC(kIoMode2703, 0, kOtpMode2703, "OTP_MODE:1K", kFintosc2703);
constexpr Layout kC2701{kLayoutC2701, false, true};
constexpr Layout kC2702{kLayoutC2702, true, true};
constexpr Layout kC2703{kLayoutC2703, true, true};

// ---- Block templates -----------------------------------------------------------------------------

enum class Tpl : std::uint8_t {
    T2701,
    T2702,
    T2703,
    T2705,
    T3901,
    T3902,
    T3903,
    T3904,
    BCommon,
    T27H01,
    T27H02,
    T39B13,
    T39F01,
    T39F02,
    T39F03,
    T39F05,
    T39F08,
    T39H,
    Count,
    None = Count
};

// Start values as "word" or "word*count", blank separated, as the templates are documented.
struct TemplateStart {
    Tpl id;
    std::size_t words;
    std::string_view text;
};
// clang-format off
constexpr TemplateStart kTemplateStarts[] = {
    {Tpl::T2701, 64, "2c41 2231 1b38 1839 3fff*11 1111 3fff*48"},
    {Tpl::T2702, 64, "2c41 2231 1b43 1832 3fff*11 1111 3fff*48"},
    {Tpl::T2703, 64, "2c41 2231 1b43 1832 3fff*11 1111 3fff*48"},
    {Tpl::T2705, 64, "ad18 01a0 fffc ffff ff7f ffff*2 fff7*2 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                     "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T3901, 64, "ad18 01a0 fffc ffff ff7f ffff*2 fff7*2 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                     "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T3902, 64, "ad18 02a0 fffc ffff ff7f ffff*2 ffe0 fff7 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                     "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T3903, 64, "ad18 03a0 fffc ffff ff7f ffff*2 ffe0 fff7 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                     "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T3904, 64, "ad18 04a0 fffc ffff ff7f ffff*2 ffe0 fff7 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                     "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::BCommon, 64, "16f2 3fff 3f08 1832 3fff 3fc0 3f8c 3faf 3ff0 3f20 3fff*7 ffff*15 "
                       "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T27H01, 64, "16f2 3fff 3f08 1832 3fff 3fc0 3f8c 3faf 3ff0 3f20 3fff*7 ffff*15 "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T27H02, 64, "16f2 3fff 3f08 1832 3fff 3fc0 3f8c 3faf 3ff0 3f20 3fff*7 ffff*15 "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T39B13, 64, "3b60 ff5c ffd6 0000 00f6 ff80 ff00*2 ff40 0000*4 00aa*2 ffff 0005 0004*2 0097 ffff*12 "
                      "aabb ccdd eeff 0320 0405 0607 0809 0a0b 0c0d 0e0f 1011 1213 1415 1617 1819 1a1b "
                      "0131 0203 0405 0607 0809 0a0b 0c0d 0e0f 1011 1213 1415 1617 1819 1a1b 1c1d 1e1f"},
    {Tpl::T39F01, 64, "ad18 f1a0 ffff*2 fff0 efff fdff feff ffff ffef fff7 fffb ffff*2 ff1f ffff fff7 fff8 ffff*14 "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T39F02, 64, "ad18 f2a0 fffc ffff ff7f ffff*2 ffe0 fff7 ff67 ff12 ff34 ff77 fff1 ffff*18 "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T39F03, 64, "ad18 f3a0 ffff*2 fff0 efff ff7f ffdf ffef fff7 fffb ffff*2 "
                      "7fff bfff dfff efff f7ff fbff fdff feff ff1f ffff fff7 fff8 "
                      "7fff bfff dfff efff f7ff fdff feff ffff "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*19"},
    {Tpl::T39F05, 64, "ad18 f4a0 ffff*2 fff0 efff fdff feff ffdf ffef fff7 fffb ffff*2 ff1f ffff fff7 fff8 "
                      "ffff ffef fff7 fffd fffe ffff*9 "
                      "ff00 ff13 ff00 ff20 ff00 ff13 ff00 ff20 ff00 ff30 ff00 ff40 ffff*20"},
    {Tpl::T39F08, 32, "ad18 f080 ff60 0020 ffbe ff81 ffff ff00 0000 4000 0000*2 0012 0000*2 ffff 0005 0004*2 0097 "
                      "ffff*12"},
    {Tpl::T39H, 128, "ad11 b010 fffc 00eb ff7f ffff ff00*2 0000 4000 0000*2 0026 0002 008f ffff 0005 0004*2 0097 "
                     "ffff*12 aabb ccdd eeff 0320 0405 0607 0809 0a0b 0c0d 0e0f 1011 1213 1415 1617 1819 1a1b "
                     "0131 0203 0405 0607 0809 0a0b 0c0d 0e0f 1011 1213 1415 1617 1819 1a1b 1c1d 1e1f ffff*64"},
};
// clang-format on

std::vector<std::uint16_t> startValues(const TemplateStart& t) {
    std::vector<std::uint16_t> out;
    std::string_view text = t.text;
    while (!text.empty()) {
        const auto blank = text.find(' ');
        const std::string_view item = text.substr(0, blank);
        text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);
        if (item.empty()) continue;
        unsigned value = 0, count = 1;
        const auto star = std::min(item.find('*'), item.size());
        std::from_chars(item.data(), item.data() + star, value, 16);
        if (star < item.size()) std::from_chars(item.data() + star + 1, item.data() + item.size(), count);
        out.insert(out.end(), count, static_cast<std::uint16_t>(value));
    }
    assert(out.size() == t.words);
    return out;
}

// ---- Decoders ------------------------------------------------------------------------------------

enum class WordSource : std::uint8_t { None, ConfigArea, ProgramArea };
enum class Check : std::uint8_t { None, Sum16, Sum14, Tail14 };
enum class LengthRule : std::uint8_t { Fixed, Reader, ByOtpMode };

constexpr std::size_t kChipWordOffset = 0x4000; // chip word 0x2000 of a two-bytes-per-word image

constexpr auto kCfg = BlockCopy::Destination::ConfigBlock;
constexpr auto kPrg = BlockCopy::Destination::ProgramArea;

struct DecoderDef {
    const char* name;
    const Layout* layout = nullptr; // nullptr: no page slots
    WordSource source = WordSource::None;
    int wordCount = 0;
    std::uint16_t c2Or = 0, c2And = 0xFFFF; // c2 := (word OR c2Or) AND c2And
    bool presetConfig = false;              // first 14 bytes of configArea := 0xFF before the read
    Tpl tpl = Tpl::None;
    int firstWord = 0, storedWords = 0; // W[firstWord …] := c0 …
    bool mask14 = false;                // words stored AND 0x3FFF
    Check check = Check::None;
    int checkFirst = 0, checkLast = 0, checkTarget = 0;
    BlockCopy::Destination dest = kCfg;
    std::size_t destOffset = 0, blockBytes = 0;
    HexReadOptions options{};
    LengthRule length = LengthRule::Fixed;
    int fixedLength = 0;
};

constexpr HexReadOptions kAtOffset{true, ResultRule::EndOfLastProgramRecord};
constexpr HexReadOptions kLastCount{false, ResultRule::LastRecordCount};
// Its start-address record (type 05) is skipped as every reader now skips start addresses.
constexpr HexReadOptions k8505{false, ResultRule::EndOfLastDataRecord};

// Layout C: c0 … c2 from the chip words, c2 forced, W6 … W8, tail check, back over the chip words.
constexpr DecoderDef c(const char* name, const Layout& l, Tpl tpl, std::uint16_t c2Or, std::uint16_t c2And) {
    return {.name = name,
            .layout = &l,
            .source = WordSource::ProgramArea,
            .wordCount = 3,
            .c2Or = c2Or,
            .c2And = c2And,
            .tpl = tpl,
            .firstWord = 6,
            .storedWords = 3,
            .mask14 = true,
            .check = Check::Tail14,
            .dest = kPrg,
            .destOffset = kChipWordOffset,
            .blockBytes = 128,
            .fixedLength = 0x1000};
}
// Layout B: c0 … c2 from the chip words, W2 … W4, check into W1, back over the chip words.
constexpr DecoderDef b(const char* name, Tpl tpl, int checkLast, int length) {
    return {.name = name,
            .layout = &kB,
            .source = WordSource::ProgramArea,
            .wordCount = 3,
            .tpl = tpl,
            .firstWord = 2,
            .storedWords = 3,
            .mask14 = true,
            .check = Check::Sum14,
            .checkLast = checkLast,
            .dest = kPrg,
            .destOffset = kChipWordOffset,
            .blockBytes = 128,
            .fixedLength = length};
}
// Layout A: c0 … c4 from configArea, W2 … W6 unmasked, sum into W31, to configBlock.
constexpr DecoderDef a(const char* name, const Layout& l, Tpl tpl, HexReadOptions options, LengthRule length,
                       int fixedLength) {
    return {.name = name,
            .layout = &l,
            .source = WordSource::ConfigArea,
            .wordCount = 5,
            .tpl = tpl,
            .firstWord = 2,
            .storedWords = 5,
            .check = Check::Sum16,
            .checkFirst = 2,
            .checkLast = 30,
            .checkTarget = 31,
            .dest = kCfg,
            .blockBytes = 128,
            .options = options,
            .length = length,
            .fixedLength = fixedLength};
}
constexpr DecoderDef ep3901() {
    DecoderDef d = a("A1-3901", kA1, Tpl::T3901, {}, LengthRule::ByOtpMode, 0);
    d.presetConfig = true;
    return d;
}
constexpr DecoderDef ep39F08() {
    DecoderDef d = a("A2-39F08", kA2, Tpl::T39F08, kAtOffset, LengthRule::Reader, 0);
    d.storedWords = 4;
    d.dest = kPrg;
    d.destOffset = 0x1000;
    d.blockBytes = 64;
    return d;
}
constexpr DecoderDef ep39H() {
    DecoderDef d = a("A3-39H", kA3, Tpl::T39H, kLastCount, LengthRule::Reader, 0);
    d.checkLast = 13;
    d.checkTarget = 15;
    d.blockBytes = 256;
    return d;
}
constexpr DecoderDef ep8505() {
    return {.name = "8505", .options = k8505, .length = LengthRule::Reader};
}

constexpr DecoderDef kDecoders[] = {
    c("C-2701", kC2701, Tpl::T2701, 0xC010, 0xFFFF),
    c("C-2702", kC2702, Tpl::T2702, 0, 0x3FEF),
    c("C-2703", kC2703, Tpl::T2703, 0, 0x3FEF),
    b("B-2705", Tpl::T2705, 6, 0x1000),
    b("B-2706", Tpl::BCommon, 15, 0x1000),
    b("B-27C42", Tpl::BCommon, 15, 0x1000),
    b("B-27F02", Tpl::BCommon, 15, 0x800),
    b("B-27H01", Tpl::T27H01, 15, 0x1000),
    b("B-27H02", Tpl::T27H02, 15, 0x1000),
    b("B-39B13", Tpl::T39B13, 15, 0x1000),
    ep3901(),
    a("A1-3902", kA1, Tpl::T3902, {}, LengthRule::Fixed, 0x2000),
    a("A1-3903", kA1, Tpl::T3903, {}, LengthRule::Fixed, 0x2000),
    a("A1-3904", kA1, Tpl::T3904, {}, LengthRule::Fixed, 0x2000),
    a("A1-39F01", kA1, Tpl::T39F01, {}, LengthRule::Fixed, 0x2000),
    a("A1-39F03", kA1, Tpl::T39F03, {}, LengthRule::Fixed, 0x2000),
    a("A1-39F05", kA1, Tpl::T39F05, {}, LengthRule::Fixed, 0x2000),
    a("A2-39F02", kA2, Tpl::T39F02, kAtOffset, LengthRule::Reader, 0),
    a("A1-39F06", kA1, Tpl::T39F02, kAtOffset, LengthRule::Reader, 0),
    ep39F08(),
    ep39H(),
    ep8505(),
};
static_assert(std::size(kDecoders) == kDecoderCount);

struct FamilyDecoder {
    Family family;
    std::string_view decoder;
};
constexpr FamilyDecoder kFamilyDecoders[] = {
    {Family::EP2701, "C-2701"},     {Family::EP2702, "C-2702"},     {Family::EP2703, "C-2703"},
    {Family::EP2705, "B-2705"},     {Family::EP2706, "B-2706"},     {Family::EP406, "B-2706"},
    {Family::EP27C42, "B-27C42"},   {Family::EP2707, "B-27C42"},    {Family::EP27F01, "B-27C42"},
    {Family::EP27F02, "B-27F02"},   {Family::EP27H01, "B-27H01"},   {Family::EP27H02, "B-27H02"},
    {Family::EP39B13, "B-39B13"},   {Family::EP3901, "A1-3901"},    {Family::EP3902, "A1-3902"},
    {Family::EP3903, "A1-3903"},    {Family::EP3904, "A1-3904"},    {Family::EP39F01, "A1-39F01"},
    {Family::EP39F03, "A1-39F03"},  {Family::EP39F05, "A1-39F05"},  {Family::EP39F02, "A2-39F02"},
    {Family::EP39F25X, "A2-39F02"}, {Family::EP408, "A2-39F02"},    {Family::EP39F06, "A1-39F06"},
    {Family::EP39F003, "A1-39F06"}, {Family::EP39F020, "A1-39F06"}, {Family::EP39F022, "A1-39F06"},
    {Family::EP39F024, "A1-39F06"}, {Family::EP39F256, "A1-39F06"}, {Family::EP39F08, "A2-39F08"},
    {Family::EP39H01, "A3-39H"},    {Family::EP39H02, "A3-39H"},    {Family::EP8505, "8505"},
    {Family::EP8505_IN, "8505"},
};

const DecoderDef* decoderOf(Family f) {
    for (const auto& fd : kFamilyDecoders) {
        if (fd.family != f) continue;
        for (const auto& d : kDecoders)
            if (d.name == fd.decoder) return &d;
    }
    return nullptr;
}

// ---- The one routine -----------------------------------------------------------------------------

void applyRule(const FieldRule& r, const std::array<std::uint16_t, 6>& words, const Layout& layout,
               FuseSlots& slots, Reporter& reporter) {
    FuseSlot* slot = findSlot(slots, r.slot);
    assert(slot);
    const unsigned value = (static_cast<unsigned>(words[r.word]) >> r.shift) & r.mask;
    switch (r.kind) {
    case RuleKind::Format:
        slot->text = strfmt(r.format, static_cast<int>(value) * r.scale + r.add);
        break;
    case RuleKind::Texts: {
        auto it = std::find_if(r.values.begin(), r.values.end(),
                               [&](const ValueText& v) { return v.value == value; });
        if (it != r.values.end())
            slot->text = it->text;
        else if (r.otherwise)
            slot->text = r.otherwise;
        break;
    }
    case RuleKind::Hide:
        slot->visible = false;
        break;
    case RuleKind::Kmod: {
        auto mode =
            std::find_if(r.modes.begin(), r.modes.end(), [&](const KmodMode& m) { return m.mode == value; });
        if (mode == r.modes.end()) break;
        const unsigned code = words[r.codeWord] & mode->mask;
        auto hit = std::find_if(mode->codes.begin(), mode->codes.end(),
                                [&](const KmodCode& k) { return k.code == code; });
        if (hit != mode->codes.end())
            slot->text = strfmt("OTP_KMOD:%d", hit->n);
        else if (layout.kmodLogs && mode->error)
            reporter.eventLog(mode->error);
        break;
    }
    }
    if (r.show) slot->visible = true;
}

int lengthByOtpMode(std::uint16_t c3) {
    switch (c3 & 0xF) {
    case 0xF:
        return 0x4000;
    case 7:
        return 0x2000;
    case 3:
        return 0x1000;
    case 1:
        return 0x800;
    default:
        return 0x400;
    }
}

} // namespace

struct DecoderTemplates {
    std::array<std::vector<std::uint16_t>, static_cast<std::size_t>(Tpl::Count)> words;
    DecoderTemplates() {
        for (const auto& t : kTemplateStarts)
            words[static_cast<std::size_t>(t.id)] = startValues(t);
    }
};

DecoderState::DecoderState() : fuseSlots(defaultFuseSlots()), templates(std::make_unique<DecoderTemplates>()) {}
DecoderState::~DecoderState() = default;
DecoderState::DecoderState(DecoderState&&) noexcept = default;
DecoderState& DecoderState::operator=(DecoderState&&) noexcept = default;

FuseSlots defaultFuseSlots() {
    return {{
        {1024, "IO_MODE: 18", true}, {1025, "OTP_MODE:4K", true}, {1026, "OTP_KMOD: 0", true},
        {1027, "SMTEN:1", true},     {1028, "RDPIN:1", true},     {1029, "RESETE:1", true},
        {1038, "CRYPTEN:1", true},   {1039, "PWRT:1", true},      {1035, "FINTOSC:20MHz", true},
        {1040, "FUSE0", false},      {1023, "WDTEN:1", true},     {1030, "WDTPS: 1:128", true},
        {1041, "FUSE1", false},      {1031, "LVTEN:1", true},     {1032, "LVT V: 3.6V", true},
        {1042, "FUSE2", false},      {1033, "SUTEN:1", true},     {1034, "SUT: 1:128", true},
        {1043, "FUSE3", false},      {1036, "CRYSTALEN:1", true}, {1037, "CRYSTAL: High Speed", true},
        {1044, "FUSE4", false},
    }};
}

FuseSlot* findSlot(FuseSlots& slots, int id) {
    auto it = std::find_if(slots.begin(), slots.end(), [id](const FuseSlot& s) { return s.id == id; });
    return it == slots.end() ? nullptr : &*it;
}

std::string_view decoderName(chips::Family family) {
    const DecoderDef* d = decoderOf(family);
    return d ? d->name : std::string_view{};
}
std::string_view decoderName(const chips::ModelRow& model) {
    return decoderName(model.family);
}

std::span<const std::uint16_t> templateWords(const DecoderState& state, chips::Family family) {
    const DecoderDef* d = decoderOf(family);
    if (!d || d->tpl == Tpl::None) return {};
    return state.templates->words[static_cast<std::size_t>(d->tpl)];
}

std::optional<int> runDecoder(const chips::ModelRow& model, const std::string& imagePath, ImageState& state,
                              Reporter& reporter) {
    const DecoderDef* d = decoderOf(model.family);
    DecoderState& ds = state.decoders;
    if (!d) {
        // Nothing decoded: the page returns to its neutral start-up state rather than showing the
        // previous model's fuses as if they were this one's.
        ds.fuseSlots = defaultFuseSlots();
        ds.lastReadOk = false;
        ds.wrongChecksums.clear();
        ds.wrongChecksumCount = 0;
        return std::nullopt;
    }
    ImageBuffers& buf = state.buffers;
    if (d->presetConfig) std::fill_n(buf.configArea.begin(), 14, 0xFF);

    const HexReadResult read = readHexImage(imagePath, d->options, buf, state.key, reporter);
    ds.lastReadOk = read.ok;
    ds.wrongChecksums = read.wrongChecksums;
    ds.wrongChecksumCount = read.wrongChecksumCount;
    if (!read.ok) return 0;

    const std::uint8_t* src =
        d->source == WordSource::ConfigArea ? buf.configArea.data() : buf.programArea() + kChipWordOffset;
    for (int i = 0; i < d->wordCount; ++i)
        ds.words[i] = readLe16(src + 2 * i);
    if (d->wordCount > 2) ds.words[2] = static_cast<std::uint16_t>((ds.words[2] | d->c2Or) & d->c2And);

    if (d->tpl != Tpl::None) {
        auto& w = ds.templates->words[static_cast<std::size_t>(d->tpl)];
        for (int i = 0; i < d->storedWords; ++i)
            w[d->firstWord + i] = d->mask14 ? static_cast<std::uint16_t>(ds.words[i] & 0x3FFF) : ds.words[i];
        switch (d->check) {
        case Check::Sum16:
            blockCheck16(w, d->checkFirst, d->checkLast, d->checkTarget);
            break;
        case Check::Sum14:
            blockCheck14(w, d->checkLast);
            break;
        case Check::Tail14:
            blockCheck14Tail(w);
            break;
        case Check::None:
            break;
        }
        std::uint8_t* dest = d->dest == kCfg ? buf.configBlock() : buf.programArea();
        dest += d->destOffset;
        for (std::size_t i = 0; i < d->blockBytes / 2; ++i)
            writeLe16(dest + 2 * i, w[i]);
        ds.lastBlock = BlockCopy{d->dest, d->destOffset, d->blockBytes};
    }

    if (d->layout) {
        const auto& c = ds.words;
        std::array<std::uint16_t, 6> values{c[0], c[1], c[2], c[3], c[4], 0};
        values[kWordK] = static_cast<std::uint16_t>(((c[1] >> 7) & 0xFFC0) | (c[2] >> 8));
        for (const auto& r : d->layout->rules)
            if (!r.sizeSlot || d->layout->sizeSlots) applyRule(r, values, *d->layout, ds.fuseSlots, reporter);
    }

    switch (d->length) {
    case LengthRule::Fixed:
        return d->fixedLength;
    case LengthRule::Reader:
        return read.result;
    case LengthRule::ByOtpMode:
        return lengthByOtpMode(ds.words[3]);
    }
    return 0;
}

} // namespace kelvor::image
