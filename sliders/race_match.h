// Choosing the player's race set.
#pragma once

#include <string>

#include "game/records.h"

// Index into Config().raceSettings, or -1. `raceName` becomes the race's display name when
// the player has a race; `message` (optional) receives the default/unsupported note;
// `morphsUnsupported` is set (never cleared) when the unsupported set was chosen.
int FindRaceSetting(PlayerCharacter* player, std::string& raceName, std::string* message, bool& morphsUnsupported);
// -1 without a player; otherwise FindRaceSetting with no message.
int FindPlayerRaceSetting(std::string& raceName);
