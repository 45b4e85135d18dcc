// SetMergedMorphs through the registered handler: slider values from the menu's array, the
// slot file, and one merged file per target of the player's sex.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "config/model.h"
#include "game/sim/sim.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "os/os.h"
#include "plugin/bridge.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

std::string Slurp(const std::string& path) {
    std::ifstream in(os::ResolvePath(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    std::ifstream in(os::ResolvePath(path), std::ios::binary);
    return in.good();
}

TriFile Source(uint32_t vertices, const std::vector<std::pair<std::string, TriDelta>>& morphs) {
    TriFile f;
    f.vertexCount = vertices;
    f.vertices.assign(vertices, TriVertex{1, 2, 3});
    for (const auto& [name, d] : morphs) {
        TriMorph m;
        m.name = name;
        m.scale = 0.5f;
        m.deltas.assign(vertices, d);
        f.morphs.push_back(m);
    }
    return f;
}

class SetMergedMorphsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DOCUMENTS_DIR");
        hadDocuments_ = old != nullptr;
        if (old) oldDocuments_ = old;
        setenv("XDG_DOCUMENTS_DIR", (folder.Path() + "/Documents").c_str(), 1);
        sim::ResetWorld();
        ClearTriCache();
        Config() = Configuration{};
        RaceSetting set;
        set.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\";
        set.raceSetName = "NordSet";
        set.raceNames = {"Nord"};
        set.fileSetNames = {"data\\meshes\\out\\femalehead.tri", "data\\meshes\\out\\eyes.tri"};
        set.fileSets = {{"FemaleHead.tri"}, {"Eyes.tri"}};
        set.maleFileSetNames = {"data\\meshes\\out\\malehead.tri"};
        set.maleFileSets = {{"MaleHead.tri"}};
        set.sliders = {vtrtest::MorphPairSlider(28, "NoseUp", "NoseDown"),
                       vtrtest::MorphPairSlider(30, "EyesMoveUp", "EyesMoveDown")};
        Config().raceSettings.push_back(set);
        folder.WriteFile("data/Meshes/Vultrane/Sets/FemaleHead.tri",
                         SerializeTri(Source(6, {{"NoseUp", {10, 0, 0}}, {"NoseDown", {0, 10, 0}}})));
        folder.WriteFile("data/Meshes/Vultrane/Sets/Eyes.tri", SerializeTri(Source(4, {{"EyesMoveUp", {0, 0, 9}}})));
        folder.WriteFile("data/Meshes/Vultrane/Sets/MaleHead.tri", SerializeTri(Source(5, {{"NoseUp", {1, 1, 1}}})));
        folder.WriteFile("data/meshes/out/keep", "");
        npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    }
    void TearDown() override {
        if (hadDocuments_)
            setenv("XDG_DOCUMENTS_DIR", oldDocuments_.c_str(), 1);
        else
            unsetenv("XDG_DOCUMENTS_DIR");
        ClearTriCache();
        Config() = Configuration{};
        sim::ResetWorld();
    }

    void Merge(const char* race, const std::vector<GFxValue>& info, double slot) {
        GFxValue& array = menu.NewArray();
        for (const GFxValue& v : info) Value_PushBack(array, v);
        menu.Call("SetMergedMorphs", {menu.String(race), array, MenuHarness::Number(slot)});
    }
    static GFxValue N(double x) { return MenuHarness::Number(x); }
    std::string SlotPath(int slot) const {
        return folder.Path() + "/Documents/My Games/Skyrim/VTR_save/_" + std::to_string(slot) + "_NordSet.slot";
    }
    TriFile ReadBack(const std::string& path) {
        std::string bytes = Slurp(path);
        TriFile f;
        TriMemorySource src(bytes.data(), bytes.size());
        EXPECT_TRUE(ReadTriBody(src, f).ok) << path;
        return f;
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    MenuHarness menu;
    TESNPC* npc = nullptr;
    bool hadDocuments_ = false;
    std::string oldDocuments_;
};

TEST_F(SetMergedMorphsTest, SavesTheSlotAndWritesEveryTargetOfThePlayersSex) {
    // The pair with a text value and the unpaired last element are skipped with the message.
    Merge("Nord", {N(28), N(0.5), N(30), menu.String("x"), N(30), N(-1.25), N(7)}, 2);
    EXPECT_EQ(log.Count("    ERROR:system: invalid slider array. skip."), 2u);
    EXPECT_TRUE(log.Contains("save slot 2"));
    const std::string slot = Slurp(SlotPath(2));
    EXPECT_NE(slot.find("\n28, 0.500000\n30, -1.250000\n"), std::string::npos) << slot;
    EXPECT_NE(slot.find("# character race: Nord\n"), std::string::npos);

    TriFile head = ReadBack("data/meshes/out/femalehead.tri");
    EXPECT_EQ(head.vertexCount, 6u);
    ASSERT_GE(head.morphs.size(), 2u);
    // NoseDown, NoseUp copied, then the reserved records; the main merged morph holds NoseUp
    // at 0.5 (x) only: EyesMoveDown is not in this file.
    const int main = FindMorphIndex(head, "NoseType32");
    ASSERT_GE(main, 0);
    EXPECT_FLOAT_EQ(head.morphs[size_t(main)].scale, static_cast<float>(2.5 / 32767.0));
    EXPECT_EQ(head.morphs[size_t(main)].deltas[3].dx, 32767);
    EXPECT_EQ(head.morphs[size_t(main)].deltas[3].dy, 0);
    TriFile eyes = ReadBack("data/meshes/out/eyes.tri");
    const int eyesMain = FindMorphIndex(eyes, "NoseType32");
    ASSERT_GE(eyesMain, 0);
    EXPECT_EQ(eyes.morphs[size_t(eyesMain)].scale, 1.0f);  // EyesMoveDown (value < 0) is missing
    EXPECT_FALSE(Exists("data/meshes/out/malehead.tri"));
    EXPECT_FALSE(log.Contains("ERROR: cannot"));

    // The same race and sex again reads no source; the other sex refills from its own lists.
    const size_t reads = TriCacheFilesRead();
    Merge("Nord", {N(28), N(1)}, 0);
    EXPECT_EQ(TriCacheFilesRead(), reads);
    sim::Npc_SetSex(npc, 0);
    Merge("Nord", {N(28), N(1)}, 0);
    EXPECT_EQ(TriCacheFilesRead(), reads + 1);
    EXPECT_EQ(ReadBack("data/meshes/out/malehead.tri").vertexCount, 5u);
}

// Through the menu call: a target none of whose sources could be read keeps the game's own file,
// and the other targets are written as before.
TEST_F(SetMergedMorphsTest, ATargetWithoutAReadableSourceKeepsItsFile) {
    folder.WriteFile("data/Meshes/Vultrane/Sets/Eyes.tri", "FRTRI003 but cut short");
    folder.WriteFile("data/meshes/out/eyes.tri", "the game's own eyes");
    Merge("Nord", {N(28), N(0.5)}, 0);
    EXPECT_EQ(Slurp("data/meshes/out/eyes.tri"), "the game's own eyes");
    EXPECT_TRUE(log.Contains("    ERROR: no source of data\\meshes\\out\\eyes.tri could be read; it is not written and "
                             "the old file is kept."));
    EXPECT_EQ(ReadBack("data/meshes/out/femalehead.tri").vertexCount, 6u);
}

TEST_F(SetMergedMorphsTest, SlotNumbersAndMissingRacesOrPlayers) {
    Merge("Nord", {N(28), N(0.5)}, 0);  // slot 0 writes no slot file
    Merge("Nord", {N(28), N(0.5)}, -3);
    EXPECT_TRUE(log.Contains("    ERROR: system: storeSlot must be >= 0."));
    EXPECT_FALSE(Exists(SlotPath(0)));
    EXPECT_FALSE(Exists(SlotPath(-3)));
    EXPECT_TRUE(Exists("data/meshes/out/femalehead.tri"));  // the merge went on

    // The race name becomes the player's race's name; without a player nothing matches.
    log.Clear();
    Merge("Khajiit", {N(28), N(0.5)}, 1);
    EXPECT_TRUE(Exists(SlotPath(1)));
    EXPECT_NE(Slurp(SlotPath(1)).find("# character race: Nord\n"), std::string::npos);
    sim::RemovePlayer();
    Merge("Khajiit", {N(28), N(0.5)}, 4);
    EXPECT_TRUE(log.Contains("    ERROR: system: no race found from scaleform call. (Khajiit)"));
    EXPECT_FALSE(Exists(SlotPath(4)));

    log.Clear();
    menu.Call("SetMergedMorphs", {menu.String("Nord"), N(1), N(2)});
    EXPECT_TRUE(log.Contains(
        "    ERROR: system: invalid arguments. Quorvix.SetMergedMorphs(raceName:String, info:Array, storeSlot:Number)."));
}


TEST_F(SetMergedMorphsTest, AbsurdValuesLeaveTheOldFileAndTheGameAsTheyWere) {
    Merge("Nord", {N(28), N(0.5)}, 0);
    const std::string good = Slurp("data/meshes/out/femalehead.tri");
    ASSERT_FALSE(good.empty());
    // 1e200 gives a scale beyond a float; 1e-320 an offset too small for any delta.
    for (double value : {1e200, -1e200, 1e-320}) {
        SCOPED_TRACE(value);
        log.Clear();
        Merge("Nord", {N(30), N(0.25), N(28), N(value)}, 0);
        EXPECT_EQ(Slurp("data/meshes/out/femalehead.tri"), good);
        char named[64];
        std::snprintf(named, sizeof(named), "28=%g", value);
        EXPECT_TRUE(log.Contains("    WARNING: merged morph of data\\meshes\\out\\femalehead.tri is out of range (largest "
                                 "slider values: " + std::string(named) + "); it is neither written nor patched."))
            << ::testing::PrintToString(log.Lines());
        EXPECT_FALSE(Exists("data/meshes/out/femalehead.tri.vtrnew"));
    }
    // The eyes take no value of slider 28 and are written as usual.
    EXPECT_TRUE(Exists("data/meshes/out/eyes.tri"));
}

TEST_F(SetMergedMorphsTest, TargetsOutsideTheGameFolderAreNeverWritten) {
    Config().raceSettings[0].fileSetNames = {"..\\outside\\evil.tri", "C:\\evil.tri", "data\\..\\..\\evil.tri",
                                             "data\\meshes\\out\\femalehead.tri"};
    Config().raceSettings[0].fileSets = {{"FemaleHead.tri"}, {"FemaleHead.tri"}, {"FemaleHead.tri"}, {"FemaleHead.tri"}};
    folder.WriteFile("outside/keep", "");
    Merge("Nord", {N(28), N(0.5)}, 0);
    EXPECT_TRUE(log.Contains("    ERROR: cannot write new .tri (..\\outside\\evil.tri): the path leads out of the game "
                             "folder; nothing is written."));
    EXPECT_TRUE(log.Contains("    ERROR: cannot write new .tri (C:\\evil.tri): the path names a drive; nothing is written."));
    EXPECT_FALSE(Exists("outside/evil.tri"));
    EXPECT_FALSE(Exists("outside/evil.tri.vtrnew"));
    EXPECT_FALSE(Exists("../evil.tri"));
    EXPECT_TRUE(Exists("data/meshes/out/femalehead.tri"));

    // A race name with a line feed stays on one log line.
    sim::RemovePlayer();
    log.Clear();
    Merge("Nord\nERROR: forged", {N(28), N(0.5)}, 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: system: no race found from scaleform call. (Nord\\nERROR: forged)"}));
}

}  // namespace
