#include "image/checksums.h"
#include "image/readers.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

namespace kelvor::image {
namespace {

using test::hexData;
using test::hexEnd;

// Records the message box's buttons and icon as well.
struct BoxReporter : RecordingReporter {
    bool messageBox(std::string_view caption, std::string_view text, BoxButtons b, BoxIcon i) override {
        buttons = b;
        icon = i;
        return RecordingReporter::messageBox(caption, text, b, i);
    }
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
};

const std::string kWarning = "选择的hex文件有误，请重新确认此文件！";

TEST(ImageCheck, UnusableImageIsWarnedWithTheQuestionBoxAndTheLogLine) {
    test::TempDir dir;
    auto state = test::freshImageState();
    state->imageLength = 0x1234;
    BoxReporter rep;
    const std::string path = dir.path("missing.hex");
    EXPECT_EQ(checkImage(*chips::findModel("EP2706"), path, *state, rep), -1);
    EXPECT_EQ(state->imageLength, 0);
    ASSERT_EQ(rep.entries.size(), 3u);
    EXPECT_EQ(rep.entries[0].text, "File Open Fail " + path);
    EXPECT_EQ(rep.entries[1].kind, RecordingReporter::Kind::Box);
    EXPECT_EQ(rep.entries[1].caption, "警告!");
    EXPECT_EQ(rep.entries[1].text, kWarning);
    EXPECT_EQ(rep.buttons, BoxButtons::YesNo);
    EXPECT_EQ(rep.icon, BoxIcon::Question);
    EXPECT_EQ(rep.entries[2].kind, RecordingReporter::Kind::Event);
    EXPECT_EQ(rep.entries[2].text, kWarning);
}

TEST(ImageCheck, ResultsByModel) {
    test::TempDir dir;
    const std::string good = dir.write("good.hex", hexData(0, {1, 2}) + hexEnd());
    const std::string noProgram = dir.write("cfg.hex", test::hexConfigWords({1, 2, 3, 4, 5}) + hexEnd());
    const std::string tooFar = dir.write("far.hex", hexData(0xFFFF, {1, 2}) + hexEnd());
    struct Row {
        const char* model;
        std::string path;
        int result, length;
    };
    const Row rows[] = {
        {"EP2706", good, 0, 0x1000},
        {"EP39F02", good, 0, 2},
        // No program record: endOfLastProgramRecord is 0, so the image is unusable.
        {"EP39F06", noProgram, -1, 0},
        // The charger-chip models pass whatever length the decoder returns...
        {"EP39H01", good, 0, 0},
        // ...but an unreadable file used to pass too and burn a blank or stale image.
        {"EP39H02", dir.path("missing.hex"), -1, 0},
        {"EP8505", tooFar, -1, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.model);
        auto state = test::freshImageState();
        RecordingReporter rep;
        EXPECT_EQ(checkImage(*chips::findModel(r.model), r.path, *state, rep), r.result);
        EXPECT_EQ(state->imageLength, r.length);
    }
}

TEST(ImageCheck, ModelWithoutDecoderIsUnusableAndShowsTheDefaultPage) {
    auto state = test::freshImageState();
    state->imageLength = 0x1000;
    state->decoders.fuseSlots[0].text = "stale";
    chips::ModelRow row = *chips::findModel("EP2706");
    row.family = static_cast<chips::Family>(200);
    RecordingReporter rep;
    EXPECT_EQ(checkImage(row, "unused.hex", *state, rep), -1);
    EXPECT_EQ(state->imageLength, 0);
    EXPECT_EQ(state->decoders.fuseSlots[0].text, "IO_MODE: 18");
}

TEST(RawImage, LoadsAndLogsAsTheStationDoes) {
    test::TempDir dir;
    auto state = test::freshImageState();
    ImageBuffers& b = state->buffers;
    RecordingReporter rep;
    const std::string path = dir.write("fw.bin", std::string("abc"));
    ASSERT_TRUE(loadRawImage(path, b, rep));
    EXPECT_EQ(b.rawLength, 3);
    EXPECT_EQ(b.rawCrc, 0x4957);
    EXPECT_EQ(b.programArea()[3], 0xFF);
    EXPECT_EQ(rep.texts(),
              (std::vector<std::string>{msg::kRawSeparator, "Open File:" + path + "\n", "文件打开成功!"}));
}

TEST(RawImage, RefusalsTable) {
    test::TempDir dir;
    const std::string full = dir.write("full.bin", std::vector<std::uint8_t>(65536, 0x11));
    const std::string over = dir.write("over.bin", std::vector<std::uint8_t>(65537, 0x11));
    const std::string missing = dir.path("missing.bin");
    struct Row {
        const char* name;
        std::string path;
        RawCaller caller;
        bool ok;
        std::vector<std::string> log;
    };
    const Row rows[] = {
        {"exactly 64 KB",
         full,
         RawCaller::Other,
         true,
         {msg::kRawSeparator, "Open File:" + full + "\n", msg::kRawLoaded}},
        {"one byte more",
         over,
         RawCaller::Other,
         false,
         {msg::kRawSeparator, "Open File:" + over + "\n", msg::kRawTooLong}},
        {"missing file", missing, RawCaller::Other, false, {msg::kRawSeparator, "File Open Fail " + missing}},
        {"empty EEPROM path", "", RawCaller::Eeprom, false, {msg::kRawSeparator, msg::kEepromPathEmpty}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto state = test::freshImageState();
        RecordingReporter rep;
        EXPECT_EQ(loadRawImage(r.path, state->buffers, rep, r.caller), r.ok);
        EXPECT_EQ(rep.texts(), r.log);
        if (!r.ok) {
            EXPECT_EQ(state->buffers.rawLength, 0);
            EXPECT_NE(state->buffers.programArea()[0], 0x11) << "no partial file is left behind";
            EXPECT_EQ(state->buffers.configBlock()[0], 0);
        }
    }
}

} // namespace
} // namespace kelvor::image
