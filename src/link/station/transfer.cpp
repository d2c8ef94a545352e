// jobs/job.h ahead of the Qt headers: image_check.h has a member named like Qt's `slots` macro.
#include "jobs/job.h"
#include "link/station/transfer.h"

#include "base/strfmt.h"
#include "image/checksums.h"

#include <algorithm>
#include <array>

namespace kelvor::link {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// Chip variants enable both buttons on every failure; the firmware and offline-block records end
// with the first button only (the operator restarts from the first step).
bool isChipKind(TransferKind k) { return k != TransferKind::Firmware && k != TransferKind::OfflineBlock; }

int roundUpToBlock(int n) { return (n + kBlockBytes - 1) / kBlockBytes * kBlockBytes; }

// Handshake values written before a wait, and the answers that let it go on.
constexpr std::uint8_t kWaitPagedStart = 5;
constexpr std::uint8_t kWaitPage = 11;
constexpr std::uint8_t kWaitPagedFinal = 8;
constexpr std::uint8_t kWaitFirmwareBlock = 2;
constexpr std::uint8_t kWaitOfflineBlock = 14;
constexpr std::uint8_t kOfflineStart = 13;
constexpr std::uint8_t kSideDataSent = 1;
constexpr std::uint8_t kFirmwareStart = 1;

bool pagedStartOk(std::uint8_t v) { return v == 4; }
bool pageOk(std::uint8_t v) { return v == 10; }
bool firmwareBlockOk(std::uint8_t v) { return v != 3; }
// 15 is the programmer's checksum refusal; 3 comes with its flash erase, write, verify and
// offline-checksum errors, which must not pass for a stored block either.
bool offlineBlockOk(std::uint8_t v) { return v != 15 && v != 3; }

} // namespace

bool plainMovesProgress(chips::Family family) {
    using chips::Family;
    switch (family) {
    case Family::EP2706:
    case Family::EP27C42:
    case Family::EP2707:
    case Family::EP27F01:
    case Family::EP27F02:
    case Family::EP406: return false;
    default: return true;
    }
}

TransferKind transferKind(jobs::TransferVariant variant) {
    switch (variant) {
    case jobs::TransferVariant::Plain: return TransferKind::Plain;
    case jobs::TransferVariant::Paged: return TransferKind::Paged;
    case jobs::TransferVariant::OfflineBlock: return TransferKind::OfflineBlock;
    case jobs::TransferVariant::Eeprom: return TransferKind::Eeprom;
    case jobs::TransferVariant::UserData: return TransferKind::UserData;
    }
    return TransferKind::Plain;
}

// One transfer of one record, run on the queue's worker thread. Every step returns Done to go on;
// any other outcome has already written its text or line, and the caller runs the ending.
class Transfer {
public:
    Transfer(TransferQueue& q, const TransferJob& job)
        : c_(q.c_), p_(*q.programmer_), g_(q.g_), t_(q.timing_), abort_(q.abort_), inSend_(q.inSend_),
          onBurnCommand_(q.onBurnCommand), job_(job) {}

    TransferOutcome run() {
        switch (job_.kind) {
        case TransferKind::Plain: return plain();
        case TransferKind::Paged: return paged();
        case TransferKind::OfflineBlock: return offlineBlock();
        case TransferKind::Firmware: return firmware();
        case TransferKind::Eeprom: return eeprom();
        case TransferKind::UserData: return userData();
        }
        return TransferOutcome::Refused;
    }

private:
    using Outcome = TransferOutcome;
    static constexpr Outcome Done = Outcome::Done;

    // --- variants -------------------------------------------------------------------------------

    Outcome plain() {
        g_.g_timeBase = now();
        const bool moves = job_.chunkProgress;
        int sent = 0;
        if (auto o = chunks(job_.bytes.data(), job_.length(), 0, sent, moves ? kPlainProgressBase : 0, t_.chunkPause);
            o != Done)
            return fail(o);
        if (auto o = startProgramming(job_.modeValue != 0 ? 2 : 1); o != Done) return fail(o, o == Outcome::Failed);
        // The verdict is the programmer's: the end of the data shows no face.
        standardEnding(moves);
        return Done;
    }

