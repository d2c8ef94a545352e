// The programmer's firmware update from the firmware page, against the simulated programmer: it
// restarts into its boot loader and back, so the station's removal, arrival and resume paths run.
#include "jobs/job.h"
#include "image/checksums.h"

#include "link/report_decoder.h"
#include "link/sim/simulated_programmer.h"
#include "link/station/firmware_update.h"
#include "link/station/link.h"
#include "link/station/tracing_programmer.h"
#include "link/station/transfer.h"
#include "support/station_fixture.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace kelvor;
using namespace kelvor::link;
using kelvor::test::StationFixture;

namespace {

struct Command {
    int cmd, a, b, c;
    friend bool operator==(const Command&, const Command&) = default;
};

std::vector<std::uint8_t> firmwareBytes(std::size_t n, std::uint32_t version = kExpectedFirmwareVersion) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    const std::string_view tag = sim::SimulatedProgrammer::kFirmwareVersionTag;
    if (n >= 0x40 + tag.size() + 4) {
        std::copy(tag.begin(), tag.end(), v.begin() + 0x40);
        image::writeLe32(v.data() + 0x40 + tag.size(), version);
    }
    return v;
}

// A station on the simulated programmer, every programmer call traced, the whole pane kept.
struct FirmwareBench {
    explicit FirmwareBench(sim::FaultSet faults = {}) {
        sim::SimOptions o;
        o.timing = 0;
        o.faults = faults;
        trace = std::tmpfile();
        auto tracer = std::make_shared<TracingProgrammer>(std::make_unique<sim::SimulatedProgrammer>(o), trace);
        sim = &static_cast<sim::SimulatedProgrammer&>(tracer->inner());
        link = std::make_unique<Link>(f.station(), tracer, nullptr);
        f.station().setLinkHooks(link.get());
        link->firmware().returnTimeout = std::chrono::milliseconds(400);
        QObject::connect(&f.station().logPane(), &LogPane::appended, [this](const QString& t) { seen += t; });
        QObject::connect(&f.station().logPane(), &LogPane::reset, [this](const QString& t) { seen += t; });
        f.start();
    }
    ~FirmwareBench() { link.reset(); }

    CQORVENDlg& st() { return f.station(); }
    PageModel& page() { return f.page(page::kBoot); }
    std::pair<bool, bool> buttons() { return {page().isEnabled(boot::kEnterIap), page().isEnabled(boot::kDownload)}; }
    int pending() { return link->globals().g_fwUpdatePending; }
    int count(const char* text) const { return static_cast<int>(seen.count(QString::fromUtf8(text))); }
    bool has(const char* text) const { return count(text) > 0; }

    bool runUntil(const std::function<bool()>& done, int ms = 10000) { return test::processEventsUntil(done, ms); }
    // Settled: no transfer, no wait for the programmer, nothing left to arrive.
    void settle(int ms = 300) {
        runUntil([] { return false; }, ms);
        ASSERT_TRUE(runUntil([&] { return !link->transfers().busy() && !link->firmware().awaitingReturn(); }));
    }

    std::string writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = f.path(name);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // The file chosen in the file bar of the firmware tab.
    void choose(const std::string& path) {
        st().mainModel().setCurrent(controlKey(1008), st().pageTab[3]);
        st().switchPage(st().pageTab[3]);
        f.prompter.files.push_back(QString::fromStdString(path));
        st().chooseFile();
    }
    // Every command the programmer received, in order.
    std::vector<Command> commands() {
        std::fflush(trace);
        std::rewind(trace);
        std::string text;
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, trace)) text.append(buf, n);
        std::fseek(trace, 0, SEEK_END);
        std::vector<Command> out;
        static const QRegularExpression re(
            QStringLiteral(R"("call"\s*:\s*"USBIO_ZEP_IAP"\s*,\s*"args"\s*:\s*\[(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\])"));
        auto it = re.globalMatch(QString::fromStdString(text));
        while (it.hasNext()) {
            const auto m = it.next();
            out.push_back({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt()});
        }
        return out;
    }
    std::vector<Command> commands(int cmd) {
        std::vector<Command> out;
        for (const auto& c : commands())
            if (c.cmd == cmd) out.push_back(c);
        return out;
    }

    StationFixture f;
    std::FILE* trace = nullptr;
    sim::SimulatedProgrammer* sim = nullptr;
    std::unique_ptr<Link> link;
    QString seen;
};

} // namespace

