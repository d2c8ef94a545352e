#include "support/station_fixture.h"

#include <fstream>

#include <gtest/gtest.h>

using namespace kelvor;
using kelvor::test::StationFixture;

namespace {

void chooseTab(CQORVENDlg& s, int tab) { s.mainModel().choose(controlKey(1008), tab); }

} // namespace

TEST(FileChooser, KindMustMatchTheTab) {
    struct Case {
        const char* pageIndex;
        int tab;
        const char* file;
        const char* refusal; // nullptr: accepted
    };
    const Case cases[] = {
        {"", 3, "/fw/new.BIN", "请选择.bin文件"}, // only lower-case "bin" counts
        {"", 3, "/fw/new.bin", nullptr},
        {"", 0, "/img/a.HEX", nullptr},
        {"", 0, "/img/a.bin", "请选择.hex文件"},
        {"3,0,", 0, "/fw/new.bin", nullptr}, // tab 0 is the firmware tab here
        {"3,0,", 1, "/fw/new.bin", "请选择.hex文件"},
    };
    for (const auto& c : cases) {
        StationFixture f;
        f.writeIni(std::string("[KELVOR]\nPageIndex=") + c.pageIndex + "\n");
        auto& s = f.start();
        chooseTab(s, c.tab);
        const QString before = s.imagePath;
        f.prompter.files.push_back(c.file);
        s.mainModel().click(controlKey(1030));
        if (c.refusal) {
            ASSERT_EQ(f.prompter.boxes.size(), 1u) << c.file;
            EXPECT_EQ(f.prompter.boxes[0].text, c.refusal);
            EXPECT_EQ(s.imagePath, before);
        } else {
            EXPECT_TRUE(f.prompter.boxes.empty()) << c.file;
            EXPECT_EQ(s.imagePath, c.file);
            const bool fw = QString(c.file).endsWith("bin");
            EXPECT_EQ(s.settings().readText("KELVOR", fw ? "FileOpenPath_bin" : "FileOpenPath"), c.file);
            EXPECT_EQ(s.settings().readText("OpenFile", fw ? "FilePathBin" : "FilePathHex"), std::string(c.file) + "?");
        }
    }
}

TEST(FileChooser, DialogArgumentsAndCancel) {
    StationFixture f;
    auto& s = f.start();
    s.mainModel().setText(controlKey(1039), "typed.hex");
    s.mainModel().click(controlKey(1030)); // no file queued: cancelled
    EXPECT_EQ(f.prompter.lastFilter, "(*.bin;*.hex;*.HEX)|*.bin;*.hex;*.HEX||");
    EXPECT_EQ(f.prompter.lastInitialName, "typed.hex");
    EXPECT_EQ(f.prompter.lastInitialDir, s.imagePath);
    // Typed text never becomes the image path by itself.
    EXPECT_NE(s.imagePath, "typed.hex");
}

TEST(FileChooser, SameFileTwiceKeepsOneEntryAtTheFront) {
    StationFixture f;
    auto& s = f.start();
    for (const char* p : {"/a.hex", "/b.hex", "/a.hex"}) {
        f.prompter.files.push_back(p);
        s.mainModel().click(controlKey(1030));
    }
    EXPECT_EQ(s.recentHex, (std::vector<std::string>{"/a.hex", "/b.hex"}));
    EXPECT_EQ(s.mainModel().items(controlKey(1039)), (QStringList{"/a.hex", "/b.hex"}));
    EXPECT_EQ(s.settings().readText("OpenFile", "FileCountHex"), "2");
}

TEST(FileList, SelectionMovesTheEntryToTheFront) {
    StationFixture f;
    f.writeIni("[OpenFile]\nFileCountHex=3\nFilePathHex=/a.hex?/bb.hex?/c.hex?\n");
    auto& s = f.start();
    s.mainModel().choose(controlKey(1039), 2);
    EXPECT_EQ(s.recentHex, (std::vector<std::string>{"/c.hex", "/a.hex", "/bb.hex"}));
    EXPECT_EQ(s.imagePath, "/c.hex");
    EXPECT_EQ(s.mainModel().current(controlKey(1039)), 0);
    EXPECT_EQ(s.mainModel().state(controlKey(1039)).dropWidth, 7 * 6);
    EXPECT_EQ(s.settings().readText("KELVOR", "FileOpenPath"), "/c.hex");
    EXPECT_EQ(s.settings().readText("OpenFile", "FilePathHex"), "/c.hex?/a.hex?/bb.hex?");
}

