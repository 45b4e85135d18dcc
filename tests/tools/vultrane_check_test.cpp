// vultrane check on the example configuration, whole and broken one way at a time. The .tri
// sources are written with the library's TRI writer, with the meshes' vertex counts and the
// morph names that the example generator's plan gives each file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "config/model.h"
#include "game/sim/sim.h"
#include "morph/tri_format.h"
#include "os/os.h"
#include "tools/vultrane/check_util.h"
#include "tools/trigen/plan.h"
#include "tools/vultrane/check_run.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/game_folder.h"

namespace {

namespace fs = std::filesystem;
using vultrane::CheckDataFolder;
using vultrane::CheckReport;
using vultrane::Diagnostic;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void WriteAll(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string TriBytes(uint32_t vertexCount, const std::vector<std::string>& morphs) {
    TriFile tri;
    tri.vertexCount = vertexCount;
    tri.vertices.assign(vertexCount, TriVertex{0, 0, 0});
    for (const std::string& name : morphs) tri.morphs.push_back({name, 1.0f, std::vector<TriDelta>(vertexCount, TriDelta{0, 0, 0})});
    return SerializeTri(tri);
}

uint32_t VertexCount(trigen::MeshKind kind) {
    switch (kind) {
        case trigen::MeshKind::kHead: return 2913;
        case trigen::MeshKind::kEyes: return 356;
        default: return 288;
    }
}

class VultraneCheckTest : public ::testing::Test {
protected:
    // The example data folder with every source .tri, made once.
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/vtr-check-base-XXXXXX";
        base_ = new fs::path(mkdtemp(tmpl));
        fs::copy(fs::path(VTR_SOURCE_DIR) / "examples/game/data", *base_ / "Data", fs::copy_options::recursive);
        vultrane::GameSession session((*base_ / "Data").string());
        session.LoadConfiguration();
        trigen::Plan plan = trigen::MakePlan(Config());
        ASSERT_TRUE(plan.errors.empty());
        ASSERT_GE(plan.files.size(), 9u);
        sourceCount_ = plan.files.size();
        for (const trigen::SourceFile& f : plan.files)
            WriteAll(os::ResolvePath(f.path), TriBytes(VertexCount(f.kind), f.morphs));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*base_, ec);
        delete base_;
    }

    VultraneCheckTest() {
        char tmpl[] = "/tmp/vtr-check-XXXXXX";
        root_ = mkdtemp(tmpl);
        fs::copy(*base_ / "Data", root_ / "Data", fs::copy_options::recursive);
    }
    ~VultraneCheckTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path ConfigFile(const std::string& rel) const { return root_ / "Data/Meshes/Vultrane" / rel; }
    void Replace(const std::string& rel, const std::string& from, const std::string& to) const {
        ReplaceIn(ConfigFile(rel), from, to);
    }
    static void ReplaceIn(const fs::path& file, const std::string& from, const std::string& to) {
        std::string text = ReadAll(file);
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        WriteAll(file, text.replace(at, from.size(), to));
    }
    // 1-based number of the first line holding `text`.
    int LineOf(const std::string& rel, const std::string& text) const {
        std::istringstream in(ReadAll(ConfigFile(rel)));
        std::string line;
        for (int n = 1; std::getline(in, line); ++n)
            if (line.find(text) != std::string::npos) return n;
        ADD_FAILURE() << text << " not in " << rel;
        return -1;
    }
    CheckReport Check() const { return CheckDataFolder((root_ / "Data").string()); }

    // The one diagnostic at this file and line whose message holds `fragment`.
    static const Diagnostic* Find(const CheckReport& r, const std::string& fileSuffix, int line, const std::string& fragment) {
        for (const Diagnostic& d : r.diagnostics)
            if (d.file.ends_with(fileSuffix) && d.line == line && d.message.find(fragment) != std::string::npos) return &d;
        return nullptr;
    }
    static std::string Dump(const CheckReport& r) {
        std::ostringstream out;
        vultrane::PrintCheckReport(r, false, out);
        return out.str();
    }

    static fs::path* base_;
    static size_t sourceCount_;
    fs::path root_;
};
fs::path* VultraneCheckTest::base_ = nullptr;
size_t VultraneCheckTest::sourceCount_ = 0;

