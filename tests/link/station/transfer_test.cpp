// jobs/job.h ahead of the Qt headers: image_check.h has a member named like Qt's `slots` macro.
#include "jobs/job.h"

#include "link/station/transfer.h"
#include "link/station/transfer_double.h"

#include "image/checksums.h"
#include "support/station_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvor::link {
namespace {

using namespace std::chrono_literals;
using test::Event;
using test::ScriptedProgrammer;
using test::ScriptedReceiver;
using test::Timeline;

std::vector<std::uint8_t> pattern(int n) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + i / 256 + 11);
    return v;
}

std::string str(std::string_view s) { return std::string(s); }

jobs::TransferVariant variantOf(TransferKind k) {
    switch (k) {
    case TransferKind::Paged: return jobs::TransferVariant::Paged;
    case TransferKind::OfflineBlock: return jobs::TransferVariant::OfflineBlock;
    case TransferKind::Eeprom: return jobs::TransferVariant::Eeprom;
    case TransferKind::UserData: return jobs::TransferVariant::UserData;
    default: return jobs::TransferVariant::Plain;
    }
}

bool isRecordOfFirmwarePage(TransferKind k) { return k == TransferKind::Firmware; }

class TransferTest : public testing::Test {
protected:
    TransferTest() {
        g.g_linkOpen = 1;
        prog->afterCall = [this](const Event& e) {
            rx.onCall(e);
            if (alsoAfterCall) alsoAfterCall(e);
        };
        timing.chunkPause = timing.sendPause = 0us;
        timing.pagedPoll = timing.blockPoll = 50us;
        timing.ackTimeout = 20s; // only a guard against a hang
        timing.ticks = [] { return 1000u; };
        // Starters disable the record's buttons while a transfer runs.
        for (auto b : {isp(1021), isp(1042)}) station().page(page::kIsp).setEnabled(b, false);
        station().page(page::kBoot).setEnabled("btnEnterIap", false);
        station().page(page::kBoot).setEnabled("btnDownload", false);
        station().page(page::kStpg).setEnabled("btnOffline", false);
    }

    static QString isp(int id) { return controlKey(id); }
    CQORVENDlg& station() { return fx.station(); }

    TransferQueue& queue() {
        if (!queue_) queue_ = std::make_unique<TransferQueue>(station(), prog, g, timing);
        return *queue_;
    }

    void start(TransferKind kind, std::vector<std::uint8_t> bytes, int mode = 0) {
        if (kind == TransferKind::Firmware) {
            ASSERT_TRUE(queue().startFirmware(std::move(bytes)));
            return;
        }
        std::vector<jobs::TransferRequest> requests;
        requests.push_back({variantOf(kind), mode, std::move(bytes)});
        ASSERT_TRUE(queue().start(std::move(requests)));
    }

    // Lets the UI thread run until the run has ended and its posted updates have arrived.
    void waitIdle() {
        QDeadlineTimer deadline(30000);
        while (queue().busy() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(100us);
        }
        ASSERT_FALSE(queue().busy()) << "the run did not end";
        QCoreApplication::processEvents();
    }

    void runOne(TransferKind kind, std::vector<std::uint8_t> bytes, int mode = 0) {
        start(kind, std::move(bytes), mode);
        waitIdle();
    }

    // The two buttons of the record: the firmware page's or the programming page's.
    std::pair<bool, bool> buttons(TransferKind kind) {
        if (isRecordOfFirmwarePage(kind))
            return {station().page(page::kBoot).isEnabled("btnEnterIap"),
                    station().page(page::kBoot).isEnabled("btnDownload")};
        return {station().page(page::kIsp).isEnabled(isp(1021)), station().page(page::kIsp).isEnabled(isp(1042))};
    }

    std::string lastToken() const {
        const auto ev = tl.events();
        return ev.empty() ? std::string() : ev.back().token;
    }
    std::string log() const { return fx.logFileText(); }
    bool logHas(std::string_view line) const { return log().find(line) != std::string::npos; }
    std::string pane() { return fx.paneText().toStdString(); }
    QString face() { return station().page(page::kIsp).state(isp(1033)).image; }
    bool controlsEnableSent() { return station().page(page::kStpg).isEnabled("btnOffline"); }

