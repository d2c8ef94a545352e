#include "chips/catalog.h"
#include "chips/selection.h"

#include <gtest/gtest.h>

#include <set>

using namespace kelvor::chips;

TEST(Catalog, EveryRowIsConsistent) {
    std::set<int> commands, positions;
    std::set<std::string_view> names;
    std::set<Family> familiesWithRows;
    for (const auto& r : models()) {
        EXPECT_TRUE(commands.insert(r.command).second) << r.model;
        EXPECT_TRUE(names.insert(r.model).second) << r.model;
        if (r.menuPosition >= 0) EXPECT_TRUE(positions.insert(r.menuPosition).second) << r.model;
        EXPECT_EQ(findModel(r.model), &r);
        EXPECT_EQ(findCommand(r.command), &r);
        EXPECT_GE(r.frequencyEntry, 0);
        EXPECT_LE(r.frequencyEntry, 8);
        EXPECT_FALSE(r.caption.empty() || r.logText.empty() || r.statusText.empty()) << r.model;
        // Custom-chip keys are menu keys, except where a row has no menu entry.
        if (r.menuPosition >= 0 && !r.customKey.empty()) EXPECT_EQ(r.menuKey, r.customKey) << r.model;
        if (r.menuPosition < 0) EXPECT_TRUE(r.menuKey.empty()) << r.model;
        familiesWithRows.insert(r.family);
    }
    EXPECT_EQ(models().size(), 46u); // 47 models: EP39F25X is a family without a row
    EXPECT_EQ(positions.size(), 38u);
    EXPECT_EQ(*positions.rbegin(), 37);
    EXPECT_EQ(familiesWithRows.size(), static_cast<std::size_t>(kFamilyCount - 1));
    EXPECT_FALSE(familiesWithRows.count(Family::EP39F25X));
    EXPECT_EQ(findModel("EP39F25X"), nullptr);
    EXPECT_EQ(findModel("ep2706"), nullptr); // names compare exactly
    for (int i = 0; i < kFamilyCount; ++i) EXPECT_EQ(familyByName(familyName(static_cast<Family>(i))), static_cast<Family>(i));
}

TEST(Catalog, MenuOrderAndFamilies) {
    const auto menu = deviceMenu();
    ASSERT_EQ(menu.size(), 38u);
    EXPECT_EQ(menu[0]->model, "EP2705");
    EXPECT_EQ(menu[32]->model, "EP431");
    EXPECT_EQ(menu[37]->model, "EP39F06A");
    EXPECT_EQ(findModel("EP39C57")->menuPosition, -1);
    EXPECT_EQ(modelsOfFamily(Family::EP2706).size(), 3u);
    EXPECT_EQ(modelsOfFamily(Family::EP39F08).size(), 6u);
    EXPECT_EQ(findModel("EP27F01A3")->family, Family::EP27F01);
    EXPECT_EQ(findModel("EP39F06A")->family, Family::EP39F06);
}

TEST(Catalog, ModelTextExceptions) {
    struct Row {
        const char *model, *caption, *log, *status;
    };
    const Row rows[] = {
        {"EP27C42", "EP:27C42 校准信息", "烧录芯片为 EP:27C42", "Device:27C42 "},
        {"EP406", "EP:EP406 校准信息", "烧录芯片为 EP:EP406", "Device:EP406 "},
        {"EP408", "EP:39F02 校准信息", "烧录芯片为 EP:EP408", "Device:EP408 "},
        {"EP431", "EP:431 校准信息", "烧录芯片为 EP:431", "Device:EP431 "},
        {"EP27H02", "EP:27h02 校准信息", "烧录芯片为 EP:27h02", "Device:27h02 "},
        {"EP8505_IN", "EP:8505 校准信息", "烧录芯片为 EP:8505", "Device:8505 "},
        {"EP39F05", "EP:39F05 校准信息", "烧录芯片为 EP:39F05", "Device:39F05"},
        {"LN2056", "LN2056 校准信息", "烧录芯片为 LN2056", "Device:LN2056 "},
        {"LN2058", "LN2058 校准信息", "烧录芯片为:LN2058", "Device:LN2058 "},
        {"LN2059", "LN2059 准信息", "烧录芯片为 LN2059", "Device:LN2059 "},
    };
    for (const auto& r : rows) {
        const auto* m = findModel(r.model);
        ASSERT_TRUE(m) << r.model;
        EXPECT_EQ(m->caption, r.caption);
        EXPECT_EQ(m->logText, r.log);
        EXPECT_EQ(m->statusText, r.status);
    }
    EXPECT_EQ(customTexts(*findModel("LN2058"), "Q").caption, "LN:Q 校准信息");
    EXPECT_EQ(customTexts(*findModel("EP2706"), "ALPHA").statusText, "Device:ALPHA");
}

TEST(Selection, PwmOutputSearch) {
    const auto pins = pinNames(PinList::Pins18);
    EXPECT_EQ(pwmOutputEntry(pins, "PC3"), 15);
    EXPECT_EQ(pwmOutputEntry(pins, "PA0"), 0);  // found only after entries 1-17
    EXPECT_EQ(pwmOutputEntry(pins, ""), 1);     // every entry begins with ""
    EXPECT_EQ(pwmOutputEntry(pins, "P"), 1);
    EXPECT_EQ(pwmOutputEntry(pins, "PC9"), -1);
    EXPECT_EQ(pwmOutputEntry(pins, "PA0X"), -1);
}

TEST(Selection, RestoreAndDetectedIdentifiers) {
    EXPECT_EQ(restoreChoice("EP27F01D").row->model, "EP27F01D");
    EXPECT_EQ(restoreChoice("EP39F003").row->model, "EP2703");
    EXPECT_EQ(restoreChoice("").row->model, "EP2703");
    EXPECT_EQ(restoreChoice("ep2706").row->model, "EP2703");
    EXPECT_FALSE(restoreChoice("EP39F25X").selectSomething);
    for (int id : {0x2700, 0x2701, 0x2703, 0x2707}) EXPECT_EQ(modelForDetectedId(id)->model, "EP2706");
    EXPECT_EQ(modelForDetectedId(0x006A)->model, "EP406");
    EXPECT_EQ(modelForDetectedId(0x008A)->model, "EP408");
    EXPECT_EQ(modelForDetectedId(0x2702), nullptr);
}
