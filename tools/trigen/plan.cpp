#include "tools/trigen/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "config/text.h"
#include "os/os.h"
#include "tools/trigen/morphs.h"

namespace trigen {

namespace {

constexpr int kTypeMorphCounts[] = {39, 32, 31};  // EyesType, LipType, NoseType
constexpr int kSexCodes[] = {2, 1};               // female, male

Sex SexOfCode(int sexCode) { return sexCode == 2 ? Sex::kFemale : Sex::kMale; }

void AddUnique(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::string Format(const char* format, auto... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof(buffer), format, args...);
    return buffer;
}

}  // namespace

std::vector<std::string> RequiredMorphNames() {
    std::vector<std::string> names(kFaceMorphNames.begin(), kFaceMorphNames.end());
    names.push_back("VampireMorph");
    for (size_t f = 0; f < kTypeMorphNames.size(); ++f)
        for (int i = 1; i <= kTypeMorphCounts[f]; ++i) names.push_back(kTypeMorphNames[f] + std::to_string(i));
    for (const char* n :
         {"NoseType33", "NoseType34", "VTR_NeckShortNPC", "VTR_NeckLongNPC", "VTR_HeadSmallNPC", "VTR_HeadLargeNPC"})
        names.push_back(n);
    return names;
}

std::vector<std::string> SliderMorphNames(const RaceSetting& raceSetting, int sexCode, double sliderScale) {
    std::vector<std::string> names;
    for (const SliderDef& s : raceSetting.sliders) {
        if ((s.sexMask & sexCode) == 0) continue;
        if (s.type == kSliderMorphPair) {
            AddUnique(names, s.lowTarget);
            AddUnique(names, s.target);
        } else if (s.type == kSliderMorph) {
            // The merge looks up the value rounded to a whole number over the menu's range.
            const double scale = sliderScale > 0 ? sliderScale : 1.0;
            const long low = std::max(0l, std::lround(s.minValue * scale));
            const long high = std::min(999l, std::lround(s.maxValue * scale));
            for (long i = low; i <= high; ++i) AddUnique(names, s.target + std::to_string(i));
        }
    }
    return names;
}

std::optional<MeshKind> TargetMeshKind(const std::string& targetPath) {
    const size_t cut = targetPath.find_last_of("\\/");
    const std::string file = ToLower(cut == std::string::npos ? targetPath : targetPath.substr(cut + 1));
    if (file.find("eyes") != std::string::npos) return MeshKind::kEyes;
    if (file.find("mouth") != std::string::npos) return MeshKind::kMouth;
    if (file.find("head") != std::string::npos) return MeshKind::kHead;
    return std::nullopt;
}

Plan MakePlan(const Configuration& config) {
    Plan plan;
    const std::vector<std::string> required = RequiredMorphNames();
    for (const RaceSetting& r : config.raceSettings) {
        for (int sexCode : kSexCodes) {
            const std::vector<std::string>& targets = r.TargetNames(sexCode);
            const std::vector<std::vector<std::string>>& sources = r.SourceSets(sexCode);
            std::vector<std::string> morphs = required;
            for (const std::string& n : SliderMorphNames(r, sexCode, config.sliderScale)) AddUnique(morphs, n);
            for (size_t i = 0; i < targets.size() && i < sources.size(); ++i) {
                const std::optional<MeshKind> kind = TargetMeshKind(targets[i]);
                if (!kind) {
                    plan.errors.push_back("race set " + r.raceSetName + ": no mesh for target " + targets[i] +
                                          " (its file name names no head, eyes or mouth)");
                    continue;
                }
                for (size_t k = 0; k < sources[i].size(); ++k) {
                    const std::string path = r.iniDirectory + sources[i][k];
                    const std::string key = ToLower(os::ResolvePath(path));
                    auto same = std::find_if(plan.files.begin(), plan.files.end(), [&](const SourceFile& f) {
                        return ToLower(os::ResolvePath(f.path)) == key;
                    });
                    if (same == plan.files.end()) {
                        plan.files.push_back({path, *kind, SexOfCode(sexCode), {}, {}});
                        same = plan.files.end() - 1;
                    } else if (same->kind != *kind || same->sex != SexOfCode(sexCode)) {
                        plan.errors.push_back(path + " is a source of both a " + SexName(same->sex) + " " +
                                              MeshKindName(same->kind) + " and a " + SexName(SexOfCode(sexCode)) + " " +
                                              MeshKindName(*kind) + "; one file has one mesh");
                        continue;
                    }
                    AddUnique(same->targets, targets[i]);
                    if (k == 0)
                        for (const std::string& n : morphs) AddUnique(same->morphs, n);
                }
            }
        }
    }
    return plan;
}

std::vector<std::string> TargetFolders(const Configuration& config) {
    std::vector<std::string> folders;
    for (const RaceSetting& r : config.raceSettings) {
        for (int sexCode : kSexCodes) {
            for (const std::string& target : r.TargetNames(sexCode)) {
                for (size_t cut = target.find('\\'); cut != std::string::npos; cut = target.find('\\', cut + 1)) {
                    const std::string folder = target.substr(0, cut);
                    const bool known = std::any_of(folders.begin(), folders.end(),
                                                   [&](const std::string& f) { return ToLower(f) == ToLower(folder); });
                    if (!folder.empty() && !known) folders.push_back(folder);
                }
            }
        }
    }
    return folders;
}

TriFile BuildTriFile(const SourceFile& file, std::string& error) {
    const HeadModel& model = Model(file.sex);
    const Mesh& mesh = model.Get(file.kind);
    TriFile tri;
    tri.name = file.path;
    tri.vertexCount = static_cast<uint32_t>(mesh.vertices.size());
    tri.triangleCount = static_cast<uint32_t>(mesh.triangles.size());
    tri.uvCount = static_cast<uint32_t>(mesh.uvs.size());
    for (const Vec3& p : mesh.vertices)
        tri.vertices.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
    for (const Tri& t : mesh.triangles) tri.triangles.push_back({t.a, t.b, t.c});
    for (const Uv& uv : mesh.uvs) tri.uvs.push_back({static_cast<float>(uv.u), static_cast<float>(uv.v)});
    for (const Tri& t : mesh.uvTriangles) tri.uvTriangles.push_back({t.a, t.b, t.c});
    for (const std::string& name : file.morphs) {
        const std::optional<MorphShape> shape = FindMorphShape(name, model.marks);
        if (!shape) {
            error = file.path + ": no shape for the morph \"" + name +
                    "\" (name a feature such as Nose, Brow, Eye, Lip, Mouth, Chin, Jaw or Cheek and a direction such "
                    "as Up, Down, Out, In, Wide or Narrow)";
            return {};
        }
        tri.morphs.push_back(QuantiseMorph(name, MorphOffsets(*shape, model, file.kind)));
    }
    return tri;
}

namespace {

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 255u));
}
void PutName(std::string& out, const std::string& name) {
    PutU32(out, static_cast<uint32_t>(name.size() + 1));
    out += name;
    out.push_back('\0');
}

}  // namespace

