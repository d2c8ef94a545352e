// The pages whose options go with a job: the general settings page (EE voltage write, EEPROM file,
// clock options stored at once) and the factory configuration page (factory file, erase choice).
// Both side-file lists keep one rule: the current file is always the entry the list shows.
#include "jobs/station/job_station.h"

#include "app/station/controller.h"
#include "base/settings.h"
#include "base/settings_lists.h"
#include "jobs/page_controls.h"

namespace kelvor::jobs {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString key(int id) { return controlKey(id); }

// A page's list of recent side files, as the station keeps it.
struct SideFileList {
    const QString& page;
    int list;
    int chooser;
    const char* countKey;
    const char* pathKey;
    std::vector<std::string> CQORVENDlg::*recent;
    QString CQORVENDlg::*current;
};

const SideFileList& sideFileList(SideFile which) {
    static const SideFileList eeprom{page::kSetting,    settings::kEepromFiles,
                                     settings::kEepromChooser, "FileCountEEprom",
                                     "FilePathEEprom",   &CQORVENDlg::recentEeprom,
                                     &CQORVENDlg::eepromPath};
    static const SideFileList factoryFiles{page::kInitConfig,     factory::kFactoryFiles,
                                           factory::kFactoryChooser, "FileCountInitConfig",
                                           "FilePathInitConfig",  &CQORVENDlg::recentFactory,
                                           &CQORVENDlg::factoryPath};
    return which == SideFile::Eeprom ? eeprom : factoryFiles;
}

void storeSideFiles(CQORVENDlg& st, const SideFileList& l) {
    const auto& recent = st.*l.recent;
    st.settings().writeText("OpenFile", l.countKey, std::to_string(recent.size()));
    st.settings().writeText("OpenFile", l.pathKey, joinRecentFiles(recent));
}

// "...": a .bin file that exists, starting in the current file's directory.
void chooseSideFile(CQORVENDlg& st, SideFile which) {
    const SideFileList& l = sideFileList(which);
    const auto chosen = st.prompter().openFile(QStringLiteral("(*.bin)|*.bin||"), QStringLiteral("BIN"), QString(),
                                               st.*l.current);
    if (!chosen) return;
    showSideFile(st, which, chosen->toStdString());
    storeSideFiles(st, l);
}

// An entry of the list: it moves to the front and becomes the current file.
void chooseSideListEntry(CQORVENDlg& st, SideFile which, int index) {
    const SideFileList& l = sideFileList(which);
    auto& recent = st.*l.recent;
    if (index < 0 || static_cast<std::size_t>(index) >= recent.size()) {
        showSideFiles(st, which); // nothing valid chosen: the list shows the current file again
        return;
    }
    moveToFront(recent, static_cast<std::size_t>(index));
    showSideFiles(st, which);
    storeSideFiles(st, l);
}

void enableSideFiles(PageModel& p, const SideFileList& l, bool on) {
    p.setEnabled(key(l.list), on);
    p.setEnabled(key(l.chooser), on);
}

void storeBox(CQORVENDlg& st, const char* settingsKey, bool on) {
    st.settings().writeText("KELVOR", settingsKey, on ? "1" : "0");
}

void connectSettingsPage(CQORVENDlg& st) {
    PageModel& set = st.page(page::kSetting);
    const SideFileList& files = sideFileList(SideFile::Eeprom);
    QObject::connect(&set, &PageModel::clicked, &st, [&st, &set, &files](const QString& k) {
        if (k == key(settings::kEeVoltageWrite)) {
            // Leading digits, 0 when there are none; the digit rule keeps both fields short.
            const long sequence = leadingInt(set.text(key(settings::kSequence)).toStdString());
            const long millivolts = leadingInt(set.text(key(settings::kEepromVoltage)).toStdString());
            st.sendMessage(WM_COUNT_CLEAR, sequence, millivolts);
        } else if (k == key(settings::kEepromProgramming)) {
            enableSideFiles(set, files, set.isChecked(k));
        } else if (k == key(settings::kEepromChooser)) {
            chooseSideFile(st, SideFile::Eeprom);
        } else if (k == key(settings::kSelect32M)) {
            storeBox(st, "Align", set.isChecked(k));
        } else if (k == key(settings::kFastClock)) {
            storeBox(st, "FastClock", set.isChecked(k));
        }
    });
    QObject::connect(&set, &PageModel::chosen, &st, [&st, &set](const QString& k, int index) {
        if (k == key(settings::kEepromFiles))
            chooseSideListEntry(st, SideFile::Eeprom, index);
        else if (k == key(settings::kClockPin) && index >= 0)
            st.settings().writeText("KELVOR", "PWM_OUTPUT", set.currentText(k).toStdString());
    });
}

// The erase boxes: checking one unchecks the other two; the sector count is open only with
// "Erase Sectors". Unchecking "Erase Full Chip" or "Do not Erase" leaves the others alone.
void applyEraseBox(PageModel& init, int box) {
    const bool on = init.isChecked(key(box));
    if (box == factory::kEraseSectors) init.setEnabled(key(factory::kSectorCount), on);
    if (!on) return;
    for (int other : {factory::kEraseFull, factory::kEraseSectors, factory::kEraseNone})
        if (other != box) init.setChecked(key(other), false);
    if (box != factory::kEraseSectors) init.setEnabled(key(factory::kSectorCount), false);
}

void connectFactoryPage(CQORVENDlg& st) {
    PageModel& init = st.page(page::kInitConfig);
    const SideFileList& files = sideFileList(SideFile::Factory);
    QObject::connect(&init, &PageModel::clicked, &st, [&st, &init, &files](const QString& k) {
        if (k == key(factory::kFactoryData)) {
            enableSideFiles(init, files, init.isChecked(k));
        } else if (k == key(factory::kFactoryChooser)) {
            chooseSideFile(st, SideFile::Factory);
        } else {
            for (int box : {factory::kEraseFull, factory::kEraseSectors, factory::kEraseNone})
                if (k == key(box)) applyEraseBox(init, box);
        }
    });
    QObject::connect(&init, &PageModel::chosen, &st, [&st](const QString& k, int index) {
        if (k == key(factory::kFactoryFiles)) chooseSideListEntry(st, SideFile::Factory, index);
    });
}

} // namespace

void showSideFiles(CQORVENDlg& st, SideFile which) {
    const SideFileList& l = sideFileList(which);
    PageModel& p = st.page(l.page);
    QStringList items;
    for (const auto& path : st.*l.recent) items << q(path);
    p.setItems(key(l.list), items);
    p.setDropWidth(key(l.list), dropWidthFor(items));
    p.setCurrent(key(l.list), items.isEmpty() ? -1 : 0);
    if (items.isEmpty()) p.setText(key(l.list), QString());
    st.*l.current = items.isEmpty() ? QString() : items.front();
}

void showSideFile(CQORVENDlg& st, SideFile which, const std::string& path) {
    const SideFileList& l = sideFileList(which);
    if (!path.empty()) addToRecent(st.*l.recent, path);
    showSideFiles(st, which);
    if (path.empty()) {
        PageModel& p = st.page(l.page);
        p.setCurrent(key(l.list), -1);
        p.setText(key(l.list), QString());
        st.*l.current = QString();
    }
}

void connectOptionPages(CQORVENDlg& st) {
    connectSettingsPage(st);
    connectFactoryPage(st);
}

} // namespace kelvor::jobs
