#include "link/sim/simulated_programmer.h"

#include "qc/evaluation.h"

#include "image/buffers.h"
#include "image/checksums.h"
#include "link/sim/chip_image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kelvor::link::sim {
namespace {

// Answer delays in milliseconds before the timing factor, roughly what the programmer takes.
constexpr int kDelayHwVersion = 8;
constexpr int kDelayDetect = 60;
constexpr int kDelayQcTest = 400;
constexpr int kDelayStatistics = 15;
constexpr int kDelayCountErasing = 10;
constexpr int kDelayCountCleared = 250;
constexpr int kDelayPageAck = 12;
constexpr int kDelayBlockAck = 10;
constexpr int kDelayFlashBlock = 30;
constexpr int kDelayFlashCheck = 15;
constexpr int kDelayUserData = 15;
constexpr int kDelayStoreCheck = 5;
// Writing an image into the programmer's own flash: 10 ms per kilobyte.
int storeMs(std::size_t bytes) {
    return 5 + static_cast<int>(bytes * 10 / 1024);
}

using chips::Family;
using jobs::TransferVariant;

constexpr std::size_t kBlockBytes = 2048;   // offline and firmware blocks
constexpr std::size_t kHeadBytes = 64;      // the paged transfer's block region
constexpr std::size_t kUserDataBytes = 256; // one user-data packet
constexpr int kUnplugAtSend = 3;            // unplug-mid-transfer: the packet the programmer leaves at

// EP8505 areas of the offline modes 1-3 (programmed now) and 4-6 (stored): INIT, BootLoader, APP.
struct Area {
    std::size_t base, size;
};
constexpr Area kAreas[3] = {{0x0000, 0x1000}, {0x1000, 0x2000}, {0x3000, 0xD000}};

bool isRaw(Family f) {
    return f == Family::EP8505 || f == Family::EP8505_IN;
}

std::vector<std::uint8_t> concat(std::vector<std::uint8_t> a, std::span<const std::uint8_t> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Slower than this would be no programmer anyone waits for.
constexpr double kMaxTiming = 1000.0;

// The code a garbage answer carries: one the station's status table does not list.
constexpr std::uint8_t kGarbageCode = 0x18;

// What the qc-voltage fault makes the QC firmware measure.
constexpr std::uint16_t kQcOutOfRangeMillivolts = 5600;

std::string makePath(std::uint64_t seed) {
    // The instance part differs per seed, as it differs per USB port.
    Rng rng(seed ^ 0x5041544855534221ull);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s#7&%08X&0&0000#%s", std::string(kInterfacePrefix).c_str(),
                  static_cast<unsigned>(rng.next() & 0xFFFFFFFFu), guidText(kHidClassGuid).c_str());
    return buf;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void putBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

SimOptions sane(SimOptions o) {
    // A negative or NaN factor would put answers in the past or nowhere, a huge one past the
    // clock's range.
    if (!(o.timing >= 0.0)) o.timing = 0.0;
    o.timing = std::min(o.timing, kMaxTiming);
    o.recvWait = std::clamp(o.recvWait, std::chrono::milliseconds(0),
                            std::chrono::milliseconds(std::chrono::hours(1)));
    return o;
}

} // namespace

SimulatedProgrammer::SimulatedProgrammer(SimOptions options)
    : options_(sane(options)), path_(makePath(options.seed)), rng_(options.seed), faults_(options.faults),
      filter_(kDeviceFilter), chip_(options.chip), lastChip_(options.chip.value_or(defaultSocketChip())),
      follow_(options.followSelection), autoInsert_(options.autoInsert) {
    if (chip_) otp_.emplace(chip_->otpBytes);
    // A programmer in use has seen a few errors already.
    for (auto& c : counters_)
        c = static_cast<std::uint16_t>(rng_.between(0, 12));
}

SimulatedProgrammer::~SimulatedProgrammer() {
    {
        std::lock_guard lock(returnMutex_);
        stopping_ = true;
    }
    returnCv_.notify_all();
    if (returner_.joinable()) returner_.join();
}

std::uint32_t SimulatedProgrammer::firmwareVersionOf(std::span<const std::uint8_t> firmware) {
    const std::string_view tag = kFirmwareVersionTag;
    const auto at = std::search(firmware.begin(), firmware.end(), tag.begin(), tag.end(),
                                [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
    const auto offset = static_cast<std::size_t>(at - firmware.begin()) + tag.size();
    if (at == firmware.end() || firmware.size() - offset < 4) return 0;
    return image::readLe32(firmware.data() + offset);
}

bool SimulatedProgrammer::deviceVisible() const {
    return plugged_ && !faults_.has(Fault::NoProgrammer) && equalNoCase(filter_, kDeviceFilter);
}

void SimulatedProgrammer::setDeviceId(std::string_view filter) {
    std::lock_guard lock(mutex_);
    filter_ = filter;
}

int SimulatedProgrammer::getDeviceCount() {
    std::lock_guard lock(mutex_);
    return deviceVisible() ? (1 | (kDeviceIndex << 8)) : 0;
}

int SimulatedProgrammer::isConnected() {
    std::lock_guard lock(mutex_);
    return open_ ? 1 : 0;
}

int SimulatedProgrammer::openDevice(int index) {
    std::lock_guard lock(mutex_);
    if (!deviceVisible() || index != kDeviceIndex) {
        lastOsError_ = kErrorNotFound;
        return -1;
    }
    // Held by another process, or by this one: the OS refuses a second open alike.
    if (faults_.has(Fault::OpenBusy) || open_) {
        lastOsError_ = kErrorAlreadyOpen;
        return -1;
    }
    if (faults_.has(Fault::OpenFail)) {
        lastOsError_ = kErrorDeviceFault;
        return -1;
    }
    open_ = true;
    ++session_;
    lastOsError_ = 0;
    lastPath_ = path_;
    reports_.clear();
    resetTransfer();
    sends_ = 0;
    iapRequested_ = false;
    answered_.notify_all();
    return kHandle;
}

void SimulatedProgrammer::closeLocked() {
    if (!open_) return;
    open_ = false;
    ++session_;
    reports_.clear();
    resetTransfer();
    answered_.notify_all();
}

int SimulatedProgrammer::closeDevice(int handle) {
    std::lock_guard lock(mutex_);
    if (!open_ || handle != kHandle) return 1;
    closeLocked();
    return 0;
}

std::string SimulatedProgrammer::devicePathName() {
    std::lock_guard lock(mutex_);
    return lastPath_;
}

int SimulatedProgrammer::setLed(int, int) {
    std::lock_guard lock(mutex_);
    return open_ ? 0 : 1;
}

int SimulatedProgrammer::uartConfig(int) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.has(Fault::UartFail)) return 1;
    return 0;
}

std::size_t SimulatedProgrammer::sendCapacity() const {
    switch (transfer_.rx) {
    case Rx::Idle:
        return bootLoader_ ? kBlockBytes : ReceiveBuffer::kCapacity;
    case Rx::PagedArmed:
        return ReceiveBuffer::kCapacity;
    case Rx::Paged:
        return jobs::kPageBytes;
    case Rx::OfflineBlocks:
        return kBlockBytes;
    case Rx::Eeprom:
        return static_cast<std::size_t>(transfer_.length);
    case Rx::UserData:
        break;
    }
    return kUserDataBytes;
}

int SimulatedProgrammer::otpSend(int offset, int length, const std::uint8_t* data) {
    bool powerFails = false;
    {
        std::lock_guard lock(mutex_);
        if (!open_ || offset < 0 || length < 0 || (length > 0 && data == nullptr)) return 1;
        ++sends_;
        if (faults_.has(Fault::PowerLoss) && bootLoader_ && !powerLost_ &&
            (received_.highWater() > 0 || !update_.empty())) {
            // The second packet of the update: the power fails, the boot loader starts again.
            powerLost_ = true;
            powerFails = true;
        } else if (!faults_.has(Fault::UnplugMidTransfer) || sends_ < kUnplugAtSend) {
            const std::span<const std::uint8_t> bytes(data, static_cast<std::size_t>(length));
            if (transfer_.rx == Rx::UserData) {
                receiveUserData(offset, bytes);
                return 0;
            }
            const auto at = static_cast<std::size_t>(offset);
            auto fits = [&] { return at <= sendCapacity() && bytes.size() <= sendCapacity() - at; };
            // A packet beyond the page or block of an unfinished transfer means the station gave that
            // transfer up: what came since is a plain stream, so an abandoned transfer never wedges
            // the programmer.
            const bool framed =
                transfer_.rx == Rx::Paged || transfer_.rx == Rx::OfflineBlocks || transfer_.rx == Rx::Eeprom;
            if (!fits() && framed) transfer_ = Transfer{};
            if (!fits()) return 1;
            const std::size_t capacity = sendCapacity();
            // A plain stream starts at offset 0: whatever an abandoned one left behind goes.
            const bool streaming = transfer_.rx == Rx::Idle || transfer_.rx == Rx::PagedArmed;
            if (streaming && at == 0 && !bytes.empty()) received_.clear();
            if (!received_.write(at, bytes)) return 1;
            if (transfer_.rx == Rx::Eeprom && received_.highWater() == capacity &&
                received_.receivedTotal() == capacity) {
                const auto whole = received_.bytes().first(capacity);
                eeprom_.assign(whole.begin(), whole.end());
                resetTransfer();
            }
            return 0;
        }
    }
    // The programmer leaves the bus in the middle of the transfer; this packet goes with it.
    if (powerFails)
        leaveBus(Restart::ComesBack);
    else
        unplug();
    return 1;
}

void SimulatedProgrammer::receiveUserData(int offset, std::span<const std::uint8_t> bytes) {
    const bool ok =
        transfer_.valid && offset == 0 && bytes.size() == static_cast<std::size_t>(transfer_.length);
    if (ok) userData_ = {transfer_.address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    resetTransfer();
    const std::uint8_t written[] = {static_cast<std::uint8_t>(ok ? 1 : 0)};
    answer(0xFA, written, kDelayUserData);
}

int SimulatedProgrammer::otpRecv(std::uint8_t*, std::uint8_t* report) {
    if (report == nullptr) return 1;
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + options_.recvWait;
    const auto session = session_;
    const bool openAtStart = open_;
    for (;;) {
        // A close or an unplug ends the wait: the link this call served is gone.
        if (session_ != session) return 1;
        const auto now = Clock::now();
        if (openAtStart) {
            if (auto r = reports_.popDue(now)) {
                std::copy(r->begin(), r->end(), report);
                return 0;
            }
        }
        if (now >= deadline) return 1;
        auto wake = deadline;
        if (openAtStart) {
            if (auto due = reports_.nextDue()) wake = std::min(wake, *due);
        }
        answered_.wait_until(lock, wake);
    }
}

int SimulatedProgrammer::setZep(int mode) {
    std::lock_guard lock(mutex_);
    if (!open_) return 1;
    if (mode == 13) return 0; // chip reset: the socket chip restarts, nothing to report
    const bool burn = mode == 1 || mode == 2;
    // 30 comes with the programming page's "烧录" of an EP8505 model (mode value 0): the blocks are
    // checked as they arrive and no final command follows.
    const bool offline = mode >= 30 && mode <= 36;
    if (!burn && !offline) return kNotSimulated;
    if (bootLoader_) return kRefused;
    newTransferWaits();
    if (offline) {
        resetTransfer();
        transfer_.rx = Rx::OfflineBlocks;
        transfer_.mode = mode - 30;
        return 0;
    }
    // Bytes of a plain stream end a plain image. Bytes inside a page or block are what is left of a
    // transfer the station gave up: they go without an answer, since a failure would write the
    // handshake byte under the wait of the transfer that starts now. Either way a paged transfer
    // may begin: its SET_ZEP comes first.
    const bool framed =
        transfer_.rx == Rx::Paged || transfer_.rx == Rx::OfflineBlocks || transfer_.rx == Rx::Eeprom;
    if (!framed && received_.highWater() > 0)
        endPlain(mode);
    else
        resetTransfer(); // a plain transfer of no bytes gets no answer either
    transfer_.rx = Rx::PagedArmed;
    transfer_.mode = mode;
    return 0;
}

void SimulatedProgrammer::answer(std::uint8_t code, std::span<const std::uint8_t> values, int delayMs) {
    post({{statusReport(code, values), delayMs}}, false, Family::EP2706);
}

bool SimulatedProgrammer::dropsAnswers(Answers answers) {
    const int n = ++waits_.answered;
    if (faults_.has(Fault::NoAck)) return true;
    if (faults_.has(Fault::NoAckFirst) && n == 1) return true;
    // The first page of a paged transfer always has the start before it and the tail after it; a
    // block-wise transfer's first block is its first wait, so the middle is the second block.
    if (faults_.has(Fault::NoAckMiddle) && answers == Answers::Data && n > 1 && !waits_.middleDropped) {
        waits_.middleDropped = true;
        return true;
    }
    return faults_.has(Fault::NoAckLast) && answers == Answers::Closing;
}

void SimulatedProgrammer::post(const Steps& steps, bool awaited, Family selected, Answers answers) {
    if (faults_.has(Fault::Silent)) return;
    const bool drop = awaited && dropsAnswers(answers);
    auto due = Clock::now();
    std::optional<Clock::time_point> lastAnswer;
    for (const Step& step : steps) {
        // Up to a tenth either way, so that answers do not arrive like clockwork.
        const double jitter = 1.0 + static_cast<double>(rng_.between(-100, 100)) / 1000.0;
        due += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(step.delayMs * jitter * options_.timing));
        Report r = step.report;
        if (awaited && writesHandshake(r[2], selected)) {
            if (drop) continue;
            if (lastAnswer) due = std::max(due, *lastAnswer + kHandshakeGap);
            lastAnswer = due;
        }
        if (faults_.has(Fault::Garbage)) r[2] = kGarbageCode;
        reports_.push(r, due);
    }
    answered_.notify_all();
}

void SimulatedProgrammer::resetTransfer() {
    transfer_ = Transfer{};
    received_.clear();
}

std::optional<Family> SimulatedProgrammer::socketFamily() const {
    if (!chip_) return std::nullopt;
    const auto* row = chips::findModel(chip_->model);
    if (!row) return std::nullopt;
    return row->family;
}

void SimulatedProgrammer::freshChipIfDue() {
    if (!autoInsert_) return;
    if (chipWritten_ && chip_) otp_.emplace(chip_->otpBytes);
    chipWritten_ = false;
}

SimulatedProgrammer::NgDraw SimulatedProgrammer::drawNg(const BurnProfile& profile) {
    const int rate = faults_.ngRate();
    if (rate == 0 || rng_.between(0, 99) >= rate) return {};
    // A third of the NG chips cannot trim their voltage; the rest have a bit that will not burn.
    const bool trim = profile.trims != TrimForm::None && rng_.between(0, 2) == 0;
    return {trim, !trim};
}

std::uint32_t SimulatedProgrammer::uidFor(std::uint32_t base, std::uint32_t step) {
    if (!uidKnown_ || base != uidBase_ || step != uidStep_) {
        uidKnown_ = true;
        uidBase_ = base;
        uidStep_ = step;
        uidCount_ = 0;
    }
    return base + uidCount_ * step;
}

void SimulatedProgrammer::endPlain(int mode) {
    const auto bytes = received_.bytes().first(received_.highWater());
    const std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    // Every byte once: a gap or a packet sent twice is a broken transfer.
    const bool framed = received_.receivedTotal() == received_.highWater();
    resetTransfer();
    if (mode == 2)
        storeChipImage(image, TransferVariant::Plain, framed, false);
    else
        burnChipImage(image, TransferVariant::Plain, framed, Wait::None, {}, false);
}

void SimulatedProgrammer::burnChipImage(std::span<const std::uint8_t> image, TransferVariant variant,
                                        bool framed, Wait wait, std::span<const std::uint8_t> head,
                                        bool weakBit) {
    Steps steps;
    freshChipIfDue();
    const auto socket = socketFamily();
    const auto ids = identifyImage(image, variant);
    // Until the chip has answered, the image's own family stands for the station's selection.
    Family selected = !ids.empty() ? ids.front().family->family : socket.value_or(Family::EP2706);
    const bool awaited = wait != Wait::None;
    auto fail = [&](Failure f, const BurnProfile& p) {
        appendFailure(steps, f, p, wait, selected);
        recordBurn(false);
        countError(f);
        post(steps, awaited, selected, Answers::Closing);
    };
    if (!chip_) return fail(Failure::EmptySocket, burnProfile(selected));
    if (!socket || isRaw(*socket)) return fail(Failure::WrongId, burnProfile(selected));
    const jobs::JobFamily& family = jobs::jobFamily(*socket);
    const BurnProfile& profile = burnProfile(*socket);
    const auto layout = layoutFor(family, image.size(), variant);
    // Broken, or sent by no family at all: there is no chip code to compare.
    if (!framed || (!layout && ids.empty())) return fail(Failure::Layout, profile);
    // The chip's identity comes first: an image made for another chip fails at the chip-ID stage
    // (with that image's ending), before its checksum is looked at.
    const std::optional<ChipImage> read =
        layout ? std::optional(readChipImage(family, *layout, image)) : std::nullopt;
    if (faults_.has(Fault::IdError) || !read || !acceptsChipCode(family, chip_->model, read->chipCode))
        return fail(Failure::WrongId, burnProfile(selected));
    const ChipImage& chip = *read;
    if (wait == Wait::PagedData &&
        (head.size() != kHeadBytes || !std::equal(head.begin(), head.end(), image.begin() + chip.blockAt)))
        return fail(Failure::HeadMismatch, profile);
    const std::uint16_t computed = faults_.has(Fault::ChecksumError)
                                       ? static_cast<std::uint16_t>(chip.computedCheck ^ 0x5A5A)
                                       : chip.computedCheck;
    if (computed != chip.storedCheck) return fail(Failure::Checksum, profile);
    selected = *socket;

    // A paged burn calibrated and drew its NG when the transfer began.
    NgDraw ng{false, weakBit};
    if (wait == Wait::None) {
        ng = drawNg(profile);
        if (!appendCalibration(steps, profile, chip.freqIndex, ng.trimFails, wait, selected, rng_)) {
            recordBurn(false);
            if (counters_[2] < 0xFFFF) ++counters_[2]; // BGR错误: the voltage trim ran out
            return post(steps, awaited, selected, Answers::Closing);
        }
    }
    // The chip's own UID replaces uidBase in its copy of the block.
    std::vector<std::uint8_t> cells(image.begin(), image.end());
    image::writeLe32(cells.data() + chip.uidAt, uidFor(chip.uidBase, chip.uidStep));
    CellBurn how;
    how.mainBytes = static_cast<std::size_t>(layout->programBytes);
    how.blankFails = faults_.has(Fault::BlankFail);
    how.weakBit = faults_.has(Fault::VerifyFail) || ng.weakBit;
    const BurnResult r = appendCellBurn(steps, profile, *otp_, cells, how, wait, selected, rng_);
    if (r.cellsWritten) chipWritten_ = true;
    if (r.passed) {
        ++uidCount_;
        // The CKSUM the station showed leaves the UID out, so it holds for the cells as burnt.
        const auto n = static_cast<std::size_t>(layout->programBytes);
        otp_->setBurntChecksum(image::maskedImageCrc(image.data(), n + jobs::kCheckOffset, family.cksum,
                                                     n + jobs::kSkipOffset));
    } else {
        countError(how.blankFails ? Failure::Blank : Failure::Verify);
    }
    recordBurn(r.passed);
    post(steps, awaited, selected, Answers::Closing);
}

void SimulatedProgrammer::storeChipImage(std::span<const std::uint8_t> image, TransferVariant variant,
                                         bool framed, bool awaited) {
    Steps steps;
    const auto ids = framed ? identifyImage(image, variant) : std::vector<ChipImage>{};
    const bool checkFault = faults_.has(Fault::ChecksumError);
    const auto valid = std::find_if(ids.begin(), ids.end(), [checkFault](const ChipImage& c) {
        return (checkFault ? static_cast<std::uint16_t>(c.computedCheck ^ 0x5A5A) : c.computedCheck) ==
               c.storedCheck;
    });
    const Family selected = ids.empty() ? Family::EP2706 : ids.front().family->family;
    auto push = [&steps](std::uint8_t code, int ms) { steps.push_back({statusReport(code), ms}); };
    if (ids.empty()) {
        push(0x67, kDelayStoreCheck); // "选择的型号与固件不匹配": no family sends this image
        push(0x48, kDelayStoreCheck);
        recordBurn(false);
    } else if (valid == ids.end()) {
        push(0x48, kDelayStoreCheck);
        recordBurn(false);
    } else {
        recordBurn(true);
        stored_.assign(image.begin(), image.end());
        // Nothing that writes the handshake may follow a wait's answer.
        if (awaited) {
            push(0x3F, storeMs(image.size()));
        } else {
            push(0x0D, storeMs(image.size()));
            push(0x49, kDelayStoreCheck);
        }
    }
    post(steps, awaited, selected, Answers::Closing);
}

int SimulatedProgrammer::beginPaged() {
    if (transfer_.rx != Rx::PagedArmed) return kRefused;
    const bool headOk = received_.highWater() == kHeadBytes && received_.receivedTotal() == kHeadBytes;
    const auto first = received_.bytes().first(kHeadBytes);
    const std::vector<std::uint8_t> head(first.begin(), first.end());
    const int mode = transfer_.mode;
    resetTransfer();
    transfer_.rx = Rx::Paged;
    transfer_.mode = mode;
    transfer_.head = head;
    const auto heads = identifyPagedHead(head);
    Steps steps;
    if (mode == 2) {
        // Stored, not burnt: the image is checked whole at its tail.
        if (!headOk || heads.empty()) {
            steps.push_back({statusReport(0x67), kDelayStoreCheck});
            steps.push_back({statusReport(0x48), kDelayStoreCheck});
            resetTransfer();
            recordBurn(false);
        } else {
            steps.push_back({statusReport(0x47), kDelayStoreCheck});
        }
        post(steps, true, Family::EP2706);
        return 0;
    }

    freshChipIfDue();
    const auto socket = socketFamily();
    Family selected = !heads.empty() ? heads.front()->family : socket.value_or(Family::EP2706);
    auto fail = [&](Failure f, const BurnProfile& p) {
        appendFailure(steps, f, p, Wait::PagedStart, selected);
        resetTransfer();
        recordBurn(false);
        post(steps, true, selected);
        return 0;
    };
    if (!chip_) return fail(Failure::EmptySocket, burnProfile(selected));
    if (!socket || isRaw(*socket)) return fail(Failure::WrongId, burnProfile(selected));
    const jobs::JobFamily& family = jobs::jobFamily(*socket);
    const BurnProfile& profile = burnProfile(*socket);
    if (!headOk) return fail(Failure::HeadMissing, profile);
    const BlockFields fields = blockFields(family.block);
    const bool paged =
        family.transfer == TransferVariant::Paged || family.length == jobs::LengthRule::ByImageLength;
    if (faults_.has(Fault::IdError) || !paged ||
        !acceptsChipCode(family, chip_->model, image::readLe16(head.data() + fields.chipCode)))
        return fail(Failure::WrongId, profile);
    selected = *socket;
    transfer_.selected = selected;
    const NgDraw ng = drawNg(profile);
    transfer_.weakBit = ng.weakBit;
    const int freqIndex = fields.freqIndex ? image::readLe16(head.data() + *fields.freqIndex) : -1;
    if (!appendCalibration(steps, profile, freqIndex, ng.trimFails, Wait::PagedStart, selected, rng_)) {
        resetTransfer();
        recordBurn(false);
    }
    post(steps, true, selected);
    return 0;
}

int SimulatedProgrammer::pageComplete(int address, int length, int crc) {
    if (transfer_.rx != Rx::Paged) return kRefused;
    const std::size_t next = transfer_.image.size();
    const auto page = received_.bytes().first(jobs::kPageBytes);
    const bool ok = address >= 0 && static_cast<std::size_t>(address) == next && length == jobs::kPageBytes &&
                    received_.highWater() == page.size() && received_.receivedTotal() == page.size() &&
                    next + page.size() + jobs::kTailBytes <= ReceiveBuffer::kCapacity &&
                    crc == image::crc16Xmodem(page.data(), page.size());
    Steps steps;
    const Family selected = transfer_.selected;
    if (ok) {
        transfer_.image.insert(transfer_.image.end(), page.begin(), page.end());
        received_.clear();
        steps.push_back({statusReport(0x3F), kDelayPageAck});
    } else if (transfer_.mode == 2) {
        resetTransfer();
        steps.push_back({statusReport(0x48), kDelayPageAck});
        recordBurn(false);
    } else {
        resetTransfer();
        appendFailure(steps, Failure::PageCrc, burnProfile(selected), Wait::PagedData, selected);
        recordBurn(false);
    }
    post(steps, true, selected, Answers::Data);
    return 0;
}

int SimulatedProgrammer::tailComplete(int address, int length, int crc) {
    if (transfer_.rx != Rx::Paged) return kRefused;
    const auto tail = received_.bytes().first(jobs::kTailBytes);
    const bool ok = address > 0 && static_cast<std::size_t>(address) == transfer_.image.size() &&
                    length == jobs::kTailBytes && received_.highWater() == tail.size() &&
                    received_.receivedTotal() == tail.size() &&
                    crc == image::crc16Xmodem(tail.data(), tail.size());
    const Transfer t = std::move(transfer_);
    const std::vector<std::uint8_t> image = ok ? concat(t.image, tail) : std::vector<std::uint8_t>{};
    resetTransfer();
    if (ok && t.mode == 2) {
        storeChipImage(image, TransferVariant::Paged, true, true);
    } else if (ok) {
        burnChipImage(image, TransferVariant::Paged, true, Wait::PagedData, t.head, t.weakBit);
    } else {
        Steps steps;
        if (t.mode == 2)
            steps.push_back({statusReport(0x48), kDelayPageAck});
        else
            appendFailure(steps, Failure::PageCrc, burnProfile(t.selected), Wait::PagedData, t.selected);
        recordBurn(false);
        post(steps, true, t.selected, Answers::Closing);
    }
    return 0;
}

int SimulatedProgrammer::offlineBlockComplete(int address, int length, int crc) {
    if (transfer_.rx != Rx::OfflineBlocks) return kRefused;
    const std::size_t next = transfer_.image.size();
    const auto block = received_.bytes().first(kBlockBytes);
    const bool ok = address >= 0 && static_cast<std::size_t>(address) == next &&
                    length == static_cast<int>(kBlockBytes) && received_.highWater() == block.size() &&
                    received_.receivedTotal() == block.size() &&
                    next + block.size() <= ReceiveBuffer::kCapacity &&
                    crc == image::imageCrc(block.data(), block.size());
    if (ok) {
        transfer_.image.insert(transfer_.image.end(), block.begin(), block.end());
        received_.clear();
    } else {
        resetTransfer();
        recordBurn(false);
    }
    // "HEX校验OK!" releases the next block, "HEX校验和错误!" stops the transfer.
    post({{statusReport(ok ? 0x49 : 0x48), kDelayBlockAck}}, true, Family::EP8505, Answers::Data);
    return 0;
}

int SimulatedProgrammer::offlineImageComplete(int command, int length, int mode, int crc) {
    if (transfer_.rx != Rx::OfflineBlocks) return kRefused;
    const int ownMode = transfer_.mode;
    const std::vector<std::uint8_t> image = std::move(transfer_.image);
    resetTransfer();
    const bool ok = !image.empty() && length >= 0 && static_cast<std::size_t>(length) == image.size() &&
                    mode == ownMode && (command == 1) == (ownMode <= 3) &&
                    crc == image::imageCrc(image.data(), image.size());
    Steps steps;
    const BurnProfile& profile = burnProfile(Family::EP8505);
    auto push = [&steps](std::uint8_t code, int ms) { steps.push_back({statusReport(code), ms}); };
    if (!ok) {
        push(0x48, kDelayStoreCheck);
        recordBurn(false);
    } else if (ownMode >= 4) {
        stored_ = image;
        push(0x0D, storeMs(image.size()));
        recordBurn(true);
    } else {
        freshChipIfDue();
        const Area area = kAreas[ownMode - 1];
        const auto socket = socketFamily();
        if (!chip_) {
            appendFailure(steps, Failure::EmptySocket, profile, Wait::None, Family::EP8505);
            recordBurn(false);
        } else if (!socket || !isRaw(*socket) || faults_.has(Fault::IdError)) {
            appendFailure(steps, Failure::WrongId, profile, Wait::None, Family::EP8505);
            recordBurn(false);
        } else if (image.size() > area.size) {
            // "length=%d 空间写满，无法写入!": the image does not fit its area.
            std::uint8_t values[5] = {};
            const auto shown = static_cast<std::uint16_t>(std::min<std::size_t>(image.size(), 0xFFFF));
            values[3] = static_cast<std::uint8_t>(shown & 0xFF);
            values[4] = static_cast<std::uint8_t>(shown >> 8);
            steps.push_back({statusReport(0x3C, values), kDelayStoreCheck});
            push(0x8E, kDelayStoreCheck);
            recordBurn(false);
        } else {
            push(0x64, 12);
            CellBurn how;
            how.base = area.base;
            how.mainBytes = image.size();
            how.blankFails = faults_.has(Fault::BlankFail);
            how.weakBit = faults_.has(Fault::VerifyFail) || drawNg(profile).weakBit;
            const BurnResult r =
                appendCellBurn(steps, profile, *otp_, image, how, Wait::None, Family::EP8505, rng_);
            if (r.cellsWritten) chipWritten_ = true;
            recordBurn(r.passed);
        }
    }
    post(steps, false, Family::EP8505);
    return 0;
}

int SimulatedProgrammer::firmwareBlockComplete(int address, int length, int crc) {
    if (!bootLoader_) return kRefused;
    // An update starts over with its first block.
    if (address == 0) {
        update_.clear();
        updateLength_ = -1;
        newTransferWaits();
    }
    const auto block = received_.bytes().first(kBlockBytes);
    const bool framed = address >= 0 && static_cast<std::size_t>(address) == update_.size() &&
                        length == static_cast<int>(kBlockBytes) && received_.highWater() == block.size() &&
                        received_.receivedTotal() == block.size() &&
                        update_.size() + block.size() <= kFirmwareCapacity;
    const bool crcOk = crc == image::imageCrc(block.data(), block.size());
    const bool writeFails = faults_.has(Fault::FwBlockReject) && address == 0;
    std::uint8_t code = 0x0D; // "FLASH编程成功!"
    if (framed && crcOk && !writeFails) {
        update_.insert(update_.end(), block.begin(), block.end());
    } else {
        code = framed && !writeFails ? 0x0C : 0x0B; // "FLASH校验错误!" / "FLASH编程错误!"
        update_.clear();
        updateLength_ = -1;
    }
    received_.clear();
    post({{statusReport(code), kDelayFlashBlock}}, true, Family::EP2706, Answers::Data);
    return 0;
}

int SimulatedProgrammer::firmwareComplete(int zero, int length, int crc) {
    if (!bootLoader_) return kRefused;
    // The file's length must end inside the last block; its CRC covers the file's bytes only.
    const bool ok = zero == 0 && length > 0 && static_cast<std::size_t>(length) <= update_.size() &&
                    update_.size() - static_cast<std::size_t>(length) < kBlockBytes &&
                    crc == image::imageCrc(update_.data(), static_cast<std::size_t>(length));
    updateLength_ = ok ? length : -1;
    post({{statusReport(ok ? 0x0D : 0x0C), kDelayFlashCheck}}, true, Family::EP2706, Answers::Closing);
    return 0;
}

int SimulatedProgrammer::startFirmware(Restart& restart) {
    if (!bootLoader_) return 0; // the application runs already
    if (updateLength_ < 0) return kRefused;
    // The boot loader starts the new application, which comes back on the bus and says its version.
    firmware_.assign(update_.begin(), update_.begin() + updateLength_);
    bootLoader_ = false;
    update_.clear();
    updateLength_ = -1;
    announceVersion_ = true;
    restart = Restart::ComesBack;
    return 0;
}

std::array<std::uint8_t, 15> SimulatedProgrammer::qcReply() {
    std::array<std::uint8_t, 15> q{};
    if (!chip_) return q; // nothing in the socket: every value reads 0
    // The QC firmware names some chips by identifiers of its own.
    const std::uint32_t id = qc::qcIdentifierOf(chip_->model).value_or(chip_->identifier);
    for (int i = 0; i < 4; ++i) q[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (24 - 8 * i));
    std::uint16_t sum = otp_->burntChecksum().value_or(otp_->sum16());
    if (faults_.has(Fault::QcChecksum)) sum = static_cast<std::uint16_t>(sum ^ 0x0101);
    const QcChipValues& v = options_.qc;
    putBe16(&q[4], sum);
    putBe16(&q[6], static_cast<std::uint16_t>(v.version + (faults_.has(Fault::QcVersion) ? 1 : 0)));
    putBe16(&q[8], v.year);
    putBe16(&q[10], v.monthDay);
    // A measurement wanders a little, never across the range's ends.
    const int jitter = static_cast<int>(rng_.between(-5, 5));
    int mv = v.millivolts;
    if (mv > 3005 && mv < 5495) mv += jitter;
    putBe16(&q[12], faults_.has(Fault::QcVoltage) ? kQcOutOfRangeMillivolts : static_cast<std::uint16_t>(mv));
    return q;
}

void SimulatedProgrammer::countError(Failure failure) {
    std::size_t k = 6; // 主区编程错误
    switch (failure) {
    case Failure::EmptySocket:
    case Failure::WrongId: k = 0; break; // ID错误
    case Failure::Checksum:
    case Failure::Verify: k = 7; break; // 主区校验错误
    case Failure::Layout:
    case Failure::HeadMismatch:
    case Failure::HeadMissing:
    case Failure::PageCrc:
    case Failure::Blank: break;
    }
    if (counters_[k] < 0xFFFF) ++counters_[k];
}

int SimulatedProgrammer::zepIap(int command, int a, int b, int c) {
    Restart restart = Restart::None;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        result = iapLocked(command, a, b, c, restart);
    }
    // A restart follows the answer, as the programmer's own USB stack sends it first.
    if (restart != Restart::None) leaveBus(restart);
    return result;
}

