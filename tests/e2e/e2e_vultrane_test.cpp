// The vultrane program as users run it: bad arguments of every subcommand end with a message
// and status 2, and the demo writes the files it names, below its output folder only.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <nlohmann/json.hpp>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesBelow(const fs::path& root) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory()) out.insert(fs::relative(e.path(), root).string());
    return out;
}

e2e::ProcessResult RunIn(const std::string& folder, const std::string& arguments) {
    return e2e::RunProcess({"/bin/sh", "-c", "cd '" + folder + "' && exec '" VTR_VULTRANE_PATH "' " + arguments});
}

TEST(E2eVultrane, BadArgumentsOfEverySubcommandExitTwoWithAMessage) {
    e2e::TempDir dir;
    dir.Write("not.tri", "not a tri file");
    const char* cases[] = {
        "nonsense",
        "chek",
        "demo --size 3",
        "demo --out '" VTR_SOURCE_DIR "/examples/game/out'",
        "sliders",
        "sliders /nonexistent --race Nord",
        "sliders '" VTR_SOURCE_DIR "' --race Nord",
        "sliders '" VTR_PRISTINE_GAME_DIR "' --race Nord --sex other",
        "tri",
        "tri info",
        "tri info /nonexistent.tri",
        "tri diff only-one.tri",
        "tri diff not.tri not.tri",  // unreadable: neither the same nor different
        "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --out o",
        "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values 28=1 --slot x.slot --out o",
        "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values 28=high --out o",
        "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values 28=1",
        "slot",
        "slot export",
        "slot export /nonexistent.slot",
        "slot import x.json",
        "formula",
        "formula x --steps 0",
        "formula x --from nan",
        "formula x --to abc",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        const e2e::ProcessResult r = RunIn(dir.Path(), args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("vultrane"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    // Nothing was written by any of them.
    EXPECT_EQ(FilesBelow(dir.Path()), (std::set<std::string>{"not.tri"}));
    EXPECT_FALSE(fs::exists(VTR_SOURCE_DIR "/examples/game/out"));
    // A damaged file is a finding (1), not a bad argument.
    EXPECT_EQ(RunIn(dir.Path(), "tri info not.tri").exitCode, 1);
    for (const char* help : {"--help", "demo --help", "sliders --help", "tri diff --help", "merge --help",
                             "slot import --help", "formula --help"})
        EXPECT_EQ(RunIn(dir.Path(), help).exitCode, 0) << help;
}

TEST(E2eVultrane, DemoWritesTheFilesItNamesBelowItsOutputFolderOnly) {
    e2e::TempDir dir;
    const std::set<std::string> examplesBefore = FilesBelow(VTR_SOURCE_DIR "/examples");
    const e2e::ProcessResult r = RunIn(dir.Path(), "demo --out out --size 96 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json record = nlohmann::json::parse(r.out);
    const fs::path out = fs::path(dir.Path()) / "out";
    EXPECT_EQ(record["outputFolder"], out.string());
    EXPECT_TRUE(record["problems"].empty()) << record["problems"].dump();

    // Every file it names exists below the output folder.
    std::vector<std::string> named;
    for (const auto& w : record["writtenTri"]) {
        EXPECT_TRUE(w["written"].get<bool>());
        named.push_back(w["path"]);
    }
    named.push_back(record["slotFile"]);
    for (const auto& p : record["pictures"]) named.push_back(p);
    EXPECT_EQ(record["pictures"].size(), 6u);
    // Files are named as they are on disk, which Linux tells apart by letter case.
    const fs::path game = record["gameFolder"].get<std::string>();
    ASSERT_EQ(record["raceSetFiles"].size(), 3u);
    for (const auto& f : record["raceSetFiles"]) EXPECT_TRUE(fs::is_regular_file(game / f.get<std::string>())) << f;
    EXPECT_EQ(record["raceSetFiles"][0], "data/Meshes/Vultrane/Sets/Nord.ini");
    for (const auto& f : record["generatedSources"]) EXPECT_TRUE(fs::is_regular_file(f.get<std::string>())) << f;
    // The preset by its file, its values by their sliders.
    EXPECT_EQ(record["preset"]["file"], "NordPreset02.txt");
    for (const auto& v : record["preset"]["values"]) EXPECT_TRUE(v.contains("name")) << v.dump();
    for (const std::string& p : named) {
        SCOPED_TRACE(p);
        EXPECT_EQ(p.rfind(out.string() + "/", 0), 0u);
        EXPECT_TRUE(fs::is_regular_file(p));
        EXPECT_GT(fs::file_size(p), 0u);
    }
    // The merged face moved the head, and the loaded morph data was patched.
    EXPECT_GT(record["headMovedAtMost"].get<double>(), 0.1);
    EXPECT_FALSE(record["memoryChanges"].empty());

    // Nothing outside: the current folder holds only the output folder, examples/ is as it was.
    for (const auto& e : fs::directory_iterator(dir.Path())) EXPECT_EQ(e.path(), out);
    EXPECT_EQ(FilesBelow(VTR_SOURCE_DIR "/examples"), examplesBefore);

    // A second run into the same folder is fine; a folder with someone else's files is refused.
    const e2e::ProcessResult again = RunIn(dir.Path(), "demo --out out --size 64");
    EXPECT_EQ(again.exitCode, 0);
    // The summary explains each reserved morph once, where it first appears, and names the
    // preset's values by their sliders.
    for (const char* once : {"(NoseType32: ", "(LipType33: ", "(NoseType33: ", "(the morphs outside the game's own names",
                             "Type 99 is a slider", "Nose height (28) = -0.75", "NordPreset02.txt",
                             "Nord-female-head-before-after.png",
                             // a type-10 slider of the set is a row, not one of the game menu's entries
                             "the menu's tint layer WarpaintDetail", "25 of the game menu's own entries"}) {
        const size_t at = again.out.find(once);
        EXPECT_NE(at, std::string::npos) << once << "\n" << again.out;
        if (at != std::string::npos) EXPECT_EQ(again.out.find(once, at + 1), std::string::npos) << once;
    }
    EXPECT_LT(again.out.find("NoseType32 moves"), again.out.find("(NoseType32: "));
    dir.Write("mine/notes.txt", "keep");
    const e2e::ProcessResult refused = RunIn(dir.Path(), "demo --out mine");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(FilesBelow(dir.Path() + "/mine"), (std::set<std::string>{"notes.txt"}));
}

}  // namespace

namespace {

TEST(E2eVultrane, StartedInAGameFolderItLeavesTheGamesLogAlone) {
    e2e::TempDir game;
    const std::string log = "data/skse/plugins/Vultrane.log";
    game.Write(log, "the game's own line\n");
    for (const char* args : {"--help", "formula x --steps 2", "nonsense"}) {
        SCOPED_TRACE(args);
        RunIn(game.Path(), args);
        EXPECT_EQ(e2e::ReadFile(game.Path() + "/" + log), "the game's own line\n");
        EXPECT_FALSE(fs::exists(game.Path() + "/" + log + "0")) << "no second log either";
    }
}

}  // namespace

namespace {

TEST(E2eVultrane, BareProgramPrintsItsHelpAndMistypedCommandsGetTheNearestName) {
    e2e::TempDir dir;
    const e2e::ProcessResult bare = RunIn(dir.Path(), "");
    EXPECT_EQ(bare.exitCode, 0) << bare.err;
    EXPECT_EQ(bare.out, RunIn(dir.Path(), "--help").out);
    EXPECT_NE(bare.out.find("Usage: vultrane"), std::string::npos) << bare.out;
    EXPECT_NE(bare.out.find("formula"), std::string::npos) << bare.out;

    const e2e::ProcessResult typo = RunIn(dir.Path(), "chek '" VTR_PRISTINE_GAME_DIR "'");
    EXPECT_EQ(typo.exitCode, 2);
    EXPECT_NE(typo.err.find("'chek' is not a command of vultrane; did you mean check?"), std::string::npos) << typo.err;
    const e2e::ProcessResult nested = RunIn(dir.Path(), "slot exprt a.slot");
    EXPECT_EQ(nested.exitCode, 2);
    EXPECT_NE(nested.err.find("did you mean export?"), std::string::npos) << nested.err;
}

TEST(E2eVultrane, EverySubcommandCreatesTheFolderOfItsOutput) {
    e2e::TempDir dir;
    const std::string head = VTR_PRISTINE_GAME_DIR "/data/Meshes/Vultrane/Sets/NordFemaleHead.tri";
    const e2e::ProcessResult preview =
        RunIn(dir.Path(), "preview '" + head + "' --morph NoseLong=1 --out pv/x --size 64 --no-moved-map");
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path() + "/pv/x-after-front.png")) << preview.out;
    const e2e::ProcessResult plot = RunIn(dir.Path(), "formula '(x*2)' --steps 2 --plot plots/a/f.png");
    EXPECT_EQ(plot.exitCode, 0) << plot.err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path() + "/plots/a/f.png"));
    dir.Write("face.json", R"({"race": "Nord", "pairs": [{"uniqueID": 28, "value": 0.5}]})");
    const e2e::ProcessResult import = RunIn(dir.Path(), "slot import face.json --out slots/new/_1_Nord.slot");
    EXPECT_EQ(import.exitCode, 0) << import.err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path() + "/slots/new/_1_Nord.slot"));
    const e2e::ProcessResult merge =
        RunIn(dir.Path(), "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values '28=0.5, 1100=7' --out merged/here");
    EXPECT_EQ(merge.exitCode, 0) << merge.err << merge.out;
    EXPECT_TRUE(fs::is_directory(dir.Path() + "/merged/here/data/meshes"));
    // A file where the folder should be is a failure of the work, named, not a crash.
    dir.Write("blocked", "a file");
    const e2e::ProcessResult blocked = RunIn(dir.Path(), "formula x --steps 2 --plot blocked/f.png");
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("--plot: cannot create the folder blocked"), std::string::npos) << blocked.err;
}

