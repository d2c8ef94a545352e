#include "app/station/controller.h"

#include "base/settings_lists.h"
#include "image/image_check.h"
#include "jobs/charger.h"
#include "jobs/job.h"
#include "jobs/page_controls.h"
#include "jobs/station/job_station.h"
#include "chips/selection.h"
#include "qc/station/qc_station.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace kelvor {

QStringList page::all() {
    return {kIsp, kFuse, kStpg, kStpg8505, kStpg8505Out, kBoot, kQcTest, kQcConfig, kQcComm, kSetting, kInitConfig,
            kConfigList};
}

namespace {

const char* const kTabCaptions[8] = {"烧录", "配置字", "脱机烧录", "固件更新", "通用设置", "出厂配置", "配置字列表", "远程烧录"};

QString q(const char* s) { return QString::fromUtf8(s); }
QString q(const std::string& s) { return QString::fromStdString(s); }

QStringList toQ(const std::vector<std::string>& v) {
    QStringList out;
    for (const auto& s : v) out << QString::fromStdString(s);
    return out;
}

} // namespace

QStringList frequencyItems() {
    QStringList out;
    for (const char* f : chips::kFrequencyNames) out << q(f);
    return out;
}

int dropWidthFor(const QStringList& items) {
    qsizetype longest = 0;
    for (const auto& s : items) longest = std::max(longest, s.size());
    return static_cast<int>(longest) * 6;
}

CQORVENDlg::CQORVENDlg(StationEnvironment env, QObject* parent)
    : QObject(parent),
      env_(std::move(env)),
      programDir_(env_.programDir.isEmpty() ? QCoreApplication::applicationDirPath() : env_.programDir),
      dirs_(stationDirs(programDir_, env_.logFile)),
      ui_(this),
      log_(pane_, ui_),
      reporter_(log_,
                [this](std::string_view caption, std::string_view text, BoxButtons b, BoxIcon i) {
                    return env_.prompter->messageBox(q(std::string(caption)), q(std::string(text)), b, i);
                }),
      settings_(std::filesystem::path(dirs_.settingsFile.toStdString())),
      image_(std::make_unique<image::ImageState>()) {
    Q_ASSERT(env_.prompter);
    log_.setFilePath(dirs_.logFile);
    if (env_.clock) log_.setClock(env_.clock);
    settings_.setProblemSink([this](const std::string& line) { reporter_.eventLog(line); });
    language = kLanguageChinese;
    familyFlags[chips::familyIndex(chips::Family::EP2702)] = 1;
    shared_.g_familyFlags[chips::familyIndex(chips::Family::EP2702)] = 1;
    buildPages();
    connectPages();
    connectJobPages();
    qc_ = new qc::QcStation(*this);
    syncFusePage();
}

CQORVENDlg::~CQORVENDlg() { ui_.shutdown(); }

PageModel& CQORVENDlg::page(const QString& name) {
    auto it = pages_.find(name);
    Q_ASSERT(it != pages_.end());
    return *it->second;
}

void CQORVENDlg::buildPages() {
    pages_[page::kMain] = new PageModel(page::kMain, this);
    for (const auto& name : page::all()) pages_[name] = new PageModel(name, this);
}

const chips::ModelRow* CQORVENDlg::selectedModel() const { return selected; }

chips::Family CQORVENDlg::selectedFamily() const {
    for (int i = 0; i < chips::kFamilyCount; ++i)
        if (familyFlags[static_cast<std::size_t>(i)] == 1) return static_cast<chips::Family>(i);
    return chips::Family::EP2702;
}

// ---------------------------------------------------------------------------------------------
// Start-up