int SimulatedProgrammer::iapLocked(int command, int a, int b, int c, Restart& restart) {
    if (!open_) return 1;
    if (bootLoader_) {
        // The boot loader knows the update commands only; burns wait for the application.
        switch (command) {
        case 1:
        case 2:
        case 10:
        case 11:
        case 12:
        case 14:
        case 18:
        case 19:
        case 21:
            return kRefused;
        default:
            break;
        }
    }
    switch (command) {
    case 1: // offline image complete (modes 1-3 program the chip, 4-6 store)
    case 2:
        return offlineImageComplete(command, a, b, c);
    case 5:
        return firmwareBlockComplete(a, b, c);
    case 6:
        return firmwareComplete(a, b, c);
    case 7:
        return startFirmware(restart);
    case 9: // the application restarts into the boot loader at the second 9; the boot loader runs already
        if (!bootLoader_ && !iapRequested_) {
            iapRequested_ = true;
        } else if (!bootLoader_) {
            iapRequested_ = false;
            bootLoader_ = true;
            powerLost_ = false;
            resetTransfer();
            update_.clear();
            updateLength_ = -1;
            restart = faults_.has(Fault::NoReturn) ? Restart::StaysAway : Restart::ComesBack;
        }
        return 0;
    case 10:
        return pageComplete(a, b, c);
    case 11:
        return tailComplete(a, b, c);
    case 12:
        return beginPaged();
    case 14:
        return offlineBlockComplete(a, b, c);
    case 19: // EEPROM data follows in one or more packets from offset 0
        if (a != 0 || b <= 0 || b > static_cast<int>(ReceiveBuffer::kCapacity)) return kRefused;
        resetTransfer();
        transfer_.rx = Rx::Eeprom;
        transfer_.length = b;
        return 0;
    case 21: // user data follows in one packet; a packet the programmer cannot take is answered 0
        resetTransfer();
        transfer_.rx = Rx::UserData;
        transfer_.address = a;
        transfer_.length = b;
        transfer_.valid = a >= 0 && b > 0 && b <= static_cast<int>(kUserDataBytes) &&
                          a <= static_cast<int>(ReceiveBuffer::kCapacity) - b;
        return 0;
    case 8: // first command on a new link
        if (faults_.has(Fault::UsbFail)) return 1;
        if (announceVersion_) {
            // Upper half at report bytes 12-13, lower half at 14-15, both little-endian.
            announceVersion_ = false;
            const std::uint32_t v = firmwareVersionOf(firmware_);
            std::uint8_t values[13] = {};
            image::writeLe16(values + 9, static_cast<std::uint16_t>(v >> 16));
            image::writeLe16(values + 11, static_cast<std::uint16_t>(v & 0xFFFF));
            answer(0x1B, values, kDelayHwVersion);
        }
        return 0;
    case 17: { // auto-detect
        if (faults_.has(Fault::DetectFail)) return 1;
        if (!faults_.has(Fault::NoHwVersion)) answer(0xFF, kHardwareVersion, kDelayHwVersion);
        std::uint8_t values[6] = {};
        if (chip_) putBe16(&values[2], chip_->identifier);
        answer(0xFD, values, kDelayDetect);
        return 0;
    }
    case 18: { // QC test
        if (faults_.has(Fault::QcSilent)) return 0;
        const auto q = qcReply();
        answer(0xFC, q, kDelayQcTest);
        return 0;
    }
    case 20: { // error statistics
        std::uint8_t values[24];
        for (std::size_t k = 0; k < counters_.size(); ++k) {
            values[2 * k] = static_cast<std::uint8_t>(counters_[k] & 0xFF);
            values[2 * k + 1] = static_cast<std::uint8_t>(counters_[k] >> 8);
        }
        answer(0xFB, values, kDelayStatistics);
        return 0;
    }
    case 23: // EE voltage write: the programmer erases its burn count, then reports it cleared
        eeWrite_ = {a, b};
        answer(0x92, {}, kDelayCountErasing);
        answer(0x93, {}, kDelayCountCleared);
        return 0;
    default:
        return kNotSimulated;
    }
}

