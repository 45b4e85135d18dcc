#include <gtest/gtest.h>

#include <fstream>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "config/model.h"
#include "os/os.h"
#include "persist/slots.h"
#include "plugin/bridge.h"
#include "sliders/apply.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using vtrtest::MenuHarness;

// Sets an environment variable (or removes it) and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

const char* kSkeleton = "# \"NPC Head [Head]\" scale:1.25\n#\n# \"Jaw\" (x,y,z):0,0.5,-1\n";
const char* kSlotDir = "docs/My Games/Skyrim/VTR_save/";

class SlotFiles : public ::testing::Test {
protected:
    SlotFiles() : docs_("XDG_DOCUMENTS_DIR", (folder.Path() + "/docs").c_str()) {
        Config() = Configuration{};
        sim::ResetWorld();
        nord.raceSetName = "Nord";
        nord.raceNames = {"Nord"};
        nord.fileSetNames = {"data\\meshes\\head.tri"};
        nord.fileSets = {{"src.tri"}};
        Config().raceSettings = {nord};
        Config().raceDefinitions = {{"Sets\\Nord.ini", {"Nord"}, {"NordRace"}, {"p1.txt", "p2.txt"}}};
        SkeletonText() = kSkeleton;
    }
    ~SlotFiles() override {
        os::InjectWriteFailureAfter(SIZE_MAX);
        SkeletonText().clear();
        Config() = Configuration{};
        sim::ResetWorld();
    }

    void Player(const std::string& editorId, const std::string& name) {
        sim::CreatePlayer(&sim::AddNpc(1)->form, sim::AddRace(editorId, name));
    }
    std::string SlotText(const std::string& file) const { return folder.ReadFile(kSlotDir + file); }
    void WritePreset(const std::string& name, const std::string& text) const {
        folder.WriteFile("data\\Meshes\\Vultrane\\Presets\\" + name, text);
    }
    // Reads a slot or preset; nullopt when not ok.
    std::optional<FaceSlot> Load(int slot, const std::string& raceName = "Nord") const {
        FaceSlot out{{7, 7.0}};
        if (!LoadFaceSlot(nord, raceName, slot, out)) {
            EXPECT_TRUE(out.empty());
            return std::nullopt;
        }
        return out;
    }
    std::optional<FaceSlot> Read(const std::string& text) const {
        folder.WriteFile(std::string(kSlotDir) + "_9_Nord.slot", text);
        return Load(9);
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    RaceSetting nord;

private:
    ScopedEnv docs_;
};

TEST_F(SlotFiles, WrittenTextIsExactAndReadsBackAsWritten) {
    WriteSlotFile(2, nord, {{28, 0.5}, {30, -1.25}}, "Nord");
    EXPECT_EQ(SlotText("_2_Nord.slot"),
              std::string("# Vultrane face data\n# character race: Nord\n# version: 2.0\n\n"
                          "# 'uniqueID, value' pair\n28, 0.500000\n30, -1.250000\n\n\n# --- skeleton data ---\n") +
                  kSkeleton);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"save slot 2"}));
    EXPECT_EQ(Load(2), (FaceSlot{{28, 0.5}, {30, -1.25}}));

    // Negative, large, vertex-edit and extreme ids, duplicates, many values; the skeleton
    // lines stay comments. A rewrite replaces the whole file.
    FaceSlot many = {{-10000, -0.125}, {INT32_MIN, 1e20}, {INT32_MAX, -123456.75}, {28, 0.0}, {28, 2.5}};
    for (int i = 0; i < 500; ++i) many.emplace_back(1000 + i, i * 0.25 - 60);
    WriteSlotFile(2, nord, many, "Nord");
    EXPECT_EQ(Load(2), many);

    // No skeleton text adds nothing; a line break in the race name cannot start a value line.
    SkeletonText().clear();
    WriteSlotFile(3, nord, {}, "Nord\n28, 5\r");
    EXPECT_EQ(SlotText("_3_Nord.slot"), "# Vultrane face data\n# character race: Nord 28, 5 \n# version: 2.0\n\n"
                                        "# 'uniqueID, value' pair\n\n\n# --- skeleton data ---\n");
    EXPECT_EQ(Load(3), FaceSlot{});

    // A skeleton line that is no comment (a node name with a line break) is made one.
    SkeletonText() = "# \"Odd\n29, 5\" scale:1\n#\n";
    WriteSlotFile(5, nord, {{1, 1.0}}, "Nord");
    EXPECT_NE(SlotText("_5_Nord.slot").find("# --- skeleton data ---\n# \"Odd\n# 29, 5\" scale:1\n#\n"),
              std::string::npos);
    EXPECT_EQ(Load(5), (FaceSlot{{1, 1.0}}));

    // Values that are no numbers are left out (they would read back as 0) and said so.
    log.Clear();
    const double inf = std::numeric_limits<double>::infinity();
    WriteSlotFile(4, nord, {{1, std::nan("")}, {2, 0.75}, {3, -inf}}, "Nord");
    EXPECT_EQ(Load(4), (FaceSlot{{2, 0.75}}));
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_NE(log.Lines()[1].find("WARNING: slot data: 2 values that were not finite numbers were left out"),
              std::string::npos);
}

