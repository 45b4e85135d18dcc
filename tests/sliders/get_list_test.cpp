#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "config/model.h"
#include "game/sim/sim.h"
#include "plugin/bridge.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::Bool;
using vtrtest::Elements;
using vtrtest::Member;
using vtrtest::MemberNames;
using vtrtest::MenuHarness;
using vtrtest::Num;
using vtrtest::Str;

const char* kInvalid =
    "    ERROR: system: invalid arguments. Quorvix.GetList(raceName:String, result:Array, MaxID:Number (, "
    "hasFacialHair:Boolean, hasBrows:Boolean)).";
const std::vector<std::string> kSliderKeys = {"text",     "filterFlag", "uniqueID",     "type",    "sliderMax",
                                              "sliderMin", "interval",  "categoryName", "sliderID"};
const std::vector<std::string> kPickers = {"$VTR_Hue", "$VTR_Saturation", "$VTR_Value", "$VTR_Alpha"};

SliderDef Slider(const std::string& name, int32_t uniqueID, int32_t type, int32_t menuIndex, int32_t sexMask = 3) {
    SliderDef s;
    s.name = name;
    s.uniqueID = uniqueID;
    s.type = type;
    s.menuIndex = menuIndex;
    s.sexMask = sexMask;
    s.categoryMask = 1u << 4;
    s.categoryName = "face";
    s.minValue = 0;
    s.maxValue = 10;
    s.interval = 1;
    return s;
}

class GetListTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        Config() = Configuration{};
        RaceSetting set;
        set.raceSetName = "Nord Set";
        set.raceNames = {"Nord"};
        set.fileSetNames = {"data\\meshes\\f.tri"};
        set.maleFileSetNames = {"data\\meshes\\m.tri"};
        Config().raceSettings.push_back(set);
        npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
        NiNode* root = sim::AddNode(nullptr, "NPC Root");
        sim::AddNode(root, "NPC Head [Head]");
        sim::Player_SetRoot3D(root);
    }
    void TearDown() override {
        Config() = Configuration{};
        sim::ResetWorld();
    }

    RaceSetting& Set() { return Config().raceSettings[0]; }

    // Calls GetList and returns the records it appended.
    std::vector<const GFxValue*> List(std::vector<GFxValue> extra = {}, double maxId = 44, const char* race = "x") {
        GFxValue& result = menu.NewArray();
        std::vector<GFxValue> args = {menu.String(race), result, MenuHarness::Number(maxId)};
        for (GFxValue& v : extra) args.push_back(v);
        menu.Call("GetList", args);
        return Elements(result);
    }
    // The texts of the slider records, without the pickers and the flag record.
    static std::vector<std::string> Texts(const std::vector<const GFxValue*>& records) {
        std::vector<std::string> out;
        for (size_t i = 0; i + 5 < records.size(); ++i) out.push_back(Str(*records[i], "text"));
        return out;
    }
    static const GFxValue* ByText(const std::vector<const GFxValue*>& records, const std::string& text) {
        for (const GFxValue* r : records)
            if (Str(*r, "text") == text) return r;
        return nullptr;
    }

    MenuHarness menu;
    TESNPC* npc = nullptr;
    vtrtest::ScopedGameFolder folder;
};

