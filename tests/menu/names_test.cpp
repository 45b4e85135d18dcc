#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "menu/names.h"
#include "tests/support/test_support.h"

namespace {

using vtrtest::MenuHarness;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class NamesMenu : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetWorld(); }
    void TearDown() override { sim::ResetWorld(); }

    TESNPC* MakePlayer() {
        TESNPC* npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
        return npc;
    }
    std::vector<const GFxValue*> Records(const char* function, std::vector<GFxValue> args = {}) {
        GFxValue& result = menu.NewArray();
        args.push_back(result);
        menu.Call(function, args);
        return vtrtest::Elements(result);
    }
    double Preset(double index) { return menu.Call("GetPlayerPreset", {MenuHarness::Number(index)}).data.number; }
    void SetPreset(double index, double value) {
        menu.Call("SetPlayerPreset", {MenuHarness::Number(index), MenuHarness::Number(value)});
    }

    MenuHarness menu;
};

TEST_F(NamesMenu, NthNameReadsTrimmedLines) {
    vtrtest::ScopedGameFolder folder;
    const std::string longName(100000, 'n');
    // Folder and file letter case differ from the path the library asks for.
    folder.WriteFile("Data\\meshes\\VULTRANE\\namelist.TXT",
                     " Lydia,\r\nFaendal\n\r\n\tCamilla Valerius,,\t\r\n" + longName + "\nLast");
    struct Row {
        double index;
        std::string text;  // "-" for no record
        double recordIndex;
    };
    const Row rows[] = {
        {0, "Lydia", 0},       {1.9, "Faendal", 1}, {2, "", 2},   {3, "Camilla Valerius", 3},
        {4, longName, 4},      {5, "Last", 5},      {6, "-", 0},  {-1, "-", 0},
        {-0.9, "Lydia", 0},    {kNaN, "Lydia", 0},  {kInf, "-", 0}, {-kInf, "-", 0},
        {1e300, "-", 0},       {-1e300, "-", 0},
    };
    for (const Row& r : rows) {
        auto records = Records("GetNthName", {MenuHarness::Number(r.index)});
        if (r.text == "-") {
            EXPECT_TRUE(records.empty()) << r.index;
            continue;
        }
        ASSERT_EQ(records.size(), 1u) << r.index;
        EXPECT_EQ(vtrtest::MemberNames(*records[0]), (std::vector<std::string>{"text", "index"}));
        EXPECT_EQ(vtrtest::Str(*records[0], "text"), r.text) << r.index;
        EXPECT_EQ(vtrtest::Num(*records[0], "index"), r.recordIndex) << r.index;
    }
}

