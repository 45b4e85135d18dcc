#include "morph/merge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/log.h"
#include "base/numeric.h"
#include "morph/tri_cache.h"
#include "os/os.h"

const TypeMorphFamily kTypeMorphFamilies[3] = {{"EyesType", 39}, {"LipType", 32}, {"NoseType", 31}};

namespace {

constexpr const char* kMainMorphName = "NoseType32";
constexpr const char* kNeckHeadMorphName = "LipType33";
constexpr const char* kVampireMorphName = "VampireMorph";

// The target's vertex index of a vertex edit, or -1.
int64_t VertexEditIndex(const VertexEditSexBlock& block, const std::string& targetPath, int64_t k) {
    if (block.name == targetPath) return k;
    for (const ExtraModelEntry& extra : block.extraModels) {
        if (extra.name != targetPath) continue;
        for (const auto& pair : extra.pairs)
            if (pair.first == k) return pair.second;
        return -1;
    }
    return -1;
}

void AddVertexEdit(std::vector<double>& acc, size_t vertices, int64_t index, double value) {
    if (index < 0 || static_cast<uint64_t>(index) >= vertices) return;
    const int32_t p = TruncToInt32(value);
    const uint32_t u = static_cast<uint32_t>(p);
    const int dx = static_cast<int>((u >> 16) & 255u) - 127;
    const int dy = static_cast<int>((u >> 8) & 255u) - 127;
    const int dz = static_cast<int>(u & 255u) - 127;
    double* a = &acc[static_cast<size_t>(index) * 3];
    a[0] += dx / 100.0;
    a[1] += dy / 100.0;
    a[2] += dz / 100.0;
}

// The morph name and weight a value gives; false when it contributes nothing.
bool ChooseMorph(const SliderDef& slider, double value, int flag, std::string& name, double& weight) {
    if (flag == kMergeNeckAndHead) {
        if (slider.uniqueID == kNeckLengthSliderId) {
            name = value < 0 ? "VTR_NeckShortNPC" : "VTR_NeckLongNPC";
            weight = value;
            return true;
        }
        if (slider.uniqueID == kHeadSizeSliderId) {
            name = value < 0 ? "VTR_HeadSmallNPC" : "VTR_HeadLargeNPC";
            weight = value * 5.0;
            return true;
        }
        return false;
    }
    if (slider.type == kSliderMorphPair) {
        name = value >= 0 ? slider.target : slider.lowTarget;
        weight = value;
        return true;
    }
    if (slider.type == kSliderMorph) {
        name = slider.target + std::to_string(TruncToInt32(value + 0.5));
        weight = 1.0;
        return true;
    }
    return false;
}

// The morph of `tri` that a slider value weighs and the factor its deltas are scaled by
// (|weight| times the morph's scale); null when the value adds nothing through a morph.
const TriMorph* ValueMorph(const RaceSetting& raceSetting, const TriFile& tri, int32_t id, double value, int sexCode,
                           int flag, std::string& morphName, double& factor) {
    const int s = FindSliderForValue(raceSetting, id, sexCode);
    if (s < 0) return nullptr;
    double weight = 0.0;
    if (!ChooseMorph(raceSetting.sliders[static_cast<size_t>(s)], value, flag, morphName, weight)) return nullptr;
    const int m = FindMorphIndex(tri, morphName);
    if (m < 0) return nullptr;
    const TriMorph& morph = tri.morphs[static_cast<size_t>(m)];
    factor = std::fabs(weight) * static_cast<double>(morph.scale);
    return &morph;
}

// The slider values that weigh most in a merge (by the factor they scale their morph with),
// at most three, as "id=value" for the log; vertex edits move a vertex by 1.27 at most and
// are left out.
std::string LargestContributions(const SliderValueList& values, const RaceSetting& raceSetting, const TriFile& tri,
                                 int sexCode, int flag) {
    struct Weighed {
        double factor;
        int32_t id;
        double value;
    };
    std::vector<Weighed> found;
    std::string morphName;
    for (const auto& [id, value] : values) {
        if (!std::isfinite(value) || (flag == kMergeMain && id <= kVertexEditIdBase)) continue;
        double factor = 0.0;
        if (!ValueMorph(raceSetting, tri, id, value, sexCode, flag, morphName, factor)) continue;
        if (std::isfinite(factor) && factor > 0.0) found.push_back({factor, id, value});
    }
    const size_t shown = std::min<size_t>(found.size(), 3);
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(shown), found.end(),
                      [](const Weighed& a, const Weighed& b) { return a.factor > b.factor; });
    std::string text;
    for (size_t i = 0; i < shown; ++i) {
        char item[64];
        std::snprintf(item, sizeof(item), "%s%d=%g", i ? ", " : "", found[i].id, found[i].value);
        text += item;
    }
    return text.empty() ? std::string("none") : text;
}