TEST(E2eVultrane, ToolsNameTheUsersFileLineAndWhatTheyMatched) {
    e2e::TempDir dir;
    // slot export refuses what is not a slot or preset file, at its line.
    dir.Write("face.json", "{\n  \"race\": \"Nord\"\n}\n");
    const e2e::ProcessResult json = RunIn(dir.Path(), "slot export face.json");
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(json.out.empty()) << json.out;
    EXPECT_NE(json.err.find("face.json:1: '{' is not a 'uniqueID, value' pair; this is not a slot or preset file"),
              std::string::npos)
        << json.err;
    const e2e::ProcessResult races =
        RunIn(dir.Path(), "slot export '" VTR_PRISTINE_GAME_DIR "/data/Meshes/Vultrane/races.ini'");
    EXPECT_EQ(races.exitCode, 1);
    EXPECT_NE(races.err.find("races.ini:12: 'sliderscale=1.0'"), std::string::npos) << races.err;
    // Warnings of a slot file name the file and line the user gave.
    dir.Write("old.slot", "28, 0.5\n1000, 1e999\n");
    const e2e::ProcessResult old = RunIn(dir.Path(), "slot export old.slot");
    EXPECT_EQ(old.exitCode, 1);
    EXPECT_NE(old.err.find("vultrane: old.slot:2: warning: value '1e999' is out of range"), std::string::npos) << old.err;
    EXPECT_EQ(old.err.find("/tmp/"), std::string::npos) << old.err;
    // Bad JSON for import: line and column.
    dir.Write("bad.json", "{\"race\": \"Nord\",\n \"pairs\": [}\n");
    const e2e::ProcessResult bad = RunIn(dir.Path(), "slot import bad.json --out x.slot");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("bad.json:2:12: not valid JSON"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(dir.Path() + "/x.slot"));

    // A merge whose ids match no slider says so and fails.
    const e2e::ProcessResult none =
        RunIn(dir.Path(), "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values 99999=1 --out m1");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.out.find("none of the values' uniqueIDs is a slider of race set Nord for women"), std::string::npos)
        << none.out;
    const e2e::ProcessResult some =
        RunIn(dir.Path(), "merge '" VTR_PRISTINE_GAME_DIR "' --race Nord --values '28=0.5, 99999=1' --out m2");
    EXPECT_EQ(some.exitCode, 0) << some.out;
    EXPECT_NE(some.out.find("note: no slider of race set Nord for women has uniqueID 99999"), std::string::npos)
        << some.out;
    // A race listed only in another letter case is named, by sliders and merge alike.
    for (const std::string command : {"sliders '" VTR_PRISTINE_GAME_DIR "' --race nord",
                                      "merge '" VTR_PRISTINE_GAME_DIR "' --race nord --values 28=1 --out m3"}) {
        SCOPED_TRACE(command);
        const e2e::ProcessResult r = RunIn(dir.Path(), command);
        EXPECT_NE(r.out.find("note: race 'nord' is listed only as 'Nord' (race set Nord)"), std::string::npos) << r.out;
    }
    const e2e::ProcessResult listed = RunIn(dir.Path(), "sliders '" VTR_PRISTINE_GAME_DIR "' --race Nord");
    EXPECT_NE(listed.out.find("\nrace set: Nord\n"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("note:"), std::string::npos) << listed.out;
}

TEST(E2eVultrane, FormulaTableShowsTidyNumbersAndSaysWhatXIs) {
    e2e::TempDir dir;
    const e2e::ProcessResult r = RunIn(dir.Path(), "formula '(x*3)' --from -1 --to 1 --steps 10");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("-0.2   -0.6"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("9999"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("0000"), std::string::npos) << r.out;
    const e2e::ProcessResult help = RunIn(dir.Path(), "formula --help");
    EXPECT_NE(help.out.find("the slider value plus one"), std::string::npos) << help.out;
}

}  // namespace
