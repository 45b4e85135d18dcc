// Tint layers of the player: listing, texture and colour changes, and the player's colour for
// each colour entry of the menu.
#pragma once

#include <cstdint>
#include <vector>

#include "game/records.h"

// The colouring rule of one layer (skin tone fades toward grey instead of turning transparent).
void ApplyTintColor(TintMask* layer, uint32_t argb, TESNPC* npcForm);
// The index-th layer of a type and its counterpart in the second list.
void SetPlayerTintColor(uint32_t argb, uint32_t tintType, uint32_t index);
// Every visible layer of type 7 (alpha byte 0 becomes 1).
void SetVisibleTintsColor(uint32_t argb);
// Tint colour as ARGB: alpha * 255 truncated in the top byte, then red, green, blue.
uint32_t TintColourToArgb(const TintMask& layer);
// The layer's alpha as a byte (alpha * 255 truncated, held to 0..255).
uint8_t TintAlphaByte(const TintMask& layer);
// Indices (by type) of the player's layers of a type whose alpha byte is not 0.
std::vector<uint32_t> VisibleTintIndices(PlayerCharacter* player, uint32_t tintType);

// One entry of the player's tint list as the menu lists it.
struct TintListEntry {
    uint32_t index;
    uint32_t argb;
    uint32_t type;
    const char* path;  // the layer's texture path, never null
};
// The player's layers that have a texture, with their list positions.
std::vector<TintListEntry> PlayerTintList();
// Replaces the texture path of a layer of the main list and of its counterpart in the
// second list; indices outside the lists change nothing.
void SetNthTintPath(uint32_t index, const char* path);
// Recolours a layer of the main list and its counterpart in the second list.
void SetNthTintColor(uint32_t index, uint32_t argb);

// The colour the player has for a colour menu entry (menu/colours.h: ColourMenuSource); 0 when
// the entry, the player or the layer is missing.
uint32_t PlayerColourForMenu(int32_t uniqueID);
