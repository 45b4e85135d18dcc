#include "morph/tri_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/log.h"
#include "config/model.h"
#include "morph/tri_format.h"
#include "tests/support/test_support.h"

namespace {

// A mesh of `vertices` vertices whose x coordinates start at `first`, with one morph per name;
// each morph's first delta carries `tag` so that its source can be told.
TriFile Source(uint32_t vertices, float first, const std::vector<std::string>& morphs, int16_t tag) {
    TriFile f;
    f.vertexCount = vertices;
    f.triangleCount = 1;
    f.uvCount = 1;
    for (uint32_t i = 0; i < vertices; ++i) f.vertices.push_back({first + float(i), 0, 0});
    f.triangles = {{0, 1, 2}};
    f.uvs = {{0.5f, 0.5f}};
    f.uvTriangles = {{0, 0, 0}};
    for (const std::string& name : morphs) {
        TriMorph m{name, 1.0f, std::vector<TriDelta>(vertices, TriDelta{0, 0, 0})};
        if (vertices) m.deltas[0].dx = tag;
        f.morphs.push_back(std::move(m));
    }
    return f;
}

class TriCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedFlags = LogOnce();
        LogOnce() = LogOnceFlags{};
        ClearTriCache();
    }
    void TearDown() override {
        ClearTriCache();
        LogOnce() = savedFlags;
    }
    void Put(const std::string& path, const TriFile& tri) { game.WriteFile(path, SerializeTri(tri)); }

    vtrtest::ScopedGameFolder game;
    vtrtest::LogCapture log;
    LogOnceFlags savedFlags;
};

TEST_F(TriCacheTest, RefillsOnlyWhenRaceOrSexChange) {
    RaceSetting rs;
    rs.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\";
    rs.fileSetNames = {"data\\meshes\\f\\Head.tri", "data\\meshes\\f\\eyes.tri"};
    rs.fileSets = {{"FHead.tri"}, {"FEyes.tri"}};
    rs.maleFileSetNames = {"data\\meshes\\m\\head.tri"};
    rs.maleFileSets = {{"MHead.tri"}};
    Put("data/Meshes/Vultrane/Sets/FHead.tri", Source(3, 0, {"Female"}, 1));
    Put("data/Meshes/Vultrane/Sets/FEyes.tri", Source(2, 0, {"Eyes"}, 2));
    Put("data/Meshes/Vultrane/Sets/MHead.tri", Source(4, 0, {"Male"}, 3));

    const size_t read0 = TriCacheFilesRead();
    EnsureTriCache("Nord", 2, rs);
    EXPECT_EQ(TriCacheFilesRead(), read0 + 2);
    EXPECT_EQ(CachedRaceName(), "Nord");
    EXPECT_EQ(CachedSexCode(), 2);
    ASSERT_EQ(TriCache().size(), 2u);
    EXPECT_EQ(TriCache()[0].name, "data\\meshes\\f\\Head.tri");
    EXPECT_EQ(TriCache()[1].name, "data\\meshes\\f\\eyes.tri");
    const TriFile* head = FindCachedTri("data\\meshes\\f\\Head.tri");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head, &TriCache()[0]);
    EXPECT_EQ(head->vertexCount, 3u);
    EXPECT_EQ(FindMorphIndex(*head, "Female"), 0);
    EXPECT_EQ(FindCachedTri("data\\meshes\\f\\head.tri"), nullptr);  // case counts
    EXPECT_EQ(FindCachedTri("data\\meshes\\f\\Head.tri "), nullptr);
    EXPECT_EQ(FindCachedTri("data\\meshes\\f\\eyes.tri")->morphs.at(0).name, "Eyes");

    // Same race and sex: no file is read, even when the files have gone.
    std::filesystem::remove_all(game.Path() + "/data/Meshes/Vultrane/Sets");
    log.Clear();
    EnsureTriCache("Nord", 2, rs);
    EXPECT_EQ(TriCacheFilesRead(), read0 + 2);
    EXPECT_EQ(TriCache().size(), 2u);
    EXPECT_TRUE(log.Lines().empty());

    // The other sex rebuilds from its own lists.
    Put("data/Meshes/Vultrane/Sets/MHead.tri", Source(4, 0, {"Male"}, 3));
    EnsureTriCache("Nord", 1, rs);
    EXPECT_EQ(TriCacheFilesRead(), read0 + 3);
    EXPECT_EQ(CachedSexCode(), 1);
    ASSERT_EQ(TriCache().size(), 1u);
    EXPECT_EQ(TriCache()[0].name, "data\\meshes\\m\\head.tri");
    EXPECT_EQ(TriCache()[0].vertexCount, 4u);
    EXPECT_EQ(FindCachedTri("data\\meshes\\f\\Head.tri"), nullptr);
    // Another race with the same set refills too; the key is the race name.
    EnsureTriCache("Breton", 1, rs);
    EXPECT_EQ(TriCacheFilesRead(), read0 + 4);
    EXPECT_EQ(CachedRaceName(), "Breton");

    // A cleared cache is filled again by the next call for the same key.
    ClearTriCache();
    EXPECT_TRUE(TriCache().empty());
    EXPECT_EQ(FindCachedTri("data\\meshes\\m\\head.tri"), nullptr);
    EnsureTriCache("Breton", 1, rs);
    EXPECT_EQ(TriCacheFilesRead(), read0 + 5);
    ASSERT_EQ(TriCache().size(), 1u);
    EXPECT_EQ(TriCache()[0].morphs.at(0).name, "Male");

    // A target without a source list (a set whose lists disagree) is cached empty.
    rs.maleFileSetNames.push_back("data\\meshes\\m\\extra.tri");
    EnsureTriCache("Orc", 1, rs);
    ASSERT_EQ(TriCache().size(), 2u);
    EXPECT_EQ(TriCache()[1].vertexCount, 0u);
    EXPECT_TRUE(TriCache()[1].morphs.empty());
}

