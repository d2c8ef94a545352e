#pragma once
// The station's side of a burn, as far as the simulator's tests need it: jobs prepared by the
// station's own job code, each transfer framed as the station frames its variant, and every report
// run through the station's decoder, whose handshake values drive the waits. One thread: reports are
// decoded only inside a wait or a drain, so no answer can slip past a wait.
#include "base/reporter.h"
#include "base/settings.h"
#include "image/checksums.h"
#include "jobs/hex_fixture.h"
#include "jobs/job.h"
#include "link/report_decoder.h"
#include "link/sim/simulated_programmer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvor::link::sim::test {

using namespace std::chrono_literals;

// Answers due at once; the receive deadline only guards against a hang.
inline SimOptions fastOptions(std::string_view chip, FaultSet faults = {}) {
    SimOptions o;
    o.timing = 0;
    o.recvWait = 10s;
    o.chip = parseSocketChip(chip).chip;
    o.faults = faults;
    return o;
}

// Commands 9 and 9 as the station sends them. The application restarts into its boot loader: it
// leaves the bus and comes back, and is opened again. A running boot loader stays where it is.
inline void enterBootLoader(SimulatedProgrammer& p) {
    const bool restarts = !p.inBootLoader();
    ASSERT_EQ(p.zepIap(9, 0, 0, 0), 0);
    ASSERT_EQ(p.zepIap(9, 0, 0, 0), 0);
    ASSERT_TRUE(p.inBootLoader());
    if (!restarts) return;
    ASSERT_FALSE(p.isConnected());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!p.plugged() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(p.plugged()) << "the boot loader did not come back";
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
}

// Program bytes at the start and configuration words with OTP_MODE `otpMode` (EP3901 goes paged
// with 0xF, an image of 0x4000).
inline std::string imageHex(std::uint8_t otpMode = 7) {
    testing_hex::HexBuilder h;
    h.data(0x0000, testing_hex::pattern(0x300));
    h.upper(0x0030).data(0x0000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  static_cast<std::uint8_t>(0xF0 | otpMode), 0xFF, 0xFF, 0xFF});
    return h.text();
}

struct PreparedJob {
    jobs::JobResult result;
    std::unique_ptr<image::ImageState> state = std::make_unique<image::ImageState>();
    const jobs::TransferRequest& chip() const { return *result.chipTransfer(); }
    // N of the job's layout.
    int programBytes() const {
        return jobs::jobLayout(jobs::jobFamily(result.family), state->imageLength).programBytes;
    }
};

struct JobSetup {
    bool hwVersionSeen = false;
    int programMode = 0;
    std::string hex = imageHex();
    std::string batch = "12345678";
    std::string increment = "10";
};

inline PreparedJob prepareJob(const chips::ModelRow& row, const JobSetup& setup = {}) {
    PreparedJob job;
    jobs::JobInputs in = jobs::defaultJobInputs(row);
    in.batchText = setup.batch;
    in.incrementText = setup.increment;
    jobs::JobContext ctx;
    ctx.model = &row;
    ctx.imagePath = testing_hex::writeTempFile("image.hex", setup.hex);
    ctx.hwVersionSeen = setup.hwVersionSeen;
    ctx.programMode = setup.programMode;
    MemorySettings settings;
    RecordingReporter reporter;
    job.result = jobs::startProgrammingJob(in, ctx, *job.state, settings, reporter);
    EXPECT_EQ(job.result.code, jobs::kJobPrepared) << row.model;
    return job;
}

// How a transfer ended, from the sending thread's point of view.
enum class Sent {
    Completed,
    SendFailed,    // OTP_SEND returned non-zero ("发送错误!")
    CommandFailed, // SET_ZEP or ZEP_IAP returned non-zero
    Refused,       // a wait was answered with a failure
    NoAnswer,      // a wait was never answered
};

inline const char* sentName(Sent s) {
    switch (s) {
    case Sent::Completed:
        return "completed";
    case Sent::SendFailed:
        return "send failed";
    case Sent::CommandFailed:
        return "command failed";
    case Sent::Refused:
        return "refused";
    case Sent::NoAnswer:
        return "no answer";
    }
    return "?";
}

class Station {
public:
    Station(SimulatedProgrammer& p, const chips::ModelRow* model, bool hwVersionSeen = false) : p_(p) {
        ctx_.model = model;
        state_.hwVersionSeen = hwVersionSeen;
    }

    // What the last burn showed the operator.
    std::vector<std::string> lines;
    std::vector<int> progress;
    int passes = 0;
    int fails = 0;
    int linkState = 0;
    int waitsAnswered = 0;

