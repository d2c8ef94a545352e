// What a careful programmer refuses, and the simulator's burn faults: each ends in its NG line and
// fail, touches no cell it should not, and releases a station that waits with a failure answer.
#include "link/sim_station.h"

#include <bit>
#include <cstdio>

namespace kelvor::link::sim {
namespace {

using test::JobSetup;
using test::prepareJob;
using test::Sent;
using test::Station;

bool allBlank(const std::vector<std::uint8_t>& cells) {
    return std::all_of(cells.begin(), cells.end(), [](std::uint8_t c) { return c == 0xFF; });
}

struct FailCase {
    const char* name;
    const char* model;  // the job's
    const char* socket; // the chip in the socket; "none": empty
    const char* faults;
    bool corruptCheckWord; // one bit of the image's check word flipped after the job
    const char* line;      // the line that names the failure
    Sent sent;
    bool cellsTouched;
    bool ngCounted; // "芯片烧录失败" with the totals follows (every family but the four oldest)
};

class BurnFailure : public testing::TestWithParam<FailCase> {};

TEST_P(BurnFailure, EndsInItsLineAndFail) {
    const FailCase& c = GetParam();
    const auto faults = parseFaults(c.faults);
    ASSERT_TRUE(faults.ok()) << faults.error;
    SimulatedProgrammer p(test::fastOptions(c.socket, faults.faults));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel(c.model);
    test::PreparedJob job = prepareJob(row);
    jobs::TransferRequest t = job.chip();
    if (c.corruptCheckWord) t.bytes[static_cast<std::size_t>(job.programBytes()) + 0x80] ^= 0x01;

    Station st(p, &row);
    const Sent sent = st.burn(t);
    EXPECT_EQ(sent, c.sent) << test::sentName(sent);
    EXPECT_TRUE(st.logged(c.line)) << testing::PrintToString(st.lines);
    EXPECT_EQ(st.passes, 0);
    EXPECT_GE(st.fails, 1);
    EXPECT_EQ(st.logged("芯片烧录失败 "), c.ngCounted) << testing::PrintToString(st.lines);
    EXPECT_FALSE(st.logged("USB信息返回错误!"));
    EXPECT_EQ(!allBlank(p.socketCells()), c.cellsTouched);
}

constexpr auto Done = Sent::Completed;
constexpr auto Refused = Sent::Refused;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Refusals, BurnFailure, testing::Values(
    FailCase{"WrongCheckWord",       "EP2706",  "EP2706",  "",               true,  "芯片校验和错误！", Done,    false, true},
    FailCase{"WrongCheckWordPaged",  "EP39F03", "EP39F03", "",               true,  "芯片校验和错误！", Refused, false, true},
    FailCase{"ChecksumErrorFault",   "EP2702",  "EP2702",  "checksum-error", false, "芯片校验和错误！", Done,    false, false},
    FailCase{"WrongChip",            "EP2706",  "EP406",   "",               false, "芯片ID错误! ",     Done,    false, true},
    FailCase{"WrongChipVariant",     "EP39F06", "EP39F06A", "",              false, "芯片ID错误! ",     Done,    false, true},
    FailCase{"WrongChipPaged",       "EP39F03", "EP39H01", "",               false, "芯片ID错误! ",     Refused, false, true},
    FailCase{"IdErrorFault",         "EP27C42", "EP27C42", "id-error",       false, "芯片ID错误! ",     Done,    false, true},
    FailCase{"IdErrorFaultPaged",    "EP39H02", "EP39H02", "id-error",       false, "芯片ID错误! ",     Refused, false, true},
    FailCase{"EmptySocket",          "EP2706",  "none",    "",               false, "芯片IO错误! ",     Done,    false, true},
    FailCase{"EmptySocketPaged",     "EP39H02", "none",    "",               false, "芯片IO错误! ",     Refused, false, true},
    // The chip's identity is asked before anything of the image: these used to end in the check or
    // layout failure of the socket chip's family.
    FailCase{"WrongChipBeforeCheck", "EP27C42", "EP2706",  "",               true,  "芯片ID错误! ",     Done,    false, true},
    FailCase{"ImageOfAnotherSize",   "EP27F02", "EP2706",  "",               false, "芯片ID错误! ",     Done,    false, true},
    FailCase{"IdErrorBeforeCheck",   "EP2706",  "EP2706",  "id-error,checksum-error", false, "芯片ID错误! ", Done, false, true},
    FailCase{"BlankFail",            "EP39F022", "EP39F022", "blank-fail",   false, "芯片Blank检测错误! ", Done, false, true},
    FailCase{"BlankFailOldFamily",   "EP2703",  "EP2703",  "blank-fail",     false, "芯片Blank检测错误! ", Done, false, false},
    FailCase{"BlankFailPaged",       "EP39H01", "EP39H01", "blank-fail",     false, "芯片Blank检测错误! ", Refused, false, true},
    FailCase{"VerifyFail",           "EP408",   "EP408",   "verify-fail",    false, "芯片校验错误! adr=", Done,   true,  true},
    FailCase{"VerifyFailOldFamily",  "EP2701",  "EP2701",  "verify-fail",    false, "芯片校验错误! adr=", Done,   true,  false},
    FailCase{"VerifyFailPaged",      "EP39H02", "EP39H02", "verify-fail",    false, "芯片校验错误! adr=", Refused, true, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(BurnFaults, VerifyErrorNamesTheBitThatDidNotBurn) {
    SimulatedProgrammer p(test::fastOptions("EP2706", FaultSet{Fault::VerifyFail}));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP2706");
    const test::PreparedJob job = prepareJob(row);
    Station st(p, &row);
    st.burn(job.chip());
    const std::string* l = st.line("芯片校验错误! adr=");
    ASSERT_NE(l, nullptr) << testing::PrintToString(st.lines);
    unsigned adr = 0, org = 0, rd = 0;
    ASSERT_EQ(std::sscanf(l->c_str(), "芯片校验错误! adr=%x,org=%x,rd=%x,", &adr, &org, &rd), 3) << *l;
    const auto cells = p.socketCells();
    const auto& image = job.chip().bytes;
    ASSERT_LT(2 * adr + 1, image.size());
    // Its word in the image and on the chip; the chip's copy holds its UID instead of uidBase, which
    // lies outside the program part where the weak bit is chosen.
    EXPECT_EQ(org, image::readLe16(image.data() + 2 * adr));
    EXPECT_EQ(rd, image::readLe16(cells.data() + 2 * adr));
    // Exactly one bit stayed 1; none went the other way.
    EXPECT_EQ(org & ~rd, 0u);
    EXPECT_EQ(std::popcount(rd & ~org), 1);
}

TEST(BurnFaults, NgRateFailsItsShareOfChipsTheSameWayForTheSameSeed) {
    auto session = [](std::uint64_t seed, const char* faults) {
        auto o = test::fastOptions("EP2706", parseFaults(faults).faults);
        o.seed = seed;
        SimulatedProgrammer p(o);
        p.openDevice(SimulatedProgrammer::kDeviceIndex);
        const chips::ModelRow& row = *chips::findModel("EP2706");
        const test::PreparedJob job = prepareJob(row);
        Station st(p, &row);
        std::vector<std::string> log;
        int passes = 0;
        for (int chip = 0; chip < 24; ++chip) {
            st.burn(job.chip());
            passes += st.passes;
            // Every NG chip shows why: a trim that ran out or a bit that did not burn.
            if (st.passes == 0) {
                EXPECT_TRUE(st.logged("BGRERR") || st.logged("芯片校验错误! adr="))
                    << testing::PrintToString(st.lines);
                EXPECT_GE(st.fails, 1);
            }
            log.insert(log.end(), st.lines.begin(), st.lines.end());
        }
        return std::make_pair(passes, log);
    };
    const auto half = session(1, "ng-rate=50");
    EXPECT_GT(half.first, 0);
    EXPECT_LT(half.first, 24);
    EXPECT_EQ(session(1, "ng-rate=50"), half);
    EXPECT_NE(session(2, "ng-rate=50").second, half.second);
    EXPECT_EQ(session(1, "ng-rate=100").first, 0);
    EXPECT_EQ(session(1, "").first, 24);
}

TEST(BurnFaults, NoAckLeavesEveryWaitUnanswered) {
    SimulatedProgrammer p(test::fastOptions("EP39F03", FaultSet{Fault::NoAck}));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& paged = *chips::findModel("EP39F03");
    Station st(p, &paged);
    EXPECT_EQ(st.burn(prepareJob(paged).chip()), Sent::NoAnswer);
    EXPECT_TRUE(st.logged("芯片ID正确 ")); // the programmer works; only its answers are lost
    EXPECT_EQ(st.fails, 0);

    // The offline blocks wait too; a plain burn waits for nothing and passes, also right after the
    // offline transfer the station gave up (that once left the programmer refusing every packet
    // past its block).
    const chips::ModelRow& raw = *chips::findModel("EP8505");
    p.setSocketChip(parseSocketChip("EP8505").chip);
    JobSetup store;
    store.programMode = 6;
    EXPECT_EQ(Station(p, &raw).burn(prepareJob(raw, store).chip()), Sent::NoAnswer);
    const chips::ModelRow& plain = *chips::findModel("EP2706");
    p.setSocketChip(parseSocketChip("EP2706").chip);
    Station plainSt(p, &plain);
    EXPECT_EQ(plainSt.burn(prepareJob(plain).chip()), Sent::Completed);
    EXPECT_EQ(plainSt.passes, 1);
}

TEST(BurnFaults, NoAckAtOneWaitLeavesThatWaitUnansweredAndTheNextChipBurns) {
    struct Transfer {
        const char* model;
        int programMode;
        int middle;  // waits answered before the first page's (paged) or the second block's
        bool closes; // a closing command ends the transfer (paged tail); blocks end with the last
        std::string hex;
    };
    testing_hex::HexBuilder threeBlocks;
    threeBlocks.data(0x0000, testing_hex::pattern(3 * 2048));
    const Transfer transfers[] = {{"EP39F03", 0, 2, true, test::imageHex()},
                                  {"EP8505", 6, 1, false, threeBlocks.text()}};
    for (const Transfer& t : transfers) {
        const chips::ModelRow& row = *chips::findModel(t.model);
        JobSetup setup;
        setup.programMode = t.programMode;
        setup.hex = t.hex;
        const jobs::TransferRequest job = prepareJob(row, setup).chip();
        SimulatedProgrammer p(test::fastOptions(t.model, {}));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        Station st(p, &row);
        ASSERT_EQ(st.burn(job), Sent::Completed) << t.model;
        const int waits = st.waitsAnswered;
        ASSERT_GT(waits, t.middle + 1) << t.model << ": the image has no middle wait";
        struct Case {
            Fault fault;
            int answered; // -1: every wait (the fault finds nothing to act on)
        };
        const Case cases[] = {
            {Fault::NoAckFirst, 0},
            {Fault::NoAckMiddle, t.middle},
            {Fault::NoAckLast, t.closes ? waits - 1 : -1},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(t.model) + " " + FaultSet{c.fault}.names());
            p.setFaults({c.fault});
            p.insertBlankChip();
            EXPECT_EQ(st.burn(job), c.answered < 0 ? Sent::Completed : Sent::NoAnswer);
            EXPECT_EQ(st.waitsAnswered, c.answered < 0 ? waits : c.answered);
            // The programmer is not wedged by the transfer the station gave up.
            p.setFaults({});
            p.insertBlankChip();
            EXPECT_EQ(st.burn(job), Sent::Completed);
            EXPECT_EQ(st.waitsAnswered, waits);
            EXPECT_EQ(st.fails, 0) << testing::PrintToString(st.lines);
        }
    }
}

TEST(BurnFaults, UnplugMidTransferLeavesTheBusAtTheThirdPacket) {
    SimulatedProgrammer p(test::fastOptions("EP2706", FaultSet{Fault::UnplugMidTransfer}));
    std::vector<DeviceEvent::Kind> events;
    p.setDeviceEventSink([&](const DeviceEvent& e) { events.push_back(e.kind); });
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP2706");
    const test::PreparedJob job = prepareJob(row);
    Station st(p, &row);
    EXPECT_EQ(st.burn(job.chip()), Sent::SendFailed);
    EXPECT_EQ(events, std::vector<DeviceEvent::Kind>{DeviceEvent::Kind::Removal});
    EXPECT_FALSE(p.plugged());
    EXPECT_EQ(p.isConnected(), 0);
    EXPECT_NE(p.setZep(1), 0);
    EXPECT_NE(p.otpSend(0, 1, job.chip().bytes.data()), 0);
    EXPECT_TRUE(allBlank(p.socketCells()));

    // Back on the bus and the fault cleared, the same job burns.
    p.setFaults({});
    p.plug();
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    EXPECT_EQ(st.burn(job.chip()), Sent::Completed);
    EXPECT_EQ(st.passes, 1);
}

} // namespace
} // namespace kelvor::link::sim