    kelvor::test::StationFixture fx;
    LinkGlobals g;
    Timeline tl;
    std::shared_ptr<ScriptedProgrammer> prog = std::make_shared<ScriptedProgrammer>(tl);
    ScriptedReceiver rx{g, tl};
    std::function<void(const Event&)> alsoAfterCall;
    TransferTiming timing;
    std::unique_ptr<TransferQueue> queue_;
};

// --- expected conversations ----------------------------------------------------------------------

void add(std::string& out, const std::string& token) { out += (out.empty() ? "" : " ") + token; }

std::string chunkTokens(int count) {
    std::string out;
    for (int done = 0; done < count; done += 256)
        add(out, "S" + std::to_string(done) + "+" + std::to_string(std::min(256, count - done)));
    return out;
}

std::string iap(int cmd, int a, int b, int c) {
    return "I" + std::to_string(cmd) + "," + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c);
}

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> v) {
    v.resize((v.size() + 2047) / 2048 * 2048, 0xFF);
    return v;
}

struct Expected {
    std::string tokens;
    std::vector<std::uint8_t> sent;
};

Expected pagedConversation(const std::vector<std::uint8_t>& d, int mode) {
    const int program = static_cast<int>(d.size()) - 130;
    const std::uint8_t* tail = d.data() + program;
    Expected e;
    add(e.tokens, mode != 0 ? "Z2" : "Z1");
    add(e.tokens, "S0+64");
    add(e.tokens, iap(12, 0, 0, 0));
    add(e.tokens, "A5>4");
    if (mode == 0) add(e.tokens, "A5>4");
    for (int a = 0; a < program; a += 8192) {
        add(e.tokens, chunkTokens(8192));
        add(e.tokens, iap(10, a, 8192, image::crc16Xmodem(d.data() + a, 8192)));
        add(e.tokens, "A11>10");
    }
    add(e.tokens, "S0+130");
    add(e.tokens, iap(11, program, 130, image::crc16Xmodem(tail, 130)));
    add(e.tokens, "A8>10");
    e.sent.assign(tail + 64, tail + 128);
    e.sent.insert(e.sent.end(), d.begin(), d.begin() + program);
    e.sent.insert(e.sent.end(), tail, tail + 130);
    return e;
}

Expected offlineConversation(const std::vector<std::uint8_t>& d, int mode) {
    Expected e;
    e.sent = padded(d);
    add(e.tokens, "Z" + std::to_string(30 + mode));
    const int n = static_cast<int>(e.sent.size());
    for (int a = 0; a < n; a += 2048) {
        add(e.tokens, chunkTokens(2048));
        add(e.tokens, iap(14, a, 2048, image::imageCrc(e.sent.data() + a, 2048)));
        add(e.tokens, "A14>13");
    }
    if (mode > 0) add(e.tokens, iap(mode <= 3 ? 1 : 2, n, mode, image::imageCrc(e.sent.data(), e.sent.size())));
    return e;
}

Expected firmwareConversation(const std::vector<std::uint8_t>& d) {
    Expected e;
    e.sent = padded(d);
    const int n = static_cast<int>(e.sent.size());
    for (int a = 0; a < n; a += 2048) {
        add(e.tokens, chunkTokens(2048));
        add(e.tokens, iap(5, a, 2048, image::imageCrc(e.sent.data() + a, 2048)));
        add(e.tokens, "A2>1");
    }
    add(e.tokens, iap(6, 0, static_cast<int>(d.size()), image::imageCrc(d.data(), d.size())));
    add(e.tokens, "A2>1");
    add(e.tokens, iap(7, 0, 0, 0));
    return e;
}

struct SequenceCase {
    const char* name;
    TransferKind kind;
    int length;
    int mode;
    std::function<Expected(const std::vector<std::uint8_t>&)> expect;
};

class TransferSequence : public TransferTest, public testing::WithParamInterface<SequenceCase> {};

TEST_P(TransferSequence, SendsExactlyTheFramedBytes) {
    const auto& c = GetParam();
    const auto data = pattern(c.length);
    runOne(c.kind, data, c.mode);
    const Expected want = c.expect(data);
    EXPECT_EQ(tl.tokens(), want.tokens);
    EXPECT_EQ(tl.sentBytes(), want.sent);
}

