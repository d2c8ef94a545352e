// One programming job at a time: the edge cases of the families, the voltage check, the settings it
// writes and when, and the transfers it hands to the station.
#include "image/checksums.h"
#include "jobs/hex_fixture.h"
#include "jobs/job.h"

#include <gtest/gtest.h>

#include <memory>

namespace kelvor::jobs {
namespace {

using chips::Family;
using testing_hex::HexBuilder;
using testing_hex::pattern;
using testing_hex::writeTempFile;
using Kind = RecordingReporter::Kind;

std::string imageWithConfig(std::uint8_t otpMode) {
    HexBuilder h;
    h.data(0x0000, pattern(0x80));
    h.upper(0x0030).data(0x0000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  static_cast<std::uint8_t>(0xF0 | otpMode), 0xFF, 0xFF, 0xFF});
    return h.text();
}

class Job : public ::testing::Test {
protected:
    JobResult run(const char* modelName, std::string path = {}) {
        model = chips::findModel(modelName);
        EXPECT_NE(model, nullptr) << modelName;
        if (!inputsSet) in = defaultJobInputs(*model);
        JobContext ctx;
        ctx.model = model;
        ctx.imagePath = path.empty() ? writeTempFile("image.hex", imageWithConfig(7)) : path;
        ctx.hwVersionSeen = hwVersionSeen;
        ctx.linkOpen = linkOpen;
        ctx.programMode = programMode;
        return startProgrammingJob(in, ctx, *state, settings, reporter);
    }
    // Inputs for `modelName` from its start-up contents, to be adjusted before run().
    JobInputs& inputsFor(const char* modelName) {
        in = defaultJobInputs(*chips::findModel(modelName));
        inputsSet = true;
        return in;
    }
    const std::uint8_t* block(const JobResult& r, int n) const {
        return r.chipTransfer()->bytes.data() + n + 0x40;
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& e : reporter.entries)
            if (e.kind == Kind::Box) out.push_back(e.caption + " " + e.text);
        return out;
    }
    bool logged(std::string_view text) const {
        for (const auto& e : reporter.entries)
            if (e.kind != Kind::Box && e.text.find(text) != std::string::npos) return true;
        return false;
    }

    const chips::ModelRow* model = nullptr;
    JobInputs in;
    bool inputsSet = false;
    bool hwVersionSeen = false;
    bool linkOpen = false;
    int programMode = 0;
    std::unique_ptr<image::ImageState> state = std::make_unique<image::ImageState>();
    MemorySettings settings;
    RecordingReporter reporter;
};

TEST_F(Job, EP27C42ShortBlockLayout) {
    inputsFor("EP27C42").fastClock = true;
    in.batchText = "A1B2C3D4";
    in.incrementText = "1";
    const JobResult r = run("EP27C42");
    ASSERT_EQ(r.code, kJobPrepared);
    const auto& b = r.chipTransfer()->bytes;
    ASSERT_EQ(b.size(), 8322u);
    // Block 8256-8287: head and the 13.56 flag; configuration words 48-63 stay at 8288-8319.
    EXPECT_EQ(image::readLe16(&b[8256 + 0x0E]), 0x7C42);
    EXPECT_EQ(image::readLe16(&b[8256 + 0x10]) | image::readLe16(&b[8256 + 0x12]) << 16, 0xA1B2C3D4u);
    EXPECT_EQ(image::readLe16(&b[8256 + 0x14]), 1);
    EXPECT_EQ(image::readLe16(&b[8256 + 0x18]), 4498);
    EXPECT_EQ(image::readLe16(&b[8256 + 0x1A]), 1);
    for (int i = 8256 + 0x1C; i < 8288; ++i)
        EXPECT_EQ(b[i], 0) << i;
    for (int i = 8288; i < 8320; i += 2)
        EXPECT_EQ(image::readLe16(&b[i]),
                  image::readLe16(state->buffers.programArea() + 0x4000 + (i - 8192)) & 0x3FFF);
    EXPECT_EQ(image::readLe16(&b[8320]), *r.checkWord);
}

