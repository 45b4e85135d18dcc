// Face data text from the game's scripts: the parser, the length rule of the patched routine
// and the refresh of the player's face.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "config/model.h"
#include "game/engine.h"
#include "game/sim/sim.h"
#include "os/os.h"
#include "plugin/face_refresh.h"
#include "plugin/hook.h"
#include "sliders/apply.h"
#include "tests/support/test_support.h"

namespace {

using Values = SliderValueList;

// ----- Parser ---------------------------------------------------------------------------------

TEST(FaceDataParse, RaceNameThenPairsInTextOrderWithDuplicatesAndTrimming) {
    FaceData d = ParseFaceData("  Nord ,  5 , 0.25,7,-1 , 5,2.5e-1,");
    EXPECT_EQ(d.raceName, "Nord");
    EXPECT_EQ(d.fieldCount, 7u);  // the comma at the very end gives no last item
    EXPECT_EQ(d.values, (Values{{5, 0.25}, {7, -1.0}, {5, 0.25}}));
    EXPECT_EQ(d.droppedValues, 0u);
}

TEST(FaceDataParse, FewFieldsAndEmptyText) {
    EXPECT_EQ(ParseFaceData("").fieldCount, 0u);
    FaceData one = ParseFaceData("Nord only, no comma follows");
    EXPECT_EQ(one.fieldCount, 2u);
    FaceData race = ParseFaceData("NordRaceWithAVeryLongNameIndeed");
    EXPECT_EQ(race.fieldCount, 1u);
    EXPECT_EQ(race.raceName, "NordRaceWithAVeryLongNameIndeed");
    EXPECT_TRUE(race.values.empty());
}

TEST(FaceDataParse, UnpairedLastFieldIsIgnored) {
    FaceData d = ParseFaceData("Nord,5,1.0,6");
    EXPECT_EQ(d.fieldCount, 4u);
    EXPECT_EQ(d.values, (Values{{5, 1.0}}));
    EXPECT_TRUE(ParseFaceData("Nord,6").values.empty());
}

TEST(FaceDataParse, EveryLegacyIdScaledAndItsNeighboursNot) {
    const std::vector<int32_t> legacy = {28, 29, 30, 35, 36, 37, 12, 13, 14, 15, 16, 17, 18, 39, 40, 41, 42, 43};
    for (int32_t id = -2; id <= 50; ++id) {
        FaceData d = ParseFaceData("Nord," + std::to_string(id) + ",1.0");
        ASSERT_EQ(d.values.size(), 1u) << id;
        const bool isLegacy = std::find(legacy.begin(), legacy.end(), id) != legacy.end();
        EXPECT_DOUBLE_EQ(d.values[0].second, isLegacy ? 1.5 : 1.0) << id;
    }
}

TEST(FaceDataParse, VersionTurnsScalingOffForLaterPairsOnly) {
    FaceData d = ParseFaceData("Nord,12,1.0,version,2,12,1.0,28,-0.5,5,1");
    EXPECT_EQ(d.values, (Values{{12, 1.5}, {12, 1.0}, {28, -0.5}, {5, 1.0}}));
    // Its value is no slider value.
    FaceData first = ParseFaceData("Nord,version,12,12,1.0");
    EXPECT_EQ(first.values, (Values{{12, 1.0}}));
}

TEST(FaceDataParse, VersionMustBeExactAndOnlyAsAKey) {
    // Another spelling is an unreadable id (0) and leaves the scaling on.
    EXPECT_EQ(ParseFaceData("Nord,Version,1,12,1.0").values, (Values{{0, 1.0}, {12, 1.5}}));
    EXPECT_EQ(ParseFaceData("Nord,versions,1,12,1.0").values, (Values{{0, 1.0}, {12, 1.5}}));
    // Trimmed by the split, so blanks around it do not matter.
    EXPECT_EQ(ParseFaceData("Nord, version ,1,12,1.0").values, (Values{{12, 1.0}}));
    // As a value it is just an unreadable number.
    EXPECT_EQ(ParseFaceData("Nord,12,version,12,1.0").values, (Values{{12, 0.0}, {12, 1.5}}));
}

TEST(FaceDataParse, NumbersTakeTheirLeadingPrefix) {
    FaceData d = ParseFaceData("Nord,5x,0.5abc,abc,xyz,+7,-.5,-3,1e2");
    EXPECT_EQ(d.values, (Values{{5, 0.5}, {0, 0.0}, {7, -0.5}, {-3, 100.0}}));
}

TEST(FaceDataParse, HugeIdsSaturate) {
    FaceData d = ParseFaceData("Nord,99999999999999999999999999,1,-99999999999999999999999999,2,2147483648,3");
    EXPECT_EQ(d.values, (Values{{std::numeric_limits<int32_t>::max(), 1.0},
                                {std::numeric_limits<int32_t>::min(), 2.0},
                                {std::numeric_limits<int32_t>::max(), 3.0}}));
}

TEST(FaceDataParse, ValuesThatAreNotFiniteAreLeftOutAndCounted) {
    const std::string huge = "1" + std::string(400, '0');
    // 1.5e308 is finite, but no longer after the legacy scaling; the others overflow.
    FaceData d = ParseFaceData("Nord,5,1e400,12,1.5e308,7," + huge + ",8,-" + huge +
                               ",6,1.5e308,version,0,12,1.5e308");
    EXPECT_EQ(d.droppedValues, 4u);
    EXPECT_EQ(d.values, (Values{{6, 1.5e308}, {12, 1.5e308}}));
}

TEST(FaceDataParse, LongTextsNeedNoFixedBuffer) {
    std::string text = "Nord";
    for (int i = 0; i < 20000; ++i) text += ",100," + std::to_string(i % 7) + ".5";
    text += "," + std::string(100000, '9') + ",-0." + std::string(100000, '0') + "25";
    text += ",3,0." + std::string(5000, '0') + "1" + "e5000";
    FaceData d = ParseFaceData(text);
    ASSERT_EQ(d.values.size(), 20002u);
    EXPECT_EQ(d.values[19999], (std::pair<int32_t, double>{100, 0.5}));
    EXPECT_EQ(d.values[20000].first, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(d.values[20000].second, 0.0);
    EXPECT_EQ(d.values[20001].first, 3);
    EXPECT_NEAR(d.values[20001].second, 0.1, 1e-12);
}

// ----- The patched routine ------------------------------------------------------------------

// Patches the simulated call site to the hook entry as the plug-in's load does, and puts the
// former bytes back afterwards.
class PatchedCallSite {
public:
    PatchedCallSite() {
        site_ = HookedCallSite();
        std::memcpy(saved_, site_, 5);
        auto hook = reinterpret_cast<intptr_t>(&VtrHookEntry);
        auto displacement = static_cast<int32_t>(static_cast<uint32_t>(hook - reinterpret_cast<intptr_t>(site_) - 5));
        uint32_t old = os::ProtectReadWriteExecute(site_, 5);
        site_[0] = 0xE8;
        std::memcpy(site_ + 1, &displacement, 4);
        os::RestoreProtection(site_, 5, old);
    }
    ~PatchedCallSite() {
        uint32_t old = os::ProtectReadWriteExecute(site_, 5);
        std::memcpy(site_, saved_, 5);
        os::RestoreProtection(site_, 5, old);
    }

private:
    uint8_t* site_ = nullptr;
    uint8_t saved_[5] = {};
};

const char* kStart = "info: refresh Player face start.";
const char* kEnd = "info: refresh Player face end.";

class FaceRefreshTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        Config() = Configuration{};
        RaceSetting set;
        set.raceSetName = "NordSet";
        set.raceNames = {"Nord"};
        set.fileSetNames = {};
        set.maleFileSetNames = {};
        Config().raceSettings.push_back(set);
    }
    void TearDown() override {
        Config() = Configuration{};
        sim::ResetWorld();
    }
    // A race set that lists the race needs morph targets for the sex to match.
    void GiveTargets() {
        Config().raceSettings[0].fileSetNames = {"data\\meshes\\out\\femalehead.tri"};
        Config().raceSettings[0].maleFileSetNames = {"data\\meshes\\out\\malehead.tri"};
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
    PatchedCallSite patched;
};

TEST_F(FaceRefreshTest, TwentyNineCharactersGoOnToTheRoutineAndThirtyAreTaken) {
    ASSERT_NE(sim::CallSiteTarget(), nullptr);
    const std::string short29 = "NoRace,12,1.0,13,1.0,14,1.0,1";
    ASSERT_EQ(short29.size(), 29u);
    EXPECT_FALSE(sim::RunHookedRoutine(short29.c_str()));
    EXPECT_EQ(sim::FormerRoutineCalls(), 1);
    EXPECT_TRUE(log.Lines().empty());

    const std::string long30 = short29 + "0";
    EXPECT_TRUE(sim::RunHookedRoutine(long30.c_str()));
    EXPECT_EQ(sim::FormerRoutineCalls(), 1) << "the routine ends at once";
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines()[0], kStart);

