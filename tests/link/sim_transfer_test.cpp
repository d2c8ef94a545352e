// The simulated programmer's side of the transfers: damaged framing gets its failure answer,
// commands out of turn are refused, images kept for stand-alone programming touch no chip, and the
// firmware, EEPROM and user-data transfers land where they belong.
#include "link/sim_station.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvor::link::sim {
namespace {

using namespace std::chrono_literals;
using test::JobSetup;
using test::prepareJob;
using test::Sent;
using test::Station;

bool allBlank(const std::vector<std::uint8_t>& cells) {
    return std::all_of(cells.begin(), cells.end(), [](std::uint8_t c) { return c == 0xFF; });
}

// A paged burn of EP39F03 up to its first page's announcement, which `mangle` may damage.
struct PageMangle {
    const char* name;
    std::function<void(SimulatedProgrammer&, const std::uint8_t* page, int& address, int& length,
                       std::uint16_t& crc)>
        send;
};

class DamagedPage : public testing::TestWithParam<PageMangle> {};

TEST_P(DamagedPage, IsAnsweredPageCrcAndEndsTheTransfer) {
    SimulatedProgrammer p(test::fastOptions("EP39F03"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP39F03");
    const auto job = prepareJob(row);
    const auto& bytes = job.chip().bytes;
    Station st(p, &row);
    ASSERT_EQ(p.setZep(1), 0);
    ASSERT_EQ(p.otpSend(0, 64, bytes.data() + bytes.size() - 66), 0);
    ASSERT_EQ(p.zepIap(12, 0, 0, 0), 0);
    ASSERT_EQ(st.wait(5), 4);
    ASSERT_EQ(st.wait(5), 4);

    int address = 0, length = 8192;
    std::uint16_t crc = image::crc16Xmodem(bytes.data(), 8192);
    GetParam().send(p, bytes.data(), address, length, crc);
    ASSERT_EQ(p.zepIap(10, address, length, crc), 0);
    EXPECT_EQ(st.wait(11), 12);
    st.drain();
    EXPECT_TRUE(st.logged("PAGE_CRC失败， ")) << testing::PrintToString(st.lines);
    EXPECT_GE(st.fails, 1);
    // The transfer is over: its next page is out of turn.
    EXPECT_EQ(p.zepIap(10, 8192, 8192, crc), SimulatedProgrammer::kRefused);
    EXPECT_TRUE(allBlank(p.socketCells()));
}

void whole(SimulatedProgrammer& p, const std::uint8_t* page) {
    for (int at = 0; at < 8192; at += 256)
        ASSERT_EQ(p.otpSend(at, 256, page + at), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paged, DamagedPage,
    testing::Values(PageMangle{"WrongCrc",
                               [](auto& p, auto* page, int&, int&, std::uint16_t& crc) {
                                   whole(p, page);
                                   crc ^= 1;
                               }},
                    PageMangle{"OutOfOrder",
                               [](auto& p, auto* page, int& address, int&, std::uint16_t&) {
                                   whole(p, page);
                                   address = 8192;
                               }},
                    PageMangle{"WrongLength",
                               [](auto& p, auto* page, int&, int& length, std::uint16_t&) {
                                   whole(p, page);
                                   length = 4096;
                               }},
                    PageMangle{"PacketMissing",
                               [](auto& p, auto* page, int&, int&, std::uint16_t&) {
                                   for (int at = 0; at < 8192; at += 256)
                                       if (at != 512) {
                                           ASSERT_EQ(p.otpSend(at, 256, page + at), 0);
                                       }
                               }},
                    PageMangle{"PacketTwice",
                               [](auto& p, auto* page, int&, int&, std::uint16_t&) {
                                   whole(p, page);
                                   ASSERT_EQ(p.otpSend(256, 256, page + 256), 0);
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimTransfer, ATailWhoseBlockChangedSinceTheStartIsNotBurnt) {
    SimulatedProgrammer p(test::fastOptions("EP39H01"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP39H01");
    const auto job = prepareJob(row);
    auto bytes = job.chip().bytes;
    Station st(p, &row);
    ASSERT_EQ(p.setZep(1), 0);
    ASSERT_EQ(p.otpSend(0, 64, bytes.data() + bytes.size() - 66), 0);
    ASSERT_EQ(p.zepIap(12, 0, 0, 0), 0);
    ASSERT_EQ(st.wait(5), 4);
    ASSERT_EQ(st.wait(5), 4);
    for (std::size_t page = 0; page + 130 < bytes.size(); page += 8192) {
        ASSERT_TRUE(st.chunks(bytes.data() + page, 8192));
        ASSERT_EQ(p.zepIap(10, static_cast<int>(page), 8192, image::crc16Xmodem(bytes.data() + page, 8192)),
                  0);
        ASSERT_EQ(st.wait(11), 10);
    }
    // The supply voltage in the tail's block is not the one the chip was calibrated with.
    const std::size_t tail = bytes.size() - 130;
    bytes[tail + 0x40 + 0x18] ^= 0x01;
    ASSERT_EQ(p.otpSend(0, 130, bytes.data() + tail), 0);
    ASSERT_EQ(p.zepIap(11, static_cast<int>(tail), 130, image::crc16Xmodem(bytes.data() + tail, 130)), 0);
    EXPECT_EQ(st.wait(8), 6);
    st.drain();
    EXPECT_TRUE(st.logged("程序配置字信息与烧录芯片配置信息不一致")) << testing::PrintToString(st.lines);
    EXPECT_TRUE(allBlank(p.socketCells()));
}

TEST(SimTransfer, APagedTransferGivenUpMidPageDoesNotKeepTheNextFromStarting) {
    // The half page once made the retry's SET_ZEP end a plain image, whose failure answered the
    // retry's start wait, and refuse the paged start; the retry's own block region then did the
    // same to every retry after it.
    SimulatedProgrammer p(test::fastOptions("EP39F03"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP39F03");
    const auto job = prepareJob(row);
    const auto& bytes = job.chip().bytes;
    Station st(p, &row);
    ASSERT_EQ(p.setZep(1), 0);
    ASSERT_EQ(p.otpSend(0, 64, bytes.data() + bytes.size() - 66), 0);
    ASSERT_EQ(p.zepIap(12, 0, 0, 0), 0);
    ASSERT_EQ(st.wait(5), 4);
    ASSERT_EQ(st.wait(5), 4);
    ASSERT_TRUE(st.chunks(bytes.data(), 4096)); // and the station gives up
    st.drain();

    for (int retry = 0; retry < 2; ++retry) {
        EXPECT_EQ(st.burn(job.chip()), Sent::Completed) << testing::PrintToString(st.lines);
        EXPECT_EQ(st.passes, 1);
        EXPECT_EQ(st.fails, 0);
    }
}

TEST(SimTransfer, APlainStreamWithAGapOrARepeatIsNotBurnt) {
    const chips::ModelRow& row = *chips::findModel("EP2706");
    const auto job = prepareJob(row);
    const auto& bytes = job.chip().bytes;
    for (int skip : {0, 1}) {
        SimulatedProgrammer p(test::fastOptions("EP2706"));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        for (std::size_t at = 0; at < bytes.size(); at += 256) {
            const int n = static_cast<int>(std::min<std::size_t>(256, bytes.size() - at));
            if (skip && at == 1024) continue;
            ASSERT_EQ(p.otpSend(static_cast<int>(at), n, bytes.data() + at), 0);
            if (!skip && at == 1024) {
                ASSERT_EQ(p.otpSend(static_cast<int>(at), n, bytes.data() + at), 0);
            }
        }
        ASSERT_EQ(p.setZep(1), 0);
        Station st(p, &row);
        st.drain();
        EXPECT_TRUE(st.logged("程序配置字信息与烧录芯片配置信息不一致")) << skip;
        EXPECT_TRUE(allBlank(p.socketCells()));
    }
}

TEST(SimTransfer, CommandsOutOfTurnAreRefusedAndChangeNothing) {
    SimulatedProgrammer p(test::fastOptions("EP2706"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    constexpr int kRefused = SimulatedProgrammer::kRefused;
    // No transfer under way.
    for (int command : {1, 2, 5, 6, 10, 11, 12, 14})
        EXPECT_EQ(p.zepIap(command, 0, 2048, 0), kRefused) << command;
    EXPECT_EQ(p.zepIap(19, 0, 0, 0), kRefused); // no EEPROM data of no bytes
    EXPECT_EQ(p.zepIap(19, 5, 10, 0), kRefused);
    // An offline image takes blocks, not pages.
    ASSERT_EQ(p.setZep(31), 0);
    EXPECT_EQ(p.zepIap(12, 0, 0, 0), kRefused);
    EXPECT_EQ(p.zepIap(10, 0, 8192, 0), kRefused);
    // The boot loader takes no burn; the application starts only from a verified update.
    test::enterBootLoader(p);
    EXPECT_EQ(p.setZep(1), kRefused);
    EXPECT_EQ(p.setZep(31), kRefused);
    for (int command : {1, 2, 10, 11, 12, 14, 18, 19, 21})
        EXPECT_EQ(p.zepIap(command, 0, 0, 0), kRefused) << command;
    EXPECT_EQ(p.zepIap(7, 0, 0, 0), kRefused);
    EXPECT_TRUE(p.inBootLoader());
    EXPECT_EQ(p.pendingReports(), 0u);
    EXPECT_TRUE(allBlank(p.socketCells()));
}

TEST(SimTransfer, PacketsBeyondTheProgrammersBufferAreRefused) {
    SimulatedProgrammer p(test::fastOptions("EP2706"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    std::vector<std::uint8_t> data(4096, 0x5A);
    EXPECT_NE(p.otpSend(65536 - 100, 256, data.data()), 0);
    test::enterBootLoader(p); // the boot loader buffers one block
    EXPECT_NE(p.otpSend(2000, 100, data.data()), 0);
    EXPECT_EQ(p.otpSend(0, 2048, data.data()), 0);
}

TEST(SimTransfer, DamagedOfflineBlocksAndImagesAreAnsweredHexChecksumError) {
    const chips::ModelRow& row = *chips::findModel("EP8505");
    std::vector<std::uint8_t> image(5000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13);
    image.resize(6144, 0xFF);
    const int crc = image::imageCrc(image.data(), image.size());
    struct Case {
        const char* name;
        std::uint16_t blockCrcFlip; // on the second block
        int command, length, mode, crc;
    };
    for (const Case& c : {Case{"block", 1, 2, 6144, 6, crc}, Case{"image crc", 0, 2, 6144, 6, crc ^ 1},
                          Case{"length", 0, 2, 4096, 6, crc}, Case{"mode", 0, 2, 6144, 5, crc},
                          Case{"command", 0, 1, 6144, 6, crc}}) {
        SCOPED_TRACE(c.name);
        SimulatedProgrammer p(test::fastOptions("EP8505"));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        Station st(p, &row);
        ASSERT_EQ(p.setZep(36), 0);
        std::optional<int> answer;
        for (std::size_t block = 0; block < image.size(); block += 2048) {
            ASSERT_TRUE(st.chunks(image.data() + block, 2048));
            const std::uint16_t flip = block == 2048 ? c.blockCrcFlip : 0;
            p.zepIap(14, static_cast<int>(block), 2048, image::imageCrc(image.data() + block, 2048) ^ flip);
            answer = st.wait(14);
            if (answer != 13) break;
        }
        if (c.blockCrcFlip) {
            EXPECT_EQ(answer, 15);
        } else {
            EXPECT_EQ(p.zepIap(c.command, c.length, c.mode, c.crc), 0);
            st.drain();
        }
        EXPECT_TRUE(st.logged("HEX校验和错误! ")) << testing::PrintToString(st.lines);
        EXPECT_TRUE(p.storedImage().empty());
    }
}

TEST(SimTransfer, AnImageTooLongForItsAreaIsNotBurnt) {
    SimulatedProgrammer p(test::fastOptions("EP8505_IN"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP8505_IN");
    jobs::TransferRequest t;
    t.variant = jobs::TransferVariant::OfflineBlock;
    t.modeValue = 1; // INIT: 4 KB
    t.bytes.assign(5000, 0x00);
    Station st(p, &row);
    EXPECT_EQ(st.burn(t), Sent::Completed);
    EXPECT_TRUE(st.logged("length=6144 空间写满，无法写入! ")) << testing::PrintToString(st.lines);
    EXPECT_GE(st.fails, 1);
    EXPECT_TRUE(allBlank(p.socketCells()));
}

// ---- Images kept for stand-alone programming ----

struct StoreCase {
    const char* model;
    int programMode;
    std::vector<std::string> lines; // shown in this order
};

class Store : public testing::TestWithParam<StoreCase> {};

TEST_P(Store, KeepsTheImageAndTouchesNoChip) {
    const StoreCase& c = GetParam();
    const chips::ModelRow& row = *chips::findModel(c.model);
    SimulatedProgrammer p(test::fastOptions(c.model));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    JobSetup setup;
    setup.programMode = c.programMode;
    const auto job = prepareJob(row, setup);
    Station st(p, &row);
    EXPECT_EQ(st.burn(job.chip()), Sent::Completed);
    EXPECT_EQ(st.fails, 0) << testing::PrintToString(st.lines);
    // The lines appear in this order, others (a block's answer each) between them.
    auto next = st.lines.begin();
    for (const auto& want : c.lines) {
        next = std::find_if(next, st.lines.end(), [&](const std::string& l) { return l.starts_with(want); });
        ASSERT_NE(next, st.lines.end()) << want << " in " << testing::PrintToString(st.lines);
        ++next;
    }
    auto expected = job.chip().bytes;
    if (job.chip().variant == jobs::TransferVariant::OfflineBlock)
        expected.resize((expected.size() + 2047) / 2048 * 2048, 0xFF);
    EXPECT_EQ(p.storedImage(), expected);
    EXPECT_TRUE(allBlank(p.socketCells()));

    // An image whose check word does not match is not kept.
    if (job.chip().variant == jobs::TransferVariant::OfflineBlock) return;
    SimulatedProgrammer q(test::fastOptions(c.model));
    ASSERT_NE(q.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    auto broken = job.chip();
    broken.bytes[static_cast<std::size_t>(job.programBytes()) + 0x80] ^= 0x80;
    Station qs(q, &row);
    const Sent sent = qs.burn(broken);
    EXPECT_EQ(sent, broken.variant == jobs::TransferVariant::Paged ? Sent::Refused : Sent::Completed);
    EXPECT_TRUE(qs.logged("HEX校验和错误! ")) << testing::PrintToString(qs.lines);
    EXPECT_TRUE(q.storedImage().empty());
}

INSTANTIATE_TEST_SUITE_P(StandAlone, Store,
                         testing::Values(StoreCase{"EP2706", 1, {"FLASH编程成功! ", "HEX校验OK! "}},
                                         StoreCase{"EP39F022", 1, {"FLASH编程成功! ", "HEX校验OK! "}},
                                         StoreCase{"EP39H02",
                                                   1,
                                                   {"芯片校准完成， ", "烧录校验成功， ", "烧录校验成功， ",
                                                    "烧录校验成功， ", "烧录校验成功， "}},
                                         StoreCase{"EP8505", 6, {"HEX校验OK! ", "FLASH编程成功! "}}),
                         [](const auto& info) { return std::string(info.param.model); });

// ---- Firmware, EEPROM and user data ----

TEST(SimFirmware, AnUpdateIsWrittenBlockByBlockAndStartedWhenVerified) {
    SimulatedProgrammer p(test::fastOptions("EP2706"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    Station st(p, nullptr);
    std::vector<std::uint8_t> file(5000);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    // The version the new firmware reports: the station's expected one.
    const std::string_view tag = SimulatedProgrammer::kFirmwareVersionTag;
    std::copy(tag.begin(), tag.end(), file.begin() + 0x100);
    image::writeLe32(file.data() + 0x100 + tag.size(), kExpectedFirmwareVersion);
    std::vector<std::uint8_t> area = file;
    area.resize(6144, 0xFF); // the station's programArea, pre-filled with 0xFF

    auto download = [&](std::uint16_t damageSecond) {
        st.clear();
        test::enterBootLoader(p);
        for (std::size_t block = 0; block < area.size(); block += 2048) {
            ASSERT_TRUE(st.chunks(area.data() + block, 2048));
            const std::uint16_t crc = image::imageCrc(area.data() + block, 2048) ^ (block ? damageSecond : 0);
            ASSERT_EQ(p.zepIap(5, static_cast<int>(block), 2048, crc), 0);
            const auto answer = st.wait(2);
            ASSERT_TRUE(answer);
            if (*answer == 3) return;
        }
        ASSERT_EQ(p.zepIap(6, 0, 5000, image::imageCrc(file.data(), file.size())), 0);
        EXPECT_EQ(st.wait(2), 1);
    };

    download(0x0101);
    EXPECT_TRUE(st.logged("FLASH校验错误! ")) << testing::PrintToString(st.lines);
    EXPECT_EQ(p.zepIap(7, 0, 0, 0), SimulatedProgrammer::kRefused); // nothing verified to start
    EXPECT_TRUE(p.inBootLoader());

    download(0);
    EXPECT_EQ(std::count(st.lines.begin(), st.lines.end(), std::string("FLASH编程成功! 1ms\n")), 4);
    ASSERT_EQ(p.zepIap(7, 0, 0, 0), 0);
    EXPECT_FALSE(p.inBootLoader());
    EXPECT_EQ(p.firmware(), file);
    // It restarts into the new firmware, which says its version on its first link only.
    EXPECT_FALSE(p.isConnected());
    for (int link = 0; link < 2; ++link) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!p.plugged() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        st.clear();
        ASSERT_EQ(p.zepIap(8, 0, 0, 0), 0);
        st.drain();
        EXPECT_EQ(st.lines, (link == 0 ? std::vector<std::string>{"固件版本正确!\n"} : std::vector<std::string>{}));
        ASSERT_EQ(p.closeDevice(SimulatedProgrammer::kHandle), 0);
    }
}

TEST(SimFirmware, VersionIsTheWordAfterTheTag) {
    const std::string_view tag = SimulatedProgrammer::kFirmwareVersionTag;
    std::vector<std::uint8_t> file(64, 0xFF);
    EXPECT_EQ(SimulatedProgrammer::firmwareVersionOf(file), 0u);
    std::copy(tag.begin(), tag.end(), file.begin() + 10);
    image::writeLe32(file.data() + 10 + tag.size(), 0x20250101);
    EXPECT_EQ(SimulatedProgrammer::firmwareVersionOf(file), 0x20250101u);
    file.resize(10 + tag.size() + 3); // the word cut short
    EXPECT_EQ(SimulatedProgrammer::firmwareVersionOf(file), 0u);
}

TEST(SimFirmware, FaultsOfTheUpdate) {
    std::vector<std::uint8_t> block(2048, 0x5A);
    const std::uint16_t crc = image::imageCrc(block.data(), block.size());
    {
        SCOPED_TRACE("fw-block-reject: the first block is not written");
        SimulatedProgrammer p(test::fastOptions("EP2706", {Fault::FwBlockReject}));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        Station st(p, nullptr);
        test::enterBootLoader(p);
        ASSERT_TRUE(st.chunks(block.data(), block.size()));
        ASSERT_EQ(p.zepIap(5, 0, 2048, crc), 0);
        EXPECT_EQ(st.wait(2), 3);
        EXPECT_TRUE(st.logged("FLASH编程错误! ")) << testing::PrintToString(st.lines);
        EXPECT_EQ(p.zepIap(6, 0, 2048, crc), 0);
        EXPECT_EQ(st.wait(2), 3); // nothing verified
    }
    {
        SCOPED_TRACE("no-return: it leaves the bus for good, until plugged in again");
        SimulatedProgrammer p(test::fastOptions("EP2706", {Fault::NoReturn}));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        ASSERT_EQ(p.zepIap(9, 0, 0, 0), 0);
        ASSERT_EQ(p.zepIap(9, 0, 0, 0), 0);
        std::this_thread::sleep_for(SimulatedProgrammer::kRestartFloor * 3);
        EXPECT_FALSE(p.plugged());
        EXPECT_EQ(p.getDeviceCount(), 0);
        p.plug();
        EXPECT_TRUE(p.inBootLoader());
    }
    {
        SCOPED_TRACE("power-loss: once, at the second packet; back in the boot loader");
        SimulatedProgrammer p(test::fastOptions("EP2706", {Fault::PowerLoss}));
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        Station st(p, nullptr);
        test::enterBootLoader(p);
        EXPECT_EQ(p.otpSend(0, 256, block.data()), 0);
        EXPECT_NE(p.otpSend(256, 256, block.data()), 0);
        EXPECT_FALSE(p.isConnected());
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!p.plugged() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
        EXPECT_TRUE(p.inBootLoader());
        ASSERT_TRUE(st.chunks(block.data(), block.size()));
        ASSERT_EQ(p.zepIap(5, 0, 2048, crc), 0);
        EXPECT_EQ(st.wait(2), 1);
        ASSERT_EQ(p.zepIap(6, 0, 2048, crc), 0);
        EXPECT_EQ(st.wait(2), 1);
        ASSERT_EQ(p.zepIap(7, 0, 0, 0), 0);
        EXPECT_EQ(p.firmware(), block);
    }
}

TEST(SimSideTransfers, EepromAndUserDataReachTheProgrammerBeforeTheChipIsBurnt) {
    const chips::ModelRow& row = *chips::findModel("EP39F02");
    const std::string eeprom(300, '\x5A');
    const std::string factory = "factory-data-0001";
    jobs::JobInputs in = jobs::defaultJobInputs(row);
    in.eepromProgramming = true;
    in.eepromPath = testing_hex::writeTempFile("ee.bin", eeprom);
    in.factoryData = true;
    in.factoryPath = testing_hex::writeTempFile("factory.bin", factory);
    in.factoryListText = in.factoryPath;
    in.startAddressText = "1F00";
    jobs::JobContext ctx;
    ctx.model = &row;
    ctx.imagePath = testing_hex::writeTempFile("image.hex", test::imageHex());
    ctx.linkOpen = true;
    image::ImageState state;
    MemorySettings settings;
    RecordingReporter reporter;
    const jobs::JobResult r = jobs::startProgrammingJob(in, ctx, state, settings, reporter);
    ASSERT_EQ(r.code, jobs::kJobPrepared);
    ASSERT_EQ(r.transfers.size(), 3u);

    SimulatedProgrammer p(test::fastOptions("EP39F02"));
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    Station st(p, &row);
    EXPECT_EQ(st.send(r.transfers[0]), Sent::Completed); // EEPROM: nothing answered
    st.drain();
    EXPECT_TRUE(st.lines.empty());
    EXPECT_EQ(p.eepromData(), std::vector<std::uint8_t>(eeprom.begin(), eeprom.end()));
    EXPECT_EQ(st.send(r.transfers[1]), Sent::Completed);
    st.drain();
    EXPECT_EQ(st.lines, std::vector<std::string>{"用户数据写入成功 1ms\n"});
    EXPECT_EQ(p.userData(),
              std::make_pair(0x1F00, std::vector<std::uint8_t>(factory.begin(), factory.end())));
    EXPECT_EQ(st.burn(r.transfers[2]), Sent::Completed);
    EXPECT_EQ(st.passes, 1);

    // User data the programmer cannot take is answered 0 and kept from nothing after it.
    jobs::TransferRequest tooLong{jobs::TransferVariant::UserData, 0x1F00, std::vector<std::uint8_t>(300, 1)};
    jobs::TransferRequest pastTheEnd{jobs::TransferVariant::UserData, 0xFFF0,
                                     std::vector<std::uint8_t>(32, 1)};
    for (const auto& t : {tooLong, pastTheEnd}) {
        st.clear();
        EXPECT_EQ(st.send(t), Sent::Completed);
        st.drain();
        EXPECT_EQ(st.lines, std::vector<std::string>{"用户数据写入失败 1ms\n"});
    }
    EXPECT_EQ(p.userData().first, 0x1F00);
    p.setSocketChip(parseSocketChip("EP39F02").chip);
    EXPECT_EQ(st.burn(r.transfers[2]), Sent::Completed);
    EXPECT_EQ(st.passes, 1);
}

// ---- Threads, as the station runs them ----

// A transfer thread runs a paged burn while the receive thread decodes and answers its waits under
// the lock, and the UI thread commands and inspects the programmer.
TEST(SimThreads, PagedBurnBesideTheReceiveAndUiThreads) {
    SimOptions o = test::fastOptions("EP39H02");
    o.recvWait = 5ms;
    SimulatedProgrammer p(o);
    ASSERT_NE(p.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    const chips::ModelRow& row = *chips::findModel("EP39H02");
    const auto job = prepareJob(row);
    const auto& bytes = job.chip().bytes;

    std::mutex lock;
    int linkState = 0;
    std::atomic<int> passes{0};
    std::atomic<bool> done{false};
    auto setState = [&](int v) {
        std::lock_guard g(lock);
        linkState = v;
    };
    auto state = [&] {
        std::lock_guard g(lock);
        return linkState;
    };
    std::thread receiver([&] {
        ReceiverState rs;
        ReportContext ctx;
        ctx.model = &row;
        Report r{};
        std::uint32_t tick = 0;
        while (!done)
            if (p.otpRecv(nullptr, r.data()) == 0)
                for (const Effect& e : decodeReport(r, ++tick, rs, ctx)) {
                    if (e.kind == Effect::Kind::LinkState) setState(e.value);
                    if (e.kind == Effect::Kind::Notify && e.notification() == Notification::ResultPass)
                        ++passes;
                }
    });
    std::thread ui([&] {
        while (!done) {
            p.zepIap(20, 0, 0, 0);
            (void)p.description();
            (void)p.socketCells();
            p.setFaults({});
            std::this_thread::sleep_for(1ms);
        }
    });
    // The waiting value goes in before the command, so that an answer at once is not overwritten.
    auto command = [&](int waiting, int success, std::function<int()> send) {
        setState(waiting);
        if (send() != 0) return false;
        const auto deadline = Clock::now() + 30s;
        while (state() == waiting && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return state() == success;
    };
    bool ok = p.setZep(1) == 0 && p.otpSend(0, 64, bytes.data() + bytes.size() - 66) == 0 &&
              command(5, 4, [&] { return p.zepIap(12, 0, 0, 0); }) && command(5, 4, [] { return 0; });
    const std::size_t program = bytes.size() - 130;
    for (std::size_t page = 0; ok && page < program; page += 8192) {
        for (std::size_t at = 0; ok && at < 8192; at += 256)
            ok = p.otpSend(static_cast<int>(at), 256, bytes.data() + page + at) == 0;
        ok = ok && command(11, 10, [&] {
                 return p.zepIap(10, static_cast<int>(page), 8192,
                                 image::crc16Xmodem(bytes.data() + page, 8192));
             });
    }
    ok = ok && p.otpSend(0, 130, bytes.data() + program) == 0 && command(8, 10, [&] {
             return p.zepIap(11, static_cast<int>(program), 130,
                             image::crc16Xmodem(bytes.data() + program, 130));
         });
    const auto deadline = Clock::now() + 30s;
    while (ok && passes == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    done = true;
    receiver.join();
    ui.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(passes, 1);
}

} // namespace
} // namespace kelvor::link::sim
