// The programming job in the station: the pages feed JobInputs, the job runs, and its result is
// applied to the window and handed to the transfer threads.
#include "jobs/station/job_station.h"

#include "app/station/controller.h"
#include "image/image_check.h"
#include "jobs/field_rules.h"
#include "jobs/job.h"
#include "jobs/page_controls.h"
#include "qc/page_controls.h"

namespace kelvor::jobs {
namespace {

std::string u8(const QString& s) { return s.toStdString(); }

struct Target {
    int id;
    int ChargerSelections::*list = nullptr;
    bool ChargerSelections::*box = nullptr;
};

const Target kChargerControls[] = {
    {charger::kIcName, &ChargerSelections::icName},
    {charger::kIcNameChk, &ChargerSelections::icNameChk},
    {charger::kPrintSwitch, nullptr, &ChargerSelections::printSwitch},
    {charger::kOcp, &ChargerSelections::ocp},
    {charger::kDischargeTime, &ChargerSelections::dischargeTime},
    {charger::kPower, &ChargerSelections::power},
    {charger::kShortCircuit, nullptr, &ChargerSelections::shortCircuit},
    {charger::kOverVoltage, nullptr, &ChargerSelections::overVoltage},
    {charger::kDApple, nullptr, &ChargerSelections::dApple},
    {charger::kAcApple, nullptr, &ChargerSelections::acApple},
    {charger::kQcClass, &ChargerSelections::qcClass},
    {charger::kCableCompensation, &ChargerSelections::cableCompensation},
    {charger::kPowerSave, &ChargerSelections::powerSave},
};

// The widget layer asks these adapters; the rules themselves are the job's.
kelvor::CharVerdict toVerdict(const jobs::CharVerdict& v) {
    using Kind = kelvor::CharVerdict::Kind;
    switch (v.action) {
    case jobs::CharVerdict::Action::Accept: return {};
    case jobs::CharVerdict::Action::AcceptUpper: return {Kind::AcceptAs, QChar(v.ch), {}};
    case jobs::CharVerdict::Action::Drop: return {Kind::Drop, {}, {}};
    case jobs::CharVerdict::Action::Refuse:
        return {Kind::Refuse, {}, QString::fromUtf8(v.balloon.data(), static_cast<qsizetype>(v.balloon.size()))};
    }
    return {};
}

CharFilter uidFilter() {
    return [](const QString& text, int s, int e, QChar ch) {
        return toVerdict(uidCharRule(text.toStdU16String(), s, e, ch.unicode()));
    };
}

CharFilter myEditFilter(int id) {
    return [id](const QString& text, int s, int e, QChar ch) {
        return toVerdict(myEditCharRule(id, text.toStdU16String(), s, e, ch.unicode()));
    };
}

// The digit rule judges the text after the change, so a paste is judged as a whole.
InputFilter digitFilter() {
    return [](const QString& before, const TextInput& in) {
        const QString after = before.left(in.selStart) + in.inserted + before.mid(in.selEnd);
        if (auto cut = digitRule(after.toStdU16String(), in.selStart))
            return InputOutcome{QString::fromStdU16String(cut->text), cut->caret, cut->caret, {}};
        const int caret = in.selStart + static_cast<int>(in.inserted.size());
        return InputOutcome{after, caret, caret, {}};
    };
}

} // namespace

ChargerSelections chargerSelections(const PageModel& cfg) {
    ChargerSelections s;
    for (const auto& t : kChargerControls) {
        if (t.list) s.*t.list = cfg.current(controlKey(t.id));
        else s.*t.box = cfg.isChecked(controlKey(t.id));
    }
    s.customPdo = cfg.isChecked(controlKey(charger::kCustomPdo));
    s.pdoText = u8(cfg.text(controlKey(charger::kPdoText)));
    return s;
}

void showChargerSelections(PageModel& cfg, const ChargerSelections& s) {
    for (const auto& t : kChargerControls) {
        if (t.list) cfg.setCurrent(controlKey(t.id), s.*t.list);
        else cfg.setChecked(controlKey(t.id), s.*t.box);
    }
}

JobInputs readJobInputs(CQORVENDlg& st) {
    PageModel& isp = st.page(page::kIsp);
    PageModel& set = st.page(page::kSetting);
    PageModel& init = st.page(page::kInitConfig);
    JobInputs in;
    in.batchText = u8(isp.text(controlKey(1043)));
    in.incrementText = u8(isp.text(controlKey(1044)));
    in.voltageText = u8(isp.text(controlKey(1032)));
    in.frequencyIndex = isp.current(controlKey(1045));
    in.autoVoltage = isp.isChecked(controlKey(1065));
    in.firmwareIndex = set.current(controlKey(settings::kFirmwareKind));
    in.calSlosc = set.isChecked(controlKey(settings::kCalSlosc));
    in.calEeprom = set.isChecked(controlKey(settings::kCalEeprom));
    in.calOp = set.isChecked(controlKey(settings::kCalOp));
    in.eepromVoltageText = u8(set.text(controlKey(settings::kEepromVoltage)));
    in.clockIndex = set.current(controlKey(settings::kClock));
    in.clockPinText = u8(set.currentText(controlKey(settings::kClockPin)));
    in.eepromProgramming = set.isChecked(controlKey(settings::kEepromProgramming));
    in.eepromPath = u8(st.eepromPath);
    in.select32M = set.isChecked(controlKey(settings::kSelect32M));
    in.fastClock = set.isChecked(controlKey(settings::kFastClock));
    in.factoryData = init.isChecked(controlKey(factory::kFactoryData));
    in.factoryPath = u8(st.factoryPath);
    in.factoryListText = u8(init.currentText(controlKey(factory::kFactoryFiles)));
    in.eraseFull = init.isChecked(controlKey(factory::kEraseFull));
    in.eraseSectors = init.isChecked(controlKey(factory::kEraseSectors));
    in.eraseNone = init.isChecked(controlKey(factory::kEraseNone));
    in.startAddressText = u8(init.text(controlKey(factory::kStartAddress)));
    in.charger = chargerSelections(st.page(page::kConfigList));
    return in;
}

void showJobInputs(CQORVENDlg& st, const JobInputs& in) {
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    PageModel& isp = st.page(page::kIsp);
    PageModel& set = st.page(page::kSetting);
    PageModel& init = st.page(page::kInitConfig);
    isp.setText(controlKey(1043), q(in.batchText));
    isp.setText(controlKey(1044), q(in.incrementText));
    isp.setChecked(controlKey(1065), in.autoVoltage);
    isp.setText(controlKey(1032), q(in.voltageText));
    isp.setCurrent(controlKey(1045), in.frequencyIndex);
    set.setCurrent(controlKey(settings::kFirmwareKind), in.firmwareIndex);
    set.setChecked(controlKey(settings::kCalSlosc), in.calSlosc);
    set.setChecked(controlKey(settings::kCalEeprom), in.calEeprom);
    set.setChecked(controlKey(settings::kCalOp), in.calOp);
    set.edit(controlKey(settings::kEepromVoltage), q(in.eepromVoltageText));
    set.setCurrent(controlKey(settings::kClock), in.clockIndex);
    const int pin = static_cast<int>(set.items(controlKey(settings::kClockPin)).indexOf(q(in.clockPinText)));
    if (pin >= 0) set.setCurrent(controlKey(settings::kClockPin), pin);
    set.setChecked(controlKey(settings::kEepromProgramming), in.eepromProgramming);
    showSideFile(st, SideFile::Eeprom, in.eepromPath);
    set.setChecked(controlKey(settings::kSelect32M), in.select32M);
    set.setChecked(controlKey(settings::kFastClock), in.fastClock);
    init.setChecked(controlKey(factory::kFactoryData), in.factoryData);
    showSideFile(st, SideFile::Factory, in.factoryListText.empty() ? std::string() : in.factoryPath);
    init.setChecked(controlKey(factory::kEraseFull), in.eraseFull);
    init.setChecked(controlKey(factory::kEraseSectors), in.eraseSectors);
    init.setChecked(controlKey(factory::kEraseNone), in.eraseNone);
    init.setText(controlKey(factory::kStartAddress), q(in.startAddressText));
    PageModel& cfg = st.page(page::kConfigList);
    showChargerSelections(cfg, in.charger);
    cfg.setChecked(controlKey(charger::kCustomPdo), in.charger.customPdo);
    cfg.setVisible(controlKey(charger::kPdoText), in.charger.customPdo);
    cfg.edit(controlKey(charger::kPdoText), q(in.charger.pdoText));
}

} // namespace kelvor::jobs

