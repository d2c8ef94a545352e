#pragma once
// Real dialogs for the Qt station.
#include "app/ui/sound_player.h"
#include "base/station/prompter.h"

#include <QPointer>
#include <QWidget>

namespace kelvor::app {

class GuiPrompter : public Prompter {
public:
    void setParentWidget(QWidget* w) { parent_ = w; }
    bool messageBox(const QString& caption, const QString& text, BoxButtons buttons, BoxIcon icon) override;
    std::optional<QString> openFile(const QString& filter, const QString& defaultExtension, const QString& initialName,
                                    const QString& initialDir) override;
    void play(Sound sound) override;
    void showAbout() override;
    void showHelp() override;
    // The About box's second line (version, programmer kind).
    void setAboutDetail(const QString& text) { aboutDetail_ = text; }
    SoundPlayer& sounds() { return sounds_; }

private:
    QPointer<QWidget> parent_;
    QString aboutDetail_;
    SoundPlayer sounds_;
    QPointer<QWidget> help_;
};

// "(*.bin;*.hex)|*.bin;*.hex||" -> "(*.bin;*.hex) (*.bin *.hex)"
QString qtFileFilter(const QString& stationFilter);

} // namespace kelvor::app
