// The connect handler, device events and the receive thread against the simulated programmer.
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "link/station/transfer.h"
#include "link/station/udev_monitor.h"
#include "support/image_fixtures.h"
#include "support/link_fixture.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <fstream>
#include <optional>
#include <QThread>

#include <gtest/gtest.h>

using namespace kelvor;
using namespace kelvor::link;
using kelvor::test::LinkFixture;
using kelvor::test::StationFixture;

namespace {

sim::SimOptions withFaults(std::initializer_list<sim::Fault> faults) {
    sim::SimOptions o;
    o.faults = sim::FaultSet(faults);
    return o;
}

} // namespace

TEST(Connect, StartUpConnectsDetectsAndSelects) {
    LinkFixture t;
    t.f.start();
    EXPECT_TRUE(t.link->linkOpen());
    EXPECT_TRUE(t.paneHas("共找到1个设备!"));
    EXPECT_TRUE(t.paneHas("打开设备成功!\n\r\n"));
    EXPECT_TRUE(t.paneHas("USB设备已打开!"));
    EXPECT_TRUE(t.paneHas("模拟烧录器"));
    EXPECT_TRUE(t.f.station().mainModel().text("title").contains("模拟烧录器"));
    auto& isp = t.f.page(page::kIsp);
    EXPECT_EQ(isp.text(controlKey(1021)), "烧录器断开");
    EXPECT_TRUE(isp.isEnabled(controlKey(1030)));
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    EXPECT_EQ(t.f.station().selectedModel()->model, "EP2706");
    EXPECT_TRUE(t.link->hwVersionSeen());
    EXPECT_TRUE(t.paneHas("硬件版本返回成功"));
    EXPECT_FALSE(t.paneHas("ms\n") && t.pane().contains(QRegularExpression("\\d{7,}ms")));
    // The button closes the link again.
    isp.click(controlKey(1021));
    EXPECT_FALSE(t.link->linkOpen());
    EXPECT_TRUE(t.paneHas("设备关闭成功!"));
    EXPECT_EQ(isp.text(controlKey(1021)), "烧录器连接");
    EXPECT_FALSE(isp.isEnabled(controlKey(1042)));
}

TEST(Connect, FaultsEndTheHandlerWithTheirLine) {
    struct Case {
        sim::Fault fault;
        const char* line;
        bool open;
    };
    const Case cases[] = {
        {sim::Fault::NoProgrammer, "共找到0个设备!", false},
        {sim::Fault::OpenBusy, "打开设备失败：设备已经被打开!", false},
        {sim::Fault::OpenFail, "打开设备失败!", false},
        {sim::Fault::UartFail, "设备打开错误!", false},
        {sim::Fault::UsbFail, "USB通讯错误!", true},
        {sim::Fault::DetectFail, "自动检测失败!", true},
    };
    for (const auto& c : cases) {
        LinkFixture t(withFaults({c.fault}));
        t.f.start();
        if (c.fault == sim::Fault::NoProgrammer) t.link->onLinkConnect();
        EXPECT_TRUE(t.paneHas(c.line)) << c.line;
        EXPECT_EQ(t.link->linkOpen(), c.open) << c.line;
        if (c.fault == sim::Fault::OpenBusy || c.fault == sim::Fault::OpenFail || c.fault == sim::Fault::NoProgrammer) {
            EXPECT_TRUE(t.paneHas("请插入USB设备!")) << c.line;
        }
        if (c.fault == sim::Fault::UsbFail) {
            EXPECT_EQ(t.link->globals().g_receiverRunning, 0);
        }
    }
}

TEST(Connect, NoChipAndUnknownChipAnswers) {
    {
        sim::SimOptions o;
        o.chip = std::nullopt;
        LinkFixture t(o);
        t.f.start();
        ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
        EXPECT_TRUE(t.paneHas("未检测到芯片，请确保连线无误!"));
        EXPECT_FALSE(t.link->lastDetectSelected);
    }
    {
        sim::SimOptions o;
        o.chip = sim::parseSocketChip("EP27C42").chip;
        LinkFixture t(o);
        t.f.start();
        ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
        EXPECT_FALSE(t.link->lastDetectSelected);
        EXPECT_EQ(t.f.station().selectedModel(), nullptr); // first start: nothing selected, nothing changed
    }
}

TEST(Connect, GarbageOutsideARunIsLoggedButJudgesNoChip) {
    // The connect's answers used to show the NG face before any chip was burnt.
    LinkFixture t(withFaults({sim::Fault::Garbage}));
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.paneHas("USB信息返回错误!"); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(t.f.page(page::kIsp).state(controlKey(1033)).image, face::kIdle);
}