TEST_F(NamesMenu, NthNameOfAShortFileOrNoFile) {
    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    EXPECT_TRUE(Records("GetNthName", {MenuHarness::Number(0)}).empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: data\\Meshes\\Vultrane\\nameList.txt not exist"}));
    log.Clear();

    folder.WriteFile("data\\Meshes\\Vultrane\\nameList.txt", "one\ntwo\nthree\n");
    EXPECT_TRUE(Records("GetNthName", {MenuHarness::Number(5)}).empty());
    EXPECT_TRUE(Records("GetNthName", {MenuHarness::Number(3)}).empty());  // no line after the last break
    EXPECT_EQ(vtrtest::Str(*Records("GetNthName", {MenuHarness::Number(2)})[0], "text"), "three");
    EXPECT_TRUE(log.Lines().empty());

    folder.WriteFile("data\\Meshes\\Vultrane\\nameList.txt", "");
    EXPECT_TRUE(Records("GetNthName", {MenuHarness::Number(0)}).empty());
}

TEST_F(NamesMenu, RaceAndHairNames) {
    // No game: an empty race name, no hair name.
    auto race = Records("GetPlayerRaceName");
    ASSERT_EQ(race.size(), 1u);
    EXPECT_EQ(vtrtest::MemberNames(*race[0]), (std::vector<std::string>{"text"}));
    EXPECT_EQ(vtrtest::Str(*race[0], "text"), "");
    EXPECT_TRUE(Records("GetHairName").empty());

    TESNPC* npc = MakePlayer();
    EXPECT_EQ(vtrtest::Str(*Records("GetPlayerRaceName")[0], "text"), "Nord");
    sim::Npc_AddHeadPart(npc, nullptr);
    sim::Npc_AddHeadPart(npc, sim::AddHeadPart(kHeadPart_Face, "FemaleHeadNord", ""));
    EXPECT_TRUE(Records("GetHairName").empty());  // no hair part

    BGSHeadPart* hair = sim::AddHeadPart(kHeadPart_Hair, "HairFemaleNord07", "");
    hair->fullName.name.data = sim::Intern("Braids");  // the editor name is reported, not this
    sim::Npc_AddHeadPart(npc, hair);
    sim::Npc_AddHeadPart(npc, sim::AddHeadPart(kHeadPart_Hair, "HairLater", ""));
    auto hairRecords = Records("GetHairName");
    ASSERT_EQ(hairRecords.size(), 1u);
    EXPECT_EQ(vtrtest::MemberNames(*hairRecords[0]), (std::vector<std::string>{"text"}));
    EXPECT_EQ(vtrtest::Str(*hairRecords[0], "text"), "HairFemaleNord07");

    // A player without race, and one whose base form is no NPC.
    sim::CreatePlayer(&npc->form, nullptr);
    EXPECT_EQ(vtrtest::Str(*Records("GetPlayerRaceName")[0], "text"), "");
    sim::CreatePlayer(sim::AddOtherForm(), sim::AddRace("ElfRace", "High Elf"));
    EXPECT_TRUE(Records("GetHairName").empty());
    EXPECT_EQ(vtrtest::Str(*Records("GetPlayerRaceName")[0], "text"), "High Elf");
}

TEST_F(NamesMenu, PresetsAndMorphValues) {
    EXPECT_EQ(Preset(0), 0);  // no game
    SetPreset(0, 3);
    menu.Call("ResetAllMorphs", {});

    TESNPC* npc = MakePlayer();
    FaceMorphs* morphs = npc->faceMorph;
    for (int i = 0; i < 19; ++i) morphs->option[i] = 0.5f + i;
    for (int i = 0; i < 4; ++i) morphs->presets[i] = 10 + i;
    const FaceMorphs before = *morphs;

    // Indices outside 0..3 read 0 and change nothing.
    for (double index : {-1.0, 4.0, 1e300, -1e300, kInf, -kInf}) {
        EXPECT_EQ(Preset(index), 0) << index;
        SetPreset(index, 3);
    }
    EXPECT_EQ(std::memcmp(morphs, &before, sizeof before), 0);

    SetPreset(2, 7.8);
    EXPECT_EQ(morphs->presets[2], 7);
    EXPECT_EQ(Preset(2), 7);
    EXPECT_EQ(Preset(2.9), 7);
    EXPECT_EQ(Preset(kNaN), 10);  // NaN reads as index 0
    SetPreset(1, -2.5);
    EXPECT_EQ(Preset(1), -2);
    SetPreset(3, 1e300);
    EXPECT_EQ(Preset(3), 2147483647);
    SetPreset(3, -kInf);
    EXPECT_EQ(Preset(3), -2147483648.0);
    SetPreset(0, kNaN);
    EXPECT_EQ(Preset(0), 0);

    // Resetting clears the 19 values and keeps the presets.
    const int32_t presets[4] = {morphs->presets[0], morphs->presets[1], morphs->presets[2], morphs->presets[3]};
    menu.Call("ResetAllMorphs", {MenuHarness::Number(1)});
    for (int i = 0; i < 19; ++i) EXPECT_EQ(morphs->option[i], 0.0f) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(morphs->presets[i], presets[i]) << i;

    // Without the face-morph record nothing is read or written.
    sim::Npc_RemoveFaceMorphs(npc);
    EXPECT_EQ(Preset(2), 0);
    SetPreset(2, 1);
    menu.Call("ResetAllMorphs", {});
    EXPECT_EQ(morphs->presets[2], 7);
}

TEST_F(NamesMenu, ModelUpdateAndVersion) {
    const int updates = sim::ModelUpdateCount();
    menu.Call("UpdateModel", {});
    EXPECT_EQ(sim::ModelUpdateCount(), updates);  // no player
    MakePlayer();
    menu.Call("UpdateModel", {MenuHarness::Bool(true)});
    EXPECT_EQ(sim::ModelUpdateCount(), updates + 1);

    EXPECT_EQ(menu.Call("ValidCheck", {}).data.number, 46);
    EXPECT_EQ(menu.Call("ValidCheck", {MenuHarness::Bool(false), menu.String("x"), MenuHarness::Number(kNaN)})
                  .data.number,
              46);
}

TEST_F(NamesMenu, TestWritesTheCameraNodes) {
    vtrtest::LogCapture log;
    menu.Call("Test", {});  // no camera
    EXPECT_TRUE(log.Lines().empty());

    sim::TransformSpec rootSpec;
    rootSpec.translate[0] = 1;
    rootSpec.translate[1] = 2.5f;
    rootSpec.translate[2] = -3;
    NiNode* root = sim::AddNode(nullptr, "Camera Root", rootSpec);
    sim::AddEmptyChildSlot(root);
    sim::AddNode(root, "");
    sim::TransformSpec childSpec;
    const float rot[9] = {0, -1, 0, 1, 0, 0, 0, 0, 0.5f};
    for (int i = 0; i < 9; ++i) childSpec.rotate[i] = rot[i];
    childSpec.translate[0] = 9;
    sim::AddNode(root, "WorldRoot Camera", childSpec);
    sim::CreateCamera(80, 75);
    sim::Camera_SetRoot(root);
    root->av.m_worldTransform.pos = {4, 5, 6};  // differs from the local translation

    menu.Call("Test", {MenuHarness::Number(1)});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "0:Camera Root",
                               "0L:1.000000, 2.500000, -3.000000",
                               "0W:4.000000, 5.000000, 6.000000",
                               "2:WorldRoot Camera",
                               "2L:0.000000, -1.000000, 0.000000",
                               "2L:1.000000, 0.000000, 0.000000",
                               "2L:0.000000, 0.000000, 0.500000",
                           }));

    // A root without a name lists only its children; one without children only itself.
    log.Clear();
    root->av.m_name = nullptr;
    menu.Call("Test", {});
    EXPECT_EQ(log.Lines().size(), 4u);
    EXPECT_EQ(log.Lines()[0], "2:WorldRoot Camera");
    log.Clear();
    sim::Camera_SetRoot(sim::AddNode(nullptr, "Lonely"));
    menu.Call("Test", {});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"0:Lonely", "0L:0.000000, 0.000000, 0.000000",
                                                     "0W:0.000000, 0.000000, 0.000000"}));
}

