#pragma once
// Test doubles for the transfer threads: a scripted programmer that records every call (with the
// bytes sent) and returns configured results, and a scripted receiver that answers the transfers'
// handshake through g_linkState the way the receive thread does. Both write one shared timeline,
// so a test reads the whole conversation in order.
#include "link/programmer.h"
#include "link/station/link.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvor::link::test {

// One entry of the conversation. Tokens: "S<offset>+<length>" (otpSend), "Z<mode>" (setZep),
// "I<cmd>,<a>,<b>,<c>" (zepIap), "A<waiting>><answer>" (an acknowledgement written by the
// receiver), and the names of the other library calls.
struct Event {
    std::string token;
    std::vector<std::uint8_t> data; // otpSend only
    int result = 0;                 // what the call returned
};

class Timeline {
public:
    void add(Event e) {
        std::lock_guard lock(m_);
        events_.push_back(std::move(e));
    }
    std::vector<Event> events() const {
        std::lock_guard lock(m_);
        return events_;
    }
    // All tokens joined by blanks.
    std::string tokens() const {
        std::string out;
        for (const auto& e : events()) out += (out.empty() ? "" : " ") + e.token;
        return out;
    }
    // The bytes of every otpSend, in order.
    std::vector<std::uint8_t> sentBytes() const {
        std::vector<std::uint8_t> out;
        for (const auto& e : events()) out.insert(out.end(), e.data.begin(), e.data.end());
        return out;
    }
    bool contains(const std::string& prefix) const {
        for (const auto& e : events())
            if (e.token.rfind(prefix, 0) == 0) return true;
        return false;
    }

private:
    mutable std::mutex m_;
    std::vector<Event> events_;
};

class ScriptedProgrammer : public Programmer {
public:
    explicit ScriptedProgrammer(Timeline& timeline) : timeline_(timeline) {}

    // The `occurrence`-th call (1-based) whose token starts with `prefix` returns `result`.
    void failCall(std::string prefix, int occurrence = 1, int result = 1) {
        std::lock_guard lock(m_);
        failures_.push_back({std::move(prefix), occurrence, result});
    }
    // Runs on the calling thread after each call was recorded (the receiver's reaction to a
    // command, a link that closes after a chunk, …).
    std::function<void(const Event&)> afterCall;
    // Reports handed out by otpRecv, oldest first.
    void queueReport(const std::array<std::uint8_t, kReportSize>& report) {
        std::lock_guard lock(m_);
        reports_.push_back(report);
        cv_.notify_all();
    }

    int deviceCount = 1; // one programmer at index 0
    std::string path = "\\\\?\\HID#VID_0B7A&PID_0731#scripted";

    void setDeviceId(std::string_view filter) override { record("SetDeviceID " + std::string(filter)); }
    int getDllVersion() override { return record("GetDllVersion", 0x0100); }
    int getDeviceCount() override { return record("GetDeviceCount", deviceCount); }
    int isConnected() override { return record("IsConnected", open_ ? 1 : 0); }
    int openDevice(int index) override {
        const bool ok = index == 0 && deviceCount > 0;
        const int r = record("OpenDevice", ok ? 1 : -1);
        if (r != -1) open_ = true;
        return r;
    }
    int closeDevice(int handle) override {
        open_ = false;
        return record("CloseDevice", 0);
    }
    std::string devicePathName() override {
        record("GetDevicePathNameNew");
        return path;
    }
    int setLed(int a, int b) override { return record("SetLed", 0); }
    int uartConfig(int value) override { return record("UartConfig", 0); }
    int otpSend(int offset, int length, const std::uint8_t* data) override {
        Event e{"S" + std::to_string(offset) + "+" + std::to_string(length), {}};
        if (length > 0) e.data.assign(data, data + length);
        return record(std::move(e), 0);
    }
    int otpRecv(std::uint8_t* spare, std::uint8_t* report) override {
        std::unique_lock lock(m_);
        // Like the library: wait a short while for a report, never spin.
        if (!cv_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !reports_.empty(); })) return 1;
        std::copy(reports_.front().begin(), reports_.front().end(), report);
        reports_.pop_front();
        return 0;
    }
    int setZep(int mode) override { return record("Z" + std::to_string(mode), 0); }
    int zepIap(int command, int a, int b, int c) override {
        return record("I" + std::to_string(command) + "," + std::to_string(a) + "," + std::to_string(b) + "," +
                          std::to_string(c),
                      0);
    }
    int lastOsError() override { return 0; }
    std::string description() const override { return "scripted test programmer"; }

