// The general settings, factory configuration and charger pages as the operator drives them, and
// what a job then takes from them.
#include "base/settings_lists.h"
#include "jobs/job.h"
#include "jobs/page_controls.h"
#include "jobs/station/job_station.h"
#include "link/sim_station.h"
#include "support/station_fixture.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kelvor;
using kelvor::test::StationFixture;

namespace {

QString key(int id) { return controlKey(id); }

// An open link that only records what the pages ask of it.
struct RecordingLink : LinkHooks {
    bool linkOpen() const override { return true; }
    void onCountClear(long seq, long millivolts) override { countClears.emplace_back(seq, millivolts); }
    std::vector<std::pair<long, long>> countClears;
};

class OptionPages : public ::testing::Test {
protected:
    void SetUp() override {
        f.station().setLinkHooks(&link);
        f.station().startTransfers = [this](std::vector<jobs::TransferRequest> r) {
            sent = std::move(r);
            return true;
        };
    }
    CQORVENDlg& start(const std::string& ini = {}) {
        if (!ini.empty()) f.writeIni("[KELVOR]\nVOL=4.500\n" + ini);
        return f.start();
    }
    PageModel& set() { return f.page(page::kSetting); }
    PageModel& init() { return f.page(page::kInitConfig); }
    PageModel& cfg() { return f.page(page::kConfigList); }
    std::string file(const std::string& name, const std::string& content) {
        const std::string path = f.path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    // "烧录" for the selected model with an image its check accepts.
    void burn() {
        f.station().imagePath = QString::fromStdString(file("image.hex", link::sim::test::imageHex()));
        sent.clear();
        f.page(page::kIsp).click(key(1042));
        ASSERT_EQ(f.station().lastJobCode, jobs::kJobPrepared) << f.paneText().toStdString();
    }
    std::vector<jobs::TransferVariant> variants() const {
        std::vector<jobs::TransferVariant> v;
        for (const auto& t : sent) v.push_back(t.variant);
        return v;
    }
    const jobs::TransferRequest* sentOf(jobs::TransferVariant v) const {
        for (const auto& t : sent)
            if (t.variant == v) return &t;
        return nullptr;
    }
    static std::string bytesOf(const jobs::TransferRequest* t) {
        return t ? std::string(t->bytes.begin(), t->bytes.end()) : std::string();
    }

    StationFixture f;
    RecordingLink link;
    std::vector<jobs::TransferRequest> sent;
};

// ---- Validating fields --------------------------------------------------------------------------

TEST_F(OptionPages, DigitFieldsKeepSixDigitsWithTheCaretWhereTheRulePutsIt) {
    start();
    const struct {
        int field;
        const char* before;
        int s, e;
        const char* inserted;
        const char* after;
        int caret;
    } rows[] = {
        {settings::kSequence, "12", 1, 1, "a", "12", 1},               // typed letter: gone, caret where it was
        {settings::kSequence, "", 0, 0, "12ab34", "1234", 3},          // caret at the last one removed
        {settings::kEepromVoltage, "", 0, 0, "12345678", "123456", 0}, // too long: selection start before
        {settings::kEepromVoltage, "123456", 2, 2, "9", "129345", 2},
        {settings::kEepromVoltage, "4500", 0, 4, "5000", "5000", 4},   // nothing to mend: the natural caret
        {settings::kEepromVoltage, "4500", 4, 4, "\n", "4500", 4},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.before) + " + " + r.inserted);
        set().setText(key(r.field), QString::fromUtf8(r.before));
        const InputOutcome out = set().input(key(r.field), {r.s, r.e, QString::fromUtf8(r.inserted)});
        EXPECT_EQ(set().text(key(r.field)), QString::fromUtf8(r.after));
        EXPECT_EQ(out.selStart, r.caret);
        EXPECT_EQ(out.selEnd, r.caret);
    }
    // A program's text takes the same road.
    set().edit(key(settings::kEepromVoltage), "45a00");
    EXPECT_EQ(set().text(key(settings::kEepromVoltage)), "4500");
}

