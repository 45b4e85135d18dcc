// Morph data the simulated game has loaded from .tri files, found by the path it was loaded
// from. Records keep the field order of the game's morph-data objects and morph records, so
// that the engine operations that walk loaded resources can hand them out as they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/sim/sim.h"

namespace sim {

// One morph of loaded morph data.
struct LoadedMorph {
    const char* name;
    int16_t* deltas;  // x, y, z per vertex; room for the larger of the two vertex counts
    float scale;
    uint32_t diffVertexNum;
    uint32_t baseVertexNum;
};

// The morph data loaded from one .tri file.
struct LoadedMorphData {
    const char* path;  // as the game keeps it, relative to the data folder
    LoadedMorph* morphs;
    int32_t morphCount;
};

// Adds the morph data of one loaded .tri resource (empty: no morphs yet).
VTR_SIM_API LoadedMorphData* AddLoadedMorphData(const std::string& path);
// Appends a morph with zeroed deltas. The record returned stays valid until the next morph is
// added to the same data. Null when a vertex count exceeds kMaxLoadedMorphVertices.
VTR_SIM_API LoadedMorph* MorphData_AddMorph(LoadedMorphData* data, const std::string& name,
                                            uint32_t diffVertexNum, uint32_t baseVertexNum, float scale = 1.0f);
// Every loaded morph data, in the order added.
VTR_SIM_API std::vector<LoadedMorphData*> AllLoadedMorphData();
// The first loaded morph data whose path equals `path` without regard to ASCII case, or null.
VTR_SIM_API LoadedMorphData* FindLoadedMorphDataByPath(const std::string& path);
VTR_SIM_API void ClearLoadedMorphData();

// Largest vertex count a simulated morph may have (keeps a typo from allocating gigabytes).
constexpr uint32_t kMaxLoadedMorphVertices = 1u << 20;

}  // namespace sim
