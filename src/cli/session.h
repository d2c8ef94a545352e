#pragma once
// A headless station for the commands that drive a programmer: the same controller and link as the
// window, with message boxes recorded instead of shown and the log pane printed as it grows.
#include "app/station/controller.h"
#include "base/json_line.h"
#include "cli/cli.h"
#include "cli/programmer_args.h"
#include "link/station/link.h"
#include "link/station/programmer_choice.h"
#include "records/station/recorder.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace kelvor::cli {

// The program directory the station's files are found from: $KELVOR_HOME when set.
QString stationProgramDir();

// The CLI's prompter: answers every box with Yes and keeps the first kBoxesKept of them for the
// output (a job whose every chip raises the same warning would otherwise grow with the run); it
// plays no sound and opens no file.
class HeadlessPrompter : public Prompter {
public:
    static constexpr std::size_t kBoxesKept = 100;
    struct Box {
        QString caption;
        QString text;
    };
    bool messageBox(const QString& caption, const QString& text, BoxButtons, BoxIcon) override;
    std::optional<QString> openFile(const QString&, const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void play(Sound) override {}
    void showAbout() override {}
    void showHelp() override {}

    std::vector<Box> boxes;     // the first kBoxesKept
    std::size_t boxesShown = 0; // all of them
};

class Session {
public:
    // The programmer options given over the settings, which are those of the program directory, or
    // of $KELVOR_HOME when set. `adjust` may change them before the programmer is chosen.
    explicit Session(const ProgrammerArgs& args,
                     const std::function<void(link::ProgrammerOptions&)>& adjust = {});
    ~Session();

    CQORVENDlg& station() { return *station_; }
    link::Link& link() { return *link_; }
    const HeadlessPrompter& prompter() const { return prompter_; }
    records::Recorder& recorder() { return *recorder_; }

    // Runs the station's start-up (which connects a programmer that is present). When it found no
    // programmer, the connect runs as the window's "烧录器连接" would, so the log says why
    // ("请插入USB设备!") instead of the command failing without a word.
    void start();
    // Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
    bool runUntil(const std::function<bool()>& done, int timeoutMs);
    // Lets pending worker output arrive.
    void settle(int ms = 50);

    // Every line the log pane received, as shown (time prefix, "\r\n" as line breaks); none
    // while the lines are streamed.
    const std::vector<std::string>& paneLines() const { return lines_; }
    // Prints the pane lines not printed yet.
    void flush(std::ostream& out);
    // From now on each complete pane line goes to `sink` as it arrives (the lines held so far
    // first) and none is kept, so that a run of any length holds no more than one partial line.
    void streamLines(std::function<void(const std::string&)> sink);
    // {"lines": every pane line, "boxes": every message box} for --json.
    Json json() const;
    // Every message box kept: [{"caption": …, "text": …}].
    Json boxesJson() const;

private:
    void lineDone(std::string line);

    HeadlessPrompter prompter_;
    std::function<void(const std::string&)> sink_;
    std::unique_ptr<CQORVENDlg> station_;
    std::unique_ptr<link::Link> link_;
    std::unique_ptr<records::Recorder> recorder_;
    std::vector<std::string> lines_;
    std::string partial_;
    std::size_t printed_ = 0;
};

} // namespace kelvor::cli
