#include "link/station/link.h"

#include "base/strfmt.h"
#include "jobs/job.h"
#include "link/station/firmware_update.h"
#include "link/station/transfer.h"

#include <QThread>

#include <chrono>
#include <cstring>

namespace kelvor::link {
namespace {


bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

int toMessage(Notification n) {
    switch (n) {
    case Notification::ResultFail: return WM_RESULT_FAIL;
    case Notification::ResultPass: return WM_RESULT_PASS;
    case Notification::ControlsEnable: return WM_CONTROLS_ENABLE;
    case Notification::DetectResult: return WM_DETECT_RESULT;
    case Notification::QcResult: return WM_QC_RESULT;
    case Notification::QcStats: return WM_QC_STATS;
    }
    return 0;
}

} // namespace

std::uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::array<std::uint8_t, 6> LinkGlobals::detectReply() const {
    std::lock_guard lock(repliesLock_);
    return detectReply_;
}
std::array<std::uint8_t, 15> LinkGlobals::qcReply() const {
    std::lock_guard lock(repliesLock_);
    return qcReply_;
}
std::array<std::uint16_t, 12> LinkGlobals::qcErrorStats() const {
    std::lock_guard lock(repliesLock_);
    return qcErrorStats_;
}

Link::Link(CQORVENDlg& controller, std::shared_ptr<Programmer> programmer, std::unique_ptr<DeviceEventSource> events,
           double transferPace)
    : c_(controller), programmer_(std::move(programmer)), events_(std::move(events)) {
    TransferTiming timing;
    auto scaled = [transferPace](std::chrono::microseconds d) {
        return std::chrono::microseconds(static_cast<std::int64_t>(static_cast<double>(d.count()) * transferPace));
    };
    timing.chunkPause = scaled(timing.chunkPause);
    timing.sendPause = scaled(timing.sendPause);
    transfers_ = std::make_unique<TransferQueue>(c_, programmer_, g_, std::move(timing));
    transfers_->onChipImage = [this](std::shared_ptr<const std::vector<std::uint8_t>> image) {
        setLastTransferImage(std::move(image));
    };
    transfers_->onBurnCommand = [this] {
        std::lock_guard lock(judgeLock_);
        judge_.burnCommand();
    };
    transfers_->onRunFinished = [this](TransferOutcome o) { onTransfersFinished(o); };
    c_.startTransfers = [this](std::vector<jobs::TransferRequest> requests) { return startJob(std::move(requests)); };
    // Runs never overlap: the next job waits until the programmer has finished reporting the last.
    c_.transfersBusy = [this] { return transfers_->busy() || runInProgress(); };
    runTimer_ = new QTimer(this);
    runTimer_->setInterval(50);
    connect(runTimer_, &QTimer::timeout, this, &Link::pumpRun);
    firmware_ = std::make_unique<FirmwareUpdate>(c_, *this);
}

Link::~Link() {
    c_.setLinkHooks(nullptr);
    c_.startTransfers = nullptr;
    c_.transfersBusy = nullptr;
    programmer_->setDeviceEventSink(nullptr);
    // Receivers leave their loop at the next turn; sends to a closed window return at once.
    g_.g_linkOpen = 0;
    ++generation_;
    c_.ui().shutdown();
    firmware_.reset();
    transfers_.reset();
    for (auto& r : receivers_)
        if (r.thread.joinable()) r.thread.join();
}

void Link::setUp() {
    programmer_->setDeviceId(kDeviceFilter);
    programmer_->getDllVersion();
    // Events may come from any thread; they are handled on the UI thread.
    const bool fromProgrammer = programmer_->setDeviceEventSink([this](const DeviceEvent& e) {
        c_.ui().post([this, e] { onDeviceEvent(e); });
    });
    const bool registered =
        fromProgrammer || (events_ && events_->start([this](const DeviceEvent& e) { onDeviceEvent(e); }));
    if (!registered) c_.log().windowLog("\r\nERROR: Unable to register device notification.");
    for (const auto& note : startupNotes) c_.log().windowLog(note);
    if (programmer_->simulated()) {
        // Nobody should take a simulated burn for a real one.
        c_.mainModel().setText("title", c_.mainModel().text("title") + QStringLiteral(" - 模拟烧录器(非真实烧录)"));
        c_.log().windowLog("注意: 当前使用模拟烧录器, 芯片不会被真正烧录!");
    }
    if (BenchControls* bench = programmer_->benchControls()) {
        // The operator has put the remembered model's chip in before the start-up connect asks the
        // socket what it holds; without a settings file nothing is remembered.
        if (c_.settings().exists())
            if (const auto* row = c_.storedModel()) bench->modelSelected(row->model);
        showSocket();
    }
    c_.mainModel().setCurrent(controlKey(1037), 0);
    linkHandle_ = -1;
}

void Link::connectAtStartUp() {
    enumerate();
    if (c_.deviceCount >= 1) onLinkConnect();
}

void Link::enumerate() {
    const int v = programmer_->getDeviceCount();
    c_.deviceCount = v & 0xFF;
    c_.deviceIndex = v >> 8;
    devicePresent_ = c_.deviceCount;
    c_.log().windowLog(strfmt("共找到%d个设备!", c_.deviceCount));
}

void Link::setConnectCaption(bool open) {
    c_.page(page::kIsp).setText(controlKey(1021), open ? QStringLiteral("烧录器断开") : QStringLiteral("烧录器连接"));
}

void Link::onLinkConnect() {
    PageModel& isp = c_.page(page::kIsp);
    // 1-2
    c_.log().windowLog(kLogSeparator);
    g_.g_progressByReport = 1;
    // 3: close
    if (g_.g_linkOpen) {
        programmer_->closeDevice(linkHandle_);
        setConnectCaption(false);
        isp.setEnabled(controlKey(1030), false);
        isp.setEnabled(controlKey(1042), false);
        g_.g_linkOpen = 0;
        g_.g_receiverRunning = 0;
        c_.log().eventLog("设备关闭成功!\n");
        return;
    }
    // 4-5: open
    enumerate();
    if (programmer_->isConnected() == 0) {
        linkHandle_ = -1;
        if (devicePresent_ == 0) {
            c_.log().windowLog("请插入USB设备!\n");
            return;
        }
        const int handle = programmer_->openDevice(c_.deviceIndex);
        if (handle == -1) {
            if (programmer_->lastOsError() == kErrorAlreadyOpen) {
                c_.log().eventLog("打开设备失败：设备已经被打开!\n");
                programmer_->closeDevice(-1);
            } else {
                c_.log().eventLog("打开设备失败!\n");
            }
            c_.log().windowLog("请插入USB设备!\n");
            return;
        }
        linkHandle_ = handle;
        c_.log().eventLog("打开设备成功!\n");
    }
    // 6
    programmer_->setLed(1, 0);
    if (programmer_->uartConfig(9) != 0) {
        c_.log().eventLog("设备打开错误!\n");
        return;
    }
    // 7
    c_.log().eventLog("设备打开正常!\n");
    g_.g_linkOpen = 1;
    setConnectCaption(true);
    isp.setEnabled(controlKey(1030), true);
    isp.setEnabled(controlKey(1042), c_.selectedModel() == nullptr || c_.selectedModel()->model != "EP39H01");
    // 8
    if (programmer_->zepIap(8, 0, 0, 0) != 0) {
        c_.log().eventLog("USB通讯错误!\n");
        return;
    }
    // 9
    startReceiver();
    c_.log().eventLog("USB设备已打开!\n");
    // 10-11: a pending firmware update continues; the QC firmware request is taken.
    firmware_->onConnected();
    // 12
    g_.g_hwVersionSeen = 0;
    QThread::msleep(20);
    if (programmer_->zepIap(17, 0, 0, 0) != 0) c_.log().eventLog("自动检测失败!\n");
}

void Link::startReceiver() {
    g_.g_receiverRunning = 1;
    // The first report's "%dms" counts from the open link, not from the machine's boot.
    g_.g_timeBase = tickCount();
    const std::uint64_t gen = ++generation_;
    // A receiver of an earlier open sees the new generation and ends at its next turn, so two
    // receivers never share the link. Those that have ended are joined here, the rest when the
    // link goes.
    std::erase_if(receivers_, [](Receiver& r) {
        if (!r.ended->load()) return false;
        r.thread.join();
        return true;
    });
    auto ended = std::make_shared<std::atomic<bool>>(false);
    receivers_.push_back({std::thread([this, gen, ended] {
                              receiveLoop(gen);
                              ended->store(true);
                          }),
                          ended});
}

void Link::receiveLoop(std::uint64_t generation) {
    std::array<std::uint8_t, kReportSize + 1> buffer{};
    std::uint8_t spare = 0;
    auto current = [&] { return g_.g_linkOpen != 0 && generation_ == generation; };
    while (current()) {
        const auto before = std::chrono::steady_clock::now();
        if (programmer_->otpRecv(&spare, buffer.data()) != 0) {
            // A library that returns at once without a report must not make this loop spin.
            if (std::chrono::steady_clock::now() - before < std::chrono::milliseconds(2))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const std::uint32_t now = tickCount();
        ReceiverState st;
        st.passCount = g_.g_passCount;
        st.failCount = g_.g_failCount;
        st.hwVersionSeen = g_.g_hwVersionSeen != 0;
        st.progressByReport = g_.g_progressByReport != 0;
        st.timeBase = g_.g_timeBase;
        st.lastEventTick = g_.g_lastEventTick;
        {
            std::lock_guard lock(g_.repliesLock_);
            st.detectReply = g_.detectReply_;
            st.qcReply = g_.qcReply_;
            st.qcErrorStats = g_.qcErrorStats_;
        }
        std::shared_ptr<const std::vector<std::uint8_t>> image;
        {
            std::lock_guard lock(imageLock_);
            image = lastImage_;
        }
        ReportContext ctx;
        ctx.model = c_.shared().selectedRow.load();
        ctx.freqIndex = c_.shared().g_freqIndex;
        ctx.programPresses = g_.g_programPresses;
        if (image) ctx.transferImage = std::span<const std::uint8_t>(image->data(), image->size());

        const std::span<const std::uint8_t, kReportSize> report(buffer.data(), kReportSize);
        ReportReading reading;
        auto effects = decodeReport(report, now, st, ctx, &reading);
        const ReportFacts facts = reportFacts(report, effects);
        Judgement judged;
        {
            std::lock_guard lock(judgeLock_);
            judged = judge_.onReport(facts, now);
        }
        effects = effectsFor(judged, std::move(effects));
        if (RunObserver* o = observer_)
            o->reportRead(reading, judged, facts.fail || (judged.role == ReportRole::Verdict && !judged.pass));

        g_.g_passCount = st.passCount;
        g_.g_failCount = st.failCount;
        g_.g_hwVersionSeen = st.hwVersionSeen ? 1 : 0;
        g_.g_progressByReport = st.progressByReport ? 1 : 0;
        g_.g_lastEventTick = st.lastEventTick;
        {
            std::lock_guard lock(g_.repliesLock_);
            g_.detectReply_ = st.detectReply;
            g_.qcReply_ = st.qcReply;
            g_.qcErrorStats_ = st.qcErrorStats;
        }
        const bool applied = applyEffects(effects, judged.role);
        if (judged.role == ReportRole::Verdict) {
            std::lock_guard lock(judgeLock_);
            judge_.delivered();
        }
        if (!applied) break;
        g_.g_timeBase = st.timeBase;
        c_.ui().post([this] { pumpRun(); });
    }
    if (generation_ == generation) g_.g_receiverRunning = 0;
    c_.ui().post([this] { emit receiverStopped(); if (removalPending_) finishRemoval(); });
}

bool Link::applyEffects(const std::vector<Effect>& effects, ReportRole role) {
    UiDispatcher& ui = c_.ui();
    bool sounded = false, gaveVerdict = false;
    for (const auto& e : effects) {
        switch (e.kind) {
        case Effect::Kind::EventLog: c_.log().eventLog(e.text); break;
        case Effect::Kind::LinkState: g_.setLinkState(static_cast<std::uint8_t>(e.value)); break;
        case Effect::Kind::Progress: {
            const int v = e.value;
            ui.post([this, v] { c_.mainModel().setCurrent(controlKey(1037), v); });
            break;
        }
        case Effect::Kind::Sound: {
            const auto s = e.sound() == Sound::Error ? kelvor::Sound::Error : kelvor::Sound::Default;
            ui.post([this, s] { c_.prompter().play(s); });
            sounded = true;
            break;
        }
        case Effect::Kind::EnableBoth:
            ui.post([this] {
                c_.page(page::kBoot).setEnabled(boot::kEnterIap, true);
                c_.page(page::kBoot).setEnabled(boot::kDownload, true);
            });
            break;
        case Effect::Kind::Notify: {
            const int message = toMessage(e.notification());
            // "启用声音提示": a chip verdict that comes without a sound gets the OK or NG sound.
            // Verdict reports back to back are one chip's (a failure code, then "芯片烧录失败"):
            // it is heard once.
            if (message == WM_RESULT_PASS || message == WM_RESULT_FAIL) {
                if (!sounded && !verdictHeard_) {
                    const auto s = message == WM_RESULT_PASS ? kelvor::Sound::Default : kelvor::Sound::Error;
                    ui.post([this, s] { if (c_.soundPrompt) c_.prompter().play(s); });
                }
                gaveVerdict = true;
            }
            // Synchronous: the handler runs before the next report is read.
            if (!ui.send([this, message, role] {
                    if (message == WM_RESULT_PASS || message == WM_RESULT_FAIL)
                        if (RunObserver* o = observer_) o->verdictTaken(message == WM_RESULT_PASS, RunEnd::Judged, role);
                    c_.sendMessage(message);
                    if (message == WM_RESULT_PASS || message == WM_RESULT_FAIL) emit verdict(message == WM_RESULT_PASS);
                }))
                return false;
            break;
        }
        }
    }
    verdictHeard_ = gaveVerdict;
    return true;
}

void Link::onDeviceEvent(const DeviceEvent& e) {
    if (e.path.empty()) return;
    PageModel& isp = c_.page(page::kIsp);
    const bool prefixOk = e.path.compare(0, kInterfacePrefix.size(), kInterfacePrefix) == 0;
    const bool hid = e.classGuid == kHidClassGuid;
    if (e.kind == DeviceEvent::Kind::Removal && hid) {
        if (prefixOk) {
            c_.log().windowLog("USB设备被拔出!");
            setConnectCaption(false);
            isp.setEnabled(controlKey(1030), false);
        } else {
            c_.log().windowLog("compare faild");
        }
        if (equalsNoCase(e.path, programmer_->devicePathName())) {
            if (linkHandle_ != -1) programmer_->closeDevice(linkHandle_);
            c_.log().windowLog("设备被拔出!");
            enumerate();
            g_.g_linkOpen = 0;
            isp.setEnabled(controlKey(1042), false);
            // The receive thread may be waiting on this very thread for a notification: never block
            // here. The closing lines follow once it has stopped.
            if (g_.g_receiverRunning) {
                removalPending_ = true;
            } else {
                finishRemoval();
            }
        }
    } else if (e.kind == DeviceEvent::Kind::Arrival && hid) {
        if (prefixOk) {
            c_.log().windowLog("USB设备被插入!");
            enumerate();
            onLinkConnect();
        } else {
            c_.log().windowLog("compare faild");
        }
    }
}

void Link::finishRemoval() {
    removalPending_ = false;
    c_.log().windowLog("USB设备已关闭!");
    setConnectCaption(false);
    c_.page(page::kIsp).setEnabled(controlKey(1030), false);
}

void Link::modelSelected(const chips::ModelRow& row) {
    if (BenchControls* bench = programmer_->benchControls()) {
        bench->modelSelected(row.model);
        showSocket();
    }
}

void Link::showSocket() {
    BenchControls* bench = programmer_->benchControls();
    if (!bench) return;
    const std::string model = bench->socketModel();
    QString text = QStringLiteral("模拟插座: ") + (model.empty() ? QStringLiteral("空") : QString::fromStdString(model));
    if (bench->socketChoice() == "auto") text += QStringLiteral(" (跟随型号)");
    c_.mainModel().setText(kSocketKey, text);
    c_.mainModel().setVisible(kSocketKey, true);
}

void Link::onChipReset() {
    c_.log().windowLog(programmer_->setZep(13) == 0 ? "复位芯片成功!" : "复位芯片失败!");
}

void Link::onAutoDetect() {
    if (programmer_->zepIap(17, 0, 0, 0) != 0) c_.log().windowLog("自动检测失败!\n");
}

void Link::onDetectResult() {
    const auto v = g_.detectReply();
    ++detectAnswers;
    lastDetectedId = -1;
    lastDetectSelected = false;
    if (v[0] != 0 || v[1] != 0) return;
    lastDetectedId = v[2] * 256 + v[3];
    if (lastDetectedId == 0) {
        c_.log().windowLog("未检测到芯片，请确保连线无误!\n");
        return;
    }
    lastDetectSelected = c_.selectByDetectedId(lastDetectedId);
}

void Link::onCountClear(long seq, long millivolts) {
    if (programmer_->zepIap(23, static_cast<int>(seq), static_cast<int>(millivolts), 0) != 0)
        c_.log().windowLog("清除烧录计数失败!\n");
}

bool Link::runInProgress() const {
    std::lock_guard lock(judgeLock_);
    return judge_.inProgress();
}

void Link::setRunBounds(std::uint32_t verdictMs, std::uint32_t quietMs) {
    verdictBoundMs_ = verdictMs;
    quietBoundMs_ = quietMs;
}

bool Link::startJob(std::vector<jobs::TransferRequest> requests) {
    const jobs::TransferRequest* chip = nullptr;
    for (const auto& r : requests)
        if (r.variant == jobs::TransferVariant::Plain || r.variant == jobs::TransferVariant::Paged ||
            r.variant == jobs::TransferVariant::OfflineBlock)
            chip = &r;
    if (chip) {
        if (transfers_->busy() || runInProgress()) {
            c_.log().windowLog(transfer_text::kBusy);
            return false;
        }
        RunPlan plan = runPlan(chip->variant, chip->modeValue, jobs::jobFamily(c_.selectedFamily()));
        if (verdictBoundMs_) plan.verdictMs = verdictBoundMs_;
        if (quietBoundMs_) plan.quietMs = quietBoundMs_;
        {
            std::lock_guard lock(judgeLock_);
            judge_.begin(plan, tickCount());
        }
        if (RunObserver* o = observer_) o->runBegun();
        c_.runStarted();
        runTimer_->start();
    }
    if (transfers_->start(std::move(requests))) return true;
    if (chip) {
        {
            std::lock_guard lock(judgeLock_);
            judge_.cancel();
        }
        if (RunObserver* o = observer_) o->runCancelled();
        runTimer_->stop();
        c_.runEnded();
    }
    return false;
}

void Link::onTransfersFinished(TransferOutcome outcome) {
    std::optional<bool> taken;
    {
        std::lock_guard lock(judgeLock_);
        taken = judge_.transferEnded(outcome == TransferOutcome::Done, outcome == TransferOutcome::LinkClosed,
                                     tickCount(), outcome == TransferOutcome::Refused);
    }
    if (taken)
        showVerdict(*taken, outcome == TransferOutcome::Done         ? RunEnd::Judged
                            : outcome == TransferOutcome::LinkClosed ? RunEnd::LinkClosed
                            : outcome == TransferOutcome::Refused    ? RunEnd::TransferRefused
                                                                     : RunEnd::TransferFailed);
    pumpRun();
}

void Link::showVerdict(bool pass, RunEnd how) {
    if (RunObserver* o = observer_) o->verdictTaken(pass, how, ReportRole::Verdict);
    c_.sendMessage(pass ? WM_RESULT_PASS : WM_RESULT_FAIL);
    emit verdict(pass);
}

void Link::pumpRun() {
    std::optional<RunResult> ended;
    {
        std::lock_guard lock(judgeLock_);
        ended = judge_.poll(tickCount(), g_.g_linkOpen != 0);
    }
    if (!ended) return;
    runTimer_->stop();
    if (ended->end == RunEnd::TimedOut)
        c_.log().eventLog(strfmt(run_text::kVerdictTimeout, static_cast<int>(tickCount() - g_.g_timeBase)));
    if (ended->judgedAtEnd) showVerdict(false, ended->end);
    c_.runEnded();
    if (RunObserver* o = observer_) o->runEnded(*ended);
    emit runFinished(*ended);
}

void Link::onFwEnterIap() { firmware_->enterBootLoader(); }

void Link::onFwDownload() { firmware_->downloadCurrentImage(); }

void Link::setLastTransferImage(std::shared_ptr<const std::vector<std::uint8_t>> image) {
    std::lock_guard lock(imageLock_);
    lastImage_ = std::move(image);
}

} // namespace kelvor::link
