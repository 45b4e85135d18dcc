#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "config/model.h"
#include "game/sim/sim.h"
#include "sliders/apply.h"
#include "tests/support/test_support.h"

namespace {

const char* kHead = "NPC Head [Head]";

SliderDef Slider(int32_t uniqueID, int32_t type, const std::string& target, std::vector<std::string> extra = {},
                 int32_t sexMask = 3) {
    SliderDef s;
    s.name = "slider";
    s.uniqueID = uniqueID;
    s.type = type;
    s.target = target;
    s.extraList = std::move(extra);
    s.sexMask = sexMask;
    return s;
}

SliderDef Move(int32_t uniqueID, const std::string& node, double x, double y, double z) {
    SliderDef s = Slider(uniqueID, kSliderNodeMove, node);
    s.offsetX = x;
    s.offsetY = y;
    s.offsetZ = z;
    return s;
}

class ApplySlidersTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        SkeletonText() = "stale";
        npc = sim::AddNpc(1);
        player = sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
        sim::TransformSpec moved;
        moved.translate[0] = moved.translate[1] = moved.translate[2] = 5;
        root = sim::AddNode(nullptr, "NPC Root");
        head = sim::AddNode(root, kHead);
        jaw = sim::AddNode(head, "Jaw", moved);
        sim::Player_SetRoot3D(root);
    }
    void TearDown() override { sim::ResetWorld(); }

    void Apply(const SliderValueList& values, int sexCode = 2) { ApplySliderValues(set, values, sexCode); }
    static float Scale(NiNode* n) { return n->av.m_localTransform.scale; }
    static NiPoint3 Pos(NiNode* n) { return n->av.m_localTransform.pos; }

    RaceSetting set;
    TESNPC* npc = nullptr;
    PlayerCharacter* player = nullptr;
    NiNode* root = nullptr;
    NiNode* head = nullptr;
    NiNode* jaw = nullptr;
};

TEST_F(ApplySlidersTest, ScalesOfOneNodeMultiplyAndReachTheWorldTransform) {
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x"}),
                   Slider(2, kSliderNodeScale, kHead, {kHead, "x"})};
    Apply({{1, 0.2}, {2, -0.5}});
    EXPECT_FLOAT_EQ(Scale(head), 0.6f);
    EXPECT_FLOAT_EQ(jaw->av.m_worldTransform.scale, 0.6f);  // the world data was updated
    EXPECT_EQ(SkeletonText(), "# \"NPC Head [Head]\" scale:0.6\n#\n");

    // One slider, its node item and "x" only: v + 1.
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x"})};
    Apply({{1, 0.3}});
    EXPECT_FLOAT_EQ(Scale(head), 1.3f);

    // Further pairs: (node, formula) of x = v + 1; the node in other letter case is an entry
    // of its own.
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x", "Jaw", "(x*2)", "npc head [head]", "x"})};
    Apply({{1, 0.5}});
    EXPECT_FLOAT_EQ(Scale(jaw), 3.0f);
    EXPECT_EQ(SkeletonText(),
              "# \"NPC Head [Head]\" scale:1.5\n# \"Jaw\" scale:3\n# \"npc head [head]\" scale:1.5\n#\n");
}

TEST_F(ApplySlidersTest, PlusEntriesMoveNodesInStepsOfFive) {
    // "+ Jaw": the name is trimmed, the formula takes v itself, the offsets scale by it.
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x", "+ Jaw", "(x*2)", "1", "0.5", "-1", "Neck", "x"})};
    Apply({{1, 0.25}});
    NiPoint3 p = Pos(jaw);
    EXPECT_FLOAT_EQ(p.x, 0.5f);
    EXPECT_FLOAT_EQ(p.y, 0.25f);
    EXPECT_FLOAT_EQ(p.z, -0.5f);
    EXPECT_EQ(SkeletonText(),
              "# \"NPC Head [Head]\" scale:1.25\n# \"Neck\" scale:1.25\n#\n# \"Jaw\" (x,y,z):0.5,0.25,-0.5\n");

    // Fewer than three numbers after the formula: nothing moves, and the step of five still
    // passes over the items that follow, which would otherwise scale the head.
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {"+Jaw", "x", kHead, "x"})};
    head->av.m_localTransform.scale = 1.0f;
    Apply({{1, 0.25}});
    EXPECT_FLOAT_EQ(Pos(jaw).x, 0.5f);
    EXPECT_FLOAT_EQ(Scale(head), 1.0f);
    EXPECT_EQ(SkeletonText(), "#\n");

    // "+" with nothing after it names no node: skipped by five all the same.
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {"+ ", "x", "1", "1", "1", kHead, "x"})};
    Apply({{1, 1.0}});
    EXPECT_EQ(SkeletonText(), "# \"NPC Head [Head]\" scale:2\n#\n");
}

