#include "sliders/race_match.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "config/model.h"
#include "config/text.h"
#include "game/player.h"

namespace {

// Target paths carry the data-folder prefix that the game's head-part paths lack.
constexpr size_t kTargetPrefixChars = 12;

std::string GameText(const char* text) { return text ? std::string(text) : std::string(); }

// The morph target list for a sex value as the game reports it: 0 male, anything else female.
const std::vector<std::string>& TargetsForSex(const RaceSetting& set, int8_t sex) {
    return sex == 0 ? set.maleFileSetNames : set.fileSetNames;
}

bool HasReservedName(const RaceSetting& set, const char* reserved) {
    for (const std::string& name : set.raceNames)
        if (ToLower(name) == reserved) return true;
    return false;
}

// Bits 1 << type for head parts of types 0 to 2 whose chargen morph is one of the targets.
uint32_t DefaultMorphMask(TESNPC* npc, const std::vector<std::string>& targets) {
    uint32_t mask = 0;
    if (!npc->headparts) return mask;  // a count without an array: nothing to look at
    for (uint32_t i = 0; i < npc->numHeadParts; ++i) {
        const BGSHeadPart* part = npc->headparts[i];
        if (!part || part->type > 2 || !part->chargenMorph.name.data) continue;
        const std::string morphPath = ToLower(part->chargenMorph.name.data);
        for (const std::string& target : targets) {
            if (target.size() <= kTargetPrefixChars) continue;
            if (morphPath == ToLower(std::string_view(target).substr(kTargetPrefixChars)))
                mask |= 1u << part->type;
        }
    }
    return mask;
}

}  // namespace

int FindRaceSetting(PlayerCharacter* player, std::string& raceName, std::string* message, bool& morphsUnsupported) {
    if (!player) return -1;
    std::string editorId;
    if (TESRace* race = Player_Race(player)) {
        editorId = GameText(race->editorId.data);
        raceName = GameText(race->fullName.name.data);
    }
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return -1;
    const int8_t sex = NpcForm_GetSex(npc);
    if (sex < 0) return -1;

    const std::vector<RaceSetting>& sets = Config().raceSettings;
    for (size_t s = 0; s < sets.size(); ++s) {
        const RaceSetting& set = sets[s];
        const bool hasTargets = !TargetsForSex(set, sex).empty();
        // No race, or a race without an editor id, is never named by one: an empty item of
        // an "edid" list (a doubled comma) would otherwise claim it.
        for (const std::string& id : set.raceEditorIds)
            if (!editorId.empty() && id == editorId && hasTargets) return static_cast<int>(s);
        for (const std::string& name : set.raceNames)
            if (name == raceName && hasTargets) return static_cast<int>(s);
    }

    int defaultSet = -1;
    for (size_t s = 0; s < sets.size(); ++s)
        if (HasReservedName(sets[s], "vtr_defaultrace")) defaultSet = static_cast<int>(s);
    if (defaultSet >= 0 && DefaultMorphMask(npc, TargetsForSex(sets[defaultSet], sex)) == 7) {
        if (message)
            *message = " - (warning) raceName is not in .ini, but this race use common chargen.tri. use default settings.";
        return defaultSet;
    }

    for (size_t s = 0; s < sets.size(); ++s) {
        if (HasReservedName(sets[s], "vtr_unsupportedrace")) {
            if (message) *message = " - morphs are unsupported. color and scale slider only.";
            morphsUnsupported = true;
            return static_cast<int>(s);
        }
    }
    return -1;
}

int FindPlayerRaceSetting(std::string& raceName) {
    PlayerCharacter* player = PlayerSingleton();
    if (!player) return -1;
    bool morphsUnsupported = false;
    return FindRaceSetting(player, raceName, nullptr, morphsUnsupported);
}
