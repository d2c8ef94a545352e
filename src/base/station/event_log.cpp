#include "base/station/event_log.h"

#include "base/station/ui_dispatcher.h"

#include <cstdio>

namespace kelvor {

void LogPane::appendLine(const QString& line) {
    if (lines_ > kMaxPaneLines) {
        text_.clear();
        lines_ = 1;
        emit reset(text_);
    }
    const QString added = line + QStringLiteral("\r\n");
    text_ += added;
    lines_ += static_cast<int>(added.count(QStringLiteral("\r\n")));
    emit appended(added);
}

void LogPane::replace(const QString& text) {
    text_ = text;
    lines_ = static_cast<int>(text.count(QStringLiteral("\r\n"))) + 1;
    emit reset(text_);
}

EventLog::EventLog(LogPane& pane, UiDispatcher& ui) : pane_(pane), ui_(ui) {}

void EventLog::setFilePath(std::filesystem::path path) {
    std::lock_guard lock(mutex_);
    file_ = std::move(path);
}

void EventLog::setClock(std::function<LocalTime()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void EventLog::windowLog(std::string_view message) {
    const std::string msg = cutMessage(message);
    {
        std::lock_guard lock(mutex_);
        const LocalTime t = clock_();
        pending_.push_back({false, QString::fromStdString(panePrefix(t) + msg)});
    }
    drain();
}

void EventLog::eventLog(std::string_view message) {
    const std::string msg = cutMessage(message);
    {
        std::lock_guard lock(mutex_);
        const LocalTime t = clock_();
        // A log file that cannot be opened (read-only directory, locked file) is skipped silently.
        if (std::FILE* f = std::fopen(file_.c_str(), "a+")) {
            const std::string rec = fileRecord(t, msg);
            std::fwrite(rec.data(), 1, rec.size(), f);
            std::fclose(f);
        }
        pending_.push_back({false, QString::fromStdString(panePrefix(t) + msg)});
    }
    if (ui_.onUiThread())
        drain();
    else
        ui_.post([this] { drain(); });
}

void EventLog::replacePane(std::string_view text) {
    enqueue({true, QString::fromStdString(std::string(text))});
}

void EventLog::banner(bool programmingSteps) {
    LocalTime t;
    {
        std::lock_guard lock(mutex_);
        t = clock_();
    }
    enqueue({true, QString::fromStdString(bannerText(t, programmingSteps))});
}

void EventLog::enqueue(PaneOp op) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(op));
    }
    if (ui_.onUiThread())
        drain();
    else
        ui_.post([this] { drain(); });
}

void EventLog::drain() {
    // Runs on the UI thread only; takes the lines in the order they were logged.
    std::deque<PaneOp> ops;
    {
        std::lock_guard lock(mutex_);
        ops.swap(pending_);
    }
    for (auto& op : ops) {
        if (op.replace)
            pane_.replace(op.text);
        else
            pane_.appendLine(op.text);
    }
}

} // namespace kelvor