TEST_F(Job, EP27C42LongBlockCarriesTheSettingsPage) {
    hwVersionSeen = true;
    JobInputs& i = inputsFor("EP27C42");
    i.fastClock = true; // not part of the long block
    i.autoVoltage = true;
    i.voltageText = "AUTO";
    i.calSlosc = false;
    i.calOp = true;
    i.firmwareIndex = 1;
    i.eepromVoltageText = "4500";
    i.clockIndex = 3;
    const JobResult r = run("EP27C42", writeTempFile("demo.hex", imageWithConfig(7)));
    ASSERT_EQ(r.code, kJobPrepared);
    EXPECT_EQ(r.block, BlockKind::Long);
    const std::uint8_t* p = block(r, 8192);
    EXPECT_EQ(image::readLe16(p + 0x18), 0xFFFE); // "AUTO" reads as 0
    EXPECT_EQ(image::readLe16(p + 0x1A), 0);
    EXPECT_EQ(image::readLe16(p + 0x20), 0b110);
    EXPECT_EQ(image::readLe16(p + 0x22), 2);
    EXPECT_EQ(image::readLe16(p + 0x24), 1);
    EXPECT_EQ(std::string(p + 0x26, p + 0x3C), "demo.hex**************");
    EXPECT_EQ(image::readLe16(p + 0x3C), 4500);
    EXPECT_EQ(image::readLe16(p + 0x3E), 3);
}

TEST_F(Job, VoltageTextsAndTheAutoException) {
    const struct {
        const char* model;
        bool longBlock;
        bool autoBox;
        const char* voltage;
        int code;
    } rows[] = {
        {"EP27C42", false, false, "4.500", kJobPrepared},
        {"EP27C42", false, false, "4.501", kJobPrepared},
        {"EP27C42", false, false, "2.9", kJobVoltageRejected},
        {"EP27C42", false, false, "70.036", kJobVoltageRejected}, // wraps to 4498 mV on the wire
        {"EP27C42", true, true, "AUTO", kJobPrepared},            // 14-bit family with the long block
        {"EP27C42", false, true, "AUTO", kJobVoltageRejected},    // short block: checked
        {"EP2702", true, true, "AUTO", kJobVoltageRejected},      // built-in: always checked
        {"EP39F01", true, true, "AUTO", kJobVoltageRejected},     // 39F with the long block: checked
        {"EP8505", false, false, "2.9", kJobVoltageRejected},     // raw images are checked too
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.voltage);
        reporter.entries.clear();
        hwVersionSeen = row.longBlock;
        JobInputs& i = inputsFor(row.model);
        i.autoVoltage = row.autoBox;
        i.voltageText = row.voltage;
        const JobResult r = run(row.model);
        EXPECT_EQ(r.code, row.code);
        if (row.code == kJobVoltageRejected) {
            EXPECT_EQ(boxes(),
                      std::vector<std::string>{"警告! 请在校准信息栏上输入烧录器实测4.5V电压实测值！"});
            EXPECT_EQ(reporter.entries.back().kind, Kind::Window);
            EXPECT_EQ(reporter.entries.back().text, "请在校准信息栏上输入烧录器实测4.5V电压实测值！");
            EXPECT_TRUE(r.transfers.empty());
            EXPECT_FALSE(r.disableButtons);
            EXPECT_FALSE(r.freqIndex);
            EXPECT_TRUE(r.cksumText.empty());
        }
    }
}

TEST_F(Job, SettingsAreWrittenInOrderAndFreqOnlyAfterTheVoltageCheck) {
    inputsFor("EP39F022").frequencyIndex = -1;
    in.batchText = "12G4";
    JobResult r = run("EP39F022");
    ASSERT_EQ(r.code, kJobPrepared);
    using W = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(settings.writes, (W{{"KELVOR/ConfigList", "0,0,1,1,3,1,1,1,0,0,1,1,2,"},
                                  {"KELVOR/UIDD", "12G4"},
                                  {"KELVOR/UIDS", "FFFFFFFF"},
                                  {"KELVOR/VOL", "4.500"},
                                  {"KELVOR/FREQ", "-1"}}));
    EXPECT_EQ(r.freqIndex, -1);
    EXPECT_EQ(image::readLe16(block(r, 8192) + 0x04), 0x12); // uidBase

    settings.writes.clear();
    in.voltageText = "2.9";
    r = run("EP39F022");
    EXPECT_EQ(r.code, kJobVoltageRejected);
    EXPECT_EQ(settings.writes, (W{{"KELVOR/ConfigList", "0,0,1,1,3,1,1,1,0,0,1,1,2,"},
                                  {"KELVOR/UIDD", "12G4"},
                                  {"KELVOR/UIDS", "FFFFFFFF"},
                                  {"KELVOR/VOL", "2.9"}}));
}

