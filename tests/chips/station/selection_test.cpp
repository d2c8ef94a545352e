#include "support/station_fixture.h"

#include <gtest/gtest.h>

using namespace kelvor;
using kelvor::test::StationFixture;

namespace {

const chips::ModelRow& row(const char* m) { return *chips::findModel(m); }

} // namespace

TEST(SelectModel, BurnButtonFollowsEP39H01) {
    StationFixture f;
    auto& s = f.start();
    auto& isp = f.page(page::kIsp);
    s.selectModel(row("EP39H01"));
    EXPECT_FALSE(isp.isEnabled(controlKey(1042)));
    s.selectModel(row("EP39H02"));
    EXPECT_TRUE(isp.isEnabled(controlKey(1042)));
}

TEST(SelectModel, AppliesTheRowToEveryPage) {
    StationFixture f;
    auto& s = f.start();
    s.selectModel(row("EP27F01A3"));
    EXPECT_EQ(s.familyFlags[chips::familyIndex(chips::Family::EP27F01)], 1);
    EXPECT_EQ(s.shared().g_familyFlags[chips::familyIndex(chips::Family::EP27F01)], 1);
    EXPECT_EQ(s.familyFlags[chips::familyIndex(chips::Family::EP2702)], 0);
    EXPECT_EQ(s.subFlag27F01A3, 1);
    EXPECT_EQ(s.subFlag39F06A, 0);
    auto& isp = f.page(page::kIsp);
    EXPECT_EQ(isp.text(controlKey(1041)), "EP:27F01A3 校准信息");
    EXPECT_EQ(s.mainModel().text(controlKey(1040)), "Device:27F01A3 ");
    EXPECT_TRUE(f.paneText().endsWith("12:05:09 烧录芯片为 EP:27F01A3\r\n"));
    EXPECT_FALSE(isp.isEnabled(controlKey(1045)));
    EXPECT_TRUE(isp.isVisible(controlKey(1043)));
    EXPECT_TRUE(f.page(page::kSetting).isEnabled(controlKey(1065)));

    s.selectModel(row("EP3901"));
    EXPECT_EQ(s.subFlag27F01A3, 0);
    EXPECT_FALSE(isp.isVisible("lblBatch"));
    auto& fuse = f.page(page::kFuse);
    EXPECT_TRUE(fuse.isVisible("grpSize"));
    EXPECT_FALSE(fuse.isVisible(controlKey(1024)));
    EXPECT_TRUE(fuse.isVisible(controlKey(1026)));
    EXPECT_FALSE(f.page(page::kSetting).isEnabled(controlKey(1065)));

    s.selectModel(row("EP2705"));
    EXPECT_EQ(isp.current(controlKey(1045)), 5);
    EXPECT_EQ(s.shared().g_freqIndex, 5);
    EXPECT_FALSE(fuse.isVisible("grpSize"));
}

TEST(SelectModel, PwmOutputPinSearch) {
    struct Case {
        const char* stored;
        const char* selected;
        const char* storedAfter;
    };
    const Case cases[] = {{"pc3", "PC3", "pc3"}, {"PC9", "PC4", "PC4"}, {"", "PA1", ""}};
    for (const auto& c : cases) {
        StationFixture f;
        auto& s = f.start();
        s.settings().writeText("KELVOR", "PWM_OUTPUT", c.stored);
        s.selectModel(row("EP39F02"));
        EXPECT_EQ(f.page(page::kSetting).currentText(controlKey(1093)), c.selected) << c.stored;
        EXPECT_EQ(s.settings().readText("KELVOR", "PWM_OUTPUT"), c.storedAfter) << c.stored;
    }
}

TEST(SelectModel, Ep39F01ClearsThe32MBoxAndUses8Pins) {
    StationFixture f;
    auto& s = f.start();
    auto& set = f.page(page::kSetting);
    set.setChecked(controlKey(1068), true);
    s.selectModel(row("EP39F01"));
    EXPECT_FALSE(set.isChecked(controlKey(1068)));
    EXPECT_FALSE(set.isEnabled(controlKey(1068)));
    EXPECT_EQ(set.items(controlKey(1093)).size(), 8);
    EXPECT_EQ(set.current(controlKey(1093)), 0);
}

