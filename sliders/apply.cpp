#include "sliders/apply.h"

#include <cmath>
#include <cstdio>

#include "config/text.h"
#include "game/player.h"
#include "menu/colours.h"
#include "menu/tints.h"
#include "base/log.h"
#include "base/numeric.h"
#include "sliders/formula.h"

namespace {

// Which tint layer type a colour menu drives (the hair colour entry drives none).
int32_t TintTypeForColourMenu(int32_t uniqueID) {
    int32_t source = kColourSourceHair;
    if (!ColourMenuSource(uniqueID, &source) || source == kColourSourceHair) return -1;
    return source;
}

// As a standard stream writes a double by default.
std::string FormatNumber(double x) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%g", x);
    return buffer;
}

// A value a node can take: finite also after narrowing to the node's 32-bit floats.
bool FitsNode(double x) { return std::isfinite(NarrowToFloat(x)); }

void UpdateNode(NiAVObject* node) {
    ControllerUpdateContext context{};
    Node_UpdateWorldData(node, &context);
}

void CollectNodeScaleSlider(const SliderDef& slider, double v, std::vector<NodeScaleEntry>& scales,
                            std::vector<NodeOffsetEntry>& offsets) {
    const std::vector<std::string>& list = slider.extraList;
    ForEachNodeEntry(list, [&](size_t j, bool move) {
        const std::string& node = list[j];
        const std::string& formula = list[j + 1];
        if (!move) {
            AddNodeScale(scales, node, EvaluateFormula(formula, v + 1.0));
            return;
        }
        // "+" entries move the node: name, formula, then three offsets.
        const std::string name = Trim(std::string_view(node).substr(1));
        if (name.empty() || j + 4 >= list.size()) return;
        const double fx = ReadReal(list[j + 2]);
        const double fy = ReadReal(list[j + 3]);
        const double fz = ReadReal(list[j + 4]);
        const double y = EvaluateFormula(formula, v);
        AddNodeOffset(offsets, name, fx * y, fy * y, fz * y);
    });
}

void CollectPresetScale(const SliderDef& slider, double v, std::vector<NodeScaleEntry>& scales) {
    const int32_t row = TruncToInt32(v + 0.5);
    if (row < 0 || static_cast<size_t>(row) >= slider.extraList.size()) return;
    const std::vector<std::string> pieces = Split(slider.extraList[static_cast<size_t>(row)], ',');
    for (size_t m = 1; m < pieces.size(); m += 2) AddNodeScale(scales, pieces[m - 1], ReadReal(pieces[m]));
}

void ApplyColourMenu(int32_t uniqueID, const SliderValueList& values) {
    // The colour travels in the entry of the negated uniqueID; compared wide so that the
    // lowest 32-bit value has a negation too.
    const int64_t colourId = -static_cast<int64_t>(uniqueID);
    const std::pair<int32_t, double>* colour = nullptr;
    for (const auto& entry : values) {
        if (entry.first == colourId) {
            colour = &entry;
            break;
        }
    }
    if (!colour || !(colour->second > 0.0)) return;
    const int32_t tintType = TintTypeForColourMenu(uniqueID);
    if (tintType < 0) return;
    const uint32_t argb = ColourFromNumber(colour->second);
    if (tintType == static_cast<int32_t>(kTintType_WarPaint))
        SetVisibleTintsColor(argb);
    else
        SetPlayerTintColor(argb, static_cast<uint32_t>(tintType), 0);
}

}  // namespace

std::string& SkeletonText() {
    static auto* text = new std::string();  // lives until the process ends
    return *text;
}

bool IsDummyNodeName(const std::string& name) { return ToLower(name) == "dummy"; }

void AddNodeScale(std::vector<NodeScaleEntry>& scales, const std::string& name, double factor) {
    for (NodeScaleEntry& e : scales) {
        if (e.name == name) {
            e.factor *= factor;
            return;
        }
    }
    scales.push_back({name, factor});
}

void AddNodeOffset(std::vector<NodeOffsetEntry>& offsets, const std::string& name, double x, double y, double z) {
    for (NodeOffsetEntry& e : offsets) {
        if (e.name == name) {
            e.x += x;
            e.y += y;
            e.z += z;
            return;
        }
    }
    offsets.push_back({name, x, y, z});
}

void ApplySliderValues(const RaceSetting& raceSetting, const SliderValueList& values, int sexCode) {
    SkeletonText().clear();
    std::vector<NodeScaleEntry> scales;
    std::vector<NodeOffsetEntry> offsets;

    for (const auto& [id, v] : values) {
        const int index = FindSliderForValue(raceSetting, id, sexCode);
        if (index < 0) continue;
        const SliderDef& slider = raceSetting.sliders[static_cast<size_t>(index)];
        switch (slider.type) {
            case kSliderNodeScale:
                CollectNodeScaleSlider(slider, v, scales, offsets);
                break;
            case kSliderNodeMove:
                AddNodeOffset(offsets, slider.target, slider.offsetX * v, slider.offsetY * v, slider.offsetZ * v);
                break;
            case kSliderPresetScale:
                CollectPresetScale(slider, v, scales);
                break;
            case kSliderColourMenu:
                ApplyColourMenu(id, values);
                break;
            default:
                break;  // morph sliders are merged elsewhere
        }
    }

    PlayerCharacter* player = PlayerSingleton();
    if (!player) return;

    std::string text;
    for (const NodeScaleEntry& e : scales) {
        if (IsDummyNodeName(e.name)) continue;
        // A scale of infinity or NaN would wreck the character; keep the node as it is.
        if (!FitsNode(e.factor)) {
            LogMessage("    ERROR:system: scale of node '%s' is not a finite number. not applied.", LogEscape(e.name).c_str());
            continue;
        }
        if (NiAVObject* node = FindPlayerNode(player, e.name.c_str())) {
            node->m_localTransform.scale = NarrowToFloat(e.factor);
            UpdateNode(node);
        }
        text += "# \"" + e.name + "\" scale:" + FormatNumber(e.factor) + "\n";
    }
    text += "#\n";
    for (const NodeOffsetEntry& e : offsets) {
        if (IsDummyNodeName(e.name)) continue;
        if (!FitsNode(e.x) || !FitsNode(e.y) || !FitsNode(e.z)) {
            LogMessage("    ERROR:system: offset of node '%s' is not a finite number. not applied.", LogEscape(e.name).c_str());
            continue;
        }
        if (NiAVObject* node = FindPlayerNode(player, e.name.c_str())) {
            node->m_localTransform.pos = {NarrowToFloat(e.x), NarrowToFloat(e.y), NarrowToFloat(e.z)};
            UpdateNode(node);
        }
        text += "# \"" + e.name + "\" (x,y,z):" + FormatNumber(e.x) + "," + FormatNumber(e.y) + "," +
                FormatNumber(e.z) + "\n";
    }
    SkeletonText() = std::move(text);
}
