#include "menu/names.h"

#include <cstdio>

#include "config/text.h"
#include "game/player.h"
#include "os/os.h"
#include "base/log.h"

const char* const kNameListPath = "data\\Meshes\\Vultrane\\nameList.txt";

namespace {

FaceMorphs* PlayerFaceMorphs() {
    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    return npc ? npc->faceMorph : nullptr;
}

constexpr int32_t kPresetCount = sizeof(FaceMorphs::presets) / sizeof(FaceMorphs::presets[0]);

}  // namespace

std::optional<std::string> NthName(int32_t n) {
    FILE* file = os::OpenRead(kNameListPath);
    if (!file) {
        LogMessage("    ERROR: %s not exist", kNameListPath);
        return std::nullopt;
    }
    std::optional<std::string> found;
    if (n >= 0) {
        std::string line;
        int32_t count = 0;
        bool atEnd = false;
        while (!atEnd) {
            line.clear();
            int c;
            while ((c = std::getc(file)) != EOF) {
                line.push_back(static_cast<char>(c));
                if (c == '\n') break;
            }
            atEnd = c == EOF;
            if (atEnd && line.empty()) break;  // no line after the last line break
            if (count == n) {
                found = Trim(line);
                break;
            }
            ++count;
        }
    }
    std::fclose(file);
    return found;
}

std::string PlayerRaceName() {
    PlayerCharacter* player = PlayerSingleton();
    TESRace* race = player ? Player_Race(player) : nullptr;
    if (!race || !race->fullName.name.data) return {};
    return race->fullName.name.data;
}

std::optional<std::string> PlayerHairName() {
    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    if (!npc || !npc->headparts) return std::nullopt;
    for (uint8_t i = 0; i < npc->numHeadParts; ++i) {
        const BGSHeadPart* part = npc->headparts[i];
        if (part && part->type == kHeadPart_Hair) {
            const char* name = part->partName.data;
            return std::string(name ? name : "");
        }
    }
    return std::nullopt;
}

void ResetAllMorphs() {
    FaceMorphs* morphs = PlayerFaceMorphs();
    if (!morphs) return;
    for (float& v : morphs->option) v = 0.0f;
}

void UpdatePlayerModel() {
    if (PlayerCharacter* player = PlayerSingleton()) QueueModelUpdate(player, false);
}

int32_t GetPlayerPreset(int32_t index) {
    FaceMorphs* morphs = PlayerFaceMorphs();
    if (!morphs || index < 0 || index >= kPresetCount) return 0;
    return morphs->presets[index];
}

void SetPlayerPreset(int32_t index, int32_t value) {
    FaceMorphs* morphs = PlayerFaceMorphs();
    if (!morphs || index < 0 || index >= kPresetCount) return;
    morphs->presets[index] = value;
}
