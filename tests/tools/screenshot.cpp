// kelvor-screenshot FILE.png [English]: the station's window after a first start and one press of "烧录",
// made without a display (QT_QPA_PLATFORM=offscreen), for the README. Runs the station as
// kelvor-station does: a fresh program folder holding only the sample rfpwm.hex, the default
// simulated programmer, the real main window. Exits 1 unless that first burn passed.
#include "app/station/controller.h"
#include "app/ui/forms.h"
#include "app/ui/languages.h"
#include "app/ui/main_window.h"
#include "link/station/station_link.h"

#include "support/station_fixture.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    using namespace kelvor;
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: kelvor-screenshot FILE.png [English]\n");
        return 2;
    }
    app::initResources();
    QApplication qapp(argc, argv);
    test::StationFixture fixture(test::StationFixture::Clock::Wall);
    if (!fixture.copyExample(QStringLiteral(KELVOR_EXAMPLES), QStringLiteral("rfpwm.hex"))) {
        std::fprintf(stderr, "kelvor-screenshot: cannot copy the sample image\n");
        return 1;
    }
    CQORVENDlg& station = fixture.station();
    app::Languages languages;
    languages.apply(kLanguageChinese);
    QObject::connect(&station, &CQORVENDlg::languageChanged, &languages, &app::Languages::apply);
    auto link = link::createStationLink(station);
    app::MainWindow window(station);
    if (auto* bench = link->programmer().benchControls())
        window.addSimulatorMenu(*bench, [&link] { link->showSocket(); });
    station.startUp();
    if (argc == 3) station.menuCommand(QString::fromLocal8Bit(argv[2]) == QLatin1String(kLanguageEnglish) ? cmd::kEnglish : cmd::kChinese);
    window.resize(1100, 720);
    window.show();

    kelvor::test::processEventsUntil([&] { return link->detectAnswers > 0; }, 5000);
    bool verdict = false, pass = false;
    QObject::connect(link.get(), &link::Link::verdict, [&](bool p) {
        verdict = true;
        pass = p;
    });
    station.page(page::kIsp).click(controlKey(1042));
    if (!kelvor::test::processEventsUntil([&] { return verdict; }, 30000)) {
        std::fprintf(stderr, "kelvor-screenshot: no verdict from the simulated programmer\n");
        return 1;
    }
    // KELVOR_SCREENSHOT_TAB=N shows tab N instead, for pictures of the other pages.
    if (const QByteArray tab = qgetenv("KELVOR_SCREENSHOT_TAB"); !tab.isEmpty())
        station.mainModel().choose(controlKey(1008), tab.toInt());
    kelvor::test::processEventsUntil([] { return false; }, 300); // the last lines and the face
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "kelvor-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    // The sample must burn on the first press of a first start, and the window must say so.
    const bool okFace = station.page(page::kIsp).state(controlKey(1033)).image == QLatin1String("ok");
    if (!pass || !okFace) std::fprintf(stderr, "kelvor-screenshot: the first burn did not show the OK face\n");
    return pass && okFace ? 0 : 1;
}
