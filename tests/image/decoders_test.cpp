#include "image/decoders.h"
#include "image/readers.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace kelvor::image {
namespace {

using chips::Family;
using test::hexChipWords;
using test::hexConfigWords;
using test::hexData;
using test::hexEnd;

class Decoders : public ::testing::Test {
protected:
    // Runs the model's decoder on `text` written as a plain HEX file.
    std::optional<int> decode(const char* model, const std::string& text) {
        rep = RecordingReporter{};
        return runDecoder(*chips::findModel(model), dir.write("image.hex", text), *state, rep);
    }
    const std::string& slot(int id) { return findSlot(state->decoders.fuseSlots, id)->text; }
    bool visible(int id) { return findSlot(state->decoders.fuseSlots, id)->visible; }
    // "id text", with " (hidden)" for a hidden slot, in id order.
    std::vector<std::string> page() {
        std::vector<std::string> out;
        for (const auto& s : state->decoders.fuseSlots)
            out.push_back(std::to_string(s.id) + " " + s.text + (s.visible ? "" : " (hidden)"));
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::uint16_t> blockWords() {
        const auto& b = *state->decoders.lastBlock;
        const std::uint8_t* p =
            (b.destination == BlockCopy::Destination::ConfigBlock ? state->buffers.configBlock()
                                                                  : state->buffers.programArea()) +
            b.offset;
        std::vector<std::uint16_t> w(b.size / 2);
        for (std::size_t i = 0; i < w.size(); ++i)
            w[i] = readLe16(p + 2 * i);
        return w;
    }

    test::TempDir dir;
    std::unique_ptr<ImageState> state = test::freshImageState();
    RecordingReporter rep;
};

TEST_F(Decoders, EveryModelAndFamilyHasOneOfTheTwentyTwoDecoders) {
    std::set<std::string_view> used;
    for (int f = 0; f < chips::kFamilyCount; ++f) {
        const auto name = decoderName(static_cast<Family>(f));
        EXPECT_FALSE(name.empty()) << chips::familyName(static_cast<Family>(f));
        used.insert(name);
    }
    EXPECT_EQ(used.size(), kDecoderCount);
    for (const auto& m : chips::models())
        EXPECT_FALSE(decoderName(m).empty()) << m.model;
}

TEST_F(Decoders, TemplatesHaveTheirSizesAndSharingRules) {
    for (int i = 0; i < chips::kFamilyCount; ++i) {
        const auto f = static_cast<Family>(i);
        std::size_t words = 64;
        if (f == Family::EP39F08) words = 32;
        if (f == Family::EP39H01 || f == Family::EP39H02) words = 128;
        if (f == Family::EP8505 || f == Family::EP8505_IN) words = 0;
        EXPECT_EQ(templateWords(state->decoders, f).size(), words) << chips::familyName(f);
    }

    // EP39F02 and the EP39F06 row share one template; 2702 and 2703 start equal but are two.
    const auto start2703 = std::vector<std::uint16_t>(templateWords(state->decoders, Family::EP2703).begin(),
                                                      templateWords(state->decoders, Family::EP2703).end());
    ASSERT_TRUE(decode("EP39F02", hexConfigWords({0x1111, 0x2222, 0x3333, 0x0444, 0x5555}) + hexEnd()));
    EXPECT_EQ(templateWords(state->decoders, Family::EP39F06)[2], 0x1111);
    EXPECT_EQ(templateWords(state->decoders, Family::EP39F022)[6], 0x5555);
    ASSERT_TRUE(decode("EP2702", hexChipWords({0x1234, 0x0567, 0x089A}) + hexEnd()));
    EXPECT_EQ(templateWords(state->decoders, Family::EP2702)[6], 0x1234);
    EXPECT_TRUE(std::ranges::equal(templateWords(state->decoders, Family::EP2703), start2703));
}

TEST_F(Decoders, Ep39F01BlockCheckWordAndWordsKeptFromThePreviousImage) {
    // After start-up the configuration area is zero, and a file without configuration records fetches zeros.
    ASSERT_EQ(decode("EP39F01", hexData(0, {1}) + hexEnd()), 0x2000);
    EXPECT_EQ(state->decoders.words, (std::array<std::uint16_t, 5>{}));
    EXPECT_EQ(blockWords()[31], 0x0222);

    ASSERT_TRUE(decode("EP39F01", hexConfigWords({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}) + hexEnd()));
    EXPECT_EQ(blockWords()[31], 0x0227);
    EXPECT_EQ(state->decoders.lastBlock->destination, BlockCopy::Destination::ConfigBlock);
    EXPECT_EQ(state->decoders.lastBlock->size, 128u);

    // The next image without configuration records shows the previous image's words.
    ASSERT_TRUE(decode("EP39F01", hexData(0, {1}) + hexEnd()));
    EXPECT_EQ(state->decoders.words[4], 0xFFFF);
    EXPECT_EQ(blockWords()[31], 0x0227);
}

TEST_F(Decoders, LayoutAPage) {
    ASSERT_EQ(decode("EP3902", hexConfigWords({0x00B5, 0x00C9, 0x00AE, 0x0023, 0x0001}) + hexEnd()), 0x2000);
    const std::vector<std::string> expected = {
        "1023 WDTEN:1",       "1024 IO_MODE: 18",   "1025 OTP_MODE:4K", "1026 OTP_KMOD:2",
        "1027 STVEN:1",       "1028 LVTEN:1",       "1029 RESETE:0",    "1030 WDTPS: 1:128 (hidden)",
        "1031 LVTV:0",        "1032 LVT: 101",      "1033 WDTE:1",      "1034 TWDT:1:64",
        "1035 FINTOSC: DIV4", "1036 CRYEN:1",       "1037 CRYSEL:1",    "1038 RSEL:1",
        "1039 FCPUS:0",       "1040 CRYPTEN:1",     "1041 IDIS:1",      "1042 PSUT:101",
        "1043 OSCM:10",       "1044 FUSE4 (hidden)"};
    EXPECT_EQ(page(), expected);
    const auto w = blockWords();
    EXPECT_EQ(std::vector<std::uint16_t>(w.begin() + 2, w.begin() + 7),
              (std::vector<std::uint16_t>{0x00B5, 0x00C9, 0x00AE, 0x0023, 0x0001}));

    // A layout-B model afterwards leaves 1040-1043 visible and 1030 hidden (it writes neither).
    ASSERT_TRUE(decode("EP2706", hexChipWords({0, 0, 0}) + hexEnd()));
    EXPECT_TRUE(visible(1040) && visible(1043));
    EXPECT_FALSE(visible(1030));
}

TEST_F(Decoders, LayoutBPage) {
    ASSERT_EQ(decode("EP2706", hexChipWords({0x00D9, 0x0055, 0x0025}) + hexEnd()), 0x1000);
    const std::vector<std::string> expected = {
        "1023 WDTEN:0",        "1024 IO_MODE: 18",    "1025 OTP_MODE:4K",    "1026 OTP_KMOD: 0",
        "1027 SMT:1",          "1028 RDPIN:0",        "1029 RESETE:1",       "1030 PRO:0",
        "1031 CRYEN:1",        "1032 LVT: 3.8v",      "1033 OTP_DIS:1",      "1034 TWDT:101",
        "1035 FINTOSC: DIV4",  "1036 MCUSEL:2",       "1037 OSCM:16MHZ",     "1038 RSEL:0",
        "1039 FCPUS:4T",       "1040 FUSE0 (hidden)", "1041 FUSE1 (hidden)", "1042 FUSE2 (hidden)",
        "1043 FUSE3 (hidden)", "1044 FUSE4 (hidden)"};
    EXPECT_EQ(page(), expected);

    // Bit 7 of c0 clear and bits 6-0 set.
    ASSERT_TRUE(decode("EP27C42", hexChipWords({0x007F, 0, 0}) + hexEnd()));
    EXPECT_EQ(slot(1039), "FCPUS:2T");
    EXPECT_EQ(slot(1035), "FINTOSC: DIV1");
    EXPECT_EQ(slot(1032), "LVT: 4.6v");
    ASSERT_TRUE(decode("EP27C42", hexChipWords({0x0020, 0, 0}) + hexEnd()));
    EXPECT_EQ(slot(1035), "FINTOSC: NULL");
}

TEST_F(Decoders, LayoutCPage) {
    ASSERT_EQ(decode("EP2703", hexChipWords({0x2A15, 0x03DB, 0x01FA}) + hexEnd()), 0x1000);
    const std::vector<std::string> expected = {
        "1023 WDTEN:1",        "1024 IO_MODE: 16",    "1025 OTP_MODE:4K",    "1026 OTP_KMOD:0",
        "1027 SMTEN:1",        "1028 RDPIN:0",        "1029 RESETE:1",       "1030 WDTPS:1:128",
        "1031 LVTEN:1",        "1032 LVT: 2.6V",      "1033 SUTEN:1",        "1034 SUT:1:4",
        "1035 FINTOSC: DIV4",  "1036 CRYSTALEN:1",    "1037 CRYSTAL:HIGH",   "1038 CRYPTEN:0",
        "1039 PWRT:1",         "1040 FUSE0 (hidden)", "1041 FUSE1 (hidden)", "1042 FUSE2 (hidden)",
        "1043 FUSE3 (hidden)", "1044 FUSE4 (hidden)"};
    EXPECT_EQ(page(), expected);
    EXPECT_EQ(state->decoders.words[2], 0x01EA);
}

TEST_F(Decoders, LayoutCVariants) {
    struct Row {
        const char* model;
        std::vector<std::uint16_t> chipWords;
        int slotId;
        const char* text;
    };
    const Row rows[] = {
        // The forced bit 4 of c2.
        {"EP2701", {0, 0, 0x0000}, 1038, "CRYPTEN:1"},     {"EP2702", {0, 0, 0x0010}, 1038, "CRYPTEN:0"},
        {"EP2703", {0, 0, 0x3FFF}, 1038, "CRYPTEN:0"},     {"EP2702", {0x3000, 0, 0}, 1024, "IO_MODE: 18"},
        {"EP2703", {0x3000, 0, 0}, 1024, "IO_MODE: 20"},   {"EP2703", {0x1000, 0, 0}, 1024, "IO_MODE: NULL"},
        {"EP2702", {0, 0x0000, 0}, 1025, "OTP_MODE:512"},  {"EP2703", {0, 0x0700, 0}, 1025, "OTP_MODE:8K"},
        {"EP2701", {0x0004, 0, 0}, 1036, "CRYSTALEN:1"},   {"EP2702", {0x0004, 0, 0}, 1036, "CRYSTALEN:0"},
        {"EP2701", {0, 0x000E, 0}, 1035, "FINTOSC: 8M"},   {"EP2702", {0, 0x0004, 0}, 1035, "FINTOSC: 1.25M"},
        {"EP2703", {0, 0x0006, 0}, 1035, "FINTOSC: NULL"}, {"EP2701", {0, 0x0010, 0}, 1032, "LVT: NULL"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.model) + " slot " + std::to_string(r.slotId));
        state = test::freshImageState();
        ASSERT_TRUE(decode(r.model, hexChipWords(r.chipWords) + hexEnd()));
        EXPECT_EQ(slot(r.slotId), r.text);
    }
    // C-2701 leaves the size slots alone.
    state = test::freshImageState();
    ASSERT_TRUE(decode("EP2701", hexChipWords({0x1000, 0, 0}) + hexEnd()));
    EXPECT_EQ(slot(1024), "IO_MODE: 18");
    EXPECT_EQ(slot(1025), "OTP_MODE:4K");
}

TEST_F(Decoders, OtpKmodTables) {
    struct Row {
        const char* name;
        const char* model;
        std::string image;
        const char* text; // nullptr: slot 1026 unchanged
        std::vector<std::string> log;
    };
    auto a = [](std::uint16_t c3, std::uint16_t c4) { return hexConfigWords({0, 0, 0, c3, c4}) + hexEnd(); };
    // Layout C: m = bits 10-8 of c1, K = ((c1 >> 7) AND 0xFFC0) OR (c2 >> 8).
    auto c = [](std::uint16_t c1, std::uint16_t c2) { return hexChipWords({0, c1, c2}) + hexEnd(); };
    const Row rows[] = {
        {"A m=F", "EP3902", a(0x000F, 0x1234), "OTP_KMOD:0", {}},
        {"A m=7 bit clear", "EP3902", a(0x0007, 0xFFFE), "OTP_KMOD:1", {}},
        {"A m=3 code 3", "EP3902", a(0x0003, 0xFFFB), "OTP_KMOD:1", {}},
        {"A1 m=3 code 5 logs", "EP3902", a(0x0003, 0x0005), nullptr, {"OTP KMODE Error!"}},
        {"A2 m=3 code 5 leaves the slot", "EP39F02", a(0x0003, 0x0005), nullptr, {}},
        {"A m=1 code 0x0F", "EP39F06", a(0x0001, 0xFF0F), "OTP_KMOD:3", {}},
        {"A1 m=1 code 0x10 logs", "EP39F06", a(0x0001, 0x0010), nullptr, {"OTP KMODE Error"}},
        {"A m=0 code 0x00FF", "EP3904", a(0x0000, 0x00FF), "OTP_KMOD:7", {}},
        {"A m=0 ignores bit 15", "EP3904", a(0x0000, 0x8000), "OTP_KMOD:15", {}},
        {"A1 m=0 bad code logs", "EP3904", a(0x0000, 0x1234), nullptr, {"OTP KMODE Error"}},
        {"A2 m=0 bad code leaves the slot", "EP39F08", a(0x0000, 0x1234), nullptr, {}},
        {"A m=5 leaves the slot", "EP3902", a(0x0005, 0), nullptr, {}},
        {"A3 has no OTP_KMOD", "EP39H01", a(0x000F, 0), nullptr, {}},
        {"C m=7", "EP2702", c(0x0700, 0), "OTP_KMOD:0", {}},
        {"C m=3 bit clear", "EP2702", c(0x0300, 0x0000), "OTP_KMOD:1", {}},
        {"C m=1 code 3", "EP2703", c(0x0100, 0x0300), "OTP_KMOD:1", {}},
        {"C m=1 code 5 logs", "EP2703", c(0x0100, 0x0500), nullptr, {"OTP KMODE Error!"}},
        {"C m=0 code 0x5F from both words", "EP2702", c(0x2000, 0x1F00), "OTP_KMOD:1", {}},
        {"C m=0 code 0x12 logs", "EP2702", c(0x0000, 0x1200), nullptr, {"OTP KMODE Error"}},
        {"C m=2 leaves the slot", "EP2702", c(0x0200, 0), nullptr, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        state = test::freshImageState();
        findSlot(state->decoders.fuseSlots, 1026)->text = "before";
        ASSERT_TRUE(decode(r.model, r.image));
        EXPECT_EQ(slot(1026), r.text ? r.text : "before");
        std::vector<std::string> log = rep.texts();
        log.erase(log.begin()); // "Open File:…"
        EXPECT_EQ(log, r.log);
    }
}

TEST_F(Decoders, Ep3901LengthFollowsOtpMode) {
    const std::pair<std::uint16_t, int> rows[] = {
        {0xF, 0x4000}, {7, 0x2000}, {3, 0x1000}, {1, 0x800}, {5, 0x400}};
    for (auto [mode, length] : rows) {
        findSlot(state->decoders.fuseSlots, 1026)->text = "before";
        EXPECT_EQ(decode("EP3901", hexConfigWords({0, 0, 0, mode, 0}) + hexEnd()), length) << mode;
    }
    EXPECT_EQ(slot(1025), "OTP_MODE:1K");
    EXPECT_EQ(slot(1026), "before");
    // Bytes 0-13 of configArea are preset to 0xFF: an image without them decodes as all ones.
    ASSERT_EQ(decode("EP3901", hexData(0, {1}) + hexEnd()), 0x4000);
    EXPECT_EQ(state->decoders.words[3], 0xFFFF);
}

TEST_F(Decoders, BlocksLandWhereTheFamilyNeedsThem) {
    struct Row {
        const char* model;
        std::string image;
        BlockCopy::Destination dest;
        std::size_t offset, size;
        int firstWord;
        std::vector<std::uint16_t> stored;
    };
    const auto prg = BlockCopy::Destination::ProgramArea;
    const auto cfg = BlockCopy::Destination::ConfigBlock;
    const Row rows[] = {
        {"EP2705",
         hexChipWords({0xC123, 0x4567, 0x89AB}) + hexEnd(),
         prg,
         0x4000,
         128,
         2,
         {0x0123, 0x0567, 0x09AB}},
        {"EPW311",
         hexChipWords({0xC123, 0x4567, 0x89AB}) + hexEnd(),
         prg,
         0x4000,
         128,
         2,
         {0x0123, 0x0567, 0x09AB}},
        {"EP2701",
         hexChipWords({0xC123, 0x4567, 0x0000}) + hexEnd(),
         prg,
         0x4000,
         128,
         6,
         {0x0123, 0x0567, 0x0010}},
        {"EP39F08", hexConfigWords({1, 2, 3, 4, 5}) + hexEnd(), prg, 0x1000, 64, 2, {1, 2, 3, 4}},
        {"EP39H02", hexConfigWords({1, 2, 3, 4, 5}) + hexEnd(), cfg, 0, 256, 2, {1, 2, 3, 4, 5}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.model);
        ASSERT_TRUE(decode(r.model, r.image));
        const auto& b = *state->decoders.lastBlock;
        EXPECT_EQ(b.destination, r.dest);
        EXPECT_EQ(b.offset, r.offset);
        EXPECT_EQ(b.size, r.size);
        const auto w = blockWords();
        EXPECT_EQ(
            std::vector<std::uint16_t>(w.begin() + r.firstWord, w.begin() + r.firstWord + r.stored.size()),
            r.stored);
    }
    // EP2705 checks over W0-W6 into W1, the other B templates over W0-W15; C over W4-W14 into W15.
    auto sum = [](const std::vector<std::uint16_t>& w, int first, int last) {
        unsigned s = 0;
        for (int i = first; i <= last; ++i)
            s += w[i];
        return s;
    };
    ASSERT_TRUE(decode("EP2705", rows[0].image));
    auto w = blockWords();
    EXPECT_EQ((w[1] + (sum(w, 0, 6) - w[1] + 0x01A0) % 0x4000) & 0xFFFF, 0x3FFEu);
    ASSERT_TRUE(decode("EP2701", rows[2].image));
    w = blockWords();
    EXPECT_EQ(w[15] + sum(w, 4, 14) % 0x4000, 0x3FFFu);
    ASSERT_TRUE(decode("EP39H01", rows[4].image));
    w = blockWords();
    EXPECT_EQ((sum(w, 2, 13) + w[15]) & 0xFFFF, 0xFFFFu);
}

TEST_F(Decoders, Ep8505TouchesNoSlotAndNoBlock) {
    const auto before = page();
    EXPECT_EQ(
        decode("EP8505", hexData(0x0100, {1, 2}) + test::hexUpper(0, 0xF0) + hexData(0x20, {3}) + hexEnd()),
        0x21);
    EXPECT_EQ(page(), before);
    EXPECT_FALSE(state->decoders.lastBlock);
}

TEST_F(Decoders, FailedReadChangesNothing) {
    ASSERT_TRUE(decode("EP2706", hexChipWords({0x1234, 0x0567, 0x0089}) + hexEnd()));
    const auto words = state->decoders.words;
    const auto before = page();
    EXPECT_EQ(decode("EP3902", "broken\r\n"), 0);
    EXPECT_EQ(state->decoders.words, words);
    EXPECT_EQ(page(), before);
    EXPECT_EQ(state->decoders.lastBlock->offset, 0x4000u);
    EXPECT_EQ(rep.texts().back(), msg::kErrorHexFile);
}

} // namespace
} // namespace kelvor::image