TEST(Devices, UnplugAndPlugOfTheOpenProgrammer) {
    LinkFixture t;
    t.f.start();
    ASSERT_TRUE(t.link->linkOpen());
    t.sim->unplug();
    ASSERT_TRUE(t.runUntil([&] { return t.paneHas("USB设备已关闭!"); }));
    EXPECT_TRUE(t.paneHas("USB设备被拔出!"));
    EXPECT_TRUE(t.paneHas("设备被拔出!"));
    EXPECT_FALSE(t.link->linkOpen());
    EXPECT_EQ(t.link->globals().g_receiverRunning, 0);
    EXPECT_FALSE(t.f.page(page::kIsp).isEnabled(controlKey(1030)));
    // "USB设备已关闭!" comes only after the receiver stopped.
    EXPECT_GT(t.pane().indexOf("USB设备已关闭!"), t.pane().indexOf("设备被拔出!"));

    t.sim->plug();
    ASSERT_TRUE(t.runUntil([&] { return t.link->linkOpen(); }));
    EXPECT_TRUE(t.paneHas("USB设备被插入!"));
}

// Every re-plug used to leave its ended receive thread unjoined until the station closed.
TEST(Devices, RepluggingKeepsNoEndedReceiveThreads) {
    LinkFixture t;
    t.f.start();
    for (int i = 0; i < 20; ++i) {
        t.sim->unplug();
        ASSERT_TRUE(t.runUntil([&] { return t.link->globals().g_receiverRunning == 0; }));
        t.sim->plug();
        ASSERT_TRUE(t.runUntil([&] { return t.link->linkOpen(); }));
    }
    EXPECT_LE(t.link->receiverThreads(), 2u);
}

TEST(Devices, OtherDevicesAndAnArrivalWhileOpen) {
    LinkFixture t;
    t.f.start();
    // Another HID device with the prefix goes away: caption reset, link stays open.
    DeviceEvent other;
    other.kind = DeviceEvent::Kind::Removal;
    other.path = std::string(kInterfacePrefix) + "#OTHER#{x}";
    t.link->onDeviceEvent(other);
    EXPECT_TRUE(t.paneHas("USB设备被拔出!"));
    EXPECT_TRUE(t.link->linkOpen());
    DeviceEvent foreign;
    foreign.kind = DeviceEvent::Kind::Arrival;
    foreign.path = "\\\\?\\HID#VID_1234&PID_0001#x";
    t.link->onDeviceEvent(foreign);
    EXPECT_TRUE(t.paneHas("compare faild"));
    DeviceEvent empty;
    t.link->onDeviceEvent(empty); // ignored
    // An arrival with the prefix while open runs the toggle: the link closes.
    DeviceEvent arrival;
    arrival.kind = DeviceEvent::Kind::Arrival;
    arrival.path = t.sim->interfacePath();
    t.link->onDeviceEvent(arrival);
    EXPECT_FALSE(t.link->linkOpen());
}

TEST(Devices, RemovalWhileTheReceiverWaitsOnTheUiThreadDoesNotDeadlock) {
    LinkFixture t;
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    // Queue an answer, let the receiver block in its synchronous notification, then unplug
    // before the UI thread handles anything.
    t.f.station().sendMessage(WM_CHIP_RESET);
    t.link->onAutoDetect();
    QThread::msleep(100);
    t.sim->unplug();
    ASSERT_TRUE(t.runUntil([&] { return t.paneHas("USB设备已关闭!"); }));
}

TEST(Commands, ResetDetectAndEeWrite) {
    LinkFixture t;
    t.f.start();
    t.f.station().sendMessage(WM_CHIP_RESET);
    EXPECT_TRUE(t.paneHas("复位芯片成功!"));
    t.link->globals().g_passCount = 4;
    t.f.station().sendMessage(WM_COUNT_CLEAR, 7, 4500);
    EXPECT_EQ(t.sim->eeVoltageWrite(), (std::pair<int, int>{7, 4500}));
    ASSERT_TRUE(t.runUntil([&] { return t.paneHas("烧录计数已清零"); }));
    EXPECT_TRUE(t.paneHas("烧录计数擦除中"));
    EXPECT_EQ(t.link->globals().g_passCount, 0);

    t.f.station().menuCommand(cmd::kAutoDetect);
    const int before = t.link->detectAnswers;
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > before; }));
}

TEST(Receiver, IdleLinkDoesNotSpinAndClosesCleanly) {
    LinkFixture t(withFaults({sim::Fault::Silent}));
    t.f.start();
    ASSERT_TRUE(t.link->linkOpen());
    const std::clock_t before = std::clock();
    QThread::msleep(300);
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    // Generous: a spinning receiver would use the whole 300 ms of one core.
    EXPECT_LT(cpuMs, 150.0);
    t.f.page(page::kIsp).click(controlKey(1021));
    ASSERT_TRUE(t.runUntil([&] { return t.link->globals().g_receiverRunning == 0; }));
}

TEST(Devices, UdevPathsBecomeInterfacePaths) {
    EXPECT_EQ(interfacePathFromDevpath("/devices/pci0000:00/usb1/1-2/1-2:1.0/0003:0B7A:0731.000a/hidraw/hidraw2"),
              std::string(kInterfacePrefix) + "#7&000A&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}");
    EXPECT_EQ(interfacePathFromDevpath("/devices/pci0000:00/usb1/1-3/0003:046D:C077.0002/hidraw/hidraw0"), "");
    EXPECT_EQ(interfacePathFromDevpath(""), "");
}

