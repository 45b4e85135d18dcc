// A shaded orthographic picture of a model (front and right profile side by side), so that
// the generated meshes and a morph's effect can be looked at. PNG, uncompressed.
#pragma once

#include <string>
#include <vector>

#include "tools/trigen/geometry.h"

namespace trigen {

struct PictureMesh {
    const Mesh* mesh;
    std::vector<Vec3> offsets;  // added to the vertices; empty for none
    unsigned char colour[3];
};

// Rows of views: each row shows its meshes from the front and from the right side; moved
// vertices are tinted red by how far they moved.
std::string RenderPicture(const std::vector<std::vector<PictureMesh>>& rows, double pixelsPerUnit);

// PNG bytes of an RGB image (stored deflate blocks).
std::string EncodePng(int width, int height, const std::vector<unsigned char>& rgb);

}  // namespace trigen