int SimulatedProgrammer::lastOsError() {
    std::lock_guard lock(mutex_);
    return lastOsError_;
}

std::string SimulatedProgrammer::description() const {
    std::lock_guard lock(mutex_);
    std::string socket = "empty";
    if (chip_) {
        char id[8];
        std::snprintf(id, sizeof id, "0x%04X", chip_->identifier);
        socket = std::string(chip_->model) + " (" + id + ")";
    }
    if (follow_) socket += ", following the selected model";
    return "simulated programmer: socket " + socket + ", faults " + faults_.names();
}

bool SimulatedProgrammer::setDeviceEventSink(DeviceEventSink sink) {
    std::lock_guard lock(eventMutex_);
    sink_ = std::move(sink);
    return true;
}

void SimulatedProgrammer::raise(DeviceEvent::Kind kind) {
    // Called with eventMutex_ held and mutex_ released, so the sink may call the programmer.
    if (!sink_) return;
    DeviceEvent e;
    e.kind = kind;
    e.path = path_;
    e.widePath.assign(path_.begin(), path_.end()); // the path is ASCII
    sink_(e);
}

void SimulatedProgrammer::plug() {
    std::lock_guard events(eventMutex_);
    {
        std::lock_guard lock(mutex_);
        if (plugged_) return;
        plugged_ = true;
    }
    raise(DeviceEvent::Kind::Arrival);
}

