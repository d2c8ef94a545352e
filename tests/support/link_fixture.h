#pragma once
// A headless station whose link runs against a simulated programmer with its answers due at once.
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "support/station_fixture.h"

#include <functional>
#include <memory>

namespace kelvor::test {

struct LinkFixture {
    explicit LinkFixture(link::sim::SimOptions options = {}) {
        options.timing = 0;
        sim = std::make_shared<link::sim::SimulatedProgrammer>(options);
        link = std::make_unique<link::Link>(f.station(), sim, nullptr);
        f.station().setLinkHooks(link.get());
    }
    ~LinkFixture() { link.reset(); }
    // Runs the event loop until `done` or the bound.
    bool runUntil(const std::function<bool()>& done, int ms = 3000) { return processEventsUntil(done, ms); }
    QString pane() const { return f.station().logPane().text(); }
    bool paneHas(const char* text) const { return pane().contains(QString::fromUtf8(text)); }

    mutable StationFixture f;
    std::shared_ptr<link::sim::SimulatedProgrammer> sim;
    std::unique_ptr<link::Link> link;
};

} // namespace kelvor::test
