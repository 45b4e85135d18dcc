#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "sliders/race_match.h"
#include "tests/config/config_fixture.h"

namespace {

using vtrconfigtest::ConfigFixture;
using ConfigLoader = ConfigFixture;

const std::string kSet = "racesetname=Nord Set\n[-face]\nNose, 1000, 0, Lo, Hi\n";

TEST_F(ConfigLoader, RaceSetInASubfolderWithPathCaseOfItsOwn) {
    WriteConfig("races.ini", "[Nord]\r\nsliderini=Sets\\Nord.ini\r\nname=Nord, NordRace\r\nedid=NordRace\r\n");
    folder.WriteFile("data/Meshes/Vultrane/Sets/Nord.ini", kSet);
    LoadConfiguration(kConfigDirectory);
    const Configuration& c = Config();
    ASSERT_EQ(c.raceDefinitions.size(), 1u);
    EXPECT_EQ(c.raceDefinitions[0].sliderIni, "sets\\nord.ini");
    ASSERT_EQ(c.raceSettings.size(), 1u);
    const RaceSetting& r = c.raceSettings[0];
    EXPECT_EQ(r.raceSetName, "Nord Set");
    EXPECT_EQ(r.raceNames, (std::vector<std::string>{"Nord", "NordRace"}));
    EXPECT_EQ(r.raceEditorIds, std::vector<std::string>{"NordRace"});
    EXPECT_EQ(r.iniDirectory, "data\\Meshes\\Vultrane\\sets\\");
    EXPECT_EQ(r.sliders.size(), 1u);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Load ini: data\\Meshes\\Vultrane\\sets\\nord.ini"});
}

TEST_F(ConfigLoader, FilesSavedWithAByteOrderMarkLoad) {
    // Common editors put a UTF-8 mark before the first line of every file.
    const std::string bom = "\xEF\xBB\xBF";
    WriteConfig("races.ini", bom + "[Nord]\nsliderini=nord.ini\nname=Nord\n");
    WriteConfig("nord.ini", bom + kSet);
    WriteConfig("edit.txt", bom + "[MainModel]\nvertexnum=12\n");
    LoadConfiguration(kConfigDirectory);
    ASSERT_EQ(Config().raceSettings.size(), 1u);
    EXPECT_EQ(Config().raceSettings[0].raceSetName, "Nord Set");
    vertexEditData* edit = GetVertexEditData("data\\Meshes\\Vultrane\\edit.txt");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->female.vertexNum, 12);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ConfigLoader, DefinitionsGatherPerRaceSetFileAcrossFiles) {
    WriteConfig("a.ini",
                "sliderini=shared.ini\nname=Before\n"  // a definition before the first header
                "[One]\nsliderini=shared.ini\nname=Nord\nedid=NordRace\npreset=p1.txt, p2.txt\n"
                "[NoRaces]\nsliderini=orphan.ini\npreset=p.txt\n"
                "[Two]\nsliderini=other.ini\nedid=ImperialRace\n");
    WriteConfig("b.ini", "[Three]\nSliderIni=SHARED.ini\nname=Nord, Breton\nedid=BretonRace\n"
                         "[NoFile]\nname=Orc\n");
    WriteConfig("shared.ini", kSet);
    WriteConfig("other.ini", "racesetname=Other\n");
    WriteConfig("orphan.ini", "racesetname=Orphan\n");
    LoadConfiguration(kConfigDirectory);
    const Configuration& c = Config();
    ASSERT_EQ(c.raceDefinitions.size(), 4u);
    EXPECT_EQ(c.raceDefinitions[1].presets, (std::vector<std::string>{"p1.txt", "p2.txt"}));
    ASSERT_EQ(c.raceSettings.size(), 2u);  // shared.ini once, then other.ini; orphan.ini never
    EXPECT_EQ(c.raceSettings[0].raceSetName, "Nord Set");
    EXPECT_EQ(c.raceSettings[0].raceNames, (std::vector<std::string>{"Before", "Nord", "Nord", "Breton"}));
    EXPECT_EQ(c.raceSettings[0].raceEditorIds, (std::vector<std::string>{"NordRace", "BretonRace"}));
    EXPECT_EQ(c.raceSettings[0].iniDirectory, "data\\Meshes\\Vultrane\\");
    EXPECT_EQ(c.raceSettings[1].raceSetName, "Other");
    EXPECT_TRUE(c.raceSettings[1].raceNames.empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Load ini: data\\Meshes\\Vultrane\\shared.ini",
                                                     "Load ini: data\\Meshes\\Vultrane\\other.ini"}));
}