TEST_F(VultraneCheckTest, ExampleDataIsCleanAndWithoutItsTriFilesEachMissingSourceIsNamedAtItsLine) {
    CheckReport clean = Check();
    EXPECT_EQ(clean.Errors(), 0u) << Dump(clean);
    EXPECT_EQ(clean.Warnings(), 0u) << Dump(clean);
    EXPECT_GE(clean.filesChecked, 5 + sourceCount_);  // the four .ini files, the vertex edits, the sources

    for (const char* name : {"NordFemaleHead.tri", "NordFemaleEyes.tri", "NordMaleHead.tri", "DefaultFemaleMouth.tri",
                             "DefaultFemaleHead.tri", "DefaultFemaleEyes.tri", "DefaultMaleMouth.tri", "DefaultMaleHead.tri",
                             "DefaultMaleEyes.tri"})
        fs::remove(ConfigFile(std::string("Sets/") + name));
    CheckReport bare = Check();
    EXPECT_EQ(bare.Errors(), 9u) << Dump(bare);
    for (const Diagnostic& d : bare.diagnostics) {
        ASSERT_TRUE(d.error);
        const std::string set = d.file.ends_with("Nord.ini") ? "Sets/Nord.ini" : "Sets/Default.ini";
        const size_t q = d.message.find('\'');
        ASSERT_NE(q, std::string::npos);
        const std::string source = d.message.substr(q + 1, d.message.find('\'', q + 1) - q - 1);
        EXPECT_EQ(d.line, LineOf(set, ", " + source)) << d.message;
        EXPECT_NE(d.message.find("does not exist"), std::string::npos);
    }
}

TEST_F(VultraneCheckTest, TheGamesOwnRejectionsAtTheirFileAndLine) {
    Replace("Sets/Nord.ini", "\n[-head]\n", "\n[-haed]\n");
    Replace("Sets/Default.ini", "Jaw width, 35, 200", "Jaw width, 28, 200");  // the nose slider's uniqueID
    CheckReport r = Check();
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "[-haed]"), "unknown category '[-haed]'")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Default.ini", LineOf("Sets/Default.ini", "Jaw width"), "uniqueID 28 is already used")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Default.ini", LineOf("Sets/Default.ini", "Jaw width"), "'Nose height' at line")) << Dump(r);
    // One message per rejected file: the loader's "fail Load ini" adds nothing.
    EXPECT_EQ(r.Errors(), 2u) << Dump(r);
}

