// The vertex brush: selection and falloff, mirroring, the output rule, and the menu function
// on a mesh that a merge put into the cache.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "config/model.h"
#include "game/sim/sim.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "morph/vertex_area.h"
#include "plugin/bridge.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

const char* kHeadPath = "data\\meshes\\out\\femalehead.tri";

// Vertex i at (i - 10, 0, 0): vertex 10 at the origin, 10 + k the mirror of 10 - k.
TriFile LineMesh(uint32_t vertices = 21) {
    TriFile f;
    f.name = kHeadPath;
    f.vertexCount = vertices;
    for (uint32_t i = 0; i < vertices; ++i) f.vertices.push_back({float(i) - 10.0f, 0.0f, 0.0f});
    return f;
}

// A morph that moves one vertex by `dx` / 2 along x (exact in floats).
TriMorph MoveOne(const std::string& name, uint32_t vertices, uint32_t at, int16_t dx) {
    TriMorph m;
    m.name = name;
    m.scale = 0.5f;
    m.deltas.assign(vertices, TriDelta{0, 0, 0});
    m.deltas[at] = {dx, 0, 0};
    return m;
}

constexpr double kArea = 25.0;  // radius 4

class VertexAreaSelect : public ::testing::Test {
protected:
    VertexAreaSelect() : tri(LineMesh()) { block.name = kHeadPath; }

    std::vector<AreaSelection> Select(AreaQuery q, const SliderValueList& values = {}) {
        std::vector<AreaSelection> s;
        ok = SelectVertexArea(tri, block, values, rs, 2, q, s);
        return s;
    }
    static AreaQuery Query(int32_t vertex, double x, double y, double z, double area, int32_t type,
                           bool mirror = false) {
        AreaQuery q;
        q.vertexID = vertex;
        q.x = x;
        q.y = y;
        q.z = z;
        q.area = area;
        q.areaType = type;
        q.isMirror = mirror;
        return q;
    }
    static const AreaSelection* Find(const std::vector<AreaSelection>& s, int32_t v) {
        for (const AreaSelection& e : s)
            if (e.vertex == v) return &e;
        return nullptr;
    }
    static std::vector<int32_t> Vertices(const std::vector<AreaSelection>& s) {
        std::vector<int32_t> out;
        for (const AreaSelection& e : s) out.push_back(e.vertex);
        return out;
    }

    TriFile tri;
    VertexEditSexBlock block;
    RaceSetting rs;
    bool ok = false;
    vtrtest::LogCapture log;
};

TEST_F(VertexAreaSelect, AreaZeroTakesThePickedPositionAlone) {
    // A second vertex on the picked one's position is taken too, both with weight 1.
    tri.vertices[4] = tri.vertices[12];
    const auto s = Select(Query(12, 7.9, -3.2, 0.4, 0, 0));
    ASSERT_TRUE(ok);
    EXPECT_EQ(Vertices(s), (std::vector<int32_t>{4, 12}));
    EXPECT_DOUBLE_EQ(s[1].x, 7.9);
    const auto out = TruncateSelection(s);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].vertex, 12);
    EXPECT_EQ(out[1].x, 7);
    EXPECT_EQ(out[1].y, -3);
    EXPECT_EQ(out[1].z, 0);
    // Offsets that truncate to zero leave nothing.
    EXPECT_TRUE(TruncateSelection(Select(Query(12, 0.9, -0.9, 0.5, 0, 1))).empty());
}