    Outcome paged() {
        g_.g_timeBase = now();
        const int length = job_.length();
        if (auto refusal = jobs::pagedLengthError(length)) {
            line(*refusal);
            return fail(Outcome::Refused);
        }
        const std::uint8_t* data = job_.bytes.data();
        const int program = length - jobs::kTailBytes;
        const std::uint8_t* tail = data + program;
        // 1-3: start, the parameter half of the tail, begin paged programming.
        if (auto o = startProgramming(job_.modeValue != 0 ? 2 : 1); o != Done) return fail(o);
        if (auto o = send(0, 64, data + length - 66); o != Done) return fail(o);
        pause(t_.sendPause);
        // 4: the waiting value is written before the command, so an answer that comes at once is
        // never overwritten and lost.
        arm(kWaitPagedStart);
        if (auto o = command(12, 0, 0, 0); o != Done) return fail(o);
        if (auto o = await(kWaitPagedStart, t_.pagedPoll, pagedStartOk); o != Done) return fail(o);
        if (job_.modeValue == 0) {
            arm(kWaitPagedStart);
            if (auto o = await(kWaitPagedStart, t_.pagedPoll, pagedStartOk); o != Done) return fail(o);
        }
        // 5: whole pages, each announced with its CRC and acknowledged.
        int sent = 0;
        int pageAddress = 0;
        for (; pageAddress < program; pageAddress += jobs::kPageBytes) {
            const std::uint8_t* page = data + pageAddress;
            if (auto o = chunks(page, jobs::kPageBytes, 0, sent, length, t_.sendPause); o != Done) return fail(o);
            const int crc = image::crc16Xmodem(page, jobs::kPageBytes);
            arm(kWaitPage);
            if (auto o = command(10, pageAddress, jobs::kPageBytes, crc); o != Done) return fail(o);
            if (auto o = await(kWaitPage, t_.pagedPoll, pageOk); o != Done) return fail(o);
        }
        // 6: the tail.
        if (auto o = send(0, jobs::kTailBytes, tail); o != Done) return fail(o);
        pause(t_.sendPause);
        arm(kWaitPagedFinal);
        if (auto o = command(11, pageAddress, jobs::kTailBytes, image::crc16Xmodem(tail, jobs::kTailBytes)); o != Done)
            return fail(o);
        if (auto o = await(kWaitPagedFinal, t_.pagedPoll, pageOk); o != Done) return fail(o);
        // 7
        setProgress(100);
        line(strfmt(transfer_text::kPagedProgrammed, 0));
        line(transfer_text::kPagedDoneLine);
        const std::uint32_t end = now();
        g_.g_lastEventTick = end;
        g_.g_timeBase = end;
        setEnabled(job_.firstButton, true);
        setEnabled(job_.secondButton, true);
        return Done;
    }

    Outcome offlineBlock() {
        g_.g_timeBase = now();
        const int mode = job_.modeValue;
        if (auto o = startProgramming(30 + mode); o != Done) return fail(o, o == Outcome::Failed);
        std::vector<std::uint8_t> image = job_.bytes;
        image.resize(static_cast<std::size_t>(roundUpToBlock(job_.length())), 0xFF);
        const int padded = static_cast<int>(image.size());
        g_.setLinkState(kOfflineStart);
        int sent = 0;
        for (int address = 0; address < padded; address += kBlockBytes) {
            const std::uint8_t* block = image.data() + address;
            if (auto o = chunks(block, kBlockBytes, 0, sent, padded, t_.chunkPause); o != Done) return fail(o);
            if (auto o = linkStillOpen(); o != Done) return fail(o);
            arm(kWaitOfflineBlock);
            // The programmer answers through its status reports; the call's own result says nothing.
            p_.zepIap(14, address, kBlockBytes, image::imageCrc(block, kBlockBytes));
            if (auto o = await(kWaitOfflineBlock, t_.blockPoll, offlineBlockOk); o != Done) return fail(o);
        }
        if (mode > 0) {
            const int crc = image::imageCrc(image.data(), image.size());
            if (auto o = command(mode <= 3 ? 1 : 2, padded, mode, crc); o != Done) return fail(o);
        }
        standardEnding(true);
        setEnabled(job_.firstButton, true);
        setEnabled(job_.secondButton, true);
        notify(WM_CONTROLS_ENABLE);
        return Done;
    }