TEST_F(ConfigLoader, GlobalSettingsLastReadWinsInByteOrder) {
    struct Case {
        const char* first;   // in "B.ini", read before "a.ini"
        const char* second;  // in "a.ini"
        double scale;
        int32_t step;
    } const cases[] = {
        {"sliderscale=2.5\nsliderstep=4", "", 2.5, 4},
        {"sliderscale=2.5\nsliderstep=4", "SliderScale=0.5\nsliderstep=-2", 0.5, -2},
        {"sliderscale=2.5\nsliderstep=4", "sliderscale=0\nsliderstep=abc", 1.0, 1},
        {"", "sliderscale=1e999\nsliderstep=99999999999", 1.0, 2147483647},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.first) + " | " + k.second);
        Config() = Configuration{};
        WriteConfig("B.ini", k.first);
        WriteConfig("a.ini", k.second);
        LoadConfiguration(kConfigDirectory);
        EXPECT_DOUBLE_EQ(Config().sliderScale, k.scale);
        EXPECT_EQ(Config().sliderStep, k.step);
    }
}

TEST_F(ConfigLoader, DirectoryProblems) {
    LoadConfiguration("");
    LoadConfiguration("data\\Missing\\");
    folder.WriteFile("data/Meshes/Vultrane/readme.txt", "no ini here");
    LoadConfiguration(kConfigDirectory);
    // Hidden files and folders do not count.
    folder.WriteFile("data/Meshes/Vultrane/.hidden.ini", "[X]\nsliderini=x.ini\nname=X\n");
    folder.WriteFile("data/Meshes/Vultrane/folder.ini/inner.ini", "");
    LoadConfiguration(kConfigDirectory);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: cannot access .ini directory.",
                                                     "    ERROR: cannot access .ini.", "    ERROR: cannot access .ini.",
                                                     "    ERROR: cannot access .ini."}));
    EXPECT_TRUE(Config().raceDefinitions.empty());
    EXPECT_TRUE(Config().raceSettings.empty());
}

TEST_F(ConfigLoader, DirectoryWithoutTrailingBackslash) {
    WriteConfig("races.ini", "[Nord]\nsliderini=nord.ini\nname=Nord\n");
    WriteConfig("nord.ini", kSet);
    LoadConfiguration("data\\Meshes\\Vultrane");
    ASSERT_EQ(Config().raceSettings.size(), 1u);
    EXPECT_EQ(Config().raceSettings[0].iniDirectory, "data\\Meshes\\Vultrane\\");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Load ini: data\\Meshes\\Vultrane\\nord.ini"});
}

TEST_F(ConfigLoader, FailedRaceSetsAreDroppedAndAReloadDoesNotPileUpDefinitions) {
    WriteConfig("races.ini",
                "[Nord]\nsliderini=nord.ini\nname=Nord\n"
                "[Orc]\nsliderini=missing.ini\nname=Orc\n");
    WriteConfig("nord.ini", "racesetname=Nord Set\n[-face]\nNose, 1000, 0, Lo\n");
    LoadConfiguration(kConfigDirectory);
    EXPECT_TRUE(Config().raceSettings.empty());
    EXPECT_EQ(Config().raceDefinitions.size(), 2u);  // kept for presets
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "    ERROR: ini: invalid data at line 3 in Meshes\\Vultrane\\nord.ini",
                               "fail Load ini: data\\Meshes\\Vultrane\\nord.ini",
                               "    ERROR: system: Meshes\\Vultrane\\missing.ini not exist",
                               "fail Load ini: data\\Meshes\\Vultrane\\missing.ini"}));

    // The author fixes the file; the next request loads again.
    WriteConfig("nord.ini", kSet);
    LoadConfiguration(kConfigDirectory);
    EXPECT_EQ(Config().raceDefinitions.size(), 2u);
    ASSERT_EQ(Config().raceSettings.size(), 1u);
    EXPECT_EQ(Config().raceSettings[0].raceNames, std::vector<std::string>{"Nord"});
}

TEST_F(ConfigLoader, RaceDefinitionsAndRaceSetInOneFileWithLongLines) {
    std::string names;
    for (int i = 0; i < 600; ++i) names += (i ? ", " : "") + std::string("Race") + std::to_string(i);
    WriteConfig("all.ini", "racesetname=All in one\n"
                           "sliderini=all.ini\n"
                           "name=" + names + "\n"
                           "[-body]\n"
                           "Wide, 5, 1, Morph\n");
    LoadConfiguration(kConfigDirectory);
    ASSERT_EQ(Config().raceSettings.size(), 1u);
    const RaceSetting& r = Config().raceSettings[0];
    EXPECT_EQ(r.raceSetName, "All in one");
    ASSERT_EQ(r.raceNames.size(), 600u);
    EXPECT_EQ(r.raceNames.back(), "Race599");
    EXPECT_EQ(r.sliders.size(), 1u);
}

