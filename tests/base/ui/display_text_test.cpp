#include "base/ui/display_text.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTranslator>

#include <gtest/gtest.h>

using kelvor::ui::displayText;

namespace {

struct English {
    QTranslator t;
    English() {
        EXPECT_TRUE(t.load(QStringLiteral("kelvor_en"), QStringLiteral(":/translations")));
        QCoreApplication::installTranslator(&t);
    }
    ~English() { QCoreApplication::removeTranslator(&t); }
};

} // namespace

TEST(DisplayText, ChineseCaptionsShowInEnglishWholeCountedOrWordByWord) {
    // Without a catalog every text shows as the station wrote it.
    EXPECT_EQ(displayText(QStringLiteral("烧录")), QStringLiteral("烧录"));
    English english;
    const struct {
        const char* source;
        const char* shown;
    } rows[] = {
        {"烧录", "Program"},                                           // the whole text
        {"ID错误:12个", "ID errors: 12"},                               // a count in the caption
        {"主区校验错误:0个", "Main area verify errors: 0"},
        {"EP:27h02 校准信息", "EP:27h02 calibration"},                  // a model name and a word
        {"模拟插座: EP2706 (跟随型号)", "Simulated socket: EP2706 (follows the model)"},
        {"CKSUM:1A2B", "CKSUM:1A2B"},                                   // no Chinese: as it is
        {"/产线/固件.hex", "/产线/固件.hex"},                           // words the catalog lacks stay
        {"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(displayText(QString::fromUtf8(r.source)).toStdString(), r.shown) << r.source;
}

TEST(DisplayText, CaptionsFollowTheLanguageAfterRetranslate) {
    QWidget window;
    auto* label = new QLabel(&window);
    kelvor::ui::setCaption(label, QStringLiteral("芯片型号"));
    EXPECT_EQ(label->text(), QStringLiteral("芯片型号"));
    {
        English english;
        kelvor::ui::retranslate(&window);
        EXPECT_EQ(label->text(), QStringLiteral("Chip model"));
    }
    kelvor::ui::retranslate(&window);
    EXPECT_EQ(label->text(), QStringLiteral("芯片型号"));
}