TEST(PageSwitch, PathListAndHelpFollowTheTab) {
    StationFixture f;
    f.writeIni("[KELVOR]\nFileOpenPath=/img/a.hex\nFileOpenPath_bin=/fw/f.bin\n"
               "[OpenFile]\nFileCountBin=1\nFilePathBin=/fw/f.bin?\nFileCountHex=1\nFilePathHex=/img/a.hex?\n");
    auto& s = f.start();
    chooseTab(s, 3);
    EXPECT_TRUE(f.page(page::kBoot).pageVisible());
    EXPECT_EQ(s.imagePath, "/fw/f.bin");
    EXPECT_EQ(s.mainModel().items(controlKey(1039)), QStringList{"/fw/f.bin"});
    EXPECT_TRUE(f.paneText().endsWith("等待固件更新成功 \r\n"));
    chooseTab(s, 4);
    EXPECT_EQ(s.imagePath, "/img/a.hex");
    EXPECT_TRUE(f.page(page::kSetting).pageVisible());
    EXPECT_TRUE(f.paneText().endsWith("等待固件更新成功 \r\n"));
    chooseTab(s, 2);
    EXPECT_TRUE(f.paneText().endsWith("3.可以脱机烧录了\r\n"));
    chooseTab(s, 7);
    for (const auto& name : page::all()) EXPECT_FALSE(f.page(name).pageVisible()) << name.toStdString();
}

TEST(PageSwitch, RepeatedPageIndexTabChangesNothingButTheList) {
    StationFixture f;
    f.writeIni("[KELVOR]\nPageIndex=0,0,\n[OpenFile]\nFileCountHex=1\nFilePathHex=/a.hex?\n");
    auto& s = f.start();
    // The second 0 moved page 0 to tab 1, so tab 0 belongs to no page.
    chooseTab(s, 1);
    EXPECT_FALSE(s.mainModel().items(controlKey(1039)).isEmpty());
    chooseTab(s, 0);
    EXPECT_TRUE(s.mainModel().items(controlKey(1039)).isEmpty());
    EXPECT_TRUE(f.page(page::kIsp).pageVisible());
}

TEST(Menus, CommandsLeftToTheStation) {
    StationFixture f;
    auto& s = f.start();
    bool closed = false;
    QObject::connect(&s, &CQORVENDlg::closeRequested, [&] { closed = true; });
    s.menuCommand(cmd::kAbout);
    s.menuCommand(cmd::kSystemAbout);
    s.menuCommand(cmd::kHelp);
    s.menuCommand(cmd::kExit);
    EXPECT_EQ(f.prompter.aboutShown, 2);
    EXPECT_EQ(f.prompter.helpShown, 1);
    EXPECT_TRUE(closed);
}

TEST(Notifications, ResultFacesAndControlsEnable) {
    StationFixture f;
    auto& s = f.start();
    auto& isp = f.page(page::kIsp);
    EXPECT_EQ(isp.state(controlKey(1033)).image, face::kIdle) << "no chip has passed yet";
    s.sendMessage(WM_RESULT_FAIL);
    EXPECT_EQ(isp.state(controlKey(1033)).image, "ng");
    EXPECT_TRUE(isp.isEnabled(controlKey(1021)));
    EXPECT_FALSE(isp.isEnabled(controlKey(1042))) << "\"烧录\" needs an open link";
    s.sendMessage(WM_RESULT_PASS);
    EXPECT_EQ(isp.state(controlKey(1033)).image, "ok");
    f.page(page::kBoot).setEnabled("btnDownload", true);
    f.page(page::kStpg8505).setEnabled("btnMode4", false);
    s.sendMessage(WM_CONTROLS_ENABLE);
    EXPECT_FALSE(f.page(page::kBoot).isEnabled("btnDownload"));
    EXPECT_TRUE(f.page(page::kStpg8505).isEnabled("btnMode4"));
}

TEST(ProgrammingPage, AutoVoltageSavesAndRestoresTheText) {
    StationFixture f;
    f.start();
    auto& isp = f.page(page::kIsp);
    isp.setText(controlKey(1032), "4.512");
    isp.check(controlKey(1065), true);
    EXPECT_EQ(isp.text(controlKey(1032)), "AUTO");
    EXPECT_FALSE(isp.isEnabled(controlKey(1032)));
    isp.check(controlKey(1065), false);
    EXPECT_EQ(isp.text(controlKey(1032)), "4.512");
    EXPECT_TRUE(isp.isEnabled(controlKey(1032)));
}

