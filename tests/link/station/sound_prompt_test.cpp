// "启用声音提示" against the simulated programmer: the reports' own sounds, and with the switch on
// one sound for each chip verdict whose report came without one.
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "link/station/transfer.h"
#include "support/station_fixture.h"

#include <QCoreApplication>

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

using namespace kelvor;

namespace {

struct Burn {
    std::optional<bool> verdict;
    std::vector<Sound> sounds;
};

Burn burnOnce(std::initializer_list<link::sim::Fault> faults, bool soundPrompt) {
    test::StationFixture f;
    link::sim::SimOptions o;
    o.timing = 0;
    o.faults = link::sim::FaultSet(faults);
    auto sim = std::make_shared<link::sim::SimulatedProgrammer>(o);
    link::Link l(f.station(), sim, nullptr);
    f.station().setLinkHooks(&l);
    f.start();
    test::processEventsUntil([&] { return l.detectAnswers > 0; }, 3000);
    if (soundPrompt) f.station().menuCommand(cmd::kSoundPrompt);
    f.station().selectModel(*chips::findModel("EP2706"));
    const std::string image = f.path("demo.hex");
    std::ofstream(image, std::ios::binary) << ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
    f.station().imagePath = QString::fromStdString(image);
    f.prompter.sounds.clear();
    Burn b;
    QObject::connect(&l, &link::Link::verdict, [&](bool p) { b.verdict = p; });
    f.page(page::kIsp).click(controlKey(1042));
    test::processEventsUntil([&] { return b.verdict.has_value() && !l.runInProgress(); }, 10000);
    QCoreApplication::processEvents();
    b.sounds = f.prompter.sounds;
    return b;
}

} // namespace

TEST(SoundPrompt, EveryVerdictSoundsOnceWhenSwitchedOn) {
    using link::sim::Fault;
    struct Case {
        const char* what;
        std::initializer_list<Fault> faults;
        bool soundPrompt;
        bool pass;
        std::vector<Sound> sounds;
    };
    const Case cases[] = {
        // The report of a good burn carries the OK sound; the switch adds no second one.
        {"pass", {}, false, true, {Sound::Default}},
        {"pass, prompt on", {}, true, true, {Sound::Default}},
        {"verify error, prompt on", {Fault::VerifyFail}, true, false, {Sound::Error}},
        // The programmer's checksum failure comes without a sound: heard only with the switch on.
        {"checksum error", {Fault::ChecksumError}, false, false, {}},
        {"checksum error, prompt on", {Fault::ChecksumError}, true, false, {Sound::Error}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Burn b = burnOnce(c.faults, c.soundPrompt);
        ASSERT_TRUE(b.verdict.has_value());
        EXPECT_EQ(*b.verdict, c.pass);
        EXPECT_EQ(b.sounds, c.sounds);
    }
}
