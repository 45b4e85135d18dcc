#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/model.h"
#include "game/sim/sim.h"
#include "sliders/race_match.h"
#include "tests/support/test_support.h"

namespace {

const char* kDefaultNote = " - (warning) raceName is not in .ini, but this race use common chargen.tri. use default settings.";
const char* kUnsupportedNote = " - morphs are unsupported. color and scale slider only.";

// Target paths carry "data\meshes\" (12 characters) in front of what the head parts hold.
const char* kHeadTarget = "Data\\Meshes\\Actors\\Character\\FemaleHead.tri";
const char* kHeadMorph = "actors\\character\\femalehead.TRI";
const char* kEyesTarget = "data\\meshes\\actors\\character\\eyes.tri";
const char* kEyesMorph = "Actors\\Character\\Eyes.tri";
const char* kMiscTarget = "data\\meshes\\actors\\character\\misc.tri";
const char* kMiscMorph = "actors\\character\\misc.tri";

struct SetSpec {
    std::vector<std::string> names;
    std::vector<std::string> editorIds;
    std::vector<std::string> femaleTargets;
    std::vector<std::string> maleTargets;
};

RaceSetting MakeSet(const SetSpec& spec) {
    RaceSetting s;
    s.raceSetName = "set";
    s.raceNames = spec.names;
    s.raceEditorIds = spec.editorIds;
    s.fileSetNames = spec.femaleTargets;
    for (size_t i = 0; i < spec.femaleTargets.size(); ++i) s.fileSets.push_back({"src.tri"});
    s.maleFileSetNames = spec.maleTargets;
    for (size_t i = 0; i < spec.maleTargets.size(); ++i) s.maleFileSets.push_back({"src.tri"});
    return s;
}

class RaceMatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetWorld();
        Config() = Configuration{};
    }
    void TearDown() override {
        Config() = Configuration{};
        sim::ResetWorld();
    }

    void Sets(const std::vector<SetSpec>& specs) {
        for (const SetSpec& s : specs) Config().raceSettings.push_back(MakeSet(s));
    }

    // A player of the given race and sex; head parts added afterwards go to `npc`.
    PlayerCharacter* Player(const std::string& editorId, const std::string& name, int8_t sex) {
        npc = sim::AddNpc(sex);
        TESRace* race = editorId.empty() && name.empty() ? nullptr : sim::AddRace(editorId, name);
        return sim::CreatePlayer(&npc->form, race);
    }
    void Parts(const std::vector<std::pair<uint32_t, std::string>>& parts) {
        for (auto& p : parts) sim::Npc_AddHeadPart(npc, sim::AddHeadPart(p.first, "part", p.second));
    }

    struct Match {
        int index;
        std::string raceName;
        std::string message;
        bool unsupported;
    };
    Match Find(const std::string& callerName = "caller") {
        Match m{-2, callerName, "<unset>", false};
        m.index = FindRaceSetting(PlayerSingleton(), m.raceName, &m.message, m.unsupported);
        return m;
    }

    TESNPC* npc = nullptr;
};

TEST_F(RaceMatchTest, ListedRacesFirstSetWinsExactlyAndOnlyWithTargetsForTheSex) {
    Sets({
        {{"Other"}, {"OtherRace"}, {"t"}, {"t"}},
        {{}, {"NordRace"}, {}, {"m"}},           // no female targets: passed over for a woman
        {{"Nord"}, {"NordRace"}, {"f"}, {}},     // first set usable for a woman
        {{"Nord"}, {"NordRace"}, {"f"}, {"m"}},  // later duplicates never win
        {{}, {"nordrace"}, {"f"}, {"m"}},
    });
    Player("NordRace", "Nord", 1);
    Match m = Find();
    EXPECT_EQ(m.index, 2);
    EXPECT_EQ(m.raceName, "Nord");
    EXPECT_EQ(m.message, "<unset>");  // a listed race leaves the note alone
    EXPECT_FALSE(m.unsupported);

    // A man: the set with male targets only is the first that serves him.
    sim::Npc_SetSex(npc, 0);
    EXPECT_EQ(Find().index, 1);

    // The editor id comparison is exact; the lower-case entry serves only "nordrace".
    sim::ResetWorld();
    Player("NORDRACE", "Someone", 0);
    EXPECT_EQ(Find().index, -1);
    sim::ResetWorld();
    Player("nordrace", "Someone", 1);
    EXPECT_EQ(Find().index, 4);

    // The display name matches too, and exactly.
    sim::ResetWorld();
    Player("Unknown", "Other", 0);
    EXPECT_EQ(Find().index, 0);
    sim::ResetWorld();
    Player("Unknown", "other", 0);
    EXPECT_EQ(Find().index, -1);
}

