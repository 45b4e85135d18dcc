// GetSlotData: the values of a slot file, the empty slot or a preset, for the menu.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/log.h"
#include "base/numeric.h"
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
        LogMessage("    ERROR: system: no race found form scaleform call. (%s)", LogEscape(raceName).c_str());
        return;
    }
    FaceSlot values;
    if (!LoadFaceSlot(Config().raceSettings[static_cast<size_t>(index)], raceName, slot, values)) return;
    // The menu keeps slider positions in 32-bit floats: a value beyond them is not handed over.
    std::vector<std::pair<int32_t, double>> refused;
    for (const auto& [id, value] : values) {
        if (!std::isfinite(NarrowToFloat(value))) {
            refused.emplace_back(id, value);
            continue;
        }
        ResultRecord(call.Movie()).Number("uniqueID", id).Number("position", value).AppendTo(result);
    }
    if (!refused.empty()) {
        std::sort(refused.begin(), refused.end(),
                  [](const auto& a, const auto& b) { return std::fabs(a.second) > std::fabs(b.second); });
        std::string named;
        for (size_t i = 0; i < refused.size() && i < 3; ++i) {
            char item[64];
            std::snprintf(item, sizeof(item), "%s%d=%g", i ? ", " : "", refused[i].first, refused[i].second);
            named += item;
        }
        LogMessage("    WARNING: slot data: %lu values beyond the range of the menu's sliders left out (largest: %s).",
                   static_cast<unsigned long>(refused.size()), named.c_str());
    }
}
