#pragma once
// The simulated programmer: an ordinary Programmer, marked by simulated(), that enumerates, opens,
// answers the one-shot commands with status reports paced on a monotonic clock, holds a virtual
// OTP chip in its socket and can be plugged and unplugged. Faults are chosen at run time and the
// RNG is seeded, so one set of options always gives the same session.
//
// It receives every transfer the station sends, framed as the station frames it (offsets restart
// with every page or block):
//   plain        data from offset 0, then SET_ZEP 1 (burn the socket chip) or 2 (keep the image for
//                stand-alone programming)
//   paged        SET_ZEP 1|2 with nothing received, 64 bytes of the block region, command 12; pages
//                of 8192 bytes each announced by command 10; the 130-byte tail and command 11
//   offline      SET_ZEP 30+mode, 2048-byte blocks announced by command 14, then command 1 or 2
//   firmware     command 9 twice (boot loader), 2048-byte blocks and command 5, command 6, command 7
//   EEPROM       command 19, then the data; user data: command 21, then at most 256 bytes
// What arrives is checked as a careful programmer would (framing, CRCs, length, check word, chip
// code against the chip in the socket) before a cell is touched; the reports and their order per
// family are described in burn_profile.h. A command out of turn (a page with no paged transfer
// under way, a burn in the boot loader) returns kRefused and changes nothing. A transfer the station
// gave up ends with the first packet that does not fit its page or block (what follows is a plain
// stream) or with the next SET_ZEP, which drops the unfinished page or block without an answer and
// always lets a paged transfer begin: no abandoned transfer wedges the programmer.
//
// Answers besides the burns of burn_profile.h:
//   stored image      plain: 0x0D, 0x49; paged: 0x47 at command 12, 0x3F for each page and the tail;
//                     an image no family sends: 0x67, 0x48; a wrong check word: 0x48
//   offline blocks    0x49 for each block, 0x48 for a damaged one; command 1: 0x64, 0x05, 0x71/0x73,
//                     0x8B (0x3C, 0x8E when the image is longer than its area); command 2: 0x0D
//   firmware          0x0D for each block and for command 6; 0x0B (framing) or 0x0C (CRC) when damaged
//   EEPROM            none; user data: 0xFA with 1 (kept) or 0 (refused)
// Only the last handshake value of a wait's answers is its answer, and nothing that writes one
// follows it.
//
// What it does with what it received:
//   - A chip burn writes the image into the socket chip's OTP cells (bits only go from 1 to 0). The
//     n-th good chip of a batch (same uidBase and uidStep) gets the UID uidBase + n * uidStep, written
//     over uidBase in the chip's copy of the parameter block; the operator's CKSUM leaves those bytes
//     out, so it holds for every chip.
//   - SET_ZEP 2 (and the offline modes 4-6) keep the image in the programmer (storedImage()); no chip
//     is touched. The offline modes 1-3 program the EP8505 areas INIT (0x0000, 4 KB), BootLoader
//     (0x1000, 8 KB) and APP (0x3000, 52 KB) of the socket chip.
//   - EEPROM and user data are kept in the programmer (eepromData(), userData()), not in the chip.
//   - Firmware update. The application takes a first command 9 as the request and a second one as
//     its confirmation: it then restarts into its boot loader, that is it leaves the bus (removal
//     event) and comes back kRestartTime later as a boot-loader device (arrival event). The boot
//     loader takes the firmware transfer only and refuses every burn. Command 7 after a verified
//     download restarts once more: the device leaves the bus and comes back running the new
//     firmware, which reports its version (status 0x1B) on its first link. The version is the
//     32-bit little-endian word after the tag kFirmwareVersionTag in the file received (0 without
//     the tag). The boot loader stays until command 7, across unplugging and power loss.
#include "jobs/family_table.h"
#include "link/programmer.h"
#include "link/sim/burn.h"
#include "link/sim/faults.h"
#include "link/sim/sim_parts.h"
#include "link/sim/socket_chips.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kelvor::link::sim {

// What the QC firmware reads from a chip besides its identifier and checksum: the firmware version
// and date burnt into it, and the supply voltage it measures (SIMULATOR/QCVERSION, QCDATE, QCVOLTAGE).
struct QcChipValues {
    std::uint16_t version = 258;
    std::uint16_t year = 2024;
    std::uint16_t monthDay = 315;
    std::uint16_t millivolts = 4980;
};

