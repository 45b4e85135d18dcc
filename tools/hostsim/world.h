// Builds a simulated game from a world file (docs/world-file.md).
#pragma once

#include <optional>
#include <string>

#include "tools/hostsim/json_in.h"

namespace hostsim {

struct WorldBuild {
    // The game folder named by the world file, resolved against the world file's folder.
    std::optional<std::string> gameFolder;
    // The "loadedMorphData" section, checked to be an array; built by BuildLoadedMorphData.
    Json loadedMorphData;
};

// Empties the simulated world and builds the one the JSON describes. `worldDir` is the
// folder of the world file (for relative paths in it). Throws InputError with the JSON path
// of the first bad value; the world is then left half built.
WorldBuild BuildWorld(const Json& world, const std::string& worldDir);
// Adds the world's loaded morph data; run in the game folder, whose .tri files "fromTri"
// entries read. Throws InputError like BuildWorld.
void BuildLoadedMorphData(const WorldBuild& world);

}  // namespace hostsim
