// Writing the main merged morph into the morph data the simulated game has loaded.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "config/model.h"
#include "game/sim/sim.h"
#include "game/sim/sim_morphdata.h"
#include "morph/memory.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "tests/support/test_support.h"

namespace {

constexpr const char* kFailure = "    ERROR: failed to refresh Player face.";

TriFile Source(uint32_t vertices, int16_t dx) {
    TriFile f;
    f.vertexCount = vertices;
    f.vertices.assign(vertices, TriVertex{1, 2, 3});
    TriMorph m;
    m.name = "NoseUp";
    m.scale = 0.5f;
    for (uint32_t v = 0; v < vertices; ++v) m.deltas.push_back(TriDelta{static_cast<int16_t>(dx + v), 0, 1});
    f.morphs.push_back(m);
    return f;
}

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        ClearTriCache();
        PendingLog_Clear();
        npc = sim::AddNpc(1);
        player = sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
        set.iniDirectory = "data\\Meshes\\Sets\\";
        set.raceSetName = "NordSet";
        set.raceNames = {"Nord"};
        set.sliders = {vtrtest::MorphPairSlider(28, "NoseUp", "NoseDown")};
        values = {{28, 0.5}};
    }
    void TearDown() override {
        ClearTriCache();
        sim::ResetWorld();
    }
    // A target with its source file of `vertices` vertices.
    std::string Target(const std::string& name, uint32_t vertices) {
        const std::string path = "data\\meshes\\out\\" + name;
        set.fileSetNames.push_back(path);
        set.fileSets.push_back({name});
        folder.WriteFile("data/Meshes/Sets/" + name, SerializeTri(Source(vertices, 10)));
        return path;
    }
    // Loaded morph data for a target, with a NoseType33 record of the given counts.
    sim::LoadedMorphData* Load(const std::string& path, uint32_t diff, uint32_t base,
                               sim::LoadedList list = sim::LoadedList::Table, sim::EntryFlaw flaw = sim::EntryFlaw::None) {
        sim::LoadedMorphData* d = sim::AddLoadedMorphData(path.substr(5), list, flaw);
        sim::MorphData_AddMorph(d, "Aah", diff, base);
        sim::MorphData_AddMorph(d, "NoseType33", diff, base, 7.0f);
        return d;
    }
    static MorphRecord& Nose(sim::LoadedMorphData* d) { return sim::MorphData_Set(d)->morphData.entries[1]; }
    bool Refresh() { return RefreshFaceInMemory(player, set, "Nord", values, 2); }
    size_t EntriesWith(const std::string& text) const {
        size_t n = 0;
        for (const std::string& l : log.Lines()) n += l.find(text) != std::string::npos;
        return n;
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    TESNPC* npc = nullptr;
    PlayerCharacter* player = nullptr;
    RaceSetting set;
    SliderValueList values;
};

TEST_F(MemoryTest, ThreeOfFourLoadedTargetsRefreshTheFace) {
    std::vector<sim::LoadedMorphData*> loaded;
    for (const char* name : {"a.tri", "b.tri", "c.tri"}) loaded.push_back(Load(Target(name, 6), 6, 6));
    Target("d.tri", 6);
    const int updates = sim::ModelUpdateCount();
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(EntriesWith(kFailure), 0u);
    EXPECT_EQ(sim::ModelUpdateCount(), updates + 1);

    const MergedMorph expect = BuildMergedMorph(values, set, set.fileSetNames[0], *FindCachedTri(set.fileSetNames[0]), 6,
                                                2, kMergeMain);
    ASSERT_EQ(expect.deltas.size(), 6u);
    for (sim::LoadedMorphData* d : loaded) {
        EXPECT_FLOAT_EQ(Nose(d).baseDiff, expect.scale);
        EXPECT_EQ(std::memcmp(Nose(d).diffData, expect.deltas.data(), 6 * sizeof(TriDelta)), 0);
        EXPECT_EQ(sim::MorphData_Set(d)->morphData.entries[0].diffData[0], 0) << "only NoseType33 is written";
    }
    EXPECT_NE(expect.deltas[5].dx, 0);
}

