#pragma once
// The programmer's firmware update: the firmware page's two handlers (WM_FW_ENTER_IAP and
// WM_FW_DOWNLOAD) and what a connect does while an update is pending (the download continues, or
// the QC firmware is loaded). The download itself is the firmware variant of the transfer threads.
//
// A programmer that restarts into its boot loader leaves the bus and comes back: the download then
// starts from the connect that follows its return, and a return that does not come within
// returnTimeout is reported. The update file is remembered from the press that started the
// update, so a download that resumes on a later connect sends that file whatever the file bar
// shows by then.
#include "app/station/controller.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kelvor::link {

class Link;

namespace firmware_text {
inline constexpr std::string_view kNeedLink = "请使能烧录器连接";
inline constexpr std::string_view kEnterFailed = "固件下载模式进入失败!\n";
inline constexpr std::string_view kNoFirmwareFile = "请先在固件更新页选择以.bin为结尾的固件文件!";
inline constexpr std::string_view kAwaitingReturn = "烧录器正在重启进入Bootloader, 等待其重新连接...";
inline constexpr const char* kNoReturn = "等待烧录器Bootloader重新连接超时(%d秒), 固件未下载!";
inline constexpr std::string_view kStartsOnReturn = "烧录器尚未重新连接, 其返回后将自动开始固件下载";
} // namespace firmware_text

// Below the program directory.
inline constexpr std::string_view kQcFirmwareFile = "FirmWare/QC-2706.bin";

class FirmwareUpdate : public QObject {
    Q_OBJECT
public:
    enum class Entered {
        LinkClosed,     // "请使能烧录器连接": nothing changed
        Busy,           // a transfer is still running: nothing was sent
        BadFile,        // the update file cannot be sent; nothing went to the programmer
        CommandFailed,  // a command 9 failed
        AwaitingReturn, // the programmer left the bus to restart in its boot loader
        Continued,      // it stayed on the bus: the download ran at once
    };

    FirmwareUpdate(CQORVENDlg& controller, Link& link);

    // WM_FW_ENTER_IAP. Also the entry of the QC configuration page: it sets the controller's
    // qcFirmwareRequest and calls this; the QC firmware file is then chosen by the connect that
    // follows the programmer's return.
    Entered enterBootLoader();
    // WM_FW_DOWNLOAD: the current image path becomes the update file and is downloaded. False when
    // no transfer was started (its lines say why; the first button is enabled, the second not).
    // While the programmer restarts into its boot loader the download is left to its return.
    bool downloadCurrentImage();
    // Steps 10-11 of a successful connect, after the receive thread has started.
    void onConnected();

    // Why `path` cannot be sent as programmer firmware (the line to log); nullopt when it can.
    static std::optional<std::string> fileProblem(const QString& path);

    const QString& updateFile() const { return updateFile_; }
    Entered lastEntered() const { return lastEntered_; }
    bool awaitingReturn() const { return awaitingReturn_; }
    // The last wait for the programmer's return ended without it.
    bool returnTimedOut() const { return returnTimedOut_; }

    // How long the programmer may take to come back after command 9.
    std::chrono::milliseconds returnTimeout{10000};

signals:
    void returnWaitExpired();

private:
    void continueUpdate();
    bool download(const QString& path);
    void awaitReturn();
    void endButtons();

    CQORVENDlg& c_;
    Link& link_;
    QString updateFile_;
    Entered lastEntered_ = Entered::LinkClosed;
    bool awaitingReturn_ = false;
    bool returnTimedOut_ = false;
    QTimer returnTimer_;
};

} // namespace kelvor::link