    Outcome firmware() {
        g_.g_timeBase = now();
        const int rawLength = job_.length();
        if (rawLength == 0) {
            // Starting an empty application would leave the programmer without firmware.
            line(transfer_text::kFirmwareEmpty);
            return fail(Outcome::Refused);
        }
        if (rawLength > kFirmwareMaxBytes) {
            line(strfmt(transfer_text::kFirmwareTooLong, rawLength));
            return fail(Outcome::Refused);
        }
        const std::uint16_t rawCrc = image::imageCrc(job_.bytes.data(), job_.bytes.size());
        std::vector<std::uint8_t> image = job_.bytes;
        image.resize(static_cast<std::size_t>(roundUpToBlock(rawLength)), 0xFF);
        const int padded = static_cast<int>(image.size());
        g_.setLinkState(kFirmwareStart);
        int sent = 0;
        for (int address = 0; address < padded; address += kBlockBytes) {
            const std::uint8_t* block = image.data() + address;
            if (auto o = chunks(block, kBlockBytes, 0, sent, padded, t_.chunkPause); o != Done) return fail(o);
            arm(kWaitFirmwareBlock);
            if (auto o = command(5, address, kBlockBytes, image::imageCrc(block, kBlockBytes)); o != Done)
                return fail(o);
            if (auto o = await(kWaitFirmwareBlock, t_.blockPoll, firmwareBlockOk); o != Done) return fail(o);
        }
        arm(kWaitFirmwareBlock);
        if (auto o = command(6, 0, rawLength, rawCrc); o != Done) return fail(o);
        if (auto o = await(kWaitFirmwareBlock, t_.blockPoll, firmwareBlockOk); o != Done) return fail(o);
        standardEnding(true);
        Outcome result = Done;
        if (auto o = linkStillOpen(); o != Done) {
            result = o;
        } else {
            // Cleared before the call: a programmer that restarts at once may be connected again
            // before the call has returned here, and that connect must not download once more.
            const int pending = g_.g_fwUpdatePending.exchange(0);
            if (p_.zepIap(7, 0, 0, 0) != 0) {
                g_.g_fwUpdatePending = pending; // the flag stays: the next connect downloads again
                line(transfer_text::kUsbSendError);
                result = Outcome::Failed;
            } else {
                line(transfer_text::kJumpToApplication);
            }
        }
        if (result == Outcome::Aborted) return result;
        setEnabled(job_.firstButton, true);
        setEnabled(job_.secondButton, false);
        return result;
    }

    Outcome eeprom() {
        const int length = job_.length();
        if (auto o = command(19, 0, length, 0); o != Done) return fail(o);
        g_.setLinkState(kSideDataSent);
        if (auto o = send(0, length, job_.bytes.data()); o != Done) return fail(o);
        pause(t_.sendPause);
        line(transfer_text::kEepromDone);
        return Done;
    }

    Outcome userData() {
        const int length = job_.length();
        if (length > jobs::kUserDataMaxBytes) {
            // The programmer takes one 256-byte block; more would run past it.
            line(strfmt(transfer_text::kUserDataTooLong, length));
            return fail(Outcome::Refused);
        }
        if (auto o = command(21, job_.modeValue, length, 0); o != Done) return fail(o);
        std::array<std::uint8_t, jobs::kUserDataMaxBytes> block{};
        std::copy(job_.bytes.begin(), job_.bytes.end(), block.begin());
        g_.setLinkState(kSideDataSent);
        if (auto o = send(0, length, block.data()); o != Done) return fail(o);
        return Done;
    }

    // --- steps ----------------------------------------------------------------------------------

    // Checked before every programmer call and on every poll, so a long transfer ends soon after
    // the link closes (the programmer's removal closes it too).
    Outcome linkStillOpen() {
        if (abort_) return Outcome::Aborted;
        if (g_.g_linkOpen == 0) {
            line(strfmt(transfer_text::kLinkClosed, sinceTimeBase()));
            return Outcome::LinkClosed;
        }
        return Done;
    }

    Outcome send(int offset, int n, const std::uint8_t* data) {
        if (auto o = linkStillOpen(); o != Done) return o;
        if (p_.otpSend(offset, n, data) != 0) {
            line(transfer_text::kSendError);
            return Outcome::Failed;
        }
        return Done;
    }

