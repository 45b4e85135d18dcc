// Function handler objects and their installation into a movie.
#pragma once

#include "game/records.h"

// The callback registered with the host's Scaleform interface under "Quorvix".
bool RegisterFunctions(GFxMovieView* movie, GFxValue* root);
// Number of handler objects created so far (one per function class).
size_t FunctionHandlerCount();