struct SimOptions {
    std::optional<SocketChip> chip = defaultSocketChip(); // nullopt: empty socket
    // The socket takes a blank chip of every model the station selects (modelSelected); `chip` is
    // what it holds until then. Off: `chip` stays whatever is selected.
    bool followSelection = true;
    FaultSet faults;
    // Factor on every answer's delay: 1 paces like a programmer, 0 makes answers due at once
    // (at most 1000). Only kHandshakeGap is kept whatever the factor.
    double timing = 1.0;
    std::uint64_t seed = 0x4B454C564F52ull;
    // How long otpRecv waits for a report before it returns non-zero.
    std::chrono::milliseconds recvWait{30};
    // A chip whose cells a burn has written leaves the socket for a fresh blank one of the same
    // model when the next burn starts, as an operator changes chips between presses. Off: the
    // burnt chip stays, and burning it again fails its blank check.
    bool autoInsert = true;
    QcChipValues qc;
};

// Counters of status 0xFB, in the order of the QC statistics page.
using ErrorCounters = std::array<std::uint16_t, 12>;

// Outlives every thread that calls it, as any Programmer must. Its bench controls are its own.
class SimulatedProgrammer final : public Programmer, public BenchControls {
public:
    // The programmer sits at HID position 3, so that a caller that passes the count, or the whole
    // count value, instead of bits 8 and up to openDevice is caught.
    static constexpr int kDeviceIndex = 3;
    static constexpr int kHandle = 0x51;
    static constexpr int kDllVersion = 0x0100;
    // Reported by 0xFF, bytes 3-4 (major, minor).
    static constexpr std::uint8_t kHardwareVersion[2] = {2, 1};
    // OS errors of a failed open other than kErrorAlreadyOpen.
    static constexpr int kErrorNotFound = 2;
    static constexpr int kErrorDeviceFault = 31;
    // Result of a command the simulator does not carry out.
    static constexpr int kNotSimulated = 0x7E;
    // Result of a known command the programmer refuses in its present state or with those
    // arguments; nothing changes.
    static constexpr int kRefused = 0x7D;
    // Firmware the boot loader takes at most.
    static constexpr std::size_t kFirmwareCapacity = 65536;
    // Two answers to one command that the station must tell apart (the paged start's two) are at
    // least this far apart, whatever the timing factor: the station re-arms its wait in between.
    static constexpr std::chrono::milliseconds kHandshakeGap{100};
    // A restart takes this long, times the timing factor but never less than kRestartFloor: the
    // station has finished the call that caused it before the programmer is back.
    static constexpr std::chrono::milliseconds kRestartTime{800};
    static constexpr std::chrono::milliseconds kRestartFloor{100};
    static constexpr std::string_view kFirmwareVersionTag = "KVFWVER:";
    // The version a firmware file carries, as the programmer reports it; 0 without the tag.
    static std::uint32_t firmwareVersionOf(std::span<const std::uint8_t> firmware);

    explicit SimulatedProgrammer(SimOptions options = {});
    ~SimulatedProgrammer() override;

    void setDeviceId(std::string_view filter) override;
    int getDllVersion() override { return kDllVersion; }
    int getDeviceCount() override;
    int isConnected() override;
    int openDevice(int index) override;
    int closeDevice(int handle) override;
    std::string devicePathName() override;
    int setLed(int a, int b) override;
    int uartConfig(int value) override;
    int otpSend(int offset, int length, const std::uint8_t* data) override;
    int otpRecv(std::uint8_t* spare, std::uint8_t* report) override;
    int setZep(int mode) override;
    int zepIap(int command, int a, int b, int c) override;
    int lastOsError() override;
    bool simulated() const override { return true; }
    std::string description() const override;
    bool setDeviceEventSink(DeviceEventSink sink) override;
    BenchControls* benchControls() override { return this; }

