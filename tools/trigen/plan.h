// Which source morph files the example configuration names, what mesh and morphs each gets,
// and the files' contents. Read from the loaded configuration, so that a slider added to a
// race set gets its morph on the next build.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/model.h"
#include "morph/tri_format.h"
#include "tools/trigen/geometry.h"

namespace trigen {

struct SourceFile {
    std::string path;  // as the race set names it: its folder followed by the file name
    MeshKind kind = MeshKind::kHead;
    Sex sex = Sex::kFemale;
    std::vector<std::string> targets;  // the target paths it is a source of
    std::vector<std::string> morphs;   // in file order
};

struct Plan {
    std::vector<SourceFile> files;
    std::vector<std::string> errors;
};

// The morphs every file holds: the game's face morphs, VampireMorph, the type families, the
// reserved slots NoseType33 and NoseType34, and the neck and head morphs.
std::vector<std::string> RequiredMorphNames();
// The morph names that a race set's sliders of a sex look up: both morphs of a type-0
// slider, family name and number over a type-1 slider's range.
std::vector<std::string> SliderMorphNames(const RaceSetting& raceSetting, int sexCode, double sliderScale);
// The mesh a target path stands for, from its file name (…head…, …eyes…, …mouth…).
std::optional<MeshKind> TargetMeshKind(const std::string& targetPath);

// Every source file of every target of every race set. The sources of one target share its
// mesh; the first source of a target holds the morphs, the others (if any) only the mesh, so
// that the cache's first-name lookup finds each morph once.
Plan MakePlan(const Configuration& config);

// The folders of the race sets' target files, each with the folders above it, outermost
// first ("data", "data\meshes", ...): the game's folder has them, and the plug-in writes its
// merged files there without creating folders.
std::vector<std::string> TargetFolders(const Configuration& config);

// The file's contents; the error text names a morph without a shape.
TriFile BuildTriFile(const SourceFile& file, std::string& error);

// Adds the blocks that real files may carry besides vertices, triangles, texture coordinates and
// difference morphs, made from the file's own mesh so that every reader and writer path is
// exercised without outside files: modifier vertices with the statistical morphs over them,
// quads (and their texture quads), labelled vertices and labelled surface points. With
// `perVertexUvs` the texture layout becomes one pair per vertex and no texture triangles.
void AddEveryBlock(TriFile& tri, bool perVertexUvs = false);

// The race sets' vertex-edit data checked against the generated meshes: vertex count,
// indices in range, mirror partners that are mirror images, extra-model pairs of vertices
// that lie close together.
std::vector<std::string> CheckVertexEdits(const Configuration& config);

// Vertex-edit lines for the generated meshes of a sex, with comments: records for cheekbones,
// nose wings, mouth corners and lower eyelids; pairs of eyelid vertices and eyeball vertices.
std::string SuggestVertexEdit(Sex sex);

// Index of each vertex's first texture coordinate (through the texture triangles).
std::vector<uint32_t> VertexUvIndex(const Mesh& mesh);
// The vertex nearest to a point, among those with x >= 0 when `rightSide`.
uint32_t NearestVertex(const Mesh& mesh, const Vec3& point, bool rightSide, uint32_t first = 0,
                       uint32_t end = UINT32_MAX);

constexpr int kUvPictureSize = 256;  // the vertex editor's UV map picture, in pixels

}  // namespace trigen
