// Slot files through the host simulator: the documents folder it points the plug-in to, the
// slots and presets GetSlotData hands back, and the slot files shown in the world dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A copy of the example game folder (the plug-in writes its log and morph files there) and a
// documents folder of its own.
class SlotRun {
public:
    SlotRun() {
        fs::copy(VTR_SOURCE_DIR "/examples/game", Game(), fs::copy_options::recursive);
        fs::create_directories(Documents());
    }
    std::string Game() const { return dir_.Path() + "/game"; }
    std::string Documents() const { return dir_.Path() + "/docs"; }
    std::string Write(const std::string& relative, const std::string& text) const { return dir_.Write(relative, text); }

    Json Run(const Json& calls) const {
        std::string callFile = dir_.Write("calls.json", calls.dump());
        e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                                VTR_SOURCE_DIR "/examples/worlds/nord.json", "--game-folder", Game(),
                                                "--documents", Documents(), "--calls", callFile, "--dump-world"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        Json out = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(out.is_discarded()) << r.out;
        return out;
    }

private:
    e2e::TempDir dir_;
};

// The records one GetSlotData call appended, as (uniqueID, position) pairs.
Json Records(const Json& call) { return call["arrays"][0]["contents"]; }

Json Pairs(std::initializer_list<std::pair<int, double>> pairs) {
    Json out = Json::array();
    for (const auto& [id, v] : pairs) out.push_back({{"uniqueID", id}, {"position", v}});
    return out;
}

TEST(E2ESlots, EmptySlotPresetsAndAnEarlierSlotFile) {
    SlotRun run;
    // Saved in an earlier session, before the version line existed; folder names in other case.
    run.Write("docs/my games/SKYRIM/vtr_save/_3_Nord.slot", "28, 1.0\r\n1000, 0.25\r\n");
    Json out = run.Run(Json::array({
        {{"function", "GetList"}, {"args", {"Nord", Json::array(), 0}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 0, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", -1, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", -2.5, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", -3, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 3, Json::array()}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 4, Json::array()}}},
    }));
    const Json& calls = out["calls"];
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(Records(calls[1]), Pairs({{-1, 0}}));
    EXPECT_EQ(Records(calls[2]), Pairs({{28, 0.5}, {35, -0.25}, {2000, 0.1}, {5000, 0.05}, {4000, 2}}));
    EXPECT_EQ(Records(calls[3]), Pairs({{28, -0.75}, {29, 0.4}, {1000, 0.6}, {1100, 12}, {2001, -0.15}}));
    EXPECT_EQ(Records(calls[4]), Json::array());
    EXPECT_EQ(Records(calls[5]), Pairs({{28, 1.5}, {1000, 0.25}}));
    EXPECT_EQ(Records(calls[6]), Json::array());
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i]["log"], Json::array()) << i;

    const Json& slots = out["world"]["slotFiles"];
    EXPECT_EQ(fs::path(slots["folder"].get<std::string>()), fs::path(run.Documents() + "/my games/SKYRIM/vtr_save"));
    EXPECT_EQ(slots["files"], Json::parse(R"([{"name": "_3_Nord.slot", "lines": ["28, 1.0\r", "1000, 0.25\r"]}])"));
}

TEST(E2ESlots, SavedSlotReadsBack) {
    SlotRun run;
    Json info = Json::array({28, 0.5, 30, -1.25, -10003, 8355711});
    Json out = run.Run(Json::array({
        {{"function", "GetList"}, {"args", {"Nord", Json::array(), 0}}},
        {{"function", "SetMergedMorphs"}, {"args", {"Nord", info, 2}}},
        {{"function", "GetSlotData"}, {"args", {"Nord", 2, Json::array()}}},
    }));
    const Json& calls = out["calls"];
    ASSERT_EQ(calls.size(), 3u);
    ASSERT_FALSE(calls[1]["log"].empty());
    EXPECT_EQ(calls[1]["log"][0], "save slot 2");
    EXPECT_EQ(Records(calls[2]), Pairs({{28, 0.5}, {30, -1.25}, {-10003, 8355711}}));

    const Json& files = out["world"]["slotFiles"]["files"];
    ASSERT_EQ(files.size(), 1u) << files;
    EXPECT_EQ(files[0]["name"], "_2_Nord.slot");
    // SetMergedMorphs applies no node changes, so the skeleton section is empty.
    EXPECT_EQ(files[0]["lines"],
              Json::parse(R"(["# Vultrane face data", "# character race: Nord", "# version: 2.0", "",
                              "# 'uniqueID, value' pair", "28, 0.500000", "30, -1.250000", "-10003, 8355711.000000",
                              "", "", "# --- skeleton data ---"])"));
}

}  // namespace