TEST_F(VertexAreaSelect, SmoothFalloffIsHalfAtHalfTheRadiusAndZeroAtTheRim) {
    const auto s = Select(Query(10, 10, 0, -20, kArea, 0));
    ASSERT_TRUE(ok);
    EXPECT_EQ(Vertices(s), (std::vector<int32_t>{6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_DOUBLE_EQ(Find(s, 10)->x, 10.0);
    EXPECT_DOUBLE_EQ(Find(s, 8)->x, 5.0);
    EXPECT_DOUBLE_EQ(Find(s, 12)->z, -10.0);
    EXPECT_DOUBLE_EQ(Find(s, 9)->x, 10.0 * (2 * 0.015625 - 3 * 0.0625 + 1));
    EXPECT_NEAR(Find(s, 14)->x, 0.0, 1e-12);
    const auto out = TruncateSelection(s);
    ASSERT_EQ(out.size(), 7u);  // both rim vertices dropped
    EXPECT_EQ(out.front().vertex, 7);
    EXPECT_EQ(out.back().vertex, 13);
    EXPECT_EQ(out[1].x, 5);
    EXPECT_EQ(out[1].z, -10);
}

TEST_F(VertexAreaSelect, LinearAndFlatFalloffs) {
    auto s = Select(Query(10, 10, 0, 0, kArea, 1));
    EXPECT_DOUBLE_EQ(Find(s, 12)->x, 5.0);
    EXPECT_DOUBLE_EQ(Find(s, 7)->x, 2.5);
    EXPECT_EQ(TruncateSelection(s)[0].x, 2);  // vertex 7: 2.5 truncated
    // Any other type weighs every selected vertex fully, rim included.
    s = Select(Query(10, 10, 0, 0, kArea, 7));
    ASSERT_EQ(s.size(), 9u);
    for (const AreaSelection& e : s) EXPECT_DOUBLE_EQ(e.x, 10.0) << e.vertex;
    s = Select(Query(10, 10, 0, 0, kArea, -1));
    EXPECT_DOUBLE_EQ(Find(s, 14)->x, 10.0);
}

TEST_F(VertexAreaSelect, DistancesAreMeasuredOnTheMorphedHead) {
    rs.sliders = {vtrtest::MorphPairSlider(28, "PullIn", "PushOut")};
    tri.morphs = {MoveOne("PullIn", 21, 17, -8), MoveOne("PushOut", 21, 12, 6)};
    IndexTriMorphs(tri);
    // Unmoved: vertex 17 (x = 7) is outside a radius of 4 around the origin, 12 inside.
    auto s = Select(Query(10, 10, 0, 0, kArea, 1));
    EXPECT_EQ(Find(s, 17), nullptr);
    ASSERT_NE(Find(s, 12), nullptr);
    // PullIn at 1 moves 17 to x = 3: in, weight 0.25.
    s = Select(Query(10, 10, 0, 0, kArea, 1), {{28, 1.0}});
    ASSERT_NE(Find(s, 17), nullptr);
    EXPECT_DOUBLE_EQ(Find(s, 17)->x, 2.5);
    // PushOut (negative value) moves 12 from x = 2 to x = 5: out.
    s = Select(Query(10, 10, 0, 0, kArea, 1), {{28, -1.0}});
    EXPECT_EQ(Find(s, 12), nullptr);
    EXPECT_NE(Find(s, 11), nullptr);
    // The centre moves with its vertex: picking 17 under PullIn centres at x = 3.
    s = Select(Query(17, 10, 0, 0, kArea, 1), {{28, 1.0}});
    EXPECT_EQ(Vertices(s), (std::vector<int32_t>{9, 10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_DOUBLE_EQ(Find(s, 13)->x, 10.0);
    // A vertex edit of the main model moves 15 from x = 5 to 3.73 (packed: dx -1.27, dy 0, dz 0).
    vertexEditData edit;
    edit.female = block;
    rs.vertexEdit = &edit;
    s = Select(Query(10, 10, 0, 0, kArea, 1), {{-10015, 0 * 65536 + 127 * 256 + 127}});
    ASSERT_NE(Find(s, 15), nullptr);
    EXPECT_NEAR(Find(s, 15)->x, 10.0 * (1 - 3.73 / 4), 1e-9);
    rs.vertexEdit = nullptr;
}

TEST_F(VertexAreaSelect, PickedVertexOutsideTheMesh) {
    EXPECT_TRUE(Select(Query(21, 1, 1, 1, kArea, 0)).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(log.Contains("    ERROR: vertexID is larger than vertexNum."));
    log.Clear();
    Select(Query(-1, 1, 1, 1, kArea, 0));  // unsigned: a negative index is far too large
    EXPECT_FALSE(ok);
    EXPECT_EQ(log.Count("    ERROR: vertexID is larger than vertexNum."), 1u);
    Select(Query(20, 1, 1, 1, kArea, 0));
    EXPECT_TRUE(ok);

    // A count above the vertices held: only the vertices held are measured.
    tri.vertexCount = 40;
    log.Clear();
    Select(Query(25, 1, 1, 1, kArea, 0));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(log.Contains("    ERROR: vertexID is larger than vertexNum."));
    const auto s = Select(Query(20, 1, 1, 1, 1000, 2));
    EXPECT_TRUE(ok);
    EXPECT_EQ(s.size(), 21u);
}

TEST_F(VertexAreaSelect, UnusableAreasAndOffsetsStayDefined) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(Select(Query(10, 1, 1, 1, nan, 0)).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Select(Query(10, 1, 1, 1, -5, 0)).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(log.Count("    ERROR: vertex area size must be 0 or more. (-5.000000)"), 1u);
    // An endless brush takes the whole head at full weight.
    auto s = Select(Query(10, 3, 0, 0, inf, 0));
    EXPECT_TRUE(ok);
    ASSERT_EQ(s.size(), 21u);
    EXPECT_DOUBLE_EQ(s[0].x, 3.0);
    // Huge and NaN offsets saturate or read as zero.
    s = Select(Query(10, 1e300, -1e300, nan, 0, 0));
    const auto out = TruncateSelection(s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].x, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(out[0].y, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(out[0].z, 0);
    EXPECT_TRUE(TruncateSelection(Select(Query(10, nan, nan, nan, 0, 0))).empty());
}

TEST_F(VertexAreaSelect, MirrorSelectsAroundThePartnerWithXNegated) {
    block.mainRecords = {{5, 9, 0, 0}, {13, 7, 0, 0}, {13, 2, 0, 0}};  // the first record counts
    const auto s = Select(Query(13, 10, 4, 0, kArea, 1, true));
    ASSERT_TRUE(ok);
    // Main 9..17 in order, then the mirror's own vertices 3..8 appended.
    EXPECT_EQ(Vertices(s), (std::vector<int32_t>{9, 10, 11, 12, 13, 14, 15, 16, 17, 3, 4, 5, 6, 7, 8}));
    EXPECT_DOUBLE_EQ(Find(s, 9)->x, -5.0);   // main weight 0, mirror 0.5: replaced
    EXPECT_DOUBLE_EQ(Find(s, 9)->y, 2.0);
    EXPECT_DOUBLE_EQ(Find(s, 10)->x, 2.5);   // equal magnitudes: kept
    EXPECT_DOUBLE_EQ(Find(s, 11)->x, 5.0);   // main larger: kept
    EXPECT_DOUBLE_EQ(Find(s, 7)->x, -10.0);  // the partner itself
    EXPECT_DOUBLE_EQ(Find(s, 7)->y, 4.0);
    EXPECT_DOUBLE_EQ(Find(s, 13)->x, 10.0);
}

TEST_F(VertexAreaSelect, OwnPartnerAndMissingPartnerLeaveTheMainSelection) {
    block.mainRecords = {{10, 10, 0, 0}, {12, 0, 0, 0}, {14, -3, 0, 0}, {16, 500, 0, 0}};
    for (int32_t v : {10, 11, 12, 14}) {
        const auto plain = Select(Query(v, 10, -6, 2, kArea, 0));
        const auto mirrored = Select(Query(v, 10, -6, 2, kArea, 0, true));
        ASSERT_EQ(Vertices(mirrored), Vertices(plain)) << v;
        for (size_t i = 0; i < plain.size(); ++i) {
            EXPECT_DOUBLE_EQ(mirrored[i].x, plain[i].x) << v;
            EXPECT_DOUBLE_EQ(mirrored[i].y, plain[i].y) << v;
            EXPECT_DOUBLE_EQ(mirrored[i].z, plain[i].z) << v;
        }
        EXPECT_DOUBLE_EQ(Find(plain, v)->x, 10.0) << v;
    }
    // A partner outside the mesh is skipped with a warning.
    const auto s = Select(Query(16, 10, 0, 0, kArea, 0, true));
    EXPECT_TRUE(ok);
    EXPECT_EQ(Vertices(s), (std::vector<int32_t>{12, 13, 14, 15, 16, 17, 18, 19, 20}));
    EXPECT_TRUE(log.Contains("    WARNING: mirror vertex 500 of vertex 16 is not in the mesh; mirror skipped."));
}

TEST(VertexAreaMerge, AnyLargerComponentReplacesInOrderXYZ) {
    std::vector<AreaSelection> main = {{0, 5, 1, 0}, {1, 5, 1, 9}, {2, 2, 2, 2}, {3, 1, 1, 1}};
    const std::vector<AreaSelection> mirror = {
        {0, 3, 2, 0},    // x smaller, y larger: replaced (a first-differing-component rule would keep)
        {1, -5, 1, -1},  // x, y equal, z smaller: kept
        {4, 7, 7, 7},    // not in the main selection: appended
        {2, -2, -2, -3}, // only z larger: replaced
        {3, -1, -1, -1}, // all equal: kept
    };
    MergeMirrorSelection(main, mirror, 5);
    ASSERT_EQ(main.size(), 5u);
    EXPECT_DOUBLE_EQ(main[0].x, 3);
    EXPECT_DOUBLE_EQ(main[0].y, 2);
    EXPECT_DOUBLE_EQ(main[1].x, 5);
    EXPECT_DOUBLE_EQ(main[1].z, 9);
    EXPECT_DOUBLE_EQ(main[2].z, -3);
    EXPECT_DOUBLE_EQ(main[2].x, -2);
    EXPECT_DOUBLE_EQ(main[3].x, 1);
    EXPECT_EQ(main[4].vertex, 4);
    // Entries naming vertices outside the index are appended, never indexed.
    MergeMirrorSelection(main, {{9, 1, 1, 1}, {-2, 1, 1, 1}}, 5);
    EXPECT_EQ(main.size(), 7u);
}

// ----- Through the menu ---------------------------------------------------------------------

class GetVertexInAreaMenu : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        ClearTriCache();
        Config() = Configuration{};
        RaceSetting set;
        set.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\";
        set.raceSetName = "NordSet";
        set.raceNames = {"Nord"};
        set.fileSetNames = {kHeadPath};
        set.fileSets = {{"FemaleHead.tri"}};
        set.maleFileSetNames = {"data\\meshes\\out\\malehead.tri"};
        set.maleFileSets = {{"MaleHead.tri"}};
        set.sliders = {vtrtest::MorphPairSlider(28, "PullIn", "PushOut")};
        edit.female.name = kHeadPath;
        edit.female.mainRecords = {{13, 7, 0, 0}};
        edit.male.name = "data\\meshes\\out\\malehead.tri";
        set.vertexEdit = &edit;
        Config().raceSettings.push_back(set);
        TriFile head = LineMesh();
        head.morphs = {MoveOne("PullIn", 21, 17, -8)};
        folder.WriteFile("data/Meshes/Vultrane/Sets/FemaleHead.tri", SerializeTri(head));
        folder.WriteFile("data/Meshes/Vultrane/Sets/MaleHead.tri", SerializeTri(LineMesh(5)));
        folder.WriteFile("data/meshes/out/keep", "");
        npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    }
    void TearDown() override {
        ClearTriCache();
        Config() = Configuration{};
        sim::ResetWorld();
    }

    GFxValue& Info(const std::vector<double>& pairs) {
        GFxValue& array = menu.NewArray();
        for (double x : pairs) Value_PushBack(array, MenuHarness::Number(x));
        return array;
    }
    void Merge(const std::vector<double>& pairs) {
        menu.Call("SetMergedMorphs", {menu.String("Nord"), Info(pairs), MenuHarness::Number(0)});
    }
    GFxValue& Query(const char* race, const std::vector<double>& pairs, double vertex, double x, double area,
                    double type, bool mirror) {
        GFxValue& result = menu.NewArray();
        menu.Call("GetVertexInArea",
                  {menu.String(race), Info(pairs), MenuHarness::Number(vertex), MenuHarness::Number(x),
                   MenuHarness::Number(0), MenuHarness::Number(-3), MenuHarness::Number(area),
                   MenuHarness::Number(type), MenuHarness::Bool(mirror), result});
        return result;
    }
    bool AnyError() const {
        for (const std::string& l : log.Lines())
            if (l.find("ERROR") != std::string::npos) return true;
        return false;
    }

    vertexEditData edit;
    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    MenuHarness menu;
    TESNPC* npc = nullptr;
};

TEST_F(GetVertexInAreaMenu, BeforeAnyMergeNothingAndNoMessage) {
    EXPECT_EQ(Value_GetArraySize(Query("Nord", {}, 10, 10, kArea, 0, false)), 0u);
    EXPECT_FALSE(AnyError());
    EXPECT_TRUE(TriCache().empty());  // never fills the cache itself
    // After a merge for the other sex the key still differs.
    sim::Npc_SetSex(npc, 0);
    Merge({28, 1});
    sim::Npc_SetSex(npc, 1);
    log.Clear();
    EXPECT_EQ(Value_GetArraySize(Query("Nord", {}, 10, 10, kArea, 0, false)), 0u);
    EXPECT_FALSE(AnyError());
}

TEST_F(GetVertexInAreaMenu, RecordsOfTheMergedHeadWithMirror) {
    Merge({28, 1});
    log.Clear();
    // Picked 13 at x = 3, partner 7 at x = -3; PullIn moves 17 from x = 7 to x = 3.
    GFxValue& result = Query("Nord", {28, 1}, 13, 10, kArea, 1, true);
    EXPECT_FALSE(AnyError());
    const auto records = vtrtest::Elements(result);
    ASSERT_EQ(records.size(), 14u);
    EXPECT_EQ(vtrtest::MemberNames(*records[0]), (std::vector<std::string>{"vertexID", "x", "y", "z"}));
    // Main 9..17 (weight 0 at 9 replaced by the mirror, 17 pulled onto 13), then 4..8 (3 is zero).
    std::vector<double> ids;
    for (const GFxValue* r : records) ids.push_back(vtrtest::Num(*r, "vertexID"));
    EXPECT_EQ(ids, (std::vector<double>{9, 10, 11, 12, 13, 14, 15, 16, 17, 4, 5, 6, 7, 8}));
    EXPECT_EQ(vtrtest::Num(*records[0], "x"), -5);
    EXPECT_EQ(vtrtest::Num(*records[0], "z"), -1);  // -3 x 0.5 truncated toward zero
    EXPECT_EQ(vtrtest::Num(*records[4], "x"), 10);
    EXPECT_EQ(vtrtest::Num(*records[4], "y"), 0);
    EXPECT_EQ(vtrtest::Num(*records[4], "z"), -3);
    EXPECT_EQ(vtrtest::Num(*records[1], "x"), 2);   // 2.5 truncated
    EXPECT_EQ(vtrtest::Num(*records[8], "x"), 10);  // 17 on top of 13
    EXPECT_EQ(vtrtest::Num(*records[8], "z"), -3);
    EXPECT_EQ(vtrtest::Num(*records[12], "x"), -10);  // the partner
}

TEST_F(GetVertexInAreaMenu, MessagesOfTheMenuFunction) {
    Merge({});
    log.Clear();
    EXPECT_EQ(Value_GetArraySize(Query("Nord", {}, 21, 10, kArea, 0, false)), 0u);
    EXPECT_TRUE(log.Contains("    ERROR: vertexID is larger than vertexNum."));

    // The key matches, but the block names a mesh the cache lacks.
    edit.female.name = "data\\meshes\\out\\other.tri";
    log.Clear();
    EXPECT_EQ(Value_GetArraySize(Query("Nord", {}, 10, 10, kArea, 0, false)), 0u);
    EXPECT_TRUE(log.Contains("    ERROR: empty morphSource for : data\\meshes\\out\\other.tri"));

    Config().raceSettings[0].vertexEdit = nullptr;
    log.Clear();
    Query("Khajiit", {}, 10, 10, kArea, 0, false);  // the player's race name replaces the argument
    EXPECT_TRUE(log.Contains("    ERROR: system: no vertexEditData found from scaleform call in this race. (Nord)"));

    sim::RemovePlayer();
    log.Clear();
    Query("Khajiit", {}, 10, 10, kArea, 0, false);
    EXPECT_TRUE(log.Contains("    ERROR: system: no race found from scaleform call. (Khajiit)"));

    log.Clear();
    GFxValue& result = menu.NewArray();
    menu.Call("GetVertexInArea", {menu.String("Nord"), menu.NewArray(), MenuHarness::Number(1), result});
    EXPECT_TRUE(log.Contains(
        "    ERROR: system: invalid arguments. Quorvix.GetVertexInArea(raceName:String, info:Array, vertexID:Number, "
        "x:Number, y:Number, z:Number, area:Number, areaType:Number, isMirror:Boolean, result:Array)."));
}

}  // namespace