void SimulatedProgrammer::unplug() {
    {
        // Pulled out while restarting: it stays out.
        std::lock_guard lock(returnMutex_);
        returnDue_.reset();
    }
    leaveBus(Restart::StaysAway);
}

void SimulatedProgrammer::leaveBus(Restart restart) {
    {
        std::lock_guard events(eventMutex_);
        {
            std::lock_guard lock(mutex_);
            if (!plugged_) return;
            plugged_ = false;
            closeLocked();
        }
        raise(DeviceEvent::Kind::Removal);
    }
    if (restart != Restart::ComesBack) return;
    const auto scaled = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(static_cast<double>(kRestartTime.count()) * options_.timing));
    const auto delay = std::max<Clock::duration>(scaled, kRestartFloor);
    {
        std::lock_guard lock(returnMutex_);
        returnDue_ = Clock::now() + delay;
        if (!returner_.joinable() && !stopping_) returner_ = std::thread([this] { returnLoop(); });
    }
    returnCv_.notify_all();
}

void SimulatedProgrammer::returnLoop() {
    std::unique_lock lock(returnMutex_);
    while (!stopping_) {
        if (!returnDue_) {
            returnCv_.wait(lock);
        } else if (Clock::now() < *returnDue_) {
            returnCv_.wait_until(lock, *returnDue_);
        } else {
            returnDue_.reset();
            lock.unlock();
            plug();
            lock.lock();
        }
    }
}