TEST_F(SlotFiles, LegacyValuesScaleUntilTheVersionLine) {
    std::string legacy;
    for (int id : {12, 13, 14, 15, 16, 17, 18, 28, 29, 30, 35, 36, 37, 39, 40, 41, 42, 43, 11, 19, 38, 100})
        legacy += std::to_string(id) + ", 1.0\n";
    auto values = Read(legacy);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 22u);
    for (size_t i = 0; i < values->size(); ++i) EXPECT_EQ((*values)[i].second, i < 18 ? 1.5 : 1.0) << i;

    // Only values before the version line are converted; a near miss is no version line.
    EXPECT_EQ(Read("28, 1.0\n#version: 2.0\n# version: 2.00\n29, -2\n  # version: 2.0 ,\n28, 1.0\n30, 1\n"),
              (FaceSlot{{28, 1.5}, {29, -3.0}, {28, 1.0}, {30, 1.0}}));
}

TEST_F(SlotFiles, LinesAreTrimmedSplitAndReadLikeEveryTextFile) {
    const std::string longValue = "0." + std::string(600, '5');
    // An editor's byte-order mark does not hide the version line.
    EXPECT_EQ(Read("\xEF\xBB\xBF# version: 2.0\r\n"
                   ", 5 , 0.25 ,\r\n"
                   "\t28,0.5, extra, parts\r\n"
                   "7\n"                          // one part: ignored
                   "abc, 2\n"                     // no number: id 0
                   "8, x\n"                       // no number: 0
                   "99999999999, -1e2\n"          // saturates
                   "-99999999999, 1.5e-3\n"
                   "9, 1e999\n"                   // out of range: left out
                   "10, " + longValue + "\n"     // longer than a read buffer
                   "\n   \n,,,\n# 11, 1\n"
                   "12, 3"),                      // last line without a line end
              (FaceSlot{{5, 0.25}, {28, 0.5}, {0, 2.0}, {8, 0.0}, {INT32_MAX, -100.0}, {INT32_MIN, 0.0015},
                        {10, 5.0 / 9.0}, {12, 3.0}}));
    EXPECT_EQ(log.Count("    WARNING: slot data: 1 values out of range ignored in " + folder.Path() +
                        "/docs\\My Games\\Skyrim\\VTR_save\\_9_Nord.slot"),
              1u);

    // An empty file is an empty slot; a missing one or a folder in its place is none.
    EXPECT_EQ(Read(""), FaceSlot{});
    EXPECT_EQ(Load(5), std::nullopt);
    fs::create_directories(folder.Path() + "/" + kSlotDir + "_6_Nord.slot");
    EXPECT_EQ(Load(6), std::nullopt);
}