TEST_F(GetListTest, RecordsCarryTheirKeysInOrderThenPickersAndTheFlag) {
    SliderDef s = Slider("Nose", 1000, kSliderMorphPair, 101);
    s.categoryMask = 0x80000010u;  // read as a signed number
    s.minValue = -1;
    s.maxValue = 1;
    s.interval = 0.5f;
    Set().sliders = {s};
    GFxValue& result = menu.NewArray();
    {
        LocalValue first;
        Value_SetNumber(first.value, 7);
        Value_PushBack(result, first.value);  // the array is not cleared
    }
    vtrtest::LogCapture log;
    menu.Call("GetList", {menu.String("Caller"), result, MenuHarness::Number(44)});
    auto records = Elements(result);
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(Value_GetNumber(*records[0]), 7);
    const GFxValue& r = *records[1];
    EXPECT_EQ(MemberNames(r), kSliderKeys);
    EXPECT_EQ(Str(r, "text"), "Nose");
    EXPECT_EQ(Num(r, "filterFlag"), -2147483632.0);
    EXPECT_EQ(Num(r, "uniqueID"), 1000);
    EXPECT_EQ(Num(r, "type"), 0);
    EXPECT_EQ(Num(r, "sliderMax"), 1);
    EXPECT_EQ(Num(r, "sliderMin"), -1);
    EXPECT_EQ(Num(r, "interval"), 0.5);
    EXPECT_EQ(Str(r, "categoryName"), "face");
    EXPECT_EQ(Num(r, "sliderID"), 101);
    for (size_t i = 0; i < 4; ++i) {
        const GFxValue& p = *records[2 + i];
        EXPECT_EQ(MemberNames(p), std::vector<std::string>(kSliderKeys.begin(), kSliderKeys.end() - 1));
        EXPECT_EQ(Str(p, "text"), kPickers[i]);
        EXPECT_EQ(Num(p, "filterFlag"), 16777216);
        EXPECT_EQ(Num(p, "uniqueID"), 980 + static_cast<double>(i));
        EXPECT_EQ(Num(p, "type"), 16);
        EXPECT_EQ(Num(p, "sliderMax"), i == 0 ? 360 : 100);
        EXPECT_EQ(Num(p, "sliderMin"), 0);
        EXPECT_EQ(Num(p, "interval"), 1);
        EXPECT_EQ(Str(p, "categoryName"), " ");
    }
    EXPECT_EQ(MemberNames(*records[6]), std::vector<std::string>{"isLimitedMode"});
    EXPECT_EQ(Member(*records[6], "isLimitedMode")->type & kGFxTypeMask, kGFxType_Bool);
    EXPECT_FALSE(Bool(*records[6], "isLimitedMode"));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"match race: Nord"});  // the player's race name
}

