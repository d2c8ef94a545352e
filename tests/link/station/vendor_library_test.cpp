#include "link/station/vendor_library.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cerrno>
#include <cstdlib>

namespace kelvor::link {
namespace {

// The simulator library reads its set-up at its first call: answers at once in these tests.
const bool kSimFast = [] { return setenv("KELVOR_SIM_TIMING", "0", 1) == 0; }();

TEST(VendorLibrary, DrivesTheSimulatorLibraryThroughTheCInterface) {
    ASSERT_TRUE(kSimFast);
    const std::string path = KELVOR_SIM_USBIO_PATH;
    auto load = VendorLibrary::load(path);
    ASSERT_TRUE(load.library) << load.error;
    VendorLibrary& lib = *load.library;
    EXPECT_TRUE(lib.simulated()); // told by USBIOX_IsSimulated, not by the file name
    EXPECT_EQ(lib.description(), "programmer library " + path + " (simulated)");

    lib.setDeviceId(kDeviceFilter);
    lib.getDllVersion();
    const int count = lib.getDeviceCount();
    ASSERT_EQ(count & 0xFF, 1);
    const int handle = lib.openDevice(count >> 8);
    ASSERT_NE(handle, -1);
    EXPECT_NE(lib.isConnected(), 0);
    EXPECT_EQ(lib.devicePathName().substr(0, 25), kInterfacePrefix);
    // A second open is the sharing violation, reported through USBIOX_LastOsError.
    EXPECT_EQ(lib.openDevice(count >> 8), -1);
    EXPECT_EQ(lib.lastOsError(), kErrorAlreadyOpen);

    EXPECT_EQ(lib.setLed(1, 0), 0);
    EXPECT_EQ(lib.uartConfig(9), 0);
    EXPECT_EQ(lib.zepIap(8, 0, 0, 0), 0);
    EXPECT_EQ(lib.zepIap(17, 0, 0, 0), 0);
    std::array<std::uint8_t, 65> report{};
    std::uint8_t spare = 0;
    ASSERT_EQ(lib.otpRecv(&spare, report.data()), 0);
    EXPECT_EQ(report[0], 0x13);
    EXPECT_EQ(report[2], 0xFF);
    ASSERT_EQ(lib.otpRecv(&spare, report.data()), 0);
    EXPECT_EQ(report[2], 0xFD);
    EXPECT_EQ(report[5] * 256 + report[6], 0x2700); // EP2706 in the socket by default
    EXPECT_EQ(report[64], 0) << "a report is 64 bytes";
    EXPECT_NE(lib.otpRecv(&spare, report.data()), 0);

    EXPECT_EQ(lib.closeDevice(handle), 0);
    EXPECT_EQ(lib.isConnected(), 0);
}

TEST(VendorLibrary, WithoutTheExtensionsReadsErrnoAndIsNotSimulated) {
    auto load = VendorLibrary::load(KELVOR_STUB_USBIO_PATH);
    ASSERT_TRUE(load.library) << load.error;
    VendorLibrary& lib = *load.library;
    EXPECT_FALSE(lib.simulated());
    EXPECT_EQ(lib.openDevice(0), -1);
    EXPECT_EQ(lib.lastOsError(), kErrorAlreadyOpen); // the library set EBUSY
    EXPECT_EQ(lib.devicePathName(), "");             // a null path reads as none
    // Nothing the library would read past or through null reaches it.
    EXPECT_NE(lib.otpSend(0, -1, nullptr), 0);
    EXPECT_NE(lib.otpRecv(nullptr, nullptr), 0);
}

TEST(VendorLibrary, ErrnoThatIsNotASharingViolationNeverReadsAsOne) {
    EXPECT_EQ(osErrorFromErrno(EBUSY), kErrorAlreadyOpen);
    EXPECT_NE(osErrorFromErrno(kErrorAlreadyOpen), kErrorAlreadyOpen); // EPIPE on Linux
    EXPECT_NE(osErrorFromErrno(0), 0);                                 // a failure is never "no error"
    EXPECT_EQ(osErrorFromErrno(ENODEV), ENODEV);
}

TEST(VendorLibrary, RefusesWhatItCannotUseWithAClearMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string text = (dir.path() + "/libusbio.so").toStdString();
    {
        QFile f(QString::fromStdString(text));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a library\n");
    }
    const std::string incomplete = KELVOR_STUB_USBIO_INCOMPLETE_PATH;
    struct Case {
        std::string path;
        std::string message; // exact, or the start of it when it ends with ": "
    };
    const Case cases[] = {
        {incomplete, "programmer library " + incomplete + " lacks USBIO_OTP_RECV, USBIO_SET_ZEP"},
        {"/nonexistent/libusbio.so", "programmer library /nonexistent/libusbio.so cannot be loaded: "},
        {text, "programmer library " + text + " cannot be loaded: "},
        {"", "programmer library path is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto load = VendorLibrary::load(c.path);
        EXPECT_FALSE(load.library);
        if (c.message.ends_with(": ")) {
            EXPECT_TRUE(load.error.starts_with(c.message)) << load.error;
            EXPECT_GT(load.error.size(), c.message.size()) << "the loader's reason follows";
        } else {
            EXPECT_EQ(load.error, c.message);
        }
    }
}

} // namespace
} // namespace kelvor::link