void CQORVENDlg::startUp() {
    PageModel& main = mainModel();
    // 1-2
    main.setText("title", q("KEL-VOR(V1.34)"));
    imagePath = QDir(dirs_.sampleDir).filePath("rfpwm.hex");
    settingsPath = QString::fromStdString(settings_.path().string());
    const bool settingsExisted = settings_.exists();

    // 3-6: the Device menu from the catalog, then the entries the settings remove or rename.
    rebuildDeviceMenu();
    const bool customMode = settings_.readNumber("GENERALFUNCTION", "UNIQUECODE") == 1;
    if (settings_.readNumber("KELVOR", "IN") == 0 || customMode) {
        const auto* in = chips::findModel("EP8505_IN");
        deviceMenu.erase(std::remove_if(deviceMenu.begin(), deviceMenu.end(),
                                        [&](const DeviceEntry& e) { return e.command == in->command; }),
                         deviceMenu.end());
    }
    if (customMode) applyCustomChipMode();
    emit deviceMenuChanged();

    // The window's language as it was left; the station's own texts are Chinese either way.
    if (settings_.readText("KELVOR", "LANGUAGE") == kLanguageEnglish) {
        language = kLanguageEnglish;
        emit languageChanged(language);
    }

    // 7: QC mode or the PageIndex tabs.
    qcMode = settings_.readNumber("KELVOR", "QC_IN") != 0 ? 1 : 0;
    createTabs();
    // 8-10
    showInitialPage();
    // 11
    PageModel& isp = page(page::kIsp);
    isp.setImage(controlKey(1030), "link");
    isp.setVisible(controlKey(1030), true);
    isp.setEnabled(controlKey(1030), false);
    // No chip has been judged yet: the face is neutral, not OK.
    isp.setImage(controlKey(1033), face::kIdle);
    isp.setVisible(controlKey(1033), true);
    PageModel& boot = page(page::kBoot);
    boot.setImage(boot::kEnterIap, "fw_enter");
    boot.setImage(boot::kDownload, "fw_download");
    boot.setVisible(boot::kDownload, false);
    // 12
    log_.banner(qcMode == 0);
    for (const QString& note : dirs_.notes()) log_.windowLog(note.toStdString());
    // 13
    link_->setUp();
    main.setCurrent(controlKey(1037), 0);
    main.setText(controlKey(1040), q("  "));
    // 14
    fillStartUpContents();
    // 15
    link_->connectAtStartUp();
    // 16
    isp.setText(controlKey(1043), q("FFFFFFFF"));
    isp.setText(controlKey(1044), q("FFFFFFFF"));
    // 17-18
    if (!settingsExisted)
        firstStartDefaults();
    else
        restoreSettings();
    // 19
    boot.setEnabled(boot::kDownload, false);
}

void CQORVENDlg::rebuildDeviceMenu() {
    deviceMenu.clear();
    for (const auto* row : chips::deviceMenu()) deviceMenu.push_back({row->command, q(std::string(row->model))});
}

void CQORVENDlg::applyCustomChipMode() {
    const int n = settings_.readNumber("GENERALFUNCTION", "CUSTOMCHIPS");
    customKeys = countedCommaList(settings_.readText("GENERALFUNCTION", "ORIGINALCHIP"), n);
    customNames = countedCommaList(settings_.readText("GENERALFUNCTION", "CORRESPONDCHIP"), n);
    std::vector<chips::MenuEntry> menu;
    for (const auto& e : deviceMenu) menu.push_back({chips::findCommand(e.command), e.text.toStdString()});
    deviceMenu.clear();
    for (const auto& e : chips::applyCustomChips(menu, customKeys, customNames))
        deviceMenu.push_back({e.row->command, q(e.text)});
}

void CQORVENDlg::createTabs() {
    PageModel& main = mainModel();
    QStringList captions;
    pageTab.fill(-1);
    if (qcMode) {
        captions << q("QC首测") << q("QC设置") << q("QCLog");
        for (int key : {1039, 1030, 1041, 1014, 1040, 1037}) main.setVisible(controlKey(key), false);
        main.setVisible("menuBar", false);
    } else {
        const std::string index = settings_.readText("KELVOR", "PageIndex");
        if (index.empty()) {
            for (int p = 0; p < 8; ++p) {
                captions << q(kTabCaptions[p]);
                pageTab[static_cast<std::size_t>(p)] = p;
            }
        } else {
            for (int p : commaTerminatedList(index)) {
                if (p < 0 || p > 7) continue;
                pageTab[static_cast<std::size_t>(p)] = static_cast<int>(captions.size());
                captions << q(kTabCaptions[p]);
            }
        }
    }
    main.setItems(controlKey(1008), captions);
    main.setCurrent(controlKey(1008), captions.isEmpty() ? -1 : 0);
    emit tabsChanged();
}

void CQORVENDlg::showInitialPage() {
    for (const auto& name : page::all()) page(name).setPageVisible(false);
    if (qcMode) {
        page(page::kQcTest).setPageVisible(true);
        return;
    }
    page(page::kIsp).setPageVisible(true);
    for (int p = 0; p < 8; ++p) {
        if (pageTab[static_cast<std::size_t>(p)] == 0) {
            page(page::kIsp).setPageVisible(false);
            showPageIndex(p);
            break;
        }
    }
}

