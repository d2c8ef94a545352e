#pragma once
// CQORVENDlg: the station's controller. It owns the controller state, the page models, the menus,
// the settings file and the log, and handles every operator command and notification on the UI
// thread. It has no widgets: the Qt main window and the CLI are views of it.
#include "app/station/station_dirs.h"
#include "base/log_format.h"
#include "base/notifications.h"
#include "base/station/control_model.h"
#include "base/station/event_log.h"
#include "base/station/prompter.h"
#include "base/station/settings_store.h"
#include "base/station/ui_dispatcher.h"
#include "chips/catalog.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvor::image {
struct ImageState;
}
namespace kelvor::jobs {
struct TransferRequest;
struct JobInputs;
struct JobContext;
struct JobResult;
}
namespace kelvor::qc {
class QcStation;
}

namespace kelvor {

namespace page {
inline const QString kMain = QStringLiteral("MainWindow");
inline const QString kIsp = QStringLiteral("CMyISP");
inline const QString kFuse = QStringLiteral("CMyFuse");
inline const QString kStpg = QStringLiteral("CmySTPG");
inline const QString kStpg8505 = QStringLiteral("CmySTPG_8505");
inline const QString kStpg8505Out = QStringLiteral("CmySTPG8505_OUT");
inline const QString kBoot = QStringLiteral("CMyBoot");
inline const QString kQcTest = QStringLiteral("QCTest");
inline const QString kQcConfig = QStringLiteral("QCTestConfig");
inline const QString kQcComm = QStringLiteral("CQCComm");
inline const QString kSetting = QStringLiteral("CMySeting");
inline const QString kInitConfig = QStringLiteral("CInitConfig");
inline const QString kConfigList = QStringLiteral("CConfig_List");
// The twelve pages in creation order.
QStringList all();
} // namespace page

// Images of the programming page's result face (control 1033).
namespace face {
inline const QString kOk = QStringLiteral("ok");
inline const QString kNg = QStringLiteral("ng");
inline const QString kBusy = QStringLiteral("busy"); // a run is in progress
inline const QString kIdle = QStringLiteral("idle"); // no verdict to show
} // namespace face

// Controls of the firmware page CMyBoot.
namespace boot {
inline const QString kEnterIap = QStringLiteral("btnEnterIap"); // "手动更新烧录固件"
inline const QString kDownload = QStringLiteral("btnDownload"); // "启动固件更新"
} // namespace boot

// Menu command ids of the main menu.
namespace cmd {
inline constexpr int kSoundPrompt = 32771;
inline constexpr int kChinese = 32773;
inline constexpr int kEnglish = 32774;
inline constexpr int kExit = 32775;
inline constexpr int kHelp = 32776;
inline constexpr int kAbout = 32798;
inline constexpr int kAutoDetect = 32801;
inline constexpr int kSystemAbout = 16;
} // namespace cmd

// The values of [KELVOR] LANGUAGE; anything else reads as Chinese, the station's own language.
inline constexpr char kLanguageChinese[] = "Chinese";
inline constexpr char kLanguageEnglish[] = "English";

// Values the worker threads read without a lock.
struct WorkerShared {
    std::array<std::atomic<int>, chips::kFamilyCount> g_familyFlags{};
    std::atomic<int> g_freqIndex{0};
    // The selected model's row, for the texts that depend on the exact model.
    std::atomic<const chips::ModelRow*> selectedRow{nullptr};
};

struct StationEnvironment {
    QString programDir;           // empty: the directory of the running program
    Prompter* prompter = nullptr; // required
    std::filesystem::path logFile = "zep.log";
    std::function<LocalTime()> clock;
};

// Hooks of the programmer link; the link subsystem installs them.
class LinkHooks {
public:
    virtual ~LinkHooks() = default;
    virtual void setUp() {}              // start-up: library, device events
    virtual void connectAtStartUp() {}   // start-up: enumerate, connect when present
    virtual void onLinkConnect() {}
    virtual void onChipReset() {}
    virtual void onAutoDetect() {}
    virtual void onDetectResult() {}
    virtual void onCountClear(long seq, long millivolts) {}
    virtual void onFwEnterIap() {}
    virtual void onFwDownload() {}
    virtual bool linkOpen() const { return false; }
    virtual bool hwVersionSeen() const { return false; }
    virtual void setProgressByReport(bool) {}
    virtual void countProgramPress() {}
    // After every selection of a model (menu, restore, auto-detect).
    virtual void modelSelected(const chips::ModelRow&) {}
    // A programming run is in progress: from its job's start until the programmer has finished
    // reporting the burn (or the run's bounds have ended it).
    virtual bool runInProgress() const { return false; }
    // A one-shot programmer command with zero arguments (the QC test 18, the statistics 20);
    // the library's 0 for success.
    virtual int zepIap(int) { return 1; } // no programmer: the command fails
    // The last QC reply and error statistics the programmer reported.
    virtual std::array<std::uint8_t, 15> qcReply() const { return {}; }
    virtual std::array<std::uint16_t, 12> qcErrorStats() const { return {}; }
};

class CQORVENDlg : public QObject {
    Q_OBJECT
public:
    explicit CQORVENDlg(StationEnvironment env, QObject* parent = nullptr);
    ~CQORVENDlg() override;

    void startUp();

    // Sends a notification to the controller and runs its handler (UI thread).
    long sendMessage(int message, long wParam = 0, long lParam = 0);
    // Menu commands (main menu, Device menu, system menu).
    void menuCommand(int command);
    // Check marks, evaluated each time a menu opens.
    bool menuChecked(int command) const;

