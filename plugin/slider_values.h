// The slider values the menu passes as an info Array of (uniqueID, value) pairs.
#pragma once

#include <string>

#include "game/records.h"
#include "sliders/apply.h"

// Pairs whose id or value is not a Number (and an unpaired last element) are skipped with a
// log line.
SliderValueList ReadSliderValues(const GFxValue& info);

// The race set that the menu's race name (a String argument, possibly null) leads to; the name
// is replaced as FindPlayerRaceSetting does. Null, after the log line, when there is none.
struct RaceSetting;
const RaceSetting* FindMenuRaceSetting(const char* raceArg, std::string& raceName);
