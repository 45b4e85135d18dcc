// Morph merging menu functions.
#include <string>

#include "base/log.h"
#include "config/loader.h"
#include "config/model.h"
#include "game/player.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "persist/slots.h"
#include "plugin/functions.h"
#include "plugin/slider_values.h"

void Fn_SetMergedMorphs(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphs(raceName:String, info:Array, storeSlot:Number)"))
        return;
    const int32_t storeSlot = call.ArgInt(2);
    if (storeSlot < 0) LogMessage("    ERROR: system: storeSlot must be >= 0.");

    // A menu that merges before it listed the sliders still finds its race set.
    if (Config().raceSettings.empty()) LoadConfiguration(kConfigDirectory);
    std::string raceName;
    const RaceSetting* found = FindMenuRaceSetting(call.ArgString(0), raceName);
    if (!found) return;
    const RaceSetting& raceSetting = *found;
    const SliderValueList values = ReadSliderValues(call.Arg(1));
    if (storeSlot > 0) WriteSlotFile(storeSlot, raceSetting, values, raceName);

    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    EnsureTriCache(raceName, sexCode, raceSetting);
    for (const std::string& target : raceSetting.TargetNames(sexCode))
        WriteMergedTri(raceSetting, target, values, sexCode);
}
