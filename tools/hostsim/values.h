// Menu values written as JSON and back (docs/call-list.md): plain JSON values stand for
// themselves, null for undefined, and one-key objects with a "$" key for what JSON lacks.
#pragma once

#include "game/engine.h"
#include "tools/hostsim/json_in.h"

namespace hostsim {

// Makes the value `in` describes through `movie`'s create operations. The caller owns the
// result and releases it with sim::Release.
GFxValue ValueFromJson(const In& in, GFxMovieView* movie);

// Checks what ValueFromJson would make, making nothing.
void CheckValueJson(const In& in);

// The JSON form of a value; arrays and objects recursively, object members in order.
Json ValueToJson(const GFxValue& value);

// A number as JSON: integral values as integers, non-finite ones as {"$number": "NaN"}.
Json NumberJson(double x);
// A 32-bit float as the shortest decimal that reads back as the same float.
Json FloatJson(float x);

}  // namespace hostsim