TEST_F(SlotFiles, SlotZeroAndPresetsOfTheMatchingRaceDefinition) {
    EXPECT_EQ(Load(0), (FaceSlot{{-1, 0.0}}));

    Player("NordRace", "Nord");
    WritePreset("p1.txt", "28, 1.0\n# version: 2.0\n28, 1.0\n");
    WritePreset("P2.TXT", "# version: 2.0\r\n1000, 0.6\r\n2001, -0.15");  // last byte is kept
    EXPECT_EQ(Load(-1), (FaceSlot{{28, 1.5}, {28, 1.0}}));
    EXPECT_EQ(Load(-2), (FaceSlot{{1000, 0.6}, {2001, -0.15}}));
    EXPECT_EQ(Load(-3), std::nullopt);
    EXPECT_EQ(Load(INT32_MIN), std::nullopt);

    // Names are searched first, across all definitions; then the player's editor id, exactly.
    Config().raceDefinitions = {{"a.ini", {"Other"}, {"BretonRace", "NordRace"}, {"byid.txt"}},
                                {"b.ini", {"Nord", ""}, {}, {"byname.txt"}},
                                {"c.ini", {}, {"nordrace"}, {"lower.txt"}}};
    WritePreset("byid.txt", "1, 1\n");
    WritePreset("byname.txt", "2, 2\n");
    WritePreset("lower.txt", "3, 3\n");
    EXPECT_EQ(Load(-1, "Nord"), (FaceSlot{{2, 2.0}}));
    EXPECT_EQ(Load(-1, "Breton"), (FaceSlot{{1, 1.0}}));
    EXPECT_EQ(Load(-1, ""), (FaceSlot{{1, 1.0}})) << "an empty name item names no race";
    sim::ResetWorld();
    Player("NORDRACE", "Breton");
    EXPECT_EQ(Load(-1, "Breton"), std::nullopt);
    sim::ResetWorld();
    EXPECT_EQ(Load(-1, "Other"), (FaceSlot{{1, 1.0}}));
    EXPECT_EQ(Load(-1, "Breton"), std::nullopt);  // no player, no editor id

    // A listed preset that is missing.
    Config().raceDefinitions = {{"a.ini", {"Nord"}, {}, {"gone.txt"}}};
    EXPECT_EQ(Load(-1), std::nullopt);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(SlotFiles, GetSlotDataHandsSlotsAndPresetsToTheMenu) {
    MenuHarness menu;
    auto records = [&](const char* race, double slot, bool prefilled = false) {
        GFxValue& result = menu.NewArray();
        if (prefilled) Value_PushBack(result, MenuHarness::Number(42));
        menu.Call("GetSlotData", {menu.String(race), MenuHarness::Number(slot), result});
        std::vector<std::pair<double, double>> out;
        for (const GFxValue* e : vtrtest::Elements(result)) {
            if ((e->type & kGFxTypeMask) == kGFxType_Number) {
                out.emplace_back(e->data.number, 0);
                continue;
            }
            EXPECT_EQ(vtrtest::MemberNames(*e), (std::vector<std::string>{"uniqueID", "position"}));
            out.emplace_back(vtrtest::Num(*e, "uniqueID"), vtrtest::Num(*e, "position"));
        }
        return out;
    };
    using Records = std::vector<std::pair<double, double>>;

    // No player: the race name as passed is reported.
    EXPECT_TRUE(records("Argonian", 0).empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    ERROR: system: no race found form scaleform call. (Argonian)"}));

    log.Clear();
    Player("NordRace", "Nord");
    WriteSlotFile(2, nord, {{28, 0.5}, {-28, 4278190335.0}}, "Nord");
    WritePreset("p1.txt", "28, 1.0\n");
    EXPECT_EQ(records("ignored", 2.9), (Records{{28, 0.5}, {-28, 4278190335.0}}));
    EXPECT_EQ(records("ignored", 0, true), (Records{{42, 0}, {-1, 0}}));
    EXPECT_EQ(records("ignored", std::nan("")), (Records{{-1, 0}}));
    EXPECT_EQ(records("ignored", -1.5), (Records{{28, 1.5}}));  // the player's name finds the definition
    EXPECT_TRUE(records("ignored", 5).empty());
    EXPECT_TRUE(records("ignored", -3).empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"save slot 2"}));

    menu.Call("GetSlotData", {menu.String("Nord"), MenuHarness::Bool(true), menu.NewArray()});
    EXPECT_TRUE(log.Contains(
        "    ERROR: system: invalid arguments. Quorvix.GetSlotData(raceName:String, slot:Number, result:Array)."));
}

TEST_F(SlotFiles, FailedWritesKeepTheOldFileAndSayWhy) {
    WriteSlotFile(2, nord, {{28, 0.5}}, "Nord");
    const std::string good = SlotText("_2_Nord.slot");
    const std::string path = folder.Path() + "/docs\\My Games\\Skyrim\\VTR_save\\_2_Nord.slot";

    for (size_t after : {size_t{0}, size_t{10}, good.size() - 1}) {
        log.Clear();
        os::InjectWriteFailureAfter(after);
        WriteSlotFile(2, nord, {{29, -1.0}, {30, 1.0}}, "Nord");
        os::InjectWriteFailureAfter(SIZE_MAX);
        EXPECT_EQ(SlotText("_2_Nord.slot"), good) << after;
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"save slot 2", "    ERROR: cannot write slot data (" + path + ")",
                                                         "        write failed; an earlier slot file is kept as it was"}));
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder.Path() + "/" + kSlotDir)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"_2_Nord.slot"})) << "no partial file is left behind";

    // A folder where the file belongs stays, empty.
    log.Clear();
    fs::create_directories(folder.Path() + "/" + kSlotDir + "_3_Nord.slot");
    WriteSlotFile(3, nord, {{28, 0.5}}, "Nord");
    EXPECT_TRUE(fs::is_empty(folder.Path() + "/" + kSlotDir + "_3_Nord.slot"));
    EXPECT_TRUE(log.Contains("        a folder of that name stands where the file belongs; an earlier slot file is kept as it was"));

    // A race set name that would leave the slot folder.
    log.Clear();
    RaceSetting sneaky = nord;
    sneaky.raceSetName = "x\\..\\..\\..\\evil";
    WriteSlotFile(4, sneaky, {{28, 0.5}}, "Nord");
    EXPECT_FALSE(fs::exists(folder.Path() + "/docs/My Games/evil.slot"));
    EXPECT_TRUE(log.Contains("        the race set name \"x\\..\\..\\..\\evil\" holds a character that a file name cannot hold"));

    // No documents folder at all: nothing is written anywhere.
    log.Clear();
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", nullptr), home("HOME", nullptr);
    WriteSlotFile(5, nord, {{28, 0.5}}, "Nord");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "save slot 5", "    ERROR: cannot write slot data (My Games\\Skyrim\\VTR_save\\_5_Nord.slot)",
                               "        the user's documents folder is unknown, so there is no slot folder"}));
    EXPECT_EQ(Load(5), std::nullopt);
}