TEST_F(VultraneCheckTest, RejectedVertexEditFileIsReportedInItselfAndAtTheSliderNamingIt) {
    Replace("Sets/NordHeadEdit.txt", "\n[MainModel]\n", "\n[MainModel]\nbogus=1\n");
    CheckReport r = Check();
    EXPECT_TRUE(Find(r, "Sets/NordHeadEdit.txt", LineOf("Sets/NordHeadEdit.txt", "bogus=1"), "unknown key 'bogus'")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Vertex edit, 1800"), "cannot be loaded")) << Dump(r);

    fs::remove(ConfigFile("Sets/NordHeadEdit.txt"));
    CheckReport gone = Check();
    EXPECT_TRUE(Find(gone, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Vertex edit, 1800"), "does not exist")) << Dump(gone);

    // Without a file name the game takes the slider, and it does nothing.
    Replace("Sets/Default.ini", "\n[-hair]\n", "\n[-hiar]\n");
    Replace("Sets/Nord.ini", "Vertex edit, 1800, 218, Sets\\NordHeadEdit.txt", "Vertex edit, 1800, 218");
    CheckReport bare = Check();
    EXPECT_TRUE(Find(bare, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Vertex edit, 1800"), "type 18 needs a vertex-edit file")) << Dump(bare);
    EXPECT_TRUE(Find(bare, "Sets/Default.ini", LineOf("Sets/Default.ini", "[-hiar]"), "unknown category")) << Dump(bare);
    EXPECT_EQ(bare.Errors(), 2u) << Dump(bare);
}

TEST_F(VultraneCheckTest, SourcesMissingOrOfAnotherMeshAndMorphsInNoSource) {
    fs::remove(ConfigFile("Sets/NordMaleHead.tri"));
    WriteAll(ConfigFile("Sets/Small.tri"), TriBytes(100, {"BrowUp"}));
    WriteAll(ConfigFile("Sets/Broken.tri"), "FRTRI003 cut short");
    Replace("Sets/Nord.ini", ", NordFemaleEyes.tri", ", Small.tri, Broken.tri, NordFemaleEyes.tri");
    Replace("Sets/Default.ini", "Jaw width, 35, 200, JawNarrow, JawWide", "Jaw width, 35, 200, JawNarrowest, JawWide");
    // The sources hold CheeksFull0 to CheeksFull20: values above 20 find no morph.
    Replace("Sets/Nord.ini", "Cheek fullness, 1100, 201, CheeksFull, 20", "Cheek fullness, 1100, 201, CheeksFull, 22");
    Replace("Sets/Nord.ini", "racemorph=NordRace", "racemorph=NordRace\nmfile=a, b");
    CheckReport r = Check();
    const int cheeks = LineOf("Sets/Nord.ini", "Cheek fullness");
    const Diagnostic* partial = Find(r, "Sets/Nord.ini", cheeks, "morphs CheeksFull21, CheeksFull22 are in no source for women");
    ASSERT_TRUE(partial) << Dump(r);
    EXPECT_FALSE(partial->error);
    // The men's head is missing: nothing is said about morphs that no source could hold.
    EXPECT_FALSE(Find(r, "Sets/Nord.ini", cheeks, "for men")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "mfile=a"), "unknown key 'mfile'")) << Dump(r);
    const int eyes = LineOf("Sets/Nord.ini", "Small.tri");
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", ", NordMaleHead.tri"), "'NordMaleHead.tri' does not exist")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", eyes, "'Small.tri' has 100 vertices but 'NordFemaleEyes.tri'")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", eyes, "has 356")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", eyes, "'Broken.tri' cannot be read")) << Dump(r);
    // Both sexes' sources lack it, each reported once.
    const int jaw = LineOf("Sets/Default.ini", "Jaw width");
    EXPECT_TRUE(Find(r, "Sets/Default.ini", jaw, "'JawNarrowest' of slider 'Jaw width' is in no source .tri for women")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Default.ini", jaw, "for men")) << Dump(r);
    EXPECT_EQ(r.Errors(), 6u) << Dump(r);
    EXPECT_EQ(r.Warnings(), 1u) << Dump(r);
}

// Mistakes of real setups: merging into a head part's expression file, a morph name that misses
// by its letter case or a letter, and the type-1 rest position that real files never hold.
TEST_F(VultraneCheckTest, ExpressionFileTargetsNearMissesAndTheRestPosition) {
    // The women's first target of the Nord set, where the checked folder gets an expression file.
    const std::string ini = ReadAll(ConfigFile("Sets/Nord.ini"));
    const size_t at = ini.find("files=data\\");
    ASSERT_NE(at, std::string::npos);
    const std::string target = ini.substr(at + 6, ini.find(',', at) - at - 6);
    std::string rel = target.substr(5);
    std::replace(rel.begin(), rel.end(), '\\', '/');
    WriteAll(root_ / "Data" / rel, TriBytes(2913, {"BlinkLeft", "Aah", "NoseUp", "BlinkRight"}));

    // The women's Nord head without the rest morph NoseType0.
    {
        vultrane::GameSession session((root_ / "Data").string());
        session.LoadConfiguration();
        for (const trigen::SourceFile& f : trigen::MakePlan(Config()).files) {
            if (f.path.find("NordFemaleHead") == std::string::npos) continue;
            std::vector<std::string> morphs = f.morphs;
            morphs.erase(std::remove(morphs.begin(), morphs.end(), "NoseType0"), morphs.end());
            WriteAll(os::ResolvePath(f.path), TriBytes(2913, morphs));
        }
    }

    Replace("Sets/Default.ini", "Nose height, 28, 200, NoseDown, NoseUp", "Nose height, 28, 200, Nosedown, NoseUp");
    Replace("Sets/Nord.ini", "Cheek fullness, 1100, 201, CheeksFull, 20", "Cheek fullness, 1100, 201, Cheeksfull, 20");
    CheckReport r = Check();
    const Diagnostic* expression =
        Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", target), "holds 3 morphs that the merged file would not carry");
    ASSERT_TRUE(expression) << Dump(r);
    EXPECT_TRUE(expression->error);
    EXPECT_NE(expression->message.find("Aah, BlinkLeft, BlinkRight"), std::string::npos) << expression->message;
    EXPECT_NE(expression->message.find("expression file"), std::string::npos) << expression->message;
    EXPECT_TRUE(Find(r, "Sets/Default.ini", LineOf("Sets/Default.ini", "Nose height"),
                     "'Nosedown' of slider 'Nose height' is in no source .tri for women (did you mean NoseDown?)"))
        << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Cheek fullness"),
                     "finds none of its morphs Cheeksfull1 to Cheeksfull20 in the sources for women (did you mean "
                     "CheeksFull1?)"))
        << Dump(r);
    for (const Diagnostic& d : r.diagnostics) EXPECT_EQ(d.message.find("NoseType0"), std::string::npos) << d.message;
    // Put right, the folder is clean again.
    fs::remove(root_ / "Data" / rel);
    Replace("Sets/Default.ini", "Nosedown", "NoseDown");
    Replace("Sets/Nord.ini", "Cheeksfull", "CheeksFull");
    r = Check();
    EXPECT_EQ(r.Errors(), 0u) << Dump(r);
    EXPECT_EQ(r.Warnings(), 0u) << Dump(r);
}

