#include "morph/vertex_area.h"

#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "base/numeric.h"
#include "morph/merge.h"

namespace {

double Falloff(int32_t areaType, double t) {
    switch (areaType) {
        case 0: return 2.0 * t * t * t - 3.0 * t * t + 1.0;
        case 1: return 1.0 - t;
        default: return 1.0;
    }
}

// One distance pass around `centre`; square roots only for the selected vertices.
void SelectAround(const std::vector<double>& positions, size_t vertices, size_t centre, double radius, int32_t areaType,
                  double x, double y, double z, std::vector<AreaSelection>& out) {
    const double* p = positions.data();
    const double cx = p[3 * centre], cy = p[3 * centre + 1], cz = p[3 * centre + 2];
    const double radius2 = radius * radius;
    for (size_t v = 0; v < vertices; ++v) {
        const double dx = p[3 * v] - cx, dy = p[3 * v + 1] - cy, dz = p[3 * v + 2] - cz;
        const double d2 = dx * dx + dy * dy + dz * dz;
        if (!(d2 <= radius2)) continue;
        const double weight = radius == 0.0 ? 1.0 : Falloff(areaType, std::sqrt(d2) / radius);
        out.push_back({static_cast<int32_t>(v), x * weight, y * weight, z * weight});
    }
}

}  // namespace

bool SelectVertexArea(const TriFile& tri, const VertexEditSexBlock& block, const SliderValueList& values,
                      const RaceSetting& raceSetting, int sexCode, const AreaQuery& query,
                      std::vector<AreaSelection>& selection) {
    selection.clear();
    // A file whose vertex list is shorter than its count is measured on the vertices it has.
    const size_t vertices = std::min<size_t>(tri.vertexCount, tri.vertices.size());
    if (static_cast<uint32_t>(query.vertexID) >= vertices) {
        LogMessage("    ERROR: vertexID is larger than vertexNum.");
        return false;
    }
    const double radius = kAreaRadiusPerUnit * query.area;
    // A negative or NaN size would turn the falloff into weights above 1 or below 0.
    if (!(radius >= 0.0)) {
        LogMessage("    ERROR: vertex area size must be 0 or more. (%f)", query.area);
        return false;
    }

    std::vector<double> positions(3 * vertices, 0.0);
    AccumulateMorphs(positions, values, raceSetting, block.name, tri, static_cast<uint32_t>(vertices), sexCode,
                     kMergeMain);
    for (size_t v = 0; v < vertices; ++v) {
        positions[3 * v] += tri.vertices[v].x;
        positions[3 * v + 1] += tri.vertices[v].y;
        positions[3 * v + 2] += tri.vertices[v].z;
    }

    selection.reserve(64);
    SelectAround(positions, vertices, static_cast<size_t>(query.vertexID), radius, query.areaType, query.x, query.y,
                 query.z, selection);
    if (!query.isMirror) return true;

    const auto record = std::find_if(block.mainRecords.begin(), block.mainRecords.end(),
                                     [&](const MainVertexRecord& r) { return r.vertexID == query.vertexID; });
    if (record == block.mainRecords.end() || record->mirrorVertID <= 0) return true;
    if (static_cast<size_t>(record->mirrorVertID) >= vertices) {
        LogMessage("    WARNING: mirror vertex %d of vertex %d is not in the mesh; mirror skipped.", record->mirrorVertID,
                   query.vertexID);
        return true;
    }
    std::vector<AreaSelection> mirror;
    SelectAround(positions, vertices, static_cast<size_t>(record->mirrorVertID), radius, query.areaType, -query.x,
                 query.y, query.z, mirror);

    MergeMirrorSelection(selection, mirror, vertices);
    return true;
}

void MergeMirrorSelection(std::vector<AreaSelection>& selection, const std::vector<AreaSelection>& mirror,
                          size_t vertices) {
    // Main entries by vertex, so that the merge stays linear.
    std::vector<int32_t> where(vertices, -1);
    auto slot = [&](int32_t v) -> int32_t* {
        return v >= 0 && static_cast<size_t>(v) < vertices ? &where[static_cast<size_t>(v)] : nullptr;
    };
    for (size_t i = 0; i < selection.size(); ++i)
        if (int32_t* w = slot(selection[i].vertex)) *w = static_cast<int32_t>(i);
    for (const AreaSelection& m : mirror) {
        int32_t* w = slot(m.vertex);
        if (!w || *w < 0) {
            if (w) *w = static_cast<int32_t>(selection.size());
            selection.push_back(m);
            continue;
        }
        AreaSelection& o = selection[static_cast<size_t>(*w)];
        bool replace = false;
        if (std::fabs(m.x) > std::fabs(o.x))
            replace = true;
        else if (std::fabs(m.y) > std::fabs(o.y))
            replace = true;
        else if (std::fabs(m.z) > std::fabs(o.z))
            replace = true;
        if (replace) {
            o.x = m.x;
            o.y = m.y;
            o.z = m.z;
        }
    }
}

std::vector<AreaResult> TruncateSelection(const std::vector<AreaSelection>& selection) {
    std::vector<AreaResult> out;
    out.reserve(selection.size());
    for (const AreaSelection& s : selection) {
        const AreaResult r{s.vertex, TruncToInt32(s.x), TruncToInt32(s.y), TruncToInt32(s.z)};
        if (r.x == 0 && r.y == 0 && r.z == 0) continue;
        out.push_back(r);
    }
    return out;
}