// A merge target is written only below the game folder (the loader logged where it came from).
bool TargetStaysInGameFolder(const std::string& targetPath) {
    const os::ConfinedPath confined = os::ConfinePath("", targetPath, "game folder");
    if (confined.ok) return true;
    LogMessage("    ERROR: cannot write new .tri (%s): the path %s; nothing is written.", LogEscape(targetPath).c_str(),
               confined.reason.c_str());
    return false;
}

}  // namespace

void AccumulateMorphs(std::vector<double>& accumulator, const SliderValueList& values, const RaceSetting& raceSetting,
                      const std::string& targetPath, const TriFile& tri, uint32_t vertexCount, int sexCode, int flag) {
    const size_t vertices = std::min<size_t>(vertexCount, accumulator.size() / 3);
    const VertexEditSexBlock* block = raceSetting.vertexEdit ? &raceSetting.vertexEdit->Block(sexCode) : nullptr;
    std::string morphName;
    for (const auto& [id, value] : values) {
        // A value that is not a number would spread NaN or infinity over every vertex of
        // the merged morph; it contributes nothing instead.
        if (!std::isfinite(value)) continue;
        if (flag == kMergeMain && id <= kVertexEditIdBase && block) {
            const int64_t k = static_cast<int64_t>(kVertexEditIdBase) - id;
            AddVertexEdit(accumulator, vertices, VertexEditIndex(*block, targetPath, k), value);
            continue;
        }
        double factor = 0.0;
        const TriMorph* morph = ValueMorph(raceSetting, tri, id, value, sexCode, flag, morphName, factor);
        if (!morph || !std::isfinite(factor)) continue;
        const size_t n = std::min(vertices, morph->deltas.size());
        const TriDelta* d = morph->deltas.data();
        double* a = accumulator.data();
        for (size_t v = 0; v < n; ++v) {
            a[3 * v] += factor * d[v].dx;
            a[3 * v + 1] += factor * d[v].dy;
            a[3 * v + 2] += factor * d[v].dz;
        }
    }
}

MergedMorph BuildMergedMorph(const SliderValueList& values, const RaceSetting& raceSetting,
                             const std::string& targetPath, const TriFile& tri, uint32_t vertexCount, int sexCode,
                             int flag) {
    std::vector<double> acc(static_cast<size_t>(vertexCount) * 3, 0.0);
    AccumulateMorphs(acc, values, raceSetting, targetPath, tri, vertexCount, sexCode, flag);

    double maxAbs = 0.0;
    for (double c : acc) maxAbs = std::max(maxAbs, std::fabs(c));

    MergedMorph out;
    out.deltas.assign(vertexCount, TriDelta{0, 0, 0});
    // Only reachable with absurd slider values: the game would multiply an infinite scale by
    // zero deltas, or get no change where the values asked for one.
    auto refuse = [&] {
        out.deltas.assign(vertexCount, TriDelta{0, 0, 0});
        out.scale = 1.0f;
        out.usable = false;
        LogMessage("    WARNING: merged %smorph of %s is out of range (largest slider values: %s); it is neither "
                   "written nor patched.",
                   flag == kMergeNeckAndHead ? "neck-and-head " : "", LogEscape(targetPath).c_str(),
                   LargestContributions(values, raceSetting, tri, sexCode, flag).c_str());
        return out;
    };
    if (!std::isfinite(maxAbs)) return refuse();
    out.scale = NarrowToFloat(maxAbs / 32767.0);
    if (!std::isfinite(out.scale)) return refuse();
    if (out.scale == 0.0f) out.scale = 1.0f;
    const double scale = out.scale;
    auto quantise = [scale](double c) -> int16_t {
        const int32_t q = TruncToInt32(c / scale);
        return static_cast<int16_t>(std::clamp<int32_t>(q, -32768, 32767));
    };
    bool anyDelta = false;
    for (size_t v = 0; v < vertexCount; ++v) {
        const TriDelta d{quantise(acc[3 * v]), quantise(acc[3 * v + 1]), quantise(acc[3 * v + 2])};
        anyDelta = anyDelta || d.dx != 0 || d.dy != 0 || d.dz != 0;
        out.deltas[v] = d;
    }
    if (!anyDelta && maxAbs > 0.0) return refuse();
    return out;
}

