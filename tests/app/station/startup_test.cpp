#include "support/station_fixture.h"

#include <gtest/gtest.h>

using namespace kelvor;
using kelvor::test::StationFixture;

namespace {

QStringList tabs(CQORVENDlg& s) { return s.mainModel().items(controlKey(1008)); }

bool hasDeviceEntry(CQORVENDlg& s, const QString& text) {
    for (const auto& e : s.deviceMenu)
        if (e.text == text) return true;
    return false;
}

} // namespace

TEST(StartUp, FirstStartWritesTheSixDefaultsAndKeepsTheConstructionModel) {
    StationFixture f;
    auto& s = f.start();
    const std::string ini = f.readIni();
    for (const char* line : {"UIDD=FFFFFFFF", "UIDS=FFFFFFFF", "FREQ=5", "DEVICE=EP2702", "VOL=4.500"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    EXPECT_NE(ini.find("FileOpenPath=" + f.path("rfpwm.hex")), std::string::npos);
    EXPECT_EQ(s.mainModel().text(controlKey(1039)), QString::fromStdString(f.path("rfpwm.hex")));

    auto& isp = f.page(page::kIsp);
    EXPECT_EQ(isp.text(controlKey(1041)), "EP:2702 校准信息");
    EXPECT_EQ(isp.current(controlKey(1045)), 6);
    EXPECT_EQ(isp.text(controlKey(1032)), "4.500");
    EXPECT_FALSE(isp.isEnabled(controlKey(1042)));
    EXPECT_EQ(s.familyFlags[0], 1);
    EXPECT_TRUE(isp.pageVisible());
    EXPECT_EQ(tabs(s).size(), 8);
    EXPECT_FALSE(f.page(page::kBoot).isEnabled("btnDownload"));
    // The banner replaces the pane text.
    EXPECT_TRUE(f.paneText().startsWith("2026-12-10  12:05:09 \r\nKEL-VOR V0.015-10.28 Start\r\n"));
    EXPECT_EQ(s.mainModel().text(controlKey(1040)), "  ");
}

TEST(StartUp, QcModeShowsOnlyTheThreeQcTabsAndHidesTheFileBar) {
    StationFixture f;
    f.writeIni("[KELVOR]\nQC_IN=1\n");
    auto& s = f.start();
    EXPECT_EQ(tabs(s), (QStringList{"QC首测", "QC设置", "QCLog"}));
    for (int id : {1039, 1030, 1041, 1014, 1040, 1037}) EXPECT_FALSE(s.mainModel().isVisible(controlKey(id))) << id;
    EXPECT_FALSE(s.mainModel().isVisible("menuBar"));
    for (const auto& name : page::all()) EXPECT_EQ(f.page(name).pageVisible(), name == page::kQcTest) << name.toStdString();
    EXPECT_EQ(f.page(page::kQcTest).text(controlKey(1085)), "****");
    EXPECT_FALSE(f.page(page::kQcConfig).isEnabled(controlKey(1076)));
    EXPECT_EQ(f.page(page::kQcComm).text(controlKey(1095)), "ID错误:");
}

TEST(StartUp, PageIndexPicksTabsAndTheInitialPage) {
    struct Case {
        const char* index;
        QStringList tabs;
        QString visiblePage;
    };
    const Case cases[] = {
        {"4,0,", {"通用设置", "烧录"}, page::kSetting},
        {"0,1,2", {"烧录", "配置字"}, page::kIsp},      // the last number has no comma
        {"9,12,", {}, page::kIsp},                     // nothing valid: the programming page stays
        {",3,", {}, page::kIsp},                       // a leading comma gives nothing
    };
    for (const auto& c : cases) {
        StationFixture f;
        f.writeIni(std::string("[KELVOR]\nPageIndex=") + c.index + "\n");
        auto& s = f.start();
        EXPECT_EQ(tabs(s), c.tabs) << c.index;
        for (const auto& name : page::all())
            EXPECT_EQ(f.page(name).pageVisible(), name == c.visiblePage) << c.index << " " << name.toStdString();
    }
}

TEST(StartUp, In8505EntryFollowsInAndCustomChipMode) {
    struct Case {
        const char* ini;
        bool kept;
    };
    const Case cases[] = {
        {"[KELVOR]\nIN=1\n", true},
        {"[KELVOR]\nIN=1\n[GENERALFUNCTION]\nUNIQUECODE=1\nCUSTOMCHIPS=1\nORIGINALCHIP=ZEP8505\nCORRESPONDCHIP=X\n", false},
        {"[KELVOR]\nIN=0\n", false},
        {"[KELVOR]\n", false},
    };
    for (const auto& c : cases) {
        StationFixture f;
        f.writeIni(c.ini);
        auto& s = f.start();
        EXPECT_EQ(hasDeviceEntry(s, "EP8505_IN"), c.kept) << c.ini;
        EXPECT_EQ(s.deviceMenu.size(), c.kept ? 38 : (s.customKeys.empty() ? 37 : 1)) << c.ini;
    }
}

TEST(StartUp, RestoresStoredValuesAndTheModelLast) {
    StationFixture f;
    f.writeIni("[KELVOR]\nDEVICE=EP39F02\nFREQ=3\nVOL=4.321\nUIDD=12345678\nUIDS=1\nFileOpenPath=/x/a.hex\n"
               "PWM_OUTPUT=pc3\n[OpenFile]\nFileCountHex=2\nFilePathHex=/x/a.hex?/x/b.hex?\n");
    auto& s = f.start();
    auto& isp = f.page(page::kIsp);
    EXPECT_EQ(s.imagePath, "/x/a.hex");
    EXPECT_EQ(s.recentHex, (std::vector<std::string>{"/x/a.hex", "/x/b.hex"}));
    EXPECT_EQ(s.mainModel().state(controlKey(1039)).dropWidth, 8 * 6);
    EXPECT_EQ(isp.text(controlKey(1043)), "12345678");
    EXPECT_EQ(isp.text(controlKey(1032)), "4.321");
    // The model selects its own frequency entry after FREQ was applied.
    EXPECT_EQ(isp.current(controlKey(1045)), 6);
    EXPECT_EQ(isp.text(controlKey(1041)), "EP:39F02 校准信息");
    EXPECT_EQ(f.page(page::kSetting).currentText(controlKey(1093)), "PC3");
}

TEST(StartUp, ConfigListAndEncryListApplyToTheChargerPage) {
    StationFixture f;
    f.writeIni("[KELVOR]\nConfigList=2,3,0,2,\nEncryList=1\n");
    f.start();
    auto& cfg = f.page(page::kConfigList);
    EXPECT_EQ(cfg.current(controlKey(1128)), 3); // positions 0 and 1 both set both IC_NAME lists
    EXPECT_EQ(cfg.current(controlKey(1129)), 3);
    EXPECT_FALSE(cfg.isChecked(controlKey(1065)));
    EXPECT_EQ(cfg.current(controlKey(1117)), 2);
    EXPECT_EQ(cfg.current(controlKey(1130)), 3); // beyond the list: start-up content stays
    for (int id : {1128, 1065, 1117, 1120, 1122, 1123, 1127, 1126}) EXPECT_FALSE(cfg.isEnabled(controlKey(id))) << id;
}

TEST(StartUp, MismatchedRecentListIsClearedInTheFile) {
    StationFixture f;
    f.writeIni("[OpenFile]\nFileCountHex=3\nFilePathHex=/x/a.hex?/x/b.hex?\n");
    auto& s = f.start();
    EXPECT_TRUE(s.recentHex.empty());
    EXPECT_EQ(s.settings().readText("OpenFile", "FilePathHex"), "");
    EXPECT_EQ(s.settings().readText("OpenFile", "FileCountHex"), "");
}