// A misspelt skeleton node: named less often than the node it misses by one edit or by letter
// case. Left and right, and Spine1 beside Spine2, are other nodes, not typos.
TEST(CheckNodeNames, HintsOnlyAtLikelyTypos) {
    using vultrane::NodeUse;
    const std::vector<NodeUse> uses = {
        {"NPC Spine2 [Spn2]", "a.ini", 3},  {"NPC Spine2 [Spn2]", "a.ini", 4},  {"NPC Spine2 [Spn2]", "b.ini", 4},
        {"NPC Spine2 [Spn 2]", "a.ini", 5},
        {"NPC Spine2 [Spn 2]", "a.ini", 5}, {"NPC L Clavicle [LClv]", "a.ini", 6}, {"NPC L Clavicle [LClv]", "a.ini", 7},
        {"NPC R Clavicle [RClv]", "a.ini", 8}, {"NPC Spine1 [Spn1]", "a.ini", 9}, {"NPC Head [Head]", "a.ini", 10},
        {"NPC Head [Head]", "b.ini", 2},    {"NPC head [Head]", "b.ini", 11},   {"NPC Neck [Neck]", "a.ini", 12},
        {"NPC Neck [Nek]", "a.ini", 13},    {"", "a.ini", 14}};
    const std::vector<vultrane::NodeHint> hints = vultrane::NodeNameHints(uses);
    std::vector<std::string> got;
    for (const auto& h : hints) got.push_back(h.use.file + ":" + std::to_string(h.use.line) + " " + h.use.name + " -> " + h.meant);
    // [Spn 2] twice on one line is one hint; Neck/Nek are named once each, so neither is the typo.
    EXPECT_EQ(got, (std::vector<std::string>{"a.ini:5 NPC Spine2 [Spn 2] -> NPC Spine2 [Spn2]",
                                             "b.ini:11 NPC head [Head] -> NPC Head [Head]"}));
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].times, 2u);  // named twice, though on one line
    EXPECT_EQ(hints[1].meantTimes, 2u);
}

TEST_F(VultraneCheckTest, MisspeltNodeNamesGetAHint) {
    Replace("Sets/Nord.ini", "Chest, 2002, 202, NPC Spine2 [Spn2], 0.25", "Chest, 2002, 202, NPC Spine2 [Spn 2], 0.25");
    Replace("Sets/Nord.ini", "+NPC Head [Head], x, 0, 0, 3", "+NPC head [Head], x, 0, 0, 3");
    const CheckReport r = Check();
    const Diagnostic* spine = Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Chest, 2002"), "(did you mean NPC Spine2 [Spn2]?)");
    ASSERT_TRUE(spine) << Dump(r);
    EXPECT_FALSE(spine->error);
    EXPECT_NE(spine->message.find("'NPC Spine2 [Spn 2]' is named once, 'NPC Spine2 [Spn2]' 3 times"), std::string::npos)
        << spine->message;
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Neck length"), "(did you mean NPC Head [Head]?)")) << Dump(r);
    EXPECT_EQ(r.Warnings(), 2u) << Dump(r);
    EXPECT_EQ(r.Errors(), 0u) << Dump(r);
}

