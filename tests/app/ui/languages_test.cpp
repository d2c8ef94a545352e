// "English" turns every caption of the window English and "Chinese" brings the station's own texts
// back; the log stays as the station writes it, and the choice is remembered in KELVOR.ini.
#include "app/ui/help_window.h"
#include "app/ui/languages.h"
#include "app/ui/main_window.h"
#include "base/ui/display_text.h"
#include "jobs/charger.h"
#include "jobs/field_rules.h"
#include "jobs/job.h"
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "qc/evaluation.h"
#include "records/ui/records_window.h"
#include "support/station_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>

#include <gtest/gtest.h>

#include <set>

using namespace kelvor;

namespace {

// Every caption a window shows (fields excluded) that still holds Chinese, named by where it is.
QStringList chineseCaptions(QWidget* root) {
    QStringList out;
    auto check = [&out](const QString& where, const QString& text) {
        if (ui::hasCjk(text)) out << where + QStringLiteral(": ") + text;
    };
    check(root->objectName() + QStringLiteral(" title"), root->windowTitle());
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (auto* l = qobject_cast<QLabel*>(w)) check(name, l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) check(name, b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w)) check(name, g->title());
        else if (auto* e = qobject_cast<QLineEdit*>(w)) check(name, e->placeholderText());
        else if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i) check(name, t->tabText(i));
        if (auto* c = qobject_cast<QComboBox*>(w); c && !c->isEditable())
            for (int i = 0; i < c->count(); ++i) check(name, c->itemText(i));
        if (auto* m = qobject_cast<QMenu*>(w)) {
            check(name, m->title());
            for (QAction* a : m->actions()) check(name + QStringLiteral("/") + a->objectName(), a->text());
        }
        if (auto* view = qobject_cast<QTableView*>(w))
            for (int c = 0; c < view->model()->columnCount(); ++c)
                check(name, view->model()->headerData(c, Qt::Horizontal).toString());
    }
    if (auto* window = qobject_cast<QMainWindow*>(root))
        for (QAction* a : window->menuBar()->actions()) check(QStringLiteral("menu bar"), a->text());
    return out;
}

struct Window {
    test::StationFixture f;
    std::shared_ptr<link::sim::SimulatedProgrammer> sim = std::make_shared<link::sim::SimulatedProgrammer>();
    link::Link l{f.station(), sim, nullptr};
    app::Languages languages;
    std::unique_ptr<app::MainWindow> w;

    explicit Window(const std::string& ini) {
        f.writeIni(ini);
        f.station().setLinkHooks(&l);
        QObject::connect(&f.station(), &CQORVENDlg::languageChanged, &languages, &app::Languages::apply);
        languages.apply(kLanguageChinese);
        w = std::make_unique<app::MainWindow>(f.station());
        w->addSimulatorMenu(*sim);
        f.start();
        QCoreApplication::processEvents();
    }
    ~Window() { languages.apply(kLanguageChinese); }
    // A language switch reaches the windows as a posted event, as in the running station.
    void choose(int command) {
        f.station().menuCommand(command);
        QCoreApplication::processEvents();
    }
};

// The simulator's fault entries: their data is the fault's name.
QStringList faultItems(QWidget* w) {
    QStringList items;
    for (QAction* a : w->findChildren<QAction*>())
        if (a->data().toString() == QStringLiteral("no-ack")) items << a->text();
    return items;
}

} // namespace

TEST(Languages, EnglishLeavesNoChineseCaptionOnAnyPageForAnyModel) {
    for (const char* ini : {"[KELVOR]\nDEVICE=EP39F02\n", "[KELVOR]\nQC_IN=1\nDEVICE=EP39F02\n"}) {
        SCOPED_TRACE(ini);
        Window s(ini);
        s.choose(cmd::kEnglish);
        const QStringList first = chineseCaptions(s.w.get());
        EXPECT_TRUE(first.isEmpty()) << first.join('\n').toStdString();
        // Every model changes captions (calibration group, status line, lists): none stays Chinese.
        const auto entries = s.f.station().deviceMenu;
        for (const auto& e : entries) {
            s.choose(e.command);
            const QStringList left = chineseCaptions(s.w.get());
            EXPECT_TRUE(left.isEmpty()) << e.text.toStdString() << ": " << left.join('\n').toStdString();
        }
        // The log pane is the station's record, in its own words.
        EXPECT_TRUE(s.w->logPane()->toPlainText().contains(QStringLiteral("烧录芯片为")));
    }
}

