// SetMergedMorphsMemory: the merged morphs written into the morph data the game has loaded.
#include <string>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "game/player.h"
#include "morph/memory.h"
#include "plugin/functions.h"
#include "plugin/slider_values.h"
#include "sliders/race_match.h"

void Fn_SetMergedMorphsMemory(const MenuCall& call) {
    call.ReturnBool(false);
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphsMemory(raceName:String, info:Array, storeSlot:Number)"))
        return;
    // No slot file is written here; the number is only checked.
    if (call.ArgInt(2) < 0) LogMessage("    ERROR: system: storeSlot must be >= 0.");

    // A menu that merges before it listed the sliders still finds its race set.
    if (Config().raceSettings.empty()) LoadConfiguration(kConfigDirectory);
    const char* raceArg = call.ArgString(0);
    std::string raceName = raceArg ? raceArg : "";
    const int setIndex = FindPlayerRaceSetting(raceName);
    if (setIndex < 0) {
        LogMessage("    ERROR: system: no race found from scaleform call. (%s)", raceName.c_str());
        return;
    }
    const RaceSetting& raceSetting = Config().raceSettings[static_cast<size_t>(setIndex)];
    const SliderValueList values = ReadSliderValues(call.Arg(1));

    PlayerCharacter* player = PlayerSingleton();
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    call.ReturnBool(RefreshFaceInMemory(player, raceSetting, raceName, values, sexCode));
}
