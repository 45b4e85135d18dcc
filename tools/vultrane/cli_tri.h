// What a .tri file holds and how two differ, from the library's own reader.
#pragma once

#include <string>
#include <vector>

#include "morph/tri_format.h"

namespace vultrane {

// Reads a whole file with the library's reader; false with `error` (what and where) when not.
bool LoadTriFile(const std::string& path, TriFile& file, std::string& error);

struct MorphSummary {
    std::string name;
    float scale = 1.0f;
    size_t deltas = 0;
    double largest = 0.0;   // the longest offset (delta times scale), in model units
    int64_t vertex = -1;    // where it is; -1 when nothing moves
};
MorphSummary SummariseMorph(const TriMorph& morph);

struct MorphDifference {
    std::string name;
    float scaleA = 1.0f, scaleB = 1.0f;
    double largest = 0.0;   // largest distance between the two offsets of one vertex
    int64_t vertex = -1;    // where; -1 when they move every vertex alike
    size_t verticesDiffering = 0;
    bool sameBytes = true;  // same scale and deltas
};

struct TriDifference {
    std::vector<std::string> header;   // "vertices: 2913 vs 2900", ...
    std::vector<std::string> geometry; // "positions: 12 vertices differ, at most 0.5 apart", ...
    std::vector<std::string> onlyInA, onlyInB;
    std::vector<MorphDifference> changed;  // morphs of both files that differ
    size_t sameMorphs = 0;
    bool orderDiffers = false;            // the morphs both have come in another order
    bool Same() const {
        return header.empty() && geometry.empty() && onlyInA.empty() && onlyInB.empty() && changed.empty() &&
               !orderDiffers;
    }
};
TriDifference CompareTri(const TriFile& a, const TriFile& b);

}  // namespace vultrane
