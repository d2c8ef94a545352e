#pragma once
// Modal interaction goes through this one interface, so that tests and the CLI never block on a
// window: the GUI shows real dialogs, headless front ends answer from a script and record.
#include "base/reporter.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace kelvor {

enum class Sound { Error, Default };

class Prompter {
public:
    virtual ~Prompter() = default;
    // Returns true for Yes/OK.
    virtual bool messageBox(const QString& caption, const QString& text, BoxButtons buttons, BoxIcon icon) = 0;
    // A file-open dialog; nullopt when cancelled. `filter` is in the station's "(*.a;*.b)|*.a;*.b||" form.
    virtual std::optional<QString> openFile(const QString& filter, const QString& defaultExtension,
                                            const QString& initialName, const QString& initialDir) = 0;
    virtual void play(Sound sound) = 0;
    // The About box; the Help window (the station's own documentation).
    virtual void showAbout() = 0;
    virtual void showHelp() = 0;
};

// Headless prompter: records every box and answers file dialogs from a queue.
class ScriptedPrompter : public Prompter {
public:
    struct Box {
        QString caption;
        QString text;
    };
    bool messageBox(const QString& caption, const QString& text, BoxButtons, BoxIcon) override {
        boxes.push_back({caption, text});
        return answerYes;
    }
    std::optional<QString> openFile(const QString& filter, const QString& defaultExtension, const QString& initialName,
                                    const QString& initialDir) override {
        lastFilter = filter;
        lastDefaultExtension = defaultExtension;
        lastInitialName = initialName;
        lastInitialDir = initialDir;
        if (files.empty()) return std::nullopt;
        QString f = files.front();
        files.pop_front();
        return f;
    }
    void play(Sound s) override { sounds.push_back(s); }
    void showAbout() override { ++aboutShown; }
    void showHelp() override { ++helpShown; }

    std::vector<Box> boxes;
    bool answerYes = true;
    std::deque<QString> files;
    QString lastFilter, lastDefaultExtension, lastInitialName, lastInitialDir;
    std::vector<Sound> sounds;
    int aboutShown = 0;
    int helpShown = 0;
};

} // namespace kelvor