const SequenceCase kSequences[] = {
    {"plain_empty_goes_straight_to_burn", TransferKind::Plain, 0, 0, [](auto&) { return Expected{"Z1", {}}; }},
    {"plain_whole_chunks_end_full", TransferKind::Plain, 512, 0,
     [](auto& d) { return Expected{"S0+256 S256+256 Z1", d}; }},
    {"plain_remainder_is_one_short_chunk_offline_mode", TransferKind::Plain, 513, 1,
     [](auto& d) { return Expected{"S0+256 S256+256 S512+1 Z2", d}; }},
    {"paged_mode0_waits_twice_for_the_start", TransferKind::Paged, 8192 + 130, 0,
     [](auto& d) { return pagedConversation(d, 0); }},
    {"paged_mode1_waits_once_two_pages", TransferKind::Paged, 2 * 8192 + 130, 1,
     [](auto& d) { return pagedConversation(d, 1); }},
    {"offline_5000_pads_to_three_blocks", TransferKind::OfflineBlock, 5000, 2,
     [](auto& d) { return offlineConversation(d, 2); }},
    {"offline_mode4_ends_with_command_2", TransferKind::OfflineBlock, 4096, 4,
     [](auto& d) { return offlineConversation(d, 4); }},
    {"offline_mode0_has_no_final_command", TransferKind::OfflineBlock, 100, 0,
     [](auto& d) { return offlineConversation(d, 0); }},
    {"firmware_5000_three_blocks_then_6_and_7", TransferKind::Firmware, 5000, 0,
     [](auto& d) { return firmwareConversation(d); }},
    {"eeprom_one_send", TransferKind::Eeprom, 300, 0,
     [](auto& d) { return Expected{iap(19, 0, 300, 0) + " S0+300", d}; }},
    {"user_data_at_its_start_address", TransferKind::UserData, 200, 0x1234,
     [](auto& d) { return Expected{iap(21, 0x1234, 200, 0) + " S0+200", d}; }},
};

