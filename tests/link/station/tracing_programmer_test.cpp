#include "link/sim/simulated_programmer.h"
#include "link/station/tracing_programmer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <thread>

namespace kelvor::link {
namespace {

using namespace std::chrono_literals;
using sim::SimulatedProgrammer;

sim::SimOptions fast() {
    sim::SimOptions o;
    o.timing = 0;
    o.recvWait = 5ms;
    return o;
}

class TraceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = (dir_.path() + "/trace.jsonl").toStdString();
        auto inner = std::make_unique<SimulatedProgrammer>(fast());
        sim_ = inner.get();
        std::string error;
        std::FILE* f = TracingProgrammer::openTraceFile(path_, error);
        ASSERT_NE(f, nullptr) << error;
        trace_ = std::make_unique<TracingProgrammer>(std::move(inner), f);
    }

    // Every line, each checked to be one JSON object.
    QStringList lines() const {
        QFile f(QString::fromStdString(path_));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList out = QString::fromUtf8(f.readAll()).split('\n');
        EXPECT_EQ(out.takeLast(), "") << "the last line ends with a line feed";
        for (const auto& l : out) {
            QJsonParseError error;
            const auto doc = QJsonDocument::fromJson(l.toUtf8(), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << l.toStdString();
            EXPECT_TRUE(doc.isObject()) << l.toStdString();
        }
        return out;
    }

    QTemporaryDir dir_;
    std::string path_;
    SimulatedProgrammer* sim_ = nullptr;
    std::unique_ptr<TracingProgrammer> trace_;
};

TEST_F(TraceTest, WritesEveryCallAndReportAsOneLine) {
    TracingProgrammer& t = *trace_;
    t.setDeviceId(kDeviceFilter);
    sim_->setFaults(sim::FaultSet{sim::Fault::OpenBusy});
    EXPECT_EQ(t.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    sim_->setFaults({});
    ASSERT_EQ(t.openDevice(SimulatedProgrammer::kDeviceIndex), SimulatedProgrammer::kHandle);
    EXPECT_EQ(t.zepIap(17, 0, 0, 0), 0);
    const std::uint8_t data[] = {0x0A, 0xBC, 0xFF, 0x00};
    EXPECT_EQ(t.otpSend(256, 4, data), 0);
    std::vector<std::array<std::uint8_t, kReportSize>> reports;
    std::array<std::uint8_t, kReportSize> r{};
    while (t.otpRecv(nullptr, r.data()) == 0)
        reports.push_back(r);
    ASSERT_EQ(reports.size(), 2u); // and one empty receive, which the trace leaves out
    const std::string path = t.devicePathName();
    ASSERT_TRUE(t.setDeviceEventSink([](const DeviceEvent&) {}));
    sim_->unplug();

    auto hexOf = [](const std::array<std::uint8_t, kReportSize>& rep) {
        QString s;
        for (auto b : rep)
            s += QString::asprintf("%02x", b);
        return s;
    };
    const QString jsonPath = QString::fromStdString(path).replace("\\", "\\\\");
    const QStringList expected = {
        R"({"t": T, "call": "USBIO_SetDeviceID", "args": ["{4D1E55B2-F16F-11CF-88CB-001111000030}", "vid_0b7a&pid_0731"], "result": null})",
        R"({"t": T, "call": "USBIO_OpenDevice", "args": [3], "result": -1, "osError": 32})",
        R"({"t": T, "call": "USBIO_OpenDevice", "args": [3], "result": 81})",
        R"({"t": T, "call": "USBIO_ZEP_IAP", "args": [17, 0, 0, 0], "result": 0})",
        R"({"t": T, "call": "USBIO_OTP_SEND", "args": [256, 4], "result": 0, "data": "0abcff00"})",
        R"({"t": T, "report": ")" + hexOf(reports[0]) + R"("})",
        R"({"t": T, "report": ")" + hexOf(reports[1]) + R"("})",
        R"({"t": T, "call": "USBIO_GetDevicePathNameNew", "args": [], "result": ")" + jsonPath + R"("})",
        R"({"t": T, "event": "removal", "path": ")" + jsonPath + R"("})",
    };
    QStringList got = lines();
    long long lastT = -1;
    for (auto& l : got) {
        const auto t = QJsonDocument::fromJson(l.toUtf8()).object().value("t");
        EXPECT_TRUE(t.isDouble()) << l.toStdString();
        if (l.contains("USBIO_OpenDevice") && l.contains("\"result\": 81")) lastT = -1; // the link starts
        EXPECT_GE(t.toInteger(), lastT) << l.toStdString();
        lastT = t.toInteger();
        l.replace(QRegularExpression(R"(^\{"t": \d+, )"), R"({"t": T, )");
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(hexOf(reports[1]).size(), 128);
}

TEST_F(TraceTest, LinesFromManyThreadsStayWhole) {
    TracingProgrammer& t = *trace_;
    ASSERT_NE(t.openDevice(SimulatedProgrammer::kDeviceIndex), -1);
    constexpr int kThreads = 3, kCalls = 150;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&t, i] {
            std::vector<std::uint8_t> chunk(256, static_cast<std::uint8_t>(i));
            for (int n = 0; n < kCalls; ++n)
                t.otpSend(n * 256, 256, chunk.data());
        });
    }
    threads.emplace_back([&t] {
        std::array<std::uint8_t, kReportSize> r{};
        for (int n = 0; n < 20; ++n)
            t.otpRecv(nullptr, r.data());
    });
    for (auto& th : threads)
        th.join();
    const QStringList got = lines();
    ASSERT_EQ(got.size(), 1 + kThreads * kCalls);
    for (int i = 1; i < got.size(); ++i) {
        const auto o = QJsonDocument::fromJson(got[i].toUtf8()).object();
        EXPECT_EQ(o.value("data").toString().size(), 512) << got[i].toStdString();
    }
}

} // namespace
} // namespace kelvor::link
