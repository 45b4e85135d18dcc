// Face data passed by the game's scripts through the patched routine into the loaded plug-in,
// on the example game folder: the race set found, the loaded head rewritten, the sliders
// applied and one model update queued. Runs in a child process so that the configuration the
// plug-in loads and the world built here stay out of the other tests.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "game/sim/sim_morphdata.h"
#include "tests/e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;

const char* kAssets = "meshes\\actors\\character\\character assets\\";

uint32_t VertexCount(const std::string& triFile) {
    const std::string b = e2e::ReadFile(triFile);
    if (b.size() < 12) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[8 + static_cast<size_t>(i)]);
    return v;
}

bool Has(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// Everything that went wrong, one line each; empty when all held.
std::string RefreshOnExampleGame() {
    std::string failures;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) failures += what + "\n";
    };
    e2e::TempDir dir;
    const std::string game = e2e::CopyExampleGame(dir);
    fs::current_path(game);

    sim::ResetWorld();
    TESNPC* npc = sim::AddNpc(1);
    sim::Npc_AddHeadPart(npc, sim::AddHeadPart(1, "FemaleHeadNord", std::string(kAssets).substr(7) + "femaleheadchargen.tri"));
    sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    NiNode* root = sim::AddNode(nullptr, "NPC Root");
    NiNode* neck = sim::AddNode(root, "NPC Neck [Neck]");
    NiNode* head = sim::AddNode(neck, "NPC Head [Head]");
    sim::Player_SetRoot3D(root);

    const std::string sets = game + "/data/Meshes/Vultrane/Sets/";
    const uint32_t headVertices = VertexCount(sets + "NordFemaleHead.tri");
    const uint32_t eyeVertices = VertexCount(sets + "NordFemaleEyes.tri");
    expect(headVertices > 0 && eyeVertices > 0, "the example morph files are not generated");
    sim::LoadedMorphData* headData = sim::AddLoadedMorphData(std::string(kAssets) + "femaleheadchargen.tri");
    sim::MorphData_AddMorph(headData, "NoseType33", headVertices, headVertices);
    sim::LoadedMorphData* eyeData = sim::AddLoadedMorphData(std::string(kAssets) + "eyesfemalechargen.tri");
    sim::MorphData_AddMorph(eyeData, "NoseType33", eyeVertices, eyeVertices);

    const int updates = sim::ModelUpdateCount();
    const int former = sim::FormerRoutineCalls();
    // Nose height (a legacy slider, so 0.75) and head size.
    const std::string text = "Nord,28,0.5,2000,1.0,35,0.0,39,0.0";
    bool taken = false;
    const std::vector<std::string> log = e2e::CaptureStdout([&] { taken = sim::RunHookedRoutine(text.c_str()); });

    expect(taken, "the routine did not end at once");
    expect(sim::FormerRoutineCalls() == former, "the former routine ran");
    expect(sim::ModelUpdateCount() == updates + 1, "not one model update");
    expect(!log.empty() && log.front() == "info: refresh Player face start.", "no start line first");
    expect(!log.empty() && log.back() == "info: refresh Player face end.", "no end line last");
    expect(Has(log, "match race: Nord"), "race not matched");
    expect(!Has(log, "    ERROR: failed to refresh Player face."), "the replacement failed");
    bool moved = false;
    for (uint32_t i = 0; i < headVertices * 3; ++i) moved |= headData->morphs[0].deltas[i] != 0;
    expect(moved, "the loaded head's NoseType33 was not rewritten");
    expect(head->av.m_localTransform.scale != 1.0f, "the head size slider was not applied");
    if (!failures.empty())
        for (const std::string& line : log) failures += "  log: " + line + "\n";
    return failures;
}

TEST(E2EFaceRefresh, FaceDataThroughThePatchedRoutineRebuildsTheFace) {
    e2e::Plugin::Get();
    ASSERT_NE(sim::CallSiteTarget(), nullptr) << "the plug-in did not patch the call site";
    EXPECT_EXIT(
        {
            const std::string failures = RefreshOnExampleGame();
            std::fputs(failures.empty() ? "face refresh ok\n" : failures.c_str(), stderr);
            std::fflush(stderr);
            _exit(failures.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "face refresh ok");
}

}  // namespace