namespace kelvor {

int CQORVENDlg::onImageCheck() {
    // Before any selection the construction default, EP2702, is the selected family.
    const chips::ModelRow& model = selected ? *selected : *chips::findModel("EP2702");
    image_->key = imageKeyOverride ? *imageKeyOverride
                                   : image::parseImageKey(settings_.readText("GENERALFUNCTION", "IMAGEKEY"))
                                         .value_or(image::defaultImageKey());
    const int result = image::checkImage(model, imagePath.toStdString(), *image_, reporter_);
    syncFusePage();
    return result;
}

void CQORVENDlg::syncFusePage() {
    PageModel& fuse = page(page::kFuse);
    for (const auto& slot : image_->decoders.fuseSlots) {
        const QString key = controlKey(slot.id);
        fuse.setText(key, QString::fromStdString(slot.text));
        // The size group's three texts are shown or hidden by the model selection.
        if (slot.id < 1024 || slot.id > 1026) fuse.setVisible(key, slot.visible);
    }
}

void CQORVENDlg::onProgram() {
    if (transfersBusy && transfersBusy()) {
        log_.windowLog("上一次烧录尚未结束，请稍候!");
        return;
    }
    const chips::ModelRow* model = selected ? selected : chips::findModel("EP2702");
    jobs::JobContext ctx;
    ctx.model = model;
    ctx.imagePath = imagePath.toStdString();
    ctx.programMode = programMode;
    ctx.linkOpen = link_->linkOpen();
    ctx.hwVersionSeen = link_->hwVersionSeen();
    const jobs::JobInputs inputs = jobs::readJobInputs(*this);
    jobs::JobResult r = jobs::startProgrammingJob(inputs, ctx, *image_, settings_, reporter_);
    lastJobCode = r.code;
    if (jobRan) jobRan(inputs, ctx, r);

    if (r.progressByReport) {
        link_->setProgressByReport(true);
        mainModel().setCurrent(controlKey(1037), 0);
    }
    if (r.freqIndex) shared_.g_freqIndex = *r.freqIndex;
    // A refused job burns nothing: no verdict, checksum or progress of an earlier chip stays.
    if (r.code != jobs::kJobPrepared) clearResult();
    if (!r.cksumText.empty()) mainModel().setText(controlKey(1041), QString::fromStdString(r.cksumText));
    if (r.disableButtons) {
        page(page::kIsp).setEnabled(controlKey(1021), false);
        page(page::kIsp).setEnabled(controlKey(1042), false);
    }
    if (!r.transfers.empty() && startTransfers && !startTransfers(std::move(r.transfers)) && r.disableButtons) {
        // Nothing was started: give the buttons back.
        page(page::kIsp).setEnabled(controlKey(1021), true);
        page(page::kIsp).setEnabled(controlKey(1042), true);
    }
}

void CQORVENDlg::connectJobPages() {
    PageModel& isp = page(page::kIsp);
    isp.setCharFilter(controlKey(1043), jobs::uidFilter());
    isp.setCharFilter(controlKey(1044), jobs::uidFilter());
    connect(&isp, &PageModel::edited, this, [&isp](const QString& key) {
        if (key != controlKey(1032)) return;
        if (auto cut = jobs::voltageLengthRule(isp.text(key).toStdU16String()))
            isp.setText(key, QString::fromStdU16String(cut->text));
    });
    // "烧录" counts a press once its job has run.
    connect(&isp, &PageModel::clicked, this, [this](const QString& key) {
        if (key == controlKey(1042)) link_->countProgramPress();
    });

    PageModel& cfg = page(page::kConfigList);
    cfg.setCharFilter(controlKey(charger::kPdoText), jobs::myEditFilter(charger::kPdoText));
    connect(&cfg, &PageModel::chosen, this, [&cfg](const QString& key, int index) {
        if (key == controlKey(charger::kIcName)) cfg.setCurrent(controlKey(charger::kIcNameChk), index);
    });
    connect(&cfg, &PageModel::clicked, this, [&cfg](const QString& key) {
        if (key != controlKey(charger::kCustomPdo)) return;
        const bool on = cfg.isChecked(key);
        cfg.setVisible(controlKey(charger::kPdoText), on);
        if (!on) cfg.setText(controlKey(charger::kPdoText), QString());
    });

    PageModel& set = page(page::kSetting);
    set.setInputFilter(controlKey(settings::kEepromVoltage), jobs::digitFilter());
    set.setInputFilter(controlKey(settings::kSequence), jobs::digitFilter());
    jobs::connectOptionPages(*this);

    PageModel& qc = page(page::kQcConfig);
    qc.setCharFilter(controlKey(qcconfig::kChecksum), jobs::myEditFilter(jobs::kFieldCheckCode));
    qc.setCharFilter(controlKey(qcconfig::kVersion), jobs::myEditFilter(jobs::kFieldFirmwareVersion));
}

} // namespace kelvor
