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
        "",
        "nonsense",
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
    EXPECT_EQ(record["pictures"].size(), 5u);
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
    EXPECT_EQ(RunIn(dir.Path(), "demo --out out --size 64").exitCode, 0);
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