TEST_F(ApplySlidersTest, MovesReplaceTheTranslationAndAddUp) {
    set.sliders = {Move(1, "Jaw", 0, 1, 0), Move(2, "Jaw", 1, 0, 0)};
    Apply({{1, -2.0}});
    NiPoint3 p = Pos(jaw);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.y, -2.0f);
    EXPECT_FLOAT_EQ(p.z, 0.0f);
    EXPECT_EQ(SkeletonText(), "#\n# \"Jaw\" (x,y,z):-0,-2,-0\n");  // 0 * -2 is -0, written as streams do
    Apply({{1, -2.0}, {2, 3.0}});
    EXPECT_FLOAT_EQ(Pos(jaw).x, 3.0f);
    EXPECT_FLOAT_EQ(Pos(jaw).y, -2.0f);
}

TEST_F(ApplySlidersTest, PresetScaleRoundsToTheNearestRowTowardZero) {
    set.sliders = {Slider(1, kSliderPresetScale, "presetScale",
                          {"NPC Head [Head],1.1,", "NPC Head [Head],1.2,", "NPC Head [Head],1.3,Jaw,0.9,Odd"})};
    struct Case {
        double v;
        float head;
        std::string text;
    };
    const std::vector<Case> cases = {
        {1.4, 1.2f, "# \"NPC Head [Head]\" scale:1.2\n#\n"},
        {1.5, 1.3f, "# \"NPC Head [Head]\" scale:1.3\n# \"Jaw\" scale:0.9\n#\n"},  // unpaired last piece ignored
        {-1.4, 1.1f, "# \"NPC Head [Head]\" scale:1.1\n#\n"},
        {-1.5, 1.0f, "#\n"},
        {2.5, 1.0f, "#\n"},
        {std::numeric_limits<double>::infinity(), 1.0f, "#\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v);
        head->av.m_localTransform.scale = 1.0f;
        Apply({{1, c.v}});
        EXPECT_FLOAT_EQ(Scale(head), c.head);
        EXPECT_EQ(SkeletonText(), c.text);
    }
}

TEST_F(ApplySlidersTest, ColourMenusTintTheirLayersFromTheNegatedEntry) {
    SliderDef lip = Slider(44, kSliderColourMenu, "");
    SliderDef hair = Slider(46, kSliderColourMenu, "");
    SliderDef paint = Slider(10, kSliderColourMenu, "");
    set.sliders = {lip, hair, paint};
    TintMask* lipLayer = sim::AddTint(false, 1, true, "lip.dds", 10, 10, 10, 1.0f);
    TintMask* paintShown = sim::AddTint(false, 7, true, "paint.dds", 10, 10, 10, 0.5f);
    TintMask* paintHidden = sim::AddTint(false, 7, true, "paint2.dds", 10, 10, 10, 0.0f);

    // Missing, zero, negative or NaN colour entries leave the layer; only the first entry counts.
    Apply({{44, 1}});
    Apply({{44, 1}, {-44, 0}, {-44, 4278190335.0}});
    Apply({{44, 1}, {-44, -5}});
    Apply({{44, 1}, {-44, std::nan("")}});
    EXPECT_EQ(lipLayer->red, 10);
    EXPECT_EQ(lipLayer->blue, 10);

    Apply({{-44, 4278190335.0}, {44, 1}});  // 0xFF0000FF, listed before the menu's own entry
    EXPECT_EQ(lipLayer->red, 0);
    EXPECT_EQ(lipLayer->blue, 255);
    EXPECT_FLOAT_EQ(lipLayer->alpha, 1.0f);

    // uniqueID 46 (hair colour) never tints.
    const TintMask before = *lipLayer;
    Apply({{46, 1}, {-46, 4294967295.0}});
    EXPECT_EQ(lipLayer->red, before.red);

    // Type 7: every visible layer, alpha byte 0 becoming 1.
    Apply({{10, 1}, {-10, 16711680.0}});  // pure red with alpha 0
    EXPECT_EQ(paintShown->red, 255);
    EXPECT_EQ(paintShown->green, 0);
    EXPECT_FLOAT_EQ(paintShown->alpha, 1.0f / 255.0f);
    EXPECT_EQ(paintHidden->red, 10);
    EXPECT_FLOAT_EQ(paintHidden->alpha, 0.0f);
}

TEST_F(ApplySlidersTest, RootDummyAndStarEntries) {
    set.sliders = {Slider(1, kSliderNodeScale, "", {"", "x", "Dummy", "(2)", "*Jaw", "x"}),
                   Move(2, "DUMMY", 1, 1, 1)};
    Apply({{1, 1.0}, {2, 1.0}});
    EXPECT_FLOAT_EQ(Scale(root), 2.0f);  // an empty name is the root itself
    EXPECT_FLOAT_EQ(Scale(jaw), 1.0f);   // "*Jaw" finds no node, only its line is written
    EXPECT_EQ(SkeletonText(), "# \"\" scale:2\n# \"*Jaw\" scale:2\n#\n");

    // Nothing to apply still writes the separator.
    Apply({});
    EXPECT_EQ(SkeletonText(), "#\n");
}

TEST_F(ApplySlidersTest, LoadedThreeDOfThePlayerTypeIsTheRoot) {
    NiNode* loadedRoot = sim::AddNode(nullptr, "NPC Root");
    NiNode* loadedHead = sim::AddNode(loadedRoot, kHead);
    sim::Player_SetLoaded3D(loadedRoot);
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x"})};
    Apply({{1, 1.0}});
    EXPECT_FLOAT_EQ(Scale(loadedHead), 2.0f);
    EXPECT_FLOAT_EQ(Scale(head), 1.0f);

    // A reference that is not of the player type keeps its own 3D root.
    sim::ResetWorld();
    npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, nullptr, false);
    NiNode* ownRoot = sim::AddNode(nullptr, "NPC Root");
    NiNode* ownHead = sim::AddNode(ownRoot, kHead);
    NiNode* otherRoot = sim::AddNode(nullptr, "NPC Root");
    NiNode* otherHead = sim::AddNode(otherRoot, kHead);
    sim::Player_SetRoot3D(ownRoot);
    sim::Player_SetLoaded3D(otherRoot);
    Apply({{1, 1.0}});
    EXPECT_FLOAT_EQ(Scale(ownHead), 2.0f);
    EXPECT_FLOAT_EQ(Scale(otherHead), 1.0f);

    // No root at all: lines are still written.
    sim::Player_SetRoot3D(nullptr);
    Apply({{1, 1.0}});
    EXPECT_EQ(SkeletonText(), "# \"NPC Head [Head]\" scale:2\n#\n");
}