TEST_F(RaceMatchTest, RaceListedOnlyWithoutTargetsFallsThroughToTheReservedSets) {
    Sets({
        {{"Nord"}, {"NordRace"}, {}, {"m"}},
        {{"VTR_UnsupportedRace"}, {}, {}, {}},
    });
    Player("NordRace", "Nord", 1);
    Match m = Find();
    EXPECT_EQ(m.index, 1);
    EXPECT_EQ(m.message, kUnsupportedNote);
    EXPECT_TRUE(m.unsupported);
}

TEST_F(RaceMatchTest, DefaultSetNeedsAllThreePartTypesOnItsMorphFiles) {
    Sets({
        {{"vtr_unsupportedrace"}, {}, {"x"}, {"x"}},
        {{"Vtr_DefaultRace"}, {}, {kHeadTarget, kEyesTarget, kMiscTarget}, {kHeadTarget}},
        {{"VTR_UNSUPPORTEDRACE"}, {}, {"x"}, {"x"}},
    });
    Player("Khajiit", "Khajiit", 1);
    Parts({{kHeadPart_Face, kHeadMorph}, {kHeadPart_Eyes, kEyesMorph}, {kHeadPart_Misc, kMiscMorph}});
    Match m = Find();
    EXPECT_EQ(m.index, 1);
    EXPECT_EQ(m.raceName, "Khajiit");
    EXPECT_EQ(m.message, kDefaultNote);
    EXPECT_FALSE(m.unsupported);

    // A man reads the male targets, where only the head is listed: the first unsupported set.
    sim::Npc_SetSex(npc, 0);
    m = Find();
    EXPECT_EQ(m.index, 0);
    EXPECT_EQ(m.message, kUnsupportedNote);
    EXPECT_TRUE(m.unsupported);
}

