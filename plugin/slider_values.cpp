#include "plugin/slider_values.h"

#include "base/log.h"
#include "base/numeric.h"
#include "config/model.h"
#include "plugin/bridge.h"
#include "sliders/race_match.h"

namespace {

// The element's Number, or false for any other type or a missing element.
bool NumberElement(const GFxValue& array, uint32_t index, double& out) {
    LocalValue element;
    if (!Value_GetElement(array, index, &element.value)) return false;
    if (Value_Type(element.value) != kGFxType_Number) return false;
    out = Value_GetNumber(element.value);
    return true;
}

}  // namespace

SliderValueList ReadSliderValues(const GFxValue& info) {
    SliderValueList values;
    const uint32_t size = Value_GetArraySize(info);
    values.reserve(size / 2);
    for (uint32_t i = 0; i < size; i += 2) {
        double id = 0.0;
        double value = 0.0;
        if (!NumberElement(info, i, id) || i + 1 >= size || !NumberElement(info, i + 1, value)) {
            LogMessage("    ERROR:system: invalid slider array. skip.");
            continue;
        }
        values.emplace_back(TruncToInt32(id), value);
    }
    return values;
}

const RaceSetting* FindMenuRaceSetting(const char* raceArg, std::string& raceName) {
    raceName = raceArg ? raceArg : "";
    const int setIndex = FindPlayerRaceSetting(raceName);
    if (setIndex < 0) {
        LogMessage("    ERROR: system: no race found from scaleform call. (%s)", LogEscape(raceName).c_str());
        return nullptr;
    }
    return &Config().raceSettings[static_cast<size_t>(setIndex)];
}