void AddEveryBlock(TriFile& tri, bool perVertexUvs) {
    const uint32_t v = tri.vertexCount;
    if (v == 0) return;
    // Statistical morphs over runs of vertices, each vertex with its modified position.
    static const char* const kModifierNames[] = {"BlinkLeft", "BlinkRight", "SquintLeft", "SquintRight"};
    tri.modifierMorphs.clear();
    tri.modifierVertices.clear();
    uint32_t first = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t n = std::min<uint32_t>(v, 7 + 5 * k);
        PutName(tri.modifierMorphs, kModifierNames[k]);
        PutU32(tri.modifierMorphs, n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t index = (first + i * 3) % v;
            PutU32(tri.modifierMorphs, index);
            TriVertex p = index < tri.vertices.size() ? tri.vertices[index] : TriVertex{0, 0, 0};
            p.z -= 0.05f * static_cast<float>(k + 1);
            tri.modifierVertices.push_back(p);
        }
        first += n;
    }
    tri.modifierMorphCount = 4;
    tri.modifierVertexCount = static_cast<uint32_t>(tri.modifierVertices.size());

    // Quads over consecutive vertices; their texture quads use the same indices, kept in range.
    tri.quads.clear();
    tri.uvQuads.clear();
    for (uint32_t q = 0; q < 3 && v >= 4; ++q) {
        const uint32_t a = (q * 4) % (v - 3);
        tri.quads.push_back({a, a + 1, a + 2, a + 3});
    }
    tri.quadCount = static_cast<uint32_t>(tri.quads.size());

    tri.labelledVertices.clear();
    tri.labelledVertexCount = 0;
    for (auto [index, name] : {std::pair{0u, "Crown"}, std::pair{v / 2, "Middle"}, std::pair{v - 1, "Last"}}) {
        PutU32(tri.labelledVertices, index);
        PutName(tri.labelledVertices, name);
        ++tri.labelledVertexCount;
    }
    tri.labelledPoints.clear();
    tri.labelledPointCount = 0;
    if (tri.triangleCount > 0) {
        // A triangle and two barycentric coordinates.
        const float half = 0.5f;
        uint32_t bits;
        std::memcpy(&bits, &half, sizeof bits);
        for (auto [triangle, name] : {std::pair{0u, "FirstFace"}, std::pair{tri.triangleCount - 1, "LastFace"}}) {
            PutU32(tri.labelledPoints, triangle);
            PutU32(tri.labelledPoints, bits);
            PutU32(tri.labelledPoints, bits);
            PutName(tri.labelledPoints, name);
            ++tri.labelledPointCount;
        }
    }

    if (perVertexUvs) {
        tri.uvs.resize(v, TriUv{0, 0});
        tri.uvCount = 0;
        tri.uvTriangles.clear();
        tri.uvQuads.clear();
        tri.flags |= kTriFlagTextureCoordinates;
    } else if (tri.uvCount > 0) {
        for (const TriQuad& q : tri.quads)
            tri.uvQuads.push_back({q.a % tri.uvCount, q.b % tri.uvCount, q.c % tri.uvCount, q.d % tri.uvCount});
    }
}

