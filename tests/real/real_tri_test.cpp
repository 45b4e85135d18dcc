// Real FaceGen files from the games and from mods, read from the shared folder beside the
// project when it is there (a user's clone has none: every test then skips, saying so).
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/model.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFolder = fs::path(VTR_SOURCE_DIR) / ".." / "shared" / "real-tri";

std::string Gunzip(const fs::path& path) {
    std::string out;
    gzFile in = gzopen(path.string().c_str(), "rb");
    if (!in) return out;
    char buffer[1 << 16];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    gzclose(in);
    return out;
}

// Every real file, unpacked, by its name without ".gz".
const std::map<std::string, std::string>& RealFiles() {
    static const std::map<std::string, std::string> files = [] {
        std::map<std::string, std::string> m;
        std::error_code ec;
        if (!fs::is_directory(kFolder, ec)) return m;
        for (const auto& e : fs::directory_iterator(kFolder, ec)) {
            const std::string name = e.path().filename().string();
            if (name.size() > 7 && name.compare(name.size() - 7, 7, ".tri.gz") == 0)
                m[name.substr(0, name.size() - 3)] = Gunzip(e.path());
        }
        return m;
    }();
    return files;
}

#define REQUIRE_REAL_FILES()                                                                  \
    do {                                                                                      \
        if (RealFiles().empty()) { GTEST_SKIP() << "no real .tri files at " << kFolder.string(); } \
    } while (0)

const std::string& Real(const std::string& name) {
    static const std::string kNone;
    auto it = RealFiles().find(name);
    EXPECT_NE(it, RealFiles().end()) << name << " is not in " << kFolder.string();
    return it == RealFiles().end() ? kNone : it->second;
}

TriReadResult ReadBytes(const std::string& bytes, TriFile& file) {
    TriMemorySource source(bytes.data(), bytes.size());
    return ReadTriBody(source, file);
}

TEST(RealTri, EveryFileReadsWholeAndWritesBackByteForByte) {
    REQUIRE_REAL_FILES();
    for (const auto& [name, bytes] : RealFiles()) {
        SCOPED_TRACE(name);
        ASSERT_GT(bytes.size(), 64u);
        TriFile f;
        const TriReadResult r = ReadBytes(bytes, f);
        ASSERT_TRUE(r.ok) << r.error;
        uint32_t morphs = 0;
        std::memcpy(&morphs, bytes.data() + 36, 4);
        EXPECT_EQ(f.morphs.size(), morphs);
        for (const TriMorph& m : f.morphs) EXPECT_EQ(m.deltas.size(), f.vertexCount) << m.name;
        // Every block, the statistical morphs behind the difference morphs included, comes back.
        const std::string again = SerializeTri(f);
        EXPECT_EQ(again.size(), bytes.size());
        EXPECT_TRUE(again == bytes) << "first difference at byte "
                                    << (std::mismatch(again.begin(), again.end(), bytes.begin(), bytes.end()).first -
                                        again.begin());
        TriFile twice;
        ASSERT_TRUE(ReadBytes(again, twice).ok);
        EXPECT_EQ(SerializeTri(twice), again);
    }

    // The child eyes carry statistical morphs over modifier vertices.
    TriFile eyes;
    ASSERT_TRUE(ReadBytes(Real("eyeschild.tri"), eyes).ok);
    EXPECT_EQ(eyes.modifierMorphCount, 8u);
    EXPECT_EQ(eyes.modifierVertices.size(), 825u);
    const std::vector<TriModifierMorphInfo> stats = ListModifierMorphs(eyes);
    ASSERT_EQ(stats.size(), 8u);
    EXPECT_EQ(stats[0].name, "SquintRight");
    EXPECT_EQ(stats[0].vertexCount, 54u);
    // More texture coordinates than vertices.
    TriFile mod;
    ASSERT_TRUE(ReadBytes(Real("bad_tri.tri"), mod).ok);
    EXPECT_GT(mod.uvCount, mod.vertexCount);
    EXPECT_EQ(mod.uvs.size(), mod.uvCount);
}