// The bundled example folder loads cleanly and uses every kind of line it is meant to show.
TEST_F(ConfigLoader, BundledExampleConfigurationLoads) {
    namespace fs = std::filesystem;
    fs::copy(fs::path(VTR_SOURCE_DIR) / "examples/game/data", fs::path(folder.Path()) / "data",
             fs::copy_options::recursive);
    LoadConfiguration(kConfigDirectory);
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());
    const Configuration& c = Config();
    ASSERT_GE(c.raceSettings.size(), 3u);
    std::set<int32_t> types;
    bool colourMenu = false, merged = false, custom = false, vertexEdit = false, defaultSet = false,
         unsupported = false;
    for (const RaceSetting& r : c.raceSettings) {
        for (const SliderDef& s : r.sliders) {
            types.insert(s.type);
            colourMenu |= s.type == 10 && !s.name.empty() && s.menuIndex != 101;
            merged |= s.type == 99;
            custom |= s.categoryMask >= (1u << 10);
        }
        vertexEdit |= r.vertexEdit != nullptr;
        for (const std::string& n : r.raceNames) {
            defaultSet |= n == "vtr_defaultrace";
            unsupported |= n == "vtr_unsupportedrace";
        }
    }
    for (int32_t t : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 17, 18, 99}) EXPECT_TRUE(types.count(t)) << t;
    EXPECT_TRUE(colourMenu && merged && custom && vertexEdit && defaultSet && unsupported);
    const RaceSetting& nord = c.raceSettings[0];
    EXPECT_EQ(nord.raceNames, (std::vector<std::string>{"Nord", "Imperial"}));
    EXPECT_EQ(nord.iniDirectory, "data\\Meshes\\Vultrane\\sets\\");
    ASSERT_NE(nord.vertexEdit, nullptr);
    EXPECT_EQ(nord.vertexEdit->female.mainRecords.size(), 8u);
    EXPECT_EQ(nord.vertexEdit->female.name, nord.fileSetNames.at(0));
    // An extra model's edits reach only a target of the set that has the model's name.
    ASSERT_FALSE(nord.vertexEdit->female.extraModels.empty());
    for (const ExtraModelEntry& e : nord.vertexEdit->female.extraModels)
        EXPECT_NE(std::find(nord.fileSetNames.begin(), nord.fileSetNames.end(), e.name), nord.fileSetNames.end())
            << e.name;
}

// The example's default race set serves a race that no set lists when its mouth, head and eyes
// (part types 0, 1 and 2) all use the common morph files: each type must meet one target.
TEST_F(ConfigLoader, BundledDefaultRaceSetServesUnlistedRacesWithCommonHeadParts) {
    namespace fs = std::filesystem;
    fs::copy(fs::path(VTR_SOURCE_DIR) / "examples/game/data", fs::path(folder.Path()) / "data",
             fs::copy_options::recursive);
    LoadConfiguration(kConfigDirectory);
    const std::string assets = "actors\\character\\character assets\\";
    struct Parts {
        int8_t sex;
        const char* mouth;
        const char* head;
        const char* eyes;
    } const cases[] = {
        {1, "femalemouthchargen.tri", "femaleheadchargen.tri", "eyesfemalechargen.tri"},  // as in the example world
        {0, "malemouthchargen.tri", "maleheadchargen.tri", "eyesmalechargen.tri"},
    };
    for (const Parts& p : cases) {
        SCOPED_TRACE(p.head);
        sim::ResetWorld();
        TESNPC* npc = sim::AddNpc(p.sex);
        sim::CreatePlayer(&npc->form, sim::AddRace("WoodElfRace", "Wood Elf"));
        sim::Npc_AddHeadPart(npc, sim::AddHeadPart(0, "Mouth", assets + p.mouth));
        sim::Npc_AddHeadPart(npc, sim::AddHeadPart(1, "Head", assets + p.head));
        sim::Npc_AddHeadPart(npc, sim::AddHeadPart(2, "Eyes", assets + p.eyes));
        std::string raceName, message;
        bool unsupported = false;
        int index = FindRaceSetting(PlayerSingleton(), raceName, &message, unsupported);
        ASSERT_GE(index, 0);
        EXPECT_EQ(Config().raceSettings[static_cast<size_t>(index)].raceSetName, "Default");
        EXPECT_FALSE(unsupported);
    }
    sim::ResetWorld();
}

}  // namespace
