// Charger options: ConfigList, the charger block and the custom PDO table.
#include "jobs/charger.h"

#include "jobs/family_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace kelvor::jobs {
namespace {

TEST(ConfigList, WritesThirteenValuesEachWithItsComma) {
    ChargerSelections s;
    EXPECT_EQ(configListText(s), "0,0,1,1,3,1,1,1,0,0,1,1,2,");
    s.icName = s.icNameChk = 2;
    s.ocp = -1;
    s.dApple = true;
    MemorySettings settings;
    storeConfigList(s, settings);
    ASSERT_EQ(settings.writes.size(), 1u);
    EXPECT_EQ(settings.writes[0].first, "KELVOR/ConfigList");
    EXPECT_EQ(settings.writes[0].second, "2,2,1,-1,3,1,1,1,1,0,1,1,2,");
}

TEST(ConfigList, RestoreFollowsTheCommaTerminatedRule) {
    const struct {
        const char* text;
        int icName, icNameChk, ocp;
        bool printSwitch;
    } rows[] = {
        {"1,2,3", 2, 2, 1, true}, // last value has no comma; IC_NAME_CHK's value sets both
        {"1,2,0,", 2, 2, 1, false},
        {",1,2,", 0, 0, 1, true},                          // a leading comma yields nothing
        {"3,3,1,7,", 3, 3, -1, true},                      // OCP has 4 entries: 7 selects none
        {"0,0,1,2,3,1,1,1,0,0,1,1,2,9,9,", 0, 0, 2, true}, // values past 12 ignored
    };
    for (const auto& r : rows) {
        ChargerSelections s;
        applyConfigList(r.text, s);
        EXPECT_EQ(s.icName, r.icName) << r.text;
        EXPECT_EQ(s.icNameChk, r.icNameChk) << r.text;
        EXPECT_EQ(s.ocp, r.ocp) << r.text;
        EXPECT_EQ(s.printSwitch, r.printSwitch) << r.text;
    }
    ChargerSelections roundTrip;
    roundTrip.icName = roundTrip.icNameChk = 3;
    roundTrip.power = 7;
    roundTrip.acApple = true;
    ChargerSelections back;
    applyConfigList(configListText(roundTrip), back);
    EXPECT_EQ(configListText(back), configListText(roundTrip));
}

TEST(ChargerBlock, PlacesEachSelectionForBothFamilies) {
    ChargerSelections s;
    s.icName = s.icNameChk = 2; // "EP39H01AC"
    s.qcClass = -1;
    s.dApple = true;
    const auto h01 = buildChargerBlock(chips::Family::EP39H01, s);
    const std::array<std::uint8_t, 14> expect01 = {2, 2, 1, 1, 3, 1, 1, 1, 1, 0, 0xFF, 1, 0, 2};
    EXPECT_TRUE(std::equal(expect01.begin(), expect01.end(), h01.begin() + 0x1C));
    for (int i = 0; i < 0x1C; ++i)
        EXPECT_EQ(h01[i], 0) << i; // the job adds the head

    s.shortCircuit = true;
    s.overVoltage = false;
    const auto h02 = buildChargerBlock(chips::Family::EP39H02, s);
    EXPECT_EQ(h02[0x20], 0);
    EXPECT_EQ(h02[0x21], 0);
    EXPECT_EQ(h02[0x22], 0);
    EXPECT_EQ(h02[0x23], 1); // the short-circuit switch
    EXPECT_EQ(h02[0x29], 0);
    EXPECT_EQ(h02[0x1C], 2);
    EXPECT_EQ(h02[0x24], 1);
}

struct PdoCase {
    const char* text;
    const char* message; // nullptr: parsed
    std::vector<std::uint8_t> table;
};

TEST(PdoText, ParsesOrRefusesWithItsMessage) {
    const std::string items30 = [] {
        std::string t = "1E,00,";
        for (int i = 0; i < 30; ++i)
            t += "AB,";
        return t;
    }();
    const std::string items31 = [] {
        std::string t = "1F,00,";
        for (int i = 0; i < 31; ++i)
            t += "AB,";
        return t;
    }();
    const PdoCase rows[] = {
        {"02,A1,5F,3C,", nullptr, {0x02, 0xA1, 0x5F, 0x3C}},
        {"00,A1,", nullptr, {0x00, 0xA1}},
        {"02,a1,5f,3c,", nullptr, {0x02, 0xA1, 0x5F, 0x3C}},
        {"", "输入的PDO数据为空，请检查", {}},
        {"03,A1,5F,3C,", "输入的PDO数据存在异常，请检查", {}},
        {"02,A1,5F,3C", "输入的PDO数据存在异常，请检查", {}},
        {"02,A1,5F3,3C,", "输入的PDO数据存在异常，请检查", {}},
        {"02,", "输入的PDO数据存在异常，请检查", {}},
        {"01,A1,5F\r\n,", "输入的PDO数据存在异常，请检查", {}},
        // Regression: a pasted non-hex item was read by the digit rule as a byte ("0G" as 0x17).
        {"01,A1,0G,", "输入的PDO数据存在异常，请检查", {}},
        {items31.c_str(), "请确认输入的数据,数据最多不超过30个!", {}},
    };
    for (const auto& r : rows) {
        RecordingReporter rep;
        const auto pdo = parsePdoText(r.text, rep);
        if (r.message == nullptr) {
            ASSERT_TRUE(pdo) << r.text;
            EXPECT_TRUE(rep.entries.empty());
            EXPECT_EQ(pdo->size(), static_cast<int>(r.table.size()));
            EXPECT_TRUE(std::equal(r.table.begin(), r.table.end(), pdo->bytes.begin())) << r.text;
        } else {
            EXPECT_FALSE(pdo) << r.text;
            ASSERT_EQ(rep.entries.size(), 1u) << r.text;
            EXPECT_EQ(rep.entries[0].kind, RecordingReporter::Kind::Box);
            EXPECT_EQ(rep.entries[0].caption, "提示!");
            EXPECT_EQ(rep.entries[0].text, r.message) << r.text;
        }
    }
    RecordingReporter rep;
    const auto full = parsePdoText(items30, rep);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), 32);
}

class PdoPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        buffers->programRegion.fill(0xFF);
        buffers->transferImage.fill(0x55);
        selections.customPdo = true;
    }
    std::unique_ptr<image::ImageBuffers> buffers = std::make_unique<image::ImageBuffers>();
    ChargerSelections selections;
    RecordingReporter reporter;
};

TEST_F(PdoPlacement, CopiesTheTableAt3FE0) {
    selections.pdoText = "02,A1,5F,3C,";
    ASSERT_TRUE(placeCustomPdo(selections, *buffers, reporter));
    const std::uint8_t* t = buffers->transferImage.data() + kPdoOffset;
    EXPECT_EQ(std::vector<std::uint8_t>(t, t + 5), (std::vector<std::uint8_t>{0x02, 0xA1, 0x5F, 0x3C, 0x55}));
    EXPECT_TRUE(reporter.entries.empty());
}

TEST_F(PdoPlacement, RefusesWhenTheImageUsesTheSpace) {
    selections.pdoText = "02,A1,5F,3C,";
    buffers->programArea()[kPdoOffset + 2] = 0x00;
    EXPECT_EQ(pdoFreeSpace(*buffers), 2);
    EXPECT_FALSE(placeCustomPdo(selections, *buffers, reporter));
    ASSERT_EQ(reporter.entries.size(), 1u);
    EXPECT_EQ(reporter.entries[0].text, "PDO数据长度与HEX地址0x3fe0可用长度不匹配!");
    EXPECT_EQ(buffers->transferImage[kPdoOffset], 0x55);
}

TEST_F(PdoPlacement, ThirtyItemsNeedAll32BytesFree) {
    selections.pdoText = "1E,00,";
    for (int i = 0; i < 30; ++i)
        selections.pdoText += "AB,";
    EXPECT_EQ(pdoFreeSpace(*buffers), 32);
    EXPECT_TRUE(placeCustomPdo(selections, *buffers, reporter));
    buffers->programArea()[0x3FFF] = 0;
    EXPECT_FALSE(placeCustomPdo(selections, *buffers, reporter));
}

TEST_F(PdoPlacement, UncheckedBoxPlacesNothing) {
    selections.customPdo = false;
    selections.pdoText = "garbage";
    EXPECT_TRUE(placeCustomPdo(selections, *buffers, reporter));
    EXPECT_EQ(buffers->transferImage[kPdoOffset], 0x55);
    EXPECT_TRUE(reporter.entries.empty());
}

} // namespace
} // namespace kelvor::jobs
