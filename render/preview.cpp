#include "render/preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/png.h"
#include "render/raster.h"

namespace render {

namespace {

constexpr const char* kMainMorph = "NoseType32";
constexpr const char* kNeckHeadMorph = "LipType33";

const TriMorph* FindMorph(const TriFile& file, std::string_view name) {
    // A file read from disk may not be indexed; a plain search costs nothing here.
    for (const TriMorph& m : file.morphs)
        if (m.name == name) return &m;
    return nullptr;
}

void AddDeltas(const TriMorph& morph, double weight, std::vector<float>& vertices) {
    const size_t n = std::min(morph.deltas.size(), vertices.size() / 3);
    const double k = static_cast<double>(morph.scale) * weight;
    for (size_t v = 0; v < n; ++v) {
        const TriDelta& d = morph.deltas[v];
        vertices[3 * v] = static_cast<float>(vertices[3 * v] + d.dx * k);
        vertices[3 * v + 1] = static_cast<float>(vertices[3 * v + 1] + d.dy * k);
        vertices[3 * v + 2] = static_cast<float>(vertices[3 * v + 2] + d.dz * k);
    }
}

std::vector<Vec3> ToPositions(const std::vector<float>& xyz) {
    std::vector<Vec3> p(xyz.size() / 3);
    for (size_t i = 0; i < p.size(); ++i) p[i] = {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]};
    return p;
}

// The game's heads: z up, the face looking along +y, x toward the character's right.
const View kFront{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}};    // seen from in front of the face
const View kProfile{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};   // from the character's right; face to the right

const Rgb kBackground{46, 50, 58};
const Vec3 kSkin{0.86, 0.72, 0.62};

// Blue for nothing through cyan, green and yellow to red for the most.
Vec3 Ramp(double t) {
    if (!std::isfinite(t)) return {0.5, 0.5, 0.5};
    t = std::clamp(t, 0.0, 1.0);
    static const Vec3 stops[5] = {{0.15, 0.25, 0.95}, {0.1, 0.8, 0.95}, {0.2, 0.85, 0.25}, {0.98, 0.88, 0.15},
                                  {0.95, 0.15, 0.1}};
    const double s = t * 4;
    const int i = std::min(static_cast<int>(s), 3);
    const double f = s - i;
    return stops[i] * (1 - f) + stops[i + 1] * f;
}

Rgb ToRgb(const Vec3& c) {
    auto ch = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return {ch(c.x), ch(c.y), ch(c.z)};
}

void Label(Image& img, const std::string& text) {
    const int scale = img.Width() >= 400 ? 2 : 1;
    img.DrawText(8, 8, text, {235, 235, 235}, scale);
}

// Skin under a key light from the side and above, a weak fill from the other side, a
// soft highlight and some darkening with depth: the nose then reads as standing out of the
// face rather than as a dark hole under a frontal light.
// Depth is measured over both shapes, so that before and after are shaded alike where they agree.
void LightSkin(Raster& raster, const Camera& camera, const std::vector<Vec3>& before, const std::vector<Vec3>& after) {
    raster.SetLight({-0.75, 0.35, 0.55}, 0.25);
    raster.SetFill({0.45, -0.25, 0.85}, 0.28);
    raster.SetHighlight(0.12, 24);
    double nearest = INFINITY, farthest = -INFINITY;
    for (const auto* positions : {&before, &after})
        for (const Vec3& p : *positions) {
            const double d = camera.Project(p).depth;
            if (!std::isfinite(d)) continue;
            nearest = std::min(nearest, d);
            farthest = std::max(farthest, d);
        }
    raster.SetDepthCue(nearest, farthest, 0.45);
}

