// kelvor firmware against the simulated programmer: the update and the exit code of every fault.
#include "link/report_decoder.h"
#include "link/sim/simulated_programmer.h"
#include "support/cli_run.h"

#include "image/buffers.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using kelvor::test::runKelvor;

using Home = kelvor::test::KelvorHome;

// A firmware file in the home directory, carrying the version the station expects.
std::string writeFirmware(const Home& home, const std::string& name, std::size_t size) {
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>(i * 5 + 1);
    const std::string_view tag = kelvor::link::sim::SimulatedProgrammer::kFirmwareVersionTag;
    if (size >= 0x20 + tag.size() + 4) {
        std::copy(tag.begin(), tag.end(), v.begin() + 0x20);
        kelvor::image::writeLe32(v.data() + 0x20 + tag.size(), kelvor::link::kExpectedFirmwareVersion);
    }
    const std::string path = (home.dir.path() + "/").toStdString() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(v.data()),
                                                 static_cast<std::streamsize>(v.size()));
    return path;
}

bool has(const std::string& text, const std::string& needle) { return text.find(needle) != std::string::npos; }

} // namespace

TEST(FirmwareCommand, UpdatesAndSaysWhichStepFailed) {
    struct Case {
        const char* what;
        std::size_t size; // 0: an empty file; SIZE_MAX: no file
        const char* fault;
        int code;
        const char* step; // nullptr: updated
        const char* line; // in the output
    };
    const Case cases[] = {
        {"updated", 5000, nullptr, 0, nullptr, "固件版本正确!"},
        {"power loss, resumed", 5000, "power-loss", 0, nullptr, "跳转至主程序"},
        {"empty file", 0, nullptr, 2, "file", nullptr},
        {"file too long", 65537, nullptr, 2, "file", nullptr},
        {"no such file", SIZE_MAX, nullptr, 2, "file", nullptr},
        {"no programmer", 5000, "no-programmer", 3, "connect", "共找到0个设备!"},
        {"block rejected", 5000, "fw-block-reject", 3, "download", "FLASH编程错误!"},
        {"never returns", 5000, "no-return", 3, "return", "等待烧录器Bootloader重新连接超时"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Home home;
        const std::string file = c.size == SIZE_MAX ? home.dir.path().toStdString() + "/none.bin" : writeFirmware(home, "fw.bin", c.size);
        std::vector<std::string> args{"firmware", file, "--json"};
        if (c.fault) args.insert(args.end(), {"--sim-fault", c.fault});
        const auto r = runKelvor(args);
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        if (c.step) {
            EXPECT_TRUE(has(r.out, std::string("\"failed_step\": \"") + c.step + "\"")) << r.out;
            EXPECT_TRUE(has(r.err, std::string("failed at step ") + c.step)) << r.err;
        } else {
            EXPECT_TRUE(has(r.out, "{\"updated\": true, \"failed_step\": null, \"version_ok\": true}")) << r.out;
        }
        if (c.line) EXPECT_TRUE(has(r.out, c.line)) << r.out;
    }
}

TEST(FirmwareCommand, PrintsTheLogLinesAndRejectsBadUsage) {
    Home home;
    const auto r = runKelvor({"firmware", writeFirmware(home, "fw.bin", 3000)});
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* line : {"USB设备被拔出!", "USB设备被插入!", "下载完毕!", "跳转至主程序", "固件版本正确!"})
        EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out;
    EXPECT_EQ(runKelvor({"firmware"}).code, 2);
    EXPECT_EQ(runKelvor({"firmware", "a.bin", "b.bin"}).code, 2);
    EXPECT_EQ(runKelvor({"firmware", "a.bin", "--bogus"}).code, 2);
}
