// jobs/job.h and the image headers ahead of the Qt headers: image_check.h has a member named like
// Qt's `slots` macro.
#include "jobs/job.h"
#include "image/readers.h"

#include "link/station/firmware_update.h"

#include "base/strfmt.h"
#include "link/station/link.h"
#include "link/station/transfer.h"
#include "qc/page_controls.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <climits>
#include <vector>

namespace kelvor::link {
namespace {

constexpr int kEnterRetryMs = 100;
constexpr int kQcFirmwareDelayMs = 500;

// Files chosen on the firmware tab end in "bin", as the file bar insists.
bool isFirmwareName(const QString& path) { return path.endsWith(QStringLiteral("bin"), Qt::CaseSensitive); }

} // namespace

FirmwareUpdate::FirmwareUpdate(CQORVENDlg& controller, Link& link) : c_(controller), link_(link) {
    returnTimer_.setSingleShot(true);
    connect(&returnTimer_, &QTimer::timeout, this, [this] {
        if (!awaitingReturn_) return;
        awaitingReturn_ = false;
        returnTimedOut_ = true;
        // The pending flag stays: a programmer that turns up later still gets its firmware.
        const int seconds = static_cast<int>((returnTimeout.count() + 999) / 1000);
        c_.log().windowLog(strfmt(firmware_text::kNoReturn, seconds));
        endButtons();
        emit returnWaitExpired();
    });
}

std::optional<std::string> FirmwareUpdate::fileProblem(const QString& path) {
    if (path.isEmpty() || !isFirmwareName(path)) return std::string(firmware_text::kNoFirmwareFile);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) return strfmt(image::msg::kFileOpenFail, path.toStdString().c_str());
    if (info.size() == 0) return std::string(transfer_text::kFirmwareEmpty);
    if (info.size() > kFirmwareMaxBytes)
        return strfmt(transfer_text::kFirmwareTooLong, static_cast<int>(std::min<qint64>(info.size(), INT_MAX)));
    return std::nullopt;
}

FirmwareUpdate::Entered FirmwareUpdate::enterBootLoader() {
    auto done = [this](Entered e) { return lastEntered_ = e; };
    // 1-2
    c_.log().windowLog(kLogSeparator);
    if (!link_.linkOpen()) {
        c_.log().windowLog(firmware_text::kNeedLink);
        return done(Entered::LinkClosed);
    }
    // Command 9 in the middle of a burn would leave the chip half written.
    if (link_.transfers().busy()) {
        c_.log().windowLog(transfer_text::kBusy);
        return done(Entered::Busy);
    }
    // A programmer sent to its boot loader without firmware to take would stay there: the file is
    // checked first. The QC firmware is chosen when the programmer is back.
    if (c_.qcFirmwareRequest == 0) {
        if (auto problem = fileProblem(c_.imagePath)) {
            c_.log().eventLog(*problem);
            endButtons();
            return done(Entered::BadFile);
        }
        updateFile_ = c_.imagePath;
    }
    // 3-5
    link_.globals().g_fwUpdatePending = 1;
    returnTimedOut_ = false;
    Programmer& p = link_.programmer();
    if (p.zepIap(9, 0, 0, 0) != 0) {
        c_.log().windowLog(firmware_text::kEnterFailed);
        return done(Entered::CommandFailed);
    }
    QThread::msleep(kEnterRetryMs);
    if (p.zepIap(9, 0, 0, 0) != 0) {
        c_.log().windowLog(firmware_text::kEnterFailed);
        return done(Entered::CommandFailed);
    }
    // 6: a programmer that restarts into its boot loader has left the bus; the connect that
    // follows its return continues the update.
    if (p.isConnected() == 0) {
        awaitReturn();
        return done(Entered::AwaitingReturn);
    }
    continueUpdate();
    return done(Entered::Continued);
}

bool FirmwareUpdate::downloadCurrentImage() {
    updateFile_ = c_.imagePath;
    if (awaitingReturn_) {
        // The programmer is away until a connect ends the wait, whatever the link still says.
        c_.log().windowLog(firmware_text::kStartsOnReturn);
        return false;
    }
    return download(updateFile_);
}

void FirmwareUpdate::onConnected() {
    if (awaitingReturn_) {
        awaitingReturn_ = false;
        returnTimer_.stop();
    }
    continueUpdate();
}

void FirmwareUpdate::continueUpdate() {
    // The QC request names this update's file, so it takes the place of the pending download: one
    // download per connect, never two racing for the one transfer record.
    if (c_.qcFirmwareRequest != 0) {
        c_.qcFirmwareRequest = 0;
        QThread::msleep(kQcFirmwareDelayMs);
        if (c_.page(page::kQcConfig).current(controlKey(qcconfig::kFirmwareList)) == 0) {
            c_.imagePath = QDir(c_.programDir()).filePath(QString::fromUtf8(kQcFirmwareFile.data(),
                                                                            static_cast<qsizetype>(kQcFirmwareFile.size())));
            updateFile_ = c_.imagePath;
            download(updateFile_);
        }
        return;
    }
    // The flag stays set until the new firmware has been started, so a download cut short (the
    // programmer lost power, say) starts again at the next connect.
    if (link_.globals().g_fwUpdatePending == 1) download(updateFile_.isEmpty() ? c_.imagePath : updateFile_);
}

bool FirmwareUpdate::download(const QString& path) {
    Reporter& log = c_.reporter();
    if (auto problem = fileProblem(path)) {
        log.eventLog(kLogSeparator);
        log.eventLog(*problem);
        endButtons();
        return false;
    }
    // 1
    image::ImageBuffers& buffers = c_.imageState().buffers;
    if (!image::loadRawImage(path.toStdString(), buffers, log)) {
        endButtons();
        return false;
    }
    if (!link_.linkOpen()) {
        log.eventLog(jobs::kLinkClosed);
        endButtons();
        return false;
    }
    // 2-4
    PageModel& fw = c_.page(page::kBoot);
    fw.setEnabled(boot::kEnterIap, false);
    fw.setEnabled(boot::kDownload, false);
    c_.mainModel().setCurrent(controlKey(1037), 0);
    const std::uint8_t* area = buffers.programArea();
    std::vector<std::uint8_t> bytes(area, area + std::clamp<std::int32_t>(buffers.rawLength, 0, kFirmwareMaxBytes));
    if (!link_.transfers().startFirmware(std::move(bytes))) {
        endButtons();
        return false;
    }
    return true;
}

void FirmwareUpdate::awaitReturn() {
    // The second button stays as the first left it: pressed now, it says the download will start
    // when the programmer is back.
    c_.page(page::kBoot).setEnabled(boot::kEnterIap, false);
    c_.log().windowLog(firmware_text::kAwaitingReturn);
    awaitingReturn_ = true;
    returnTimer_.start(returnTimeout);
}

void FirmwareUpdate::endButtons() {
    PageModel& fw = c_.page(page::kBoot);
    fw.setEnabled(boot::kEnterIap, true);
    fw.setEnabled(boot::kDownload, false);
}

} // namespace kelvor::link