    Outcome command(int cmd, int a, int b, int c) {
        if (auto o = linkStillOpen(); o != Done) return o;
        if (p_.zepIap(cmd, a, b, c) != 0) {
            line(transfer_text::kUsbSendError);
            return Outcome::Failed;
        }
        return Done;
    }

    Outcome startProgramming(int mode) {
        if (auto o = linkStillOpen(); o != Done) return o;
        if (onBurnCommand_) onBurnCommand_();
        if (p_.setZep(mode) != 0) {
            line(transfer_text::kOtpSendError);
            return Outcome::Failed;
        }
        return Done;
    }

    // count bytes in chunks of at most 256; offsets count from `offset`. The bar moves against
    // `base` (0: not at all) by the bytes sent in the whole transfer.
    Outcome chunks(const std::uint8_t* data, int count, int offset, int& sent, int base, microseconds pauseAfter) {
        for (int done = 0; done < count;) {
            const int n = std::min(kChunkBytes, count - done);
            if (auto o = send(offset + done, n, data + done); o != Done) return o;
            done += n;
            sent += n;
            if (base > 0) setProgress(static_cast<int>(static_cast<long long>(sent) * 100 / base));
            pause(pauseAfter);
        }
        return Done;
    }

    void arm(std::uint8_t waiting) { g_.setLinkState(waiting); }

    // Re-reads g_linkState until it differs from the waiting value. Ends also when the link
    // closes, when the queue is destroyed, and when no answer comes within the timeout.
    Outcome await(std::uint8_t waiting, microseconds poll, bool (*success)(std::uint8_t)) {
        const auto deadline = Clock::now() + t_.ackTimeout;
        for (;;) {
            const std::uint8_t v = g_.g_linkState;
            if (v != waiting) return success(v) ? Done : Outcome::Failed;
            if (auto o = linkStillOpen(); o != Done) return o;
            if (Clock::now() >= deadline) {
                line(strfmt(transfer_text::kAckTimeout, sinceTimeBase()));
                return Outcome::TimedOut;
            }
            if (poll.count() > 0)
                std::this_thread::sleep_for(poll);
            else
                std::this_thread::yield();
        }
    }

    void pause(microseconds d) {
        if (d.count() > 0) std::this_thread::sleep_for(d);
    }

    void standardEnding(bool progressStep) {
        if (progressStep) setProgress(100);
        const std::uint32_t end = now();
        g_.g_lastEventTick = end;
        line(strfmt(transfer_text::kDownloadDone, static_cast<int>(end - g_.g_timeBase)));
        g_.g_timeBase = end;
    }

    // The variant's failure ending: buttons only; the text or line is already written.
    Outcome fail(Outcome o, bool setZepFailed = false) {
        if (o == Outcome::Aborted) return o;
        if (isChipKind(job_.kind) || setZepFailed) {
            setEnabled(job_.firstButton, true);
            // A closed link has disabled "烧录" itself; it stays so until the link opens again.
            if (o != Outcome::LinkClosed) setEnabled(job_.secondButton, true);
        } else {
            setEnabled(job_.firstButton, true);
            setEnabled(job_.secondButton, false);
        }
        return o;
    }

    // --- reporting, all delivered to the UI thread -------------------------------------------

    std::uint32_t now() const { return t_.ticks ? t_.ticks() : tickCount(); }
    int sinceTimeBase() const { return static_cast<int>(now() - g_.g_timeBase); }

    // Failure texts too: an event log line keeps the operator's history in the pane.
    void line(std::string_view text) {
        if (job_.logPane) job_.logPane->eventLog(text);
    }

    void setProgress(int position) {
        // Only changes are delivered: a 64 KB image would otherwise queue 256 identical updates.
        if (position == lastProgress_ || job_.progressBar.page.isEmpty()) return;
        lastProgress_ = position;
        CQORVENDlg& c = c_;
        c.ui().post([&c, ref = job_.progressBar, position] { c.page(ref.page).setCurrent(ref.key, position); });
    }

