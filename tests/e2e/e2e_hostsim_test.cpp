// The host simulator run as a program: world files, call lists, handshake options, its JSON
// output and its exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/e2e/e2e_support.h"

namespace {

using Json = nlohmann::ordered_json;

struct SimRun {
    e2e::ProcessResult process;
    Json out;
};

// A game folder with data\skse\plugins, and the inputs beside it.
class HostsimRun {
public:
    HostsimRun() { std::filesystem::create_directories(dir_.Path() + "/game/data/skse/plugins"); }
    std::string Game() const { return dir_.Path() + "/game"; }
    std::string Write(const std::string& name, const std::string& text) const { return dir_.Write(name, text); }

    SimRun Start(std::vector<std::string> args) const {
        std::vector<std::string> argv = {VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--game-folder", Game()};
        argv.insert(argv.end(), args.begin(), args.end());
        SimRun r;
        r.process = e2e::RunProcess(argv);
        if (r.process.exitCode == 0) r.out = Json::parse(r.process.out, nullptr, false);
        return r;
    }

private:
    e2e::TempDir dir_;
};

const char* kWorld = R"({
  "comment": "small world for the host simulator's tests",
  "player": {
    "race": {"editorId": "NordRace", "name": "Nord"},
    "npc": {
      "sex": "female",
      "headParts": [
        {"type": 1, "name": "FemaleHeadNord", "morph": "actors\\character\\character assets\\femalehead.tri"},
        null,
        {"type": 3, "name": "HairFemaleNord06"}
      ],
      "faceMorph": {"options": [0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0.25], "presets": [2, 1, 3, -1]},
      "hairColor": [91, 62, 39],
      "skinColor": [224, 196, 178]
    },
    "tints": [
      {"type": 6, "texture": "SkinTone.dds", "color": [224, 196, 178], "alpha": 1.0},
      {"type": 7, "texture": null, "color": [1, 2, 3], "alpha": 0.5}
    ],
    "skeleton": {
      "root": {
        "name": "NPC Root [Root]",
        "translate": [100, 0, 10],
        "rotate": [0, -1, 0, 1, 0, 0, 0, 0, 1],
        "scale": 2,
        "children": [null, {"name": "NPC Head [Head]", "translate": [1, 0, 5]}]
      },
      "loaded3D": false
    }
  },
  "camera": {"fov": 65, "baseFov": 75, "root": {"name": "CameraRoot", "children": [null, {"name": "WorldRoot Camera"}]}},
  "loadedMorphData": [
    {"path": "meshes\\femalehead.tri", "morphs": [{"name": "NoseType33", "vertexCounts": [10, 12], "scale": 0.5}]}
  ]
})";

const char* kCalls = R"([
  {"function": "ValidCheck"},
  {"function": "Log", "args": ["100% %s"]},
  {"function": "Log", "args": [[{"z": 1, "a": [true, null, "x", {"$number": "-Infinity"}]}, 2.5]]},
  {"function": "NoSuchFunction", "args": [1]},
  {"function": "GetTintsList"}
])";

