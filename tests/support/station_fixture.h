#pragma once
// A headless station in a temporary program directory, with a scripted prompter and a fixed clock.
#include "app/station/controller.h"

#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace kelvor::test {

// Runs the event loop until `done` or `ms` have passed; returns `done()`.
bool runUntil(const std::function<bool()>& done, int ms = 3000);

class StationFixture {
public:
    StationFixture();

    // Writes KELVOR.ini before start-up (the text as it would stand in the file).
    void writeIni(const std::string& text);
    std::string readIni() const;
    CQORVENDlg& start();
    CQORVENDlg& station() { return *station_; }
    PageModel& page(const QString& name) { return station_->page(name); }
    QString dir() const { return dir_.path(); }
    std::string path(const std::string& name) const { return (dir_.path() + "/" + QString::fromStdString(name)).toStdString(); }
    std::string logFileText() const;
    QString paneText() const { return station_->logPane().text(); }

    ScriptedPrompter prompter;
    LocalTime now{2026, 12, 10, 12, 5, 9, 42};

private:
    QTemporaryDir dir_;
    std::unique_ptr<CQORVENDlg> station_;
};

} // namespace kelvor::test