    void setEnabled(const ControlRef& ref, bool on) {
        if (ref.page.isEmpty()) return;
        CQORVENDlg& c = c_;
        c.ui().post([&c, ref, on] { c.page(ref.page).setEnabled(ref.key, on); });
    }

    // Synchronous: the controller's handler has run when this returns (or the window is closing).
    void notify(int message) {
        // Paired with the destructor: either it sees inSend_ and releases this send, or this sees
        // abort_ and does not send.
        inSend_ = true;
        if (!abort_) {
            CQORVENDlg& c = c_;
            c.ui().send([&c, message] { c.sendMessage(message); });
        }
        inSend_ = false;
    }

    CQORVENDlg& c_;
    Programmer& p_;
    LinkGlobals& g_;
    const TransferTiming& t_;
    const std::atomic<bool>& abort_;
    std::atomic<bool>& inSend_;
    const std::function<void()>& onBurnCommand_;
    const TransferJob& job_;
    int lastProgress_ = -1;
};

// --- the queue ------------------------------------------------------------------------------------

TransferQueue::TransferQueue(CQORVENDlg& controller, std::shared_ptr<Programmer> programmer, LinkGlobals& globals,
                             TransferTiming timing)
    : c_(controller), programmer_(std::move(programmer)), g_(globals), timing_(std::move(timing)) {}

TransferQueue::~TransferQueue() {
    abort_ = true;
    if (worker_.joinable()) {
        // A worker waiting for the UI thread (this one) is released by closing the dispatcher.
        if (inSend_) c_.ui().shutdown();
        worker_.join();
    }
}

bool TransferQueue::start(std::vector<jobs::TransferRequest> requests) {
    const bool movesProgress = plainMovesProgress(c_.selectedFamily());
    std::vector<TransferJob> jobs;
    jobs.reserve(requests.size());
    for (auto& r : requests) {
        TransferJob j;
        j.kind = transferKind(r.variant);
        j.progressBar = {page::kMain, controlKey(1037)};
        j.logPane = &c_.log();
        j.modeValue = r.modeValue;
        j.bytes = std::move(r.bytes);
        j.chunkProgress = movesProgress;
        jobs.push_back(std::move(j));
    }
    return startRun(std::move(jobs));
}

bool TransferQueue::startFirmware(std::vector<std::uint8_t> firmware) {
    TransferJob j;
    j.kind = TransferKind::Firmware;
    j.firstButton = {page::kBoot, boot::kEnterIap};
    j.secondButton = {page::kBoot, boot::kDownload};
    j.progressBar = {page::kMain, controlKey(1037)};
    j.logPane = &c_.log();
    j.bytes = std::move(firmware);
    std::vector<TransferJob> jobs;
    jobs.push_back(std::move(j));
    return startRun(std::move(jobs));
}

bool TransferQueue::startRun(std::vector<TransferJob> jobs) {
    if (busy_) {
        c_.log().windowLog(transfer_text::kBusy);
        return false;
    }
    // The previous worker has finished its last step; collect it.
    if (worker_.joinable()) worker_.join();
    if (jobs.empty()) return true;
    busy_ = true;
    worker_ = std::thread([this, jobs = std::move(jobs)]() mutable { run(std::move(jobs)); });
    return true;
}

void TransferQueue::run(std::vector<TransferJob> jobs) {
    auto isChipImage = [](const TransferJob& j) {
        return j.kind == TransferKind::Plain || j.kind == TransferKind::Paged || j.kind == TransferKind::OfflineBlock;
    };
    TransferOutcome last = TransferOutcome::Done;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const TransferJob& job = jobs[i];
        if (isChipImage(job) && onChipImage) onChipImage(std::make_shared<const std::vector<std::uint8_t>>(job.bytes));
        last = Transfer(*this, job).run();
        if (last == TransferOutcome::Done) continue;
        if (last != TransferOutcome::Aborted &&
            std::any_of(jobs.begin() + static_cast<std::ptrdiff_t>(i) + 1, jobs.end(), isChipImage) && job.logPane)
            job.logPane->eventLog(transfer_text::kChipNotSent);
        break;
    }
    busy_ = false;
    if (onRunFinished && last != TransferOutcome::Aborted)
        c_.ui().post([this, last] {
            if (onRunFinished) onRunFinished(last);
        });
}

} // namespace kelvor::link
