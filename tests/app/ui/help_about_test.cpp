// The Help window, the About box and the sounds of the Qt station.
#include "app/ui/gui_prompter.h"
#include "app/ui/help_window.h"
#include "app/ui/sound_player.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QAudioDevice>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextTable>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kelvor;
using namespace kelvor::app;

TEST(Help, ShowsTheReadmeRenderedWithItsPicture) {
    HelpWindow w;
    const QTextDocument* doc = w.browser()->document();
    const QString text = doc->toPlainText();
    EXPECT_TRUE(text.startsWith("KEL-VOR station"));
    EXPECT_TRUE(text.contains("First burn"));
    // Rendered, not shown as source: no heading marks or table rules are left.
    EXPECT_FALSE(text.contains("## "));
    EXPECT_FALSE(text.contains("|---|"));
    bool table = false;
    for (QTextFrame* frame : doc->rootFrame()->childFrames()) table = table || qobject_cast<QTextTable*>(frame);
    EXPECT_TRUE(table);
    const QVariant picture = doc->resource(QTextDocument::ImageResource, QUrl("docs/first-burn.png"));
    EXPECT_FALSE(picture.value<QImage>().isNull());
}

TEST(Help, FindWrapsAroundAndSaysWhenNothingMatches) {
    HelpWindow w;
    w.findField()->setText("模拟器"); // typing searches at once
    ASSERT_EQ(w.browser()->textCursor().selectedText(), "模拟器");
    const int first = w.browser()->textCursor().selectionStart();
    int steps = 0, at = first;
    do {
        ASSERT_TRUE(w.findNext());
        at = w.browser()->textCursor().selectionStart();
        ++steps;
    } while (at != first && steps < 100);
    EXPECT_EQ(at, first) << "Enter came back to the first match";
    EXPECT_GT(steps, 1);
    ASSERT_TRUE(w.findNext(true));
    EXPECT_GT(w.browser()->textCursor().selectionStart(), first) << "backwards from the first match wraps to the last";

    const int before = w.browser()->textCursor().selectionStart();
    w.findField()->setText("no such words anywhere");
    EXPECT_FALSE(w.findNext());
    EXPECT_FALSE(w.findField()->styleSheet().isEmpty());
    EXPECT_EQ(w.browser()->textCursor().selectionStart(), before);
    w.findField()->setText("烧录");
    EXPECT_TRUE(w.findField()->styleSheet().isEmpty());
}

TEST(Help, OneWindowHoweverOftenAsked) {
    GuiPrompter prompter;
    prompter.showHelp();
    prompter.showHelp();
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<HelpWindow*>(w) && w->isVisible()) ++windows;
    EXPECT_EQ(windows, 1);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<HelpWindow*>(w)) w->close();
}

TEST(About, SecondLineNamesVersionAndProgrammer) {
    GuiPrompter prompter;
    prompter.setAboutDetail("KEL-VOR 1.34.0, 模拟烧录器");
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QLabel* label : box->findChildren<QLabel*>())
            if (!label->text().isEmpty()) texts << label->text();
        box->findChild<QPushButton*>()->click();
    });
    prompter.showAbout();
    EXPECT_EQ(texts, QStringList({"ZEP-ISP, Version V1.001", "KEL-VOR 1.34.0, 模拟烧录器"}));
}

TEST(Sounds, TwoShortDistinctWavsThatNeverBlock) {
    SoundPlayer player;
    QByteArray wavs[2];
    int i = 0;
    for (Sound s : {Sound::Default, Sound::Error}) {
        QFile f(SoundPlayer::sourceOf(s).mid(3)); // "qrc:/..." -> ":/..."
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QByteArray wav = f.readAll();
        ASSERT_GT(wav.size(), 44);
        EXPECT_EQ(wav.left(4), "RIFF");
        EXPECT_EQ(wav.mid(8, 4), "WAVE");
        const auto u16 = [&](int at) { return quint8(wav[at]) | quint8(wav[at + 1]) << 8; };
        const auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(22), 1);  // mono
        EXPECT_EQ(u16(34), 16); // bits
        const double seconds = double(wav.size() - 44) / u32(28);
        EXPECT_GT(seconds, 0.1);
        EXPECT_LT(seconds, 0.6) << "a verdict sound must not hold up the next chip";
        wavs[i++] = wav;
        // Headless there is no output: nothing plays and nothing waits.
        EXPECT_EQ(player.play(s), !QMediaDevices::defaultAudioOutput().isNull());
    }
    EXPECT_NE(wavs[0], wavs[1]);
}