TEST_F(Job, FailedImageCheckStopsBeforeAnyRunValue) {
    const JobResult r = run("EP27C42", ::testing::TempDir() + "kelvor_no_such_image.hex");
    EXPECT_EQ(r.code, kJobImageCheckFailed);
    EXPECT_TRUE(r.transfers.empty());
    EXPECT_TRUE(r.progressByReport);
    EXPECT_EQ(settings.writes.size(), 1u); // ConfigList, for every job
    EXPECT_EQ(reporter.entries.front().text, kJobSeparator);
    EXPECT_EQ(boxes(), std::vector<std::string>{"警告! 选择的hex文件有误，请重新确认此文件！"});
}

TEST_F(Job, EP39F022ClockPinEraseAnd32M) {
    JobInputs& i = inputsFor("EP39F022");
    EXPECT_EQ(i.clockPinText, "PA1"); // empty PWM_OUTPUT matches entry 1
    i.clockPinText = "PB3";
    i.eraseSectors = true;
    i.select32M = true;
    i.clockIndex = 2;
    const JobResult r = run("EP39F022");
    ASSERT_EQ(r.code, kJobPrepared);
    const std::uint8_t* p = block(r, 8192);
    EXPECT_EQ(std::string(p + 0x2C, p + 0x2F), "PB3");
    EXPECT_EQ(p[0x2F], 1);
    EXPECT_EQ(image::readLe16(p + 0x30), state->imageLength & 0xFFFF);
    EXPECT_EQ(p[0x32], 1);
    EXPECT_EQ(p[0x33], 0);
    EXPECT_EQ(image::readLe16(p + 0x2A), 2);
}

TEST_F(Job, EP39F08LaysOutFor4096AndSendsTheWholeCopy) {
    inputsFor("EP39F08").select32M = true;
    HexBuilder h;
    h.data(0x0000, pattern(0x40))
        .data(0x1800, pattern(0x20, 0x77))
        .upper(0x0030)
        .data(0, {1, 2, 3, 4, 5, 6, 7, 8});
    state->buffers.transferImage.fill(0xA5); // what an earlier job left
    const JobResult r = run("EP39F08", writeTempFile("f08.hex", h.text()));
    ASSERT_EQ(r.code, kJobPrepared);
    const auto& b = r.chipTransfer()->bytes;
    ASSERT_EQ(b.size(), 8322u);
    EXPECT_EQ(image::readLe16(&b[4096 + 0x40 + 0x02]), 0x9F08);
    EXPECT_EQ(b[4096 + 0x40 + 0x2F], 0); // no select32M byte for this family
    EXPECT_EQ(b[4096 + 0x40 + 0x33], 1);
    EXPECT_EQ(image::readLe16(&b[4224]), image::imageCrc(b.data(), 4224));
    EXPECT_TRUE(std::equal(&b[4226], &b[8192], state->buffers.programArea() + 4226));
    EXPECT_EQ(b[0x1800], pattern(1, 0x77)[0]);
    EXPECT_EQ(b[8192], 0xA5);
    EXPECT_EQ(b[8321], 0xA5);
}

TEST_F(Job, EP3901FullImageGoesPagedOtherwisePlain) {
    JobResult r = run("EP3901", writeTempFile("full.hex", imageWithConfig(0xF)));
    ASSERT_EQ(r.code, kJobPrepared);
    EXPECT_EQ(state->imageLength, 0x4000);
    EXPECT_EQ(r.chipTransfer()->length(), 32898);
    EXPECT_EQ(r.variant, TransferVariant::Paged);
    EXPECT_EQ(image::readLe16(r.chipTransfer()->bytes.data() + 32768 + 0x40 + 0x0E), 0x3901);

    r = run("EP3901", writeTempFile("half.hex", imageWithConfig(7)));
    ASSERT_EQ(r.code, kJobPrepared);
    EXPECT_EQ(r.chipTransfer()->length(), 16514);
    EXPECT_EQ(r.variant, TransferVariant::Plain);
}

