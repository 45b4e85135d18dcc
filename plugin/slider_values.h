// The slider values the menu passes as an info Array of (uniqueID, value) pairs.
#pragma once

#include "game/records.h"
#include "sliders/apply.h"

// Pairs whose id or value is not a Number (and an unpaired last element) are skipped with a
// log line.
SliderValueList ReadSliderValues(const GFxValue& info);
