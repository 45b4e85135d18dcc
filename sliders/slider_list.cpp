#include "sliders/slider_list.h"

#include <array>
#include <cmath>

#include "base/log.h"
#include "base/numeric.h"

#include "game/player.h"
#include "sliders/apply.h"
#include "sliders/race_match.h"

namespace {

constexpr int32_t kMenuIndexBrows = 19;
constexpr int32_t kMenuIndexFacialHair = 99;
constexpr int32_t kFirstShiftedMenuIndex = 10;

struct Companion {
    const char* text;
    int32_t uniqueID;
    double min;
    double max;
};

const std::array<Companion, 8> kVertexCompanions = {{
    {"$VTR_VertexArea", 806, 0, 31},
    {"$VTR_VertexAreaType", 807, 0, 2},
    {"$VTR_VertexX", 801, -127, 127},
    {"$VTR_VertexY", 802, -127, 127},
    {"$VTR_VertexZ", 803, -127, 127},
    {"$VTR_VertexMirror", 804, 0, 1},
    {"$VTR_StopMotion", 808, 0, 1},
    {"$VTR_VertexReset", 805, 0, 1},
}};

struct ColourPicker {
    const char* text;
    int32_t uniqueID;
    double max;
};

const std::array<ColourPicker, 4> kColourPickers = {{
    {"$VTR_Hue", 980, 360},
    {"$VTR_Saturation", 981, 100},
    {"$VTR_Value", 982, 100},
    {"$VTR_Alpha", 983, 100},
}};
constexpr int32_t kColourPickerFilter = 1 << 24;
constexpr int32_t kColourPickerType = 16;

bool FitsFloat(double x) { return std::isfinite(NarrowToFloat(x)); }

bool IsNodeSlider(const SliderDef& s) { return s.type == kSliderNodeScale || s.type == kSliderNodeMove; }

bool ScalesWithSettings(int32_t type) {
    return type == kSliderMorphPair || type == kSliderNodeScale || type == kSliderNodeMove ||
           type == kSliderPlayerScale;
}

// The game menu position: facial hair, when offered, joins at 10 and pushes the rest up; a
// menu without brows closes the gap after them.
int32_t SliderMenuPosition(int32_t menuIndex, bool hasFacialHair, bool hasBrows) {
    int32_t position = menuIndex;
    if (hasFacialHair && menuIndex >= kFirstShiftedMenuIndex)
        position = menuIndex == kMenuIndexFacialHair ? kFirstShiftedMenuIndex : menuIndex + 1;
    if (!hasBrows && menuIndex > kMenuIndexBrows && menuIndex != kMenuIndexFacialHair) position -= 1;
    return position;
}

SliderListEntry BaseEntry(const SliderDef& s) {
    SliderListEntry e;
    e.text = s.name;
    e.filterFlag = static_cast<int32_t>(s.categoryMask);
    e.uniqueID = s.uniqueID;
    e.type = s.type;
    e.categoryName = s.categoryName;
    e.sliderID = s.menuIndex;
    return e;
}

void AddVertexEditEntries(const SliderDef& s, const VertexEditSexBlock& block, std::vector<SliderListEntry>& out) {
    SliderListEntry main = BaseEntry(s);
    // Without vertices the range collapses to 0 rather than wrapping around below it.
    main.sliderMax = block.mainRecords.empty() ? 0.0 : static_cast<double>(block.mainRecords.size() - 1);
    main.sliderMin = 0;
    main.interval = 1;
    main.vertexBlock = &block;
    out.push_back(main);
    for (const Companion& c : kVertexCompanions) {
        SliderListEntry e = BaseEntry(s);
        e.text = c.text;
        e.uniqueID = c.uniqueID;
        e.sliderMin = c.min;
        e.sliderMax = c.max;
        e.interval = 1;
        out.push_back(e);
    }
}

}  // namespace

bool BuildSliderList(PlayerCharacter* player, const std::string& raceName, bool hasFacialHair, bool hasBrows,
                     SliderListResult& out) {
    out = SliderListResult{};
    if (!player) return false;
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return false;
    const int sexCode = NpcForm_GetSex(npc) + 1;

    out.raceName = raceName;
    bool morphsUnsupported = false;
    const int setIndex = FindRaceSetting(player, out.raceName, &out.message, morphsUnsupported);
    if (setIndex < 0) return false;
    const Configuration& config = Config();
    const RaceSetting& set = config.raceSettings[static_cast<size_t>(setIndex)];
    // A step of 0 cannot divide; the loader never stores one, but the state is shared.
    const double step = config.sliderStep != 0 ? config.sliderStep : 1;

    for (const SliderDef& s : set.sliders) {
        if (IsNodeSlider(s) && !IsDummyNodeName(s.target) && !FindPlayerNode(player, s.target.c_str())) continue;
        if (!hasFacialHair && s.menuIndex == kMenuIndexFacialHair) continue;
        if (!hasBrows && s.menuIndex == kMenuIndexBrows) continue;
        if ((s.sexMask & sexCode) == 0) continue;

        if (s.type == kSliderVertexEdit) {
            if (set.vertexEdit) AddVertexEditEntries(s, set.vertexEdit->Block(sexCode), out.entries);
            continue;
        }
        SliderListEntry e = BaseEntry(s);
        e.sliderMin = s.minValue;
        e.sliderMax = s.maxValue;
        e.interval = s.interval;
        if (ScalesWithSettings(s.type)) {
            e.sliderMin *= config.sliderScale;
            e.sliderMax *= config.sliderScale;
            e.interval /= step;
        }
        e.sliderID = SliderMenuPosition(s.menuIndex, hasFacialHair, hasBrows);
        // The menu keeps a slider's range in 32-bit floats: an endless range is no slider.
        if (!FitsFloat(e.sliderMin) || !FitsFloat(e.sliderMax) || !FitsFloat(e.interval)) {
            LogMessage("    WARNING: slider '%s' (uniqueID %d) has a range that is not a finite number (%g to %g, "
                       "step %g); it is left out of the list.",
                       LogEscape(s.name).c_str(), s.uniqueID, e.sliderMin, e.sliderMax, e.interval);
            continue;
        }
        out.entries.push_back(e);
    }

    for (const ColourPicker& p : kColourPickers) {
        SliderListEntry e;
        e.text = p.text;
        e.filterFlag = kColourPickerFilter;
        e.uniqueID = p.uniqueID;
        e.type = kColourPickerType;
        e.sliderMax = p.max;
        e.sliderMin = 0;
        e.interval = 1;
        e.categoryName.assign(1, ' ');  // not = " ": GCC 12 reports a false -Wrestrict there
        e.hasSliderID = false;
        out.entries.push_back(e);
    }
    out.isLimitedMode = morphsUnsupported;
    return true;
}