TEST(E2EHostsim, RunsCallsAndDumpsTheWorld) {
    HostsimRun h;
    SimRun r = h.Start({"--world", h.Write("w.json", kWorld), "--calls", h.Write("c.json", kCalls), "--dump-world"});
    ASSERT_EQ(r.process.exitCode, 0) << r.process.err;
    ASSERT_FALSE(r.out.is_discarded()) << r.process.out;

    const Json& hs = r.out["handshake"];
    EXPECT_EQ(hs["query"]["result"], true);
    EXPECT_EQ(hs["query"]["info"]["version"], 46);
    EXPECT_EQ(hs["query"]["log"], Json::array({"skse_Quorvix_plugin"}));
    EXPECT_EQ(hs["load"]["registered"], Json::array({"Quorvix"}));
    EXPECT_EQ(hs["load"]["log"], Json::array({"load"}));
    const Json& reg = hs["movies"][0]["registrations"][0];
    EXPECT_EQ(reg["members"].size(), 26u);
    EXPECT_EQ(reg["members"][0], "SetMergedMorphs");
    EXPECT_EQ(reg["heapAllocationsAdded"], 26);

    const Json& calls = r.out["calls"];
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0]["return"], 46);
    EXPECT_EQ(calls[1]["log"], Json::array({"100% %s"}));
    // The Array argument comes back as the plug-in left it, member order kept.
    EXPECT_EQ(calls[2]["arrays"], Json::parse(R"([{"argument": 0, "contents":
        [{"z": 1, "a": [true, null, "x", {"$number": "-Infinity"}]}, 2.5]}])"));
    EXPECT_EQ(calls[2]["arrays"][0]["contents"][0].begin().key(), "z");
    EXPECT_EQ(calls[2]["log"], Json::array());
    EXPECT_EQ(calls[3]["installed"], false);
    EXPECT_FALSE(calls[3].contains("return"));
    EXPECT_EQ(calls[4]["log"],
              Json::array({"    ERROR: system: invalid arguments. Quorvix.GetTintsList(result:Array)."}));

    const Json& w = r.out["world"];
    const Json& player = w["player"];
    EXPECT_EQ(player["race"], Json::parse(R"({"editorId": "NordRace", "name": "Nord"})"));
    EXPECT_EQ(player["npc"]["sex"], 1);
    EXPECT_EQ(player["npc"]["headParts"][1], nullptr);
    EXPECT_EQ(player["npc"]["headParts"][2]["morph"], nullptr);
    EXPECT_EQ(player["npc"]["headParts"][0]["morph"], "actors\\character\\character assets\\femalehead.tri");
    EXPECT_EQ(player["npc"]["faceMorph"]["options"][0], 0.5);
    EXPECT_EQ(player["npc"]["faceMorph"]["options"][18], -0.25);
    EXPECT_EQ(player["npc"]["faceMorph"]["presets"], Json::array({2, 1, 3, -1}));
    EXPECT_EQ(player["npc"]["hairColor"], Json::array({91, 62, 39}));
    EXPECT_EQ(player["npc"]["skinColor"], Json::array({224, 196, 178}));
    EXPECT_EQ(player["tints"][1], Json::parse(R"({"type": 7, "texture": null, "color": [1, 2, 3], "alpha": 0.5})"));
    EXPECT_EQ(player["secondTints"], nullptr);
    EXPECT_EQ(player["root3D"], "NPC Root [Root]");
    EXPECT_EQ(player["loaded3D"], nullptr);

    // The head's world position: the root's rotation (90 degrees about z) and scale 2 applied
    // to (1, 0, 5), then the root's translation.
    const Json& root = w["nodes"][0];
    EXPECT_EQ(root["name"], "NPC Root [Root]");
    EXPECT_EQ(root["children"][0], nullptr);
    EXPECT_EQ(root["children"][1]["world"]["translate"], Json::array({100, 2, 20}));
    EXPECT_EQ(root["children"][1]["world"]["scale"], 2);

    EXPECT_EQ(w["camera"], Json::parse(R"({"fov": 65, "firstPersonFov": 65, "baseFov": 75, "root": "CameraRoot"})"));
    EXPECT_EQ(w["nodes"][1]["children"][1]["name"], "WorldRoot Camera");
    EXPECT_EQ(w["loadedMorphData"][0]["morphs"][0],
              Json::parse(R"({"name": "NoseType33", "scale": 0.5, "vertexCounts": [10, 12], "nonZeroDeltas": 0})"));
    EXPECT_EQ(w["callSite"]["target"], "plug-in");
    EXPECT_EQ(w["callSite"]["bytes"].get<std::string>().substr(0, 2), "E8");
    EXPECT_EQ(w["modelUpdates"], 0);

    std::vector<std::string> log = e2e::SplitLines(e2e::ReadFile(h.Game() + "/data/skse/plugins/Vultrane.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "skse_Quorvix_plugin");
    EXPECT_EQ(log.back(), "    ERROR: system: invalid arguments. Quorvix.GetTintsList(result:Array).");
}

TEST(E2EHostsim, HandshakeOptions) {
    struct Case {
        std::vector<std::string> options;
        std::string reason;  // empty: Query agrees
    };
    const Case cases[] = {
        {{"--editor"}, "loaded in editor, marking as incompatible"},
        {{"--runtime", "09200001"}, "unsupported runtime version 09200001"},
        {{"--runtime", "0x1090000"}, "unsupported runtime version 01090000"},
        {{"--no-scaleform"}, "couldn't get scaleform interface"},
        {{"--scaleform-version", "0"}, "scaleform interface too old (0 expected 1)"},
        {{"--scaleform-version", "2"}, ""},
    };
    HostsimRun h;
    std::string calls = h.Write("c.json", R"([{"function": "ValidCheck"}])");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0] + (c.options.size() > 1 ? " " + c.options[1] : ""));
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--calls", calls});
        SimRun r = h.Start(args);
        ASSERT_EQ(r.process.exitCode, 0) << r.process.err;
        const Json& q = r.out["handshake"]["query"];
        if (c.reason.empty()) {
            EXPECT_EQ(q["result"], true);
            EXPECT_EQ(r.out["calls"][0]["return"], 46);
            continue;
        }
        EXPECT_EQ(q["result"], false);
        EXPECT_EQ(q["log"], Json::array({"skse_Quorvix_plugin", c.reason}));
        EXPECT_EQ(r.out["handshake"]["load"], nullptr) << "a declined plug-in is never loaded";
        EXPECT_EQ(r.out["calls"][0]["installed"], false);
    }
}