bool SimulatedProgrammer::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SimulatedProgrammer::setFaults(FaultSet faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

FaultSet SimulatedProgrammer::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void SimulatedProgrammer::setSocketChip(std::optional<SocketChip> chip) {
    std::lock_guard lock(mutex_);
    follow_ = false;
    setSocketChipLocked(chip);
}

void SimulatedProgrammer::modelSelected(std::string_view model) {
    std::lock_guard lock(mutex_);
    selected_ = model;
    const SocketChip* row = findSocketChip(model);
    // The same model again (an auto-detect that confirms it) leaves the chip as it is, burnt or not.
    if (follow_ && row && !(chip_ && chip_->model == row->model)) setSocketChipLocked(*row);
}

std::string SimulatedProgrammer::socketChoice() const {
    std::lock_guard lock(mutex_);
    if (follow_) return "auto";
    return chip_ ? std::string(chip_->model) : "none";
}

std::string SimulatedProgrammer::setSocketChoice(std::string_view choice) {
    const ChipParse parsed = parseSocketChip(choice);
    if (!parsed.ok()) return parsed.error;
    std::lock_guard lock(mutex_);
    follow_ = parsed.follow;
    if (!follow_) {
        setSocketChipLocked(parsed.chip);
        return {};
    }
    // Following from now on: a chip of the model selected already, if any.
    const SocketChip* row = findSocketChip(selected_);
    const SocketChip chip = row ? *row : chip_.value_or(lastChip_);
    if (!(chip_ && *chip_ == chip)) setSocketChipLocked(chip);
    return {};
}

std::string SimulatedProgrammer::socketModel() const {
    std::lock_guard lock(mutex_);
    return chip_ ? std::string(chip_->model) : std::string();
}

std::vector<std::string> SimulatedProgrammer::socketModels() const {
    std::vector<std::string> out;
    for (const auto& row : chips::models())
        if (findSocketChip(row.model)) out.emplace_back(row.model);
    return out;
}

bool SimulatedProgrammer::freshChipAfterBurn() const {
    std::lock_guard lock(mutex_);
    return autoInsert_;
}

void SimulatedProgrammer::setSocketChipLocked(std::optional<SocketChip> chip) {
    chip_ = chip;
    if (chip) lastChip_ = *chip;
    chipWritten_ = false;
    otp_.reset();
    if (chip_) otp_.emplace(chip_->otpBytes);
}

std::vector<BenchControls::FaultChoice> SimulatedProgrammer::faultChoices() const {
    const int rate = faults().ngRate();
    std::vector<FaultChoice> out;
    for (const FaultInfo& f : faultTable()) {
        std::string name(f.name);
        if (f.takesPercent) {
            name += '=';
            name += std::to_string(rate > 0 ? rate : kDefaultNgRate);
        }
        out.push_back({std::move(name), std::string(f.effect)});
    }
    return out;
}

std::string SimulatedProgrammer::setActiveFaults(std::string_view list) {
    const FaultParse parsed = parseFaults(list);
    if (!parsed.ok()) return parsed.error;
    setFaults(parsed.faults);
    return {};
}

void SimulatedProgrammer::insertBlankChip() {
    std::lock_guard lock(mutex_);
    setSocketChipLocked(lastChip_);
}

void SimulatedProgrammer::setAutoInsert(bool on) {
    std::lock_guard lock(mutex_);
    autoInsert_ = on;
}

std::optional<SocketChip> SimulatedProgrammer::socketChip() const {
    std::lock_guard lock(mutex_);
    return chip_;
}

void SimulatedProgrammer::setErrorCounters(const ErrorCounters& counters) {
    std::lock_guard lock(mutex_);
    counters_ = counters;
}

ErrorCounters SimulatedProgrammer::errorCounters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

std::vector<std::uint8_t> SimulatedProgrammer::receivedBytes() const {
    std::lock_guard lock(mutex_);
    const auto bytes = received_.bytes().first(received_.highWater());
    return {bytes.begin(), bytes.end()};
}

std::pair<int, int> SimulatedProgrammer::eeVoltageWrite() const {
    std::lock_guard lock(mutex_);
    return eeWrite_;
}

std::size_t SimulatedProgrammer::pendingReports() const {
    std::lock_guard lock(mutex_);
    return reports_.size();
}

std::vector<std::uint8_t> SimulatedProgrammer::socketCells() const {
    std::lock_guard lock(mutex_);
    if (!otp_) return {};
    return {otp_->cells().begin(), otp_->cells().end()};
}

void SimulatedProgrammer::recordBurn(bool passed) {
    // A silent programmer still decides; only its answers are lost.
    burns_.push_back(passed);
}

std::vector<bool> SimulatedProgrammer::burnOutcomes() const {
    std::lock_guard lock(mutex_);
    return burns_;
}

std::vector<std::uint8_t> SimulatedProgrammer::storedImage() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

std::vector<std::uint8_t> SimulatedProgrammer::eepromData() const {
    std::lock_guard lock(mutex_);
    return eeprom_;
}

std::pair<int, std::vector<std::uint8_t>> SimulatedProgrammer::userData() const {
    std::lock_guard lock(mutex_);
    return userData_;
}

bool SimulatedProgrammer::inBootLoader() const {
    std::lock_guard lock(mutex_);
    return bootLoader_;
}

std::vector<std::uint8_t> SimulatedProgrammer::firmware() const {
    std::lock_guard lock(mutex_);
    return firmware_;
}

} // namespace kelvor::link::sim