TEST_F(MemoryTest, AllOfTwoRefreshButOneOfTwoFailsWithOneEntry) {
    Load(Target("a.tri", 6), 6, 6);
    const std::string missing = Target("b.tri", 4);
    EXPECT_FALSE(Refresh());
    const std::string expected = "    ok: requested .tri model is on memory\n      model:data\\meshes\\out\\a.tri raceName:Nord\n"
                                 "    ERROR: requested .tri model is not on memory: " + missing +
                                 "\n           system too heavy or unsupported race ?\n" + kFailure;
    EXPECT_EQ(log.Count(expected), 1u) << (log.Lines().empty() ? "" : log.Lines().back());
    EXPECT_EQ(sim::ModelUpdateCount(), 1) << "queued after a failure too";

    log.Clear();
    Load(missing, 4, 4);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(EntriesWith(kFailure), 0u);
    EXPECT_EQ(sim::ModelUpdateCount(), 2);
}

TEST_F(MemoryTest, TheNoteNamesThePlayersHeadModelWhenThereIsAFacePart) {
    sim::Npc_AddHeadPart(npc, sim::AddHeadPart(kHeadPart_Eyes, "Eyes", "Meshes\\eyes.tri"));
    sim::Npc_AddHeadPart(npc, sim::AddHeadPart(kHeadPart_Face, "Head", "Meshes\\FemaleHead.tri"));
    const std::string missing = Target("a.tri", 6);
    EXPECT_FALSE(ReplaceLoadedMorph(set, missing, values, 2, "Nord"));
    EXPECT_EQ(PendingLog_Text(), "    ERROR: requested .tri model is NOT on memory.\n        requested model from .ini : " +
                                     missing + "\n        player raceName           : Nord\n"
                                     "        player base head model    : Meshes\\FemaleHead.tri\n"
                                     "        system too heavy or unsupported race ?\n");
}