TEST(E2EHostsim, SeveralMoviesShareOneSetOfHandlers) {
    HostsimRun h;
    SimRun r = h.Start({"--movies", "3", "--calls", h.Write("c.json", R"([{"function": "ValidCheck"}])")});
    ASSERT_EQ(r.process.exitCode, 0) << r.process.err;
    const Json& movies = r.out["handshake"]["movies"];
    ASSERT_EQ(movies.size(), 3u);
    std::vector<int> added;
    for (const Json& m : movies) {
        const Json& reg = m["registrations"][0];
        EXPECT_EQ(reg["members"].size(), 26u);
        EXPECT_EQ(reg["sameHandlersAsFirstMovie"], true);
        added.push_back(reg["heapAllocationsAdded"].get<int>());
    }
    EXPECT_EQ(added, (std::vector<int>{26, 0, 0}));
    EXPECT_EQ(r.out["calls"][0]["return"], 46);
}

TEST(E2EHostsim, BadWorldFilesAreRefusedWithTheirJsonPath) {
    struct Case {
        const char* world;
        const char* message;
    };
    const Case cases[] = {
        {R"({"player": )", "world: invalid JSON: "},
        {R"([])", "world: expected an object, found an array"},
        {R"({"player": {"npc": {"headParts": [{"type": 1}, {"type": 2}, {"type": "hair"}]}}})",
         "world.player.npc.headParts[2].type: expected an integer from 0 to 4294967295, found a string"},
        {R"({"player": {"npcc": {}}})", "world.player.npcc: unknown key"},
        {R"({"player": {"race": {"name": "Nord"}}})", "world.player.race: missing required key \"editorId\""},
        {R"({"player": {"npc": {"sex": 200}}})", "world.player.npc.sex: expected"},
        {R"({"player": {"npc": {"sex": "unknown"}}})", "world.player.npc.sex: expected \"male\""},
        {R"({"player": {"npc": {"hairColor": [1, 2, 256]}}})", "world.player.npc.hairColor[2]: expected an integer from 0 to 255"},
        {R"({"player": {"npc": {"skinColor": [1, 2]}}})", "world.player.npc.skinColor: expected an array of 3 elements, found 2"},
        {R"({"player": {"npc": {"faceMorph": {"options": [1]}}}})", "world.player.npc.faceMorph.options: expected an array of 19"},
        {R"({"player": {"tints": [{"type": 6, "alpha": "opaque"}]}})", "world.player.tints[0].alpha: expected a number"},
        {R"({"player": {"skeleton": {"root": {"name": "A", "children": [{"name": "B", "rotate": [1]}]}}}})",
         "world.player.skeleton.root.children[0].rotate: expected an array of 9"},
        {R"({"player": {"skeleton": {"root": {"name": "A"}, "root3D": "B"}}})",
         "world.player.skeleton.root3D: no node of this name"},
        {R"({"camera": {"baseFov": 70}})", "world.camera: missing required key \"fov\""},
        {R"({"camera": {"fov": 1e300}})", "world.camera.fov: number out of the range of a 32-bit float"},
        {R"({"loadedMorphData": [{"path": "a.tri", "morphs": [{"name": "NoseType33"}]}]})",
         "world.loadedMorphData[0].morphs[0]: expected exactly one of \"vertexCount\" and \"vertexCounts\""},
        {R"({"loadedMorphData": [{"path": "a.tri", "morphs": [{"name": "N", "vertexCount": 4000000000}]}]})",
         "world.loadedMorphData[0].morphs[0].vertexCount: expected an integer from 0 to 1048576"},
    };
    HostsimRun h;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.world);
        std::string path = h.Write("bad.json", c.world);
        SimRun r = h.Start({"--world", path});
        EXPECT_EQ(r.process.exitCode, 2);
        EXPECT_NE(r.process.err.find(path + ": " + c.message), std::string::npos) << r.process.err;
        EXPECT_TRUE(r.process.out.empty());
    }
    // Refused before the plug-in was loaded: it never wrote its log.
    EXPECT_FALSE(std::filesystem::exists(h.Game() + "/data/skse/plugins/Vultrane.log"));

    SimRun missing = h.Start({"--world", h.Game() + "/none.json"});
    EXPECT_EQ(missing.process.exitCode, 2);
    EXPECT_NE(missing.process.err.find("cannot read"), std::string::npos) << missing.process.err;
}

