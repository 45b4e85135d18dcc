// Loading the configuration directory and parsing its files.
#pragma once

#include <string>

#include "config/model.h"

// Fills Config() from a configuration directory such as "data\Meshes\Vultrane\".
void LoadConfiguration(const std::string& directory);
// Parses one race-set file (path relative to `directory`); an empty raceSetName rejects it.
RaceSetting ParseRaceSetFile(const std::string& directory, const std::string& fileName);
// The cached vertex-edit data for a path ("data\..." form), or null.
vertexEditData* GetVertexEditData(const std::string& path);
bool ParseVertexEditFile(vertexEditData& data, const std::string& path);
