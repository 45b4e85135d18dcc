#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "config/model.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "os/os.h"
#include "tests/support/test_support.h"
#include "tools/trigen/plan.h"

namespace {

SliderDef Slider(int32_t id, int32_t type, const std::string& target, const std::string& low = "", int sexMask = 3) {
    SliderDef s;
    s.uniqueID = id;
    s.type = type;
    s.target = target;
    s.lowTarget = low;
    s.sexMask = sexMask;
    return s;
}

TriMorph Morph(const std::string& name, float scale, uint32_t vertices, uint32_t at = 0, TriDelta d = {0, 0, 0}) {
    TriMorph m;
    m.name = name;
    m.scale = scale;
    m.deltas.assign(vertices, TriDelta{0, 0, 0});
    if (at < vertices) m.deltas[at] = d;
    return m;
}

TriFile Mesh(uint32_t vertices) {
    TriFile f;
    f.vertexCount = vertices;
    f.triangleCount = 1;
    f.uvCount = 3;
    for (uint32_t i = 0; i < vertices; ++i) f.vertices.push_back({float(i), float(i) * 0.5f, -float(i)});
    f.triangles.push_back({0, 1, 2});
    f.uvs = {{0, 0}, {1, 0}, {0, 1}};
    f.uvTriangles.push_back({0, 1, 2});
    return f;
}

// Accumulated offset of one vertex for a list of values.
std::array<double, 3> Offset(const SliderValueList& values, const RaceSetting& rs, const TriFile& tri, uint32_t v,
                             int flag, int sexCode = 2, const std::string& target = "data\\head.tri") {
    std::vector<double> acc(size_t(tri.vertexCount) * 3, 0.0);
    AccumulateMorphs(acc, values, rs, target, tri, tri.vertexCount, sexCode, flag);
    return {acc[3 * v], acc[3 * v + 1], acc[3 * v + 2]};
}

TEST(MorphMerge, SlidersChooseTheirMorphAndWeight) {
    RaceSetting rs;
    rs.sliders = {Slider(28, kSliderMorphPair, "NoseUp", "NoseDown"), Slider(26, kSliderMorph, "NoseType"),
                  Slider(902, kSliderNodeScale, ""), Slider(903, kSliderNodeScale, ""),
                  Slider(40, kSliderMorphPair, "MaleOnly", "MaleOnlyLow", 1)};
    TriFile tri = Mesh(4);
    const float s = 0.013f;
    tri.morphs = {Morph("NoseDown", s, 4, 1, {100, 0, 0}),    Morph("NoseUp", 2.0f, 4, 1, {0, 7, 0}),
                  Morph("NoseType0", 1.0f, 4, 2, {1, 2, 3}),  Morph("NoseType3", 1.0f, 4, 2, {-4, 0, 0}),
                  Morph("VTR_HeadLargeNPC", 0.5f, 4, 3, {10, 0, 0}), Morph("VTR_HeadSmallNPC", 0.25f, 4, 3, {0, 10, 0}),
                  Morph("VTR_NeckLongNPC", 1.0f, 4, 0, {0, 0, 3}), Morph("VTR_NeckShortNPC", 1.0f, 4, 0, {0, 0, -3}),
                  Morph("MaleOnly", 1.0f, 4, 0, {5, 5, 5}),    Morph("NoseUp", 100.0f, 4, 1, {0, 100, 0})};
    IndexTriMorphs(tri);

    // The sign picks the morph, the magnitude weighs it: -0.5 on the low morph.
    auto a = Offset({{28, -0.5}}, rs, tri, 1, kMergeMain);
    EXPECT_DOUBLE_EQ(a[0], 0.5 * double(s) * 100);
    EXPECT_EQ(a[1], 0.0);
    // The first of two morphs of one name is used.
    a = Offset({{28, 1.0}}, rs, tri, 1, kMergeMain);
    EXPECT_DOUBLE_EQ(a[1], 14.0);
    // Type 1: value plus a half, truncated, names the morph; weight 1 whatever the value.
    EXPECT_EQ(Offset({{26, 0.4}}, rs, tri, 2, kMergeMain), (std::array<double, 3>{1, 2, 3}));
    EXPECT_EQ(Offset({{26, 2.6}}, rs, tri, 2, kMergeMain), (std::array<double, 3>{-4, 0, 0}));
    EXPECT_EQ(Offset({{26, 7.0}}, rs, tri, 2, kMergeMain), (std::array<double, 3>{0, 0, 0}));  // no NoseType7
    // The neck-and-head morph: 902 weighs by five times its value; other sliders do nothing.
    a = Offset({{902, 0.2}, {28, 1.0}}, rs, tri, 3, kMergeNeckAndHead);
    EXPECT_NEAR(a[0], 5.0, 1e-12);  // weight 1.0 x scale 0.5 x 10
    EXPECT_EQ(a[1], 0.0);
    a = Offset({{902, -0.2}}, rs, tri, 3, kMergeNeckAndHead);
    EXPECT_NEAR(a[1], 2.5, 1e-12);
    EXPECT_NEAR(Offset({{903, -0.5}}, rs, tri, 0, kMergeNeckAndHead)[2], -1.5, 1e-12);
    EXPECT_NEAR(Offset({{903, 0.0}}, rs, tri, 0, kMergeNeckAndHead)[2], 0.0, 1e-12);
    EXPECT_EQ(Offset({{902, 0.2}}, rs, tri, 3, kMergeMain)[0], 0.0);  // node sliders are no morph sliders
    // A slider of the other sex contributes nothing; the same slider for its sex does.
    EXPECT_EQ(Offset({{40, 1.0}}, rs, tri, 0, kMergeMain, 2)[0], 0.0);
    EXPECT_EQ(Offset({{40, 1.0}}, rs, tri, 0, kMergeMain, 1)[0], 5.0);
    // Values that are not numbers contribute nothing instead of spreading NaN.
    a = Offset({{28, NAN}, {28, INFINITY}, {28, -0.5}}, rs, tri, 1, kMergeMain);
    EXPECT_DOUBLE_EQ(a[0], 0.5 * double(s) * 100);
    // Values add up in list order, duplicates included.
    a = Offset({{28, 1.0}, {28, 1.0}, {28, -1.0}}, rs, tri, 1, kMergeMain);
    EXPECT_DOUBLE_EQ(a[1], 28.0);
    EXPECT_DOUBLE_EQ(a[0], double(s) * 100);
}

TEST(MorphMerge, QuantisationPutsTheLargestComponentAtFullScale) {
    RaceSetting rs;
    rs.sliders = {Slider(28, kSliderMorphPair, "Up", "Down")};
    TriFile tri = Mesh(3);
    const float s = 0.0123f;
    tri.morphs = {Morph("Down", s, 3, 1, {100, -20, 0})};
    IndexTriMorphs(tri);
    MergedMorph m = BuildMergedMorph({{28, -0.5}}, rs, "data\\head.tri", tri, 3, 2, kMergeMain);
    const double maxAbs = 0.5 * double(s) * 100;
    EXPECT_EQ(m.scale, static_cast<float>(maxAbs / 32767.0));
    ASSERT_EQ(m.deltas.size(), 3u);
    EXPECT_TRUE(m.deltas[1].dx == 32767 || m.deltas[1].dx == 32766) << m.deltas[1].dx;
    EXPECT_EQ(m.deltas[1].dy, static_cast<int16_t>(std::trunc(-0.5 * double(s) * 20 / double(m.scale))));
    EXPECT_EQ(m.deltas[0].dx, 0);
    // Nothing to merge: scale 1 and zero deltas.
    MergedMorph none = BuildMergedMorph({}, rs, "data\\head.tri", tri, 3, 2, kMergeMain);
    EXPECT_EQ(none.scale, 1.0f);
    for (const TriDelta& d : none.deltas) EXPECT_TRUE(d.dx == 0 && d.dy == 0 && d.dz == 0);
    // A morph shorter than the vertex count is never read past its end.
    tri.morphs[0].deltas.resize(1);
    MergedMorph shorter = BuildMergedMorph({{28, -1.0}}, rs, "data\\head.tri", tri, 3, 2, kMergeMain);
    EXPECT_EQ(shorter.scale, 1.0f);
    // Absurd values give a zero morph, not garbage.
    tri.morphs[0].deltas.assign(3, TriDelta{32767, 32767, 32767});
    tri.morphs[0].scale = 1.0f;
    vtrtest::LogCapture log;
    MergedMorph huge = BuildMergedMorph({{28, -1e304}}, rs, "data\\head.tri", tri, 3, 2, kMergeMain);
    EXPECT_EQ(huge.scale, 1.0f);
    for (const TriDelta& d : huge.deltas) EXPECT_EQ(d.dx, 0);
    EXPECT_FALSE(huge.usable);
    EXPECT_TRUE(log.Contains("    WARNING: merged morph of data\\head.tri is out of range (largest slider values: "
                             "28=-1e+304); it is neither written nor patched."));
}

TEST(MorphMerge, VertexEditsMoveTheirVertexInTheMainModelAndItsExtraModels) {
    vertexEditData edit;
    edit.female.name = "data\\head.tri";
    edit.female.extraModels = {{"data\\eyes.tri", {{5, 1}, {5, 2}, {6, 0}}}};
    edit.male.name = "data\\malehead.tri";
    RaceSetting rs;
    rs.vertexEdit = &edit;
    TriFile tri = Mesh(8);
    const double packed = (127 + 10) * 65536.0 + 127 * 256.0 + (127 - 5);
    ASSERT_EQ(packed, 9011066.0);
    auto a = Offset({{-10005, packed}}, rs, tri, 5, kMergeMain);
    EXPECT_NEAR(a[0], 0.10, 1e-12);
    EXPECT_EQ(a[1], 0.0);
    EXPECT_NEAR(a[2], -0.05, 1e-12);
    // In an extra model the first pair of the head vertex gives the model's vertex.
    a = Offset({{-10005, packed}}, rs, tri, 1, kMergeMain, 2, "data\\eyes.tri");
    EXPECT_NEAR(a[0], 0.10, 1e-12);
    EXPECT_EQ(Offset({{-10005, packed}}, rs, tri, 2, kMergeMain, 2, "data\\eyes.tri")[0], 0.0);
    // Not in the neck-and-head morph, not in another model, not outside the vertex count,
    // and the male block for men.
    EXPECT_EQ(Offset({{-10005, packed}}, rs, tri, 5, kMergeNeckAndHead)[0], 0.0);
    EXPECT_EQ(Offset({{-10005, packed}}, rs, tri, 5, kMergeMain, 2, "data\\other.tri")[0], 0.0);
    EXPECT_EQ(Offset({{-10005, packed}}, rs, tri, 5, kMergeMain, 1)[0], 0.0);
    EXPECT_NEAR(Offset({{-10005, packed}}, rs, tri, 5, kMergeMain, 1, "data\\malehead.tri")[0], 0.10, 1e-12);
    std::vector<double> acc(24, 0.0);
    AccumulateMorphs(acc, {{-10008, packed}, {INT32_MIN, packed}, {-10000, -1e300}}, rs, "data\\head.tri", tri, 8, 2,
                     kMergeMain);
    // -10000 is vertex 0; a value far below the range saturates to the lowest integer,
    // whose bytes are (0, 0, 0): each axis moves by -1.27.
    for (int i = 3; i < 24; ++i) EXPECT_EQ(acc[size_t(i)], 0.0) << i;
    EXPECT_NEAR(acc[0], -1.27, 1e-12);
}

// ----- Written files ---------------------------------------------------------------------------

std::string ReadFile(const std::string& path) {
    std::ifstream in(os::ResolvePath(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Written {
    TriFile file;
    std::vector<std::string> names;
    uint32_t headerMorphCount = 0;
};

Written ReadWritten(const std::string& path) {
    Written w;
    std::string bytes = ReadFile(path);
    EXPECT_GE(bytes.size(), 64u);
    if (bytes.size() < 64) return w;
    std::memcpy(&w.headerMorphCount, bytes.data() + 36, 4);
    TriMemorySource src(bytes.data(), bytes.size());
    TriReadResult r = ReadTriBody(src, w.file);
    EXPECT_TRUE(r.ok) << r.error;
    for (const TriMorph& m : w.file.morphs) w.names.push_back(m.name);
    return w;
}

class MergedTriFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ClearTriCache();
        folder.WriteFile("data/Meshes/Vultrane/Sets/keep", "");
        folder.WriteFile("data/meshes/out/keep", "");
        rs.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\";
        rs.raceSetName = "Test";
        rs.fileSetNames = {"data\\meshes\\out\\head.tri"};
        rs.fileSets = {{"Head.tri"}};
        rs.sliders = {Slider(28, kSliderMorphPair, "NoseUp", "NoseDown"), Slider(1000, kSliderMorph, "Extra")};
    }
    void TearDown() override { ClearTriCache(); }

    void WriteSource(const TriFile& tri) {
        folder.WriteFile("data/Meshes/Vultrane/Sets/Head.tri", SerializeTri(tri));
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    RaceSetting rs;
};

TEST_F(MergedTriFiles, RecordsFollowTheFixedOrderAndTheCountIsPatched) {
    TriFile src = Mesh(5);
    // Source order differs from the written order; names outside the list are dropped.
    src.morphs = {Morph("NoseType34", 1.0f, 5, 1, {1, 1, 1}), Morph("Extra2", 1.0f, 5, 0, {9, 9, 9}),
                  Morph("EyesType40", 1.0f, 5), Morph("NoseUp", 0.5f, 5, 2, {40, 0, 0}),
                  Morph("EyesType3", 1.0f, 5), Morph("NoseDown", 0.25f, 5, 2, {0, 0, 8}),
                  Morph("NoseType33", 1.0f, 5), Morph("VampireMorph", 0.75f, 5, 4, {3, 2, 1}),
                  Morph("EyesMoveDown", 1.0f, 5), Morph("NoseUp", 9.0f, 5)};
    WriteSource(src);
    EnsureTriCache("Nord", 2, rs);
    ASSERT_TRUE(WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {{28, 0.5}, {1000, 2.0}}, 2));
    Written w = ReadWritten("data/meshes/out/head.tri");
    EXPECT_EQ(w.names, (std::vector<std::string>{"EyesMoveDown", "NoseDown", "NoseUp", "VampireMorph", "EyesType3",
                                                 "NoseType32", "LipType33", "NoseType33", "NoseType34"}));
    EXPECT_EQ(w.headerMorphCount, w.names.size());
    EXPECT_EQ(w.file.vertexCount, 5u);
    EXPECT_EQ(w.file.triangleCount, 1u);
    EXPECT_EQ(w.file.uvCount, 3u);
    ASSERT_EQ(w.file.vertices.size(), 5u);
    EXPECT_EQ(w.file.vertices[4].z, -4.0f);
    std::string bytes = ReadFile("data/meshes/out/head.tri");
    uint32_t flags = 0;
    std::memcpy(&flags, bytes.data() + 32, 4);
    EXPECT_EQ(flags, 1u);
    // Copied records keep the first source morph's scale and deltas.
    EXPECT_EQ(w.file.morphs[1].scale, 0.25f);
    EXPECT_EQ(w.file.morphs[2].scale, 0.5f);
    EXPECT_EQ(w.file.morphs[2].deltas[2].dx, 40);
    EXPECT_EQ(w.file.morphs[3].scale, 0.75f);
    // The main merged morph: NoseUp at 0.5 and Extra2 at weight 1.
    const TriMorph& main = w.file.morphs[5];
    EXPECT_FLOAT_EQ(main.scale, static_cast<float>(10.0 / 32767.0));
    EXPECT_EQ(main.deltas[2].dx, 32767);
    EXPECT_NEAR(main.deltas[0].dx, 9 * 32767 / 10.0, 1.0);
    // The neck-and-head morph is empty: scale 1, zero deltas.
    EXPECT_EQ(w.file.morphs[6].scale, 1.0f);
    for (const TriDelta& d : w.file.morphs[6].deltas) EXPECT_TRUE(d.dx == 0 && d.dy == 0 && d.dz == 0);
    EXPECT_FALSE(log.Contains("ERROR"));
}

TEST_F(MergedTriFiles, ASourceWithoutVampireMorphAndAnEmptyValueListStillGiveTheReservedRecords) {
    TriFile src = Mesh(3);
    src.morphs = {Morph("BrowUp", 1.0f, 3, 0, {5, 0, 0})};
    WriteSource(src);
    EnsureTriCache("Nord", 2, rs);
    ASSERT_TRUE(WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {}, 2));
    Written w = ReadWritten("data/meshes/out/head.tri");
    EXPECT_EQ(w.names, (std::vector<std::string>{"BrowUp", "VampireMorph", "NoseType32", "LipType33"}));
    EXPECT_EQ(w.headerMorphCount, 4u);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(w.file.morphs[i].scale, 1.0f) << w.names[i];
        ASSERT_EQ(w.file.morphs[i].deltas.size(), 3u);
        for (const TriDelta& d : w.file.morphs[i].deltas) EXPECT_TRUE(d.dx == 0 && d.dy == 0 && d.dz == 0);
    }
    // The name length counts its terminator.
    std::string bytes = ReadFile("data/meshes/out/head.tri");
    const size_t at = bytes.find("VampireMorph");
    ASSERT_NE(at, std::string::npos);
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + at - 4, 4);
    EXPECT_EQ(length, 13u);
    EXPECT_EQ(bytes[at + 12], '\0');
}