INSTANTIATE_TEST_SUITE_P(Variants, TransferSequence, testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, OfflineFiveThousandBytesAreThreePaddedBlocks) {
    const auto data = pattern(5000);
    runOne(TransferKind::OfflineBlock, data, 1);
    const auto sent = tl.sentBytes();
    ASSERT_EQ(sent.size(), 6144u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sent.begin()));
    EXPECT_TRUE(std::all_of(sent.begin() + 5000, sent.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(rx.answered(14), 3);
    EXPECT_TRUE(tl.contains("I1,6144,1,"));
}

TEST_F(TransferTest, FirmwareCommandSixCarriesTheFileLengthAndItsCrc) {
    const auto data = pattern(5000);
    g.g_fwUpdatePending = 1;
    runOne(TransferKind::Firmware, data);
    EXPECT_EQ(rx.answered(2), 4); // three blocks and the end
    EXPECT_TRUE(tl.contains(iap(6, 0, 5000, image::imageCrc(data.data(), data.size()))));
}

// --- endings ---------------------------------------------------------------------------------------

struct SuccessCase {
    const char* name;
    TransferKind kind;
    int length;
    int mode;
    std::vector<std::string> lines; // in zep.log and, after the earlier lines, in the pane
    std::pair<bool, bool> buttons;
    bool controlsEnable; // WM_CONTROLS_ENABLE handled
};

class TransferSuccess : public TransferTest, public testing::WithParamInterface<SuccessCase> {};

TEST_P(TransferSuccess, EndsAsItsVariantSays) {
    const auto& c = GetParam();
    g.g_fwUpdatePending = 1;
    station().log().windowLog("before");
    QCoreApplication::processEvents();
    runOne(c.kind, pattern(c.length), c.mode);
    for (const auto& l : c.lines) {
        EXPECT_TRUE(logHas(l)) << l << "\n" << log();
        EXPECT_NE(pane().find("12:05:09 " + l + "\r\n"), std::string::npos) << l << "\n" << pane();
    }
    EXPECT_NE(pane().find("before"), std::string::npos) << "an earlier line was lost: " << pane();
    EXPECT_EQ(buttons(c.kind), c.buttons);
    // The verdict is the programmer's: no transfer shows a face.
    EXPECT_NE(face(), "ng");
    EXPECT_EQ(controlsEnableSent(), c.controlsEnable);
    EXPECT_EQ(g.g_fwUpdatePending, c.kind == TransferKind::Firmware ? 0 : 1);
}

// The programming page's buttons belong to the run, which gives them back once the programmer has
// finished reporting; a transfer leaves them as the job set them.
constexpr std::pair<bool, bool> kRunOwns{false, false};
constexpr std::pair<bool, bool> kFirstOnly{true, false};

const SuccessCase kSuccesses[] = {
    {"plain", TransferKind::Plain, 300, 0, {"下载完毕! 0ms\n"}, kRunOwns, false},
    {"paged", TransferKind::Paged, 8322, 0, {"芯片编程成功! 0ms\n", "下载完毕!\n"}, kRunOwns, false},
    // Its WM_CONTROLS_ENABLE, outside any run, gives "烧录器连接" back; "烧录" waits for an open link.
    {"offline_block", TransferKind::OfflineBlock, 5000, 3, {"下载完毕! 0ms\n"}, {true, false}, true},
    {"firmware", TransferKind::Firmware, 3000, 0, {"下载完毕! 0ms\n", "跳转至主程序\n"}, kFirstOnly, false},
    {"eeprom", TransferKind::Eeprom, 300, 0, {"EEprom数据发送完毕!\n"}, kRunOwns, false},
    {"user_data", TransferKind::UserData, 16, 0x100, {}, kRunOwns, false},
};

INSTANTIATE_TEST_SUITE_P(Variants, TransferSuccess, testing::ValuesIn(kSuccesses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, ResultTimeCountsFromTheTransferStart) {
    std::atomic<int> calls{0};
    timing.ticks = [&calls] { return calls++ == 0 ? 1000u : 1234u; };
    runOne(TransferKind::Plain, pattern(10));
    EXPECT_TRUE(logHas("下载完毕! 234ms\n")) << log();
    EXPECT_EQ(g.g_lastEventTick, 1234u);
    EXPECT_EQ(g.g_timeBase, 1234u);
}

struct FailureCase {
    const char* name;
    TransferKind kind;
    int length;
    int mode;
    const char* failCall; // token prefix of the programmer call that fails, or ""
    int occurrence;
    std::uint8_t waiting; // or a failure answer to this wait (0: none)
    int answerOccurrence;
    std::uint8_t answer;
    std::optional<std::string> text; // the failure text, an event log line; nullopt: none
    std::pair<bool, bool> buttons;
    const char* last; // the conversation's last token
};

class TransferFailure : public TransferTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(TransferFailure, StopsWithItsTextAndButtons) {
    const auto& c = GetParam();
    if (*c.failCall) prog->failCall(c.failCall, c.occurrence);
    if (c.waiting) {
        rx.answer = [c](std::uint8_t w, int occurrence) -> std::optional<std::uint8_t> {
            if (w == c.waiting && occurrence == c.answerOccurrence) return c.answer;
            return ScriptedReceiver::success(w);
        };
    }
    g.g_fwUpdatePending = 1;
    station().log().windowLog("before");
    QCoreApplication::processEvents();
    runOne(c.kind, pattern(c.length), c.mode);

    // A failure text used to replace the whole pane, and the next line was glued onto it.
    EXPECT_NE(pane().find("before"), std::string::npos) << "an earlier line was lost: " << pane();
    if (c.text) {
        EXPECT_TRUE(logHas(*c.text)) << log();
        EXPECT_NE(pane().find("12:05:09 " + *c.text + "\r\n"), std::string::npos) << pane();
    }
    EXPECT_EQ(buttons(c.kind), c.buttons);
    EXPECT_EQ(lastToken().rfind(c.last, 0), 0u) << tl.tokens();
    EXPECT_FALSE(logHas("下载完毕!")) << log();
    // Failures send no notification.
    EXPECT_NE(face(), "ng");
    EXPECT_FALSE(controlsEnableSent());
    EXPECT_EQ(g.g_fwUpdatePending, 1);
}

const std::string kSend = str(transfer_text::kSendError);
const std::string kUsb = str(transfer_text::kUsbSendError);
const std::string kOtp = str(transfer_text::kOtpSendError);

const FailureCase kFailures[] = {
    {"plain_chunk", TransferKind::Plain, 1000, 0, "S256", 1, 0, 0, 0, kSend, kRunOwns, "S256+256"},
    {"plain_burn_command", TransferKind::Plain, 1000, 0, "Z", 1, 0, 0, 0, kOtp, kRunOwns, "Z1"},
    {"paged_burn_command", TransferKind::Paged, 8322, 0, "Z", 1, 0, 0, 0, kOtp, kRunOwns, "Z1"},
    {"paged_parameter_half", TransferKind::Paged, 8322, 0, "S0+64", 1, 0, 0, 0, kSend, kRunOwns, "S0+64"},
    {"paged_begin_command", TransferKind::Paged, 8322, 0, "I12", 1, 0, 0, 0, kUsb, kRunOwns, "I12"},
    {"paged_start_refused", TransferKind::Paged, 8322, 0, "", 0, 5, 1, 6, std::nullopt, kRunOwns, "A5>6"},
    {"paged_second_start_refused", TransferKind::Paged, 8322, 0, "", 0, 5, 2, 12, std::nullopt, kRunOwns, "A5>12"},
    {"paged_page_chunk", TransferKind::Paged, 16514, 1, "S512+256", 2, 0, 0, 0, kSend, kRunOwns, "S512+256"},
    {"paged_page_command", TransferKind::Paged, 16514, 1, "I10", 2, 0, 0, 0, kUsb, kRunOwns, "I10,8192"},
    {"paged_page_refused", TransferKind::Paged, 16514, 1, "", 0, 11, 1, 12, std::nullopt, kRunOwns, "A11>12"},
    {"paged_tail", TransferKind::Paged, 8322, 1, "S0+130", 1, 0, 0, 0, kSend, kRunOwns, "S0+130"},
    {"paged_tail_command", TransferKind::Paged, 8322, 1, "I11", 1, 0, 0, 0, kUsb, kRunOwns, "I11"},
    {"paged_final_refused", TransferKind::Paged, 8322, 1, "", 0, 8, 1, 6, std::nullopt, kRunOwns, "A8>6"},
    {"offline_start_command", TransferKind::OfflineBlock, 5000, 1, "Z", 1, 0, 0, 0, kOtp, kRunOwns, "Z31"},
    {"offline_chunk", TransferKind::OfflineBlock, 5000, 1, "S256", 2, 0, 0, 0, kSend, kRunOwns, "S256+256"},
    {"offline_checksum_refused", TransferKind::OfflineBlock, 5000, 1, "", 0, 14, 2, 15, std::nullopt, kRunOwns,
     "A14>15"},
    {"offline_flash_error", TransferKind::OfflineBlock, 5000, 1, "", 0, 14, 1, 3, std::nullopt, kRunOwns, "A14>3"},
    {"offline_final_command", TransferKind::OfflineBlock, 5000, 5, "I2", 1, 0, 0, 0, kUsb, kRunOwns, "I2,6144,5"},
    {"firmware_chunk", TransferKind::Firmware, 5000, 0, "S0+256", 3, 0, 0, 0, kSend, kFirstOnly, "S0+256"},
    {"firmware_block_command", TransferKind::Firmware, 5000, 0, "I5", 1, 0, 0, 0, kUsb, kFirstOnly, "I5,0,2048"},
    {"firmware_block_refused", TransferKind::Firmware, 5000, 0, "", 0, 2, 2, 3, std::nullopt, kFirstOnly, "A2>3"},
    {"firmware_end_command", TransferKind::Firmware, 5000, 0, "I6", 1, 0, 0, 0, kUsb, kFirstOnly, "I6,0,5000"},
    {"firmware_end_refused", TransferKind::Firmware, 5000, 0, "", 0, 2, 4, 3, std::nullopt, kFirstOnly, "A2>3"},
    {"eeprom_command", TransferKind::Eeprom, 300, 0, "I19", 1, 0, 0, 0, kUsb, kRunOwns, "I19"},
    {"eeprom_send", TransferKind::Eeprom, 300, 0, "S0", 1, 0, 0, 0, kSend, kRunOwns, "S0+300"},
    {"user_data_command", TransferKind::UserData, 64, 0, "I21", 1, 0, 0, 0, kUsb, kRunOwns, "I21"},
    {"user_data_send", TransferKind::UserData, 64, 0, "S0", 1, 0, 0, 0, kSend, kRunOwns, "S0+64"},
};

INSTANTIATE_TEST_SUITE_P(Variants, TransferFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, FirmwareStartCommandFailureKeepsTheUpdatePending) {
    // Everything arrived, so the download is reported; starting the new firmware failed.
    prog->failCall("I7");
    g.g_fwUpdatePending = 1;
    runOne(TransferKind::Firmware, pattern(3000));
    EXPECT_TRUE(logHas("下载完毕! 0ms\n"));
    EXPECT_FALSE(logHas("跳转至主程序"));
    EXPECT_NE(pane().find("12:05:09 " + kUsb + "\r\n"), std::string::npos) << pane();
    EXPECT_EQ(g.g_fwUpdatePending, 1);
    EXPECT_EQ(buttons(TransferKind::Firmware), kFirstOnly);
}

TEST_F(TransferTest, OfflineBlockAnnouncementResultIsIgnored) {
    // The call reports a failure, yet the programmer took the block and answers by its report.
    prog->failCall("I14", 1);
    alsoAfterCall = [this](const Event& e) {
        if (e.token.rfind("I14,", 0) == 0 && e.result != 0) rx.grant(14);
    };
    const auto data = pattern(3000);
    runOne(TransferKind::OfflineBlock, data, 1);
    EXPECT_EQ(tl.tokens(), offlineConversation(data, 1).tokens);
    EXPECT_TRUE(logHas("下载完毕! 0ms\n"));
}

// --- no hang: timeouts, a closing link, a removed programmer ---------------------------------------

struct StopCase {
    const char* name;
    TransferKind kind;
    int length;
    int mode;
    enum How { Silent, CloseWhileWaiting, CloseAfterThirdChunk, RemovedAfterThirdChunk, ClosedBeforeStart } how;
    const char* line;
    std::pair<bool, bool> buttons;
    const char* last; // "" when nothing was sent
};

class TransferStop : public TransferTest, public testing::WithParamInterface<StopCase> {};

TEST_P(TransferStop, EndsWithOneLineInsteadOfHanging) {
    const auto& c = GetParam();
    timing.ackTimeout = 100ms;
    switch (c.how) {
    case StopCase::Silent: rx.answer = [](std::uint8_t, int) { return std::nullopt; }; break;
    case StopCase::CloseWhileWaiting:
        rx.answer = [this](std::uint8_t, int) -> std::optional<std::uint8_t> {
            g.g_linkOpen = 0;
            return std::nullopt;
        };
        break;
    case StopCase::CloseAfterThirdChunk:
    case StopCase::RemovedAfterThirdChunk: {
        auto sends = std::make_shared<int>(0);
        if (c.how == StopCase::RemovedAfterThirdChunk) prog->failCall("S", 4);
        alsoAfterCall = [this, sends](const Event& e) {
            if (e.token[0] == 'S' && ++*sends == 3) g.g_linkOpen = 0;
        };
        break;
    }
    case StopCase::ClosedBeforeStart: g.g_linkOpen = 0; break;
    }
    runOne(c.kind, pattern(c.length), c.mode);

    EXPECT_TRUE(logHas(c.line)) << log();
    if (*c.last) {
        EXPECT_EQ(lastToken().rfind(c.last, 0), 0u) << tl.tokens();
    } else {
        EXPECT_EQ(tl.tokens(), "");
    }
    EXPECT_EQ(buttons(c.kind), c.buttons);
    EXPECT_FALSE(logHas("下载完毕!"));
}

const char* const kTimeout = "等待烧录器应答超时! 0ms\n";
const char* const kClosed = "烧录器连接已断开,传输中止! 0ms\n";

const StopCase kStops[] = {
    {"paged_start_timeout", TransferKind::Paged, 8322, 0, StopCase::Silent, kTimeout, kRunOwns, "I12,0,0,0"},
    {"firmware_block_timeout", TransferKind::Firmware, 3000, 0, StopCase::Silent, kTimeout, kFirstOnly, "I5,0,2048"},
    {"offline_block_timeout", TransferKind::OfflineBlock, 3000, 1, StopCase::Silent, kTimeout, kRunOwns, "I14,0,2048"},
    {"paged_link_closes_while_waiting", TransferKind::Paged, 8322, 0, StopCase::CloseWhileWaiting, kClosed, kRunOwns,
     "I12,0,0,0"},
    {"firmware_link_closes_while_waiting", TransferKind::Firmware, 3000, 0, StopCase::CloseWhileWaiting, kClosed,
     kFirstOnly, "I5,0,2048"},
    {"plain_link_closes_between_chunks", TransferKind::Plain, 8322, 0, StopCase::CloseAfterThirdChunk, kClosed,
     kRunOwns, "S512+256"},
    {"offline_programmer_removed_mid_block", TransferKind::OfflineBlock, 5000, 1, StopCase::RemovedAfterThirdChunk,
     kClosed, kRunOwns, "S512+256"},
    {"plain_link_closed_before_start", TransferKind::Plain, 300, 0, StopCase::ClosedBeforeStart, kClosed, kRunOwns,
     ""},
    // Side data keeps the time base of the last result.
    {"eeprom_link_closed_before_start", TransferKind::Eeprom, 300, 0, StopCase::ClosedBeforeStart,
     "烧录器连接已断开,传输中止!", kRunOwns, ""},
};

INSTANTIATE_TEST_SUITE_P(Variants, TransferStop, testing::ValuesIn(kStops),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, AnAnswerThatComesWhileTheCommandIsIssuedIsNotLost) {
    // A fast programmer answered before the waiting value used to be written, which then
    // overwrote the answer and the wait never ended.
    rx.synchronous = true;
    timing.ackTimeout = 2s;
    runOne(TransferKind::Paged, pattern(16514), 1);
    runOne(TransferKind::Firmware, pattern(5000));
    EXPECT_FALSE(logHas("超时")) << log();
    EXPECT_TRUE(logHas("芯片编程成功! 0ms\n"));
    EXPECT_TRUE(logHas("跳转至主程序\n"));
}

// --- refused before anything is sent ---------------------------------------------------------------

struct RefusalCase {
    const char* name;
    TransferKind kind;
    int length;
    std::string line;
    std::pair<bool, bool> buttons;
};

class TransferRefusal : public TransferTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(TransferRefusal, SendsNothing) {
    const auto& c = GetParam();
    runOne(c.kind, pattern(c.length));
    EXPECT_EQ(tl.tokens(), "");
    EXPECT_TRUE(logHas(c.line)) << log();
    EXPECT_EQ(buttons(c.kind), c.buttons);
}

const RefusalCase kRefusals[] = {
    {"user_data_over_256", TransferKind::UserData, 257, "出厂信息数据长度257字节,超过256字节,不发送!", kRunOwns},
    {"paged_part_page", TransferKind::Paged, 8192 + 256 + 130, *jobs::pagedLengthError(8192 + 256 + 130), kRunOwns},
    {"paged_no_program", TransferKind::Paged, 130, *jobs::pagedLengthError(130), kRunOwns},
    {"paged_shorter_than_tail", TransferKind::Paged, 20, *jobs::pagedLengthError(20), kRunOwns},
    {"firmware_empty", TransferKind::Firmware, 0, str(transfer_text::kFirmwareEmpty), kFirstOnly},
    {"firmware_over_64k", TransferKind::Firmware, 65537, "固件文件长度65537字节,超过65536字节,不发送!", kFirstOnly},
};

INSTANTIATE_TEST_SUITE_P(Variants, TransferRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// --- progress --------------------------------------------------------------------------------------

class TransferProgress : public TransferTest {
protected:
    TransferProgress() {
        QObject::connect(&station().mainModel(), &PageModel::changed, [this](const QString& key) {
            if (key == controlKey(1037)) positions.push_back(station().mainModel().current(key));
        });
    }
    std::vector<int> positions;
};

TEST_F(TransferProgress, PlainMeasuresAgainstSixtyFourKilobytes) {
    station().selectModel(*chips::findModel("EP2702"));
    runOne(TransferKind::Plain, pattern(8322));
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.back(), 100);
    positions.pop_back();
    EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), 12);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
}

