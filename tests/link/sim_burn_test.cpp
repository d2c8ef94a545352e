// Every catalog model through real jobs and the simulated programmer: the transfer framed as the
// station frames its variant, the reports through the station's decoder, the chip's cells after it.
#include "link/sim_station.h"

#include <cstdlib>

namespace kelvor::link::sim {
namespace {

using chips::Family;
using test::JobSetup;
using test::prepareJob;
using test::Sent;
using test::Station;

struct WalkCase {
    std::string_view model;
    bool fullImage; // EP3901: an image of 0x4000, sent paged
};

std::vector<WalkCase> walkCases() {
    std::vector<WalkCase> cases;
    for (const auto& row : chips::models())
        cases.push_back({row.model, false});
    cases.push_back({"EP3901", true});
    return cases;
}

bool isRaw(Family f) {
    return f == Family::EP8505 || f == Family::EP8505_IN;
}

// The four oldest families end with "芯片编程成功!" / "芯片校验成功!", the others with "芯片烧录完成".
bool classicEnding(Family f) {
    return f == Family::EP2701 || f == Family::EP2702 || f == Family::EP2703 || f == Family::EP2705;
}

// Every measurement the station printed lies within 1.5 % of its nominal value.
void expectMeasurementsNearNominal(const Station& st) {
    for (const auto& l : st.lines) {
        const auto at = l.find("delta=");
        if (at == std::string::npos) continue;
        const double delta = std::strtod(l.c_str() + at + 6, nullptr);
        EXPECT_LT(delta, 1.5) << l;
    }
}

std::uint32_t le32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return image::readLe32(v.data() + at);
}

class BurnWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(BurnWalk, PassesOnceGivesEachChipItsUidAndCannotBurnAChipTwice) {
    const chips::ModelRow& row = *chips::findModel(GetParam().model);
    const bool raw = isRaw(row.family);
    JobSetup setup;
    if (GetParam().fullImage) setup.hex = test::imageHex(0xF);
    if (raw) setup.programMode = 3; // program the APP area now
    SimulatedProgrammer p(test::fastOptions(row.model));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);

    // Chip 0 with the short block, chip 1 (inserted fresh) with the long one where the family has it.
    for (int chipNo = 0; chipNo < 2; ++chipNo) {
        SCOPED_TRACE("chip " + std::to_string(chipNo));
        setup.hwVersionSeen = chipNo == 1;
        const test::PreparedJob job = prepareJob(row, setup);
        ASSERT_NE(job.result.chipTransfer(), nullptr);
        Station st(p, &row, setup.hwVersionSeen);
        ASSERT_EQ(st.burn(job.chip()), Sent::Completed) << testing::PrintToString(st.lines);
        EXPECT_EQ(st.passes, 1) << testing::PrintToString(st.lines);
        EXPECT_EQ(st.fails, 0) << testing::PrintToString(st.lines);
        EXPECT_TRUE(st.logged("芯片ID正确 "));
        EXPECT_TRUE(st.logged("芯片Blank检测成功! "));
        EXPECT_TRUE(st.logged(classicEnding(row.family) ? "芯片校验成功! " : "芯片烧录完成 "));
        EXPECT_FALSE(st.logged("USB信息返回错误!"));
        expectMeasurementsNearNominal(st);
        if (inGroup(ModelGroup::B, row.family)) {
            // The bar moves with the burn's stages only.
            EXPECT_EQ(st.progress, (std::vector<int>{20, 40, 60, 60, 80, 100}));
        }

        const auto cells = p.socketCells();
        const auto& bytes = job.chip().bytes;
        if (raw) {
            // APP area; the programmer pads the image to whole blocks of 0xFF.
            ASSERT_GE(cells.size(), 0x3000 + bytes.size());
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), cells.begin() + 0x3000));
            continue;
        }
        // The block's uidBase field holds this chip's UID; every other cell holds the image.
        const std::size_t blockAt = static_cast<std::size_t>(job.programBytes()) + 0x40;
        const std::size_t uidAt = blockAt + (job.result.block == jobs::BlockKind::F39 ? 0x04 : 0x10);
        ASSERT_GE(cells.size(), bytes.size());
        EXPECT_EQ(le32(cells, uidAt), 0x12345678u + 0x10u * static_cast<unsigned>(chipNo));
        auto expected = bytes;
        image::writeLe32(expected.data() + uidAt, le32(cells, uidAt));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), cells.begin()));
    }

    // Without a fresh chip the burnt one meets the blank check.
    p.setAutoInsert(false);
    const auto before = p.socketCells();
    const test::PreparedJob job = prepareJob(row, setup);
    Station st(p, &row, setup.hwVersionSeen);
    const Sent sent = st.burn(job.chip());
    // A plain transfer completes before its burn; a paged one hears the failure at its tail.
    EXPECT_EQ(sent, job.chip().variant == jobs::TransferVariant::Paged ? Sent::Refused : Sent::Completed);
    EXPECT_TRUE(st.logged("芯片Blank检测错误! ")) << testing::PrintToString(st.lines);
    EXPECT_EQ(st.passes, 0);
    EXPECT_GE(st.fails, 1);
    EXPECT_EQ(p.socketCells(), before);
}

TEST(SocketFollowsSelection, ANewModelBringsABlankChipTheSameModelKeepsTheBurntOne) {
    const chips::ModelRow& row = *chips::findModel("EP2706");
    SimulatedProgrammer p(test::fastOptions(""));
    p.setAutoInsert(false);
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    Station st(p, &row);
    ASSERT_EQ(st.burn(prepareJob(row).chip()), Sent::Completed);
    ASSERT_EQ(st.passes, 1) << testing::PrintToString(st.lines);
    const auto burnt = p.socketCells();
    p.modelSelected("EP2706"); // an auto-detect confirming the model: the chip stays
    EXPECT_EQ(p.socketCells(), burnt);
    p.modelSelected("EP27C42");
    EXPECT_EQ(p.socketChip()->model, "EP27C42");
    EXPECT_EQ(p.socketCells(), std::vector<std::uint8_t>(8322, 0xFF));
    // And the new model burns at once.
    const chips::ModelRow& next = *chips::findModel("EP27C42");
    Station st2(p, &next);
    ASSERT_EQ(st2.burn(prepareJob(next).chip()), Sent::Completed);
    EXPECT_EQ(st2.passes, 1) << testing::PrintToString(st2.lines);
}

INSTANTIATE_TEST_SUITE_P(Catalog, BurnWalk, testing::ValuesIn(walkCases()), [](const auto& info) {
    return std::string(info.param.model) + (info.param.fullImage ? "_Paged" : "");
});

} // namespace
} // namespace kelvor::link::sim