TEST_F(RaceMatchTest, DefaultMaskCountsOnlyUsablePartsOfTypesZeroToTwo) {
    Sets({
        {{"vtr_defaultrace"}, {}, {kHeadTarget, kEyesTarget, kMiscTarget}, {}},
        {{"vtr_unsupportedrace"}, {}, {}, {}},
    });
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, std::string>> parts;
        int expected;
    };
    const std::vector<Case> cases = {
        {"all three", {{0, kMiscMorph}, {1, kHeadMorph}, {2, kEyesMorph}}, 0},
        {"type 2 on another file", {{0, kMiscMorph}, {1, kHeadMorph}, {2, "actors\\other\\eyes.tri"}}, 1},
        {"type 2 missing", {{0, kMiscMorph}, {1, kHeadMorph}}, 1},
        {"type 2 without morph path", {{0, kMiscMorph}, {1, kHeadMorph}, {2, ""}}, 1},
        {"hair does not stand for eyes", {{0, kMiscMorph}, {1, kHeadMorph}, {3, kEyesMorph}}, 1},
        {"any type may use any target", {{0, kHeadMorph}, {1, kHeadMorph}, {2, kHeadMorph}}, 0},
        {"the whole path counts", {{0, kMiscMorph}, {1, kHeadMorph}, {2, "data\\meshes\\" + std::string(kEyesMorph)}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ResetWorld();
        Player("Khajiit", "Khajiit", 1);
        Parts(c.parts);
        EXPECT_EQ(Find().index, c.expected);
    }

    // Empty slots are passed over.
    sim::ResetWorld();
    Player("Khajiit", "Khajiit", 1);
    sim::Npc_AddHeadPart(npc, nullptr);
    Parts({{0, kMiscMorph}, {1, kHeadMorph}, {2, kEyesMorph}});
    EXPECT_EQ(Find().index, 0);

    // A count without an array is not read.
    npc->headparts = nullptr;
    EXPECT_EQ(Find().index, 1);
}

TEST_F(RaceMatchTest, TargetsOfTwelveCharactersOrFewerNeverMatch) {
    Sets({{{"vtr_defaultrace"}, {}, {"data\\meshes\\", "data\\meshes\\a", "data\\meshes"}, {}}});
    Player("Khajiit", "Khajiit", 1);
    Parts({{0, "a"}, {1, "a"}, {2, "x"}});
    // Give the type-2 part an empty path, which the 12-character target would equal when cut.
    npc->headparts[2]->chargenMorph.name.data = sim::Intern("");
    EXPECT_EQ(Find().index, -1);
    npc->headparts[2]->chargenMorph.name.data = sim::Intern("A");
    EXPECT_EQ(Find().index, 0);
}

TEST_F(RaceMatchTest, TwoDefaultSetsUseTheLaterAndTwoUnsupportedTheEarlier) {
    Sets({
        {{"vtr_unsupportedrace"}, {}, {}, {}},
        {{"vtr_defaultrace"}, {}, {kHeadTarget, kEyesTarget, kMiscTarget}, {}},
        {{"Nord", "VTR_DEFAULTRACE"}, {}, {kHeadTarget, kEyesTarget, kMiscTarget}, {}},
        {{"vtr_unsupportedrace"}, {}, {}, {}},
    });
    Player("Breton", "Breton", 1);
    Parts({{0, kMiscMorph}, {1, kHeadMorph}, {2, kEyesMorph}});
    EXPECT_EQ(Find().index, 2);

    // The later default set alone decides: without its files the earlier one is not tried.
    Config().raceSettings[2].fileSetNames = {kHeadTarget};
    Match m = Find();
    EXPECT_EQ(m.index, 0);
    EXPECT_TRUE(m.unsupported);
}

TEST_F(RaceMatchTest, NoRaceNoGameAndBrokenPlayersGiveMinusOne) {
    Sets({
        {{"caller"}, {"Nord"}, {"f"}, {"m"}},
        {{"vtr_unsupportedrace"}, {}, {}, {}},
    });
    // Without a race the caller's name stands and the editor id is empty.
    Player("", "", 1);
    Match m = Find("caller");
    EXPECT_EQ(m.index, 0);
    EXPECT_EQ(m.raceName, "caller");

    // Null game texts count as empty.
    sim::ResetWorld();
    TESRace* race = sim::AddRace("x", "y");
    race->editorId.data = nullptr;
    race->fullName.name.data = nullptr;
    npc = sim::AddNpc(0);
    sim::CreatePlayer(&npc->form, race);
    m = Find("caller");
    EXPECT_EQ(m.raceName, "");
    EXPECT_EQ(m.index, 1);

    // Negative sex, no base form, a base form that is no NPC, no player.
    sim::Npc_SetSex(npc, -1);
    m = Find();
    EXPECT_EQ(m.index, -1);
    EXPECT_EQ(m.message, "<unset>");
    EXPECT_FALSE(m.unsupported);
    sim::ResetWorld();
    sim::CreatePlayer(nullptr, nullptr);
    EXPECT_EQ(Find().index, -1);
    sim::ResetWorld();
    sim::CreatePlayer(sim::AddOtherForm(), nullptr);
    EXPECT_EQ(Find().index, -1);

    sim::ResetWorld();
    std::string name = "kept";
    bool flag = true;
    EXPECT_EQ(FindRaceSetting(nullptr, name, nullptr, flag), -1);
    EXPECT_EQ(FindPlayerRaceSetting(name), -1);
    EXPECT_EQ(name, "kept");
    EXPECT_TRUE(flag);  // never cleared here

    // With a game, the short form matches like the long one and ignores the note.
    Player("NordRace", "Orc", 1);
    EXPECT_EQ(FindPlayerRaceSetting(name), 1);
    EXPECT_EQ(name, "Orc");
}

TEST_F(RaceMatchTest, AnEmptyEditorIdItemClaimsNoRaceWithoutAnEditorId) {
    // "edid=NordRace,,ImperialRace" leaves an empty item in the list.
    Sets({
        {{"Nord"}, {"NordRace", "", "ImperialRace"}, {"f"}, {"m"}},
        {{"caller"}, {}, {"f"}, {"m"}},
        {{"vtr_unsupportedrace"}, {}, {}, {}},
    });
    // Without a race only the caller's name can match.
    Player("", "", 1);
    EXPECT_EQ(Find("caller").index, 1);
    EXPECT_EQ(Find("someone").index, 2);

    // A race whose editor id is missing is not named by the empty item either.
    sim::ResetWorld();
    TESRace* race = sim::AddRace("x", "Orc");
    race->editorId.data = nullptr;
    npc = sim::AddNpc(1);
    sim::CreatePlayer(&npc->form, race);
    EXPECT_EQ(Find().index, 2);

    // The listed editor ids around it still match.
    sim::ResetWorld();
    Player("ImperialRace", "Imperial", 0);
    EXPECT_EQ(Find().index, 0);
}

}  // namespace