TEST_F(MergedTriFiles, FailuresLeaveTheOldFileAndSayWhat) {
    TriFile src = Mesh(3);
    src.morphs = {Morph("NoseUp", 1.0f, 3, 0, {5, 0, 0})};
    WriteSource(src);
    EnsureTriCache("Nord", 2, rs);
    folder.WriteFile("data/meshes/out/head.tri", "the old file");

    // A target with no cached source.
    EXPECT_FALSE(WriteMergedTri(rs, "data\\meshes\\out\\other.tri", {}, 2));
    EXPECT_TRUE(log.Contains("\tERROR: empty morphSource for : data\\meshes\\out\\other.tri"));
    // A disk that fills part-way through.
    for (size_t cut : {0u, 10u, 64u, 100u}) {
        log.Clear();
        os::InjectWriteFailureAfter(cut);
        EXPECT_FALSE(WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {{28, 1.0}}, 2));
        os::InjectWriteFailureAfter(SIZE_MAX);
        EXPECT_EQ(ReadFile("data/meshes/out/head.tri"), "the old file") << cut;
        EXPECT_TRUE(log.Contains(
            "    ERROR: cannot write new .tri (data\\meshes\\out\\head.tri): write failed; the old file is kept."))
            << cut;
    }
    // A missing folder is not created.
    log.Clear();
    rs.fileSetNames = {"data\\meshes\\missing\\head.tri"};
    ClearTriCache();
    EnsureTriCache("Imperial", 2, rs);
    EXPECT_FALSE(WriteMergedTri(rs, "data\\meshes\\missing\\head.tri", {}, 2));
    EXPECT_TRUE(log.Contains("    ERROR: cannot write new .tri (data\\meshes\\missing\\head.tri)"));
    // And then a good write replaces the old file.
    rs.fileSetNames = {"data\\meshes\\out\\head.tri"};
    ClearTriCache();
    EnsureTriCache("Nord", 2, rs);
    EXPECT_TRUE(WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {{28, 1.0}}, 2));
    EXPECT_EQ(ReadWritten("data/meshes/out/head.tri").names.size(), 4u);
}