    EXPECT_FALSE(sim::RunHookedRoutine(nullptr));
    EXPECT_FALSE(sim::RunHookedRoutine(""));
    EXPECT_EQ(sim::FormerRoutineCalls(), 3);
}

TEST_F(FaceRefreshTest, GateLengthCountsCharactersUpToTheZeroByte) {
    EXPECT_FALSE(RefreshGate(nullptr));
    char buffer[64];
    std::memset(buffer, 'x', sizeof(buffer));
    buffer[29] = '\0';
    EXPECT_FALSE(RefreshGate(buffer));
    EXPECT_TRUE(log.Lines().empty());
    buffer[29] = 'x';
    buffer[30] = '\0';
    EXPECT_TRUE(RefreshGate(buffer));
    // Taken, but one field only: nothing after the start line.
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{kStart}));
    const std::string big(1 << 20, 'y');
    log.Clear();
    EXPECT_TRUE(RefreshGate(big.c_str()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{kStart}));
}

TEST_F(FaceRefreshTest, ShortPairTextGoesOnAndTheLongerOneIsTaken) {
    // A race name and the pair 12 and 1.0 only is shorter than 30 characters.
    const std::string shortText = "Nord,12,1.0";
    EXPECT_FALSE(sim::RunHookedRoutine(shortText.c_str()));
    EXPECT_EQ(sim::FormerRoutineCalls(), 1);
    const std::string longer = shortText + ",50,0.0,51,0.0,52,0.0";
    ASSERT_GE(longer.size(), 30u);
    EXPECT_TRUE(sim::RunHookedRoutine(longer.c_str()));
    EXPECT_EQ(sim::FormerRoutineCalls(), 1);
}

