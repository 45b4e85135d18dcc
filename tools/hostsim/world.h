// Builds a simulated game from a world file (docs/world-file.md).
#pragma once

#include <optional>
#include <string>

#include "tools/hostsim/json_in.h"

namespace hostsim {

struct WorldBuild {
    // The game folder named by the world file, resolved against the world file's folder.
    std::optional<std::string> gameFolder;
};

// Empties the simulated world and builds the one the JSON describes. `worldDir` is the
// folder of the world file (for relative paths in it). Throws InputError with the JSON path
// of the first bad value; the world is then left half built.
WorldBuild BuildWorld(const Json& world, const std::string& worldDir);

}  // namespace hostsim