private:
    struct Failure {
        std::string prefix;
        int occurrence;
        int result;
    };

    int record(std::string token, int result = 0) { return record(Event{std::move(token), {}}, result); }
    int record(Event e, int result) {
        {
            std::lock_guard lock(m_);
            for (auto& f : failures_) {
                if (e.token.rfind(f.prefix, 0) != 0) continue;
                if (--f.occurrence == 0) result = f.result;
            }
        }
        e.result = result;
        timeline_.add(e);
        if (afterCall) afterCall(e);
        return result;
    }

    Timeline& timeline_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Failure> failures_;
    std::deque<std::array<std::uint8_t, kReportSize>> reports_;
    std::atomic<bool> open_{false};
};

// Answers the transfers' waits as the receive thread would, after the programmer has had the
// command that asks for the answer: command 12 allows two answers to the paged start (the
// programmer reports twice when it programs at once), 10 one page answer, 11 the final answer,
// 5 and 6 a firmware answer, 14 an offline-block answer.
class ScriptedReceiver {
public:
    // Success answers unless `answer` says otherwise; nullopt keeps the receiver silent.
    using AnswerFn = std::function<std::optional<std::uint8_t>(std::uint8_t waiting, int occurrence)>;

    ScriptedReceiver(LinkGlobals& g, Timeline& timeline) : g_(g), timeline_(timeline) {
        thread_ = std::thread([this] { loop(); });
    }
    ~ScriptedReceiver() {
        stop_ = true;
        thread_.join();
    }

    AnswerFn answer;
    // A fast programmer: the answer is written while the command is still being issued.
    bool synchronous = false;

    // Hook for ScriptedProgrammer::afterCall; a command the programmer did not accept asks for
    // nothing.
    void onCall(const Event& e) {
        if (e.result != 0) return;
        std::optional<std::uint8_t> waiting;
        int credits = 1;
        if (e.token.rfind("I12,", 0) == 0) {
            waiting = 5;
            credits = 2;
        } else if (e.token.rfind("I10,", 0) == 0) {
            waiting = 11;
        } else if (e.token.rfind("I11,", 0) == 0) {
            waiting = 8;
        } else if (e.token.rfind("I5,", 0) == 0 || e.token.rfind("I6,", 0) == 0) {
            waiting = 2;
        } else if (e.token.rfind("I14,", 0) == 0) {
            waiting = 14;
        }
        if (!waiting) return;
        if (synchronous) {
            respond(*waiting);
            return;
        }
        std::lock_guard lock(m_);
        credits_[*waiting] += credits;
    }
    // Lets one more answer to `waiting` go out (a test that held the receiver back).
    void grant(std::uint8_t waiting) {
        std::lock_guard lock(m_);
        ++credits_[waiting];
    }
    int answered(std::uint8_t waiting) const {
        std::lock_guard lock(m_);
        auto it = occurrences_.find(waiting);
        return it == occurrences_.end() ? 0 : it->second;
    }

    static std::uint8_t success(std::uint8_t waiting) {
        switch (waiting) {
        case 5: return 4;
        case 11:
        case 8: return 10;
        case 2: return 1;    // "FLASH编程成功!"
        case 14: return 13;  // "HEX校验OK!"
        default: return 0;
        }
    }

private:
    void loop() {
        while (!stop_) {
            const std::uint8_t state = g_.g_linkState;
            bool due = false;
            {
                std::lock_guard lock(m_);
                auto it = credits_.find(state);
                if (it != credits_.end() && it->second > 0) {
                    --it->second;
                    due = true;
                }
            }
            if (due) respond(state);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    void respond(std::uint8_t waiting) {
        int occurrence;
        {
            std::lock_guard lock(m_);
            occurrence = ++occurrences_[waiting];
        }
        const auto a = answer ? answer(waiting, occurrence) : std::optional<std::uint8_t>(success(waiting));
        if (!a) return;
        // Recorded before it is written: the transfer's next call cannot come first.
        timeline_.add({"A" + std::to_string(waiting) + ">" + std::to_string(*a), {}});
        g_.setLinkState(*a);
    }

    LinkGlobals& g_;
    Timeline& timeline_;
    mutable std::mutex m_;
    std::map<std::uint8_t, int> credits_;
    std::map<std::uint8_t, int> occurrences_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kelvor::link::test