// Before on the left, after on the right; front above, profile below; the caption on a bar
// across the top. `shots`: before-front, before-profile, after-front, after-profile.
Image SideBySide(const std::vector<Image>& shots, int size, const std::string& caption) {
    int scale = size >= 400 ? 2 : 1;
    if (Image::TextWidth(caption, scale) > 2 * size - 16) scale = 1;
    const int gap = std::max(2, size / 128), bar = Image::TextHeight(scale) + 16;
    Image out(2 * size + gap, bar + 2 * size + gap, {30, 32, 38});
    out.DrawText(8, 8, caption, {235, 235, 235}, scale);
    for (size_t i = 0; i < shots.size() && i < 4; ++i) {
        const int x0 = static_cast<int>(i / 2) * (size + gap), y0 = bar + static_cast<int>(i % 2) * (size + gap);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) out.Set(x0 + x, y0 + y, shots[i].Get(x, y));
    }
    return out;
}

std::string FormatLength(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

}  // namespace

std::vector<float> BaseVertices(const TriFile& file) {
    std::vector<float> out;
    out.reserve(file.vertices.size() * 3);
    for (const TriVertex& v : file.vertices) {
        out.push_back(v.x);
        out.push_back(v.y);
        out.push_back(v.z);
    }
    return out;
}

std::vector<float> MergedFaceVertices(const TriFile& merged) {
    std::vector<float> out = BaseVertices(merged);
    for (const char* name : {kMainMorph, kNeckHeadMorph})
        if (const TriMorph* m = FindMorph(merged, name)) AddDeltas(*m, 1.0, out);
    return out;
}

bool AddMorph(const TriFile& file, std::string_view name, double weight, std::vector<float>& vertices,
              std::string& error) {
    const TriMorph* m = FindMorph(file, name);
    if (!m) {
        error = "no morph named \"" + std::string(name) + "\" in the file";
        return false;
    }
    if (!std::isfinite(weight)) {
        error = "the weight of morph \"" + std::string(name) + "\" is not a finite number";
        return false;
    }
    if (vertices.size() != file.vertices.size() * 3) {
        error = "the file has " + std::to_string(file.vertices.size()) + " vertices, the mesh " +
                std::to_string(vertices.size() / 3);
        return false;
    }
    AddDeltas(*m, weight, vertices);
    return true;
}

bool AddMergedFace(const TriFile& merged, std::vector<float>& vertices, std::string& error) {
    if (vertices.size() != merged.vertices.size() * 3) {
        error = "the merged file has " + std::to_string(merged.vertices.size()) + " vertices, the mesh " +
                std::to_string(vertices.size() / 3);
        return false;
    }
    const TriMorph* main = FindMorph(merged, kMainMorph);
    const TriMorph* neck = FindMorph(merged, kNeckHeadMorph);
    if (!main && !neck) {
        error = "the merged file has neither a \"NoseType32\" nor a \"LipType33\" morph";
        return false;
    }
    if (main) AddDeltas(*main, 1.0, vertices);
    if (neck) AddDeltas(*neck, 1.0, vertices);
    return true;
}