TEST_F(TransferProgress, PlainNeverMovesTheBarOfTheStageReportedFamilies) {
    for (const char* model : {"EP2706", "LN2056", "LN2057", "EP27C42", "EP2707", "EP27F01", "EP27F01D", "EP27F01A3",
                              "EP27F02", "EPW311", "EP406"}) {
        SCOPED_TRACE(model);
        station().selectModel(*chips::findModel(model));
        positions.clear();
        runOne(TransferKind::Plain, pattern(8322));
        EXPECT_TRUE(positions.empty());
        EXPECT_TRUE(logHas("下载完毕! 0ms\n"));
    }
}

TEST_F(TransferProgress, BlockVariantsMeasureAgainstThePaddedLength) {
    for (auto kind : {TransferKind::OfflineBlock, TransferKind::Firmware}) {
        positions.clear();
        runOne(kind, pattern(5000), 1);
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.front(), 4); // 256 of 6144; against 5000 it would be 5
        EXPECT_NE(std::find(positions.begin(), positions.end(), 33), positions.end()); // one block of three
        EXPECT_EQ(positions.back(), 100);
    }
}

TEST_F(TransferProgress, PagedMeasuresAgainstTheLength) {
    runOne(TransferKind::Paged, pattern(8322), 1);
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions[positions.size() - 2], 98); // 8192 of 8322
    EXPECT_EQ(positions.back(), 100);
}

