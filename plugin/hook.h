// The face refresh reached from the patched game call.
#pragma once

#include "game/records.h"

// True when the text was taken as face data (the game routine then ends at once).
bool RefreshGate(const char* text);

// Redirects the game's call site to the hook entry when it holds the expected call (or our
// own patch already); otherwise logs one line, leaves the bytes alone and returns false, and
// the face refresh stays off.
bool PatchHookedCall();

// The hook entry the patched call leads to.
#if VTR_GAME_ABI_I686
extern "C" void VtrHookEntry();
#else
bool VtrHookEntry(void* arg1, void* arg2, void* arg3, BSFixedString* text);
#endif
