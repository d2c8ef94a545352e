#pragma once
// Puts the station's link together: the chosen programmer, the device-event source and the hooks
// the controller calls.
#include "link/station/link.h"
#include "link/station/programmer_choice.h"

#include <memory>

namespace kelvor::link {

// Chooses the programmer from the settings and `options` given on top of them (the command line),
// creates the link and installs it in the controller. The choice and any problem are written to
// the log pane during start-up.
std::unique_ptr<Link> createStationLink(CQORVENDlg& controller, const ProgrammerOptions* overrides = nullptr);

// The kind of programmer the station drives, as the About box names it: "模拟烧录器" (the
// simulator, built in or behind the library interface), "厂商烧录器库" (a vendor library) or
// "无烧录器" (none could be chosen).
QString programmerKind(const Programmer& programmer);

} // namespace kelvor::link