TEST(FirmwareUpdate, BothButtonsUpdateTheProgrammerThroughItsBootLoader) {
    FirmwareBench b;
    ASSERT_TRUE(b.link->linkOpen());
    const auto file = firmwareBytes(5000);
    b.choose(b.writeFile("new.bin", file));
    EXPECT_FALSE(b.page().isVisible(boot::kDownload)); // the second step shows with the first

    b.page().click(boot::kEnterIap);
    EXPECT_TRUE(b.page().isVisible(boot::kDownload));
    EXPECT_EQ(b.pending(), 1);
    EXPECT_EQ(b.buttons(), std::make_pair(false, true)); // waiting for the boot loader
    ASSERT_TRUE(b.runUntil([&] { return b.has("固件版本正确!"); }));
    b.settle();

    EXPECT_EQ(b.sim->firmware(), file);
    EXPECT_FALSE(b.sim->inBootLoader());
    EXPECT_EQ(b.pending(), 0);
    EXPECT_EQ(b.buttons(), std::make_pair(true, false));
    EXPECT_EQ(b.st().mainModel().current(controlKey(1037)), 100);
    // Three blocks, the last padded with 0xFF; command 6 with the file's length and CRC.
    std::vector<std::uint8_t> padded = file;
    padded.resize(6144, 0xFF);
    std::vector<Command> expected;
    for (int a = 0; a < 6144; a += 2048)
        expected.push_back({5, a, 2048, image::imageCrc(padded.data() + a, 2048)});
    EXPECT_EQ(b.commands(5), expected);
    EXPECT_EQ(b.commands(6), (std::vector<Command>{{6, 0, 5000, image::imageCrc(file.data(), file.size())}}));
    EXPECT_EQ(b.commands(9).size(), 2u);
    EXPECT_EQ(b.commands(7).size(), 1u);
    // The programmer went away twice and came back twice: once in its boot loader, once running
    // the new firmware; that second connect downloaded nothing.
    EXPECT_EQ(b.count("USB设备已关闭!"), 2);
    EXPECT_EQ(b.count("USB设备已打开!"), 3);
    EXPECT_EQ(b.count("Open File:"), 1);
    EXPECT_EQ(b.count("FLASH编程成功!"), 4);
    EXPECT_TRUE(b.has("跳转至主程序"));
    EXPECT_LT(b.seen.indexOf("下载完毕!"), b.seen.indexOf("跳转至主程序"));

    // A later connect starts no download either.
    b.st().page(page::kIsp).click(controlKey(1021));
    b.st().page(page::kIsp).click(controlKey(1021));
    b.settle();
    EXPECT_EQ(b.count("Open File:"), 1);

    // The second button, pressed while the programmer restarts, leaves the download to its return.
    const auto again = firmwareBytes(3000, 0x20240101);
    b.choose(b.writeFile("other.bin", again));
    b.page().click(boot::kEnterIap);
    EXPECT_EQ(b.buttons(), std::make_pair(false, true));
    b.page().click(boot::kDownload);
    EXPECT_TRUE(b.has("烧录器尚未重新连接, 其返回后将自动开始固件下载"));
    EXPECT_EQ(b.buttons(), std::make_pair(false, false));
    ASSERT_TRUE(b.runUntil([&] { return b.has("固件版本错误"); })); // not the version the station expects
    b.settle();
    EXPECT_EQ(b.sim->firmware(), again);
    EXPECT_EQ(b.count("Open File:"), 2);
    EXPECT_EQ(b.buttons(), std::make_pair(true, false));
}

TEST(FirmwareUpdate, WithTheLinkClosedNothingIsSentAndThePendingFlagStays) {
    for (int pending : {0, 1}) {
        FirmwareBench b;
        b.choose(b.writeFile("new.bin", firmwareBytes(3000)));
        b.st().page(page::kIsp).click(controlKey(1021)); // close
        ASSERT_FALSE(b.link->linkOpen());
        b.link->globals().g_fwUpdatePending = pending;
        b.page().click(boot::kEnterIap);
        EXPECT_TRUE(b.has("请使能烧录器连接")) << pending;
        EXPECT_EQ(b.pending(), pending);
        EXPECT_TRUE(b.commands(9).empty());
    }
}

TEST(FirmwareUpdate, NoBootLoaderRequestWhileATransferRuns) {
    FirmwareBench b({sim::Fault::NoAck}); // the download waits for answers that never come
    b.choose(b.writeFile("new.bin", firmwareBytes(3000)));
    b.page().click(boot::kEnterIap);
    ASSERT_TRUE(b.runUntil([&] { return b.link->transfers().busy(); }));
    b.page().click(boot::kEnterIap);
    EXPECT_TRUE(b.has("上一次烧录尚未结束，请稍候!"));
    EXPECT_EQ(b.commands(9).size(), 2u);
}