TEST_F(FaceRefreshTest, NoPlayerLogsTheWarningWithTheTextsRaceName) {
    RefreshPlayerFace("Nord,12,1.0,13,1.0,14,1.0,15,1.0");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               kStart, "    WARNING: system: no race found from Papyrus call. (Nord)"}));
    EXPECT_EQ(sim::ModelUpdateCount(), 0);
}

TEST_F(FaceRefreshTest, UnmatchedRaceWarnsWithThePlayersRaceName) {
    TESNPC* npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, sim::AddRace("ElfRace", "Elf"));
    GiveTargets();
    RefreshPlayerFace("Nord,12,1.0,13,1.0,14,1.0,15,1.0");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               kStart, "    WARNING: system: no race found from Papyrus call. (Elf)"}));
}

TEST_F(FaceRefreshTest, ListedRaceWithoutTargetsForTheSexIsNoMatch) {
    TESNPC* npc = sim::AddNpc(0);
    sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    Config().raceSettings[0].fileSetNames = {"data\\meshes\\out\\femalehead.tri"};
    RefreshPlayerFace("Nord,12,1.0,13,1.0,14,1.0,15,1.0");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               kStart, "    WARNING: system: no race found from Papyrus call. (Nord)"}));
}

TEST_F(FaceRefreshTest, FewerThanTwoFieldsLogsOnlyTheStartLine) {
    TESNPC* npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, sim::AddRace("NordRace", "Nord"));
    GiveTargets();
    EXPECT_TRUE(sim::RunHookedRoutine("NordNordNordNordNordNordNordNord"));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{kStart}));
    EXPECT_EQ(sim::ModelUpdateCount(), 0);
}

TEST_F(FaceRefreshTest, OutOfRangeValuesAreReportedOnce) {
    RefreshPlayerFace("Nord,5,1e999,6,-1e999,7,1.0");
    ASSERT_GE(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1], "    WARNING: face data: 2 values out of range ignored.");
}

// ----- The whole refresh ----------------------------------------------------------------------

class FaceRefreshApplyTest : public FaceRefreshTest {
protected:
    void SetUp() override {
        FaceRefreshTest::SetUp();
        SliderDef s;
        s.name = "Head size";
        s.uniqueID = 12;  // a legacy id
        s.type = kSliderNodeScale;
        s.target = kHead;
        s.extraList = {kHead, "x"};
        s.sexMask = 3;
        Config().raceSettings[0].sliders = {s};
        npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("ElfRace", "Elf"));
        root = sim::AddNode(nullptr, "NPC Root");
        head = sim::AddNode(root, kHead);
        sim::Player_SetRoot3D(root);
    }
    // The unsupported set serves a race no set lists, with no morph targets needed.
    void MarkUnsupported() { Config().raceSettings[0].raceNames = {"VTR_UnsupportedRace"}; }
    float HeadScale() const { return head->av.m_localTransform.scale; }

    static constexpr const char* kHead = "NPC Head [Head]";
    TESNPC* npc = nullptr;
    NiNode* root = nullptr;
    NiNode* head = nullptr;
};