TEST_F(Job, EP8505SendsTheImageRoundedDownToWholeWords) {
    programMode = 5;
    HexBuilder h;
    h.data(0x0000, pattern(5001));
    const JobResult r = run("EP8505", writeTempFile("raw.hex", h.text()));
    ASSERT_EQ(state->imageLength, 5001);
    ASSERT_EQ(r.code, kJobPrepared);
    const TransferRequest* t = r.chipTransfer();
    EXPECT_EQ(t->length(), 5000);
    EXPECT_EQ(t->variant, TransferVariant::OfflineBlock);
    EXPECT_EQ(t->modeValue, 5);
    EXPECT_TRUE(std::equal(t->bytes.begin(), t->bytes.end(), state->buffers.programArea()));
    EXPECT_EQ(r.cksum, image::imageCrc(t->bytes.data(), 5000));
    EXPECT_FALSE(r.checkWord);
    EXPECT_EQ(settings.writes.back().first, "KELVOR/FREQ");
}

TEST_F(Job, EP39H01PlacesTheCustomPdoBeforeTheCheckWord) {
    JobInputs& i = inputsFor("EP39H01");
    i.charger.icName = i.charger.icNameChk = 2;
    const JobResult plain = run("EP39H01");
    ASSERT_EQ(plain.code, kJobPrepared);
    EXPECT_EQ(plain.chipTransfer()->bytes[kPdoOffset], 0xFF);
    EXPECT_EQ(block(plain, 16384)[0x1C], 2);
    EXPECT_EQ(block(plain, 16384)[0x1D], 2);

    i.charger.customPdo = true;
    i.charger.pdoText = "02,A1,5F,3C,";
    const JobResult placed = run("EP39H01");
    ASSERT_EQ(placed.code, kJobPrepared);
    const auto& b = placed.chipTransfer()->bytes;
    EXPECT_EQ(std::vector<std::uint8_t>(&b[kPdoOffset], &b[kPdoOffset + 5]),
              (std::vector<std::uint8_t>{0x02, 0xA1, 0x5F, 0x3C, 0xFF}));
    EXPECT_EQ(image::readLe16(&b[16384 + 0x80]), image::imageCrc(b.data(), 16384 + 0x80));
    EXPECT_NE(placed.checkWord, plain.checkWord);

    HexBuilder h;
    h.data(0x0000, pattern(0x20)).data(0x3FE2, {0x12});
    reporter.entries.clear();
    const JobResult refused = run("EP39H01", writeTempFile("busy.hex", h.text()));
    EXPECT_EQ(refused.code, kJobPdoRejected);
    EXPECT_TRUE(refused.transfers.empty());
    EXPECT_FALSE(refused.disableButtons);
    EXPECT_EQ(boxes(), std::vector<std::string>{"提示! PDO数据长度与HEX地址0x3fe0可用长度不匹配!"});
}

TEST_F(Job, EP39H02ShortCircuitSwitchMoves) {
    inputsFor("EP39H02").charger.shortCircuit = true;
    const JobResult r = run("EP39H02");
    ASSERT_EQ(r.code, kJobPrepared);
    EXPECT_EQ(block(r, 24576)[0x22], 0);
    EXPECT_EQ(block(r, 24576)[0x23], 1);
    EXPECT_EQ(image::readLe16(block(r, 24576) + 0x0E), 0x39B2);
}

class SideTransfers : public Job {
protected:
    void SetUp() override {
        eeprom = std::string(40, '\x5A');
        factory = std::string(16, '\x3C');
    }
    void select(const char* modelName, bool eepromBox, bool factoryBox, int factoryBytes = 16) {
        JobInputs& i = inputsFor(modelName);
        i.eepromProgramming = eepromBox;
        i.eepromPath = writeTempFile("ee.bin", eeprom);
        i.factoryData = factoryBox;
        i.factoryPath =
            writeTempFile("factory.bin", std::string(static_cast<std::size_t>(factoryBytes), '\x3C'));
        i.factoryListText = i.factoryPath;
    }
    static std::vector<TransferVariant> variants(const JobResult& r) {
        std::vector<TransferVariant> v;
        for (const auto& t : r.transfers)
            v.push_back(t.variant);
        return v;
    }
    std::string eeprom, factory;
};