TEST(FirmwareUpdate, BadFilesAreRefusedBeforeTheProgrammerIsTouched) {
    struct Case {
        const char* name;
        std::optional<std::size_t> size; // nullopt: no such file
        const char* line;
    };
    const Case cases[] = {
        {"empty.bin", 0, "固件文件为空,不发送!"},
        {"big.bin", 65537, "固件文件长度65537字节,超过65536字节,不发送!"},
        {"missing.bin", std::nullopt, "File Open Fail "},
        {"", std::nullopt, "请先在固件更新页选择以.bin为结尾的固件文件!"}, // none chosen on the tab
        {"image.hex", 100, "请先在固件更新页选择以.bin为结尾的固件文件!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareBench b;
        b.choose(b.writeFile("good.bin", firmwareBytes(300))); // the tab and a recent entry
        std::string path = *c.name ? b.f.path(c.name) : "";
        if (c.size) b.writeFile(c.name, std::vector<std::uint8_t>(*c.size, 0x11));
        b.st().imagePath = QString::fromStdString(path);
        for (const QString& button : {boot::kEnterIap, boot::kDownload}) {
            b.seen.clear();
            b.page().setEnabled(button, true);
            b.page().click(button);
            b.runUntil([] { return false; }, 50);
            EXPECT_TRUE(b.has(c.line)) << b.seen.toStdString();
            EXPECT_EQ(b.buttons(), std::make_pair(true, false));
        }
        EXPECT_EQ(b.pending(), 0);
        EXPECT_TRUE(b.commands(9).empty());
        EXPECT_TRUE(b.commands(5).empty());
        EXPECT_FALSE(b.link->transfers().busy());
    }
}

TEST(FirmwareUpdate, ARejectedBlockStopsTheUpdate) {
    FirmwareBench b({sim::Fault::FwBlockReject});
    b.choose(b.writeFile("new.bin", firmwareBytes(5000)));
    b.page().click(boot::kEnterIap);
    ASSERT_TRUE(b.runUntil([&] { return b.has("FLASH编程错误!"); }));
    b.settle();
    EXPECT_EQ(b.buttons(), std::make_pair(true, false));
    EXPECT_EQ(b.pending(), 1);
    EXPECT_TRUE(b.commands(6).empty());
    EXPECT_TRUE(b.sim->firmware().empty());
    EXPECT_TRUE(b.sim->inBootLoader());
}

TEST(FirmwareUpdate, AProgrammerThatDoesNotReturnIsReportedAndTheUpdateResumesWhenItDoes) {
    FirmwareBench b({sim::Fault::NoReturn});
    const auto file = firmwareBytes(2500);
    b.choose(b.writeFile("new.bin", file));
    b.page().click(boot::kEnterIap);
    EXPECT_TRUE(b.has("烧录器正在重启进入Bootloader"));
    ASSERT_TRUE(b.runUntil([&] { return b.link->firmware().returnTimedOut(); }));
    EXPECT_TRUE(b.has("等待烧录器Bootloader重新连接超时(1秒), 固件未下载!"));
    EXPECT_EQ(b.buttons(), std::make_pair(true, false));
    EXPECT_FALSE(b.link->linkOpen());
    EXPECT_EQ(b.pending(), 1);
    // Plugged in again, it is still in its boot loader: the connect resumes the update.
    b.sim->setFaults({});
    b.sim->plug();
    ASSERT_TRUE(b.runUntil([&] { return b.has("固件版本正确!"); }));
    b.settle();
    EXPECT_EQ(b.sim->firmware(), file);
    EXPECT_EQ(b.pending(), 0);
}

TEST(FirmwareUpdate, PowerLossDuringTheDownloadResumesWithTheSameFile) {
    FirmwareBench b({sim::Fault::PowerLoss});
    const auto file = firmwareBytes(4500);
    b.choose(b.writeFile("new.bin", file));
    b.page().click(boot::kEnterIap);
    // The operator moves on to another tab: the resumed download still sends the firmware.
    b.st().imagePath = QString::fromStdString(b.f.path("rfpwm.hex"));
    ASSERT_TRUE(b.runUntil([&] { return b.has("固件版本正确!"); }));
    b.settle();
    EXPECT_EQ(b.sim->firmware(), file);
    EXPECT_EQ(b.count("Open File:"), 2);
    EXPECT_EQ(b.count("USB设备已关闭!"), 3);
    EXPECT_EQ(b.pending(), 0);
    EXPECT_EQ(b.buttons(), std::make_pair(true, false));
}

TEST(FirmwareUpdate, TheQcRequestDownloadsTheQcFirmwareOnTheReturn) {
    for (int entry : {0, 1}) {
        SCOPED_TRACE(entry);
        FirmwareBench b;
        const auto qc = firmwareBytes(2100);
        QDir(b.f.dir()).mkpath("FirmWare");
        b.writeFile("FirmWare/QC-2706.bin", qc);
        PageModel& qcc = b.f.page(page::kQcConfig);
        qcc.setItems(controlKey(1091), {QStringLiteral("ZEP2706"), QStringLiteral("ZEP27C42")});
        qcc.setCurrent(controlKey(1091), entry);
        // What the QC configuration page does.
        b.st().qcFirmwareRequest = 1;
        b.st().sendMessage(WM_FW_ENTER_IAP);
        ASSERT_TRUE(b.runUntil([&] { return b.link->linkOpen() && b.st().qcFirmwareRequest == 0; }));
        b.settle();
        if (entry == 0) {
            ASSERT_TRUE(b.runUntil([&] { return b.has("固件版本正确!"); }));
            EXPECT_EQ(b.sim->firmware(), qc);
            EXPECT_EQ(b.pending(), 0);
        } else {
            EXPECT_FALSE(b.has("Open File:"));
            EXPECT_TRUE(b.sim->inBootLoader());
        }
    }
}
