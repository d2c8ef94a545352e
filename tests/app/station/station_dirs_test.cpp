// Where the station keeps its files: beside the program when run from its own folder, in the
// user's folders when installed.
#include "app/station/controller.h"
#include "install_dirs.h"
#include "support/image_fixtures.h"
#include "support/station_fixture.h"

#include <QDir>
#include <QFile>

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

using namespace kelvor;

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv() { old_ ? qputenv(name_, *old_) : qunsetenv(name_); }

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST(StationDirs, AFolderOfItsOwnKeepsEverythingWhereItWas) {
    test::StationFixture f;
    auto& s = f.start();
    EXPECT_FALSE(s.dirs().installed);
    EXPECT_EQ(s.settingsPath, f.dir() + "/KELVOR.ini");
    EXPECT_EQ(s.imagePath, f.dir() + "/rfpwm.hex");
    EXPECT_EQ(s.dirs().libraryDir, f.dir());
    EXPECT_FALSE(f.paneText().contains("设置文件"));
    EXPECT_EQ(stationDirs(f.dir(), "zep.log").logFile, "zep.log"); // the working directory's
}

TEST(StationDirs, AnInstalledStationUsesTheUsersFoldersAndSaysWhere) {
    test::TempDir root;
    const QString prefix = QString::fromStdString(root.path("usr"));
    const QString bin = prefix + "/" KELVOR_INSTALL_BINDIR;
    const QString shared = prefix + "/" KELVOR_INSTALL_DATADIR;
    QDir().mkpath(bin);
    QDir().mkpath(shared);
    std::ofstream((shared + "/rfpwm.hex").toStdString()) << ":00000001FF\r\n";
    const QString config = QString::fromStdString(root.path("home/.config"));
    const QString data = QString::fromStdString(root.path("home/.local/share"));
    ScopedEnv c("XDG_CONFIG_HOME", config), d("XDG_DATA_HOME", data);

    ScriptedPrompter prompter;
    StationEnvironment env;
    env.programDir = bin;
    env.prompter = &prompter;
    CQORVENDlg s(env);
    s.startUp();
    s.log().eventLog("芯片烧录完成 1ms\n");

    EXPECT_TRUE(s.dirs().installed);
    EXPECT_EQ(s.settingsPath, config + "/kelvor/KELVOR.ini");
    // The first start's defaults land in the user's file, the sample image comes from the share.
    EXPECT_TRUE(readAll(config + "/kelvor/KELVOR.ini").contains("FileOpenPath=" + shared + "/rfpwm.hex"));
    EXPECT_EQ(s.imagePath, shared + "/rfpwm.hex");
    EXPECT_TRUE(readAll(data + "/kelvor/zep.log").contains("芯片烧录完成 1ms"));
    EXPECT_EQ(QDir(bin).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    EXPECT_EQ(s.dirs().libraryDir, prefix + "/" KELVOR_INSTALL_PLUGINDIR);
    const QString pane = s.logPane().text();
    EXPECT_TRUE(pane.contains("设置文件: " + config + "/kelvor/KELVOR.ini\r\n")) << pane.toStdString();
    EXPECT_TRUE(pane.contains("日志与记录: " + data + "/kelvor\r\n"));
}