TEST_F(GetListTest, FacialHairAndBrowsShiftTheMenuPositions) {
    Set().sliders = {Slider("Beard", 1, 9, 99), Slider("Brow", 2, 9, 19), Slider("Eyes", 3, 9, 12),
                     Slider("Cheek", 4, 9, 25), Slider("Low", 5, 9, 5), Slider("Ten", 6, 9, 10)};
    struct Case {
        const char* what;
        double maxId;
        std::vector<GFxValue> flags;
        std::vector<std::pair<std::string, double>> expected;  // listed sliders and their sliderID
    };
    const std::vector<Case> cases = {
        {"MaxID 45", 45, {}, {{"Beard", 10}, {"Brow", 20}, {"Eyes", 13}, {"Cheek", 26}, {"Low", 5}, {"Ten", 11}}},
        {"MaxID 45.9 truncates", 45.9, {}, {{"Beard", 10}, {"Brow", 20}, {"Eyes", 13}, {"Cheek", 26}, {"Low", 5}, {"Ten", 11}}},
        {"MaxID 44", 44, {}, {{"Brow", 19}, {"Eyes", 12}, {"Cheek", 25}, {"Low", 5}, {"Ten", 10}}},
        {"no hair, no brows", 45, {MenuHarness::Bool(false), MenuHarness::Bool(false)},
         {{"Eyes", 12}, {"Cheek", 24}, {"Low", 5}, {"Ten", 10}}},
        {"hair, no brows", 44, {MenuHarness::Bool(true), MenuHarness::Bool(false)},
         {{"Beard", 10}, {"Eyes", 13}, {"Cheek", 25}, {"Low", 5}, {"Ten", 11}}},
        {"fifth not a Boolean", 45, {MenuHarness::Bool(false), MenuHarness::Number(0)},
         {{"Beard", 10}, {"Brow", 20}, {"Eyes", 13}, {"Cheek", 26}, {"Low", 5}, {"Ten", 11}}},
        {"only four", 45, {MenuHarness::Bool(false)},
         {{"Beard", 10}, {"Brow", 20}, {"Eyes", 13}, {"Cheek", 26}, {"Low", 5}, {"Ten", 11}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vtrtest::LogCapture log;
        auto records = List(c.flags, c.maxId);
        std::vector<std::pair<std::string, double>> got;
        for (size_t i = 0; i + 5 < records.size(); ++i)
            got.push_back({Str(*records[i], "text"), Num(*records[i], "sliderID")});
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(log.Lines().size(), 1u);  // only the race line, never an argument message
    }
}

TEST_F(GetListTest, RangesScaleForMorphNodeAndPlayerScaleTypesOnly) {
    Config().sliderScale = 2;
    Config().sliderStep = 5;
    SliderDef pair = Slider("Pair", 1, kSliderMorphPair, 101);
    pair.minValue = -1;
    pair.maxValue = 1;
    pair.interval = 1.0f / 15;
    SliderDef morph = Slider("Morph", 2, kSliderMorph, 102);
    morph.maxValue = 30;
    SliderDef node = Slider("Node", 3, kSliderNodeScale, 101);
    node.target = "NPC Head [Head]";
    node.minValue = -3;
    node.maxValue = 3;
    node.interval = 0.2f;
    SliderDef player = Slider("Player", 4, kSliderPlayerScale, 101);
    player.minValue = -1;
    player.maxValue = 1;
    player.interval = 0.5f;
    SliderDef preset = Slider("Preset", 5, kSliderPresetScale, 101);
    Set().sliders = {pair, morph, node, player, preset};
    auto records = List();
    ASSERT_EQ(Texts(records), (std::vector<std::string>{"Pair", "Morph", "Node", "Player", "Preset"}));
    struct Want {
        double min, max, interval;
    };
    const std::vector<Want> want = {{-2, 2, static_cast<double>(1.0f / 15) / 5},
                                    {0, 30, 1},
                                    {-6, 6, static_cast<double>(0.2f) / 5},
                                    {-2, 2, 0.1},
                                    {0, 10, 1}};
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(Num(*records[i], "sliderMin"), want[i].min);
        EXPECT_DOUBLE_EQ(Num(*records[i], "sliderMax"), want[i].max);
        EXPECT_DOUBLE_EQ(Num(*records[i], "interval"), want[i].interval);
    }
}

TEST_F(GetListTest, SkipRulesForNodesSexAndDuplicates) {
    auto node = [](const std::string& name, int32_t type, const std::string& target) {
        SliderDef s = Slider(name, 10 + static_cast<int32_t>(name.size()), type, 101);
        s.target = target;
        return s;
    };
    SliderDef duplicate = Slider("Twice", 50, kSliderMergedDuplicate, 101);
    Set().sliders = {node("Head", kSliderNodeScale, "NPC Head [Head]"),
                     node("Missing", kSliderNodeScale, "NPC Tail"),
                     node("Moved", kSliderNodeMove, "NPC Gone"),
                     node("Dummy1", kSliderNodeScale, "dUMMY"),
                     node("Root", kSliderNodeMove, ""),
                     node("NotANode", kSliderMorph, "NPC Tail"),
                     Slider("Men", 60, kSliderMorph, 102, 1),
                     Slider("Women", 61, kSliderMorph, 102, 2),
                     duplicate};
    EXPECT_EQ(Texts(List()),
              (std::vector<std::string>{"Head", "Dummy1", "Root", "NotANode", "Women", "Twice"}));
    sim::Npc_SetSex(npc, 0);
    EXPECT_EQ(Texts(List()), (std::vector<std::string>{"Head", "Dummy1", "Root", "NotANode", "Men", "Twice"}));

    // Without any skeleton only "dummy" node sliders stay.
    sim::Player_SetRoot3D(nullptr);
    EXPECT_EQ(Texts(List()), (std::vector<std::string>{"Dummy1", "NotANode", "Men", "Twice"}));
}

TEST_F(GetListTest, VertexEditSlidersBringTheirTableAndEightCompanions) {
    Config().vertexEditCache.emplace_back();
    vertexEditData& data = Config().vertexEditCache.back();
    data.female.vertexNum = 1234;
    data.female.uvMap = "uv.dds";
    data.female.vertexTints = "tints.dds";
    data.female.mainRecords = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    data.male.vertexNum = 99;  // no main records
    Set().vertexEdit = &data;
    SliderDef edit = Slider("Edit", 70, kSliderVertexEdit, 101);
    edit.categoryMask = 1u << 10;
    edit.categoryName = "Vertices";
    Set().sliders = {edit};
    auto records = List({}, 45);
    ASSERT_EQ(records.size(), 1u + 8 + 5);
    const GFxValue& main = *records[0];
    std::vector<std::string> keys = kSliderKeys;
    keys.insert(keys.end(), {"vertexNum", "tintPic", "uvMapPic", "vertexList"});
    EXPECT_EQ(MemberNames(main), keys);
    EXPECT_EQ(Str(main, "text"), "Edit");
    EXPECT_EQ(Num(main, "sliderMax"), 2);
    EXPECT_EQ(Num(main, "sliderMin"), 0);
    EXPECT_EQ(Num(main, "interval"), 1);
    EXPECT_EQ(Num(main, "sliderID"), 101);  // never shifted
    EXPECT_EQ(Num(main, "vertexNum"), 1234);
    EXPECT_EQ(Str(main, "tintPic"), "tints.dds");
    EXPECT_EQ(Str(main, "uvMapPic"), "uv.dds");
    auto vertices = Elements(*Member(main, "vertexList"));
    ASSERT_EQ(vertices.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(MemberNames(*vertices[i]), (std::vector<std::string>{"vertexID", "mirrorVertID", "UVPosX", "UVPosY"}));
        EXPECT_EQ(Num(*vertices[i], "vertexID"), 4.0 * i + 1);
        EXPECT_EQ(Num(*vertices[i], "UVPosY"), 4.0 * i + 4);
    }
    struct Companion {
        const char* text;
        double id, min, max;
    };
    const Companion companions[] = {
        {"$VTR_VertexArea", 806, 0, 31},   {"$VTR_VertexAreaType", 807, 0, 2}, {"$VTR_VertexX", 801, -127, 127},
        {"$VTR_VertexY", 802, -127, 127},  {"$VTR_VertexZ", 803, -127, 127},   {"$VTR_VertexMirror", 804, 0, 1},
        {"$VTR_StopMotion", 808, 0, 1},    {"$VTR_VertexReset", 805, 0, 1},
    };
    for (size_t i = 0; i < 8; ++i) {
        const GFxValue& c = *records[1 + i];
        SCOPED_TRACE(companions[i].text);
        EXPECT_EQ(MemberNames(c), kSliderKeys);
        EXPECT_EQ(Str(c, "text"), companions[i].text);
        EXPECT_EQ(Num(c, "uniqueID"), companions[i].id);
        EXPECT_EQ(Num(c, "sliderMin"), companions[i].min);
        EXPECT_EQ(Num(c, "sliderMax"), companions[i].max);
        EXPECT_EQ(Num(c, "interval"), 1);
        EXPECT_EQ(Num(c, "filterFlag"), 1024);
        EXPECT_EQ(Num(c, "type"), kSliderVertexEdit);
        EXPECT_EQ(Str(c, "categoryName"), "Vertices");
        EXPECT_EQ(Num(c, "sliderID"), 101);
    }

    // The male block has no vertices: an empty range at 0, an empty table, the companions.
    sim::Npc_SetSex(npc, 0);
    records = List();
    ASSERT_EQ(records.size(), 1u + 8 + 5);
    EXPECT_EQ(Num(*records[0], "sliderMax"), 0);
    EXPECT_EQ(Num(*records[0], "vertexNum"), 99);
    EXPECT_TRUE(Elements(*Member(*records[0], "vertexList")).empty());

    // Without vertex-edit data the slider yields nothing.
    Set().vertexEdit = nullptr;
    EXPECT_EQ(List().size(), 5u);
}

TEST_F(GetListTest, UnsupportedRaceIsLimitedAndSaysSo) {
    RaceSetting fallback;
    fallback.raceSetName = "Fallback";
    fallback.raceNames = {"VTR_UnsupportedRace"};
    fallback.sliders = {Slider("Colour", 44, kSliderColourMenu, 44)};
    Config().raceSettings.push_back(fallback);
    sim::ResetWorld();
    npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, sim::AddRace("OrcRace", "Orc"));
    vtrtest::LogCapture log;
    auto records = List();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(Str(*records[0], "text"), "Colour");
    EXPECT_TRUE(Bool(*records[5], "isLimitedMode"));
    EXPECT_EQ(log.Lines(),
              std::vector<std::string>{"match race: Orc - morphs are unsupported. color and scale slider only."});
}

