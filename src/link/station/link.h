#pragma once
// The programmer link of the station: set-up, enumeration, the connect handler, device arrival and
// removal, the one-shot commands and the receive thread that turns status reports into log lines,
// progress, counters and notifications.
#include "app/station/controller.h"
#include "link/device_event.h"
#include "link/programmer.h"
#include "link/report_decoder.h"
#include "link/run_judge.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvor::link {

// Values shared by the UI thread, the receive thread and the transfer threads.
struct LinkGlobals {
    std::atomic<int> g_linkOpen{0};
    std::atomic<int> g_receiverRunning{0};
    std::atomic<std::uint8_t> g_linkState{0};
    std::mutex g_linkStateLock; // every write of g_linkState takes it
    std::atomic<std::uint32_t> g_timeBase{0};
    std::atomic<std::uint32_t> g_lastEventTick{0};
    std::atomic<int> g_hwVersionSeen{0};
    std::atomic<int> g_fwUpdatePending{0};
    std::atomic<int> g_progressByReport{0};
    std::atomic<int> g_programPresses{0};
    std::atomic<int> g_passCount{0};
    std::atomic<int> g_failCount{0};

    void setLinkState(std::uint8_t v) {
        std::lock_guard lock(g_linkStateLock);
        g_linkState = v;
    }

    // The reply arrays; the controller reads them in the handlers of the notifications that announce them.
    std::array<std::uint8_t, 6> detectReply() const;
    std::array<std::uint8_t, 15> qcReply() const;
    std::array<std::uint16_t, 12> qcErrorStats() const;

private:
    friend class Link;
    mutable std::mutex repliesLock_;
    std::array<std::uint8_t, 6> detectReply_{};
    std::array<std::uint8_t, 15> qcReply_{};
    std::array<std::uint16_t, 12> qcErrorStats_{};
};

// Where the operating system's arrival and removal events come from (udev). A programmer that
// raises its own events (the simulated one) takes precedence.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    // Delivers events on the UI thread from then on; false when registration failed.
    virtual bool start(std::function<void(const DeviceEvent&)> deliver) = 0;
};

// Milliseconds of a monotonic clock, wrapping like a 32-bit tick counter.
std::uint32_t tickCount();

// Watches the runs for whoever keeps records of them. Installed once, before the link opens.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // UI thread: a job's chip run begins (its transfer is about to start), or did not start after all.
    virtual void runBegun() {}
    virtual void runCancelled() {}
    // Receive thread: every report as the receiver read it, with the role the run gave it;
    // `failed` is a fail ending or the refusal that made the run's failure verdict.
    virtual void reportRead(const ReportReading&, const Judgement&, bool failed) {}
    // UI thread: a verdict is taken; the OK or NG face shows when this returns. `how` is the run's
    // end when the end itself gave it (timeout, closed link, failed or completed transfer);
    // `role` is Outside for the programmer's stand-alone results.
    virtual void verdictTaken(bool pass, RunEnd how, ReportRole role) {}
    // UI thread: the run is over.
    virtual void runEnded(const RunResult&) {}
};

class TransferQueue;
enum class TransferOutcome : std::uint8_t;
class FirmwareUpdate;

class Link : public QObject, public LinkHooks {
    Q_OBJECT
public:
    // `transferPace` scales the transfers' pauses (ProgrammerChoice::transferPace).
    Link(CQORVENDlg& controller, std::shared_ptr<Programmer> programmer, std::unique_ptr<DeviceEventSource> events,
         double transferPace = 1.0);
    ~Link() override;

    LinkGlobals& globals() { return g_; }
    Programmer& programmer() { return *programmer_; }
    std::shared_ptr<Programmer> programmerPtr() { return programmer_; }
    int linkHandle() const { return linkHandle_; }
    TransferQueue& transfers() { return *transfers_; }
    FirmwareUpdate& firmware() { return *firmware_; }