TEST(SelectModel, DeviceIsStoredAsTheModelName) {
    for (const char* m : {"EP27F01D", "EP27H01"}) {
        StationFixture f;
        auto& s = f.start();
        s.selectModel(row(m));
        EXPECT_EQ(s.settings().readText("KELVOR", "DEVICE"), m);
    }
}

TEST(SelectModel, OfflineTabFollowsOnlyForTheNamedRows) {
    StationFixture f;
    auto& s = f.start();
    s.selectModel(row("EP8505"));
    s.mainModel().choose(controlKey(1008), 2);
    EXPECT_TRUE(f.page(page::kStpg8505Out).pageVisible());
    s.selectModel(row("EP39F022")); // no custom-chip key: the page stays until the next tab change
    EXPECT_TRUE(f.page(page::kStpg8505Out).pageVisible());
    s.selectModel(row("EP2706"));
    EXPECT_FALSE(f.page(page::kStpg8505Out).pageVisible());
    EXPECT_TRUE(f.page(page::kStpg).pageVisible());
}

TEST(SelectModel, RestoreFallbacks) {
    struct Case {
        const char* device;
        const char* caption;
    };
    const Case cases[] = {{"EP27C42", "EP:27C42 校准信息"}, {"bogus", "EP:2703 校准信息"},
                          {"EP39F003", "EP:2703 校准信息"}, {"EP39F25X", "EP:2702 校准信息"}};
    for (const auto& c : cases) {
        StationFixture f;
        f.writeIni(std::string("[KELVOR]\nDEVICE=") + c.device + "\n");
        f.start();
        EXPECT_EQ(f.page(page::kIsp).text(controlKey(1041)), c.caption) << c.device;
    }
}

TEST(SelectModel, DetectedIdentifierSelects) {
    StationFixture f;
    auto& s = f.start();
    EXPECT_TRUE(s.selectByDetectedId(0x2703));
    EXPECT_EQ(s.selectedModel()->model, "EP2706");
    EXPECT_FALSE(s.selectByDetectedId(0x1234));
    EXPECT_EQ(s.selectedModel()->model, "EP2706");
}

TEST(DeviceMenu, CustomChipModeRenamesAndKeeps) {
    StationFixture f;
    f.writeIni("[GENERALFUNCTION]\nUNIQUECODE=1\nCUSTOMCHIPS=2\nORIGINALCHIP=ZEP2706,ZEP27C42\nCORRESPONDCHIP=alpha,BETA\n");
    auto& s = f.start();
    ASSERT_EQ(s.deviceMenu.size(), 2);
    EXPECT_EQ(s.deviceMenu[0].text, "ALPHA");
    EXPECT_EQ(s.deviceMenu[0].command, 32794);
    EXPECT_EQ(s.deviceMenu[1].text, "BETA");
    EXPECT_EQ(s.deviceMenu[1].command, 32818);
    s.menuCommand(32794);
    EXPECT_EQ(f.page(page::kIsp).text(controlKey(1041)), "EP:ALPHA 校准信息");
    EXPECT_EQ(s.mainModel().text(controlKey(1040)), "Device:ALPHA");
}

TEST(DeviceMenu, NothingMatchingLeavesAnEmptyMenu) {
    StationFixture f;
    f.writeIni("[KELVOR]\nDEVICE=EP27C42\n[GENERALFUNCTION]\nUNIQUECODE=1\nCUSTOMCHIPS=1\nORIGINALCHIP=NOPE\n");
    auto& s = f.start();
    EXPECT_TRUE(s.deviceMenu.isEmpty());
    EXPECT_EQ(s.selectedModel()->model, "EP27C42");
}

TEST(DeviceMenu, CheckMarks) {
    StationFixture f;
    auto& s = f.start();
    s.menuCommand(32827); // LN2056
    EXPECT_TRUE(s.menuChecked(32794));  // EP2706 by family
    EXPECT_TRUE(s.menuChecked(32827));  // LN2056 by DEVICE
    EXPECT_FALSE(s.menuChecked(32828)); // LN2057 by DEVICE
    s.settings().writeText("KELVOR", "DEVICE", "LN2057"); // read again at each evaluation
    EXPECT_TRUE(s.menuChecked(32828));
    EXPECT_FALSE(s.menuChecked(32771));
    s.menuCommand(32771);
    EXPECT_TRUE(s.menuChecked(32771));
    EXPECT_TRUE(s.menuChecked(32775));
}