// --- the queue -------------------------------------------------------------------------------------

TEST_F(TransferTest, RunsSideTransfersFirstOneAfterTheOther) {
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> published;
    queue().onChipImage = [&](auto image) { published.push_back(image); };
    std::vector<jobs::TransferRequest> run;
    run.push_back({jobs::TransferVariant::Eeprom, 0, pattern(10)});
    run.push_back({jobs::TransferVariant::UserData, 0x10, pattern(4)});
    run.push_back({jobs::TransferVariant::Plain, 0, pattern(300)});
    ASSERT_TRUE(queue().start(std::move(run)));
    waitIdle();
    EXPECT_EQ(tl.tokens(), iap(19, 0, 10, 0) + " S0+10 " + iap(21, 0x10, 4, 0) + " S0+4 S0+256 S256+44 Z1");
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(*published[0], pattern(300));
}

TEST_F(TransferTest, FailedSideTransferKeepsTheChipImageBack) {
    prog->failCall("I21");
    std::vector<jobs::TransferRequest> run;
    run.push_back({jobs::TransferVariant::Eeprom, 0, pattern(10)});
    run.push_back({jobs::TransferVariant::UserData, 0, pattern(4)});
    run.push_back({jobs::TransferVariant::Plain, 0, pattern(300)});
    ASSERT_TRUE(queue().start(std::move(run)));
    waitIdle();
    EXPECT_EQ(lastToken(), iap(21, 0, 4, 0));
    EXPECT_TRUE(logHas(transfer_text::kChipNotSent));
    EXPECT_EQ(buttons(TransferKind::Plain), kRunOwns);
}