TEST_F(SideTransfers, RunAheadOfTheChipImageWithTheirOwnBytes) {
    linkOpen = true;
    select("EP39F022", true, true);
    in.startAddressText = "1f00";
    const JobResult r = run("EP39F022");
    ASSERT_EQ(r.code, kJobPrepared);
    ASSERT_EQ(variants(r), (std::vector<TransferVariant>{TransferVariant::Eeprom, TransferVariant::UserData,
                                                         TransferVariant::Plain}));
    // Regression: the side transfers used to read programArea after the image check refilled it.
    EXPECT_EQ(std::string(r.transfers[0].bytes.begin(), r.transfers[0].bytes.end()), eeprom);
    EXPECT_EQ(std::string(r.transfers[1].bytes.begin(), r.transfers[1].bytes.end()), factory);
    EXPECT_EQ(r.transfers[1].modeValue, 0x1F00);
    EXPECT_EQ(r.transfers[0].modeValue, 0);
}

TEST_F(SideTransfers, SelectedByFamilyBoxesAndLink) {
    const struct {
        const char* model;
        bool eepromBox, factoryBox, link;
        const char* listText; // nullptr: the file's path
        std::vector<TransferVariant> sides;
    } rows[] = {
        {"EP27C42", true, true, true, nullptr, {}},
        {"EP27F01", true, true, true, nullptr, {TransferVariant::Eeprom}},
        {"EP39F003", true, true, true, nullptr, {}},
        {"EP408", false, true, true, nullptr, {TransferVariant::UserData}},
        {"EP39F08", true, true, true, "", {TransferVariant::Eeprom}},
        {"EP39F022", true, true, false, nullptr, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        reporter.entries.clear();
        linkOpen = row.link;
        select(row.model, row.eepromBox, row.factoryBox);
        if (row.listText) in.factoryListText = row.listText;
        const JobResult r = run(row.model);
        ASSERT_EQ(r.code, kJobPrepared);
        auto sides = variants(r);
        sides.pop_back();
        EXPECT_EQ(sides, row.sides);
        if (!row.link) {
            EXPECT_TRUE(logged("请使能烧录器连接!"));
        }
    }
}

// Side data the operator asked for but that cannot be sent refuses the whole run: an OTP chip burnt
// without its EEPROM or factory data cannot be mended later.
TEST_F(SideTransfers, UnusableSideFileRefusesTheRunAndSendsNothing) {
    const struct {
        const char* model;
        bool eepromBox, factoryBox;
        int factoryBytes;
        bool emptyEeprom, noEepromPath;
        const char* line;
    } rows[] = {
        {"EP39F06", false, true, 300, false, false, "出厂信息文件长度300字节,超过256字节,不发送!"},
        {"EP39F06", false, true, 0, false, false, "出厂信息文件长度为0字节,不发送!"},
        {"EP39F02", true, false, 16, true, false, "EEPROM文件长度为0字节,不发送!"},
        {"EP39F02", true, false, 16, false, true, "EEPROM文件为空!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        reporter.entries.clear();
        linkOpen = true;
        if (row.emptyEeprom) eeprom.clear();
        select(row.model, row.eepromBox, row.factoryBox, row.factoryBytes);
        if (row.noEepromPath) in.eepromPath.clear();
        const JobResult r = run(row.model);
        EXPECT_EQ(r.code, kJobSideDataRefused);
        EXPECT_TRUE(r.transfers.empty());
        EXPECT_TRUE(logged(row.line));
        EXPECT_TRUE(logged("EEPROM或出厂信息数据不能发送,本次不烧录!"));
        eeprom = std::string(40, '\x5A');
    }
    reporter.entries.clear();
    select("EP39F06", false, true, 256);
    EXPECT_EQ(run("EP39F06").transfers.front().length(), 256);
}

TEST_F(SideTransfers, StayQueuedWhenTheChipJobStops) {
    linkOpen = true;
    select("EP39F02", true, false);
    in.voltageText = "1.0";
    const JobResult r = run("EP39F02");
    EXPECT_EQ(r.code, kJobVoltageRejected);
    EXPECT_EQ(variants(r), std::vector<TransferVariant>{TransferVariant::Eeprom});
    EXPECT_EQ(r.chipTransfer(), nullptr);
}

} // namespace
} // namespace kelvor::jobs