TEST_F(TriCacheTest, SourcesOfOneTarget) {
    Log_ArmOnceFlags();
    Put("data/Sets/First.tri", Source(3, 0, {"A", "B"}, 1));
    Put("data/Sets/Second.tri", Source(3, 10, {"C", "A"}, 2));
    Put("data/meshe/Whole.tri", Source(2, 5, {"W"}, 3));
    Put("data/Root.tri", Source(1, 7, {"R"}, 4));

    // A directory longer than six characters loses "data\"; two sources: the second's
    // geometry, the morphs of both in file order; a missing one is reported and passed over.
    const size_t read0 = TriCacheFilesRead();
    CacheTriFiles("data\\Sets\\", "data\\t.tri", {"First.tri", "Missing.tri", "Second.tri"});
    EXPECT_EQ(TriCacheFilesRead(), read0 + 2);
    ASSERT_EQ(log.Lines().size(), 3u);
    EXPECT_EQ(log.Lines()[0], "info: cache tri, check start.");
    EXPECT_EQ(log.Lines()[1], "    ERROR: no source .tri found (Sets\\Missing.tri).");
    EXPECT_EQ(log.Lines()[2], "info: cache tri, success.");
    ASSERT_EQ(TriCache().size(), 1u);
    const TriFile& t = TriCache()[0];
    EXPECT_EQ(t.name, "data\\t.tri");
    EXPECT_EQ(t.vertexCount, 3u);
    ASSERT_EQ(t.vertices.size(), 3u);
    EXPECT_EQ(t.vertices[0].x, 10.0f);
    ASSERT_EQ(t.morphs.size(), 4u);
    const char* names[] = {"A", "B", "C", "A"};
    const int16_t tags[] = {1, 1, 2, 2};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(t.morphs[i].name, names[i]);
        EXPECT_EQ(t.morphs[i].deltas.at(0).dx, tags[i]);
    }
    EXPECT_EQ(FindMorphIndex(t, "A"), 0);
    EXPECT_EQ(FindMorphIndex(t, "C"), 2);

    // Six characters or fewer: used whole (and the once-only lines stay silent now).
    log.Clear();
    CacheTriFiles("meshe\\", "w", {"Whole.tri"});
    CacheTriFiles("", "r", {"Root.tri"});
    EXPECT_TRUE(log.Lines().empty());
    ASSERT_EQ(TriCache().size(), 3u);
    EXPECT_EQ(TriCache()[1].vertices.at(0).x, 5.0f);
    EXPECT_EQ(TriCache()[2].morphs.at(0).name, "R");
    EXPECT_EQ(FindCachedTri("w"), &TriCache()[1]);

    // Nothing opened: an empty TriFile is still appended.
    CacheTriFiles("data\\Sets\\", "none", {"Gone.tri", "Gone2.tri"});
    EXPECT_EQ(log.Count("    ERROR: no source .tri found (Sets\\Gone.tri)."), 1u);
    EXPECT_EQ(log.Count("    ERROR: no source .tri found (Sets\\Gone2.tri)."), 1u);
    const TriFile* none = FindCachedTri("none");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->vertexCount, 0u);
    EXPECT_EQ(none->triangleCount, 0u);
    EXPECT_TRUE(none->morphs.empty() && none->vertices.empty());
}

TEST_F(TriCacheTest, UnreadableFilesAndMorphsOfAnotherMesh) {
    // A cut file contributes nothing and says why; the file before it stands.
    Put("data/Sets/Good.tri", Source(3, 1, {"G"}, 1));
    std::string cut = SerializeTri(Source(3, 2, {"X"}, 2));
    cut.resize(cut.size() - 1);
    game.WriteFile("data/Sets/Cut.tri", cut);
    CacheTriFiles("data\\Sets\\", "t", {"Good.tri", "Cut.tri"});
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "    ERROR: cannot read source .tri (Sets\\Cut.tri): morph 0 \"X\" deltas cut short at byte " +
                                  std::to_string(cut.size()) + ".");
    const TriFile* t = FindCachedTri("t");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->vertices.at(0).x, 1.0f);
    ASSERT_EQ(t->morphs.size(), 1u);
    EXPECT_EQ(t->morphs[0].name, "G");

    // Morphs whose delta count differs from the target's vertex count are dropped, in one line
    // per source file with both counts; the index follows.
    log.Clear();
    Put("data/Sets/Three.tri", Source(3, 0, {"Keep3", "Drop"}, 1));
    Put("data/Sets/Two.tri", Source(2, 0, {"Drop", "Keep2"}, 2));
    CacheTriFiles("data\\Sets\\", "m", {"Three.tri", "Two.tri"});
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0],
              "    ERROR: Sets\\Three.tri has 3 vertices, the target m has 2 (from its last source); its 2 morphs are not "
              "used.");
    const TriFile* m = FindCachedTri("m");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexCount, 2u);
    ASSERT_EQ(m->morphs.size(), 2u);
    EXPECT_EQ(m->morphs[0].name, "Drop");
    EXPECT_EQ(m->morphs[0].deltas.at(0).dx, 2);
    EXPECT_EQ(m->morphs[1].name, "Keep2");
    EXPECT_EQ(FindMorphIndex(*m, "Drop"), 0);
    EXPECT_EQ(FindMorphIndex(*m, "Keep2"), 1);
    EXPECT_EQ(FindMorphIndex(*m, "Keep3"), -1);
    for (const TriMorph& morph : m->morphs) EXPECT_EQ(morph.deltas.size(), m->vertexCount);
}

}  // namespace