// The merge never reads the blocks real files carry besides geometry and difference morphs, but
// the written file must still hold them as the geometry source had them.
TEST_F(MergedTriFiles, EveryBlockOfTheGeometrySourceIsCarriedThrough) {
    for (bool perVertexUvs : {false, true}) {
        SCOPED_TRACE(perVertexUvs);
        ClearTriCache();
        TriFile src = Mesh(9);
        src.morphs = {Morph("NoseUp", 0.5f, 9, 2, {40, 0, 0}), Morph("Extra2", 1.0f, 9, 0, {9, 9, 9})};
        trigen::AddEveryBlock(src, perVertexUvs);
        ASSERT_FALSE(src.modifierMorphs.empty());
        WriteSource(src);
        EnsureTriCache("Nord", 2, rs);
        ASSERT_TRUE(WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {{28, 0.5}, {1000, 2.0}}, 2));
        const std::string bytes = ReadFile("data/meshes/out/head.tri");
        Written w = ReadWritten("data/meshes/out/head.tri");
        EXPECT_EQ(w.names, (std::vector<std::string>{"NoseUp", "VampireMorph", "NoseType32", "LipType33"}));
        EXPECT_EQ(w.headerMorphCount, 4u);
        const TriFile& f = w.file;
        EXPECT_EQ(f.flags, src.flags);
        EXPECT_EQ(f.uvCount, src.uvCount);
        EXPECT_EQ(f.quadCount, src.quadCount);
        EXPECT_EQ(f.labelledVertexCount, src.labelledVertexCount);
        EXPECT_EQ(f.labelledPointCount, src.labelledPointCount);
        EXPECT_EQ(f.modifierMorphCount, src.modifierMorphCount);
        EXPECT_EQ(f.modifierVertexCount, src.modifierVertexCount);
        EXPECT_EQ(f.labelledVertices, src.labelledVertices);
        EXPECT_EQ(f.labelledPoints, src.labelledPoints);
        EXPECT_EQ(f.modifierMorphs, src.modifierMorphs);
        ASSERT_EQ(f.modifierVertices.size(), src.modifierVertices.size());
        EXPECT_EQ(std::memcmp(f.modifierVertices.data(), src.modifierVertices.data(),
                              f.modifierVertices.size() * sizeof(TriVertex)), 0);
        ASSERT_EQ(f.quads.size(), src.quads.size());
        EXPECT_EQ(std::memcmp(f.quads.data(), src.quads.data(), f.quads.size() * sizeof(TriQuad)), 0);
        ASSERT_EQ(f.uvQuads.size(), src.uvQuads.size());
        ASSERT_EQ(f.uvs.size(), TriUvPairCount(src));
        // The statistical morphs come last, behind the difference morphs.
        ASSERT_GE(bytes.size(), src.modifierMorphs.size());
        EXPECT_EQ(bytes.substr(bytes.size() - src.modifierMorphs.size()), src.modifierMorphs);
        EXPECT_EQ(SerializeTri(f), bytes);
    }
}

