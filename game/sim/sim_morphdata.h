// Morph data the simulated game has loaded from .tri files. The game's own records (entry,
// morph set, morph records, see game/records.h) are built for each one and reached through the
// engine's loaded-resource walks, in two lists as in the game; entries that the game keeps but
// that carry no usable morph data can be added too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/records.h"
#include "game/sim/sim.h"

namespace sim {

// What a world asked for, one morph. The game's record of it is in MorphData_Set(); both share
// the deltas, the record alone receives what the plug-in writes into scale and counts.
struct LoadedMorph {
    const char* name;
    int16_t* deltas;  // x, y, z per vertex; room for the larger of the two vertex counts
    float scale;
    uint32_t diffVertexNum;
    uint32_t baseVertexNum;
};

// What a world asked for, one loaded .tri file.
struct LoadedMorphData {
    const char* path;  // as the game keeps it, relative to the data folder
    LoadedMorph* morphs;
    int32_t morphCount;
};

// Which of the game's two loaded-resource lists holds an entry.
enum class LoadedList { Table, Array };
// How an entry fails to be usable TRI morph data.
enum class EntryFlaw { None, FreeEntry, NotTri, NoMorphSet };

// Adds the morph data of one loaded .tri resource (empty: no morphs yet).
VTR_SIM_API LoadedMorphData* AddLoadedMorphData(const std::string& path, LoadedList list = LoadedList::Table,
                                                EntryFlaw flaw = EntryFlaw::None);
// Appends a morph with zeroed deltas. The record returned stays valid until the next morph is
// added to the same data. Null when a vertex count exceeds kMaxLoadedMorphVertices.
VTR_SIM_API LoadedMorph* MorphData_AddMorph(LoadedMorphData* data, const std::string& name,
                                            uint32_t diffVertexNum, uint32_t baseVertexNum, float scale = 1.0f);
// The game's morph set of the data (also for an entry without one: what it would have held).
VTR_SIM_API MorphSet* MorphData_Set(LoadedMorphData* data);
VTR_SIM_API TriEntry* MorphData_Entry(LoadedMorphData* data);
VTR_SIM_API LoadedList MorphData_List(const LoadedMorphData* data);
VTR_SIM_API EntryFlaw MorphData_Flaw(const LoadedMorphData* data);
// Every loaded morph data, in the order added.
VTR_SIM_API std::vector<LoadedMorphData*> AllLoadedMorphData();
// The first loaded morph data whose path equals `path` without regard to ASCII case, or null.
VTR_SIM_API LoadedMorphData* FindLoadedMorphDataByPath(const std::string& path);
VTR_SIM_API void ClearLoadedMorphData();
// The slot value the TRI database walk treats as an invalidated entry.
VTR_SIM_API TriEntry* InvalidTriEntry();

// Largest vertex count a simulated morph may have (keeps a typo from allocating gigabytes).
constexpr uint32_t kMaxLoadedMorphVertices = 1u << 20;

}  // namespace sim