TEST_F(TransferTest, BusyUntilTheRunEndsAndASecondStartIsRefused) {
    rx.answer = [](std::uint8_t w, int occurrence) -> std::optional<std::uint8_t> {
        if (w == 11 && occurrence == 1) return std::nullopt; // held back until granted below
        return ScriptedReceiver::success(w);
    };
    EXPECT_FALSE(queue().busy());
    start(TransferKind::Paged, pattern(8322), 1);
    EXPECT_TRUE(queue().busy());
    QDeadlineTimer deadline(30000);
    while (!tl.contains("I10,") && !deadline.hasExpired()) std::this_thread::sleep_for(100us);

    std::vector<jobs::TransferRequest> second;
    second.push_back({jobs::TransferVariant::Plain, 0, pattern(300)});
    EXPECT_FALSE(queue().start(std::move(second)));
    EXPECT_FALSE(queue().startFirmware(pattern(300)));
    EXPECT_TRUE(queue().busy());
    QCoreApplication::processEvents();
    EXPECT_NE(pane().find(str(transfer_text::kBusy)), std::string::npos);

    rx.grant(11);
    waitIdle();
    EXPECT_TRUE(logHas("芯片编程成功! 0ms\n"));
    EXPECT_EQ(tl.sentBytes().size(), 64u + 8322u) << "nothing of the refused runs went out";
    runOne(TransferKind::Plain, pattern(10));
    EXPECT_EQ(lastToken(), "Z1");
}

TEST_F(TransferTest, DestroyingTheQueueEndsAWaitingRun) {
    rx.answer = [](std::uint8_t, int) { return std::nullopt; };
    start(TransferKind::Paged, pattern(8322), 0);
    QDeadlineTimer deadline(30000);
    while (!tl.contains("I12,") && !deadline.hasExpired()) std::this_thread::sleep_for(100us);
    queue_.reset(); // returns only when the worker has ended
    QCoreApplication::processEvents();
    EXPECT_FALSE(logHas("超时"));
    EXPECT_EQ(buttons(TransferKind::Paged), std::make_pair(false, false));
}

TEST_F(TransferTest, DestroyingTheQueueReleasesAWorkerWaitingForTheUiThread) {
    // The offline-block variant ends with a synchronous notification that this (UI) thread never serves.
    start(TransferKind::OfflineBlock, pattern(10), 0);
    QDeadlineTimer deadline(30000);
    while (!tl.contains("I14,") && !deadline.hasExpired()) std::this_thread::sleep_for(100us);
    queue_.reset();
    SUCCEED();
}

} // namespace
} // namespace kelvor::link
