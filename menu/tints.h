// Tint layers of the player: listing, texture and colour changes.
#pragma once

#include <cstdint>

#include "game/records.h"

// The colouring rule of one layer (skin tone fades toward grey instead of turning transparent).
void ApplyTintColor(TintMask* layer, uint32_t argb, TESNPC* npcForm);
// The index-th layer of a type and its counterpart in the second list.
void SetPlayerTintColor(uint32_t argb, uint32_t tintType, uint32_t index);
// Every visible layer of type 7 (alpha byte 0 becomes 1).
void SetVisibleTintsColor(uint32_t argb);
// Tint colour as ARGB: alpha * 255 truncated in the top byte, then red, green, blue.
uint32_t TintColourToArgb(const TintMask& layer);