// Whatever a paste brings, the field ends as if its characters had been typed one by one.
TEST_F(OptionPages, APasteGetsInOnlyWhatTypingTheSameCharactersWould) {
    start();
    PageModel& isp = f.page(page::kIsp);
    PageModel& qc = f.page(page::kQcConfig);
    const struct {
        PageModel* page;
        int field;
        const char* before;
        const char* pasted;
        const char* after;
        const char* balloon;
    } rows[] = {
        {&isp, 1043, "", "12g45678x9", "12456789", ""},     // UID: hex digits, at most 8, silent
        {&isp, 1043, "FFFFFFFF", "1", "FFFFFFFF", ""},
        {&cfg(), charger::kPdoText, "", "02,a1,\n5f,3c,", "02,A1,5F,3C,", "输入应在0~9或A~F之间"},
        {&cfg(), charger::kPdoText, "", ",02,", "02,", "请输入两位数据!"},
        {&cfg(), charger::kPdoText, "02", "3,", "02,", "请输入','结束符"},
        {&cfg(), charger::kPdoText, "", "02，", "02", "请输入英文输入法下的','"},
        {&qc, 1079, "", "12ab5", "12AB", "只能输入4位校验码"},
        {&qc, 1076, "", "65536", "6553", "取值范围应在0~65535"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.before) + " + " + r.pasted);
        const QString k = key(r.field);
        const QString before = QString::fromUtf8(r.before);
        const QString pasted = QString::fromUtf8(r.pasted);
        r.page->setText(k, before);
        const InputOutcome paste = r.page->input(k, {static_cast<int>(before.size()), static_cast<int>(before.size()), pasted});
        EXPECT_EQ(r.page->text(k), QString::fromUtf8(r.after));
        EXPECT_EQ(paste.balloon, QString::fromUtf8(r.balloon));

        r.page->setText(k, before);
        int caret = static_cast<int>(before.size());
        for (const QChar ch : pasted) caret = r.page->input(k, {caret, caret, QString(ch)}).selStart;
        EXPECT_EQ(r.page->text(k), QString::fromUtf8(r.after)) << "typed";
    }
}

// ---- General settings page -----------------------------------------------------------------------

TEST_F(OptionPages, EeVoltageWriteSendsTheLeadingDigitsOfBothFields) {
    start();
    const struct {
        const char* sequence;
        const char* millivolts;
        long first, second;
    } rows[] = {{"", "4500", 0, 4500}, {"17", "0", 17, 0}, {"999999", "", 999999, 0}};
    for (const auto& r : rows) {
        set().setText(key(settings::kSequence), r.sequence);
        set().setText(key(settings::kEepromVoltage), r.millivolts);
        set().click(key(settings::kEeVoltageWrite));
        ASSERT_FALSE(link.countClears.empty());
        EXPECT_EQ(link.countClears.back(), std::make_pair(r.first, r.second)) << r.sequence << "/" << r.millivolts;
    }
    EXPECT_EQ(link.countClears.size(), 3u);
}

TEST_F(OptionPages, ClockOptionsAreWrittenAtOnce) {
    auto& st = start();
    st.selectModel(*chips::findModel("EP39F022")); // an 18-pin CKOE list
    set().choose(key(settings::kClockPin), 3);
    EXPECT_EQ(st.settings().readText("KELVOR", "PWM_OUTPUT"), set().currentText(key(settings::kClockPin)).toStdString());
    const struct {
        int box;
        const char* settingsKey;
    } boxes[] = {{settings::kSelect32M, "Align"}, {settings::kFastClock, "FastClock"}};
    for (const auto& b : boxes) {
        set().check(key(b.box), true);
        EXPECT_EQ(st.settings().readText("KELVOR", b.settingsKey), "1");
        set().check(key(b.box), false);
        EXPECT_EQ(st.settings().readText("KELVOR", b.settingsKey), "0");
        EXPECT_TRUE(set().isEnabled(key(b.box)));
    }
}

// The two side-file lists follow one rule; each row names one of them.
struct SideList {
    const QString& page;
    int box, list, chooser;
    const char* countKey;
    const char* pathKey;
    QString CQORVENDlg::*current;
    std::vector<std::string> CQORVENDlg::*recent;
};
const SideList kSideLists[] = {
    {page::kSetting, settings::kEepromProgramming, settings::kEepromFiles, settings::kEepromChooser,
     "FileCountEEprom", "FilePathEEprom", &CQORVENDlg::eepromPath, &CQORVENDlg::recentEeprom},
    {page::kInitConfig, factory::kFactoryData, factory::kFactoryFiles, factory::kFactoryChooser,
     "FileCountInitConfig", "FilePathInitConfig", &CQORVENDlg::factoryPath, &CQORVENDlg::recentFactory},
};

