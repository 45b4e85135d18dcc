// GetSlotData: the values of a slot file, the empty slot or a preset, for the menu.
#include "base/log.h"
#include "config/model.h"
#include "persist/slots.h"
#include "plugin/functions.h"
#include "sliders/race_match.h"

void Fn_GetSlotData(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Number, kGFxType_Array},
                    "GetSlotData(raceName:String, slot:Number, result:Array)"))
        return;
    std::string raceName = call.ArgString(0);
    const int slot = call.ArgInt(1);
    GFxValue& result = call.Arg(2);

    const int index = FindPlayerRaceSetting(raceName);
    if (index < 0) {
        LogMessage("    ERROR: system: no race found form scaleform call. (%s)", raceName.c_str());
        return;
    }
    FaceSlot values;
    if (!LoadFaceSlot(Config().raceSettings[static_cast<size_t>(index)], raceName, slot, values)) return;
    for (const auto& [id, value] : values)
        ResultRecord(call.Movie()).Number("uniqueID", id).Number("position", value).AppendTo(result);
}
