// A mod whose files try to reach outside the game folder, through the plug-in's exports as the
// script extender loads it: nothing is read or written outside, a link at the temporary name is
// not followed, absurd slider values leave the merged files and the game's morphs alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char* kTargets = "/data/Meshes/actors/character/character assets/";

void Replace(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = e2e::ReadFile(path);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool AnyLineHas(const Json& call, const std::string& piece) {
    for (const Json& line : call["log"])
        if (line.get<std::string>().find(piece) != std::string::npos) return true;
    return false;
}

TEST(E2EHostileMod, PathsStayInsideAndAbsurdValuesChangeNothing) {
    e2e::TempDir dir;
    const std::string game = e2e::CopyExampleGame(dir), docs = dir.Path() + "/docs";
    for (const char* t : {"femaleheadchargen.tri", "eyesfemalechargen.tri", "maleheadchargen.tri"})
        fs::remove(game + kTargets + t);
    dir.Write("outside/secret.txt", "28, 0.9\n");
    dir.Write("victim.txt", "keep me");
    const std::string sets = game + "/data/Meshes/Vultrane/Sets/Nord.ini";
    Replace(sets, "racemorph=NordRace\n",
            "racemorph=NordRace\nfiles=..\\outside\\evil.tri, NordFemaleHead.tri\n"
            "files=data\\..\\..\\outside\\evil2.tri, NordFemaleHead.tri\n"
            "files=data\\evil3.tri, ..\\..\\..\\..\\..\\outside\\secret.txt\n");
    Replace(game + "/data/Meshes/Vultrane/races.ini", "preset=NordPreset01.txt, NordPreset02.txt",
            "preset=NordPreset01.txt, NordPreset02.txt, ..\\..\\..\\..\\..\\outside\\secret.txt");
    // A link where the head's temporary file goes.
    ASSERT_EQ(symlink((dir.Path() + "/victim.txt").c_str(), (game + kTargets + "femaleheadchargen.tri.vtrnew").c_str()), 0);

    const Json calls = Json::array({
        {{"function", "GetList"}, {"args", {"Nord", Json::array(), 0}}},
        {{"function", "SetMergedMorphs"}, {"args", {"Nord", {28, 0.5}, 0}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", -3, Json::array()}}},
        {{"function", "SetMergedMorphs"}, {"args", {"Nord", {28, 1e200, 35, 0.5}, 0}}},
        {{"function", "SetMergedMorphsMemory"}, {"args", {"Nord", {28, 1e200}, 0}}},
    });
    const std::string callFile = dir.Write("calls.json", calls.dump());
    const e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                                  VTR_SOURCE_DIR "/examples/worlds/nord.json", "--game-folder", game,
                                                  "--documents", docs, "--calls", callFile});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json out = Json::parse(r.out);
    const Json& c = out["calls"];
    ASSERT_EQ(c.size(), 5u);

    // Each refused path once, at its file and line, when the configuration is loaded.
    const std::string text = e2e::ReadFile(sets);
    const int first = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.find("files=..\\outside")), '\n')) + 1;
    EXPECT_TRUE(AnyLineHas(c[0], "ERROR: path: \"..\\outside\\evil.tri\" at line " + std::to_string(first) +
                                     " of Meshes\\Vultrane\\sets\\nord.ini leads out of the game folder"))
        << c[0]["log"].dump(1);
    EXPECT_TRUE(AnyLineHas(c[0], "ERROR: path: \"data\\..\\..\\outside\\evil2.tri\" at line " + std::to_string(first + 1)));
    EXPECT_TRUE(AnyLineHas(c[0], "ERROR: path: \"..\\..\\..\\..\\..\\outside\\secret.txt\" at line " + std::to_string(first + 2)));
    EXPECT_TRUE(AnyLineHas(c[0], "ERROR: path: \"..\\..\\..\\..\\..\\outside\\secret.txt\" at line 19 of "
                                 "Meshes\\Vultrane\\races.ini leads out of the data folder"));
    // Nothing written outside the game folder, the link's file untouched, the head written.
    EXPECT_FALSE(fs::exists(dir.Path() + "/outside/evil.tri"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/outside/evil2.tri"));
    EXPECT_EQ(e2e::ReadFile(dir.Path() + "/victim.txt"), "keep me");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(game + kTargets + "femaleheadchargen.tri")));
    const std::string head = e2e::ReadFile(game + kTargets + "femaleheadchargen.tri");
    EXPECT_GT(head.size(), 1000u);
    // The preset outside the data folder is not read.
    EXPECT_TRUE(c[2]["arrays"][0]["contents"].empty()) << c[2].dump(1);

    // 1e200: the merged head is neither rewritten nor patched, with one warning naming it.
    EXPECT_EQ(e2e::ReadFile(game + kTargets + "femaleheadchargen.tri"), head);
    EXPECT_TRUE(AnyLineHas(c[3], "WARNING: merged morph of data\\meshes\\actors\\character\\character assets\\femaleheadchargen.tri "
                                 "is out of range (largest slider values: 28=1e+200, 35=0.5); it is neither written nor "
                                 "patched."))
        << c[3]["log"].dump(1);
    EXPECT_TRUE(AnyLineHas(c[4], "(largest slider values: 28=1e+200); it is neither written nor patched."))
        << c[4]["log"].dump(1);
    EXPECT_EQ(c[4]["return"], false);
}

}  // namespace