    // Bench controls, for tests, benches and the operator trainer.
    // Plug raises an arrival event and makes the programmer enumerable; unplug closes an open
    // device, drops its pending reports and raises a removal event. Events go to the sink on the
    // calling thread; the sink must not plug or unplug in turn.
    void plug() override;
    void unplug() override;
    bool plugged() const override;
    void setFaults(FaultSet faults);
    FaultSet faults() const;
    // The fault table's rows; the NG rate as "ng-rate=P" with the rate in force (else the default).
    std::vector<FaultChoice> faultChoices() const override;
    std::string activeFaults() const override { return faults().names(); }
    // A list as parseFaults takes it; a list that does not parse changes nothing.
    std::string setActiveFaults(std::string_view list) override;
    // A fresh chip of the model last in the socket (the default chip when there never was one).
    void insertBlankChip() override;
    // A fresh, blank chip of that model (nullopt: the socket empties); the socket no longer follows
    // the selection.
    void setSocketChip(std::optional<SocketChip> chip);
    void modelSelected(std::string_view model) override;
    std::string socketChoice() const override;
    std::string setSocketChoice(std::string_view choice) override;
    std::string socketModel() const override;
    std::vector<std::string> socketModels() const override;
    bool freshChipAfterBurn() const override;
    void setFreshChipAfterBurn(bool on) override { setAutoInsert(on); }
    // SimOptions::autoInsert, changed at run time.
    void setAutoInsert(bool on);
    std::optional<SocketChip> socketChip() const;
    void setErrorCounters(const ErrorCounters& counters);
    ErrorCounters errorCounters() const;
    // The interface path the device carries in events and in devicePathName().
    std::string interfacePath() const { return path_; }
    // Bytes received for the current page or block: [0, highWater) of the receive buffer.
    std::vector<std::uint8_t> receivedBytes() const;
    // Serial number and voltage of the last EE voltage write (command 23).
    std::pair<int, int> eeVoltageWrite() const;
    // Reports queued and not yet received, due or not.
    std::size_t pendingReports() const;
    // The OTP cells of the chip in the socket (empty: no chip).
    std::vector<std::uint8_t> socketCells() const;
    // The image last kept for stand-alone programming.
    std::vector<std::uint8_t> storedImage() const;
    // What the programmer decided for each burn and each image it was asked to keep, oldest first:
    // true for a chip that passed or an image kept. A transfer that never reached a decision (it
    // broke off, the programmer left the bus) has no entry.
    std::vector<bool> burnOutcomes() const;
    // The EEPROM data of command 19 and the user data of command 21 (start address, bytes), as last
    // received whole.
    std::vector<std::uint8_t> eepromData() const;
    std::pair<int, std::vector<std::uint8_t>> userData() const;
    // Firmware update: whether the boot loader runs, and the firmware last started by command 7.
    bool inBootLoader() const;
    std::vector<std::uint8_t> firmware() const;

private:
    enum class Rx : std::uint8_t {
        Idle,          // a plain stream may arrive
        PagedArmed,    // SET_ZEP came first: the block region and command 12 should follow
        Paged,         // pages, then the tail
        OfflineBlocks, // 2048-byte blocks of an offline image
        Eeprom,        // the data of command 19
        UserData,      // the data of command 21
    };
    struct Transfer {
        Rx rx = Rx::Idle;
        int mode = 0;                                   // SET_ZEP 1|2, or the offline image's mode 1-6
        std::vector<std::uint8_t> image;                // pages or blocks so far
        std::vector<std::uint8_t> head;                 // the paged transfer's first 64 bytes
        chips::Family selected = chips::Family::EP2706; // what the station burns, as far as known
        bool weakBit = false;                           // a paged burn's NG, decided at its start
        int length = 0;                                 // EEPROM or user data announced
        int address = 0;                                // user data start address
        bool valid = false;                             // the user data announcement fits the programmer
    };