TEST_F(ApplySlidersTest, SlidersAreFoundByIdSexAndTypeOnly) {
    SliderDef duplicate = Slider(1, kSliderMergedDuplicate, kHead, {kHead, "(5)"});
    SliderDef male = Slider(1, kSliderNodeScale, kHead, {kHead, "(3)"}, 1);
    SliderDef female = Slider(1, kSliderNodeScale, kHead, {kHead, "(4)"}, 2);
    SliderDef morph = Slider(2, kSliderMorph, kHead);
    set.sliders = {duplicate, male, female, morph};
    Apply({{1, 0}, {2, 5}, {3, 1}});
    EXPECT_FLOAT_EQ(Scale(head), 4.0f);
    Apply({{1, 0}}, 1);
    EXPECT_FLOAT_EQ(Scale(head), 3.0f);
}

TEST_F(ApplySlidersTest, NumbersAreWrittenWithSixSignificantDigits) {
    set.sliders = {Slider(1, kSliderPresetScale, "presetScale", {"A,1.23456789,B,0.0000001,C,1234567,D,-0"}),
                   Move(2, "E", 100000, 1e-5, -2.5)};
    Apply({{1, 0}, {2, 1}});
    EXPECT_EQ(SkeletonText(),
              "# \"A\" scale:1.23457\n# \"B\" scale:1e-07\n# \"C\" scale:1.23457e+06\n# \"D\" scale:-0\n#\n"
              "# \"E\" (x,y,z):100000,1e-05,-2.5\n");
}