// Every mistake of a race-set file in one run, each at its own line, though the game stops at
// the first: numbers with junk, unknown types with the valid codes, reserved ids, backwards
// ranges, a preset-scale slider without rows, a second unknown category.
TEST_F(VultraneCheckTest, EveryProblemOfARaceSetFileInOneRun) {
    Replace("Sets/Nord.ini", "Height, 5000, 205, 0.1", "Height, 5000, 219, 0.1");
    Replace("Sets/Nord.ini", "Chest, 2002, 202,", "Chest, 2002, 2O2,");
    Replace("Sets/Nord.ini", "Chin width, 39, 200", "Chin width, 3g9, 200");
    Replace("Sets/Nord.ini", "Nose length, 29, 200", "Nose length, 805, 200");
    Replace("Sets/Nord.ini", "[LClv], 0.2,", "[LClv], -0.2,");
    Replace("Sets/Nord.ini", "Freckles, 600, 206", "Freckles, 600, 300");
    Replace("Sets/Nord.ini", "\n[-mouth]\n", "\n[-mouht]\n");
    Replace("Sets/Nord.ini", "\n\n[-head]", "\nLonely, 4001, 204, 1\n\n[-head]");
    const CheckReport r = Check();
    struct Expected {
        const char* line;
        const char* fragment;
    } const expected[] = {
        {"Height, 5000, 219", "unknown slider type 19 (type code 219); the type codes are 0 to 8, 10, 17 and 18"},
        {"Chest, 2002, 2O2", "type code '2O2' is not a whole number; the game reads 2 (it stops at 'O')"},
        {"Chin width, 3g9", "uniqueID '3g9' is not a whole number; the game reads 3"},
        {"Nose length, 805", "uniqueID 805 is one the menu gives its own entries"},
        {"Shoulder width", "maximum -0.2 is negative: the menu's range becomes 0.2 to -0.2, backwards"},
        {"Freckles, 600, 300", "unknown slider type 100 (type code 300)"},
        {"[-mouht]", "unknown category '[-mouht]' (did you mean mouth?)"},
        {"Lonely, 4001", "type-4 slider 'Lonely' has no rows"},
    };
    for (const Expected& e : expected)
        EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", e.line), e.fragment)) << e.fragment << "\n" << Dump(r);
    // The game's own rejection (the first of them) is not said twice.
    size_t atHeight = 0;
    for (const Diagnostic& d : r.diagnostics) atHeight += d.line == LineOf("Sets/Nord.ini", "Height, 5000");
    EXPECT_EQ(atHeight, 1u) << Dump(r);
}

// A key's typo is one error at its line that says what follows from it, not one error per
// slider it silences.
TEST_F(VultraneCheckTest, HeaderKeyTyposAreOneErrorWithTheirConsequences) {
    Replace("Sets/Nord.ini", "mfiles=data", "mfile=data");
    Replace("Sets/Default.ini", "racesetname=Default", "racesetnme=Default");
    Replace("Sets/Nord.ini", ", NordFemaleEyes.tri", ", NordFemaleEye.tri");
    const CheckReport r = Check();
    const Diagnostic* mfile = Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "mfile=data"), "did you mean mfiles?");
    ASSERT_TRUE(mfile) << Dump(r);
    EXPECT_NE(mfile->message.find("sliders for men do nothing"), std::string::npos) << mfile->message;
    for (const Diagnostic& d : r.diagnostics)
        EXPECT_EQ(d.message.find("has no mfiles= line"), std::string::npos) << "a consequence said again: " << d.message;
    const Diagnostic* name = Find(r, "Sets/Default.ini", LineOf("Sets/Default.ini", "racesetnme"), "did you mean racesetname?");
    ASSERT_TRUE(name) << Dump(r);
    EXPECT_NE(name->message.find("the game drops this race set"), std::string::npos) << name->message;
    EXPECT_FALSE(Find(r, "Sets/Default.ini", 0, "no racesetname= line")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "NordFemaleEye.tri"),
                     "'NordFemaleEye.tri' does not exist: " ))
        << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "NordFemaleEye.tri"), "(did you mean NordFemaleEyes.tri?)"))
        << Dump(r);
}

