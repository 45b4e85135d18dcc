// The merge through the host simulator on the example world: the slot saved in the chosen
// documents folder, one merged .tri file per target of the player's sex, and the slot, the
// empty slot and the first preset read back by the menu.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char* kTargets = "/data/Meshes/actors/character/character assets/";

struct Tri {
    uint32_t vertices = 0, morphCount = 0, flags = 0;
    std::vector<std::string> names;
    std::vector<float> scales;
    std::vector<int> maxDelta;
};

// An independent reading of the written bytes (not the library's reader).
Tri Parse(const std::string& b) {
    Tri t;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    if (b.size() < 64) return t;
    t.vertices = u32(8);
    const uint32_t tris = u32(12), uvs = u32(28);
    t.flags = u32(32);
    t.morphCount = u32(36);
    size_t at = 64 + size_t(t.vertices) * 12 + size_t(tris) * 24 + size_t(uvs) * 8;
    while (at + 4 <= b.size()) {
        const uint32_t len = u32(at);
        at += 4;
        t.names.emplace_back(b.data() + at, len - 1);
        at += len;
        float s;
        std::memcpy(&s, b.data() + at, 4);
        t.scales.push_back(s);
        at += 4;
        int m = 0;
        for (size_t i = 0; i < size_t(t.vertices) * 3; ++i) {
            int16_t d;
            std::memcpy(&d, b.data() + at + 2 * i, 2);
            m = std::max(m, std::abs(int(d)));
        }
        t.maxDelta.push_back(m);
        at += size_t(t.vertices) * 6;
    }
    EXPECT_EQ(at, b.size());
    return t;
}

TEST(E2EMerge, SetMergedMorphsOnTheExampleWorld) {
    e2e::TempDir dir;
    const std::string game = e2e::CopyExampleGame(dir), docs = dir.Path() + "/docs";
    fs::remove(game + kTargets + "femaleheadchargen.tri");
    fs::remove(game + kTargets + "eyesfemalechargen.tri");
    fs::remove(game + kTargets + "maleheadchargen.tri");
    const Json calls = Json::array({
        {{"function", "GetList"}, {"args", {"Nord", Json::array(), 0}}},
        {{"function", "SetMergedMorphs"}, {"args", {"Nord", {28, 0.5, 35, -0.25, 1200, 0.8, 1100, 7, -10010, 9011066}, 2}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 2, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 0, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", -1, Json::array()}}},
    });
    const std::string callFile = dir.Write("calls.json", calls.dump());
    const e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                                  VTR_SOURCE_DIR "/examples/worlds/nord.json", "--game-folder", game,
                                                  "--documents", docs, "--calls", callFile});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json out = Json::parse(r.out);
    const Json& c = out["calls"];
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[1]["log"], Json::parse(R"(["save slot 2", "info: cache tri, check start.", "info: cache tri, success."])"));

    // The slot file in the chosen documents folder, and the menu's readings.
    const std::string slot = e2e::ReadFile(docs + "/My Games/Skyrim/VTR_save/_2_Nord.slot");
    EXPECT_NE(slot.find("\n28, 0.500000\n35, -0.250000\n1200, 0.800000\n1100, 7.000000\n-10010, 9011066.000000\n"),
              std::string::npos)
        << slot;
    auto pairs = [](const Json& call) {
        std::vector<std::pair<int, double>> p;
        for (const Json& rec : call["arrays"][0]["contents"]) p.emplace_back(rec["uniqueID"], rec["position"]);
        return p;
    };
    EXPECT_EQ(pairs(c[2]), (std::vector<std::pair<int, double>>{{28, 0.5}, {35, -0.25}, {1200, 0.8}, {1100, 7}, {-10010, 9011066}}));
    EXPECT_EQ(pairs(c[3]), (std::vector<std::pair<int, double>>{{-1, 0}}));
    EXPECT_EQ(pairs(c[4]), (std::vector<std::pair<int, double>>{{28, 0.5}, {35, -0.25}, {2000, 0.1}, {5000, 0.05}, {4000, 2}}));

    // One file per target of a woman; the man's target is not written.
    EXPECT_FALSE(fs::exists(game + kTargets + "maleheadchargen.tri"));
    const Tri source = Parse(e2e::ReadFile(game + "/data/Meshes/Vultrane/Sets/NordFemaleHead.tri"));
    const Tri head = Parse(e2e::ReadFile(game + kTargets + "femaleheadchargen.tri"));
    const Tri eyes = Parse(e2e::ReadFile(game + kTargets + "eyesfemalechargen.tri"));
    ASSERT_GT(source.vertices, 1000u);
    EXPECT_EQ(head.vertices, source.vertices);
    EXPECT_EQ(head.flags, 1u);
    EXPECT_EQ(head.morphCount, head.names.size());
    EXPECT_EQ(eyes.morphCount, eyes.names.size());
    ASSERT_GT(eyes.vertices, 0u);
    // The source's game morphs, in the fixed order, with the merged morphs among them; the
    // race set's own morphs are not written.
    ASSERT_GE(head.names.size(), 40u);
    EXPECT_EQ(head.names[0], "EyesMoveDown");
    EXPECT_EQ(std::count(head.names.begin(), head.names.end(), "CheeksFull7"), 0);
    auto find = [](const Tri& t, const char* n) { return std::find(t.names.begin(), t.names.end(), n) - t.names.begin(); };
    const size_t main = size_t(find(head, "NoseType32")), neck = size_t(find(head, "LipType33"));
    ASSERT_LT(main, head.names.size());
    ASSERT_EQ(neck, main + 1);
    EXPECT_GE(head.maxDelta[main], 32766);  // the nose, jaw, eyes, cheeks and the vertex edit
    EXPECT_EQ(head.maxDelta[neck], 0);      // no neck or head-size slider
    EXPECT_EQ(head.scales[neck], 1.0f);
    EXPECT_GT(eyes.maxDelta[size_t(find(eyes, "NoseType32"))], 0);  // the eyes follow the vertex edit or eye sliders
    for (const Json& call : c)
        for (const Json& line : call["log"]) EXPECT_EQ(line.get<std::string>().find("ERROR"), std::string::npos) << line;
}

}  // namespace