TEST_F(SlotFiles, MakeFoldersCreatesEachFolderOfThePath) {
    const std::string base = folder.Path();
    fs::create_directories(base + "/docs/my games");
    MakeFolders(base + "/docs\\My Games\\Skyrim//VTR_save\\_2_Nord.slot");
    EXPECT_TRUE(fs::is_directory(base + "/docs/my games/Skyrim/VTR_save"));  // the existing folder in its own case
    EXPECT_FALSE(fs::exists(base + "/docs/My Games"));
    EXPECT_FALSE(fs::exists(base + "/docs/my games/Skyrim/VTR_save/_2_Nord.slot"));
    MakeFolders("rel\\a/b\\");
    EXPECT_TRUE(fs::is_directory(base + "/rel/a/b"));
    // A file in the way stops nothing and stays a file.
    folder.WriteFile("file-parent/f", "");
    MakeFolders(base + "/file-parent/f/sub/");
    EXPECT_TRUE(fs::is_regular_file(base + "/file-parent/f"));
}


TEST_F(SlotFiles, PresetsOutsideTheDataFolderAndOverlongLinesAreRefused) {
    // A preset path that climbs out of the data folder is never opened, even when the file is there.
    folder.WriteFile("outside/secret.txt", "28, 0.9\n");
    Config().raceDefinitions = {{"a.ini", {"Nord"}, {}, {"..\\..\\..\\outside\\secret.txt", "C:\\secret.txt", "nul.txt"}}};
    Player("NordRace", "Nord");
    EXPECT_EQ(Load(-1), std::nullopt);
    EXPECT_EQ(Load(-2), std::nullopt);
    EXPECT_EQ(Load(-3), std::nullopt);
    // A slot line longer than the cap keeps its start and is reported; the next lines read on.
    const std::string longLine = "28, 0.25" + std::string(70000, ' ') + "junk";
    const std::string slotDir = folder.Path() + "/" + kSlotDir;
    std::filesystem::create_directories(slotDir);
    std::ofstream(slotDir + "_7_Nord.slot", std::ios::binary) << "# version: 2.0\n" << longLine << "\n29, 0.5\n";
    log.Clear();
    EXPECT_EQ(Load(7), (FaceSlot{{28, 0.25}, {29, 0.5}}));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    WARNING: line 2 of " + folder.Path() +
                                                     "/docs\\My Games\\Skyrim\\VTR_save\\_7_Nord.slot is longer than "
                                                     "65536 bytes; the rest of it is ignored."}));
    // A value beyond a float is read, but not handed to the menu.
    std::ofstream(slotDir + "_8_Nord.slot", std::ios::binary) << "# version: 2.0\n28, 1e39\n29, -1e200\n30, 0.5\n";
    MenuHarness menu;
    GFxValue& result = menu.NewArray();
    log.Clear();
    menu.Call("GetSlotData", {menu.String("Nord"), MenuHarness::Number(8), result});
    ASSERT_EQ(vtrtest::Elements(result).size(), 1u);
    EXPECT_EQ(vtrtest::Num(*vtrtest::Elements(result)[0], "uniqueID"), 30);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"    WARNING: slot data: 2 values beyond the range of the menu's "
                                                     "sliders left out (largest: 29=-1e+200, 28=1e+39)."}));
}


TEST_F(SlotFiles, ARaceSetNameThatGivesNoPlainFileNameWritesNoSlot) {
    RaceSetting odd = nord;
    odd.raceSetName = "Nord\x7f";  // not refused by the character list, refused by the path rule
    WriteSlotFile(6, odd, {{28, 0.5}}, "Nord");
    EXPECT_TRUE(log.Contains("        the race set name \"Nord\\x7F\" does not give a plain file name")) << log.Lines().back();
    EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/" + kSlotDir + "_6_Nord\x7f.slot"));
    EXPECT_EQ(Load(6), std::nullopt);
}

}  // namespace
