#pragma once
// A headless station for the commands that drive a programmer: the same controller and link as the
// window, with message boxes recorded instead of shown and the log pane printed as it grows.
#include "app/station/controller.h"
#include "base/json_line.h"
#include "cli/cli.h"
#include "cli/programmer_args.h"
#include "link/station/link.h"
#include "link/station/programmer_choice.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace kelvor::cli {

class Session {
public:
    // The programmer options given over the settings, which are those of the program directory, or
    // of $KELVOR_HOME when set. `adjust` may change them before the programmer is chosen.
    explicit Session(const ProgrammerArgs& args,
                     const std::function<void(link::ProgrammerOptions&)>& adjust = {});
    ~Session();

    CQORVENDlg& station() { return *station_; }
    link::Link& link() { return *link_; }
    ScriptedPrompter& prompter() { return prompter_; }

    // Runs the station's start-up (which connects a programmer that is present). When it found no
    // programmer, the connect runs as the window's "烧录器连接" would, so the log says why
    // ("请插入USB设备!") instead of the command failing without a word.
    void start();
    // Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
    bool runUntil(const std::function<bool()>& done, int timeoutMs);
    // Lets pending worker output arrive.
    void settle(int ms = 50);

    // Every line the log pane received, as shown (time prefix, "\r\n" as line breaks).
    const std::vector<std::string>& paneLines() const { return lines_; }
    // Prints the pane lines not printed yet.
    void flush(std::ostream& out);
    // {"lines": every pane line, "boxes": every message box} for --json.
    Json json() const;
    // Every message box shown: [{"caption": …, "text": …}].
    Json boxesJson() const;

private:
    ScriptedPrompter prompter_;
    std::unique_ptr<CQORVENDlg> station_;
    std::unique_ptr<link::Link> link_;
    std::vector<std::string> lines_;
    std::string partial_;
    std::size_t printed_ = 0;
};

} // namespace kelvor::cli