TEST_F(FaceRefreshApplyTest, SliderValuesAppliedWithTheLegacyScaleAndOneModelUpdate) {
    MarkUnsupported();
    // 12 is scaled while the legacy rule is on: 0.2 * 1.5 + 1.
    EXPECT_TRUE(sim::RunHookedRoutine("Nord,12,0.2,50,0.0,51,0.0,52,0.0"));
    EXPECT_FLOAT_EQ(HeadScale(), 1.3f);
    EXPECT_EQ(sim::ModelUpdateCount(), 1);
    EXPECT_EQ(sim::FormerRoutineCalls(), 0);
    // The player's race's display name replaces the text's.
    EXPECT_TRUE(log.Contains("match race: Elf"));
    EXPECT_EQ(log.Lines().front(), kStart);
    EXPECT_EQ(log.Lines().back(), kEnd);
    EXPECT_FALSE(log.Contains("    ERROR: failed to refresh Player face."));
}

TEST_F(FaceRefreshApplyTest, AfterVersionTheValueIsTakenAsItStands) {
    MarkUnsupported();
    EXPECT_TRUE(sim::RunHookedRoutine("Nord,version,2,12,0.2,50,0.0,51,0.0"));
    EXPECT_FLOAT_EQ(HeadScale(), 1.2f);
    EXPECT_EQ(sim::ModelUpdateCount(), 1);
}

TEST_F(FaceRefreshApplyTest, TargetsNotLoadedFailTheReplacementButSlidersStillApply) {
    Config().raceSettings[0].raceNames = {"Elf"};
    Config().raceSettings[0].fileSetNames = {"data\\meshes\\out\\femalehead.tri", "data\\meshes\\out\\eyes.tri"};
    EXPECT_TRUE(sim::RunHookedRoutine("Elf,12,0.2,50,0.0,51,0.0,52,0.0,53,0.0"));
    EXPECT_TRUE(log.Contains("match race: Elf"));
    bool failed = false;
    for (const std::string& line : log.Lines())
        failed |= line.find("    ERROR: failed to refresh Player face.") != std::string::npos;
    EXPECT_TRUE(failed);
    EXPECT_FLOAT_EQ(HeadScale(), 1.3f);
    EXPECT_EQ(sim::ModelUpdateCount(), 1);
    EXPECT_EQ(log.Lines().back(), kEnd);
}

TEST_F(FaceRefreshApplyTest, NotAnNpcFindsNoRaceSet) {
    MarkUnsupported();
    sim::CreatePlayer(sim::AddOtherForm(), sim::AddRace("ElfRace", "Elf"));
    RefreshPlayerFace("Nord,12,0.2,50,0.0,51,0.0,52,0.0");
    // The race match itself needs the NPC form, so no set is found.
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               kStart, "    WARNING: system: no race found from Papyrus call. (Elf)"}));
    EXPECT_EQ(sim::ModelUpdateCount(), 0);
    EXPECT_FLOAT_EQ(HeadScale(), 1.0f);
}

TEST_F(FaceRefreshApplyTest, ConfigurationLoadedWhenNoneIsLoaded) {
    Config() = Configuration{};
    folder.WriteFile("data/Meshes/Vultrane/races.ini", "sliderscale=1.0\nsliderstep=1\n\n[Other]\nsliderini=Sets\\Other.ini\nname=VTR_UnsupportedRace\n");
    folder.WriteFile("data/Meshes/Vultrane/Sets/Other.ini", "racesetname=Other\n\n[-head]\nHead size, 12, 202, NPC Head [Head], 1\n");
    EXPECT_TRUE(sim::RunHookedRoutine("Nord,12,0.2,50,0.0,51,0.0,52,0.0"));
    ASSERT_EQ(Config().raceSettings.size(), 1u);
    EXPECT_EQ(Config().raceSettings[0].raceSetName, "Other");
    EXPECT_TRUE(log.Contains("match race: Elf"));
    EXPECT_NE(HeadScale(), 1.0f);
    EXPECT_EQ(sim::ModelUpdateCount(), 1);
}

}  // namespace
