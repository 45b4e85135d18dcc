// Applying slider values to the player: node scales and moves by slider formulas, preset
// scales and colour menus; and the skeleton text that records the node changes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/model.h"
#include "game/records.h"

struct NodeScaleEntry {
    std::string name;
    double factor = 1.0;
};

struct NodeOffsetEntry {
    std::string name;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

using SliderValueList = std::vector<std::pair<int32_t, double>>;

// Names compare exactly; a name already listed multiplies its factor / adds to its offset.
void AddNodeScale(std::vector<NodeScaleEntry>& scales, const std::string& name, double factor);
void AddNodeOffset(std::vector<NodeOffsetEntry>& offsets, const std::string& name, double x, double y, double z);

// The node scales and moves last applied, one commented line each; rewritten by every call.
std::string& SkeletonText();

void ApplySliderValues(const RaceSetting& raceSetting, const SliderValueList& values, int sexCode);

// True for the reserved node name that is listed but never applied.
bool IsDummyNodeName(const std::string& name);
