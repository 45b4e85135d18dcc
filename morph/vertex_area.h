// The vertex brush: the vertices of a head mesh around a picked vertex, each with its share
// of an offset, measured on the head as the current slider values shape it.
#pragma once

#include <cstdint>
#include <vector>

#include "config/model.h"
#include "morph/tri_format.h"
#include "sliders/apply.h"

struct AreaSelection {
    int32_t vertex;
    double x, y, z;
};

// One selected vertex as the menu receives it: offsets truncated toward zero.
struct AreaResult {
    int32_t vertex;
    int32_t x, y, z;
};

struct AreaQuery {
    int32_t vertexID = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    double area = 0.0;  // brush radius is 0.16 x area
    int32_t areaType = 0;  // 0 smooth falloff, 1 linear, other: none
    bool isMirror = false;
};

constexpr double kAreaRadiusPerUnit = 0.16;

// The brush selection in vertex order, the mirror selection merged in. False (with a log line)
// when the picked vertex is not in the mesh or the area is not a usable size. Never reads past
// the mesh's vertices, whatever its vertexCount claims.
bool SelectVertexArea(const TriFile& tri, const VertexEditSexBlock& block, const SliderValueList& values,
                      const RaceSetting& raceSetting, int sexCode, const AreaQuery& query,
                      std::vector<AreaSelection>& selection);

// Merges the mirror selection into the main one: a vertex already selected takes the mirror
// offset if |mx| > |ox|, else if |my| > |oy|, else if |mz| > |oz|; others are appended.
// Entries name vertices below `vertices`.
void MergeMirrorSelection(std::vector<AreaSelection>& selection, const std::vector<AreaSelection>& mirror,
                          size_t vertices);

// Truncates each offset toward zero and drops entries that become all zero.
std::vector<AreaResult> TruncateSelection(const std::vector<AreaSelection>& selection);
