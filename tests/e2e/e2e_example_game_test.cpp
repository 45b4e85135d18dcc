// The build's pristine example game folder with its generated morph files: read-only, what the
// demo's world says the game has loaded fits them, and the demo's calls run on a copy of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kSets = std::string(VTR_PRISTINE_GAME_DIR) + "/data/Meshes/Vultrane/Sets/";

uint32_t Word(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return v;
}

// The loaded morph data of the demo's Nord woman: for each file the game has loaded, the
// generated source of the race set's target with that path.
TEST(E2EExampleGame, DemoWorldsLoadedMorphDataFitsTheGeneratedFiles) {
    const Json world = Json::parse(e2e::ReadFile(std::string(VTR_SOURCE_DIR) + "/examples/worlds/nord.json"));
    const struct {
        const char* loaded;
        const char* source;
    } files[] = {
        {"femaleheadchargen.tri", "NordFemaleHead.tri"},
        {"eyesfemalechargen.tri", "NordFemaleEyes.tri"},
        {"femalemouthchargen.tri", "DefaultFemaleMouth.tri"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.source);
        const std::string bytes = e2e::ReadFile(kSets + f.source);
        ASSERT_GT(bytes.size(), 64u) << "not generated";
        EXPECT_EQ(bytes.substr(0, 8), "FRTRI003");
        const uint32_t vertices = Word(bytes, 8);
        EXPECT_GT(Word(bytes, 36), 100u);  // morphs
        const Json* entry = nullptr;
        for (const Json& d : world["loadedMorphData"])
            if (d["path"] == std::string("meshes\\actors\\character\\character assets\\") + f.loaded) entry = &d;
        ASSERT_NE(entry, nullptr);
        bool slot = false;
        for (const Json& m : (*entry)["morphs"]) {
            ASSERT_TRUE(m.contains("vertexCount")) << m.dump();
            EXPECT_EQ(m["vertexCount"].get<uint32_t>(), vertices) << m.dump();
            slot |= m["name"] == "NoseType33";
        }
        EXPECT_TRUE(slot) << "the in-memory replacement writes NoseType33";
    }
    // The plug-in writes merged files into the targets' folders and creates none itself (the
    // targets' "data\meshes" is the configuration's "data\Meshes", letter case aside).
    EXPECT_TRUE(fs::is_directory(std::string(VTR_PRISTINE_GAME_DIR) + "/data/Meshes/actors/character/character assets"));
}

// Shared by every test process, so nobody may write into it: the build leaves no write bit on
// anything in it (the ctest example_game_pristine checks its content after the other tests).
TEST(E2EExampleGame, TheGeneratedFolderIsReadOnly) {
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    size_t files = 0;
    EXPECT_EQ(fs::status(VTR_PRISTINE_GAME_DIR).permissions() & write, fs::perms::none);
    for (const auto& e : fs::recursive_directory_iterator(VTR_PRISTINE_GAME_DIR)) {
        EXPECT_EQ(e.status().permissions() & write, fs::perms::none) << e.path();
        files += e.is_regular_file();
    }
    EXPECT_GT(files, 10u);
    // A private copy is writable throughout, as the plug-in needs it.
    e2e::TempDir dir;
    const std::string game = e2e::CopyExampleGame(dir);
    for (const auto& e : fs::recursive_directory_iterator(game))
        EXPECT_NE(e.status().permissions() & fs::perms::owner_write, fs::perms::none) << e.path();
    EXPECT_TRUE(fs::is_regular_file(game + "/data/Meshes/Vultrane/Sets/NordFemaleHead.tri"));
}

TEST(E2EExampleGame, DemoRunsOnACopyOfTheGeneratedFolder) {
    e2e::TempDir out;
    const std::string game = e2e::CopyExampleGame(out);
    const std::string output = out.Path() + "/result.json";
    const e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                                  std::string(VTR_SOURCE_DIR) + "/examples/worlds/nord.json", "--calls",
                                                  std::string(VTR_SOURCE_DIR) + "/examples/calls/demo.json",
                                                  "--game-folder", game, "--documents", out.Path() + "/docs",
                                                  "--output", output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json j = Json::parse(e2e::ReadFile(output));
    const uint32_t headVertices = Word(e2e::ReadFile(kSets + "NordFemaleHead.tri"), 8);
    bool listed = false;
    for (const Json& call : j["calls"]) {
        for (const Json& line : call["log"]) {
            const std::string text = line.get<std::string>();
            EXPECT_EQ(text.find("no source .tri found"), std::string::npos) << text;
            EXPECT_EQ(text.find("empty morphSource"), std::string::npos) << text;
            EXPECT_EQ(text.find("unmatched vertexNum"), std::string::npos) << text;
        }
        if (call.value("function", std::string()) != "GetList" || !call.contains("arrays")) continue;
        for (const Json& a : call["arrays"]) {
            for (const Json& rec : a["contents"]) {
                if (!rec.is_object() || rec.value("uniqueID", 0) != 1800) continue;
                listed = true;
                EXPECT_EQ(rec["vertexNum"].get<uint32_t>(), headVertices);
                for (const Json& v : rec["vertexList"]) {
                    EXPECT_LT(v["vertexID"].get<uint32_t>(), headVertices);
                    EXPECT_LT(v["mirrorVertID"].get<uint32_t>(), headVertices);
                }
            }
        }
    }
    EXPECT_TRUE(listed) << "the vertex-edit slider of the Nord set";
}

}  // namespace
