// Every model row of the catalog through a whole job: length, variant, block, chip code, check word
// and CKSUM, checked against the families' published layout.
#include "base/strfmt.h"
#include "image/checksums.h"
#include "jobs/hex_fixture.h"
#include "jobs/job.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace kelvor::chips {
// Failures name the model, not the row's bytes.
void PrintTo(const ModelRow& row, std::ostream* os) {
    *os << row.model;
}
} // namespace kelvor::chips

namespace kelvor::jobs {
namespace {

using chips::Family;
using image::CrcForm;
using testing_hex::HexBuilder;
using testing_hex::pattern;

struct Expected {
    int n;
    int length;
    TransferVariant variant;
    BlockKind shortBlock; // without the programmer's hardware version
    BlockKind longBlock;  // with it
    std::uint16_t shortCode;
    std::uint16_t longCode;
    bool blankWordsCheck;
    CrcForm cksum;
    bool mask14;
};

constexpr auto P = TransferVariant::Plain;
constexpr auto G = TransferVariant::Paged;
constexpr auto S = BlockKind::Short;
constexpr auto L = BlockKind::Long;
constexpr auto F = BlockKind::F39;
constexpr auto C = BlockKind::Charger;

// The families' layout as published for the programmer, written out independently of the table.
const std::map<Family, Expected>& expectations() {
    static const std::map<Family, Expected> m = {
        {Family::EP2702, {8192, 8322, P, S, L, 0x2702, 0x2702, false, CrcForm::Skip, true}},
        {Family::EP2701, {8192, 8322, P, S, L, 0x2701, 0x2701, false, CrcForm::Skip, true}},
        {Family::EP2705, {8192, 8322, P, S, L, 0x2705, 0x2705, false, CrcForm::Skip, true}},
        {Family::EP2703, {16384, 16514, P, S, L, 0x2703, 0x2703, false, CrcForm::Skip, true}},
        {Family::EP3901, {16384, 16514, P, S, S, 0x3901, 0x3901, false, CrcForm::Skip, false}}, // OTP_MODE 7
        {Family::EP3902, {16384, 16514, P, S, S, 0x3902, 0x3902, false, CrcForm::Skip, false}},
        {Family::EP3903, {16384, 16514, P, S, S, 0x3903, 0x3903, false, CrcForm::Skip, false}},
        {Family::EP3904, {16384, 16514, P, S, S, 0x3904, 0x3904, false, CrcForm::Skip, false}},
        {Family::EP27H01, {8192, 8322, P, S, S, 0x1D01, 0x1D01, false, CrcForm::Skip, true}},
        {Family::EP27H02, {8192, 8322, P, S, S, 0x3E02, 0x3E02, false, CrcForm::Skip, true}},
        {Family::EP2706, {8192, 8322, P, S, L, 0x2706, 0x2706, true, CrcForm::SkipBlankWords, true}},
        {Family::EP406, {8192, 8322, P, S, L, 0x006A, 0x006A, true, CrcForm::SkipBlankWords, true}},
        {Family::EP39B13, {8192, 8322, P, S, L, 0x9B13, 0x9B13, true, CrcForm::SkipBlankWords, true}},
        {Family::EP27C42, {8192, 8322, P, S, L, 0x7C42, 0x7C42, true, CrcForm::SkipBlankWords, true}},
        {Family::EP27F01, {8192, 8322, P, S, L, 0x7F01, 0x7F01, true, CrcForm::SkipBlankWords, true}},
        {Family::EP2707, {8192, 8322, P, S, L, 0x2707, 0x2706, true, CrcForm::SkipBlankWords, true}},
        {Family::EP27F02, {4096, 4226, P, S, L, 0x7F02, 0x7F02, true, CrcForm::SkipBlankWords, true}},
        {Family::EP39F01, {8192, 8322, P, L, L, 0x9F02, 0x9F02, false, CrcForm::Skip, false}},
        {Family::EP39F05, {8192, 8322, P, L, L, 0x9F02, 0x9F02, false, CrcForm::Skip, false}},
        {Family::EP39F03, {32768, 32898, G, L, L, 0x9F03, 0x9F03, false, CrcForm::Skip, false}},
        {Family::EP39F02, {8192, 8322, P, F, F, 0x9F02, 0x9F02, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP408, {8192, 8322, P, F, F, 0x008A, 0x008A, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP39F020, {8192, 8322, P, F, F, 0xF020, 0xF020, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP39F022, {8192, 8322, P, F, F, 0xF022, 0xF022, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP39F024, {8192, 8322, P, F, F, 0x9F02, 0x9F02, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP39F25X, {16384, 16514, P, F, F, 0x9F02, 0x9F02, false, CrcForm::SkipErasedRecord, false}},
        {Family::EP39F256, {16384, 16514, P, F, F, 0x9F02, 0x9F02, false, CrcForm::Large, false}},
        {Family::EP39F003, {16384, 16514, P, F, F, 0x9F06, 0x9F06, false, CrcForm::Large, false}},
        {Family::EP39F06, {16384, 16514, P, F, F, 0x9F06, 0x9F06, false, CrcForm::Large, false}},
        {Family::EP39F08, {4096, 8322, P, F, F, 0x9F08, 0x9F08, false, CrcForm::Small, false}},
        {Family::EP39H01, {16384, 16514, G, C, C, 0x39B1, 0x39B1, false, CrcForm::Skip, false}},
        {Family::EP39H02, {24576, 24706, G, C, C, 0x39B2, 0x39B2, false, CrcForm::Skip, false}},
    };
    return m;
}

// Program bytes at the start and configuration words with OTP_MODE 7 (EP3901: an 8 KB image).
std::string standardHex() {
    HexBuilder h;
    h.data(0x0000, pattern(0x80));
    h.upper(0x0030).data(0x0000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF});
    return h.text();
}

// The catalog rows, plus EP39F25X: a family without a model row, run under EP39F02's row.
std::vector<chips::ModelRow> walkRows() {
    std::vector<chips::ModelRow> rows(chips::models().begin(), chips::models().end());
    chips::ModelRow f25x = *chips::findModel("EP39F02");
    f25x.model = "EP39F25X";
    f25x.family = Family::EP39F25X;
    rows.push_back(f25x);
    return rows;
}

class ModelWalk : public ::testing::TestWithParam<chips::ModelRow> {
protected:
    JobResult run(const JobInputs& in, bool hwVersionSeen) {
        JobContext ctx;
        ctx.model = &GetParam();
        ctx.imagePath = path;
        ctx.hwVersionSeen = hwVersionSeen;
        return startProgrammingJob(in, ctx, *state, settings, reporter);
    }
    std::string path = testing_hex::writeTempFile("image.hex", standardHex());
    std::unique_ptr<image::ImageState> state = std::make_unique<image::ImageState>();
    MemorySettings settings;
    RecordingReporter reporter;
};

TEST_P(ModelWalk, PreparesThePublishedLayout) {
    const chips::ModelRow& row = GetParam();
    JobInputs in = defaultJobInputs(row);
    for (bool hw : {false, true}) {
        SCOPED_TRACE(hw ? "long block available" : "short block only");
        const JobResult r = run(in, hw);
        ASSERT_EQ(r.code, kJobPrepared) << ::testing::PrintToString(reporter.texts());
        const TransferRequest* chip = r.chipTransfer();
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(chip->modeValue, 0);
        EXPECT_TRUE(r.disableButtons);
        const auto& bytes = chip->bytes;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), state->buffers.transferImage.begin()));

        if (row.family == Family::EP8505 || row.family == Family::EP8505_IN) {
            const int l = state->imageLength - state->imageLength % 2;
            EXPECT_EQ(r.length, l);
            EXPECT_EQ(chip->length(), l);
            EXPECT_EQ(r.variant, TransferVariant::OfflineBlock);
            EXPECT_EQ(r.block, BlockKind::None);
            EXPECT_FALSE(r.checkWord);
            EXPECT_EQ(r.cksum, image::imageCrc(bytes.data(), bytes.size()));
            continue;
        }
        const Expected& e = expectations().at(row.family);
        EXPECT_EQ(r.length, e.length);
        EXPECT_EQ(chip->length(), e.length);
        EXPECT_EQ(r.variant, e.variant);
        const BlockKind block = hw ? e.longBlock : e.shortBlock;
        EXPECT_EQ(r.block, block);

        // Program words: 14-bit families keep the low 14 bits only.
        const std::uint16_t firstWord = image::readLe16(state->buffers.programArea());
        EXPECT_EQ(image::readLe16(bytes.data()), e.mask14 ? firstWord & 0x3FFF : firstWord);

        const int blockAt = e.n + 0x40;
        std::uint16_t code = block == BlockKind::Long ? e.longCode : e.shortCode;
        if (row.model == std::string_view("EP27F01A3") && block == BlockKind::Short) code = 0x7F0A;
        if (row.model == std::string_view("EP39F06A")) code = 0x9F0A;
        const int codeAt = blockAt + (block == BlockKind::F39 ? 0x02 : 0x0E);
        EXPECT_EQ(image::readLe16(bytes.data() + codeAt), code);
        if (block != BlockKind::F39) {
            EXPECT_EQ(image::readLe16(bytes.data() + blockAt + 0x0A), row.frequencyEntry);
        }

        const std::size_t covered = static_cast<std::size_t>(e.n + 0x80);
        const std::uint16_t check = e.blankWordsCheck
                                        ? image::maskedImageCrc(bytes.data(), covered, CrcForm::BlankWords)
                                        : image::imageCrc(bytes.data(), covered);
        EXPECT_EQ(image::readLe16(bytes.data() + covered), check);
        EXPECT_EQ(r.checkWord, check);
        EXPECT_EQ(r.cksum, image::maskedImageCrc(bytes.data(), covered, e.cksum,
                                                 static_cast<std::size_t>(e.n + 0x50)));
        EXPECT_EQ(r.cksumText, strfmt("CKSUM: 0x%04x", *r.cksum));
    }
}

// Raw images carry no UID, so this walk leaves them out.
class UidWalk : public ModelWalk {};

TEST_P(UidWalk, TheUidReachesTheChipButNotTheOperatorsChecksum) {
    const chips::ModelRow& row = GetParam();
    JobInputs in = defaultJobInputs(row);
    const JobResult first = run(in, false);
    in.batchText = "12345678";
    in.incrementText = "1";
    const JobResult second = run(in, false);
    ASSERT_EQ(first.code, kJobPrepared);
    ASSERT_EQ(second.code, kJobPrepared);
    EXPECT_NE(first.checkWord, second.checkWord);
    // EP39F08 and EP39F25X keep their UID outside every masked window, so their CKSUM follows it.
    if (row.family == Family::EP39F08 || row.family == Family::EP39F25X)
        EXPECT_NE(first.cksum, second.cksum);
    else
        EXPECT_EQ(first.cksum, second.cksum);
}

std::vector<chips::ModelRow> rowsWithUid() {
    auto rows = walkRows();
    std::erase_if(rows,
                  [](const auto& r) { return r.family == Family::EP8505 || r.family == Family::EP8505_IN; });
    return rows;
}

auto modelName = [](const auto& info) { return std::string(info.param.model); };
INSTANTIATE_TEST_SUITE_P(Catalog, ModelWalk, ::testing::ValuesIn(walkRows()), modelName);
INSTANTIATE_TEST_SUITE_P(Catalog, UidWalk, ::testing::ValuesIn(rowsWithUid()), modelName);

} // namespace
} // namespace kelvor::jobs