// races.ini: key typos at their own line, ';' used as a separator, a decimal comma, a race
// defined twice with different race sets, a UTF-16 file.
TEST_F(VultraneCheckTest, RaceDefinitionMistakes) {
    Replace("races.ini", "sliderscale=1.0", "sliderscle=1.0\nsliderstep=2,5");
    Replace("races.ini", "edid=NordRace, NordRaceVampire", "edid=NordRace; NordRaceVampire");
    Replace("races.ini", "[Imperial]\nsliderini=", "[Imperial]\nslidrini=");
    WriteAll(ConfigFile("races - Copy.ini"), "[Nord]\nsliderini=Sets\\Default.ini\nname=Nord\n");
    const std::string utf16("\xff\xfe[\0N\0]\0\n\0", 10);
    WriteAll(ConfigFile("more.ini"), utf16);
    const CheckReport r = Check();
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "sliderscle"), "unknown key 'sliderscle' (did you mean sliderscale?)"))
        << Dump(r);
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "sliderstep=2,5"), "sliderstep '2,5' is not a whole number; the game reads 2"))
        << Dump(r);
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "NordRace; NordRaceVampire"), "separate the items with ','")) << Dump(r);
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "slidrini="), "has no sliderini= line (this line's key looks like it)"))
        << Dump(r);
    // The copy comes first: Nord gets the Default race set, and the author is told at the other.
    const Diagnostic* twice = Find(r, "races.ini", LineOf("races.ini", "name=Nord"), "race 'Nord' is already defined at");
    ASSERT_TRUE(twice) << Dump(r);
    EXPECT_NE(twice->message.find("races - Copy.ini:3"), std::string::npos) << twice->message;
    EXPECT_NE(twice->message.find("with race set 'Default' only"), std::string::npos) << twice->message;
    EXPECT_TRUE(Find(r, "more.ini", 0, "UTF-16")) << Dump(r);
}

// Preset files: what the game silently reads otherwise.
TEST_F(VultraneCheckTest, PresetFileMistakes) {
    Replace("Presets/NordPreset02.txt", "29, 0.400000", "29 0.4");
    Replace("Presets/NordPreset02.txt", "1000, 0.600000", "1000, abc\n12345, 0.5\n28, 0.1\n1100, 1e999\n1002, 0,3");
    const CheckReport r = Check();
    const std::string preset = "Presets/NordPreset02.txt";
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "29 0.4"), "no comma")) << Dump(r);
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "1000, abc"), "value 'abc' is not a number; the game reads 0")) << Dump(r);
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "12345, 0.5"), "uniqueID 12345 is no slider of race set 'Nord'")) << Dump(r);
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "28, 0.1"), "uniqueID 28 is already set at line")) << Dump(r);
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "1e999"), "value '1e999' is out of range")) << Dump(r);
    EXPECT_TRUE(Find(r, preset, LineOf(preset, "1002, 0,3"), "more than two items")) << Dump(r);
}

TEST_F(VultraneCheckTest, FormulasFailingInTheSlidersRangeAndMissingPresets) {
    // Scale entries get the slider value plus one: 1/(x-1) divides by zero at value 0 only.
    Replace("Sets/Nord.ini", "(x*0.5+0.5)", "(1/(x-1))");
    Replace("Sets/Nord.ini", "Chest, 2002, 202, NPC Spine2 [Spn2], 0.25",
            "Chest, 2002, 202, NPC Spine2 [Spn2], 0.25, NPC Neck [Neck], (x^4000)");
    Replace("races.ini", "preset=NordPreset01.txt, NordPreset02.txt", "preset=NordPreset01.txt, NordPreset09.txt");
    Replace("Sets/Nord.ini", "-weight, 4\n", "-weight, 4\nWide, 2100, 202, NPC Spine2 [Spn2], 1e400, NPC Neck [Neck], (1/x)\n");
    CheckReport r = Check();
    // An endless range is reported once, without sampling its formulas at infinities.
    EXPECT_TRUE(Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "Wide, 2100"), "out of range")) << Dump(r);
    const Diagnostic* div = Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "(1/(x-1))"), "divides by zero");
    ASSERT_TRUE(div) << Dump(r);
    EXPECT_NE(div->message.find("slider value 0 (x = 1)"), std::string::npos) << div->message;
    // Past about x = 1.194 the power overflows; the lower half of the range is fine.
    const Diagnostic* overflow = Find(r, "Sets/Nord.ini", LineOf("Sets/Nord.ini", "(x^4000)"), "'(x^4000)' for node 'NPC Neck [Neck]'");
    ASSERT_TRUE(overflow) << Dump(r);
    EXPECT_NE(overflow->message.find("too large"), std::string::npos) << overflow->message;
    // In the author's words: no engine log text, no internal notation.
    for (const Diagnostic& d : r.diagnostics) EXPECT_EQ(d.message.find("ERROR"), std::string::npos) << d.message;
    EXPECT_EQ(overflow->message.find("slider value -"), std::string::npos) << overflow->message;
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "NordPreset09.txt"), "preset file 'NordPreset09.txt' does not exist")) << Dump(r);
    EXPECT_EQ(r.Errors(), 4u) << Dump(r);
}