    PageModel& page(const QString& name);
    PageModel& mainModel() { return page(page::kMain); }
    LogPane& logPane() { return pane_; }
    EventLog& log() { return log_; }
    Reporter& reporter() { return reporter_; }
    SettingsStore& settings() { return settings_; }
    UiDispatcher& ui() { return ui_; }
    Prompter& prompter() { return *env_.prompter; }
    WorkerShared& shared() { return shared_; }
    image::ImageState& imageState() { return *image_; }
    // Runs a job's transfers one after the other; installed by the link. Returns false when a
    // transfer is still running and nothing was started.
    std::function<bool(std::vector<jobs::TransferRequest>)> startTransfers;
    std::function<bool()> transfersBusy;
    // After every programming job has been prepared or refused, before its transfers start (the
    // production records take the run's inputs here).
    std::function<void(const jobs::JobInputs&, const jobs::JobContext&, const jobs::JobResult&)> jobRan;
    const QString& programDir() const { return programDir_; }
    const StationDirs& dirs() const { return dirs_; }
    void setLinkHooks(LinkHooks* hooks) { link_ = hooks ? hooks : &noLink_; }
    LinkHooks& link() { return *link_; }
    qc::QcStation& qc() { return *qc_; }

    // Chip selection.
    void selectModel(const chips::ModelRow& row);
    void restoreStoredModel();
    // The model the start-up restore selects from the stored DEVICE (nullptr: none). Without a
    // settings file the start-up selects nothing at all.
    const chips::ModelRow* storedModel() const;
    bool selectByDetectedId(int identifier);
    const chips::ModelRow* selectedModel() const;
    chips::Family selectedFamily() const;

    // The result face and the buttons of a run (called by the link). While a run is in progress
    // the face shows busy and no button starts another job; its end gives the buttons back.
    void runStarted();
    void runEnded();

    // Views.
    void switchPage(int tab);
    void chooseFile();
    void chooseListEntry(int index);
    // A path typed into the file list and confirmed with Enter.
    void confirmTypedPath();

    struct DeviceEntry {
        int command;
        QString text;
    };

    // Controller state, in declaration order.
    QString imagePath;
    QString settingsPath;
    std::vector<std::string> customKeys;
    std::vector<std::string> customNames;
    std::vector<std::string> recentHex;
    std::vector<std::string> recentBin;
    int qcMode = 0;
    std::array<int, 8> pageTab{-1, -1, -1, -1, -1, -1, -1, -1};
    int deviceCount = 0;
    int deviceIndex = 0;
    int programMode = 0;
    std::array<int, chips::kFamilyCount> familyFlags{};
    int subFlag39F06A = 0;
    int subFlag27F01A3 = 0;
    bool soundPrompt = false;
    // The window's language ([KELVOR] LANGUAGE, kLanguageChinese or kLanguageEnglish), chosen in the
    // Language menu. The station's own texts (models, logs, records, the CLI) never change with it.
    QString language;
    QVector<DeviceEntry> deviceMenu;
    // A key given on the command line wins over GENERALFUNCTION/IMAGEKEY.
    std::optional<std::array<std::uint8_t, 15>> imageKeyOverride;
    // Result code of the last job (jobs::JobCode), for front ends that report it.
    int lastJobCode = 0;
    // Page state beyond the controls.
    QString savedVoltageText;               // programming page, auto-voltage box
    QString eepromPath;                     // settings page
    std::vector<std::string> recentEeprom;  // settings page
    QString factoryPath;                    // factory configuration page
    std::vector<std::string> recentFactory; // factory configuration page
    // Firmware page: the QC configuration page sets it before it sends WM_FW_ENTER_IAP; the next
    // connect then downloads the QC firmware. The page's first button clears it.
    int qcFirmwareRequest = 0;
    // The model selected last (the construction default is EP2702's flag without a selection).
    const chips::ModelRow* selected = nullptr;

signals:
    void deviceMenuChanged();
    void languageChanged(const QString& language);
    void tabsChanged();
    void closeRequested();

private:
    void buildPages();
    void rebuildDeviceMenu();
    void applyCustomChipMode();
    void createTabs();
    void showInitialPage();
    void fillStartUpContents();
    void applyConfigList(const std::string& text);
    void lockEncryptedControls();
    void firstStartDefaults();
    void restoreSettings();
    void showPageIndex(int pageIndex);
    const QString& offlinePageFor(chips::Family f) const;
    bool onFirmwareTab();
    bool takeFile(const QString& path);
    void fillFileList(const std::vector<std::string>& list);
    void connectPages();
    void setFamily(const chips::ModelRow& row);
    void onResult(bool pass);
    void onControlsEnable();
    void enableRunButtons(bool on);
    void clearResult();
    int onImageCheck();
    void onProgram();
    void syncFusePage();
    void connectJobPages();

    StationEnvironment env_;
    QString programDir_;
    StationDirs dirs_;
    UiDispatcher ui_;
    LogPane pane_;
    EventLog log_;
    LogReporter reporter_;
    SettingsStore settings_;
    WorkerShared shared_;
    std::unique_ptr<image::ImageState> image_;
    std::map<QString, PageModel*> pages_;
    LinkHooks noLink_;
    LinkHooks* link_ = &noLink_;
    qc::QcStation* qc_ = nullptr; // a child of the controller
};

// The start-up contents of the lists.
QStringList frequencyItems();
int dropWidthFor(const QStringList& items);

} // namespace kelvor
