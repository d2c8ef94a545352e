#include "chips/catalog.h"
#include "link/sim/environment.h"
#include "link/sim/simulated_programmer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <set>
#include <thread>

namespace kelvor::link::sim {
namespace {

using namespace std::chrono_literals;

constexpr int kCountValue = 1 | (SimulatedProgrammer::kDeviceIndex << 8);

SimOptions fast(FaultSet faults = {}) {
    SimOptions o;
    o.timing = 0;
    o.recvWait = 5ms;
    o.faults = faults;
    return o;
}

// Receives until a receive comes back empty; with timing 0 every queued answer is due at once.
std::vector<Report> drain(Programmer& p) {
    std::vector<Report> out;
    Report r{};
    std::uint8_t spare = 0;
    while (p.otpRecv(&spare, r.data()) == 0)
        out.push_back(r);
    return out;
}

std::vector<int> codes(const std::vector<Report>& reports) {
    std::vector<int> out;
    for (const auto& r : reports)
        out.push_back(r[2]);
    return out;
}

Report expectedReport(std::uint8_t code, std::vector<std::uint8_t> values) {
    Report r{};
    r[0] = 0x13;
    r[2] = code;
    std::copy(values.begin(), values.end(), r.begin() + 3);
    return r;
}

// ---- Connecting, as the station does it, under every fault of the link ----

enum class Step { Ok, Fails, NotReached };

struct ConnectCase {
    const char* faults;
    int count;
    Step open;
    int osError;
    Step uart, cmd8, cmd17;
    std::vector<int> answers; // status codes received after auto-detect
};

class ConnectTest : public testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectTest, FollowsTheStationsSequence) {
    const auto& c = GetParam();
    const auto parsed = parseFaults(c.faults);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    SimulatedProgrammer p(fast(parsed.faults));
    p.setDeviceId(kDeviceFilter);

    EXPECT_EQ(p.getDeviceCount(), c.count);
    const int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    Step open = handle == -1 ? Step::Fails : Step::Ok;
    EXPECT_EQ(open, c.open);
    if (open == Step::Fails) {
        EXPECT_EQ(p.lastOsError(), c.osError);
    }
    EXPECT_EQ(p.isConnected() != 0, open == Step::Ok);

