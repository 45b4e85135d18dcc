// Function handler objects and their installation into a movie.
#pragma once

#include "game/records.h"

// The callback registered with the host's Scaleform interface under "Quorvix".
bool RegisterFunctions(GFxMovieView* movie, GFxValue* root) noexcept;
// Number of handler objects created so far (one per function class).
size_t FunctionHandlerCount();
// Frees every handler object, so the next registration makes them anew. Only for a process
// in which no movie uses them any more (tests).
void ForgetFunctionHandlers();