TEST(Languages, ChineseBringsBackTheStationsTextsAndTheChoiceIsRemembered) {
    Window s("[KELVOR]\nDEVICE=EP39F02\n");
    auto* burn = s.w->pageWidget(page::kIsp)->findChild<QAbstractButton*>(controlKey(1042));
    ASSERT_TRUE(burn);
    // The programmer's start-up lines first; an idle station then writes nothing more.
    QString log;
    QElapsedTimer quiet;
    quiet.start();
    test::processEventsUntil([&] {
        if (s.w->logPane()->toPlainText() != log) log = s.w->logPane()->toPlainText(), quiet.restart();
        return s.l.detectAnswers > 0 && quiet.elapsed() > 300;
    }, 5000);
    const QString chineseTitle = s.w->windowTitle();
    EXPECT_EQ(burn->text(), QStringLiteral("烧录"));
    // The simulator's faults are described in Chinese in a Chinese window, too.
    ASSERT_FALSE(faultItems(s.w.get()).isEmpty());
    EXPECT_TRUE(ui::hasCjk(faultItems(s.w.get()).front()));
    for (const auto& f : s.sim->faultChoices())
        EXPECT_TRUE(ui::hasCjk(ui::displayText(QString::fromStdString(f.effect)))) << f.name;

    s.choose(cmd::kEnglish);
    EXPECT_EQ(burn->text(), QStringLiteral("Program"));
    EXPECT_EQ(s.w->tabBar()->tabText(0), QStringLiteral("Program"));
    EXPECT_FALSE(ui::hasCjk(faultItems(s.w.get()).front()));
    EXPECT_TRUE(s.f.station().menuChecked(cmd::kEnglish));
    EXPECT_FALSE(s.f.station().menuChecked(cmd::kChinese));
    EXPECT_NE(s.f.readIni().find("LANGUAGE=English"), std::string::npos);
    // The model keeps the station's text: the CLI, the tests and the records read it.
    EXPECT_EQ(s.f.page(page::kIsp).text(controlKey(1042)), QStringLiteral("烧录"));

    s.choose(cmd::kChinese);
    EXPECT_EQ(burn->text(), QStringLiteral("烧录"));
    EXPECT_EQ(s.w->windowTitle(), chineseTitle);
    EXPECT_EQ(s.w->tabBar()->tabText(0), QStringLiteral("烧录"));
    EXPECT_NE(s.f.readIni().find("LANGUAGE=Chinese"), std::string::npos);
    EXPECT_EQ(s.w->logPane()->toPlainText(), log); // switching writes nothing to the log

    // A station started with LANGUAGE=English opens English; anything else reads as Chinese.
    Window english("[KELVOR]\nDEVICE=EP39F02\nLANGUAGE=English\n");
    EXPECT_EQ(english.f.station().language, QString::fromLatin1(kLanguageEnglish));
    EXPECT_EQ(english.w->pageWidget(page::kIsp)->findChild<QAbstractButton*>(controlKey(1042))->text(),
              QStringLiteral("Program"));
    Window other("[KELVOR]\nLANGUAGE=Klingon\n");
    EXPECT_EQ(other.f.station().language, QString::fromLatin1(kLanguageChinese));
}

TEST(Languages, HelpAndRecordsWindowsFollowTheLanguage) {
    app::Languages languages;
    languages.apply(kLanguageEnglish);
    app::HelpWindow help;
    records::RecordsWindow records(QString{});
    EXPECT_TRUE(chineseCaptions(&help).isEmpty()) << chineseCaptions(&help).join('\n').toStdString();
    EXPECT_TRUE(chineseCaptions(&records).isEmpty()) << chineseCaptions(&records).join('\n').toStdString();
    languages.apply(kLanguageChinese);
    QCoreApplication::processEvents();
    // Qt's own buttons and dialogs follow, where the desktop has Qt's catalogs.
    if (QFile::exists(app::Languages::qtCatalogDir() + QStringLiteral("/qtbase_zh_CN.qm")))
        EXPECT_TRUE(ui::hasCjk(QCoreApplication::translate("QPlatformTheme", "Cancel")));
    EXPECT_TRUE(ui::hasCjk(help.windowTitle()));
    EXPECT_TRUE(ui::hasCjk(records.windowTitle()));
    EXPECT_TRUE(ui::hasCjk(records.findChild<QLabel*>(QStringLiteral("recordsStatus"))->text()));
}

// Message boxes and balloon tips are the window's, too: each one the station can raise has English.
TEST(Languages, EveryBoxAndBalloonTextHasEnglish) {
    app::Languages languages;
    languages.apply(kLanguageEnglish);
    std::vector<std::string> texts{std::string(jobs::kVoltageWarning), std::string(jobs::kPdoCaption),
                                   std::string(jobs::kBalloonTitle), std::string(qc::kBoxCaption)};
    for (auto t : {qc::text::kNeedChecksum, qc::text::kNeedVersion, qc::text::kNeedDate, qc::text::kTesterAbsentBox,
                   qc::text::kNoChip, qc::text::kChecksumWrong, qc::text::kVersionWrong, qc::text::kDateWrong,
                   qc::text::kVoltageWrong, qc::text::kUpdateQuestion})
        texts.emplace_back(t);
    // The PDO refusals, each from the text that brings it.
    RecordingReporter boxes;
    std::string tooMany = "1F,00,";
    for (int i = 0; i < 31; ++i) tooMany += "00,";
    for (const std::string& pdo : {std::string(), std::string("01,02"), tooMany}) jobs::parsePdoText(pdo, boxes);
    for (const auto& e : boxes.entries) texts.push_back(e.caption), texts.push_back(e.text);
    // The balloons of the typed fields, from every character typed after a few starts.
    std::set<std::string> balloons;
    for (int field : {jobs::kFieldCheckCode, jobs::kFieldFirmwareVersion, jobs::kFieldCustomPdo})
        for (const char16_t* start : {u"", u"1", u"12", u"123", u"1234", u"6553", u"65535", u"1F,", u"1F"})
            for (char16_t c : std::u16string(u" ,.-0159AFGZafgz~，。中")) {
                const auto refusal = jobs::firstRefusalWhenTyped(field, std::u16string(start) + c);
                if (refusal) balloons.insert(std::string(refusal->balloon));
            }
    EXPECT_GE(balloons.size(), 5u);
    texts.insert(texts.end(), balloons.begin(), balloons.end());
    for (const auto& t : texts) {
        const QString shown = ui::displayText(QString::fromStdString(t));
        EXPECT_FALSE(ui::hasCjk(shown)) << t << " -> " << shown.toStdString();
    }
    languages.apply(kLanguageChinese);
}