TEST_F(ApplySlidersTest, WithoutAPlayerNothingChangesAndTheTextIsEmpty) {
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "x"}), Slider(44, kSliderColourMenu, "")};
    TintMask* lipLayer = sim::AddTint(false, 1, true, "lip.dds", 10, 10, 10, 1.0f);
    Apply({{1, 1.0}});
    ASSERT_NE(SkeletonText(), "");
    sim::RemovePlayer();
    Apply({{1, 1.0}, {44, 1}, {-44, 4278190335.0}});
    EXPECT_EQ(SkeletonText(), "");
    EXPECT_EQ(lipLayer->red, 10);
}

TEST_F(ApplySlidersTest, FactorsAndOffsetsThatAreNotFiniteNeverReachANode) {
    const double inf = std::numeric_limits<double>::infinity();
    set.sliders = {Slider(1, kSliderNodeScale, kHead, {kHead, "1e200"}),
                   Slider(2, kSliderNodeScale, kHead, {kHead, "1e200"}),
                   Slider(3, kSliderPresetScale, "presetScale", {"Jaw,1e39,NPC Root,1e999"}),
                   Move(4, "Jaw", 0, 1, 0),
                   Slider(5, kSliderNodeScale, kHead, {"NPC Root", "x"})};
    head->av.m_localTransform.scale = 0.5f;
    vtrtest::LogCapture log;
    // 1e200 twice overflows; 1e39 does not fit a float; the move by infinity gives 0 * inf.
    Apply({{1, 0}, {2, 0}, {3, 0}, {4, inf}});
    EXPECT_FLOAT_EQ(Scale(head), 0.5f);
    EXPECT_FLOAT_EQ(Scale(jaw), 1.0f);
    EXPECT_FLOAT_EQ(Scale(root), 1.0f);
    EXPECT_FLOAT_EQ(Pos(jaw).y, 5.0f);
    EXPECT_EQ(SkeletonText(), "#\n");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR:system: scale of node 'NPC Head [Head]' is not a finite number. not applied.",
                               "    ERROR:system: scale of node 'Jaw' is not a finite number. not applied.",
                               "    ERROR:system: scale of node 'NPC Root' is not a finite number. not applied.",
                               "    ERROR:system: offset of node 'Jaw' is not a finite number. not applied.",
                           }));

    // A NaN slider value makes the formula fail, which scales by the neutral 1.0.
    log.Clear();
    root->av.m_localTransform.scale = 3.0f;
    Apply({{5, std::nan("")}});
    EXPECT_FLOAT_EQ(Scale(root), 1.0f);
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(ApplySlidersTest, AddNodeEntriesCompareNamesExactly) {
    std::vector<NodeScaleEntry> scales;
    AddNodeScale(scales, "A", 2);
    AddNodeScale(scales, "a", 3);
    AddNodeScale(scales, "A", 0.25);
    ASSERT_EQ(scales.size(), 2u);
    EXPECT_EQ(scales[0].factor, 0.5);
    EXPECT_EQ(scales[1].name, "a");
    std::vector<NodeOffsetEntry> offsets;
    AddNodeOffset(offsets, "A", 1, 2, 3);
    AddNodeOffset(offsets, "A", 1, -2, 0.5);
    ASSERT_EQ(offsets.size(), 1u);
    EXPECT_EQ(offsets[0].x, 2);
    EXPECT_EQ(offsets[0].y, 0);
    EXPECT_EQ(offsets[0].z, 3.5);
}

}  // namespace
