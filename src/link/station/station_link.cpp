#include "link/station/station_link.h"

#include "link/station/absent_programmer.h"
#include "link/station/udev_monitor.h"

namespace kelvor::link {

std::unique_ptr<Link> createStationLink(CQORVENDlg& controller, const ProgrammerOptions* overrides) {
    const ProgrammerOptions options = overrides ? *overrides : programmerOptionsFromSettings(controller.settings());
    ProgrammerChoice choice = chooseProgrammer(options, controller.dirs().libraryDir.toStdString());
    std::vector<std::string> notes;
    std::shared_ptr<Programmer> programmer;
    if (choice.programmer) {
        programmer = std::move(choice.programmer);
    } else {
        std::string why;
        for (const auto& p : choice.problems) why += (why.empty() ? "" : "; ") + p;
        programmer = std::make_shared<AbsentProgrammer>(why.empty() ? "none chosen" : why);
    }
    notes.push_back("烧录器: " + (choice.description.empty() ? programmer->description() : choice.description));
    for (const auto& p : choice.problems) notes.push_back(p);
    auto link = std::make_unique<Link>(controller, std::move(programmer), makeUdevMonitor(), choice.transferPace);
    link->startupNotes = std::move(notes);
    controller.setLinkHooks(link.get());
    return link;
}

QString programmerKind(const Programmer& programmer) {
    if (programmer.simulated()) return QStringLiteral("模拟烧录器");
    if (dynamic_cast<const AbsentProgrammer*>(&programmer)) return QStringLiteral("无烧录器");
    return QStringLiteral("厂商烧录器库");
}

} // namespace kelvor::link
