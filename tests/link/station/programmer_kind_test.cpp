// The programmer kind the About box names.
#include "link/sim/simulated_programmer.h"
#include "link/station/absent_programmer.h"
#include "link/station/station_link.h"
#include "link/station/tracing_programmer.h"
#include "transfer_double.h"

#include <gtest/gtest.h>

using namespace kelvor::link;

TEST(ProgrammerKind, NamesWhatTheStationDrives) {
    sim::SimulatedProgrammer simulated;
    AbsentProgrammer absent("libusbio.so did not load");
    test::Timeline timeline;
    test::ScriptedProgrammer vendor(timeline);
    EXPECT_EQ(programmerKind(simulated), "模拟烧录器");
    EXPECT_EQ(programmerKind(absent), "无烧录器");
    EXPECT_EQ(programmerKind(vendor), "厂商烧录器库");
    // A trace wraps the programmer without changing its kind.
    TracingProgrammer traced(std::make_unique<sim::SimulatedProgrammer>(), std::tmpfile());
    EXPECT_EQ(programmerKind(traced), "模拟烧录器");
}
