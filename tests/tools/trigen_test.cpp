// The example morph data generator: its meshes, its morph shapes, the files it plans from
// the bundled configuration, and what the library reads back from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/loader.h"
#include "config/model.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"
#include "tests/support/test_support.h"
#include "tools/trigen/geometry.h"
#include "tools/trigen/morphs.h"
#include "tools/trigen/picture.h"
#include "tools/trigen/plan.h"

namespace {

using namespace trigen;
namespace fs = std::filesystem;

constexpr Sex kSexes[] = {Sex::kFemale, Sex::kMale};
constexpr MeshKind kKinds[] = {MeshKind::kHead, MeshKind::kEyes, MeshKind::kMouth};

std::vector<Vec3> Offsets(const std::string& name, Sex sex, MeshKind kind) {
    std::optional<MorphShape> shape = FindMorphShape(name, Model(sex).marks);
    EXPECT_TRUE(shape.has_value()) << name;
    return shape ? MorphOffsets(*shape, Model(sex), kind) : std::vector<Vec3>{};
}

size_t MostMoved(const std::vector<Vec3>& d) {
    size_t best = 0;
    for (size_t i = 1; i < d.size(); ++i)
        if (d[i].Length() > d[best].Length()) best = i;
    return best;
}

double Largest(const std::vector<Vec3>& d) { return d.empty() ? 0.0 : d[MostMoved(d)].Length(); }

// ----- Meshes ----------------------------------------------------------------------------------

TEST(TrigenMesh, HeadIsHeadSizedWithFeaturesStandingOut) {
    for (Sex sex : kSexes) {
        SCOPED_TRACE(SexName(sex));
        const HeadModel& m = Model(sex);
        const Mesh& head = m.head;
        EXPECT_GE(head.vertices.size(), 2000u);
        EXPECT_LE(head.vertices.size(), 3500u);
        double top = -1e9, front = -1e9, side = 0;
        size_t frontmost = 0, widest = 0;
        for (size_t i = 0; i < head.vertices.size(); ++i) {
            const Vec3& p = head.vertices[i];
            top = std::max(top, p.z);
            if (p.y > front) front = p.y, frontmost = i;
            if (std::abs(p.x) > side) side = std::abs(p.x), widest = i;
        }
        // Crown to the bottom of the chin about 22 units.
        double chin = 0;
        for (const Vec3& p : head.vertices)
            if (std::abs(p.x) < 1.0 && p.y > m.marks.chin.y - 2.0) chin = std::min(chin, p.z);
        EXPECT_GT(top - chin, 20.0);
        EXPECT_LT(top - chin, 25.0);
        // The nose tip is the frontmost point, the ears the widest.
        EXPECT_LT((head.vertices[frontmost] - m.marks.noseTip).Length(), 1.0);
        EXPECT_LT(std::abs(head.vertices[widest].z - m.marks.ear.z), 3.5);
        EXPECT_LT(std::abs(head.vertices[widest].y - m.marks.ear.y), 2.5);
        // Not a sphere: the nose stands out of the face, the eyes sit in sockets under the brow.
        EXPECT_GT(m.marks.noseTip.y - m.marks.cheek.y, 3.0);
        EXPECT_GT(m.marks.browRidge.y - m.marks.eye.y, 1.5);
        EXPECT_GT(m.marks.upperLip.y, m.marks.mouth.y);
        EXPECT_GT(m.marks.chin.y, m.marks.neckCentre.y + 5.0);
    }
}

TEST(TrigenMesh, MaleHasBroaderJawAndHeavierBrow) {
    const Landmarks& f = Model(Sex::kFemale).marks;
    const Landmarks& m = Model(Sex::kMale).marks;
    EXPECT_GT(m.jawAngle.x - f.jawAngle.x, 0.5);
    EXPECT_GT((m.browRidge.y - m.eye.y) - (f.browRidge.y - f.eye.y), 0.3);
}

TEST(TrigenMesh, EveryMeshIsAClosedOrientedGridWithExactMirrors) {
    for (Sex sex : kSexes) {
        for (MeshKind kind : kKinds) {
            SCOPED_TRACE(std::string(SexName(sex)) + " " + MeshKindName(kind));
            const Mesh& mesh = Model(sex).Get(kind);
            const size_t v = mesh.vertices.size();
            ASSERT_EQ(mesh.mirror.size(), v);
            ASSERT_EQ(mesh.uvTriangles.size(), mesh.triangles.size());
            for (size_t i = 0; i < v; ++i) {
                const uint32_t w = mesh.mirror[i];
                ASSERT_LT(w, v);
                EXPECT_EQ(mesh.mirror[w], i);
                EXPECT_EQ(mesh.vertices[w].x, -mesh.vertices[i].x);
                EXPECT_EQ(mesh.vertices[w].y, mesh.vertices[i].y);
                EXPECT_EQ(mesh.vertices[w].z, mesh.vertices[i].z);
            }
            std::set<std::pair<uint32_t, uint32_t>> directed;
            for (size_t t = 0; t < mesh.triangles.size(); ++t) {
                const Tri& tri = mesh.triangles[t];
                const Tri& uv = mesh.uvTriangles[t];
                ASSERT_TRUE(tri.a < v && tri.b < v && tri.c < v) << t;
                ASSERT_TRUE(uv.a < mesh.uvs.size() && uv.b < mesh.uvs.size() && uv.c < mesh.uvs.size()) << t;
                const Vec3 n =
                    (mesh.vertices[tri.b] - mesh.vertices[tri.a]).Cross(mesh.vertices[tri.c] - mesh.vertices[tri.a]);
                EXPECT_GT(n.Length(), 1e-6) << "degenerate triangle " << t;
                // Each directed edge once: consistent winding, no edge shared by three triangles.
                for (auto e : {std::pair{tri.a, tri.b}, std::pair{tri.b, tri.c}, std::pair{tri.c, tri.a}})
                    EXPECT_TRUE(directed.insert(e).second) << "edge " << e.first << "-" << e.second;
            }
            for (const Uv& uv : mesh.uvs) {
                EXPECT_TRUE(uv.u >= 0 && uv.u <= 1 && uv.v >= 0 && uv.v <= 1);
            }
        }
    }
}

TEST(TrigenMesh, EyesSitInTheSocketsAndTheMouthBehindTheLips) {
    for (Sex sex : kSexes) {
        SCOPED_TRACE(SexName(sex));
        const HeadModel& m = Model(sex);
        ASSERT_EQ(m.eyes.vertices.size() % 2, 0u);
        EXPECT_GE(m.eyes.vertices.size(), 200u);
        EXPECT_LE(m.eyes.vertices.size(), 600u);
        // The cornea (first vertex of the right eye) just in front of the socket's skin.
        const Vec3 cornea = m.eyes.vertices[0];
        EXPECT_GT(cornea.x, 2.0);
        const Vec3 skin = m.head.vertices[NearestVertex(m.head, cornea, true)];
        EXPECT_LT((skin - cornea).Length(), 0.9);
        EXPECT_LT(cornea.y, m.marks.browRidge.y);
        EXPECT_GE(m.mouth.vertices.size(), 150u);
        for (const Vec3& p : m.mouth.vertices) {
            EXPECT_LT(p.y, m.marks.mouth.y);
            EXPECT_LT(std::abs(p.z - m.marks.mouth.z), 1.5);
            EXPECT_LT(std::abs(p.x), 3.0);
        }
    }
}

TEST(TrigenMesh, BuildsTheSameNumbersEveryTime) {
    const HeadModel again = BuildModel(Sex::kMale);
    const HeadModel& once = Model(Sex::kMale);
    ASSERT_EQ(again.head.vertices.size(), once.head.vertices.size());
    for (size_t i = 0; i < once.head.vertices.size(); ++i) {
        EXPECT_EQ(again.head.vertices[i].x, once.head.vertices[i].x);
        EXPECT_EQ(again.head.vertices[i].y, once.head.vertices[i].y);
        EXPECT_EQ(again.head.vertices[i].z, once.head.vertices[i].z);
    }
}

// ----- Morph shapes ----------------------------------------------------------------------------

TEST(TrigenMorphs, EveryRequiredNameHasAShapeForEveryMesh) {
    const std::vector<std::string> names = RequiredMorphNames();
    EXPECT_EQ(names.size(), 36u + 1 + 39 + 32 + 31 + 2 + 4);
    for (Sex sex : kSexes)
        for (const std::string& n : names) EXPECT_TRUE(FindMorphShape(n, Model(sex).marks).has_value()) << n;
    EXPECT_FALSE(FindMorphShape("ElbowOut", Model(Sex::kFemale).marks).has_value());
    EXPECT_FALSE(FindMorphShape("NoseSideways", Model(Sex::kFemale).marks).has_value());
    EXPECT_FALSE(FindMorphShape("EyesTypeX", Model(Sex::kFemale).marks).has_value());
}

// Each face morph moves its feature, in its direction, and leaves the rest of the head alone.
TEST(TrigenMorphs, FaceMorphsAreLocalAndPointTheirWay) {
    for (Sex sex : kSexes) {
        const Landmarks& m = Model(sex).marks;
        const Mesh& head = Model(sex).head;
        const struct {
            const char* name;
            Vec3 near;
            double reach;  // of the most-moved vertex from `near`
            Vec3 direction;
        } cases[] = {
            {"NoseUp", m.noseTip, 1.5, {0, 0, 1}},        {"NoseDown", m.noseTip, 1.5, {0, 0, -1}},
            {"NoseLong", m.noseTip, 1.5, {0, 1, 0}},      {"NoseShort", m.noseTip, 1.5, {0, -1, 0}},
            {"EyesMoveUp", m.eye, 2.0, {0, 0, 1}},        {"BrowUp", m.browRidge, 2.5, {0, 0, 1}},
            {"BrowForward", m.browRidge, 2.5, {0, 1, 0}}, {"JawDown", m.chin, 4.0, {0, 0, -1}},
            {"JawForward", m.chin, 4.0, {0, 1, 0}},       {"LipMoveOut", m.mouth, 2.5, {0, 1, 0}},
            {"ChinMoveDown", m.chin, 2.5, {0, 0, -1}},    {"CheeksUp", m.cheekbone, 3.5, {0, 0, 1}},
            {"Underbite", m.chin, 4.0, {0, 1, 0}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(SexName(sex)) + " " + c.name);
            const std::vector<Vec3> d = Offsets(c.name, sex, MeshKind::kHead);
            const size_t top = MostMoved(d);
            const Vec3 at{std::abs(head.vertices[top].x), head.vertices[top].y, head.vertices[top].z};
            EXPECT_LT((at - c.near).Length(), c.reach);
            EXPECT_GT(d[top].Dot(c.direction), 0.9 * d[top].Length());
            EXPECT_GT(d[top].Length(), 0.3);
            // Nothing behind the ears moves.
            size_t moved = 0;
            for (size_t i = 0; i < d.size(); ++i) {
                if (d[i].Length() > 1e-9) ++moved;
                if (head.vertices[i].y < m.ear.y - 2.5) EXPECT_EQ(d[i].Length(), 0.0) << i;
            }
            EXPECT_LT(moved, head.vertices.size() / 4);
        }
    }
}

TEST(TrigenMorphs, WideningMorphsPushBothSidesOutward) {
    const Mesh& head = Model(Sex::kFemale).head;
    const std::pair<const char*, const char*> pairs[] = {{"JawWide", "JawNarrow"},
                                                         {"ChinWide", "ChinThin"},
                                                         {"NoseWide", "NoseNarrow"},
                                                         {"MouthWide", "MouthNarrow"},
                                                         {"CheeksOut", "CheeksIn"}};
    for (const auto& [wide, narrow] : pairs) {
        SCOPED_TRACE(wide);
        const std::vector<Vec3> d = Offsets(wide, Sex::kFemale, MeshKind::kHead);
        const size_t top = MostMoved(d);
        ASSERT_GT(d[top].Length(), 0.1);
        EXPECT_GT(d[top].x * head.vertices[top].x, 0.0);  // away from the midline
        EXPECT_LT(Offsets(narrow, Sex::kFemale, MeshKind::kHead)[top].x * head.vertices[top].x, 0.0);
    }
}

TEST(TrigenMorphs, NeckMorphsMoveTheLowerNeckAndHeadMorphsScaleTheHead) {
    for (Sex sex : kSexes) {
        const HeadModel& model = Model(sex);
        const Mesh& head = model.head;
        for (const char* name : {"VTR_NeckLongNPC", "VTR_NeckShortNPC"}) {
            const std::vector<Vec3> d = Offsets(name, sex, MeshKind::kHead);
            const size_t top = MostMoved(d);
            EXPECT_NEAR(head.vertices[top].z, model.marks.neckBottom, 1e-9) << name;
            for (size_t i = 0; i < d.size(); ++i)
                if (head.vertices[i].z > model.marks.neckTop) EXPECT_EQ(d[i].Length(), 0.0) << name << " " << i;
            EXPECT_GT(d[top].z * (std::string(name) == "VTR_NeckLongNPC" ? -1 : 1), 1.0) << name;
        }
        const std::vector<Vec3> large = Offsets("VTR_HeadLargeNPC", sex, MeshKind::kHead);
        const std::vector<Vec3> small = Offsets("VTR_HeadSmallNPC", sex, MeshKind::kHead);
        EXPECT_GT(large[0].z, 1.5);  // the crown rises
        EXPECT_LT(small[0].z, -1.5);
        // The eyes grow with the head.
        const std::vector<Vec3> eyes = Offsets("VTR_HeadLargeNPC", sex, MeshKind::kEyes);
        EXPECT_GT(eyes[0].y, 0.5);
        for (size_t i = 0; i < head.vertices.size(); ++i)
            if (head.vertices[i].z == model.marks.neckBottom) EXPECT_EQ(large[i].Length(), 0.0);
    }
}

TEST(TrigenMorphs, MorphsAreMirrorSymmetric) {
    for (const char* name : {"JawWide", "EyesMoveIn", "BrowOut", "CheeksOut", "EyesType7", "LipType12", "NoseType5",
                             "VampireMorph", "CheeksFull13"}) {
        for (MeshKind kind : kKinds) {
            const Mesh& mesh = Model(Sex::kMale).Get(kind);
            const std::vector<Vec3> d = Offsets(name, Sex::kMale, kind);
            for (size_t i = 0; i < d.size(); ++i) {
                const Vec3& e = d[mesh.mirror[i]];
                ASSERT_NEAR(e.x, -d[i].x, 1e-12) << name << " " << i;
                ASSERT_NEAR(e.y, d[i].y, 1e-12) << name << " " << i;
                ASSERT_NEAR(e.z, d[i].z, 1e-12) << name << " " << i;
            }
        }
    }
}

TEST(TrigenMorphs, EyesAndMouthFollowTheHeadWhereTheyAre) {
    const std::vector<Vec3> up = Offsets("EyesMoveUp", Sex::kFemale, MeshKind::kEyes);
    for (const Vec3& d : up) EXPECT_NEAR(d.z, 0.75, 0.01);
    EXPECT_EQ(Largest(Offsets("NoseUp", Sex::kFemale, MeshKind::kEyes)), 0.0);
    EXPECT_EQ(Largest(Offsets("EyesMoveUp", Sex::kFemale, MeshKind::kMouth)), 0.0);
    EXPECT_GT(Largest(Offsets("LipMoveOut", Sex::kFemale, MeshKind::kMouth)), 0.3);
    // An eye shape moves each eyeball as a whole.
    const std::vector<Vec3> shape = Offsets("EyesType3", Sex::kFemale, MeshKind::kEyes);
    const size_t perEye = shape.size() / 2;
    EXPECT_GT(Largest(shape), 0.0);
    for (size_t i = 0; i < perEye; ++i) {
        EXPECT_EQ(shape[i].x, shape[0].x);
        EXPECT_EQ(shape[i + perEye].y, shape[perEye].y);
    }
}

TEST(TrigenMorphs, TypeFamiliesVaryTheirFeatureAndNumberZeroIsNeutral) {
    const Mesh& head = Model(Sex::kFemale).head;
    const Landmarks& m = Model(Sex::kFemale).marks;
    const struct {
        const char* family;
        int count;
        Vec3 near;
        double reach;
    } families[] = {{"NoseType", 31, m.noseTip, 3.5}, {"LipType", 32, m.mouth, 3.5}, {"EyesType", 39, m.eye, 3.0}};
    for (const auto& f : families) {
        std::vector<std::vector<Vec3>> all;
        for (int i = 1; i <= f.count; ++i) {
            const std::string name = f.family + std::to_string(i);
            all.push_back(Offsets(name, Sex::kFemale, MeshKind::kHead));
            const size_t top = MostMoved(all.back());
            const Vec3 at{std::abs(head.vertices[top].x), head.vertices[top].y, head.vertices[top].z};
            EXPECT_GT(all.back()[top].Length(), 0.1) << name;
            EXPECT_LT((at - f.near).Length(), f.reach) << name;
        }
        for (size_t a = 0; a + 1 < all.size(); ++a) {
            double difference = 0;
            for (size_t i = 0; i < all[a].size(); ++i)
                difference = std::max(difference, (all[a][i] - all[a + 1][i]).Length());
            EXPECT_GT(difference, 0.05) << f.family << a + 1;
        }
        EXPECT_EQ(Largest(Offsets(std::string(f.family) + "0", Sex::kFemale, MeshKind::kHead)), 0.0);
    }
    EXPECT_EQ(Largest(Offsets("NoseType33", Sex::kFemale, MeshKind::kHead)), 0.0);
    EXPECT_EQ(Largest(Offsets("NoseType34", Sex::kFemale, MeshKind::kHead)), 0.0);
}

TEST(TrigenMorphs, GradedFamiliesGrowWithTheirNumber) {
    const std::vector<Vec3> half = Offsets("CheeksFull10", Sex::kFemale, MeshKind::kHead);
    const std::vector<Vec3> full = Offsets("CheeksFull20", Sex::kFemale, MeshKind::kHead);
    const size_t top = MostMoved(full);
    EXPECT_NEAR(half[top].Length(), 0.5 * full[top].Length(), 1e-12);
    EXPECT_GT(full[top].Length(), 0.3);
    EXPECT_EQ(Largest(Offsets("CheeksFull0", Sex::kFemale, MeshKind::kHead)), 0.0);
    // Outward from the cheek.
    EXPECT_GT(full[top].x * Model(Sex::kFemale).head.vertices[top].x, 0.0);
}

TEST(TrigenMorphs, QuantisesToTheFullSixteenBitRange) {
    const std::vector<Vec3> offsets = {{0.5, -1.25, 0.0}, {0.001, 0.0, 1.0}, {0, 0, 0}};
    const TriMorph m = QuantiseMorph("Test", offsets);
    EXPECT_EQ(m.name, "Test");
    EXPECT_EQ(m.scale, static_cast<float>(1.25 / 32767.0));
    ASSERT_EQ(m.deltas.size(), 3u);
    EXPECT_EQ(m.deltas[0].dy, -32767);
    for (size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_NEAR(m.deltas[i].dx * m.scale, offsets[i].x, m.scale);
        EXPECT_NEAR(m.deltas[i].dy * m.scale, offsets[i].y, m.scale);
        EXPECT_NEAR(m.deltas[i].dz * m.scale, offsets[i].z, m.scale);
    }
    const TriMorph zero = QuantiseMorph("Zero", {{0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(zero.scale, 1.0f);
    EXPECT_EQ(zero.deltas.size(), 2u);
    EXPECT_EQ(zero.deltas[1].dz, 0);
}

// ----- The files of the bundled configuration ------------------------------------------------

class TrigenPlan : public ::testing::Test {
protected:
    TrigenPlan() {
        Config() = Configuration{};
        fs::copy(fs::path(VTR_SOURCE_DIR) / "examples/game/data", fs::path(folder.Path()) / "data",
                 fs::copy_options::recursive);
    }
    ~TrigenPlan() override {
        ClearTriCache();
        Config() = Configuration{};
    }
    void Load() { LoadConfiguration(kConfigDirectory); }
    const SourceFile* File(const Plan& plan, const std::string& name) const {
        for (const SourceFile& f : plan.files)
            if (f.path.size() >= name.size() && f.path.compare(f.path.size() - name.size(), name.size(), name) == 0)
                return &f;
        return nullptr;
    }
    static bool Has(const SourceFile& f, const std::string& morph) {
        return std::find(f.morphs.begin(), f.morphs.end(), morph) != f.morphs.end();
    }
    std::string Edit() const { return folder.ReadFile("data/Meshes/Vultrane/Sets/NordHeadEdit.txt"); }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
};

TEST_F(TrigenPlan, NamesExactlyTheSourceFilesOfTheRaceSets) {
    Load();
    const Plan plan = MakePlan(Config());
    EXPECT_TRUE(plan.errors.empty()) << ::testing::PrintToString(plan.errors);
    std::map<std::string, std::pair<MeshKind, Sex>> expected = {
        {"NordFemaleHead.tri", {MeshKind::kHead, Sex::kFemale}},
        {"NordFemaleEyes.tri", {MeshKind::kEyes, Sex::kFemale}},
        {"NordMaleHead.tri", {MeshKind::kHead, Sex::kMale}},
        {"DefaultFemaleMouth.tri", {MeshKind::kMouth, Sex::kFemale}},
        {"DefaultFemaleHead.tri", {MeshKind::kHead, Sex::kFemale}},
        {"DefaultFemaleEyes.tri", {MeshKind::kEyes, Sex::kFemale}},
        {"DefaultMaleMouth.tri", {MeshKind::kMouth, Sex::kMale}},
        {"DefaultMaleHead.tri", {MeshKind::kHead, Sex::kMale}},
        {"DefaultMaleEyes.tri", {MeshKind::kEyes, Sex::kMale}},
    };
    ASSERT_EQ(plan.files.size(), expected.size());
    for (const auto& [name, what] : expected) {
        const SourceFile* f = File(plan, "sets\\" + name);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(f->kind, what.first) << name;
        EXPECT_EQ(f->sex, what.second) << name;
        ASSERT_EQ(f->targets.size(), 1u);
        for (const std::string& n : RequiredMorphNames()) EXPECT_TRUE(Has(*f, n)) << name << " " << n;
    }
}

TEST_F(TrigenPlan, EachFileHoldsTheMorphsItsSlidersNameForItsSex) {
    Load();
    const Plan plan = MakePlan(Config());
    const SourceFile* female = File(plan, "NordFemaleHead.tri");
    const SourceFile* eyes = File(plan, "NordFemaleEyes.tri");
    const SourceFile* male = File(plan, "NordMaleHead.tri");
    const SourceFile* otherMale = File(plan, "DefaultMaleHead.tri");
    ASSERT_TRUE(female && eyes && male && otherMale);
    for (const SourceFile* f : {female, eyes, male}) {
        for (int i = 0; i <= 20; ++i) EXPECT_TRUE(Has(*f, "CheeksFull" + std::to_string(i))) << f->path << i;
        EXPECT_FALSE(Has(*f, "CheeksFull21"));
        for (const char* n : {"NoseType0", "NoseNarrow", "NoseWide", "MouthNarrow", "MouthWide"})
            EXPECT_TRUE(Has(*f, n)) << n;
        EXPECT_FALSE(Has(*f, "WarpaintDetail"));  // a colour menu's target, not a morph
    }
    for (const char* n : {"LipsThin", "LipsFull"}) {  // women only
        EXPECT_TRUE(Has(*female, n));
        EXPECT_FALSE(Has(*male, n));
    }
    for (const char* n : {"BrowRidgeFlat", "BrowRidgeDeep"}) {  // men only
        EXPECT_TRUE(Has(*male, n));
        EXPECT_FALSE(Has(*female, n));
    }
    EXPECT_FALSE(Has(*otherMale, "CheeksFull0"));  // the default set has no such slider
    EXPECT_EQ(otherMale->morphs.size(), RequiredMorphNames().size());
}

TEST_F(TrigenPlan, TargetFoldersComeOutermostFirstEachOnce) {
    Load();
    const std::vector<std::string> folders = TargetFolders(Config());
    EXPECT_EQ(folders, (std::vector<std::string>{"data", "data\\meshes", "data\\meshes\\actors",
                                                 "data\\meshes\\actors\\character",
                                                 "data\\meshes\\actors\\character\\character assets"}));
}

TEST_F(TrigenPlan, TheLibraryReadsTheWrittenFilesIntoOneMeshPerTarget) {
    Load();
    const Plan plan = MakePlan(Config());
    for (const SourceFile& f : plan.files) {
        std::string error;
        const TriFile tri = BuildTriFile(f, error);
        ASSERT_TRUE(error.empty()) << error;
        const std::string bytes = SerializeTri(tri);
        EXPECT_EQ(bytes, SerializeTri(BuildTriFile(f, error))) << "two runs differ: " << f.path;
        EXPECT_EQ(bytes.substr(0, 8), "FRTRI003");
        folder.WriteFile(f.path, bytes);
    }
    // The same target path has the same vertex count in every race set that names it.
    std::map<std::string, uint32_t> counts;
    for (const RaceSetting& r : Config().raceSettings) {
        for (int sexCode : {1, 2}) {
            ClearTriCache();
            EnsureTriCache("check " + r.raceSetName + std::to_string(sexCode), sexCode, r);
            for (const std::string& target : r.TargetNames(sexCode)) {
                const TriFile* cached = FindCachedTri(target);
                ASSERT_NE(cached, nullptr) << target;
                ASSERT_GT(cached->vertexCount, 0u) << target;
                auto [it, fresh] = counts.emplace(target, cached->vertexCount);
                EXPECT_EQ(it->second, cached->vertexCount) << target;
                for (const TriMorph& m : cached->morphs) EXPECT_EQ(m.deltas.size(), cached->vertexCount) << m.name;
                EXPECT_GE(FindMorphIndex(*cached, "NoseUp"), 0);
                EXPECT_GE(FindMorphIndex(*cached, "VTR_HeadLargeNPC"), 0);
            }
        }
    }
    EXPECT_EQ(counts.at("data\\meshes\\actors\\character\\character assets\\femaleheadchargen.tri"),
              Model(Sex::kFemale).head.vertices.size());
    EXPECT_EQ(counts.at("data\\meshes\\actors\\character\\character assets\\eyesfemalechargen.tri"),
              Model(Sex::kFemale).eyes.vertices.size());
    EXPECT_FALSE(log.Contains("    ERROR: no source .tri found"));
    for (const std::string& l : log.Lines()) EXPECT_EQ(l.find("ERROR"), std::string::npos) << l;
}

TEST_F(TrigenPlan, WrittenFileReadsBackWithItsMorphsInOrder) {
    Load();
    const Plan plan = MakePlan(Config());
    const SourceFile* f = File(plan, "NordFemaleHead.tri");
    ASSERT_NE(f, nullptr);
    std::string error;
    const TriFile written = BuildTriFile(*f, error);
    const std::string bytes = SerializeTri(written);
    TriFile read;
    TriMemorySource source(bytes.data(), bytes.size());
    ASSERT_TRUE(ReadTriBody(source, read).ok);
    EXPECT_EQ(read.vertexCount, Model(Sex::kFemale).head.vertices.size());
    EXPECT_EQ(read.uvCount, Model(Sex::kFemale).head.uvs.size());
    ASSERT_EQ(read.morphs.size(), f->morphs.size());
    for (size_t i = 0; i < read.morphs.size(); ++i) EXPECT_EQ(read.morphs[i].name, f->morphs[i]);
    const TriMorph& nose = read.morphs[static_cast<size_t>(FindMorphIndex(read, "NoseLong"))];
    size_t top = 0;
    for (size_t i = 0; i < nose.deltas.size(); ++i)
        if (nose.deltas[i].dy > nose.deltas[top].dy) top = i;
    EXPECT_EQ(nose.deltas[top].dy, 32767);
    EXPECT_LT(std::abs(read.vertices[top].x), 1.0f);
    EXPECT_GT(read.vertices[top].y, 10.0f);
}

// The blocks real files carry, added to a generated file: each index stays inside the mesh, the
// statistical morphs cover exactly the modifier vertices, and the file reads back as written.
TEST_F(TrigenPlan, EveryBlockIsConsistentWithItsMeshAndReadsBack) {
    Load();
    const Plan plan = MakePlan(Config());
    const SourceFile* f = File(plan, "NordFemaleEyes.tri");
    ASSERT_NE(f, nullptr);
    for (bool perVertexUvs : {false, true}) {
        SCOPED_TRACE(perVertexUvs);
        std::string error;
        TriFile tri = BuildTriFile(*f, error);
        ASSERT_TRUE(error.empty()) << error;
        AddEveryBlock(tri, perVertexUvs);
        const std::string bytes = SerializeTri(tri);
        TriFile read;
        TriMemorySource source(bytes.data(), bytes.size());
        const TriReadResult r = ReadTriBody(source, read);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(SerializeTri(read), bytes);
        EXPECT_GT(read.quadCount, 0u);
        EXPECT_GT(read.labelledVertexCount, 0u);
        EXPECT_GT(read.labelledPointCount, 0u);
        for (const TriQuad& q : read.quads) EXPECT_TRUE(q.a < read.vertexCount && q.d < read.vertexCount);
        for (const TriQuad& q : read.uvQuads) EXPECT_TRUE(q.a < read.uvCount && q.d < read.uvCount);
        EXPECT_EQ(read.uvQuads.size(), perVertexUvs ? 0u : read.quads.size());
        EXPECT_EQ(read.uvs.size(), perVertexUvs ? read.vertexCount : read.uvCount);
        uint32_t covered = 0;
        for (const TriModifierMorphInfo& m : ListModifierMorphs(read)) covered += m.vertexCount;
        EXPECT_EQ(ListModifierMorphs(read).size(), read.modifierMorphCount);
        EXPECT_EQ(covered, read.modifierVertexCount);
        EXPECT_EQ(read.morphs.size(), f->morphs.size());
    }
}

TEST_F(TrigenPlan, BundledVertexEditFileMatchesTheGeneratedMeshes) {
    Load();
    EXPECT_TRUE(CheckVertexEdits(Config()).empty()) << ::testing::PrintToString(CheckVertexEdits(Config()));
    const RaceSetting& nord = Config().raceSettings.at(0);
    ASSERT_NE(nord.vertexEdit, nullptr);
    EXPECT_EQ(nord.vertexEdit->female.vertexNum, static_cast<int32_t>(Model(Sex::kFemale).head.vertices.size()));
    EXPECT_EQ(nord.vertexEdit->male.vertexNum, static_cast<int32_t>(Model(Sex::kMale).head.vertices.size()));
    ASSERT_FALSE(nord.vertexEdit->female.extraModels.empty());
    EXPECT_FALSE(nord.vertexEdit->female.extraModels[0].pairs.empty());
}

TEST_F(TrigenPlan, VertexEditFileThatDoesNotFitIsReported) {
    std::string text = Edit();
    const size_t at = text.find("vertexnum=");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, "vertexnum=16");
    text +=
        "\n[MainModel]\n1, 1, 16, 16\n2, 2, 16, 16\n99999, 5, 16, 16\n"
        "[ExtraModel]\nname=data\\meshes\\actors\\character\\character assets\\eyesfemalechargen.tri\n0, 0\n";
    folder.WriteFile("data/Meshes/Vultrane/Sets/NordHeadEdit.txt", text);
    Load();
    const std::vector<std::string> errors = CheckVertexEdits(Config());
    auto reported = [&](const std::string& part) {
        return std::any_of(errors.begin(), errors.end(),
                           [&](const std::string& e) { return e.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(reported("female vertexnum=16, the generated mesh has"));
    EXPECT_TRUE(reported("record 2, 2: the mirror image of 2 is 56"));  // 1 is on the midline: its own mirror
    EXPECT_TRUE(reported("record 99999, 5: not a vertex"));
    EXPECT_TRUE(reported("extra pair 0, 0: the vertices are"));
    EXPECT_EQ(errors.size(), 4u) << ::testing::PrintToString(errors);
}

TEST_F(TrigenPlan, SuggestedVertexEditLinesPassTheCheck) {
    for (Sex sex : kSexes) {
        const std::string lines = SuggestVertexEdit(sex);
        const std::string block = sex == Sex::kFemale ? "" : "_M";
        const std::string target = sex == Sex::kFemale ? "femaleheadchargen.tri" : "maleheadchargen.tri";
        std::string file = "[MainModel" + block + "]\nname=data\\meshes\\actors\\character\\character assets\\" +
                           target + "\nvertexnum=" + std::to_string(Model(sex).head.vertices.size()) + "\n";
        std::string extra;
        const size_t cut = lines.find("# extra model pairs");
        ASSERT_NE(cut, std::string::npos);
        file += lines.substr(0, cut);
        if (sex == Sex::kFemale)
            file += "[ExtraModel]\nname=data\\meshes\\actors\\character\\character assets\\eyesfemalechargen.tri\n" +
                    lines.substr(cut);
        folder.WriteFile("data/Meshes/Vultrane/Sets/NordHeadEdit.txt", file);
        Config() = Configuration{};
        Load();
        ASSERT_NE(Config().raceSettings.at(0).vertexEdit, nullptr);
        const VertexEditSexBlock& b = Config().raceSettings[0].vertexEdit->Block(sex == Sex::kFemale ? 2 : 1);
        EXPECT_EQ(b.mainRecords.size(), 8u);
        EXPECT_EQ(b.extraModels.empty(), sex == Sex::kMale);
        EXPECT_TRUE(CheckVertexEdits(Config()).empty()) << ::testing::PrintToString(CheckVertexEdits(Config()));
    }
}

TEST_F(TrigenPlan, TargetsWithoutAMeshAndSharedSourcesAreReported) {
    folder.WriteFile("data/Meshes/Vultrane/Sets/Odd.ini",
                     "racesetname=Odd\n"
                     "files=data\\meshes\\odd\\hands.tri, OddHands.tri\n"
                     "files=data\\meshes\\odd\\femaleheadchargen.tri, Shared.tri\n"
                     "mfiles=data\\meshes\\odd\\maleheadchargen.tri, shared.TRI\n"
                     "[-face]\nOdd, 77, 200, ElbowIn, ElbowOut\n");
    folder.WriteFile("data/Meshes/Vultrane/odd.ini", "[Odd]\nsliderini=Sets\\Odd.ini\nname=OddRace\n");
    Load();
    const Plan plan = MakePlan(Config());
    ASSERT_EQ(plan.errors.size(), 2u) << ::testing::PrintToString(plan.errors);
    EXPECT_NE(plan.errors[0].find("no mesh for target data\\meshes\\odd\\hands.tri"), std::string::npos);
    EXPECT_NE(plan.errors[1].find("is a source of both a female head and a male head"), std::string::npos);
    const SourceFile* shared = File(plan, "Shared.tri");
    ASSERT_NE(shared, nullptr);
    std::string error;
    BuildTriFile(*shared, error);
    EXPECT_NE(error.find("no shape for the morph \"ElbowIn\""), std::string::npos) << error;
}

// ----- Pictures --------------------------------------------------------------------------------

TEST(TrigenPicture, DrawsTheHeadIntoAPng) {
    const HeadModel& m = Model(Sex::kFemale);
    const std::string png = RenderPicture({{{&m.head, {}, {200, 180, 160}}}}, 2.0);  // one stored block
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    const auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
    };
    const uint32_t width = be32(16), height = be32(20);
    EXPECT_EQ(width, 2u * 52);
    EXPECT_EQ(height, 64u);
    // Stored blocks: the pixels follow their row filter bytes unchanged; count the head's.
    const size_t data = png.find("IDAT") + 4 + 2 + 5;
    size_t lit = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (uint8_t(png[data + y * (width * 3 + 1) + 1 + x * 3]) != 40) ++lit;
    EXPECT_GT(lit, width * height / 5);
    EXPECT_LT(lit, width * height * 3 / 4);
}

}  // namespace
