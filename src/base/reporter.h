#pragma once
// How domain code talks to the operator: log lines and message boxes. The station routes these to
// the log pane, zep.log and the dialog interface; the CLI and tests record them.
#include <string>
#include <string_view>
#include <vector>

namespace kelvor {

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Information, Question, Warning };

// Two lines of 28 "=" that open every programming run, connect and raw load in the log.
inline constexpr const char* kLogSeparator = "\r\n============================\r\n============================";

class Reporter {
public:
    virtual ~Reporter() = default;
    // Event log line: zep.log and the log pane. Messages carry their own "\n" where the station's do.
    virtual void eventLog(std::string_view message) = 0;
    // Window log line: log pane only.
    virtual void windowLog(std::string_view message) = 0;
    // Returns true for Yes (or OK).
    virtual bool messageBox(std::string_view caption, std::string_view text, BoxButtons buttons,
                            BoxIcon icon) = 0;
};

// Keeps everything in order; used by the CLI and by tests.
class RecordingReporter : public Reporter {
public:
    enum class Kind { Event, Window, Box };
    struct Entry {
        Kind kind;
        std::string text;
        std::string caption; // message boxes only
    };
    void eventLog(std::string_view m) override { entries.push_back({Kind::Event, std::string(m), {}}); }
    void windowLog(std::string_view m) override { entries.push_back({Kind::Window, std::string(m), {}}); }
    bool messageBox(std::string_view caption, std::string_view text, BoxButtons, BoxIcon) override {
        entries.push_back({Kind::Box, std::string(text), std::string(caption)});
        return boxAnswer;
    }
    // Every text in order (log lines and box texts), as the CLI prints them.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.text);
        return out;
    }
    std::vector<Entry> entries;
    bool boxAnswer = true;
};

} // namespace kelvor