TEST_F(VultraneCheckTest, VertexEditsPastTheMeshSharedUniqueIdsAndFilesTheGameNeverReads) {
    Replace("Sets/NordHeadEdit.txt", "\n[MainModel]\n", "\n[MainModel]\n5000, 12, 10, 10\n");
    // Accepted by the game (another sex mask), yet women's values of 28 reach only the first.
    Replace("Sets/Default.ini", "[-hair]", "Nose again, 28, 0, NoseDown, NoseUp\n[-hair]");
    WriteAll(ConfigFile("Sets/Orphan.ini"), "racesetname=Orphan\n");
    Replace("races.ini", "[Unsupported]", "[Lost]\nname=Nobody\n[Unsupported]");
    CheckReport r = Check();
    EXPECT_TRUE(Find(r, "Sets/NordHeadEdit.txt", LineOf("Sets/NordHeadEdit.txt", "5000, 12"), "vertex 5000 is past the 2913 vertices")) << Dump(r);
    EXPECT_TRUE(Find(r, "Sets/Default.ini", LineOf("Sets/Default.ini", "Nose again"), "also used by 'Nose height'")) << Dump(r);
    const Diagnostic* orphan = Find(r, "Sets/Orphan.ini", 0, "not used");
    ASSERT_TRUE(orphan) << Dump(r);
    EXPECT_TRUE(orphan->error);  // the game never reads it
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "name=Nobody"), "no sliderini")) << Dump(r);
    EXPECT_EQ(r.Errors(), 4u) << Dump(r);
}

TEST_F(VultraneCheckTest, CommandLineStatusesAndJson) {
    auto run = [](std::vector<std::string> args, int& exitCode, std::string& out) {
        CLI::App app;
        vultrane::Run r;
        vultrane::AddCheckCommand(app, r);
        std::vector<const char*> argv{"vultrane"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        testing::internal::CaptureStdout();
        try {
            app.parse(static_cast<int>(argv.size()), const_cast<char**>(argv.data()));
            exitCode = r.exitCode;
        } catch (const CLI::CallForHelp&) {
            exitCode = -1;
        } catch (const CLI::ParseError&) {
            exitCode = 2;
        } catch (const vultrane::UsageError&) {
            exitCode = 2;
        }
        out = testing::internal::GetCapturedStdout();
    };
    const fs::path cwd = fs::current_path();
    int code = 0;
    std::string out;
    run({"check", (root_ / "Data").string()}, code, out);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("0 errors, 0 warnings"), std::string::npos) << out;
    // A game folder (data/ holding the configuration) is taken as well.
    fs::rename(root_ / "Data", root_ / "data");
    run({"check", root_.string()}, code, out);
    EXPECT_EQ(code, 0) << out;

    ReplaceIn(root_ / "data/Meshes/Vultrane/Sets/Nord.ini", "\n[-head]\n", "\n[]\n");
    run({"check", root_.string(), "--json"}, code, out);
    EXPECT_EQ(code, 1);
    nlohmann::json doc = nlohmann::json::parse(out);
    ASSERT_EQ(doc["errors"], 1);
    EXPECT_EQ(doc["diagnostics"][0]["severity"], "error");
    EXPECT_EQ(doc["diagnostics"][0]["file"], (root_ / "data/Meshes/Vultrane/Sets/Nord.ini").string());

    run({"check"}, code, out);
    EXPECT_EQ(code, 2);
    run({"check", (root_ / "data/Meshes").string()}, code, out);  // no configuration below it
    EXPECT_EQ(code, 2);
    run({"check", (root_ / "nowhere").string()}, code, out);
    EXPECT_EQ(code, 2);
    run({"check", "--help"}, code, out);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(fs::current_path(), cwd);  // every session gave the current folder back
}