const QString& CQORVENDlg::offlinePageFor(chips::Family f) const {
    if (f == chips::Family::EP8505_IN) return page::kStpg8505;
    if (f == chips::Family::EP8505) return page::kStpg8505Out;
    return page::kStpg;
}

void CQORVENDlg::showPageIndex(int pageIndex) {
    static const QString* const kByIndex[8] = {&page::kIsp, &page::kFuse, nullptr, &page::kBoot,
                                               &page::kSetting, &page::kInitConfig, &page::kConfigList, nullptr};
    const QString* target = pageIndex == 2 ? &offlinePageFor(selectedFamily()) : kByIndex[pageIndex];
    for (const auto& name : page::all()) page(name).setPageVisible(target && name == *target);
}

void CQORVENDlg::fillStartUpContents() {
    PageModel& isp = page(page::kIsp);
    isp.setText(controlKey(1041), q("EP:2702 校准信息"));
    isp.setText(controlKey(1031), q("20MHz"));
    isp.setVisible(controlKey(1031), false);
    isp.setText(controlKey(1032), q("4.500"));
    isp.setEnabled(controlKey(1032), true);
    isp.setEnabled(controlKey(1042), false);
    isp.setItems(controlKey(1045), frequencyItems());
    isp.setCurrent(controlKey(1045), 6);
    isp.setChecked(controlKey(1065), false);

    PageModel& set = page(page::kSetting);
    set.setItems(controlKey(settings::kFirmwareKind), {q("测试固件"), q("检空片固件"), q("烧录固件")});
    const bool firmwareIn = settings_.readNumber("KELVOR", "Firmware_IN") != 0;
    set.setCurrent(controlKey(settings::kFirmwareKind), firmwareIn ? 0 : 2);
    set.setEnabled(controlKey(settings::kFirmwareKind), firmwareIn);
    set.setItems(controlKey(settings::kClock), {q("005 KHZ"), q("015 KHZ"), q("050 KHZ"), q("100 KHZ")});
    set.setCurrent(controlKey(settings::kClock), 0);
    set.setChecked(controlKey(settings::kCalSlosc), true);
    set.setChecked(controlKey(settings::kCalEeprom), true);
    set.setChecked(controlKey(settings::kCalOp), false);
    settings_.readText("KELVOR", "Align"); // read, but the box starts off regardless
    set.setChecked(controlKey(settings::kSelect32M), false);
    set.setChecked(controlKey(settings::kFastClock), settings_.readNumber("KELVOR", "FastClock") == 1);
    set.setText(controlKey(settings::kEepromVoltage), q("0"));
    set.setText(controlKey(settings::kSequence), q("0"));

    PageModel& init = page(page::kInitConfig);
    init.setEnabled(controlKey(factory::kFactoryFiles), false);
    init.setEnabled(controlKey(factory::kFactoryChooser), false);
    init.setVisible(controlKey(factory::kSectorCount), false);
    init.setEnabled(controlKey(factory::kSectorCount), false);
    init.setChecked(controlKey(factory::kEraseFull), true);
    init.setEnabled(controlKey(factory::kEraseFull), false);
    init.setVisible(controlKey(factory::kEraseSectors), false);
    init.setVisible(controlKey(factory::kEraseNone), false);
    init.setText(controlKey(factory::kStartAddress), q("1F00"));

    PageModel& cfg = page(page::kConfigList);
    const QStringList icNames{q("EP39H01D"), q("EP39H01C"), q("EP39H01AC"), q("EP39H01CR")};
    struct ListInit {
        int id;
        QStringList items;
        int entry;
    };
    const ListInit lists[] = {
        {charger::kOcp, {q("关闭"), q("20%"), q("25%"), q("30%")}, 1},
        {charger::kPower,
         {q("18W/0"), q("20W/1"), q("25W/2"), q("30W/3"), q("33W/4"), q("45W/5"), q("60W/6"), q("65W/7")},
         1},
        {charger::kCableCompensation, {q("不线补"), q("60mV"), q("80mV"), q("100mV")}, 1},
        {charger::kQcClass, {q("20V(Class B)"), q("12V(Class A)"), q(" 9V(Class A)")}, 1},
        {charger::kIcName, icNames, 0},
        {charger::kIcNameChk, icNames, 0},
        {charger::kDischargeTime, {q("0ms"), q("10ms"), q("30ms"), q("50ms")}, 3},
        {charger::kPowerSave, {q("不休眠"), q("200ms"), q("500ms"), q("1000ms")}, 2},
    };
    for (const auto& l : lists) {
        cfg.setItems(controlKey(l.id), l.items);
        cfg.setCurrent(controlKey(l.id), l.entry);
    }
    for (int id : {charger::kPrintSwitch, charger::kShortCircuit, charger::kOverVoltage})
        cfg.setChecked(controlKey(id), true);
    for (int id : {charger::kDApple, charger::kAcApple}) cfg.setChecked(controlKey(id), false);
    for (int id : {charger::kIcNameChk, charger::kShortCircuit, charger::kOverVoltage, charger::kPowerSave})
        cfg.setEnabled(controlKey(id), false);
    cfg.setVisible(controlKey(charger::kPdoText), false);
    const std::string configList = settings_.readText("KELVOR", "ConfigList");
    if (!configList.empty()) applyConfigList(configList);
    if (settings_.readNumber("KELVOR", "EncryList") == 1) lockEncryptedControls();

    if (qcMode) qc_->startUp();
}

