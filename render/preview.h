// Pictures of a head mesh before and after a face is applied: front and profile views under
// one camera, and a colour map of how far each vertex moved.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "morph/tri_format.h"

namespace render {

// Vertex positions (x,y,z per vertex) of a file written by SetMergedMorphs / `vultrane merge`,
// before and after its merged face: the file's own vertices, and those plus its "NoseType32"
// and "LipType33" morphs at weight 1 (deltas times scale).
std::vector<float> BaseVertices(const TriFile& file);
std::vector<float> MergedFaceVertices(const TriFile& merged);

// Adds morph `name` of `file` at `weight` (deltas times scale times weight) to `vertices`
// (x,y,z per vertex, file.vertexCount of them). False with `error` set when the file has no
// such morph or the vertex counts differ; `vertices` is then unchanged.
bool AddMorph(const TriFile& file, std::string_view name, double weight, std::vector<float>& vertices,
              std::string& error);
// Adds the merged face of `merged` (its "NoseType32" and "LipType33" at weight 1, those it has)
// to `vertices` of another mesh with the same vertex count. False with `error` when the counts
// differ or the file holds neither morph.
bool AddMergedFace(const TriFile& merged, std::vector<float>& vertices, std::string& error);

struct PreviewFiles {
    std::vector<std::string> paths;  // written, in order
};

// Writes <outStem>-before-front.png, -before-profile.png, -after-front.png, -after-profile.png and,
// when movedMap, -moved-front.png (colour map of how far each vertex moved); the same camera
// for before and after. `mesh` gives the triangles; `before`/`after` have mesh.vertices.size()*3 floats.
// `progress`, when given, is called with (pictures done, pictures in all). With a `caption`, also
// <outStem>-before-after.png: the four views in one picture, before left and after right, under
// the caption.
bool WriteFacePreviews(const TriFile& mesh, const std::vector<float>& before, const std::vector<float>& after,
                       const std::string& outStem, int size, bool movedMap, PreviewFiles& out, std::string& error,
                       const std::function<void(size_t, size_t)>& progress = {}, const std::string& caption = {});

constexpr int kMinPreviewSize = 32;
constexpr int kMaxPreviewSize = 4096;  // about 120 MB of picture and depth buffer

}  // namespace render
