// Selecting a chip model: one procedure for every catalog row.
#include "app/station/controller.h"
#include "chips/selection.h"
#include "jobs/page_controls.h"

namespace kelvor {
namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

void CQORVENDlg::setFamily(const chips::ModelRow& row) {
    for (int i = 0; i < chips::kFamilyCount; ++i) {
        const int on = static_cast<chips::Family>(i) == row.family ? 1 : 0;
        familyFlags[static_cast<std::size_t>(i)] = on;
        // EP39F25X has no mirror for the workers; it cannot be selected through a row anyway.
        if (static_cast<chips::Family>(i) != chips::Family::EP39F25X) shared_.g_familyFlags[static_cast<std::size_t>(i)] = on;
    }
    subFlag39F06A = row.model == "EP39F06A" ? 1 : 0;
    subFlag27F01A3 = row.model == "EP27F01A3" ? 1 : 0;
}

void CQORVENDlg::selectModel(const chips::ModelRow& row) {
    PageModel& isp = page(page::kIsp);
    PageModel& set = page(page::kSetting);

    // 1. Family flags; only EP39H01 keeps "烧录" disabled.
    isp.setEnabled(controlKey(1042), true);
    setFamily(row);
    selected = &row;
    shared_.selectedRow = &row;
    if (row.model == "EP39H01") isp.setEnabled(controlKey(1042), false);

    // 2. The offline tab follows the family at once for the models that ask for it.
    if (row.refreshesOfflinePage && !qcMode && pageTab[2] >= 0 &&
        mainModel().current(controlKey(1008)) == pageTab[2]) {
        const QString& show = offlinePageFor(row.family);
        for (const auto& name : {page::kIsp, page::kFuse, page::kBoot, page::kStpg, page::kStpg8505, page::kStpg8505Out})
            if (name != show) page(name).setPageVisible(false);
        page(show).setPageVisible(true);
    }

    // 3. Texts.
    const auto texts = chips::modelTexts(row, customKeys, customNames);
    isp.setText(controlKey(1041), q(texts.caption));
    log_.windowLog(texts.logText);
    mainModel().setText(controlKey(1040), q(texts.statusText));

    // 4. Calibration frequency.
    isp.setCurrent(controlKey(1045), row.frequencyEntry);
    shared_.g_freqIndex = row.frequencyEntry;
    isp.setEnabled(controlKey(1045), row.frequencyEnabled);

    // 5. UID fields.
    for (const QString& key : {controlKey(1043), controlKey(1044), controlKey(1046), QStringLiteral("lblBatch"),
                               QStringLiteral("lblIncrement")})
        isp.setVisible(key, row.uidShown);

    // 6. Size group of the configuration-word page.
    PageModel& fuse = page(page::kFuse);
    const bool group = row.sizeGroup != chips::SizeGroup::None;
    fuse.setVisible(QStringLiteral("grpSize"), group);
    fuse.setVisible(controlKey(1024), row.sizeGroup == chips::SizeGroup::All);
    fuse.setVisible(controlKey(1025), group);
    fuse.setVisible(controlKey(1026), group);

    // 7. EEPROM option of the settings page.
    switch (row.eeprom) {
    case chips::EepromOption::Option: {
        set.setEnabled(controlKey(settings::kEepromProgramming), true);
        const bool on = set.isChecked(controlKey(settings::kEepromProgramming));
        set.setEnabled(controlKey(settings::kEepromFiles), on);
        set.setEnabled(controlKey(settings::kEepromChooser), on);
        break;
    }
    case chips::EepromOption::Off:
        set.setEnabled(controlKey(settings::kEepromFiles), false);
        set.setEnabled(controlKey(settings::kEepromChooser), false);
        set.setChecked(controlKey(settings::kEepromProgramming), false);
        set.setEnabled(controlKey(settings::kEepromProgramming), false);
        break;
    case chips::EepromOption::Untouched: break;
    }

    // 8. Pin list.
    if (row.pins != chips::PinList::None) {
        if (row.model == "EP39F01") {
            set.setChecked(controlKey(settings::kSelect32M), false);
            set.setEnabled(controlKey(settings::kSelect32M), false);
        }
        const auto pins = chips::pinNames(row.pins);
        QStringList items;
        for (auto p : pins) items << q(p);
        set.setItems(controlKey(settings::kClockPin), items);
        if (row.pins == chips::PinList::Pins18) {
            const std::string stored = settings_.readText("KELVOR", "PWM_OUTPUT");
            const int entry = chips::pwmOutputEntry(pins, QString::fromStdString(stored).toUpper().toStdString());
            if (entry >= 0) {
                set.setCurrent(controlKey(settings::kClockPin), entry);
            } else {
                set.setCurrent(controlKey(settings::kClockPin), 16);
                settings_.writeText("KELVOR", "PWM_OUTPUT", "PC4");
            }
        } else {
            set.setCurrent(controlKey(settings::kClockPin), 0);
        }
    }

    // 9.
    settings_.writeText("KELVOR", "DEVICE", std::string(row.model));

    link_->modelSelected(row);
}

const chips::ModelRow* CQORVENDlg::storedModel() const {
    const auto choice = chips::restoreChoice(settings_.readText("KELVOR", "DEVICE"));
    return choice.selectSomething ? choice.row : nullptr;
}

void CQORVENDlg::restoreStoredModel() {
    if (const auto* row = storedModel()) selectModel(*row);
}

bool CQORVENDlg::selectByDetectedId(int identifier) {
    const auto* row = chips::modelForDetectedId(identifier);
    if (!row) return false;
    selectModel(*row);
    return true;
}

} // namespace kelvor