void CQORVENDlg::applyConfigList(const std::string& text) {
    PageModel& cfg = page(page::kConfigList);
    jobs::ChargerSelections s = jobs::chargerSelections(cfg);
    jobs::applyConfigList(text, s);
    jobs::showChargerSelections(cfg, s);
}

void CQORVENDlg::lockEncryptedControls() {
    PageModel& cfg = page(page::kConfigList);
    for (int id : {charger::kIcName, charger::kPrintSwitch, charger::kOcp, charger::kShortCircuit, charger::kDApple,
                   charger::kAcApple, charger::kQcClass, charger::kCableCompensation})
        cfg.setEnabled(controlKey(id), false);
}

void CQORVENDlg::firstStartDefaults() {
    settings_.writeText("KELVOR", "FileOpenPath", imagePath.toStdString());
    settings_.writeText("KELVOR", "UIDD", "FFFFFFFF");
    settings_.writeText("KELVOR", "UIDS", "FFFFFFFF");
    settings_.writeText("KELVOR", "FREQ", "5");
    settings_.writeText("KELVOR", "DEVICE", "EP2702");
    settings_.writeText("KELVOR", "VOL", "4.500");
    mainModel().setText(controlKey(1039), imagePath);
}

namespace {

std::vector<std::string> readRecent(SettingsStore& s, const char* countKey, const char* pathKey) {
    const int n = s.readNumber("OpenFile", countKey);
    auto list = recentFileList(n, s.readText("OpenFile", pathKey));
    if (!list) {
        s.writeText("OpenFile", countKey, "");
        s.writeText("OpenFile", pathKey, "");
        return {};
    }
    return *list;
}

} // namespace

void CQORVENDlg::restoreSettings() {
    imagePath = q(settings_.readText("KELVOR", "FileOpenPath"));
    mainModel().setText(controlKey(1039), imagePath);

    recentHex = readRecent(settings_, "FileCountHex", "FilePathHex");
    recentBin = readRecent(settings_, "FileCountBin", "FilePathBin");
    recentEeprom = readRecent(settings_, "FileCountEEprom", "FilePathEEprom");
    recentFactory = readRecent(settings_, "FileCountInitConfig", "FilePathInitConfig");
    if (!recentHex.empty()) fillFileList(recentHex);
    jobs::showSideFiles(*this, jobs::SideFile::Eeprom);
    jobs::showSideFiles(*this, jobs::SideFile::Factory);

    PageModel& isp = page(page::kIsp);
    isp.setText(controlKey(1043), q(settings_.readText("KELVOR", "UIDD")));
    isp.setText(controlKey(1044), q(settings_.readText("KELVOR", "UIDS")));
    const int freq = leadingInt(settings_.readText("KELVOR", "FREQ"), 16);
    const bool freqOk = freq >= 0 && freq <= 8;
    isp.setCurrent(controlKey(1045), freqOk ? freq : -1);
    shared_.g_freqIndex = freqOk ? freq : -1;
    restoreStoredModel();
    // A burn with the auto-voltage box checked stores "AUTO": start as it was left, not with
    // "AUTO" as a typed voltage that the next job rejects.
    const QString voltage = q(settings_.readText("KELVOR", "VOL"));
    const bool autoVoltage = voltage == q("AUTO");
    isp.setChecked(controlKey(1065), autoVoltage);
    isp.setEnabled(controlKey(1032), !autoVoltage);
    if (autoVoltage) savedVoltageText.clear();
    isp.setText(controlKey(1032), voltage);
}