    auto step = [](bool reached, int result) {
        return !reached ? Step::NotReached : result == 0 ? Step::Ok : Step::Fails;
    };
    EXPECT_EQ(p.setLed(1, 0), open == Step::Ok ? 0 : 1);
    const Step uart = step(open == Step::Ok, open == Step::Ok ? p.uartConfig(9) : 0);
    const Step cmd8 = step(uart == Step::Ok, uart == Step::Ok ? p.zepIap(8, 0, 0, 0) : 0);
    const Step cmd17 = step(cmd8 == Step::Ok, cmd8 == Step::Ok ? p.zepIap(17, 0, 0, 0) : 0);
    EXPECT_EQ(uart, c.uart);
    EXPECT_EQ(cmd8, c.cmd8);
    EXPECT_EQ(cmd17, c.cmd17);
    EXPECT_EQ(codes(drain(p)), c.answers);
}

constexpr auto Ok = Step::Ok;
constexpr auto Fails = Step::Fails;
constexpr auto NotReached = Step::NotReached;

INSTANTIATE_TEST_SUITE_P(
    Faults, ConnectTest,
    testing::Values(ConnectCase{"", kCountValue, Ok, 0, Ok, Ok, Ok, {0xFF, 0xFD}},
                    ConnectCase{"no-programmer", 0, Fails, 2, NotReached, NotReached, NotReached, {}},
                    ConnectCase{"open-busy", kCountValue, Fails, 32, NotReached, NotReached, NotReached, {}},
                    ConnectCase{"open-fail", kCountValue, Fails, 31, NotReached, NotReached, NotReached, {}},
                    ConnectCase{"uart-fail", kCountValue, Ok, 0, Fails, NotReached, NotReached, {}},
                    ConnectCase{"usb-fail", kCountValue, Ok, 0, Ok, Fails, NotReached, {}},
                    ConnectCase{"detect-fail", kCountValue, Ok, 0, Ok, Ok, Fails, {}},
                    ConnectCase{"no-hw-version", kCountValue, Ok, 0, Ok, Ok, Ok, {0xFD}},
                    ConnectCase{"garbage", kCountValue, Ok, 0, Ok, Ok, Ok, {0x18, 0x18}},
                    ConnectCase{"silent", kCountValue, Ok, 0, Ok, Ok, Ok, {}}),
    [](const auto& info) {
        std::string name = *info.param.faults ? info.param.faults : "none";
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST(SimOpenClose, RefusesWhatARealDeviceWould) {
    SimulatedProgrammer p(fast());
    // The count and the whole count value are not the index.
    EXPECT_EQ(p.openDevice(1), -1);
    EXPECT_EQ(p.lastOsError(), SimulatedProgrammer::kErrorNotFound);
    EXPECT_EQ(p.openDevice(kCountValue), -1);
    EXPECT_EQ(p.devicePathName(), "");

    const int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(p.devicePathName().substr(0, 25), kInterfacePrefix);
    // A second open meets the sharing violation.
    EXPECT_EQ(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    EXPECT_EQ(p.lastOsError(), kErrorAlreadyOpen);
    // The station closes -1 after a busy open: that must leave the open device alone.
    EXPECT_NE(p.closeDevice(-1), 0);
    EXPECT_NE(p.closeDevice(handle + 1), 0);
    EXPECT_EQ(p.isConnected(), 1);

    EXPECT_EQ(p.closeDevice(handle), 0);
    EXPECT_EQ(p.isConnected(), 0);
    EXPECT_NE(p.closeDevice(handle), 0);
    const std::uint8_t byte = 0;
    EXPECT_NE(p.setLed(1, 0), 0);
    EXPECT_NE(p.uartConfig(9), 0);
    EXPECT_NE(p.otpSend(0, 1, &byte), 0);
    EXPECT_NE(p.zepIap(17, 0, 0, 0), 0);
    EXPECT_NE(p.setZep(13), 0);
    // The path of the device opened last stays, so that its removal can be recognised.
    EXPECT_EQ(p.devicePathName(), p.interfacePath());
    EXPECT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
}

TEST(SimOpenClose, EnumeratesOnlyForTheProgrammersFilter) {
    SimulatedProgrammer p(fast());
    p.setDeviceId("vid_1234&pid_5678");
    EXPECT_EQ(p.getDeviceCount(), 0);
    p.setDeviceId("VID_0B7A&PID_0731");
    EXPECT_EQ(p.getDeviceCount(), kCountValue);
}

TEST(SimOpenClose, FaultsChangeAtRunTime) {
    SimulatedProgrammer p(fast());
    p.setFaults(FaultSet{Fault::OpenBusy});
    EXPECT_EQ(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    p.setFaults({});
    const int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    ASSERT_NE(handle, -1);
    p.setFaults(FaultSet{Fault::Silent});
    EXPECT_EQ(p.zepIap(17, 0, 0, 0), 0);
    EXPECT_TRUE(drain(p).empty());
}

// ---- The one-shot commands' answers, byte for byte ----

struct AnswerCase {
    const char* name;
    const char* chip; // as --sim-chip takes it
    int command;      // USBIO_ZEP_IAP command
    int a, b;
    std::vector<Report> reports;
};

class AnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, ReportsAreExact) {
    const auto& c = GetParam();
    auto options = fast();
    const auto chip = parseSocketChip(c.chip);
    ASSERT_TRUE(chip.ok()) << chip.error;
    options.chip = chip.chip;
    SimulatedProgrammer p(options);
    ErrorCounters counters{};
    for (std::size_t k = 0; k < counters.size(); ++k)
        counters[k] = static_cast<std::uint16_t>(0x0102 * k + 1);
    counters[11] = 65535;
    p.setErrorCounters(counters);
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    ASSERT_EQ(p.zepIap(c.command, c.a, c.b, 0), 0);
    const auto got = drain(p);
    ASSERT_EQ(got.size(), c.reports.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], c.reports[i]) << "report " << i;
}

INSTANTIATE_TEST_SUITE_P(
    OneShot, AnswerTest,
    testing::Values(
        AnswerCase{"DetectDefaultChip",
                   "",
                   17,
                   0,
                   0,
                   {expectedReport(0xFF, {2, 1}), expectedReport(0xFD, {0, 0, 0x27, 0x00, 0, 0})}},
        AnswerCase{"DetectLn2057",
                   "LN2057",
                   17,
                   0,
                   0,
                   {expectedReport(0xFF, {2, 1}), expectedReport(0xFD, {0, 0, 0x27, 0x03, 0, 0})}},
        AnswerCase{"DetectEp406",
                   "EP406",
                   17,
                   0,
                   0,
                   {expectedReport(0xFF, {2, 1}), expectedReport(0xFD, {0, 0, 0x00, 0x6A, 0, 0})}},
        AnswerCase{"DetectEmptySocket",
                   "none",
                   17,
                   0,
                   0,
                   {expectedReport(0xFF, {2, 1}), expectedReport(0xFD, {0, 0, 0, 0, 0, 0})}},
        AnswerCase{"EeVoltageWrite", "", 23, 7, 4500, {expectedReport(0x92, {}), expectedReport(0x93, {})}},
        AnswerCase{
            "ErrorStatistics", "", 20, 0, 0, {expectedReport(0xFB, {0x01, 0x00, 0x03, 0x01, 0x05, 0x02,
                                                                    0x07, 0x03, 0x09, 0x04, 0x0B, 0x05,
                                                                    0x0D, 0x06, 0x0F, 0x07, 0x11, 0x08,
                                                                    0x13, 0x09, 0x15, 0x0A, 0xFF, 0xFF})}},
        AnswerCase{
            "QcTestEmptySocket", "none", 18, 0, 0, {expectedReport(0xFC, std::vector<std::uint8_t>(15, 0))}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimAnswers, QcTestDescribesTheSocketChip) {
    auto options = fast();
    options.chip = parseSocketChip("EP406").chip;
    SimulatedProgrammer p(options);
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    ASSERT_EQ(p.zepIap(18, 0, 0, 0), 0);
    const auto got = drain(p);
    ASSERT_EQ(got.size(), 1u);
    const Report& r = got[0];
    EXPECT_EQ(r[0], 0x13);
    EXPECT_EQ(r[2], 0xFC);
    // Identifier as one 32-bit value in q[0..3].
    EXPECT_EQ((std::vector<int>{r[3], r[4], r[5], r[6]}), (std::vector<int>{0, 0, 0x00, 0x6A}));
    // Checksum of a blank chip of 8322 cells: 8322 * 0xFF mod 2^16.
    EXPECT_EQ(r[7] * 256 + r[8], (8322 * 0xFF) % 65536);
    const int year = r[11] * 256 + r[12], monthDay = r[13] * 256 + r[14];
    EXPECT_GE(year, 2000);
    EXPECT_GE(monthDay / 100, 1);
    EXPECT_LE(monthDay / 100, 12);
    EXPECT_GE(monthDay % 100, 1);
    EXPECT_LE(monthDay % 100, 31);
    const int millivolts = r[15] * 256 + r[16];
    EXPECT_GE(millivolts, 3000);
    EXPECT_LE(millivolts, 5500);
    EXPECT_TRUE(std::all_of(r.begin() + 17, r.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(SimAnswers, ChipResetIsAcceptedAndUnknownCommandsAreRefused) {
    SimulatedProgrammer p(fast());
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    EXPECT_EQ(p.setZep(13), 0);
    for (int mode : {0, 3, 29, 37, -1, 0x10001})
        EXPECT_EQ(p.setZep(mode), SimulatedProgrammer::kNotSimulated) << mode;
    for (int command : {0, 3, 4, 13, 15, 16, 22, 24, 99, -5})
        EXPECT_EQ(p.zepIap(command, 0, 0, 0), SimulatedProgrammer::kNotSimulated) << command;
    EXPECT_TRUE(drain(p).empty());
}

TEST(SimAnswers, SameSeedSameSession) {
    auto run = [](std::uint64_t seed) {
        auto o = fast();
        o.seed = seed;
        SimulatedProgrammer p(o);
        p.openDevice(SimulatedProgrammer::kDeviceIndex);
        p.zepIap(18, 0, 0, 0);
        p.zepIap(20, 0, 0, 0);
        return std::make_pair(p.interfacePath(), drain(p));
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7).first, run(8).first);
}

// ---- Receiving ----

TEST(SimReceive, TimesOutWithoutTouchingTheBuffer) {
    SimulatedProgrammer p(fast());
    Report r;
    r.fill(0xAA);
    std::uint8_t spare = 0x55;
    EXPECT_NE(p.otpRecv(&spare, r.data()), 0); // closed
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    EXPECT_NE(p.otpRecv(&spare, r.data()), 0); // open, nothing queued
    EXPECT_NE(p.otpRecv(nullptr, nullptr), 0);
    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](std::uint8_t b) { return b == 0xAA; }));
    EXPECT_EQ(spare, 0x55);
}

TEST(SimReceive, WaitsForAPacedAnswerInOrder) {
    SimOptions o;
    o.recvWait = 60s; // one receive spans the answers' delays
    SimulatedProgrammer p(o);
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    ASSERT_EQ(p.zepIap(23, 1, 4500, 0), 0);
    Report r{};
    ASSERT_EQ(p.otpRecv(nullptr, r.data()), 0);
    EXPECT_EQ(r[2], 0x92);
    ASSERT_EQ(p.otpRecv(nullptr, r.data()), 0);
    EXPECT_EQ(r[2], 0x93);
    EXPECT_EQ(p.eeVoltageWrite(), std::make_pair(1, 4500));
}

TEST(SimReceive, CloseEndsAWaitingReceive) {
    SimOptions o = fast();
    o.recvWait = 600s; // only the end of the link can end this receive in time
    SimulatedProgrammer p(o);
    int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    ASSERT_NE(handle, -1);
    auto result = std::async(std::launch::async, [&] {
        Report r{};
        return p.otpRecv(nullptr, r.data());
    });
    // The receive may begin only after a close; every close or open ends a receive of the link
    // before, so toggle until it has returned.
    while (result.wait_for(20ms) != std::future_status::ready) {
        if (p.isConnected())
            p.closeDevice(handle);
        else
            handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    }
    EXPECT_NE(result.get(), 0);
}

// ---- Sending ----

TEST(SimSend, KeepsTheBytesOfTheTransfer) {
    SimulatedProgrammer p(fast());
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    std::vector<std::uint8_t> image(300);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(p.otpSend(0, 256, image.data()), 0);
    EXPECT_EQ(p.otpSend(256, 44, image.data() + 256), 0);
    EXPECT_EQ(p.otpSend(300, 0, nullptr), 0);
    EXPECT_EQ(p.receivedBytes(), image);

    // Nothing outside the programmer's buffer is kept, and nothing is read from a null pointer.
    EXPECT_NE(p.otpSend(65536 - 10, 11, image.data()), 0);
    EXPECT_NE(p.otpSend(-1, 4, image.data()), 0);
    EXPECT_NE(p.otpSend(0, -4, image.data()), 0);
    EXPECT_NE(p.otpSend(0, 4, nullptr), 0);
    EXPECT_EQ(p.receivedBytes(), image);
    EXPECT_EQ(p.otpSend(65536 - 10, 10, image.data()), 0);
}

TEST(VirtualOtpCells, BitsOnlyGoFromOneToZero) {
    VirtualOtp otp(8);
    EXPECT_TRUE(otp.blank(0, 8));
    const std::uint8_t first[] = {0xF0, 0x0F};
    EXPECT_EQ(otp.program(2, first).result, VirtualOtp::Result::Ok);
    EXPECT_FALSE(otp.blank(0, 8));
    EXPECT_TRUE(otp.blank(4, 4));
    // Burning the same bytes again, or clearing more bits, is fine.
    const std::uint8_t more[] = {0xF0, 0x0E};
    EXPECT_EQ(otp.program(2, more).result, VirtualOtp::Result::Ok);
    // Asking for a 1 where a 0 was burnt cannot restore it.
    const std::uint8_t back[] = {0xFF, 0x0E};
    const auto r = otp.program(2, back);
    EXPECT_EQ(r.result, VirtualOtp::Result::Conflict);
    EXPECT_EQ(r.firstConflict, 2u);
    EXPECT_EQ(otp.cells()[2], 0xF0);
    // Out of range writes nothing.
    const std::uint8_t zeros[] = {0, 0};
    EXPECT_EQ(otp.program(7, zeros).result, VirtualOtp::Result::OutOfRange);
    EXPECT_EQ(otp.cells()[7], 0xFF);
    EXPECT_FALSE(otp.blank(7, 2));
}

// ---- Plug and unplug ----

TEST(SimPlug, RaisesTheEventsOfARealDevice) {
    SimulatedProgrammer p(fast());
    std::vector<DeviceEvent> events;
    ASSERT_TRUE(p.setDeviceEventSink([&](const DeviceEvent& e) { events.push_back(e); }));
    const int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    ASSERT_NE(handle, -1);
    ASSERT_EQ(p.zepIap(17, 0, 0, 0), 0);

    p.unplug();
    p.unplug(); // already out: no second event
    ASSERT_EQ(events.size(), 1u);
    const DeviceEvent out = events[0]; // a copy: the next event may move the vector
    EXPECT_EQ(out.kind, DeviceEvent::Kind::Removal);
    EXPECT_EQ(out.classGuid, kHidClassGuid);
    EXPECT_EQ(out.path.substr(0, 25), kInterfacePrefix);
    EXPECT_EQ(out.widePath, std::u16string(out.path.begin(), out.path.end()));
    EXPECT_EQ(out.path, p.devicePathName()); // the station matches the removal to its open device

    EXPECT_EQ(p.isConnected(), 0);
    EXPECT_EQ(p.getDeviceCount(), 0);
    EXPECT_EQ(p.setLed(1, 0), 1);
    EXPECT_TRUE(drain(p).empty()); // pending answers went with the device
    EXPECT_EQ(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    EXPECT_NE(p.closeDevice(handle), 0);

    p.plug();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, DeviceEvent::Kind::Arrival);
    EXPECT_EQ(events[1].path, out.path);
    EXPECT_EQ(p.getDeviceCount(), kCountValue);
    EXPECT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
}

// ---- Tables and parsers ----

TEST(SimSocketChips, CoverTheCatalogAndSelectOnlyTheDetectableModels) {
    const std::set<std::uint16_t> selecting = {0x006A, 0x008A, 0x2700, 0x2701, 0x2703, 0x2707};
    const std::set<std::string_view> detectable = {"EP406", "EP408", "EP2706", "LN2056", "LN2057", "EP2707"};
    std::set<std::string_view> seen;
    for (const auto& chip : socketChips()) {
        SCOPED_TRACE(std::string(chip.model));
        EXPECT_NE(chips::findModel(chip.model), nullptr);
        EXPECT_TRUE(seen.insert(chip.model).second) << "duplicate row";
        EXPECT_EQ(selecting.count(chip.identifier) == 1, detectable.count(chip.model) == 1);
        EXPECT_GT(chip.otpBytes, 0u);
        EXPECT_LE(chip.otpBytes, 65536u);
    }
    for (const auto& m : chips::models())
        EXPECT_EQ(seen.count(m.model), 1u) << m.model;
    EXPECT_EQ(defaultSocketChip().model, "EP2706");
}

TEST(SimSocketChips, ParseNamesNoneAndDefault) {
    EXPECT_EQ(parseSocketChip("ep406").chip->model, "EP406");
    EXPECT_EQ(parseSocketChip(" LN2056 ").chip->identifier, 0x2701);
    EXPECT_EQ(parseSocketChip("").chip, defaultSocketChip());
    EXPECT_TRUE(parseSocketChip("NONE").ok());
    EXPECT_FALSE(parseSocketChip("None").chip.has_value());
    const auto bad = parseSocketChip("EP9999");
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error.find("\"EP9999\""), std::string::npos);
}

TEST(SimFaults, ParseListsAndNameTheUnknown) {
    std::string all;
    for (const auto& f : faultTable())
        all += std::string(all.empty() ? "" : ",") + std::string(f.name) + (f.takesPercent ? "=25" : "");
    const auto every = parseFaults(all);
    ASSERT_TRUE(every.ok()) << every.error;
    EXPECT_EQ(every.faults.names(), all); // names() reads back what it parsed
    EXPECT_EQ(every.faults.ngRate(), 25);

    const auto two = parseFaults(" SILENT , open-busy,,");
    ASSERT_TRUE(two.ok());
    EXPECT_EQ(two.faults, (FaultSet{Fault::Silent, Fault::OpenBusy}));
    EXPECT_EQ(parseFaults("").faults.names(), "none");
    EXPECT_EQ(parseFaults("NG-Rate = 100").faults.ngRate(), 100);
    EXPECT_TRUE(parseFaults("ng-rate=0").faults.empty()); // a rate of 0 fails nothing

    struct Bad {
        const char* list;
        const char* named; // what the error must name
    };
    for (const Bad& bad : {Bad{"open-busy,blank-fial", "\"blank-fial\""}, Bad{"ng-rate", "ng-rate=25"},
                           Bad{"ng-rate=", "ng-rate=25"}, Bad{"ng-rate=101", "0 to 100"},
                           Bad{"ng-rate=-1", "0 to 100"}, Bad{"ng-rate=2x", "0 to 100"},
                           Bad{"ng-rate=99999999999", "0 to 100"}, Bad{"silent=1", "takes no value"}}) {
        const auto parsed = parseFaults(bad.list);
        EXPECT_FALSE(parsed.ok()) << bad.list;
        EXPECT_TRUE(parsed.faults.empty()) << bad.list;
        EXPECT_NE(parsed.error.find(bad.named), std::string::npos) << parsed.error;
    }
    // An unknown name lists the known ones.
    EXPECT_NE(parseFaults("x").error.find("open-busy"), std::string::npos);
}

TEST(SimFaults, NgRateSwitchedOnWithoutAValueTakesTheDefault) {
    FaultSet f;
    f.set(Fault::NgRate);
    EXPECT_EQ(f.ngRate(), kDefaultNgRate);
    f.setNgRate(250);
    EXPECT_EQ(f.ngRate(), 100);
    f.set(Fault::NgRate); // already on: keeps its rate
    EXPECT_EQ(f.ngRate(), 100);
    f.set(Fault::NgRate, false);
    EXPECT_TRUE(f.empty());
    EXPECT_EQ(f, FaultSet{});
}

TEST(SimBench, TheMenusControlsReachFaultsAndTheSocket) {
    SimulatedProgrammer sim(fast());
    Programmer& p = sim;
    BenchControls* bench = p.benchControls();
    ASSERT_NE(bench, nullptr);
    // Every fault is offered; the NG rate with a rate the parser takes.
    const auto choices = bench->faultChoices();
    ASSERT_EQ(choices.size(), faultTable().size());
    for (const auto& c : choices) {
        EXPECT_TRUE(parseFaults(c.name).ok()) << c.name;
        EXPECT_FALSE(c.effect.empty()) << c.name;
    }
    EXPECT_EQ(choices.back().name, "ng-rate=" + std::to_string(kDefaultNgRate));

    EXPECT_EQ(bench->setActiveFaults("ng-rate=30, blank-fail"), "");
    EXPECT_EQ(bench->activeFaults(), "blank-fail,ng-rate=30");
    EXPECT_EQ(bench->faultChoices().back().name, "ng-rate=30"); // the menu shows it checked
    EXPECT_NE(bench->setActiveFaults("blank-fail,ng-rate"), "");
    EXPECT_EQ(bench->activeFaults(), "blank-fail,ng-rate=30"); // unchanged
    EXPECT_EQ(bench->setActiveFaults(""), "");
    EXPECT_EQ(bench->activeFaults(), "none");

    // A fresh chip of the model last held, also into an empty socket.
    sim.setSocketChip(parseSocketChip("EP406").chip);
    sim.setSocketChip(std::nullopt);
    bench->insertBlankChip();
    ASSERT_TRUE(sim.socketChip());
    EXPECT_EQ(sim.socketChip()->model, "EP406");
    EXPECT_EQ(sim.socketCells(), std::vector<std::uint8_t>(8322, 0xFF));
}

TEST(SimBench, TheSocketFollowsTheSelectionUnlessAChipIsFixed) {
    SimulatedProgrammer sim(fast());
    BenchControls& bench = *static_cast<Programmer&>(sim).benchControls();
    EXPECT_EQ(bench.socketChoice(), "auto");
    EXPECT_EQ(bench.socketModel(), "EP2706"); // until the station names a model

    // Each new selection brings a blank chip of its model, as an operator changes chips.
    bench.modelSelected("EP39F022");
    EXPECT_EQ(bench.socketModel(), "EP39F022");
    EXPECT_EQ(sim.socketCells(), std::vector<std::uint8_t>(8322, 0xFF));
    bench.modelSelected("EP39F25X"); // no chip of that name: the socket stays
    EXPECT_EQ(bench.socketModel(), "EP39F022");

    // A fixed chip, or an empty socket, stays whatever is selected.
    EXPECT_EQ(bench.setSocketChoice("ep27c42"), "");
    EXPECT_EQ(bench.socketChoice(), "EP27C42");
    bench.modelSelected("EP3902");
    EXPECT_EQ(bench.socketModel(), "EP27C42");
    EXPECT_EQ(bench.setSocketChoice("none"), "");
    bench.modelSelected("EP2706");
    EXPECT_EQ(bench.socketModel(), "");
    EXPECT_NE(bench.setSocketChoice("EP9999"), "");
    EXPECT_EQ(bench.socketChoice(), "none"); // unchanged

    // Following again: a chip of the model selected last.
    EXPECT_EQ(bench.setSocketChoice("auto"), "");
    EXPECT_EQ(bench.socketModel(), "EP2706");
    bench.setFreshChipAfterBurn(false);
    EXPECT_FALSE(bench.freshChipAfterBurn());

    const auto models = bench.socketModels();
    EXPECT_EQ(models.size(), socketChips().size());
    EXPECT_EQ(std::count(models.begin(), models.end(), "EP2706"), 1);
}

TEST(SimBench, ChipParseTakesAutoAsFollowing) {
    struct Row {
        const char* text;
        bool ok, follow;
        const char* model; // "" for an empty socket
    };
    const Row rows[] = {{"", true, true, "EP2706"},      {" AUTO ", true, true, "EP2706"},
                        {"none", true, false, ""},       {"ep406", true, false, "EP406"},
                        {"EP9999", false, false, ""}};
    for (const auto& r : rows) {
        const ChipParse p = parseSocketChip(r.text);
        EXPECT_EQ(p.ok(), r.ok) << r.text;
        EXPECT_EQ(p.follow, r.follow) << r.text;
        EXPECT_EQ(p.chip ? std::string(p.chip->model) : std::string(), r.model) << r.text;
    }
}

TEST(SimEnvironment, SetsUpTheLibraryOrNamesTheBadVariable) {
    using Vars = std::map<std::string, std::string>;
    auto parse = [](const Vars& vars) {
        return simOptionsFromEnvironment([&vars](const char* name) -> const char* {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        });
    };
    const auto unset = parse({});
    ASSERT_TRUE(unset.ok());
    EXPECT_EQ(unset.options.chip, defaultSocketChip());
    EXPECT_EQ(unset.options.timing, 1.0);

    const auto set = parse({{"KELVOR_SIM_CHIP", "none"},
                            {"KELVOR_SIM_FAULTS", "silent"},
                            {"KELVOR_SIM_TIMING", "0.5"},
                            {"KELVOR_SIM_SEED", "0x10"},
                            {"KELVOR_SIM_AUTO_INSERT", "0"}});
    ASSERT_TRUE(set.ok()) << set.error;
    EXPECT_FALSE(set.options.autoInsert);
    EXPECT_TRUE(unset.options.autoInsert);
    EXPECT_FALSE(set.options.chip.has_value());
    EXPECT_EQ(set.options.faults, FaultSet{Fault::Silent});
    EXPECT_EQ(set.options.timing, 0.5);
    EXPECT_EQ(set.options.seed, 16u);

    const Vars bad[] = {
        {{"KELVOR_SIM_CHIP", "EP9999"}},      {{"KELVOR_SIM_FAULTS", "slient"}},
        {{"KELVOR_SIM_TIMING", "-1"}},        {{"KELVOR_SIM_TIMING", "nan"}},
        {{"KELVOR_SIM_TIMING", "2x"}},        {{"KELVOR_SIM_SEED", "-3"}},
        {{"KELVOR_SIM_SEED", "seven"}},       {{"KELVOR_SIM_SEED", "99999999999999999999999"}},
        {{"KELVOR_SIM_FAULTS", "ng-rate=x"}}, {{"KELVOR_SIM_AUTO_INSERT", "yes"}}};
    for (const auto& vars : bad) {
        const auto& [name, value] = *vars.begin();
        const auto parsed = parse(vars);
        EXPECT_FALSE(parsed.ok()) << name << "=" << value;
        EXPECT_TRUE(parsed.error.starts_with(name + ": ")) << parsed.error;
    }
}

// ---- Threads ----

// A receive thread sits in otpRecv while two others send and command, as the station's threads do.
TEST(SimThreads, ReceiveBesideSendsAndCommands) {
    SimulatedProgrammer p(fast());
    const int handle = p.openDevice(SimulatedProgrammer::kDeviceIndex);
    ASSERT_NE(handle, -1);
    constexpr int kCommands = 200;
    std::atomic<int> statistics{0};
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        Report r{};
        const auto giveUp = Clock::now() + 60s;
        while (statistics < kCommands && Clock::now() < giveUp)
            if (p.otpRecv(nullptr, r.data()) == 0 && r[2] == 0xFB) ++statistics;
        done = true;
    });
    std::thread commands([&] {
        for (int i = 0; i < kCommands; ++i)
            EXPECT_EQ(p.zepIap(20, 0, 0, 0), 0);
    });
    std::thread sender([&] {
        std::uint8_t chunk[256] = {};
        for (int i = 0; i < kCommands; ++i)
            EXPECT_EQ(p.otpSend((i % 200) * 256, 256, chunk), 0);
    });
    commands.join();
    sender.join();
    receiver.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(statistics, kCommands);
    EXPECT_EQ(p.receivedBytes().size(), 200u * 256);
    EXPECT_EQ(p.closeDevice(handle), 0);
}

} // namespace
} // namespace kelvor::link::sim