TEST_F(OptionPages, SideFileListsKeepTheCurrentFileEqualToTheShownEntry) {
    auto& st = start("[OpenFile]\nFileCountEEprom=2\nFilePathEEprom=/d/a.bin?/d/b.bin?\n"
                     "FileCountInitConfig=2\nFilePathInitConfig=/d/a.bin?/d/b.bin?\n");
    for (const auto& l : kSideLists) {
        SCOPED_TRACE(l.countKey);
        PageModel& p = f.page(l.page);
        auto expectList = [&](std::vector<std::string> entries) {
            EXPECT_EQ(st.*l.recent, entries);
            QStringList items;
            for (const auto& e : entries) items << QString::fromStdString(e);
            EXPECT_EQ(p.items(key(l.list)), items);
            EXPECT_EQ(st.*l.current, p.currentText(key(l.list)));
            EXPECT_EQ(st.*l.current, items.value(0));
            EXPECT_EQ(st.settings().readText("OpenFile", l.countKey), std::to_string(entries.size()));
            EXPECT_EQ(st.settings().readText("OpenFile", l.pathKey), joinRecentFiles(entries));
        };
        expectList({"/d/a.bin", "/d/b.bin"});

        // The box opens and closes the list and its chooser.
        for (bool on : {true, false, true}) {
            p.check(key(l.box), on);
            EXPECT_EQ(p.isEnabled(key(l.list)), on);
            EXPECT_EQ(p.isEnabled(key(l.chooser)), on);
        }

        p.choose(key(l.list), 1);
        expectList({"/d/b.bin", "/d/a.bin"});

        // Cancelled: nothing changes, nothing is written.
        const std::string ini = f.readIni();
        p.click(key(l.chooser));
        EXPECT_EQ(f.prompter.lastFilter, "(*.bin)|*.bin||");
        EXPECT_EQ(f.prompter.lastDefaultExtension, "BIN");
        EXPECT_EQ(f.prompter.lastInitialDir, "/d/b.bin");
        EXPECT_EQ(f.readIni(), ini);

        // A file already in the list moves to the front without growing it.
        f.prompter.files.push_back("/d/a.bin");
        p.click(key(l.chooser));
        expectList({"/d/a.bin", "/d/b.bin"});

        // Nine new files make eleven: the oldest goes.
        std::vector<std::string> expected{"/d/a.bin", "/d/b.bin"};
        for (int i = 0; i < 9; ++i) {
            const std::string path = "/d/new" + std::to_string(i) + ".bin";
            f.prompter.files.push_back(QString::fromStdString(path));
            p.click(key(l.chooser));
            expected.insert(expected.begin(), path);
        }
        expected.resize(10);
        expectList(expected);
        EXPECT_EQ(std::find(expected.begin(), expected.end(), "/d/b.bin"), expected.end());
    }
}

// ---- Factory configuration page ------------------------------------------------------------------

TEST_F(OptionPages, EraseBoxesExcludeEachOtherAndOpenTheSectorCount) {
    start();
    using Step = std::pair<int, bool>; // box, checked by the operator
    const struct {
        std::vector<Step> steps;
        bool full, sectors, none, count;
    } rows[] = {
        {{{factory::kEraseSectors, true}}, false, true, false, true},
        {{{factory::kEraseSectors, true}, {factory::kEraseSectors, false}}, false, false, false, false},
        {{{factory::kEraseSectors, true}, {factory::kEraseNone, true}}, false, false, true, false},
        {{{factory::kEraseNone, true}, {factory::kEraseFull, true}}, true, false, false, false},
        {{{factory::kEraseFull, false}}, false, false, false, false}, // none checked: erase mode 0
    };
    for (const auto& r : rows) {
        init().setChecked(key(factory::kEraseFull), true);
        init().setChecked(key(factory::kEraseSectors), false);
        init().setChecked(key(factory::kEraseNone), false);
        init().setEnabled(key(factory::kSectorCount), false);
        for (const auto& [box, on] : r.steps) init().check(key(box), on);
        const std::string where = "after " + std::to_string(r.steps.size()) + " steps ending at " +
                                  std::to_string(r.steps.back().first);
        EXPECT_EQ(init().isChecked(key(factory::kEraseFull)), r.full) << where;
        EXPECT_EQ(init().isChecked(key(factory::kEraseSectors)), r.sectors) << where;
        EXPECT_EQ(init().isChecked(key(factory::kEraseNone)), r.none) << where;
        EXPECT_EQ(init().isEnabled(key(factory::kSectorCount)), r.count) << where;
    }
}

// ---- Charger page ----------------------------------------------------------------------------------

