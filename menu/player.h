// The player's forms as the menu services reach them.
#pragma once

#include "game/engine.h"

// The player's base form cast to the NPC form; null when there is no player or the base
// form is not an NPC.
TESNPC* PlayerNpcForm(PlayerCharacter* player);
