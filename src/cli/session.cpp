#include "cli/session.h"

#include "cli/recorded_json.h"
#include "link/station/station_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <ostream>

namespace kelvor::cli {
namespace {

QString programDir() {
    const QByteArray home = qgetenv("KELVOR_HOME");
    return home.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(home);
}

} // namespace

Session::Session(const ProgrammerArgs& args, const std::function<void(link::ProgrammerOptions&)>& adjust) {
    StationEnvironment env;
    env.programDir = programDir();
    env.prompter = &prompter_;
    station_ = std::make_unique<CQORVENDlg>(env);
    auto options = programmerOptions(args, station_->settings());
    if (adjust) adjust(options);
    link_ = link::createStationLink(*station_, &options);

    // The pane as lines: "\r\n" ends a line; lone line ends inside messages show nothing.
    auto take = [this](const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n') {
                lines_.push_back(partial_);
                partial_.clear();
                ++i;
            } else if (c != '\r' && c != '\n') {
                partial_ += QString(c).toStdString();
            }
        }
    };
    QObject::connect(&station_->logPane(), &LogPane::appended, take);
    QObject::connect(&station_->logPane(), &LogPane::reset, [this, take](const QString& text) {
        partial_.clear();
        take(text);
        if (!partial_.empty()) {
            lines_.push_back(partial_);
            partial_.clear();
        }
    });
}

Session::~Session() {
    station_->ui().shutdown();
    link_.reset();
}

void Session::start() {
    station_->startUp();
    if (!link_->linkOpen() && station_->deviceCount == 0) station_->sendMessage(WM_LINK_CONNECT);
}

bool Session::runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void Session::settle(int ms) {
    runUntil([] { return false; }, ms);
}

void Session::flush(std::ostream& out) {
    for (; printed_ < lines_.size(); ++printed_) out << lines_[printed_] << "\n";
}

Json Session::boxesJson() const {
    Json boxes = Json::array();
    for (const auto& b : prompter_.boxes) boxes.push_back(messageBox(b.caption.toStdString(), b.text.toStdString()));
    return boxes;
}

Json Session::json() const {
    Json lines = Json::array();
    for (const auto& l : lines_) lines.push_back(l);
    Json o = Json::object();
    o["lines"] = std::move(lines);
    o["boxes"] = boxesJson();
    return o;
}

} // namespace kelvor::cli