class RealMerge : public ::testing::Test {
protected:
    void SetUp() override {
        ClearTriCache();
        folder.WriteFile("data/meshes/out/keep", "");
        rs.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\";
        rs.raceSetName = "Real";
        rs.sliders = {vtrtest::MorphPairSlider(28, "NoseUp", "NoseDown")};
    }
    void TearDown() override { ClearTriCache(); }
    void Source(const std::string& name, const std::string& bytes) {
        folder.WriteFile("data/Meshes/Vultrane/Sets/" + name, bytes);
    }
    TriFile ReadOut(const std::string& path) {
        TriFile f;
        const TriReadResult r = ReadBytes(folder.ReadFile(path), f);
        EXPECT_TRUE(r.ok) << r.error;
        return f;
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    RaceSetting rs;
};

TEST_F(RealMerge, ARealChargenHeadAndRealEyesAreCarriedIntoTheMergedFiles) {
    REQUIRE_REAL_FILES();
    Source("Head.tri", Real("OtterMaleHeadChargen.tri"));
    Source("Eyes.tri", Real("eyeschild.tri"));
    rs.fileSetNames = {"data\\meshes\\out\\headchargen.tri", "data\\meshes\\out\\eyeschargen.tri"};
    rs.fileSets = {{"Head.tri"}, {"Eyes.tri"}};
    EnsureTriCache("Otter", 2, rs);
    ASSERT_TRUE(WriteMergedTri(rs, rs.fileSetNames[0], {{28, 0.7}}, 2));
    ASSERT_TRUE(WriteMergedTri(rs, rs.fileSetNames[1], {{28, 0.7}}, 2));
    EXPECT_FALSE(log.Contains("ERROR")) << log.Lines().front();

    TriFile source, written;
    ASSERT_TRUE(ReadBytes(Real("OtterMaleHeadChargen.tri"), source).ok);
    written = ReadOut("data/meshes/out/headchargen.tri");
    // Every chargen morph of the source is copied with its scale and deltas; the merged one is new.
    size_t copied = 0;
    for (const TriMorph& m : written.morphs) {
        const int i = FindMorphIndex(source, m.name);
        if (i < 0) continue;
        ++copied;
        const TriMorph& s = source.morphs[static_cast<size_t>(i)];
        EXPECT_EQ(m.scale, s.scale) << m.name;
        ASSERT_EQ(m.deltas.size(), s.deltas.size());
        EXPECT_EQ(std::memcmp(m.deltas.data(), s.deltas.data(), m.deltas.size() * sizeof(TriDelta)), 0) << m.name;
    }
    EXPECT_EQ(copied, source.morphs.size());
    const int merged = FindMorphIndex(written, "NoseType32");
    ASSERT_GE(merged, 0);
    const TriMorph& noseUp = source.morphs[static_cast<size_t>(FindMorphIndex(source, "NoseUp"))];
    size_t moved = 0;
    for (size_t v = 0; v < noseUp.deltas.size(); ++v) {
        const TriDelta& d = written.morphs[static_cast<size_t>(merged)].deltas[v];
        const TriDelta& n = noseUp.deltas[v];
        moved += (d.dx | d.dy | d.dz) != 0;
        if ((n.dx | n.dy | n.dz) == 0) {
            EXPECT_TRUE((d.dx | d.dy | d.dz) == 0) << v;
        }
    }
    EXPECT_GT(moved, 0u);

    // The eyes keep their modifier vertices and statistical morphs byte for byte, after the
    // difference morphs, with their counts.
    TriFile eyesSource;
    ASSERT_TRUE(ReadBytes(Real("eyeschild.tri"), eyesSource).ok);
    const TriFile eyes = ReadOut("data/meshes/out/eyeschargen.tri");
    EXPECT_EQ(eyes.modifierMorphCount, 8u);
    EXPECT_EQ(eyes.modifierVertexCount, 825u);
    EXPECT_EQ(eyes.modifierMorphs, eyesSource.modifierMorphs);
    ASSERT_EQ(eyes.modifierVertices.size(), eyesSource.modifierVertices.size());
    EXPECT_EQ(std::memcmp(eyes.modifierVertices.data(), eyesSource.modifierVertices.data(),
                          eyes.modifierVertices.size() * sizeof(TriVertex)),
              0);
    const std::string bytes = folder.ReadFile("data/meshes/out/eyeschargen.tri");
    EXPECT_EQ(bytes.substr(bytes.size() - eyesSource.modifierMorphs.size()), eyesSource.modifierMorphs);
}

TEST_F(RealMerge, ATargetWhoseSourcesAllFailKeepsTheRealFileInPlace) {
    REQUIRE_REAL_FILES();
    const std::string& head = Real("malehead.tri");
    folder.WriteFile("data/meshes/out/malehead.tri", head);
    folder.WriteFile("data/meshes/out/eyes.tri", Real("eyeschild.tri"));
    Source("Broken.tri", head.substr(0, 5000));
    Source("Eyes.tri", Real("eyeschild.tri"));
    rs.maleFileSetNames = {"data\\meshes\\out\\malehead.tri", "data\\meshes\\out\\eyes.tri"};
    rs.maleFileSets = {{"Missing.tri", "Broken.tri"}, {"Eyes.tri"}};
    EnsureTriCache("Nord", 1, rs);
    EXPECT_FALSE(WriteMergedTri(rs, rs.maleFileSetNames[0], {{28, 1.0}}, 1));
    EXPECT_EQ(folder.ReadFile("data/meshes/out/malehead.tri"), head);
    EXPECT_TRUE(log.Contains("    ERROR: no source of data\\meshes\\out\\malehead.tri could be read; it is not written "
                             "and the old file is kept."));
    // The other target is still written.
    EXPECT_TRUE(WriteMergedTri(rs, rs.maleFileSetNames[1], {{28, 1.0}}, 1));
    EXPECT_NE(folder.ReadFile("data/meshes/out/eyes.tri"), Real("eyeschild.tri"));
}

TEST_F(RealMerge, ASourceOfAnotherMeshIsOneLinePerRefill) {
    REQUIRE_REAL_FILES();
    Source("Eyes.tri", Real("eyeschild.tri"));
    Source("Head.tri", Real("OtterMaleHeadChargen.tri"));
    rs.fileSetNames = {"data\\meshes\\out\\head.tri"};
    rs.fileSets = {{"Eyes.tri", "Head.tri"}};
    for (const char* race : {"A", "B"}) {
        log.Clear();
        EnsureTriCache(race, 2, rs);
        size_t lines = 0;
        for (const std::string& l : log.Lines()) lines += l.find("ERROR") != std::string::npos;
        EXPECT_EQ(lines, 1u) << race;
        EXPECT_TRUE(log.Contains("    ERROR: Meshes\\Vultrane\\Sets\\Eyes.tri has 204 vertices, the target "
                                 "data\\meshes\\out\\head.tri has 5207 (from its last source); its 14 morphs are not used."));
    }
    ASSERT_EQ(TriCache().size(), 1u);
    EXPECT_EQ(TriCache()[0].morphs.size(), 52u);
}

}  // namespace