TEST_F(MemoryTest, ALongPendingTextIsCutBeforeTheFailureLine) {
    std::string notes;
    for (int i = 0; i < 40; ++i) {
        const std::string path = Target(std::string(150, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".tri", 3);
        notes += "    ERROR: requested .tri model is not on memory: " + path +
                 "\n           system too heavy or unsupported race ?\n";
    }
    ASSERT_GT(notes.size(), 8000u);
    sim::RemovePlayer();  // the short note, and no model update without a player
    EXPECT_FALSE(RefreshFaceInMemory(nullptr, set, "Nord", values, 2));
    EXPECT_EQ(log.Count(notes.substr(0, kPendingLogLimit) + " (... too long.)\n" + kFailure), 1u);
    EXPECT_EQ(sim::ModelUpdateCount(), 0);
}

TEST_F(MemoryTest, UnequalVertexCountsAreNeverWritten) {
    const std::string a = Target("a.tri", 6);
    sim::LoadedMorphData* oneMore = Load(a, 6, 7);
    EnsureTriCache("Nord", 2, set);
    EXPECT_FALSE(ReplaceLoadedMorph(set, a, values, 2, "Nord"));
    EXPECT_EQ(Nose(oneMore).baseDiff, 7.0f);
    for (int i = 0; i < 7 * 3; ++i) ASSERT_EQ(Nose(oneMore).diffData[i], 0) << i;
    EXPECT_TRUE(log.Contains("    ERROR: invalid targetTri or unmatched vertexNum. (" + a + ")"));
    EXPECT_TRUE(log.Contains("           please try to re-install .tri files."));

    // Both equal to each other but not to the source: refused too.
    sim::ClearLoadedMorphData();
    sim::LoadedMorphData* fewer = Load(a, 5, 5);
    EXPECT_FALSE(ReplaceLoadedMorph(set, a, values, 2, "Nord"));
    EXPECT_EQ(Nose(fewer).baseDiff, 7.0f);
    for (int i = 0; i < 5 * 3; ++i) ASSERT_EQ(Nose(fewer).diffData[i], 0) << i;
}

TEST_F(MemoryTest, EntriesThatDoNotCountAreSkippedAndThePathIsMatchedInLowerCase) {
    const std::string a = Target("a.tri", 6);
    sim::LoadedMorphData* freeEntry = Load(a, 6, 6, sim::LoadedList::Table, sim::EntryFlaw::FreeEntry);
    sim::LoadedMorphData* notTri = Load(a, 6, 6, sim::LoadedList::Table, sim::EntryFlaw::NotTri);
    sim::LoadedMorphData* noSet = Load(a, 6, 6, sim::LoadedList::Table, sim::EntryFlaw::NoMorphSet);
    sim::LoadedMorphData* other = Load("data\\meshes\\out\\b.tri", 6, 6);
    sim::LoadedMorphData* good = sim::AddLoadedMorphData("MESHES\\Out\\A.TRI", sim::LoadedList::Array);
    sim::MorphData_AddMorph(good, "NoseType33", 6, 6, 7.0f);
    sim::MorphData_AddMorph(good, "NoseType33", 6, 6, 8.0f);

    EnsureTriCache("Nord", 2, set);
    EXPECT_EQ(FindLoadedMorphData(a), sim::MorphData_Set(good));
    EXPECT_EQ(FindLoadedMorphData("DATA\\Meshes\\OUT\\b.tri"), sim::MorphData_Set(other));
    EXPECT_EQ(FindLoadedMorphData("data\\meshes\\out\\c.tri"), nullptr);
    EXPECT_EQ(FindLoadedMorphData("data\\"), nullptr);
    EXPECT_TRUE(ReplaceLoadedMorph(set, a, values, 2, "Nord"));
    MorphRecord* records = sim::MorphData_Set(good)->morphData.entries;
    EXPECT_NE(records[0].baseDiff, 7.0f) << "the first record of the name is written";
    EXPECT_EQ(records[1].baseDiff, 8.0f);
    for (sim::LoadedMorphData* skipped : {freeEntry, notTri, noSet}) EXPECT_EQ(Nose(skipped).baseDiff, 7.0f);

    // The table is searched before the array.
    sim::LoadedMorphData* inTable = Load(a, 6, 6);
    EXPECT_EQ(FindLoadedMorphData(a), sim::MorphData_Set(inTable));
}

TEST_F(MemoryTest, AMissingMorphOrSourceIsLoggedAtOnce) {
    const std::string a = Target("a.tri", 6);
    sim::LoadedMorphData* d = sim::AddLoadedMorphData(a.substr(5));
    sim::MorphData_AddMorph(d, "NoseType3", 6, 6);
    EnsureTriCache("Nord", 2, set);
    EXPECT_EQ(FindLoadedMorph(sim::MorphData_Set(d), "NoseType33", false), nullptr);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_FALSE(ReplaceLoadedMorph(set, a, values, 2, "Nord"));
    EXPECT_TRUE(log.Contains("    ERROR: no morph found on memory. (NoseType33)"));

    log.Clear();
    const std::string empty = "data\\meshes\\out\\none.tri";
    set.fileSetNames.push_back(empty);
    sim::AddLoadedMorphData(empty.substr(5));
    EXPECT_FALSE(ReplaceLoadedMorph(set, empty, values, 2, "Nord"));
    EXPECT_TRUE(log.Contains("    ERROR: empty morphSource for : " + empty));
}

TEST_F(MemoryTest, TheWalkSkipsInvalidatedSlotsAndFollowsChains) {
    for (int i = 0; i < 5; ++i) sim::AddLoadedMorphData("meshes\\" + std::to_string(i) + ".tri");
    sim::AddLoadedMorphData("meshes\\x.tri", sim::LoadedList::Array);
    std::vector<std::string> seen;
    auto collect = [](TriEntry* e, void* c) {
        EXPECT_NE(e, sim::InvalidTriEntry());
        static_cast<std::vector<std::string>*>(c)->push_back(e->morphSet->fileName);
        return false;
    };
    LoadedResourceTable_Visit(collect, &seen);
    LoadedResourceArray_Visit(collect, &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"meshes\\0.tri", "meshes\\1.tri", "meshes\\2.tri", "meshes\\3.tri",
                                              "meshes\\4.tri", "meshes\\x.tri"}));
    int calls = 0;
    LoadedResourceTable_Visit([](TriEntry*, void* c) { return ++*static_cast<int*>(c) == 2; }, &calls);
    EXPECT_EQ(calls, 2) << "true stops the walk";
}

}  // namespace
