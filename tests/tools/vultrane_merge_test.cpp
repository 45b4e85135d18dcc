// `vultrane merge` writes the same bytes as the plug-in's SetMergedMorphs for the same game
// folder, player and values, and never writes outside its output folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/model.h"
#include "game/sim/sim.h"
#include "morph/tri_cache.h"
#include "os/os.h"
#include "plugin/bridge.h"
#include "tests/support/test_support.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/cli_merge.h"
#include "tools/vultrane/cli_tri.h"

namespace {

namespace fs = std::filesystem;
using vtrtest::MenuHarness;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Morph pairs (both signs), a type-1 family, the neck and head sliders and a vertex edit.
const SliderValueList kValues = {{28, -0.75}, {29, 0.4},   {1000, 0.6},       {1100, 12},  {26, 3},
                                 {1200, 0.5}, {903, 0.5},  {902, -0.2},       {1301, 0.7}, {-10005, 9011066}};

// The plug-in's own SetMergedMorphs in this process, on the game folder that is current.
void PluginMerge(int sex, const SliderValueList& values) {
    Config() = Configuration{};
    ClearTriCache();
    sim::ResetWorld();
    TESNPC* npc = sim::AddNpc(static_cast<int8_t>(sex));
    sim::CreatePlayer(&npc->form, sim::AddRace("Nord", "Nord"));
    MenuHarness menu;
    GFxValue& info = menu.NewArray();
    for (const auto& [id, v] : values) {
        Value_PushBack(info, MenuHarness::Number(id));
        Value_PushBack(info, MenuHarness::Number(v));
    }
    menu.Call("SetMergedMorphs", {menu.String("Nord"), info, MenuHarness::Number(0)});
    ClearTriCache();
    Config() = Configuration{};
    sim::ResetWorld();
}

TEST(VultraneMerge, WritesTheBytesOfSetMergedMorphsForBothSexes) {
    vtrtest::ScopedGameFolder folder;
    vultrane::PrepareExampleGame(folder.Path());
    for (int sex : {1, 0}) {
        SCOPED_TRACE(sex ? "female" : "male");
        const std::string out = folder.Path() + "/out" + std::to_string(sex);
        const vultrane::MergeOutcome m = vultrane::RunMerge({folder.Path(), "Nord", sex, kValues, out});
        EXPECT_EQ(m.raceSetName, "Nord");
        EXPECT_TRUE(m.problems.empty()) << m.problems.front();
        ASSERT_EQ(m.targets.size(), sex ? 2u : 1u);
        EXPECT_EQ(fs::current_path(), fs::path(folder.Path()));

        PluginMerge(sex, kValues);
        for (const vultrane::MergedTarget& t : m.targets) {
            SCOPED_TRACE(t.target);
            ASSERT_FALSE(t.path.empty());
            EXPECT_EQ(t.path.rfind(out + "/", 0), 0u) << t.path;
            const std::string mine = Slurp(t.path), plugin = Slurp(os::ResolvePath(t.target));
            ASSERT_FALSE(plugin.empty());
            EXPECT_TRUE(mine == plugin) << "sizes " << mine.size() << " and " << plugin.size();
        }
        // The values do move the head: an all-zero merge would match trivially.
        TriFile head;
        std::string error;
        ASSERT_TRUE(vultrane::LoadTriFile(m.targets[0].path, head, error)) << error;
        const int nose = FindMorphIndex(head, "NoseType32");
        ASSERT_GE(nose, 0);
        EXPECT_GT(vultrane::SummariseMorph(head.morphs[static_cast<size_t>(nose)]).largest, 0.1);
    }
}

TEST(VultraneMerge, RefusesTargetsOutsideTheOutputFolder) {
    vtrtest::ScopedGameFolder folder;
    vultrane::PrepareExampleGame(folder.Path());
    // A race set whose target climbs out of the game folder.
    const std::string set = folder.ReadFile("data/Meshes/Vultrane/Sets/Nord.ini");
    std::string evil = set;
    const std::string from = "files=data\\meshes\\actors\\character\\character assets\\eyesfemalechargen.tri";
    ASSERT_NE(evil.find(from), std::string::npos);
    evil.replace(evil.find(from), from.size(), "files=..\\..\\escaped.tri");
    folder.WriteFile("data/Meshes/Vultrane/Sets/Nord.ini", evil);
    const std::string out = folder.Path() + "/a/b";
    const vultrane::MergeOutcome m = vultrane::RunMerge({folder.Path(), "Nord", 1, kValues, out});
    ASSERT_EQ(m.targets.size(), 2u);
    EXPECT_FALSE(m.targets[0].path.empty());
    EXPECT_TRUE(m.targets[1].path.empty());
    ASSERT_FALSE(m.problems.empty());
    EXPECT_NE(m.problems.front().find("leads out of the output folder"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder.Path() + "/escaped.tri"));
}

TEST(VultraneMerge, ValueListsAreCheckedItemByItem) {
    SliderValueList v;
    std::string error;
    ASSERT_TRUE(vultrane::ParseValueList("28=0.5,-10005=9011066,1100=12", v, error)) << error;
    EXPECT_EQ(v, (SliderValueList{{28, 0.5}, {-10005, 9011066}, {1100, 12}}));
    for (const char* bad : {"", "28", "28=", "x=1", "28=1,", "28=nan", "28=inf", "2147483648=1", "28=1e999", "28=0.5x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(vultrane::ParseValueList(bad, v, error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(vultrane::StaysBelow("data\\..\\..\\x.tri"));
    EXPECT_FALSE(vultrane::StaysBelow("/etc/x.tri"));
    EXPECT_FALSE(vultrane::StaysBelow("C:\\x.tri"));
    EXPECT_TRUE(vultrane::StaysBelow("data\\meshes\\a..b\\x.tri"));
}

}  // namespace
