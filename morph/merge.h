// Merging slider values into one morph per target, and writing merged TRI files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/model.h"
#include "morph/tri_format.h"
#include "sliders/apply.h"

// Which morph a merge builds: every morph slider and vertex edit, or the neck and head sliders.
enum MergeFlag : int { kMergeMain = 0, kMergeNeckAndHead = 1 };

// Special sliders of the neck-and-head morph.
constexpr int32_t kNeckLengthSliderId = 903;
constexpr int32_t kHeadSizeSliderId = 902;
// uniqueIDs at or below this are vertex edits.
constexpr int32_t kVertexEditIdBase = -10000;

struct MergedMorph {
    std::vector<TriDelta> deltas;
    float scale = 1.0f;
    // False when the values give no morph the game can use: a scale that is not finite as a
    // float, or deltas that all quantise to zero while the accumulated offsets are not zero.
    // Such a morph (scale 1, zero deltas) is neither written nor patched into the game.
    bool usable = true;
};

// Adds the offsets of `values` to `accumulator` (x, y, z per vertex, 3 x vertexCount doubles).
// Never reads past the accumulator, the vertex count or a morph's own deltas.
void AccumulateMorphs(std::vector<double>& accumulator, const SliderValueList& values, const RaceSetting& raceSetting,
                      const std::string& targetPath, const TriFile& tri, uint32_t vertexCount, int sexCode, int flag);

// Accumulates into a fresh accumulator and quantises: the largest component becomes 32767.
// An unusable result is logged once, naming the slider values that weigh most in it.
MergedMorph BuildMergedMorph(const SliderValueList& values, const RaceSetting& raceSetting,
                             const std::string& targetPath, const TriFile& tri, uint32_t vertexCount, int sexCode,
                             int flag);

// Writes the merged TRI file of one target at its path below the game's folder. False when
// nothing was written (no cached source, the file could not be written); the old file is
// then left as it was.
bool WriteMergedTri(const RaceSetting& raceSetting, const std::string& targetPath, const SliderValueList& values,
                    int sexCode);

// The names of written morph records, in the order WriteMergedTri writes them (reserved
// names included, whether or not a source has them).
std::vector<std::string> MergedTriRecordOrder();

struct TypeMorphFamily {
    const char* name;
    int count;
};
extern const TypeMorphFamily kTypeMorphFamilies[3];