void CQORVENDlg::fillFileList(const std::vector<std::string>& list) {
    PageModel& main = mainModel();
    const QStringList items = toQ(list);
    main.setItems(controlKey(1039), items);
    if (items.isEmpty()) return;
    main.setDropWidth(controlKey(1039), dropWidthFor(items));
    // The bar shows imagePath, the file a job burns, even when the first recent entry differs.
    main.setCurrent(controlKey(1039), static_cast<int>(items.indexOf(imagePath)));
    main.setText(controlKey(1039), imagePath);
}

// ---------------------------------------------------------------------------------------------
// Notifications and commands

long CQORVENDlg::sendMessage(int message, long wParam, long lParam) {
    switch (message) {
    case WM_LINK_CONNECT: link_->onLinkConnect(); break;
    case WM_FW_ENTER_IAP: link_->onFwEnterIap(); break;
    case WM_FW_DOWNLOAD: link_->onFwDownload(); break;
    case WM_IMAGE_CHECK: return onImageCheck();
    case WM_PROGRAM: onProgram(); break;
    case WM_RESULT_FAIL: onResult(false); break;
    case WM_RESULT_PASS: onResult(true); break;
    case WM_PROGRAM_MODE: {
        const auto f = selectedFamily();
        programMode = (f == chips::Family::EP8505_IN || f == chips::Family::EP8505) ? static_cast<int>(wParam) : 1;
        sendMessage(WM_PROGRAM);
        programMode = 0;
        break;
    }
    case WM_CONTROLS_ENABLE: onControlsEnable(); break;
    case WM_COUNT_CLEAR: link_->onCountClear(wParam, lParam); break;
    case WM_DETECT_RESULT: link_->onDetectResult(); break;
    case WM_CHIP_RESET: link_->onChipReset(); break;
    case WM_QC_PRECHECK: qc_->onPrecheck(); break;
    case WM_QC_RESULT: qc_->onResult(); break;
    case WM_QC_STATS_REQUEST: qc_->onStatsRequest(); break;
    case WM_QC_STATS: qc_->onStats(); break;
    default: break;
    }
    return 0;
}

void CQORVENDlg::onResult(bool pass) {
    PageModel& isp = page(page::kIsp);
    isp.setImage(controlKey(1033), pass ? face::kOk : face::kNg);
    isp.setVisible(controlKey(1033), true);
    // A run gives its buttons back when the programmer has finished reporting the burn.
    if (!link_->runInProgress()) enableRunButtons(true);
}

void CQORVENDlg::onControlsEnable() {
    // Every report sends this; during a run the buttons wait for its end.
    if (!link_->runInProgress()) enableRunButtons(true);
    page(page::kBoot).setEnabled(boot::kDownload, false);
}

void CQORVENDlg::enableRunButtons(bool on) {
    PageModel& isp = page(page::kIsp);
    page(page::kStpg).setEnabled("btnOffline", on);
    for (int m = 1; m <= 6; ++m) {
        page(page::kStpg8505).setEnabled(QStringLiteral("btnMode%1").arg(m), on);
        page(page::kStpg8505Out).setEnabled(QStringLiteral("btnMode%1").arg(m), on);
    }
    isp.setEnabled(controlKey(1021), on);
    // "烧录" needs an open link, and the model that programs only offline keeps it off.
    const bool burnAllowed = link_->linkOpen() && !(selected && selected->model == "EP39H01");
    isp.setEnabled(controlKey(1042), on && burnAllowed);
}

void CQORVENDlg::runStarted() {
    page(page::kIsp).setImage(controlKey(1033), face::kBusy);
    enableRunButtons(false);
}

void CQORVENDlg::runEnded() { enableRunButtons(true); }

void CQORVENDlg::clearResult() {
    page(page::kIsp).setImage(controlKey(1033), face::kIdle);
    mainModel().setText(controlKey(1041), q("CKSUM:"));
    mainModel().setCurrent(controlKey(1037), 0);
}