bool WriteFacePreviews(const TriFile& mesh, const std::vector<float>& before, const std::vector<float>& after,
                       const std::string& outStem, int size, bool movedMap, PreviewFiles& out, std::string& error,
                       const std::function<void(size_t, size_t)>& progress, const std::string& caption) {
    const size_t expected = mesh.vertices.size() * 3;
    if (before.size() != expected || after.size() != expected) {
        error = "vertex positions do not match the mesh's " + std::to_string(mesh.vertices.size()) + " vertices";
        return false;
    }
    if (size < kMinPreviewSize || size > kMaxPreviewSize) {
        error = "picture size " + std::to_string(size) + " outside " + std::to_string(kMinPreviewSize) + ".." +
                std::to_string(kMaxPreviewSize);
        return false;
    }
    if (mesh.vertices.empty() || mesh.triangles.empty()) {
        error = "the mesh has no triangles to draw";
        return false;
    }
    const std::vector<Vec3> pb = ToPositions(before), pa = ToPositions(after);
    std::vector<Triangle> tris;
    tris.reserve(mesh.triangles.size());
    for (const TriTriangle& t : mesh.triangles) tris.push_back({t.a, t.b, t.c});
    // One winding for both shapes: the morph moves vertices, not connectivity.
    tris = OrientTriangles(pb, tris);

    Bounds box;
    for (const Vec3& p : pb) box.Add(p);
    for (const Vec3& p : pa) box.Add(p);
    if (box.Empty()) {
        error = "the mesh has no finite vertex";
        return false;
    }

    const size_t total = 4 + (movedMap ? 1 : 0) + (caption.empty() ? 0 : 1);
    size_t done = 0;
    auto write = [&](const Image& img, const std::string& suffix) {
        const std::string path = outStem + suffix;
        if (!WritePng(path, img.Width(), img.Height(), img.Bytes(), error)) return false;
        out.paths.push_back(path);
        if (progress) progress(++done, total);
        return true;
    };
    const Camera front = Camera::Fit(kFront, box, size, size, 0.06);
    const Camera profile = Camera::Fit(kProfile, box, size, size, 0.06);
    struct Shot {
        const std::vector<Vec3>* positions;
        const Camera* camera;
        const char* label;
        const char* suffix;
    };
    const Shot shots[4] = {{&pb, &front, "before, front", "-before-front.png"},
                           {&pb, &profile, "before, profile", "-before-profile.png"},
                           {&pa, &front, "after, front", "-after-front.png"},
                           {&pa, &profile, "after, profile", "-after-profile.png"}};
    std::vector<Image> drawn;
    for (const Shot& s : shots) {
        Raster raster(size, size, kBackground);
        LightSkin(raster, *s.camera, pb, pa);
        DrawMesh(raster, *s.camera, *s.positions, tris, {}, kSkin);
        Label(raster.Picture(), s.label);
        if (!write(raster.Picture(), s.suffix)) return false;
        if (!caption.empty()) drawn.push_back(raster.Picture());
    }
    if (!caption.empty() && !write(SideBySide(drawn, size, caption), "-before-after.png")) return false;
    if (!movedMap) return true;

    std::vector<double> moved(pb.size());
    double most = 0;
    for (size_t i = 0; i < pb.size(); ++i) {
        moved[i] = (pa[i] - pb[i]).Length();
        if (std::isfinite(moved[i])) most = std::max(most, moved[i]);
    }
    std::vector<Vec3> colours(pb.size());
    for (size_t i = 0; i < pb.size(); ++i) colours[i] = Ramp(most > 0 ? moved[i] / most : 0.0);
    Raster raster(size, size, kBackground);
    raster.SetLight({-0.3, 0.4, 0.87}, 0.45);  // flatter light keeps the colours readable
    DrawMesh(raster, front, pa, tris, colours, kSkin);
    Image& img = raster.Picture();
    Label(img, "moved, front");
    // Colour bar from nothing to the most, with the largest distance written under it.
    const int scale = size >= 400 ? 2 : 1;
    const int barW = size / 2, barH = std::max(6, size / 48), barX = (size - barW) / 2;
    const int barY = size - barH - 3 * Image::TextHeight(scale) - 4;
    for (int x = 0; x < barW; ++x)
        img.FillRect(barX + x, barY, barX + x + 1, barY + barH, ToRgb(Ramp(static_cast<double>(x) / (barW - 1))));
    const std::string text = most > 0 ? "max moved " + FormatLength(most) + " units" : "nothing moved";
    img.DrawText(barX, barY + barH + 4, "0", {235, 235, 235}, scale);
    const std::string maxText = FormatLength(most);
    img.DrawText(barX + barW - Image::TextWidth(maxText, scale), barY + barH + 4, maxText, {235, 235, 235}, scale);
    img.DrawText((size - Image::TextWidth(text, scale)) / 2, barY + barH + 6 + Image::TextHeight(scale) + 2, text,
                 {235, 235, 235}, scale);
    return write(img, "-moved-front.png");
}

}  // namespace render