TEST_F(MergedTriFiles, ATargetWhoseSourcesAllFailIsNotReplaced) {
    TriFile src = Mesh(3);
    src.morphs = {Morph("NoseUp", 1.0f, 3, 0, {5, 0, 0})};
    WriteSource(src);
    folder.WriteFile("data/Meshes/Vultrane/Sets/Cut.tri", SerializeTri(src).substr(0, 70));
    folder.WriteFile("data/meshes/out/head.tri", "the game's own head morphs");
    folder.WriteFile("data/meshes/out/eyes.tri", "the game's own eye morphs");
    rs.fileSetNames = {"data\\meshes\\out\\eyes.tri", "data\\meshes\\out\\head.tri"};
    // Missing, unreadable: nothing read.
    rs.fileSets = {{"Missing.tri", "Cut.tri"}, {"Head.tri"}};
    EnsureTriCache("Nord", 2, rs);
    EXPECT_FALSE(WriteMergedTri(rs, rs.fileSetNames[0], {{28, 1.0}}, 2));
    EXPECT_EQ(ReadFile("data/meshes/out/eyes.tri"), "the game's own eye morphs");
    EXPECT_TRUE(log.Contains("    ERROR: no source of data\\meshes\\out\\eyes.tri could be read; it is not written "
                             "and the old file is kept."));
    EXPECT_TRUE(WriteMergedTri(rs, rs.fileSetNames[1], {{28, 1.0}}, 2));
    EXPECT_EQ(ReadWritten("data/meshes/out/head.tri").names.size(), 4u);
    // One source read of two is enough: its morphs are written.
    ClearTriCache();
    rs.fileSets = {{"Missing.tri", "Head.tri"}, {"Head.tri"}};
    EnsureTriCache("Nord", 2, rs);
    EXPECT_TRUE(WriteMergedTri(rs, rs.fileSetNames[0], {{28, 1.0}}, 2));
    EXPECT_EQ(ReadWritten("data/meshes/out/eyes.tri").names.front(), "NoseUp");
}

