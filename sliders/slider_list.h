// The sliders the menu shows for the player: what each record carries, before it is turned
// into menu values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/model.h"
#include "game/records.h"

struct SliderListEntry {
    std::string text;
    int32_t filterFlag = 0;
    int32_t uniqueID = 0;
    int32_t type = 0;
    double sliderMax = 0.0;
    double sliderMin = 0.0;
    double interval = 0.0;
    std::string categoryName;
    bool hasSliderID = true;  // the colour pickers have none
    int32_t sliderID = 0;
    // Set on the main record of a vertex-edit slider: the block whose table goes with it.
    const VertexEditSexBlock* vertexBlock = nullptr;
};

struct SliderListResult {
    std::vector<SliderListEntry> entries;  // sliders, companions, then the colour pickers
    bool isLimitedMode = false;
    std::string raceName;                  // as race matching left it
    std::string message;                   // race matching's note, empty for a listed race
};

// Lists the sliders of the player's race set. False (nothing to list) without a player, an
// NPC form or a race set for the player. Does not load the configuration.
bool BuildSliderList(PlayerCharacter* player, const std::string& raceName, bool hasFacialHair, bool hasBrows,
                     SliderListResult& out);