TEST_F(OptionPages, ChargerPageFollowsItsControls) {
    start();
    cfg().choose(key(charger::kIcName), 2); // "EP39H01AC"
    EXPECT_EQ(cfg().current(key(charger::kIcNameChk)), 2);
    EXPECT_FALSE(cfg().isVisible(key(charger::kPdoText)));
    cfg().check(key(charger::kCustomPdo), true);
    EXPECT_TRUE(cfg().isVisible(key(charger::kPdoText)));
    cfg().edit(key(charger::kPdoText), "02,A1,5F,3C,");
    cfg().check(key(charger::kCustomPdo), false);
    EXPECT_FALSE(cfg().isVisible(key(charger::kPdoText)));
    EXPECT_EQ(cfg().text(key(charger::kPdoText)), "");
    const jobs::JobInputs in = jobs::readJobInputs(f.station());
    EXPECT_EQ(in.charger.icName, 2);
    EXPECT_EQ(in.charger.icNameChk, 2);
    EXPECT_FALSE(in.charger.customPdo);
}

// ---- What a job takes from the pages ---------------------------------------------------------------

TEST_F(OptionPages, SideDataGoesOnlyWhereTheBoxesFamilyAndListSayAndIsReadAtEachPress) {
    const std::string ee1 = file("ee1.bin", std::string(40, '\x5A'));
    const std::string ee2 = file("ee2.bin", std::string(24, '\xA5'));
    const std::string fac = file("factory.bin", "factory-0001");
    start("[OpenFile]\nFileCountEEprom=2\nFilePathEEprom=" + ee1 + "?" + ee2 + "?\nFileCountInitConfig=1\n"
          "FilePathInitConfig=" + fac + "?\n");
    using V = jobs::TransferVariant;
    const struct {
        const char* model;
        bool eepromBox, factoryBox, emptyFactoryList;
        std::vector<V> variants;
    } rows[] = {
        {"EP39F022", true, true, false, {V::Eeprom, V::UserData, V::Plain}},
        {"EP39F022", false, true, false, {V::UserData, V::Plain}},
        {"EP39F022", true, false, false, {V::Eeprom, V::Plain}},
        {"EP39F022", true, true, true, {V::Eeprom, V::Plain}},
        {"EP27F01", true, true, false, {V::Eeprom, V::Plain}}, // EEPROM programming, no factory data
        {"EP27C42", true, true, false, {V::Plain}},            // neither
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.model) + (r.eepromBox ? " ee" : "") + (r.factoryBox ? " factory" : "") +
                     (r.emptyFactoryList ? " empty-list" : ""));
        f.station().selectModel(*chips::findModel(r.model));
        set().check(key(settings::kEepromProgramming), r.eepromBox);
        init().check(key(factory::kFactoryData), r.factoryBox);
        jobs::showSideFile(f.station(), jobs::SideFile::Factory, r.emptyFactoryList ? std::string() : fac);
        burn();
        EXPECT_EQ(variants(), r.variants);
        if (const auto* u = sentOf(V::UserData)) {
            EXPECT_EQ(u->modeValue, 7936); // "1F00" after "0x"
            EXPECT_EQ(bytesOf(u), "factory-0001");
        }
    }

    // The EEPROM bytes are those of the file the list shows, read at the press.
    f.station().selectModel(*chips::findModel("EP39F022"));
    set().check(key(settings::kEepromProgramming), true);
    init().check(key(factory::kFactoryData), false);
    set().choose(key(settings::kEepromFiles), 1);
    ASSERT_EQ(set().currentText(key(settings::kEepromFiles)).toStdString(), ee2);
    burn();
    EXPECT_EQ(bytesOf(sentOf(V::Eeprom)), std::string(24, '\xA5'));
    file("ee2.bin", "changed");
    burn();
    EXPECT_EQ(bytesOf(sentOf(V::Eeprom)), "changed");
}

TEST_F(OptionPages, EmptySideFilesRefuseTheRunWithALineAndNothingIsSent) {
    const std::string ee = file("empty-ee.bin", "");
    const std::string fac = file("empty-factory.bin", "");
    start("[OpenFile]\nFileCountEEprom=1\nFilePathEEprom=" + ee + "?\nFileCountInitConfig=1\n"
          "FilePathInitConfig=" + fac + "?\n");
    f.station().selectModel(*chips::findModel("EP39F02"));
    set().check(key(settings::kEepromProgramming), true);
    init().check(key(factory::kFactoryData), true);
    f.station().imagePath = QString::fromStdString(file("image.hex", link::sim::test::imageHex()));
    f.page(page::kIsp).click(key(1042));
    EXPECT_EQ(f.station().lastJobCode, jobs::kJobSideDataRefused);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(f.paneText().contains("EEPROM文件长度为0字节,不发送!"));
    EXPECT_TRUE(f.paneText().contains("出厂信息文件长度为0字节,不发送!"));
    EXPECT_TRUE(f.paneText().contains("EEPROM或出厂信息数据不能发送,本次不烧录!"));
}

} // namespace