TEST_F(GetListTest, NothingWithoutPlayerNpcOrRaceSet) {
    vtrtest::LogCapture log;
    sim::ResetWorld();
    EXPECT_TRUE(List().empty());
    sim::CreatePlayer(sim::AddOtherForm(), nullptr);
    EXPECT_TRUE(List().empty());
    sim::ResetWorld();
    npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, sim::AddRace("OrcRace", "Orc"));
    EXPECT_TRUE(List().empty());
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(GetListTest, ArgumentsOfEveryTypeAndValue) {
    vtrtest::LogCapture log;
    // Too few, or a wrong type in any of the three places: one message, nothing appended.
    GFxValue& result = menu.NewArray();
    menu.Call("GetList", {menu.String("Nord"), result});
    menu.Call("GetList", {MenuHarness::Number(1), result, MenuHarness::Number(44)});
    menu.Call("GetList", {menu.String("Nord"), menu.String("not an array"), MenuHarness::Number(44)});
    menu.Call("GetList", {menu.String("Nord"), result, MenuHarness::Bool(true)});
    menu.Call("GetList", {menu.String("Nord"), result, menu.String("45")});
    menu.Call("GetList", {menu.String("Nord"), result, sim::MakeUndefined()});
    menu.Call("GetList", {});
    EXPECT_TRUE(Elements(result).empty());
    EXPECT_EQ(log.Count(kInvalid), 7u);
    EXPECT_EQ(log.Lines().size(), 7u);

    // Any number as MaxID lists the sliders; only a value that truncates to 45 offers facial hair.
    Set().sliders = {Slider("Beard", 1, 9, 99)};
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, bool>> maxIds = {
        {std::nan(""), false}, {inf, false}, {-inf, false}, {1e300, false}, {-45.5, false},
        {45.0000001, true},    {45, true},   {0, false}};
    for (const auto& [maxId, beard] : maxIds) {
        SCOPED_TRACE(maxId);
        auto records = List({}, maxId);
        EXPECT_EQ(records.size(), beard ? 6u : 5u);
    }

    // The race name argument stands only when the player has no race: empty and very long
    // names pass through to matching and to the log.
    sim::ResetWorld();
    npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, nullptr);
    const std::string longName(100000, 'N');
    Set().raceNames = {longName, ""};
    log.Clear();
    EXPECT_EQ(List({}, 45, longName.c_str()).size(), 6u);
    EXPECT_EQ(List({}, 45, "").size(), 6u);
    EXPECT_EQ(List({}, 45, "Other").size(), 0u);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"match race: " + longName, "match race: "}));
}

