// The option pages against the simulated programmer: what their buttons and a press of "烧录" send.
#include "jobs/page_controls.h"
#include "link/sim_station.h"
#include "link/station/transfer.h"
#include "support/link_fixture.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kelvor;
using kelvor::test::LinkFixture;

// Regression: the list's choice never reached the job, which kept sending the file shown at start-up.
TEST(SideData, TheEepromFileChosenInTheListIsTheOneTheProgrammerGets) {
    link::sim::SimOptions o;
    o.chip = link::sim::parseSocketChip("EP39F02").chip;
    LinkFixture t(o);
    const std::string first = t.f.path("first.bin"), second = t.f.path("second.bin");
    std::ofstream(first, std::ios::binary) << std::string(64, '\x11');
    std::ofstream(second, std::ios::binary) << std::string(48, '\x22');
    t.f.writeIni("[KELVOR]\nVOL=4.500\n[OpenFile]\nFileCountEEprom=2\nFilePathEEprom=" + first + "?" + second + "?\n");
    t.f.start();
    ASSERT_TRUE(t.runUntil([&] { return t.link->detectAnswers > 0; }));
    t.f.station().selectModel(*chips::findModel("EP39F02"));

    PageModel& set = t.f.page(page::kSetting);
    set.check(controlKey(settings::kEepromProgramming), true);
    set.choose(controlKey(settings::kEepromFiles), 1);
    const std::string image = t.f.path("image.hex");
    std::ofstream(image, std::ios::binary) << link::sim::test::imageHex();
    t.f.station().imagePath = QString::fromStdString(image);

    bool pass = false;
    QObject::connect(t.link.get(), &link::Link::verdict, [&](bool p) { pass = p; });
    t.f.page(page::kIsp).click(controlKey(1042));
    ASSERT_TRUE(t.runUntil([&] { return pass; }, 10000)) << t.pane().toStdString();
    ASSERT_TRUE(t.runUntil([&] { return !t.link->transfers().busy(); }));
    EXPECT_EQ(t.sim->eepromData(), std::vector<std::uint8_t>(48, 0x22));
}

TEST(EeVoltageWrite, TheButtonSendsBothFieldsAndTheProgrammerClearsItsCount) {
    LinkFixture t;
    t.f.start();
    ASSERT_TRUE(t.link->linkOpen());
    PageModel& set = t.f.page(page::kSetting);
    set.edit(controlKey(settings::kSequence), "");
    set.edit(controlKey(settings::kEepromVoltage), "4500");
    set.click(controlKey(settings::kEeVoltageWrite));
    EXPECT_EQ(t.sim->eeVoltageWrite(), (std::pair<int, int>{0, 4500}));
    ASSERT_TRUE(t.runUntil([&] { return t.paneHas("烧录计数已清零"); }));
    EXPECT_TRUE(t.paneHas("烧录计数擦除中"));

    link::sim::SimOptions absent;
    absent.faults = link::sim::FaultSet({link::sim::Fault::NoProgrammer});
    LinkFixture none(absent);
    none.f.start();
    none.f.page(page::kSetting).click(controlKey(settings::kEeVoltageWrite));
    EXPECT_TRUE(none.paneHas("清除烧录计数失败!"));
}
