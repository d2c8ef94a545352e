// Every image reader takes only regular files and never reads past its limit: a FIFO, a device, a
// folder or a socket named as an image is refused at once with a line that says what it is.
#include "image/readers.h"
#include "support/image_fixtures.h"
#include "support/special_files.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kelvor::image {
namespace {

std::string joined(const RecordingReporter& rep) {
    std::string s;
    for (const auto& t : rep.texts()) s += t + "|";
    return s;
}

// The three ways a path reaches the buffers, each given a link with the name it expects.
struct Reader {
    const char* name;
    const char* suffix;
    bool (*read)(const std::string& path, ImageState& state, Reporter& rep);
};
const Reader kReaders[] = {
    {"HEX", ".hex",
     [](const std::string& p, ImageState& s, Reporter& r) {
         return readHexImage(p, {}, s.buffers, s.key, r).ok;
     }},
    {"enciphered", ".bin",
     [](const std::string& p, ImageState& s, Reporter& r) {
         return readEncipheredImage(p, s.buffers, s.key, r);
     }},
    {"raw", ".bin", [](const std::string& p, ImageState& s, Reporter& r) { return loadRawImage(p, s.buffers, r); }},
};

TEST(ReaderFileKinds, SpecialFilesAreRefusedWithoutBlocking) {
    test::TempDir dir;
    const std::string root = dir.path("");
    for (const auto& special : test::makeSpecialFiles(root)) {
        for (const auto& reader : kReaders) {
            SCOPED_TRACE(std::string(reader.name) + " reader, " + special.kind);
            const std::string path =
                test::linkTo(root, std::string("x-") + reader.name + reader.suffix, special.path);
            auto state = test::freshImageState();
            RecordingReporter rep;
            EXPECT_FALSE(reader.read(path, *state, rep));
            EXPECT_NE(joined(rep).find("File Open Fail " + path + ": is a " + special.kind + ", not a regular file"),
                      std::string::npos)
                << joined(rep);
            EXPECT_EQ(joined(rep).find("Open File:"), std::string::npos) << "nothing was opened as an image";
        }
    }
}

TEST(ReaderFileKinds, OneByteOverTheLimitIsRefused) {
    test::TempDir dir;
    // A good HEX text padded past the limit: read whole it would pass, so only the size refuses it.
    std::string hex = test::hexData(0, {1, 2}) + test::hexEnd();
    hex.resize(kMaxHexFileSize + 1, '\n');
    const std::string bigHex = dir.write("big.hex", hex);
    const std::string fitHex = dir.write("fit.hex", hex.substr(0, kMaxHexFileSize));
    auto state = test::freshImageState();
    RecordingReporter rep;
    EXPECT_TRUE(readHexImage(fitHex, {}, state->buffers, state->key, rep).ok) << joined(rep);
    rep.entries.clear();
    EXPECT_FALSE(readHexImage(bigHex, {}, state->buffers, state->key, rep).ok);
    EXPECT_EQ(rep.texts(), std::vector<std::string>{"File Open Fail " + bigHex + ": is larger than " +
                                                    std::to_string(kMaxHexFileSize) + " bytes"});
}

} // namespace
} // namespace kelvor::image