TEST(Burn, PressingBurnProgramsASimulatedChip) {
    sim::SimOptions o;
    o.chip = sim::parseSocketChip("EP27C42").chip;
    LinkFixture t(o);
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    t.f.station().selectModel(*chips::findModel("EP27C42"));
    const std::string image = t.f.path("demo.hex");
    std::ofstream(image, std::ios::binary) << ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
    t.f.station().imagePath = QString::fromStdString(image);
    auto& isp = t.f.page(page::kIsp);
    bool pass = false, ended = false;
    QObject::connect(t.link.get(), &Link::verdict, [&](bool p) { pass = p; });
    QObject::connect(t.link.get(), &Link::runFinished, [&](const RunResult&) { ended = true; });
    isp.click(controlKey(1042));
    EXPECT_TRUE(t.f.station().mainModel().text(controlKey(1041)).startsWith("CKSUM: 0x"));
    EXPECT_FALSE(isp.isEnabled(controlKey(1042))); // until the run ends
    ASSERT_TRUE(t.runUntil([&] { return ended; }, 10000));
    EXPECT_TRUE(pass);
    EXPECT_EQ(isp.state(controlKey(1033)).image, "ok");
    EXPECT_TRUE(isp.isEnabled(controlKey(1042)));
    EXPECT_EQ(t.f.station().mainModel().current(controlKey(1037)), 100);
    EXPECT_TRUE(t.paneHas("总次数:1,OK:1,NG:0"));
    EXPECT_EQ(t.link->globals().g_programPresses, 1);
}

namespace {

// 512 program bytes and nothing else: an image every family's decoder takes.
std::string writeUsableImage(const StationFixture& f) {
    std::string text;
    for (int at = 0; at < 512; at += 16) {
        std::vector<std::uint8_t> row(16);
        for (int i = 0; i < 16; ++i) row[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((at + i) * 7 + 1);
        text += kelvor::test::hexData(static_cast<std::uint16_t>(at), row);
    }
    const std::string path = f.path("usable.hex");
    std::ofstream(path, std::ios::binary) << text << kelvor::test::hexEnd();
    return path;
}

// One press of "烧录" with the model chosen from the Device menu; true for the OK verdict.
bool burnFromTheMenu(LinkFixture& t, const char* model, const std::string& image) {
    t.f.station().menuCommand(chips::findModel(model)->command);
    t.f.station().imagePath = QString::fromStdString(image);
    std::optional<bool> verdict;
    const auto c = QObject::connect(t.link.get(), &Link::verdict, [&](bool p) { verdict = p; });
    t.f.page(page::kIsp).click(controlKey(1042));
    t.runUntil([&] { return verdict.has_value(); }, 15000);
    // The next press is taken only once the programmer has finished reporting this burn.
    t.runUntil([&] { return !t.link->runInProgress(); });
    QObject::disconnect(c);
    return verdict.value_or(false);
}

} // namespace

TEST(SimulatedSocket, ARestartKeepsTheStoredModelAndEveryModelBurnsAtOnce) {
    LinkFixture t;
    t.f.writeIni("[KELVOR]\r\nDEVICE=EP39F022\r\nVOL=4.500\r\nUIDD=FFFFFFFF\r\nUIDS=FFFFFFFF\r\nFREQ=5\r\n");
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    // The socket held the stored model's chip when the start-up asked: the answer selects nothing.
    EXPECT_EQ(t.f.station().selectedModel()->model, "EP39F022");
    EXPECT_EQ(t.f.station().mainModel().text(Link::kSocketKey), "模拟插座: EP39F022 (跟随型号)");
    EXPECT_TRUE(t.f.station().mainModel().isVisible(Link::kSocketKey));

    const std::string image = writeUsableImage(t.f);
    for (const char* model : {"EP39F022", "EP2702", "EP27C42", "EP3902", "EP39H02"}) {
        SCOPED_TRACE(model);
        EXPECT_TRUE(burnFromTheMenu(t, model, image)) << t.pane().toStdString();
        EXPECT_EQ(t.sim->socketChip()->model, model);
        EXPECT_EQ(t.f.station().mainModel().text(Link::kSocketKey),
                  QStringLiteral("模拟插座: %1 (跟随型号)").arg(QString::fromLatin1(model)));
    }
}

TEST(SimulatedSocket, AFixedWrongChipFailsAtTheChipIdStage) {
    sim::SimOptions o;
    o.chip = sim::parseSocketChip("EP2706").chip;
    o.followSelection = false;
    LinkFixture t(o);
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    EXPECT_EQ(t.f.station().mainModel().text(Link::kSocketKey), "模拟插座: EP2706");
    EXPECT_FALSE(burnFromTheMenu(t, "EP27C42", writeUsableImage(t.f)));
    EXPECT_TRUE(t.paneHas("芯片ID错误!")) << t.pane().toStdString();
    EXPECT_FALSE(t.paneHas("芯片校验和错误！")) << "the checksum used to be looked at first";
    EXPECT_EQ(t.sim->socketChip()->model, "EP2706");
    EXPECT_EQ(t.f.page(page::kIsp).state(controlKey(1033)).image, "ng");
}