void CQORVENDlg::menuCommand(int command) {
    switch (command) {
    case cmd::kSoundPrompt: soundPrompt = !soundPrompt; return;
    case cmd::kExit: emit closeRequested(); return;
    case cmd::kHelp: prompter().showHelp(); return;
    case cmd::kAbout:
    case cmd::kSystemAbout: prompter().showAbout(); return;
    case cmd::kAutoDetect: link_->onAutoDetect(); return;
    case cmd::kChinese:
    case cmd::kEnglish: {
        const QString chosen = command == cmd::kEnglish ? kLanguageEnglish : kLanguageChinese;
        if (chosen == language) return;
        language = chosen;
        // A settings file that refuses the write says so in the log; the window switches anyway.
        settings_.writeText("KELVOR", "LANGUAGE", chosen.toStdString());
        emit languageChanged(language);
        return;
    }
    default: break;
    }
    if (const auto* row = chips::findCommand(command)) selectModel(*row);
}

bool CQORVENDlg::menuChecked(int command) const {
    if (command == cmd::kSoundPrompt) return soundPrompt;
    if (command == cmd::kExit) return true;
    if (command == cmd::kChinese) return language == kLanguageChinese;
    if (command == cmd::kEnglish) return language == kLanguageEnglish;
    const auto* row = chips::findCommand(command);
    if (!row) return false;
    return chips::menuChecked(*row, settings_.readText("KELVOR", "DEVICE"), familyFlags);
}

void CQORVENDlg::connectPages() {
    PageModel& main = mainModel();
    connect(&main, &PageModel::chosen, this, [this](const QString& key, int index) {
        if (key == controlKey(1008)) switchPage(index);
        else if (key == controlKey(1039)) chooseListEntry(index);
    });
    connect(&main, &PageModel::clicked, this, [this](const QString& key) {
        if (key == controlKey(1030)) chooseFile();
    });
    connect(&main, &PageModel::confirmed, this, [this](const QString& key) {
        if (key == controlKey(1039)) confirmTypedPath();
    });
    // Typed text that was not confirmed is not what a job burns: the bar goes back to imagePath.
    connect(&main, &PageModel::left, this, [this, &main](const QString& key) {
        if (key == controlKey(1039)) main.setText(key, imagePath);
    });

    PageModel& isp = page(page::kIsp);
    connect(&isp, &PageModel::clicked, this, [this, &isp](const QString& key) {
        if (key == controlKey(1021)) {
            sendMessage(WM_LINK_CONNECT);
        } else if (key == controlKey(1042)) {
            sendMessage(WM_PROGRAM);
        } else if (key == controlKey(1052)) {
            sendMessage(WM_CHIP_RESET);
        } else if (key == controlKey(1065)) {
            // Auto voltage: the field shows "AUTO" while the box is checked.
            if (isp.isChecked(key)) {
                savedVoltageText = isp.text(controlKey(1032));
                isp.setText(controlKey(1032), q("AUTO"));
                isp.setEnabled(controlKey(1032), false);
            } else {
                isp.setText(controlKey(1032), savedVoltageText);
                isp.setEnabled(controlKey(1032), true);
            }
        }
    });

    PageModel& fw = page(page::kBoot);
    connect(&fw, &PageModel::clicked, this, [this, &fw](const QString& key) {
        if (key == boot::kEnterIap) {
            qcFirmwareRequest = 0;
            // Shown and enabled before the handler runs, so that a download it starts (which
            // disables both buttons) is not overruled; hidden until now, it is the second step.
            fw.setVisible(boot::kDownload, true);
            fw.setEnabled(boot::kDownload, true);
            sendMessage(WM_FW_ENTER_IAP);
        } else if (key == boot::kDownload) {
            fw.setEnabled(boot::kDownload, false);
            sendMessage(WM_FW_DOWNLOAD);
        }
    });

    connect(&page(page::kStpg), &PageModel::clicked, this, [this](const QString& key) {
        if (key == "btnOffline") sendMessage(WM_PROGRAM_MODE, 0, 0);
    });
    PageModel& p8505 = page(page::kStpg8505);
    connect(&p8505, &PageModel::clicked, this, [this, &p8505](const QString& key) {
        if (!key.startsWith("btnMode")) return;
        sendMessage(WM_PROGRAM_MODE, key.mid(7).toInt(), 0);
        for (int m = 1; m <= 6; ++m) p8505.setEnabled(QStringLiteral("btnMode%1").arg(m), false);
    });
    connect(&page(page::kStpg8505Out), &PageModel::clicked, this, [this](const QString& key) {
        if (key.startsWith("btnMode")) sendMessage(WM_PROGRAM_MODE, key.mid(7).toInt(), 0);
    });
}

} // namespace kelvor
