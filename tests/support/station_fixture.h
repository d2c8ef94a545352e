#pragma once
// A headless station in a temporary program directory, with a scripted prompter and a fixed clock.
#include "app/station/controller.h"

#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace kelvor::test {

// Runs the UI thread's events until `done` holds or `ms` have passed; returns done().
bool processEventsUntil(const std::function<bool()>& done, int ms);

class StationFixture {
public:
    enum class Clock { Fixed, Wall }; // Wall: the station's own clock, for tools that show the date
    explicit StationFixture(Clock clock = Clock::Fixed);

    // Writes KELVOR.ini before start-up (the text as it would stand in the file).
    void writeIni(const std::string& text);
    std::string readIni() const;
    CQORVENDlg& start();
    CQORVENDlg& station() { return *station_; }
    PageModel& page(const QString& name) { return station_->page(name); }
    QString dir() const { return dir_.path(); }
    std::string path(const std::string& name) const { return (dir_.path() + "/" + QString::fromStdString(name)).toStdString(); }
    std::string logFileText() const;
    // Copies examples/NAME into the program directory; false when it cannot.
    bool copyExample(const QString& examplesDir, const QString& name) const;
    QString paneText() const { return station_->logPane().text(); }

    ScriptedPrompter prompter;
    LocalTime now{2026, 12, 10, 12, 5, 9, 42};

private:
    QTemporaryDir dir_;
    std::unique_ptr<CQORVENDlg> station_;
};

} // namespace kelvor::test