std::vector<std::string> MergedTriRecordOrder() {
    std::vector<std::string> names(kFaceMorphNames.begin(), kFaceMorphNames.end());
    names.push_back(kVampireMorphName);
    for (const TypeMorphFamily& f : kTypeMorphFamilies)
        for (int i = 1; i <= f.count; ++i) names.push_back(f.name + std::to_string(i));
    names.push_back(kMainMorphName);
    names.push_back(kNeckHeadMorphName);
    names.push_back("NoseType33");
    names.push_back("NoseType34");
    return names;
}

bool WriteMergedTri(const RaceSetting& raceSetting, const std::string& targetPath, const SliderValueList& values,
                    int sexCode) {
    if (!TargetStaysInGameFolder(targetPath)) return false;
    const TriFile* tri = FindCachedTri(targetPath);
    if (!tri) {
        LogMessage("\tERROR: empty morphSource for : %s", targetPath.c_str());
        return false;
    }
    // A file without the source's geometry and morphs would replace the game's own in every
    // character that uses it: with no source read, the old file stays.
    if (tri->filesRead == 0) {
        LogMessage("    ERROR: no source of %s could be read; it is not written and the old file is kept.",
                   targetPath.c_str());
        return false;
    }
    const uint32_t vertexCount = tri->vertexCount;
    const MergedMorph main = BuildMergedMorph(values, raceSetting, targetPath, *tri, vertexCount, sexCode, kMergeMain);
    const MergedMorph neck =
        BuildMergedMorph(values, raceSetting, targetPath, *tri, vertexCount, sexCode, kMergeNeckAndHead);
    // A morph the game cannot use leaves the old file (logged by BuildMergedMorph).
    if (!main.usable || !neck.usable) return false;
    const std::vector<TriDelta> zero(vertexCount, TriDelta{0, 0, 0});

    os::ReplacingFile out;
    if (!out.Open(targetPath, false)) {
        LogMessage("    ERROR: cannot write new .tri (%s)", targetPath.c_str());
        LogMessage("        %s", out.Describe().c_str());
        return false;
    }
    bool ok = WriteTriHeader(out, *tri);
    uint32_t written = 0;
    auto record = [&](const std::string& name, float scale, const std::vector<TriDelta>& deltas) {
        ok = ok && WriteTriMorph(out, name, scale, deltas, vertexCount);
        ++written;
    };
    auto copy = [&](const std::string& name) {
        const int m = FindMorphIndex(*tri, name);
        if (m < 0) return;
        const TriMorph& morph = tri->morphs[static_cast<size_t>(m)];
        record(name, morph.scale, morph.deltas);
    };
    for (const char* name : kFaceMorphNames) copy(name);
    if (FindMorphIndex(*tri, kVampireMorphName) >= 0)
        copy(kVampireMorphName);
    else
        record(kVampireMorphName, 1.0f, zero);
    for (const TypeMorphFamily& f : kTypeMorphFamilies)
        for (int i = 1; i <= f.count; ++i) copy(f.name + std::to_string(i));
    record(kMainMorphName, main.scale, main.deltas);
    record(kNeckHeadMorphName, neck.scale, neck.deltas);
    copy("NoseType33");
    copy("NoseType34");
    ok = ok && WriteTriTrailer(out, *tri) && PatchTriMorphCount(out, written);
    if (!ok || !out.Commit()) {
        LogMessage("    ERROR: cannot write new .tri (%s): %s; the old file is kept.", targetPath.c_str(),
                   out.Error().empty() ? "write failed" : out.Describe().c_str());
        out.Abort();
        return false;
    }
    return true;
}
