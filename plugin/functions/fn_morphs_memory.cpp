// SetMergedMorphsMemory: the merged morphs written into the morph data the game has loaded.
#include <string>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "game/player.h"
#include "morph/memory.h"
#include "plugin/functions.h"
#include "plugin/slider_values.h"

void Fn_SetMergedMorphsMemory(const MenuCall& call) {
    call.ReturnBool(false);
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphsMemory(raceName:String, info:Array, storeSlot:Number)"))
        return;
    // No slot file is written here; the number is only checked.
    if (call.ArgInt(2) < 0) LogMessage("    ERROR: system: storeSlot must be >= 0.");

    // A menu that merges before it listed the sliders still finds its race set.
    if (Config().raceSettings.empty()) LoadConfiguration(kConfigDirectory);
    std::string raceName;
    const RaceSetting* found = FindMenuRaceSetting(call.ArgString(0), raceName);
    if (!found) return;
    const RaceSetting& raceSetting = *found;
    const SliderValueList values = ReadSliderValues(call.Arg(1));

    PlayerCharacter* player = PlayerSingleton();
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    call.ReturnBool(RefreshFaceInMemory(player, raceSetting, raceName, values, sexCode));
}
