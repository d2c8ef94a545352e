// kelvor-station: the Qt Widgets station.
#include "app/station/controller.h"
#include "app/ui/forms.h"
#include "app/ui/gui_prompter.h"
#include "app/ui/languages.h"
#include "app/ui/main_window.h"
#include "link/station/station_link.h"
#include "records/station/recorder.h"
#include "version.h"

#include <QAction>
#include <QApplication>

namespace kelvor::app {

// The application object: creates the controller and runs its main window until it closes.
class CQORVENApp : public QApplication {
public:
    CQORVENApp(int& argc, char** argv) : QApplication(argc, argv) {
        setApplicationName(QStringLiteral("kelvor-station"));
        setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    }

    int run() {
        GuiPrompter prompter;
        StationEnvironment env;
        env.prompter = &prompter;
        CQORVENDlg station(env);
        // Before the window is built, so that it opens in the language it was left in.
        Languages languages;
        languages.apply(station.language);
        connect(&station, &CQORVENDlg::languageChanged, &languages, &Languages::apply);
        auto link = link::createStationLink(station);
        records::Recorder recorder(station, *link);
        MainWindow window(station);
        window.addRecordsEntry(recorder);
        if (auto* bench = link->programmer().benchControls())
            window.addSimulatorMenu(*bench, [&link] { link->showSocket(); });
        prompter.setParentWidget(&window);
        prompter.setAboutDetail(QStringLiteral("KEL-VOR %1, %2")
                                    .arg(QStringLiteral(KELVOR_VERSION), link::programmerKind(link->programmer())));
        prompter.sounds().preload();
        if (auto* help = window.findChild<QAction*>(QStringLiteral("a32776"))) help->setShortcut(QKeySequence::HelpContents);
        station.startUp();
        recorder.start();
        window.show();
        // No settings are written at exit, and workers are not waited for.
        return exec();
    }
};

} // namespace kelvor::app

int main(int argc, char** argv) {
    kelvor::app::initResources();
    kelvor::app::CQORVENApp app(argc, argv);
    return app.run();
}