TEST(MorphMergeOrder, TheRecordOrderListsEveryNameOnce) {
    std::vector<std::string> order = MergedTriRecordOrder();
    EXPECT_EQ(order.size(), 36u + 1 + 39 + 32 + 31 + 4);
    EXPECT_EQ(order[0], "EyesMoveDown");
    EXPECT_EQ(order[1], "EyesMoveUp");
    EXPECT_EQ(order[35], "Underbite");
    EXPECT_EQ(order[36], "VampireMorph");
    EXPECT_EQ(order[37], "EyesType1");
    EXPECT_EQ(order[37 + 39], "LipType1");
    EXPECT_EQ(order[37 + 39 + 32 + 30], "NoseType31");
    EXPECT_EQ(std::vector<std::string>(order.end() - 4, order.end()),
              (std::vector<std::string>{"NoseType32", "LipType33", "NoseType33", "NoseType34"}));
    std::sort(order.begin(), order.end());
    EXPECT_EQ(std::adjacent_find(order.begin(), order.end()), order.end());
}


TEST_F(MergedTriFiles, FailedWritesNameTheSystemsReason) {
    TriFile src = Mesh(3);
    src.morphs = {Morph("NoseUp", 1.0f, 3, 0, {5, 0, 0})};
    WriteSource(src);
    rs.fileSetNames = {"data\\meshes\\missing\\head.tri"};
    EnsureTriCache("Nord", 2, rs);
    EXPECT_FALSE(WriteMergedTri(rs, "data\\meshes\\missing\\head.tri", {}, 2));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: cannot write new .tri (data\\meshes\\missing\\head.tri)",
                                                     "        cannot open the file (No such file or directory)"}));
    // A write the system refuses part-way (a file size limit stands for a full disk).
    rs.fileSetNames = {"data\\meshes\\out\\head.tri"};
    ClearTriCache();
    EnsureTriCache("Nord", 2, rs);
    folder.WriteFile("data/meshes/out/head.tri", "the old file");
    log.Clear();
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteMergedTri(rs, "data\\meshes\\out\\head.tri", {{28, 1.0}}, 2);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile("data/meshes/out/head.tri"), "the old file");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: cannot write new .tri (data\\meshes\\out\\head.tri): "
                                                     "write failed (File too large); the old file is kept."}));
}

}  // namespace