TEST_F(GetListTest, FirstCallLoadsTheConfigurationOnce) {
    Config() = Configuration{};
    folder.WriteFile("data\\Meshes\\Vultrane\\races.ini", "[Nord]\nsliderini=nord.ini\nname=Nord\nedid=NordRace\n");
    folder.WriteFile("data\\Meshes\\Vultrane\\nord.ini",
                     "racesetname=Nord Set\nfiles=data\\meshes\\f.tri, a.tri\n[-face]\nNose, 1000, 0, Lo, Hi\n");
    vtrtest::LogCapture log;
    auto records = List();
    EXPECT_EQ(Texts(records), std::vector<std::string>{"Nose"});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Load ini: data\\Meshes\\Vultrane\\nord.ini", "match race: Nord"}));
    log.Clear();
    List();
    EXPECT_EQ(Config().raceSettings.size(), 1u);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"match race: Nord"});

    // A folder without configuration loads nothing and lists nothing, and tries again next time.
    Config() = Configuration{};
    vtrtest::ScopedGameFolder empty;
    log.Clear();
    EXPECT_TRUE(List().empty());
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(log.Count("    ERROR: cannot access .ini."), 2u);
}


TEST_F(GetListTest, SlidersWhoseRangeIsNotAFiniteFloatAreLeftOut) {
    vtrtest::LogCapture log;
    SliderDef endless = Slider("Endless", 2100, kSliderNodeScale, kMenuIndexNone);
    endless.target = "NPC Head [Head]";
    endless.maxValue = std::numeric_limits<float>::infinity();
    SliderDef wide = Slider("Wide", 2101, kSliderMorphPair, kMenuIndexNone);
    wide.maxValue = 3e38f;  // finite, but the range setting's factor takes it past a float
    Set().sliders = {endless, wide, Slider("Nose", 1000, kSliderMorph, kMenuIndexNoneMorph)};
    Config().sliderScale = 10.0;
    EXPECT_EQ(Texts(List()), std::vector<std::string>{"Nose"});
    EXPECT_EQ(log.Count("    WARNING: slider 'Endless' (uniqueID 2100) has a range that is not a finite number (0 to inf, "
                        "step 1); it is left out of the list."),
              1u);
    EXPECT_EQ(log.Count("    WARNING: slider 'Wide' (uniqueID 2101) has a range that is not a finite number (0 to 3e+39, "
                        "step 1); it is left out of the list."),
              1u);
    Config().sliderScale = 1.0;
    EXPECT_EQ(Texts(List()), (std::vector<std::string>{"Wide", "Nose"}));
}

}  // namespace
