// The in-memory replacement through the host simulator on the example world: the game's
// loaded NoseType33 of each target receives what SetMergedMorphs writes as NoseType32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char* kTargets = "/data/Meshes/actors/character/character assets/";

struct Record {
    bool found = false;
    float scale = 0;
    std::string digest;
};

// An independent reading of a written file: the named morph's scale and the FNV-1a 64 of its
// delta bytes.
Record FindRecord(const std::string& b, const std::string& name) {
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    Record r;
    if (b.size() < 64) return r;
    const uint32_t vertices = u32(8), tris = u32(12), uvs = u32(28);
    size_t at = 64 + size_t(vertices) * 12 + size_t(tris) * 24 + size_t(uvs) * 8;
    while (at + 4 <= b.size()) {
        const uint32_t len = u32(at);
        const std::string n(b.data() + at + 4, len - 1);
        at += 4 + len;
        if (n == name) {
            std::memcpy(&r.scale, b.data() + at, 4);
            uint64_t h = 0xcbf29ce484222325ull;
            for (size_t i = 0; i < size_t(vertices) * 6; ++i) {
                h ^= static_cast<uint8_t>(b[at + 4 + i]);
                h *= 0x100000001b3ull;
            }
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
            r.digest = hex;
            r.found = true;
            return r;
        }
        at += 4 + size_t(vertices) * 6;
    }
    return r;
}

const Json* Loaded(const Json& world, const std::string& file) {
    for (const Json& d : world["loadedMorphData"])
        if (d["path"].get<std::string>().ends_with("\\" + file)) return &d;
    return nullptr;
}

const Json* Morph(const Json& data, const std::string& name, std::string* digest = nullptr) {
    for (size_t i = 0; i < data["morphs"].size(); ++i) {
        if (data["morphs"][i]["name"] != name) continue;
        if (digest) *digest = data["deltaDigests"][i].get<std::string>();
        return &data["morphs"][i];
    }
    return nullptr;
}

class E2EMemory : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::CopyExampleGame(dir);
        fs::remove(Game() + kTargets + "femaleheadchargen.tri");
        fs::remove(Game() + kTargets + "eyesfemalechargen.tri");
    }
    std::string Game() const { return dir.Path() + "/game"; }
    Json Run(const std::string& world, const Json& calls) {
        const std::string callFile = dir.Write("calls.json", calls.dump());
        const e2e::ProcessResult r =
            e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world", world, "--game-folder", Game(),
                             "--documents", dir.Path() + "/docs", "--calls", callFile, "--dump-world"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return Json::parse(r.out);
    }
    e2e::TempDir dir;
};

const Json kValues = Json::array({28, 0.5, 35, -0.25, 1200, 0.8, 1100, 7});

TEST_F(E2EMemory, PatchesNoseType33OfEveryLoadedTargetWithTheMergedMorph) {
    const Json calls = Json::array({{{"function", "SetMergedMorphsMemory"}, {"args", {"Nord", kValues, 0}}},
                                    {{"function", "SetMergedMorphs"}, {"args", {"Nord", kValues, 0}}}});
    const Json out = Run(VTR_SOURCE_DIR "/examples/worlds/nord.json", calls);
    ASSERT_EQ(out["calls"].size(), 2u);
    EXPECT_EQ(out["calls"][0]["return"], true);
    EXPECT_EQ(out["world"]["modelUpdates"], 1) << "SetMergedMorphs queues none";
    for (const Json& line : out["calls"][0]["log"])
        EXPECT_EQ(line.get<std::string>().find("failed to refresh"), std::string::npos) << line;

    for (const char* file : {"femaleheadchargen.tri", "eyesfemalechargen.tri"}) {
        SCOPED_TRACE(file);
        const Record written = FindRecord(e2e::ReadFile(Game() + kTargets + file), "NoseType32");
        ASSERT_TRUE(written.found);
        const Json* data = Loaded(out["world"], file);
        ASSERT_NE(data, nullptr);
        std::string digest;
        const Json* nose = Morph(*data, "NoseType33", &digest);
        ASSERT_NE(nose, nullptr);
        EXPECT_FLOAT_EQ((*nose)["scale"].get<float>(), written.scale);
        EXPECT_NE(written.scale, 1.0f) << "the values move the morph";
        EXPECT_EQ(digest, written.digest);
        EXPECT_GT((*nose)["nonZeroDeltas"].get<int>(), 0);
    }
    // Brows are no target of the set; their record, with its unequal counts, is untouched.
    const Json* brows = Morph(*Loaded(out["world"], "femalebrows.tri"), "NoseType33");
    EXPECT_EQ((*brows)["nonZeroDeltas"], 0);
}

TEST_F(E2EMemory, OneOfTwoTargetsLoadedLogsTheNotesWithTheFailureAsOneEntry) {
    Json world = Json::parse(e2e::ReadFile(VTR_SOURCE_DIR "/examples/worlds/nord.json"));
    world["gameFolder"] = Game();
    Json kept = Json::array();
    for (const Json& d : world["loadedMorphData"])
        if (!d["path"].get<std::string>().ends_with("eyesfemalechargen.tri")) kept.push_back(d);
    world["loadedMorphData"] = kept;
    const std::string worldFile = dir.Write("world.json", world.dump());
    const Json out = Run(worldFile, Json::array({{{"function", "SetMergedMorphsMemory"}, {"args", {"Nord", kValues, 0}}}}));
    const Json& call = out["calls"][0];
    EXPECT_EQ(call["return"], false);
    // The host shows the log line by line: the notes come as one block ending in the failure.
    std::vector<std::string> lines;
    for (const Json& l : call["log"]) lines.push_back(l.get<std::string>());
    const auto failure = std::find(lines.begin(), lines.end(), "    ERROR: failed to refresh Player face.");
    ASSERT_NE(failure, lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), *failure), 1);
    const std::vector<std::string> notes = {
        "    ok: requested .tri model is on memory",
        "      model:data\\meshes\\actors\\character\\character assets\\femaleheadchargen.tri raceName:Nord",
        "    ERROR: requested .tri model is NOT on memory.",
        "        requested model from .ini : data\\meshes\\actors\\character\\character assets\\eyesfemalechargen.tri",
        "        player raceName           : Nord",
        "        player base head model    : ",
        "        system too heavy or unsupported race ?",
    };
    ASSERT_GE(failure - lines.begin(), static_cast<long>(notes.size()));
    for (size_t i = 0; i < notes.size(); ++i)
        EXPECT_EQ((failure - static_cast<long>(notes.size() - i))->rfind(notes[i], 0), 0u) << notes[i];
    EXPECT_EQ(out["world"]["modelUpdates"], 1) << "queued after a failure too";
}

}  // namespace
