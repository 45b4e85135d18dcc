// The live face through the host simulator on the example world: face data passed by the
// game's scripts through the patched routine, and the vertex brush before and after a merge.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

Json RunExample(const Json& calls) {
    e2e::TempDir dir;
    const std::string game = e2e::CopyExampleGame(dir);
    const std::string callFile = dir.Write("calls.json", calls.dump());
    const e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                                  VTR_SOURCE_DIR "/examples/worlds/nord.json", "--game-folder", game,
                                                  "--documents", dir.Path() + "/docs", "--calls", callFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Json::parse(r.out, nullptr, false);
}

bool Logged(const Json& call, const std::string& text) {
    for (const Json& line : call["log"])
        if (line.get<std::string>() == text) return true;
    return false;
}

TEST(E2ELiveFace, FaceDataFromTheGameScriptsIsTakenFromThirtyCharacters) {
    const std::string face = "Nord,version,1,28,0.5,2000,0.2";  // 30 characters
    ASSERT_EQ(face.size(), 30u);
    const Json out = RunExample(Json::array({
        {{"scriptRoutine", face.substr(0, 29)}},
        {{"scriptRoutine", face}},
        {{"scriptRoutine", "x"}},
    }));
    const Json& c = out["calls"];
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0]["taken"], false);
    EXPECT_EQ(c[0]["formerRoutineRan"], true);
    EXPECT_EQ(c[0]["log"], Json::array());
    EXPECT_EQ(c[1]["taken"], true);
    EXPECT_EQ(c[1]["formerRoutineRan"], false);
    EXPECT_EQ(c[1]["modelUpdatesQueued"], 1);
    EXPECT_TRUE(Logged(c[1], "info: refresh Player face start."));
    EXPECT_TRUE(Logged(c[1], "match race: Nord"));
    EXPECT_TRUE(Logged(c[1], "info: refresh Player face end."));
    EXPECT_FALSE(Logged(c[1], "    ERROR: failed to refresh Player face."));
    EXPECT_EQ(c[2]["taken"], false);
}

TEST(E2ELiveFace, TheVertexBrushWorksOnTheMergedHeadOnly) {
    // Vertex 1184 of the generated head with its mirror partner 1226, a brush of 40.
    const Json brush = {"Nord", Json::array({28, 0.5}), 1184, 30, 10, -20, 40, 0, true, Json::array()};
    const Json out = RunExample(Json::array({
        {{"function", "GetList"}, {"args", {"Nord", Json::array(), 0}}},
        {{"function", "GetVertexInArea"}, {"args", brush}},
        {{"function", "SetMergedMorphs"}, {"args", {"Nord", Json::array({28, 0.5}), 0}}},
        {{"function", "GetVertexInArea"}, {"args", brush}},
    }));
    const Json& c = out["calls"];
    ASSERT_EQ(c.size(), 4u);
    // Before any merge the cache holds nothing for this race: no result, no message.
    EXPECT_EQ(c[1]["arrays"][1]["contents"], Json::array());
    EXPECT_EQ(c[1]["log"], Json::array());
    const Json& selected = c[3]["arrays"][1]["contents"];
    ASSERT_GT(selected.size(), 2u);
    bool picked = false, mirror = false;
    for (const Json& v : selected) {
        if (v["vertexID"] == 1184) picked = v["x"] == 30 && v["y"] == 10 && v["z"] == -20;  // weight 1 at the centre
        if (v["vertexID"] == 1226) mirror = v["x"] == -30;
        EXPECT_LE(std::abs(v["x"].get<int>()), 30);
    }
    EXPECT_TRUE(picked) << selected;
    EXPECT_TRUE(mirror) << selected;
    EXPECT_EQ(c[3]["log"], Json::array());
}

}  // namespace