TEST_F(VultraneCheckTest, GameSessionLinksAModFolderFindsRealLetterCaseAndGivesEverythingBack) {
    const fs::path cwd = fs::current_path();
    // A mod folder whose folders are written in another case than the library's paths.
    fs::rename(root_ / "Data/Meshes", root_ / "Data/meshes");
    fs::rename(root_ / "Data/meshes/Vultrane", root_ / "Data/meshes/VULTRANE");
    std::string game;
    {
        vultrane::GameSession session((root_ / "Data").string());
        game = session.GameFolder();
        EXPECT_EQ(fs::current_path(), fs::path(game));
        EXPECT_EQ(fs::canonical(fs::path(game) / "data"), fs::canonical(root_ / "Data"));
        EXPECT_EQ(session.DataFolder(), fs::canonical(root_ / "Data").string());
        EXPECT_EQ(session.RealPath("data\\Meshes\\Vultrane\\Sets\\nord.INI"), session.DataFolder() + "/meshes/VULTRANE/Sets/Nord.ini");
        EXPECT_EQ(session.RealPath("sets\\NordHeadEdit.txt"), session.DataFolder() + "/meshes/VULTRANE/Sets/NordHeadEdit.txt");
        session.LoadConfiguration();
        EXPECT_EQ(Config().raceSettings.size(), 3u);
        bool sawLoad = false;
        for (const std::string& l : session.LogLines()) sawLoad |= l.rfind("Load ini: ", 0) == 0;
        EXPECT_TRUE(sawLoad);
        session.ClearLog();
        EXPECT_TRUE(session.LogLines().empty());
        PlayerCharacter* player = session.SetPlayer("NordRace", 1);
        EXPECT_EQ(player, sim::Player());
    }
    EXPECT_EQ(fs::current_path(), cwd);
    EXPECT_FALSE(fs::exists(game));                   // the temporary game folder is gone
    EXPECT_TRUE(fs::exists(root_ / "Data/meshes/VULTRANE/races.ini"));  // the mod is untouched
    EXPECT_TRUE(Config().raceSettings.empty());
    EXPECT_EQ(sim::Player(), nullptr);
    CheckReport r = Check();  // paths compare without regard to case, as on Windows
    EXPECT_EQ(r.Errors() + r.Warnings(), 0u) << Dump(r);

    EXPECT_THROW(vultrane::GameSession((root_ / "Data/meshes").string()), vultrane::UsageError);
    EXPECT_THROW(vultrane::GameSession(""), vultrane::UsageError);
    EXPECT_EQ(fs::current_path(), cwd);
}


TEST_F(VultraneCheckTest, PathsLeavingTheirFolderAreReportedAndNeverOpened) {
    WriteAll(root_ / "secret.txt", "28, 0.9\n");
    Replace("races.ini", "preset=NordPreset01.txt, NordPreset02.txt",
            "preset=NordPreset01.txt, NordPreset02.txt, ..\\..\\..\\..\\secret.txt");
    Replace("Sets/Nord.ini", "racemorph=NordRace\n", "racemorph=NordRace\nfiles=..\\escaped.tri, NordFemaleHead.tri\n");
    CheckReport r = Check();
    EXPECT_TRUE(Find(r, "races.ini", LineOf("races.ini", "secret.txt"),
                     "preset '..\\..\\..\\..\\secret.txt' leads out of the data folder; the game never reads it"))
        << Dump(r);
    // The loader's own refusal, with the file and line in its text.
    bool target = false;
    for (const Diagnostic& d : r.diagnostics)
        target = target || (d.error && d.message.find("\"..\\escaped.tri\" at line " +
                                                      std::to_string(LineOf("Sets/Nord.ini", "escaped.tri")) +
                                                      " of Meshes\\Vultrane\\sets\\nord.ini leads out of the game folder") !=
                                             std::string::npos);
    EXPECT_TRUE(target) << Dump(r);
}

}  // namespace
