#pragma once
// The log pane and zep.log. Window log lines come from the UI thread; event log lines from any
// thread. One lock orders the file records and the pane lines, so the pane shows lines in the order
// they were logged, none is lost, and no file record is split.
#include "base/log_format.h"
#include "base/reporter.h"

#include <QObject>
#include <QString>

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace kelvor {

class UiDispatcher;

// The log pane's text: lines separated by "\r\n".
class LogPane : public QObject {
    Q_OBJECT
public:
    explicit LogPane(QObject* parent = nullptr) : QObject(parent) {}
    const QString& text() const { return text_; }
    int lineCount() const { return lines_; }
    // Appends a line and its "\r\n"; a pane holding more than 1024 lines is emptied first.
    void appendLine(const QString& line);
    void replace(const QString& text);

signals:
    void appended(const QString& textAdded); // includes the "\r\n"
    void reset(const QString& text);

private:
    QString text_;
    int lines_ = 1;
};

class EventLog {
public:
    EventLog(LogPane& pane, UiDispatcher& ui);

    // zep.log in the working directory unless set otherwise (tests).
    void setFilePath(std::filesystem::path path);
    void setClock(std::function<LocalTime()> clock);

    void windowLog(std::string_view message);
    void eventLog(std::string_view message);
    // Replaces the whole pane text (the transfers' short error texts); any thread.
    void replacePane(std::string_view text);
    void banner(bool programmingSteps = true);

private:
    struct PaneOp {
        bool replace;
        QString text;
    };
    void enqueue(PaneOp op);
    void drain();

    LogPane& pane_;
    UiDispatcher& ui_;
    std::filesystem::path file_ = "zep.log";
    std::function<LocalTime()> clock_ = localTimeNow;
    std::mutex mutex_;
    std::deque<PaneOp> pending_;
};

// Reporter over the event log, with message boxes handed to `boxes`.
class LogReporter : public Reporter {
public:
    using BoxFn = std::function<bool(std::string_view, std::string_view, BoxButtons, BoxIcon)>;
    LogReporter(EventLog& log, BoxFn boxes) : log_(log), boxes_(std::move(boxes)) {}
    void eventLog(std::string_view m) override { log_.eventLog(m); }
    void windowLog(std::string_view m) override { log_.windowLog(m); }
    bool messageBox(std::string_view caption, std::string_view text, BoxButtons b, BoxIcon i) override {
        return boxes_ ? boxes_(caption, text, b, i) : true;
    }

private:
    EventLog& log_;
    BoxFn boxes_;
};

} // namespace kelvor
