// The family table: consistent as data, and the layout rules that depend on the image.
#include "jobs/family_table.h"

#include <gtest/gtest.h>

namespace kelvor::jobs {
namespace {

using chips::Family;

TEST(FamilyTable, ValidatesClean) {
    const auto problems = validateFamilyTable();
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    for (int i = 0; i < chips::kFamilyCount; ++i)
        EXPECT_EQ(jobFamily(static_cast<Family>(i)).family, static_cast<Family>(i));
}

TEST(FamilyTable, LayoutsDependOnTheImageOnlyWhereTheyShould) {
    const struct {
        Family family;
        int imageLength;
        int n;
        int length;
        TransferVariant variant;
    } rows[] = {
        {Family::EP3901, 0x4000, 32768, 32898, TransferVariant::Paged},
        {Family::EP3901, 0x3FF0, 16384, 16514, TransferVariant::Plain},
        {Family::EP3901, 0x2000, 16384, 16514, TransferVariant::Plain},
        {Family::EP8505, 5001, 5000, 5000, TransferVariant::OfflineBlock},
        {Family::EP8505_IN, 4, 4, 4, TransferVariant::OfflineBlock},
        {Family::EP39F08, 0x1234, 4096, 8322, TransferVariant::Plain},
        {Family::EP27F02, 0x800, 4096, 4226, TransferVariant::Plain},
        {Family::EP39H02, 0, 24576, 24706, TransferVariant::Paged},
        {Family::EP39F03, 0x2000, 32768, 32898, TransferVariant::Paged},
    };
    for (const auto& r : rows) {
        const JobLayout lay = jobLayout(jobFamily(r.family), r.imageLength);
        EXPECT_EQ(lay.programBytes, r.n) << chips::familyName(r.family);
        EXPECT_EQ(lay.length, r.length) << chips::familyName(r.family);
        EXPECT_EQ(lay.variant, r.variant) << chips::familyName(r.family);
    }
}

TEST(FamilyTable, ChipCodesFollowModelAndBlock) {
    const struct {
        Family family;
        const char* model;
        BlockKind block;
        std::uint16_t code;
    } rows[] = {
        {Family::EP2707, "EP2707", BlockKind::Short, 0x2707},
        {Family::EP2707, "EP2707", BlockKind::Long, 0x2706},
        {Family::EP27F01, "EP27F01A3", BlockKind::Short, 0x7F0A},
        {Family::EP27F01, "EP27F01A3", BlockKind::Long, 0x7F01},
        {Family::EP27F01, "EP27F01D", BlockKind::Short, 0x7F01},
        {Family::EP39F06, "EP39F06A", BlockKind::F39, 0x9F0A},
        {Family::EP39F06, "EP39F065", BlockKind::F39, 0x9F06},
        {Family::EP406, "EP406", BlockKind::Short, 0x006A},
        {Family::EP39F003, "EP39F003", BlockKind::F39, 0x9F06},
    };
    for (const auto& r : rows)
        EXPECT_EQ(chipCode(jobFamily(r.family), r.model, r.block), r.code) << r.model;
}

TEST(PagedLength, OnlyWholePagesPass) {
    EXPECT_FALSE(pagedLengthError(16514));
    EXPECT_FALSE(pagedLengthError(32898));
    ASSERT_TRUE(pagedLengthError(16514 - 16));
    EXPECT_EQ(*pagedLengthError(16514 - 16), "程序长度16368字节,不是8192字节的整数倍,不发送!");
    EXPECT_TRUE(pagedLengthError(130)); // no page at all
}

} // namespace
} // namespace kelvor::jobs
