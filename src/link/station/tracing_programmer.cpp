#include "link/station/tracing_programmer.h"

#include "base/json_line.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace kelvor::link {
namespace {

using Clock = std::chrono::steady_clock;

std::string hex(const std::uint8_t* data, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(2 * n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = kDigits[data[i] >> 4];
        out[2 * i + 1] = kDigits[data[i] & 0x0F];
    }
    return out;
}

Json args(std::initializer_list<int> values) {
    Json a = Json::array();
    for (int v : values)
        a.push_back(v);
    return a;
}

} // namespace

TracingProgrammer::TracingProgrammer(std::unique_ptr<Programmer> inner, std::FILE* out)
    : inner_(std::move(inner)), out_(out), base_(Clock::now().time_since_epoch().count()) {}

TracingProgrammer::~TracingProgrammer() {
    if (out_) std::fclose(out_);
}

std::FILE* TracingProgrammer::openTraceFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) error = "cannot open trace file " + path + ": " + std::strerror(errno);
    return f;
}

long long TracingProgrammer::elapsedMs() const {
    const auto now = Clock::now().time_since_epoch();
    const auto since = now - Clock::duration(base_.load());
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void TracingProgrammer::write(const std::string& line) {
    if (!out_) return;
    std::lock_guard lock(writeMutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

namespace {

Json callLine(long long t, const char* call, Json arguments, Json result) {
    Json o = Json::object();
    o["t"] = t;
    o["call"] = call;
    o["args"] = std::move(arguments);
    o["result"] = std::move(result);
    return o;
}

} // namespace

void TracingProgrammer::setDeviceId(std::string_view filter) {
    inner_->setDeviceId(filter);
    Json a = Json::array();
    a.push_back(guidText(kHidClassGuid));
    a.push_back(filter);
    write(jsonLine(callLine(elapsedMs(), "USBIO_SetDeviceID", std::move(a), Json())));
}

int TracingProgrammer::getDllVersion() {
    const int r = inner_->getDllVersion();
    write(jsonLine(callLine(elapsedMs(), "USBIO_GetDllVersion", Json::array(), r)));
    return r;
}

int TracingProgrammer::getDeviceCount() {
    const int r = inner_->getDeviceCount();
    write(jsonLine(callLine(elapsedMs(), "USBIO_GetDeviceCount", Json::array(), r)));
    return r;
}

int TracingProgrammer::isConnected() {
    const int r = inner_->isConnected();
    write(jsonLine(callLine(elapsedMs(), "USBIO_IsConnected", Json::array(), r)));
    return r;
}

int TracingProgrammer::openDevice(int index) {
    const int r = inner_->openDevice(index);
    if (r != -1) base_ = Clock::now().time_since_epoch().count(); // a new link: its time starts here
    Json line = callLine(elapsedMs(), "USBIO_OpenDevice", args({index}), r);
    if (r == -1) line["osError"] = inner_->lastOsError();
    write(jsonLine(line));
    return r;
}

int TracingProgrammer::closeDevice(int handle) {
    const int r = inner_->closeDevice(handle);
    write(jsonLine(callLine(elapsedMs(), "USBIO_CloseDevice", args({handle}), r)));
    return r;
}

std::string TracingProgrammer::devicePathName() {
    std::string r = inner_->devicePathName();
    write(jsonLine(callLine(elapsedMs(), "USBIO_GetDevicePathNameNew", Json::array(), r)));
    return r;
}

int TracingProgrammer::setLed(int a, int b) {
    const int r = inner_->setLed(a, b);
    write(jsonLine(callLine(elapsedMs(), "USBIO_SET_LED", args({a, b}), r)));
    return r;
}

int TracingProgrammer::uartConfig(int value) {
    const int r = inner_->uartConfig(value);
    write(jsonLine(callLine(elapsedMs(), "USBIO_UART_CONFIG", args({value}), r)));
    return r;
}

int TracingProgrammer::otpSend(int offset, int length, const std::uint8_t* data) {
    const int r = inner_->otpSend(offset, length, data);
    Json line = callLine(elapsedMs(), "USBIO_OTP_SEND", args({offset, length}), r);
    // The caller vouches for `length` bytes at `data`, as it does to the library.
    const bool readable = data && length > 0;
    line["data"] = readable ? hex(data, static_cast<std::size_t>(length)) : std::string();
    write(jsonLine(line));
    return r;
}

int TracingProgrammer::otpRecv(std::uint8_t* spare, std::uint8_t* report) {
    const int r = inner_->otpRecv(spare, report);
    if (r == 0 && report) {
        Json line = Json::object();
        line["t"] = elapsedMs();
        line["report"] = hex(report, kReportSize);
        write(jsonLine(line));
    }
    return r;
}

int TracingProgrammer::setZep(int mode) {
    const int r = inner_->setZep(mode);
    write(jsonLine(callLine(elapsedMs(), "USBIO_SET_ZEP", args({mode}), r)));
    return r;
}

int TracingProgrammer::zepIap(int command, int a, int b, int c) {
    const int r = inner_->zepIap(command, a, b, c);
    write(jsonLine(callLine(elapsedMs(), "USBIO_ZEP_IAP", args({command, a, b, c}), r)));
    return r;
}

bool TracingProgrammer::setDeviceEventSink(DeviceEventSink sink) {
    if (!sink) return inner_->setDeviceEventSink(nullptr);
    return inner_->setDeviceEventSink([this, sink = std::move(sink)](const DeviceEvent& e) {
        Json line = Json::object();
        line["t"] = elapsedMs();
        line["event"] = e.kind == DeviceEvent::Kind::Arrival ? "arrival" : "removal";
        line["path"] = e.path;
        write(jsonLine(line));
        sink(e);
    });
}

} // namespace kelvor::link