    void clear() {
        lines.clear();
        progress.clear();
        passes = fails = waitsAnswered = 0;
    }
    bool logged(std::string_view prefix) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.starts_with(prefix); });
    }
    const std::string* line(std::string_view prefix) const {
        for (const auto& l : lines)
            if (l.starts_with(prefix)) return &l;
        return nullptr;
    }

    // Reads every report queued.
    void drain() {
        while (p_.pendingReports() > 0)
            if (!receive()) return;
    }

    // A transfer thread's wait: write the waiting value, read answers until it changes. Nothing when
    // no answer is coming.
    std::optional<int> wait(int waiting) {
        linkState = waiting;
        while (linkState == waiting) {
            if (p_.pendingReports() == 0 || !receive()) return std::nullopt;
        }
        ++waitsAnswered;
        return linkState;
    }

    // A press of "烧录" (or an offline page's button): clears the view, sends, reads every answer.
    Sent burn(const jobs::TransferRequest& t) {
        clear();
        ctx_.programPresses++;
        const Sent s = send(t);
        drain();
        return s;
    }

    Sent send(const jobs::TransferRequest& t) {
        switch (t.variant) {
        case jobs::TransferVariant::Plain:
            return plain(t.bytes, t.modeValue);
        case jobs::TransferVariant::Paged:
            return paged(t.bytes, t.modeValue);
        case jobs::TransferVariant::OfflineBlock:
            return offlineBlocks(t.bytes, t.modeValue);
        case jobs::TransferVariant::Eeprom:
            if (p_.zepIap(19, 0, t.length(), 0) != 0) return Sent::CommandFailed;
            return p_.otpSend(0, t.length(), t.bytes.data()) == 0 ? Sent::Completed : Sent::SendFailed;
        case jobs::TransferVariant::UserData:
            if (p_.zepIap(21, t.modeValue, t.length(), 0) != 0) return Sent::CommandFailed;
            return p_.otpSend(0, t.length(), t.bytes.data()) == 0 ? Sent::Completed : Sent::SendFailed;
        }
        return Sent::CommandFailed;
    }

    // Chunks of at most 256 bytes at offsets counted from 0.
    bool chunks(const std::uint8_t* data, std::size_t count) {
        for (std::size_t sent = 0; sent < count;) {
            const int n = static_cast<int>(std::min<std::size_t>(256, count - sent));
            if (p_.otpSend(static_cast<int>(sent), n, data + sent) != 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    Sent plain(const std::vector<std::uint8_t>& bytes, int mode) {
        if (!chunks(bytes.data(), bytes.size())) return Sent::SendFailed;
        return p_.setZep(mode != 0 ? 2 : 1) == 0 ? Sent::Completed : Sent::CommandFailed;
    }

    Sent paged(const std::vector<std::uint8_t>& bytes, int mode) {
        const std::size_t length = bytes.size();
        if (p_.setZep(mode != 0 ? 2 : 1) != 0) return Sent::CommandFailed;
        if (p_.otpSend(0, 64, bytes.data() + length - 66) != 0) return Sent::SendFailed;
        if (p_.zepIap(12, 0, 0, 0) != 0) return Sent::CommandFailed;
        // With mode value 0 the programmer answers twice: once begun, once calibrated.
        for (int k = 0; k < (mode == 0 ? 2 : 1); ++k) {
            const auto answer = wait(5);
            if (!answer) return Sent::NoAnswer;
            if (*answer != 4) return Sent::Refused;
        }
        const std::size_t program = length - 130;
        for (std::size_t page = 0; page < program; page += 8192) {
            if (!chunks(bytes.data() + page, 8192)) return Sent::SendFailed;
            if (auto s = announce(10, static_cast<int>(page), 8192,
                                  image::crc16Xmodem(bytes.data() + page, 8192), 11))
                return *s;
        }
        if (p_.otpSend(0, 130, bytes.data() + program) != 0) return Sent::SendFailed;
        if (auto s = announce(11, static_cast<int>(program), 130,
                              image::crc16Xmodem(bytes.data() + program, 130), 8))
            return *s;
        return Sent::Completed;
    }

    Sent offlineBlocks(std::vector<std::uint8_t> bytes, int mode) {
        if (p_.setZep(30 + mode) != 0) return Sent::CommandFailed;
        bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0xFF);
        for (std::size_t block = 0; block < bytes.size(); block += 2048) {
            if (!chunks(bytes.data() + block, 2048)) return Sent::SendFailed;
            p_.zepIap(14, static_cast<int>(block), 2048, image::imageCrc(bytes.data() + block, 2048));
            const auto answer = wait(14);
            if (!answer) return Sent::NoAnswer;
            if (*answer == 15) return Sent::Refused;
        }
        if (mode <= 0) return Sent::Completed;
        const int padded = static_cast<int>(bytes.size());
        return p_.zepIap(mode <= 3 ? 1 : 2, padded, mode, image::imageCrc(bytes.data(), bytes.size())) == 0
                   ? Sent::Completed
                   : Sent::CommandFailed;
    }

    // A page or tail command and its wait for answer 10.
    std::optional<Sent> announce(int command, int address, int length, std::uint16_t crc, int waiting) {
        if (p_.zepIap(command, address, length, crc) != 0) return Sent::CommandFailed;
        const auto answer = wait(waiting);
        if (!answer) return Sent::NoAnswer;
        if (*answer != 10) return Sent::Refused;
        return std::nullopt;
    }

private:
    bool receive() {
        Report r{};
        if (p_.otpRecv(nullptr, r.data()) != 0) return false;
        for (const Effect& e : decodeReport(r, ++tick_, state_, ctx_)) {
            switch (e.kind) {
            case Effect::Kind::EventLog:
                lines.push_back(e.text);
                break;
            case Effect::Kind::LinkState:
                linkState = e.value;
                break;
            case Effect::Kind::Progress:
                progress.push_back(e.value);
                break;
            case Effect::Kind::Notify:
                if (e.notification() == Notification::ResultPass) ++passes;
                if (e.notification() == Notification::ResultFail) ++fails;
                break;
            case Effect::Kind::Sound:
            case Effect::Kind::EnableBoth:
                break;
            }
        }
        return true;
    }

    SimulatedProgrammer& p_;
    ReceiverState state_;
    ReportContext ctx_;
    std::uint32_t tick_ = 0;
};

} // namespace kelvor::link::sim::test