    // Callers hold mutex_.
    bool deviceVisible() const;
    void closeLocked();
    void answer(std::uint8_t code, std::span<const std::uint8_t> values, int delayMs);
    // What an awaited post answers in its transfer: the start (paged), a page or block of data, or
    // the closing command (the paged tail, the end of a firmware download).
    enum class Answers : std::uint8_t { Start, Data, Closing };
    // Queues the steps, paced from now. `awaited`: they answer a station's wait, so the no-ack
    // faults drop the handshake answers and the start answers keep kHandshakeGap between them.
    void post(const Steps& steps, bool awaited, chips::Family selected, Answers answers = Answers::Start);
    // Whether the no-ack faults drop this awaited post's handshake answers; counts the post.
    bool dropsAnswers(Answers answers);
    // A transfer (a burn command, a firmware download's first block) starts its count of waits.
    void newTransferWaits() { waits_ = {}; }
    std::array<std::uint8_t, 15> qcReply();
    void raise(DeviceEvent::Kind kind);
    void resetTransfer();
    void setSocketChipLocked(std::optional<SocketChip> chip);
    std::optional<chips::Family> socketFamily() const;
    void freshChipIfDue();
    // Whether this burn fails by the NG rate, and how: a trim that runs out or a weak bit.
    struct NgDraw {
        bool trimFails = false;
        bool weakBit = false;
    };
    NgDraw drawNg(const BurnProfile& profile);
    std::uint32_t uidFor(std::uint32_t base, std::uint32_t step);
    std::size_t sendCapacity() const;
    void receiveUserData(int offset, std::span<const std::uint8_t> bytes);
    void endPlain(int mode);
    // `framed`: every byte arrived once. A paged burn brings the block region its transfer began
    // with and the NG it drew then.
    void burnChipImage(std::span<const std::uint8_t> image, jobs::TransferVariant variant, bool framed,
                       Wait wait, std::span<const std::uint8_t> head, bool weakBit);
    void storeChipImage(std::span<const std::uint8_t> image, jobs::TransferVariant variant, bool framed,
                        bool awaited);
    int beginPaged();
    int pageComplete(int address, int length, int crc);
    int tailComplete(int address, int length, int crc);
    int offlineBlockComplete(int address, int length, int crc);
    int offlineImageComplete(int command, int length, int mode, int crc);
    int firmwareBlockComplete(int address, int length, int crc);
    int firmwareComplete(int zero, int length, int crc);
    void recordBurn(bool passed);
    // A failed burn counts in the programmer's error statistics.
    void countError(Failure failure);
    // What the programmer does once a command has been answered.
    enum class Restart : std::uint8_t { None, ComesBack, StaysAway };
    int startFirmware(Restart& restart);
    int iapLocked(int command, int a, int b, int c, Restart& restart);
    // Leaves the bus as unplug() does; ComesBack plugs it in again after the restart time.
    void leaveBus(Restart restart);
    void returnLoop();

    const SimOptions options_;
    const std::string path_;

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    Rng rng_;
    FaultSet faults_;
    std::string filter_;
    bool plugged_ = true;
    bool open_ = false;
    std::uint64_t session_ = 0; // changes with every open and close
    int lastOsError_ = 0;
    std::string lastPath_;
    std::optional<SocketChip> chip_;
    SocketChip lastChip_; // the model insertBlankChip takes
    bool follow_;         // the socket follows the selection
    std::string selected_; // the model the station selected last, empty before the first
    std::optional<VirtualOtp> otp_;
    bool chipWritten_ = false; // a burn wrote the socket chip's cells
    bool autoInsert_;
    ErrorCounters counters_{};
    std::pair<int, int> eeWrite_{0, 0};
    ReportQueue reports_;
    ReceiveBuffer received_;
    Transfer transfer_;
    int sends_ = 0; // OTP_SEND calls since the link opened
    struct TransferWaits {
        int answered = 0;           // awaited posts of the transfer so far
        bool middleDropped = false; // no-ack-middle has struck in this transfer
    } waits_;
    std::vector<std::uint8_t> stored_;
    std::vector<bool> burns_;
    std::vector<std::uint8_t> eeprom_;
    std::pair<int, std::vector<std::uint8_t>> userData_{0, {}};
    // UIDs: chip n of a batch gets uidBase + n * uidStep; a new base or step starts a new batch.
    bool uidKnown_ = false;
    std::uint32_t uidBase_ = 0, uidStep_ = 0, uidCount_ = 0;
    // Firmware update.
    bool bootLoader_ = false;
    std::vector<std::uint8_t> update_; // blocks received by the boot loader
    int updateLength_ = -1;            // the length command 6 verified; -1: not verified
    std::vector<std::uint8_t> firmware_;
    bool iapRequested_ = false;   // the first command 9 came
    bool powerLost_ = false;      // PowerLoss has struck in this update
    bool announceVersion_ = false; // the new firmware reports its version on its first link

    // The programmer's return to the bus after a restart, on a thread of its own.
    std::mutex returnMutex_;
    std::condition_variable returnCv_;
    std::optional<Clock::time_point> returnDue_;
    bool stopping_ = false;
    std::thread returner_;

    // Serialises event delivery so that events arrive in the order the bench caused them.
    std::mutex eventMutex_;
    DeviceEventSink sink_;
};

} // namespace kelvor::link::sim
