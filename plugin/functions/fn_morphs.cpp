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
#include "sliders/race_match.h"

void Fn_SetMergedMorphs(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphs(raceName:String, info:Array, storeSlot:Number)"))
        return;
    const int32_t storeSlot = call.ArgInt(2);
    if (storeSlot < 0) LogMessage("    ERROR: system: storeSlot must be >= 0.");

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
    if (storeSlot > 0) WriteSlotFile(storeSlot, raceSetting, values, raceName);

    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    EnsureTriCache(raceName, sexCode, raceSetting);
    for (const std::string& target : raceSetting.TargetNames(sexCode))
        WriteMergedTri(raceSetting, target, values, sexCode);
}
