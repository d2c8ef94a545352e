#pragma once
// The transfer threads: a prepared image goes to the programmer in chunks of at most 256 bytes;
// pages and blocks are announced with programmer commands, the programmer's acknowledgements are
// awaited through g_linkState (answered by the receive thread), and the programmer is told to act.
// A TransferQueue runs the transfers of one job, one after the other, on one worker thread.
#include "app/station/controller.h"
#include "jobs/family_table.h"
#include "link/programmer.h"
#include "link/station/link.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace kelvor::jobs {
struct TransferRequest;
}

namespace kelvor::link {

enum class TransferKind : std::uint8_t { Plain, Paged, OfflineBlock, Firmware, Eeprom, UserData };

// A control of one of the controller's models, written only on the UI thread.
struct ControlRef {
    QString page;
    QString key;
};

// The record handed to a transfer. Each owns its bytes: no transfer shares a buffer with another
// one, with a later job or with the image buffers the UI thread refills.
struct TransferJob {
    TransferKind kind = TransferKind::Plain;
    ControlRef firstButton;
    ControlRef secondButton;
    ControlRef progressBar;
    EventLog* logPane = nullptr;
    // Chip: programMode (0 programs now, non-zero stores an offline image; EP8505: mode 1-6).
    // User data: the start address.
    int modeValue = 0;
    std::vector<std::uint8_t> bytes;
    // Plain variant: false for the families whose bar follows the programmer's stage reports.
    bool chunkProgress = true;

    int length() const { return static_cast<int>(bytes.size()); }
};

// Pauses pace the programmer's buffer; tests and benchmarks shorten them.
struct TransferTiming {
    std::chrono::microseconds chunkPause = std::chrono::milliseconds(10); // plain, offline block, firmware
    std::chrono::microseconds sendPause = std::chrono::milliseconds(15);  // paged sends, the EEPROM send
    std::chrono::microseconds pagedPoll = std::chrono::milliseconds(1);   // paged acknowledgements
    std::chrono::microseconds blockPoll = std::chrono::milliseconds(10);  // offline block and firmware
    // An acknowledgement that does not come within this ends the transfer.
    std::chrono::milliseconds ackTimeout = std::chrono::seconds(10);
    // Millisecond ticks of the "%dms" values; empty: tickCount().
    std::function<std::uint32_t()> ticks;
};

enum class TransferOutcome : std::uint8_t {
    Done,
    Failed,     // a programmer call failed or the programmer answered with a failure
    Refused,    // the data cannot be sent as it is; nothing went out
    LinkClosed, // the link closed (or the programmer was removed) during the transfer
    TimedOut,   // no acknowledgement within ackTimeout
    Aborted,    // the queue is being destroyed
};

namespace transfer_text {
inline constexpr std::string_view kSendError = "发送错误!\n";
inline constexpr std::string_view kUsbSendError = "USB发送错误!\n";
inline constexpr std::string_view kOtpSendError = "OTP发送错误!\n";
inline constexpr const char* kDownloadDone = "下载完毕! %dms\n";
inline constexpr const char* kPagedProgrammed = "芯片编程成功! %dms\n";
inline constexpr std::string_view kPagedDoneLine = "下载完毕!\n";
inline constexpr std::string_view kEepromDone = "EEprom数据发送完毕!\n";
inline constexpr std::string_view kJumpToApplication = "跳转至主程序\n";
inline constexpr const char* kAckTimeout = "等待烧录器应答超时! %dms\n";
inline constexpr const char* kLinkClosed = "烧录器连接已断开,传输中止! %dms\n";
inline constexpr const char* kUserDataTooLong = "出厂信息数据长度%d字节,超过256字节,不发送!";
inline constexpr std::string_view kFirmwareEmpty = "固件文件为空,不发送!";
inline constexpr const char* kFirmwareTooLong = "固件文件长度%d字节,超过65536字节,不发送!";
inline constexpr std::string_view kChipNotSent = "EEPROM/出厂信息数据发送失败,芯片程序未发送!";
// Window log line of a start refused because a run is still in progress.
inline constexpr std::string_view kBusy = "上一次烧录尚未结束，请稍候!";
} // namespace transfer_text

inline constexpr int kChunkBytes = 256;
inline constexpr int kBlockBytes = 2048;
inline constexpr int kPlainProgressBase = 65666; // 64 KB and the tail
inline constexpr int kFirmwareMaxBytes = 65536;

// The plain variant leaves the bar to the receive thread for these families.
bool plainMovesProgress(chips::Family family);

TransferKind transferKind(jobs::TransferVariant variant);

class TransferQueue {
public:
    TransferQueue(CQORVENDlg& controller, std::shared_ptr<Programmer> programmer, LinkGlobals& globals,
                  TransferTiming timing = {});
    // Ends a run in progress at its next step. A worker waiting for the UI thread in a synchronous
    // notification is released by shutting down the controller's dispatcher (as at exit).
    ~TransferQueue();
    TransferQueue(const TransferQueue&) = delete;
    TransferQueue& operator=(const TransferQueue&) = delete;

    // UI thread. Runs a job's transfers in order (EEPROM data, factory data, then the chip image).
    // The programming page's buttons are not in their records: they come back when the run is
    // over, once the programmer has finished reporting the burn. A transfer that does not end well
    // stops the run, so no chip image follows side data that did not arrive. Returns false and
    // writes the window log line kBusy, starting nothing, while a run is in progress.
    bool start(std::vector<jobs::TransferRequest> requests);
    // UI thread. The programmer's firmware from a raw file's bytes, with the firmware page's
    // buttons. Same refusal as start().
    bool startFirmware(std::vector<std::uint8_t> firmware);
    // True from a successful start until the run's last step (its notification included) is done.
    bool busy() const { return busy_; }
    // UI thread, while not busy(): the pauses and bounds of the transfers to come.
    void setTiming(TransferTiming timing) { timing_ = std::move(timing); }

    // Called on the worker thread just before a chip image goes out (the receiver's OTP position
    // checks read it); must be thread-safe.
    std::function<void(std::shared_ptr<const std::vector<std::uint8_t>>)> onChipImage;
    // Called on the worker thread just before a chip transfer's burn command (SET_ZEP): from then
    // on the programmer's reports are about this chip. Must be thread-safe.
    std::function<void()> onBurnCommand;
    // Called on the UI thread when a run has ended, with the outcome of its last transfer.
    std::function<void(TransferOutcome)> onRunFinished;

private:
    friend class Transfer;
    bool startRun(std::vector<TransferJob> jobs);
    void run(std::vector<TransferJob> jobs);

    CQORVENDlg& c_;
    std::shared_ptr<Programmer> programmer_;
    LinkGlobals& g_;
    TransferTiming timing_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> abort_{false};
    std::atomic<bool> inSend_{false};
    std::thread worker_;
};

} // namespace kelvor::link