    // LinkHooks
    void setUp() override;
    void connectAtStartUp() override;
    void onLinkConnect() override;
    void onChipReset() override;
    void onAutoDetect() override;
    void onDetectResult() override;
    void onCountClear(long seq, long millivolts) override;
    void onFwEnterIap() override;
    void onFwDownload() override;
    bool linkOpen() const override { return g_.g_linkOpen != 0; }
    bool hwVersionSeen() const override { return g_.g_hwVersionSeen != 0; }
    void setProgressByReport(bool on) override { g_.g_progressByReport = on ? 1 : 0; }
    void countProgramPress() override { ++g_.g_programPresses; }
    void modelSelected(const chips::ModelRow& row) override;
    int zepIap(int command) override { return programmer_->zepIap(command, 0, 0, 0); }
    std::array<std::uint8_t, 15> qcReply() const override { return g_.qcReply(); }
    std::array<std::uint16_t, 12> qcErrorStats() const override { return g_.qcErrorStats(); }

    // The status line's note of the chip in the simulated socket (main-window key kSocketKey),
    // refreshed whenever the station or the 模拟器 menu may have changed it.
    static inline const QString kSocketKey = QStringLiteral("simSocket");
    void showSocket();
    bool runInProgress() const override;

    void onDeviceEvent(const DeviceEvent& e);
    void enumerate();

    // The bytes of the last chip image sent, for the OTP position checks of the receiver.
    void setLastTransferImage(std::shared_ptr<const std::vector<std::uint8_t>> image);
    // Auto-detect answers handled so far, and the identifier of the last one (-1: ignored answer,
    // 0: no chip); for the command line.
    int detectAnswers = 0;
    int lastDetectedId = -1;
    bool lastDetectSelected = false;
    // Receive threads not yet joined: the live one and any still ending.
    std::size_t receiverThreads() const { return receivers_.size(); }
    // Window log lines written at set-up, after the banner: which programmer, and any problem.
    std::vector<std::string> startupNotes;

    // UI thread. Starts a job's transfers; a job with a chip image starts a run, which ends when
    // the programmer has finished reporting its burn (or by its bounds). False when a run or a
    // transfer is still in progress; nothing starts then.
    bool startJob(std::vector<jobs::TransferRequest> requests);
    void setRunObserver(RunObserver* o) { observer_ = o; }
    // Bounds of the runs to come instead of the family's (tests: a silent programmer ends soon).
    void setRunBounds(std::uint32_t verdictMs, std::uint32_t quietMs);

signals:
    void receiverStopped();
    // A chip's verdict, once per run: the programmer's first pass or fail ending, or the failure
    // of its transfer, a closed link or a timeout. Also the programmer's stand-alone results.
    void verdict(bool pass);
    // The run is over: the programmer has finished reporting it, the buttons are back.
    void runFinished(const kelvor::link::RunResult& result);

private:
    void onTransfersFinished(TransferOutcome outcome);
    void pumpRun();
    void showVerdict(bool pass, RunEnd how);
    void startReceiver();
    void receiveLoop(std::uint64_t generation);
    bool applyEffects(const std::vector<Effect>& effects, ReportRole role);
    void finishRemoval();
    void setConnectCaption(bool open);

    CQORVENDlg& c_;
    std::shared_ptr<Programmer> programmer_;
    std::unique_ptr<DeviceEventSource> events_;
    LinkGlobals g_;
    int linkHandle_ = -1;
    int devicePresent_ = 0;
    bool removalPending_ = false;
    // Receive thread only: the last report gave a verdict (see applyEffects).
    bool verdictHeard_ = false;
    std::atomic<std::uint64_t> generation_{0};
    struct Receiver {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended; // set by the thread as it returns
    };
    // Ended receivers are joined at the next open, so that a long run of re-plugs keeps no threads.
    std::vector<Receiver> receivers_;
    std::unique_ptr<TransferQueue> transfers_;
    std::unique_ptr<FirmwareUpdate> firmware_;
    std::mutex imageLock_;
    std::shared_ptr<const std::vector<std::uint8_t>> lastImage_;
    // The run in progress; the receive, transfer and UI threads all consult it.
    mutable std::mutex judgeLock_;
    RunJudge judge_;
    std::uint32_t verdictBoundMs_ = 0; // 0: the family's
    std::uint32_t quietBoundMs_ = 0;   // 0: kRunQuietMs
    QTimer* runTimer_ = nullptr;
    std::atomic<RunObserver*> observer_{nullptr};
};

} // namespace kelvor::link