TEST(E2EHostsim, BadCallListsAndOptionsAreRefused) {
    struct Case {
        const char* calls;
        const char* message;
    };
    const Case cases[] = {
        {R"({"function": "ValidCheck"})", "calls: expected an array, found an object"},
        {R"([{"function": "ValidCheck"}, {"args": []}])", "calls[1]: missing required key \"function\""},
        {R"([{"function": 12}])", "calls[0].function: expected a string"},
        {R"([{"function": "Log", "args": "x"}])", "calls[0].args: expected an array"},
        {R"([{"function": "Log", "args": [{"$number": "nan"}]}])", "calls[0].args[0].$number: expected a number, \"NaN\""},
        {R"([{"function": "Log", "args": [[1, {"a": {"$nul": true}}]]}])", "calls[0].args[0][1].a: unknown tag \"$nul\""},
        {R"([{"function": "Log", "arg": []}])", "calls[0].arg: unknown key"},
        {R"([{"function": "Log",)", "calls: invalid JSON"},
    };
    HostsimRun h;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        std::string path = h.Write("bad.json", c.calls);
        SimRun r = h.Start({"--calls", path});
        EXPECT_EQ(r.process.exitCode, 2);
        EXPECT_NE(r.process.err.find(path + ": " + c.message), std::string::npos) << r.process.err;
    }

    for (std::vector<std::string> options : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--runtime", "xyz"}, {"--runtime", "-1"}, {"--movies", "65"}, {"--world"},
             {"--scaleform-version", "4294967296"}}) {
        SCOPED_TRACE(options[0]);
        EXPECT_EQ(h.Start(options).process.exitCode, 2);
    }
    e2e::ProcessResult noPlugin =
        e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", h.Game() + "/missing.so", "--game-folder", h.Game()});
    EXPECT_EQ(noPlugin.exitCode, 1) << noPlugin.err;
    SimRun noFolder = h.Start({"--game-folder", h.Game() + "/missing"});
    EXPECT_EQ(noFolder.process.exitCode, 2);
}

// The world file names its game folder relative to itself; the demo's example data runs.
TEST(E2EHostsim, ExampleWorldRunsFromAnyFolder) {
    e2e::TempDir out;
    std::string output = out.Path() + "/result.json";
    e2e::ProcessResult r = e2e::RunProcess({VTR_HOSTSIM_PATH, "--plugin", VTR_PLUGIN_PATH, "--world",
                                            std::string(VTR_SOURCE_DIR) + "/examples/worlds/nord.json", "--calls",
                                            std::string(VTR_SOURCE_DIR) + "/examples/calls/demo.json", "--dump-world",
                                            "--documents", out.Path() + "/docs", "--output", output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << "--output takes the JSON off standard output";
    Json j = Json::parse(e2e::ReadFile(output), nullptr, false);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(std::filesystem::path(j["gameFolder"].get<std::string>()),
              std::filesystem::path(VTR_SOURCE_DIR "/examples/game").lexically_normal());
    EXPECT_EQ(j["calls"][0]["return"], 46);
    EXPECT_EQ(j["world"]["player"]["race"]["editorId"], "NordRace");
    EXPECT_EQ(j["world"]["player"]["npc"]["sex"], 1);
}

}  // namespace
