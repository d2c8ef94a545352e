#include "support/station_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <sstream>

namespace kelvor::test {

bool processEventsUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

StationFixture::StationFixture(Clock clock) {
    StationEnvironment env;
    env.programDir = dir_.path();
    env.prompter = &prompter;
    env.logFile = path("zep.log");
    if (clock == Clock::Fixed) env.clock = [this] { return now; };
    station_ = std::make_unique<CQORVENDlg>(env);
}

void StationFixture::writeIni(const std::string& text) {
    std::ofstream out(path("KELVOR.ini"), std::ios::binary);
    out << text;
}

std::string StationFixture::readIni() const {
    std::ifstream in(path("KELVOR.ini"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

CQORVENDlg& StationFixture::start() {
    station_->startUp();
    return *station_;
}

bool StationFixture::copyExample(const QString& examplesDir, const QString& name) const {
    return QFile::copy(examplesDir + QLatin1Char('/') + name, dir_.filePath(name));
}

std::string StationFixture::logFileText() const {
    std::ifstream in(path("zep.log"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace kelvor::test
