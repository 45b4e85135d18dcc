// Names and the game's own face values of the player.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

extern const char* const kNameListPath;

// Line n (from 0) of the name list, trimmed; none for a line that does not exist. A missing
// file is logged.
std::optional<std::string> NthName(int32_t n);

// The display name of the player's race; empty without player or race.
std::string PlayerRaceName();
// The name of the player's first hair head part; none without one.
std::optional<std::string> PlayerHairName();

// Sets the 19 face-morph values to 0; the presets stay.
void ResetAllMorphs();
// Asks the game to rebuild the player's model.
void UpdatePlayerModel();
// Preset 0..3 of the player's face-morph record; 0 when it or the index is missing.
int32_t GetPlayerPreset(int32_t index);
void SetPlayerPreset(int32_t index, int32_t value);
