// The simulated world's state as JSON, for --dump-world.
#pragma once

#include <string>

#include "tools/hostsim/json_in.h"

namespace hostsim {

// `pluginPath` is the library the call site should lead into.
Json DumpWorld(const std::string& pluginPath, bool withDeltas = false);

}  // namespace hostsim