std::vector<uint32_t> VertexUvIndex(const Mesh& mesh) {
    std::vector<uint32_t> out(mesh.vertices.size(), UINT32_MAX);
    for (size_t i = 0; i < mesh.triangles.size() && i < mesh.uvTriangles.size(); ++i) {
        const Tri& t = mesh.triangles[i];
        const Tri& u = mesh.uvTriangles[i];
        for (auto [v, uv] : {std::pair{t.a, u.a}, std::pair{t.b, u.b}, std::pair{t.c, u.c}})
            if (out[v] == UINT32_MAX) out[v] = uv;
    }
    return out;
}

uint32_t NearestVertex(const Mesh& mesh, const Vec3& point, bool rightSide, uint32_t first, uint32_t end) {
    uint32_t best = UINT32_MAX;
    double bestDistance = 0;
    end = std::min<uint32_t>(end, static_cast<uint32_t>(mesh.vertices.size()));
    for (uint32_t i = first; i < end; ++i) {
        if (rightSide && mesh.vertices[i].x < 0) continue;
        const double d = (mesh.vertices[i] - point).Length();
        if (best == UINT32_MAX || d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

namespace {

// Eyelid points around one eyeball and the matching eyeball vertices.
struct EyelidPair {
    const char* where;
    uint32_t headVertex, eyeVertex;
};

std::vector<EyelidPair> EyelidPairs(const HeadModel& model) {
    const Landmarks& m = model.marks;
    const double r = m.eyeRadius;
    const uint32_t perEye = static_cast<uint32_t>(model.eyes.vertices.size() / 2);
    std::vector<EyelidPair> out;
    for (int side = 0; side < 2; ++side) {
        const double sx = side == 0 ? 1.0 : -1.0;
        const Vec3 centre{sx * m.eye.x, m.eye.y, m.eye.z};
        const struct {
            const char* where;
            Vec3 at;
        } lids[] = {{"upper lid", {0, 0.75 * r, 0.55 * r}},
                    {"lower lid", {0, 0.75 * r, -0.55 * r}},
                    {"inner corner", {-sx * 0.8 * r, 0.55 * r, 0}},
                    {"outer corner", {sx * 0.8 * r, 0.55 * r, 0}}};
        for (const auto& lid : lids) {
            const Vec3 p = centre + lid.at;
            const uint32_t head = NearestVertex(model.head, p, false);
            const uint32_t eye =
                NearestVertex(model.eyes, model.head.vertices[head], false, side * perEye, (side + 1) * perEye);
            out.push_back({lid.where, head, eye});
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> CheckVertexEdits(const Configuration& config) {
    std::vector<std::string> errors;
    std::set<const vertexEditData*> seen;
    for (const RaceSetting& r : config.raceSettings) {
        if (!r.vertexEdit || !seen.insert(r.vertexEdit).second) continue;
        const std::string file = r.vertexEdit->path;
        for (int sexCode : kSexCodes) {
            const VertexEditSexBlock& b = r.vertexEdit->Block(sexCode);
            if (b.name.empty() && b.mainRecords.empty() && b.extraModels.empty()) continue;
            const HeadModel& model = Model(SexOfCode(sexCode));
            const std::vector<std::string>& targets = r.TargetNames(sexCode);
            auto meshOf = [&](const std::string& target) -> const Mesh* {
                if (std::find(targets.begin(), targets.end(), target) == targets.end()) return nullptr;
                const std::optional<MeshKind> kind = TargetMeshKind(target);
                return kind ? &model.Get(*kind) : nullptr;
            };
            const char* sex = SexName(SexOfCode(sexCode));
            const Mesh* main = meshOf(b.name);
            if (!main) {
                errors.push_back(file + ": the " + sex + " main model " + b.name + " is no " + sex + " target of " +
                                 r.raceSetName);
                continue;
            }
            const auto count = static_cast<int32_t>(main->vertices.size());
            if (b.vertexNum != count)
                errors.push_back(Format("%s: %s vertexnum=%d, the generated mesh has %d vertices", file.c_str(), sex,
                                        b.vertexNum, count));
            for (const MainVertexRecord& rec : b.mainRecords) {
                if (rec.vertexID < 0 || rec.vertexID >= count || rec.mirrorVertID < 0 || rec.mirrorVertID >= count) {
                    errors.push_back(Format("%s: %s record %d, %d: not a vertex of the mesh", file.c_str(), sex,
                                            rec.vertexID, rec.mirrorVertID));
                    continue;
                }
                if (main->mirror[static_cast<size_t>(rec.vertexID)] != static_cast<uint32_t>(rec.mirrorVertID))
                    errors.push_back(Format("%s: %s record %d, %d: the mirror image of %d is %u", file.c_str(), sex,
                                            rec.vertexID, rec.mirrorVertID, rec.vertexID,
                                            main->mirror[static_cast<size_t>(rec.vertexID)]));
                if (rec.uvPosX < 0 || rec.uvPosX >= kUvPictureSize || rec.uvPosY < 0 || rec.uvPosY >= kUvPictureSize)
                    errors.push_back(Format("%s: %s record %d: UV position outside the %d-pixel picture", file.c_str(),
                                            sex, rec.vertexID, kUvPictureSize));
            }
            for (const ExtraModelEntry& e : b.extraModels) {
                const Mesh* extra = meshOf(e.name);
                if (!extra) {
                    errors.push_back(file + ": the " + sex + " extra model " + e.name + " is no " + sex +
                                     " target of " + r.raceSetName);
                    continue;
                }
                for (const auto& [head, other] : e.pairs) {
                    if (head < 0 || head >= count || other < 0 ||
                        other >= static_cast<int32_t>(extra->vertices.size())) {
                        errors.push_back(Format("%s: %s extra pair %d, %d: not vertices of the meshes", file.c_str(),
                                                sex, head, other));
                        continue;
                    }
                    const double apart =
                        (main->vertices[static_cast<size_t>(head)] - extra->vertices[static_cast<size_t>(other)])
                            .Length();
                    if (apart > 2.0 * model.marks.eyeRadius)
                        errors.push_back(Format("%s: %s extra pair %d, %d: the vertices are %.2f apart", file.c_str(),
                                                sex, head, other, apart));
                }
            }
        }
    }
    return errors;
}

std::string SuggestVertexEdit(Sex sex) {
    const HeadModel& model = Model(sex);
    const Mesh& head = model.head;
    const Landmarks& m = model.marks;
    const std::vector<uint32_t> uv = VertexUvIndex(head);
    std::string out = Format("# %s head: %zu vertices\n", SexName(sex), head.vertices.size());
    const struct {
        const char* what;
        Vec3 at;
    } spots[] = {{"cheekbone", m.cheekbone},
                 {"nose wing", m.noseWing},
                 {"mouth corner", m.mouthCorner},
                 {"lower eyelid", m.eye + Vec3{0.3 * m.eyeRadius, 0.7 * m.eyeRadius, -0.65 * m.eyeRadius}}};
    auto pixel = [](double c) { return std::clamp(static_cast<int>(c * kUvPictureSize), 0, kUvPictureSize - 1); };
    for (const auto& s : spots) {
        const uint32_t v = NearestVertex(head, s.at, true);
        out += Format("# %s, right and left\n", s.what);
        std::string line;
        for (uint32_t i : {v, head.mirror[v]}) {
            const Uv& t = head.uvs[uv[i]];
            line += Format("%s%u, %u, %d, %d", line.empty() ? "" : ",   ", i, head.mirror[i], pixel(t.u), pixel(t.v));
        }
        out += line + "\n";
    }
    out += "# extra model pairs (head vertex, eyeball vertex)\n";
    for (const EyelidPair& p : EyelidPairs(model))
        out += Format("# %s, %s eye\n%u, %u\n", p.where, model.head.vertices[p.headVertex].x > 0 ? "right" : "left",
                      p.headVertex, p.eyeVertex);
    return out;
}

}  // namespace trigen
