#include "link/sim/simulated_programmer.h"

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

// Slower than this would be no programmer anyone waits for.
constexpr double kMaxTiming = 1000.0;

// The code a garbage answer carries: one the station's status table does not list.
constexpr std::uint8_t kGarbageCode = 0x18;

// What the QC firmware reads from a chip besides its identifier and checksum.
constexpr std::uint16_t kChipFirmwareVersion = 258;
constexpr std::uint16_t kChipFirmwareYear = 2024;
constexpr std::uint16_t kChipFirmwareMonthDay = 315;
constexpr int kChipSupplyMillivolts = 4980;

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
      filter_(kDeviceFilter), chip_(options.chip) {
    if (chip_) otp_.emplace(chip_->otpBytes);
    // A programmer in use has seen a few errors already.
    for (auto& c : counters_)
        c = static_cast<std::uint16_t>(rng_.between(0, 12));
}

SimulatedProgrammer::~SimulatedProgrammer() = default;

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
    received_.clear();
    answered_.notify_all();
    return kHandle;
}

void SimulatedProgrammer::closeLocked() {
    if (!open_) return;
    open_ = false;
    ++session_;
    reports_.clear();
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

int SimulatedProgrammer::otpSend(int offset, int length, const std::uint8_t* data) {
    std::lock_guard lock(mutex_);
    if (!open_ || offset < 0 || length < 0 || (length > 0 && data == nullptr)) return 1;
    const std::span<const std::uint8_t> bytes(data, static_cast<std::size_t>(length));
    return received_.write(static_cast<std::size_t>(offset), bytes) ? 0 : 1;
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
    switch (mode) {
    case 13:
        return 0; // chip reset: the socket chip restarts, nothing to report
    default:
        return kNotSimulated;
    }
}

void SimulatedProgrammer::answer(std::uint8_t code, std::span<const std::uint8_t> values, int delayMs) {
    if (faults_.has(Fault::Silent)) return;
    if (faults_.has(Fault::Garbage)) code = kGarbageCode;
    // Up to a tenth either way, so that answers do not arrive like clockwork.
    const double jitter = 1.0 + static_cast<double>(rng_.between(-100, 100)) / 1000.0;
    const auto delay = std::chrono::duration<double, std::milli>(delayMs * jitter * options_.timing);
    reports_.push(statusReport(code, values),
                  Clock::now() + std::chrono::duration_cast<Clock::duration>(delay));
    answered_.notify_all();
}

std::array<std::uint8_t, 15> SimulatedProgrammer::qcReply() {
    std::array<std::uint8_t, 15> q{};
    if (!chip_) return q; // nothing in the socket: every value reads 0
    putBe16(&q[2], chip_->identifier);
    putBe16(&q[4], otp_->sum16());
    putBe16(&q[6], kChipFirmwareVersion);
    putBe16(&q[8], kChipFirmwareYear);
    putBe16(&q[10], kChipFirmwareMonthDay);
    putBe16(&q[12], static_cast<std::uint16_t>(kChipSupplyMillivolts + rng_.between(-20, 20)));
    return q;
}

int SimulatedProgrammer::zepIap(int command, int a, int b, int) {
    std::lock_guard lock(mutex_);
    if (!open_) return 1;
    switch (command) {
    case 8: // first command on a new link
        return faults_.has(Fault::UsbFail) ? 1 : 0;
    case 17: { // auto-detect
        if (faults_.has(Fault::DetectFail)) return 1;
        if (!faults_.has(Fault::NoHwVersion)) answer(0xFF, kHardwareVersion, kDelayHwVersion);
        std::uint8_t values[6] = {};
        if (chip_) putBe16(&values[2], chip_->identifier);
        answer(0xFD, values, kDelayDetect);
        return 0;
    }
    case 18: { // QC test
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
    std::lock_guard events(eventMutex_);
    {
        std::lock_guard lock(mutex_);
        if (!plugged_) return;
        plugged_ = false;
        closeLocked();
    }
    raise(DeviceEvent::Kind::Removal);
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
    chip_ = chip;
    otp_.reset();
    if (chip_) otp_.emplace(chip_->otpBytes);
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

} // namespace kelvor::link::sim
