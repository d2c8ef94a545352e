// kelvor-records-screenshot FILE.png [CHIPS]: the "生产记录" window after CHIPS presses of "烧录"
// (default 8) against the simulated programmer with one burn in four failing, for docs/records.md.
// Runs the station as kelvor-station does, in a fresh program folder, opens the window from the
// 系统(S) menu and grabs it. Exits 1 unless every chip left its record and the window shows them.
#include "app/station/controller.h"
#include "app/ui/forms.h"
#include "app/ui/main_window.h"
#include "jobs/job_inputs.h"
#include "jobs/station/job_station.h"
#include "link/station/station_link.h"
#include "records/station/recorder.h"
#include "records/ui/records_window.h"

#include "support/station_fixture.h"

#include <QAction>
#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    using namespace kelvor;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kelvor-records-screenshot FILE.png [CHIPS]\n");
        return 2;
    }
    const int chips = argc == 3 ? std::atoi(argv[2]) : 8;
    app::initResources();
    QApplication qapp(argc, argv);
    test::StationFixture fixture(test::StationFixture::Clock::Wall);
    fixture.copyExample(QStringLiteral(KELVOR_EXAMPLES), QStringLiteral("rfpwm.hex"));
    fixture.writeIni("[SIMULATOR]\nFAULTS=ng-rate=25\n[RECORDS]\nSTATION=line-3\n");
    CQORVENDlg& station = fixture.station();
    auto link = link::createStationLink(station);
    records::Recorder recorder(station, *link);
    app::MainWindow window(station);
    window.addRecordsEntry(recorder);
    station.startUp();
    recorder.start();
    window.show();
    kelvor::test::processEventsUntil([&] { return link->detectAnswers > 0; }, 5000);
    const chips::ModelRow& model = *chips::findModel("EP2702");
    station.selectModel(model);
    jobs::showJobInputs(station, jobs::defaultJobInputs(model));
    station.imagePath = fixture.dir() + QStringLiteral("/rfpwm.hex");

    int ended = 0;
    QObject::connect(link.get(), &link::Link::runFinished, [&](const link::RunResult&) { ++ended; });
    auto* entry = window.findChild<QAction*>(QStringLiteral("aRecords"));
    if (!entry) {
        std::fprintf(stderr, "kelvor-records-screenshot: no 生产记录 entry in the system menu\n");
        return 1;
    }
    entry->trigger(); // open first: the window follows the chips as they are burnt
    for (int n = 0; n < chips; ++n) {
        const int before = ended;
        station.page(page::kIsp).click(controlKey(1042));
        if (station.lastJobCode != 0) {
            std::fprintf(stderr, "kelvor-records-screenshot: chip %d: the job was refused (%d)\n", n + 1,
                         station.lastJobCode);
            return 1;
        }
        if (!kelvor::test::processEventsUntil([&] { return ended > before; }, 30000)) {
            std::fprintf(stderr, "kelvor-records-screenshot: chip %d did not end\n", n + 1);
            return 1;
        }
    }
    kelvor::test::processEventsUntil([] { return false; }, 800); // the window's reload after the last record
    records::RecordsWindow* shown = window.recordsWindow();
    if (!shown || shown->rowCount() != chips) {
        std::fprintf(stderr, "kelvor-records-screenshot: the window shows %d records of %d\n",
                     shown ? shown->rowCount() : -1, chips);
        return 1;
    }
    if (!shown->grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "kelvor-records-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