TEST(FileBar, ShowsTheImagePathFromStartUpOn) {
    // The bar used to show the first recent entry while the job burnt FileOpenPath.
    StationFixture f;
    f.writeIni("[KELVOR]\nFileOpenPath=/img/b.hex\nFileOpenPath_bin=/fw/f.bin\n"
               "[OpenFile]\nFileCountHex=2\nFilePathHex=/img/a.hex?/img/b.hex?\nFileCountBin=1\nFilePathBin=/fw/g.bin?\n");
    auto& s = f.start();
    EXPECT_EQ(s.imagePath, "/img/b.hex");
    EXPECT_EQ(s.mainModel().text(controlKey(1039)), "/img/b.hex");
    EXPECT_EQ(s.mainModel().current(controlKey(1039)), 1);
    chooseTab(s, 3);
    EXPECT_EQ(s.mainModel().text(controlKey(1039)), "/fw/f.bin");
    EXPECT_EQ(s.mainModel().current(controlKey(1039)), -1);
    chooseTab(s, 0);
    EXPECT_EQ(s.mainModel().text(controlKey(1039)), "/img/b.hex");
}

TEST(FileBar, ATypedPathConfirmedWithEnterIsTakenLikeAChoice) {
    struct Case {
        const char* name;
        int tab;
        const char* file;    // created in the program directory unless it starts with '/'
        const char* refusal; // nullptr: taken
    };
    const Case cases[] = {
        {"image", 0, "typed.hex", nullptr},
        {"firmware", 3, "typed.bin", nullptr},
        {"wrong_kind", 0, "typed.bin", "请选择.hex文件"},
        {"missing", 0, "/no/such/file.hex", "文件不存在,请重新选择!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StationFixture f;
        auto& s = f.start();
        chooseTab(s, c.tab);
        const QString before = s.imagePath;
        std::string path = c.file;
        if (path[0] != '/') {
            path = f.path(c.file);
            std::ofstream(path) << ":00000001FF\n";
        }
        auto& main = s.mainModel();
        main.setText(controlKey(1039), QString::fromStdString(path));
        main.confirm(controlKey(1039));
        if (c.refusal) {
            ASSERT_EQ(f.prompter.boxes.size(), 1u);
            EXPECT_EQ(f.prompter.boxes[0].text, c.refusal);
            EXPECT_EQ(s.imagePath, before);
        } else {
            EXPECT_TRUE(f.prompter.boxes.empty());
            EXPECT_EQ(s.imagePath.toStdString(), path);
            const bool fw = c.tab == 3;
            EXPECT_EQ(s.settings().readText("KELVOR", fw ? "FileOpenPath_bin" : "FileOpenPath"), path);
            EXPECT_EQ((fw ? s.recentBin : s.recentHex).front(), path);
        }
        EXPECT_EQ(main.text(controlKey(1039)), s.imagePath) << "the bar shows what will be burnt";
    }
}

TEST(FileBar, TextTypedButNotConfirmedGoesBackWhenTheFieldIsLeft) {
    StationFixture f;
    auto& s = f.start();
    const QString path = s.imagePath;
    s.mainModel().setText(controlKey(1039), "/elsewhere/typed.hex");
    s.mainModel().leave(controlKey(1039));
    EXPECT_EQ(s.mainModel().text(controlKey(1039)), path);
    EXPECT_EQ(s.imagePath, path);
}

TEST(ProgrammingPage, AutoVoltageSurvivesARestart) {
    // "AUTO" came back as a typed voltage with the box off, and the next burn stopped at the
    // voltage warning.
    struct Case {
        const char* vol;
        bool autoVoltage;
    };
    for (const Case c : {Case{"AUTO", true}, Case{"4.512", false}, Case{"auto", false}}) {
        SCOPED_TRACE(c.vol);
        StationFixture f;
        f.writeIni(std::string("[KELVOR]\nVOL=") + c.vol + "\n");
        auto& s = f.start();
        auto& isp = f.page(page::kIsp);
        EXPECT_EQ(isp.isChecked(controlKey(1065)), c.autoVoltage);
        EXPECT_EQ(isp.isEnabled(controlKey(1032)), !c.autoVoltage);
        EXPECT_EQ(isp.text(controlKey(1032)), c.vol);
        if (c.autoVoltage) {
            isp.check(controlKey(1065), false);
            EXPECT_EQ(isp.text(controlKey(1032)), ""); // nothing was saved before the restart
            EXPECT_TRUE(isp.isEnabled(controlKey(1032)));
        }
        (void)s;
    }
}
