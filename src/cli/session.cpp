#include "cli/session.h"

#include "cli/recorded_json.h"
#include "link/station/station_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <ostream>

namespace kelvor::cli {
QString stationProgramDir() {
    const QByteArray home = qgetenv("KELVOR_HOME");
    return home.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(home);
}

bool HeadlessPrompter::messageBox(const QString& caption, const QString& text, BoxButtons, BoxIcon) {
    if (boxes.size() < kBoxesKept) boxes.push_back({caption, text});
    ++boxesShown;
    return true;
}

Session::Session(const ProgrammerArgs& args, const std::function<void(link::ProgrammerOptions&)>& adjust) {
    StationEnvironment env;
    env.programDir = stationProgramDir();
    env.prompter = &prompter_;
    station_ = std::make_unique<CQORVENDlg>(env);
    auto options = programmerOptions(args, station_->settings());
    if (adjust) adjust(options);
    link_ = link::createStationLink(*station_, &options);
    recorder_ = std::make_unique<records::Recorder>(*station_, *link_);

    // The pane as lines: "\r\n" ends a line; lone line ends inside messages show nothing.
    auto take = [this](const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n') {
                lineDone(std::move(partial_));
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
            lineDone(std::move(partial_));
            partial_.clear();
        }
    });
}

Session::~Session() {
    station_->ui().shutdown();
    recorder_.reset();
    link_.reset();
}

void Session::start() {
    station_->startUp();
    recorder_->start();
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

void Session::lineDone(std::string line) {
    if (sink_)
        sink_(line);
    else
        lines_.push_back(std::move(line));
}

void Session::streamLines(std::function<void(const std::string&)> sink) {
    for (; printed_ < lines_.size(); ++printed_) sink(lines_[printed_]);
    lines_.clear();
    printed_ = 0;
    sink_ = std::move(sink);
}

void Session::flush(std::ostream& out) {
    for (; printed_ < lines_.size(); ++printed_) out << lines_[printed_] << "\n";
    // A chip's lines reach a pipe when its run is over, not when a buffer fills.
    out.flush();
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
