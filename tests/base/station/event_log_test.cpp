#include "support/station_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

using namespace kelvor;
using kelvor::test::StationFixture;

TEST(EventLog, WindowAndEventLinesGoWhereTheyShould) {
    StationFixture f;
    auto& log = f.station().log();
    log.windowLog("复位芯片成功!");
    log.eventLog("设备打开正常!\n");
    EXPECT_EQ(f.paneText(), "12:05:09 复位芯片成功!\r\n12:05:09 设备打开正常!\n\r\n");
    EXPECT_EQ(f.logFileText(), "12:05:09.042 设备打开正常!\n");
}

TEST(EventLog, PaneIsClearedBeforeTheLineAfter1024Lines) {
    StationFixture f;
    auto& log = f.station().log();
    for (int i = 0; i < 1024; ++i) log.windowLog("x");
    EXPECT_EQ(f.station().logPane().lineCount(), 1025);
    log.windowLog("last");
    EXPECT_EQ(f.paneText(), "12:05:09 last\r\n");
}

TEST(EventLog, UnwritableLogFileIsSkippedSilently) {
    StationEnvironment env;
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    env.programDir = dir.path();
    env.prompter = &prompter;
    env.logFile = "/nonexistent-dir/zep.log";
    CQORVENDlg station(env);
    station.log().eventLog("USB设备已打开!\n");
    EXPECT_TRUE(station.logPane().text().contains("USB设备已打开!"));
}

TEST(EventLog, LinesFromManyThreadsAreAllKeptWhole) {
    StationFixture f;
    auto& log = f.station().log();
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i) log.eventLog("thread " + std::to_string(t) + " line " + std::to_string(i) + "\n");
        });
    for (auto& w : workers) w.join();
    QCoreApplication::processEvents();
    const QString pane = f.paneText();
    EXPECT_EQ(pane.count("\n\r\n"), kThreads * kLines);
    const std::string file = f.logFileText();
    std::size_t records = 0, pos = 0;
    while ((pos = file.find("12:05:09.042 thread ", pos)) != std::string::npos) ++records, ++pos;
    EXPECT_EQ(records, static_cast<std::size_t>(kThreads * kLines));
    // Every thread's lines stay in its own order.
    for (int t = 0; t < kThreads; ++t) {
        qsizetype last = -1;
        for (int i = 0; i < kLines; ++i) {
            const qsizetype at = pane.indexOf(QString("thread %1 line %2\n").arg(t).arg(i));
            ASSERT_GT(at, last);
            last = at;
        }
    }
}

TEST(Settings, KeysAreCaseInsensitiveAndWritesKeepTheRest) {
    StationFixture f;
    f.writeIni("; site settings\n[kelvor]\n; chosen by QA\nDevice=EP2706\nVOL=4.5\n\n[Other]\nX=1\n");
    auto& s = f.station().settings();
    EXPECT_EQ(s.readText("KELVOR", "DEVICE"), "EP2706");
    EXPECT_EQ(s.readNumber("KELVOR", "vol"), 4);
    EXPECT_EQ(s.readNumber("KELVOR", "missing"), 0);
    ASSERT_TRUE(s.writeText("KELVOR", "DEVICE", "EP27C42"));
    const std::string ini = f.readIni();
    EXPECT_NE(ini.find("; chosen by QA"), std::string::npos);
    EXPECT_NE(ini.find("X=1"), std::string::npos);
    EXPECT_NE(ini.find("VOL=4.5"), std::string::npos);
    EXPECT_EQ(s.readText("kelvor", "device"), "EP27C42");
    // No temporary file is left behind.
    EXPECT_EQ(QDir(f.dir()).entryList(QDir::Files).size(), 1);
}

TEST(Settings, LongValuesAreCutAsTheReadBuffersDo) {
    StationFixture f;
    f.writeIni("[KELVOR]\nVOL=" + std::string(300, '1') + "\n[OpenFile]\nFilePathHex=" + std::string(3000, 'p') + "\n");
    auto& s = f.station().settings();
    EXPECT_EQ(s.readText("KELVOR", "VOL").size(), 259u);
    EXPECT_EQ(s.readText("OpenFile", "FilePathHex").size(), 2599u);
}
