// `vultrane sliders` lists exactly the records that GetList hands the menu.
#include <gtest/gtest.h>

#include "config/model.h"
#include "game/sim/sim.h"
#include "tests/support/test_support.h"
#include "tools/hostsim/json_in.h"
#include "tools/hostsim/values.h"
#include "tools/hostsim/world.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_sliders.h"

namespace {

using vtrtest::MenuHarness;

TEST(VultraneSliders, MatchGetListForTheExampleNordPlayer) {
    vtrtest::ScopedGameFolder folder;
    vultrane::PrepareExampleGame(folder.Path());
    const std::string world = vultrane::SourceFolder() + "/examples/worlds/nord.json";
    for (bool facialHair : {false, true}) {
        SCOPED_TRACE(facialHair);
        const vultrane::SliderListing mine = vultrane::ListSliders({folder.Path(), "Nord", 1, facialHair, true, world});
        ASSERT_TRUE(mine.listed);

        Config() = Configuration{};
        hostsim::BuildWorld(hostsim::ParseJson(hostsim::ReadTextFile(world, "world"), "world"),
                            vultrane::SourceFolder() + "/examples/worlds");
        MenuHarness menu;
        GFxValue& result = menu.NewArray();
        menu.Call("GetList", {menu.String("Nord"), result, MenuHarness::Number(0), MenuHarness::Bool(facialHair),
                              MenuHarness::Bool(true)});
        const hostsim::Json menuRecords = hostsim::ValueToJson(result);
        Config() = Configuration{};
        sim::ResetWorld();

        ASSERT_GT(menuRecords.size(), 20u);
        EXPECT_EQ(mine.records.size(), menuRecords.size());
        for (size_t i = 0; i < std::min(mine.records.size(), menuRecords.size()); ++i)
            EXPECT_EQ(mine.records[i], menuRecords[i]) << "record " << i;
        EXPECT_EQ(mine.matchLine, "match race: Nord");
        EXPECT_EQ(mine.raceSetName, "Nord");
    }
}

TEST(VultraneSliders, WithoutAWorldThePlayerHasTheNodesTheSlidersName) {
    vtrtest::ScopedGameFolder folder;
    vultrane::PrepareExampleGame(folder.Path());
    const vultrane::SliderListing female = vultrane::ListSliders({folder.Path(), "Nord", 1, false, true, ""});
    const vultrane::SliderListing male = vultrane::ListSliders({folder.Path(), "Nord", 0, false, true, ""});
    auto ids = [](const vultrane::SliderListing& l) {
        std::set<int> out;
        for (const auto& r : l.records)
            if (r.contains("uniqueID")) out.insert(r["uniqueID"].get<int>());
        return out;
    };
    const std::set<int> f = ids(female), m = ids(male);
    EXPECT_TRUE(f.count(2001) && f.count(2000) && f.count(3000));  // node sliders
    EXPECT_TRUE(f.count(1001) && !m.count(1001));                   // women only
    EXPECT_TRUE(m.count(1301) && !f.count(1301));                   // men only
    EXPECT_FALSE(vultrane::ListSliders({folder.Path(), "Khajiit", 1, false, true, ""}).records.empty());
}

}  // namespace