TEST_F(NamesMenu, WrongArgumentsAreReported) {
    vtrtest::LogCapture log;
    TESNPC* npc = MakePlayer();
    npc->faceMorph->presets[0] = 5;
    GFxValue& result = menu.NewArray();
    menu.Call("GetNthName", {result, MenuHarness::Number(0)});
    menu.Call("GetPlayerRaceName", {menu.String("result")});
    menu.Call("GetHairName", {});
    const GFxValue& preset = menu.Call("GetPlayerPreset", {MenuHarness::Bool(false)});
    EXPECT_EQ(preset.type & kGFxTypeMask, kGFxType_Number);  // still set, to 0
    EXPECT_EQ(preset.data.number, 0);
    menu.Call("SetPlayerPreset", {MenuHarness::Number(0)});
    menu.Call("SetPlayerPreset", {MenuHarness::Number(0), menu.String(std::string(10000, '9').c_str())});
    EXPECT_EQ(npc->faceMorph->presets[0], 5);
    EXPECT_TRUE(vtrtest::Elements(result).empty());
    const std::string set = "    ERROR: system: invalid arguments. Quorvix.SetPlayerPreset(index:Number, pos:Number).";
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR: system: invalid arguments. Quorvix.GetNthName(index:Number, result:Array).",
                               "    ERROR: system: invalid arguments. Quorvix.GetPlayerRaceName(result:Array).",
                               "    ERROR: system: invalid arguments. Quorvix.GetHairName(result:Array).",
                               "    ERROR: system: invalid arguments. Quorvix.GetPlayerPreset(index:Number).",
                               set,
                               set,
                           }));
}

}  // namespace
