// Face data passed as text by the game's scripts through the patched routine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sliders/apply.h"

struct FaceData {
    std::string raceName;
    SliderValueList values;
    size_t fieldCount = 0;       // fields the text split into; fewer than 2 means no face data
    size_t droppedValues = 0;    // pairs left out because their value came out non-finite
};

// "race,id,value,id,value,...": a "version" key turns the widened-range scaling of the legacy
// sliders off for the pairs after it; a last field without its partner is ignored. Read in one
// pass without splitting the text: besides the result (16 bytes a pair), nothing is allocated.
FaceData ParseFaceData(std::string_view text);

// Rebuilds the player's face in memory from face data text.
void RefreshPlayerFace(std::string_view text);
