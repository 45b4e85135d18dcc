// A small software rasteriser: triangles with a depth buffer and smooth Lambert shading,
// seen through an orthographic camera. Triangles of either winding are drawn, because meshes
// from mods are not wound consistently.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/image.h"

namespace render {

struct Vec3 {
    double x = 0, y = 0, z = 0;
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double k) const { return {x * k, y * k, z * k}; }
    double Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 Cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double Length() const { return std::sqrt(Dot(*this)); }
    bool Finite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
};
Vec3 Normalized(const Vec3& v);  // the zero vector when v has no direction

using Triangle = std::array<uint32_t, 3>;

// --- Coverage -------------------------------------------------------------------------------

// Screen positions are in pixels, x to the right and y down; pixel (x, y) has its centre at
// (x + 0.5, y + 0.5). Positions are snapped to 1/256 pixel, so that coverage is decided exactly.
namespace detail {
struct Setup {
    int64_t ax, ay, bx, by, cx, cy;  // fixed point, turned to a positive area
    int64_t area;                    // twice the area, > 0
    int64_t biasA, biasB, biasC;     // 0 on a top or left edge, 1 elsewhere (top-left rule)
    bool swapped;                    // b and c were exchanged to get the orientation
    int minX, minY, maxX, maxY;      // pixel box, clipped to the picture
};
// False for a triangle that covers nothing: degenerate, not finite, beyond a million pixels
// from the picture (where fixed point would overflow), or outside the picture.
bool SetupTriangle(int width, int height, double ax, double ay, double bx, double by, double cx, double cy,
                   Setup& s);
}  // namespace detail

// Calls fn(x, y, la, lb, lc) once for every pixel whose centre the triangle covers, with the
// barycentric weights of a, b and c there. A pixel centre on an edge belongs to the triangle
// only when the edge is a top or a left edge, so two triangles sharing an edge cover each of
// its pixels once. Returns the number of pixels.
template <class Fn>
int ForEachCoveredPixel(int width, int height, double ax, double ay, double bx, double by, double cx, double cy,
                        Fn&& fn) {
    detail::Setup s;
    if (!detail::SetupTriangle(width, height, ax, ay, bx, by, cx, cy, s)) return 0;
    constexpr int64_t kOne = 256, kHalf = 128;
    int count = 0;
    const double inv = 1.0 / static_cast<double>(s.area);
    for (int y = s.minY; y <= s.maxY; ++y) {
        const int64_t py = y * kOne + kHalf;
        for (int x = s.minX; x <= s.maxX; ++x) {
            const int64_t px = x * kOne + kHalf;
            // Weight of each vertex: the edge function of the opposite edge.
            const int64_t wa = (s.cx - s.bx) * (py - s.by) - (s.cy - s.by) * (px - s.bx);
            const int64_t wb = (s.ax - s.cx) * (py - s.cy) - (s.ay - s.cy) * (px - s.cx);
            const int64_t wc = (s.bx - s.ax) * (py - s.ay) - (s.by - s.ay) * (px - s.ax);
            if (wa - s.biasA < 0 || wb - s.biasB < 0 || wc - s.biasC < 0) continue;
            const double la = wa * inv, lb = wb * inv, lc = wc * inv;
            if (s.swapped)
                fn(x, y, la, lc, lb);
            else
                fn(x, y, la, lb, lc);
            ++count;
        }
    }
    return count;
}

// --- Drawing --------------------------------------------------------------------------------

struct ScreenVertex {
    double x = 0, y = 0;  // pixels
    double depth = 0;     // smaller is nearer
    Vec3 normal;          // in view space: x right, y up, z toward the viewer
    Vec3 colour;          // 0..1 per channel
};

class Raster {
public:
    Raster(int width, int height, Rgb background);
    int Width() const { return image_.Width(); }
    int Height() const { return image_.Height(); }
    // `towardLight` in view space; ambient is the share of light that reaches every surface.
    void SetLight(const Vec3& towardLight, double ambient);
    // Optional cues for shape (all off by default): a second, weaker light from another side;
    // a highlight (Blinn-Phong, strength 0..1) where the surface mirrors the main light toward
    // the viewer; and a darkening by depth, `amount` at `far` and none at `near`.
    void SetFill(const Vec3& towardLight, double strength);
    void SetHighlight(double strength, int shininess);
    void SetDepthCue(double near, double far, double amount);
    // Depth-tested and shaded per pixel from the interpolated normal; a normal facing away
    // from the viewer is turned around, so the inside of an open mesh is lit too.
    // Returns the pixels that passed the depth test.
    int DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
    const Image& Picture() const { return image_; }
    Image& Picture() { return image_; }
    // +infinity where nothing was drawn.
    float Depth(int x, int y) const;

private:
    Image image_;
    std::vector<float> depth_;
    Vec3 light_{-0.45, 0.55, 0.70};
    double ambient_ = 0.25;
    Vec3 fill_{0, 0, 1};
    double fillStrength_ = 0;
    Vec3 half_{0, 0, 1};
    double highlight_ = 0;
    int shininess_ = 1;
    double cueNear_ = 0, cueFar_ = 0, cueAmount_ = 0;
};

// --- Meshes and cameras ---------------------------------------------------------------------

// Triangles turned so that neighbours sharing an edge agree in winding, and each connected
// piece faces outward (by its signed volume about its own centre). Triangles with an index out
// of range are kept as they are.
std::vector<Triangle> OrientTriangles(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles);
// Area-weighted sum of the face normals at each vertex, normalised; zero for a vertex in no
// usable triangle. Triangles with an index out of range or a non-finite vertex are left out.
std::vector<Vec3> VertexNormals(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles);

struct View {
    Vec3 right, up, toViewer;  // orthonormal, in model space
};

struct Bounds {
    Vec3 lo{INFINITY, INFINITY, INFINITY};
    Vec3 hi{-INFINITY, -INFINITY, -INFINITY};
    bool Empty() const { return !(lo.x <= hi.x); }
    void Add(const Vec3& p);  // non-finite points are left out
};

class Camera {
public:
    // Fitted so that the box, seen along the view, fills the picture less `margin` (a share of
    // each side) and is centred; one scale for both directions.
    static Camera Fit(const View& view, const Bounds& box, int width, int height, double margin);
    ScreenVertex Project(const Vec3& p) const;  // position and depth only
    Vec3 ToView(const Vec3& direction) const;
    double PixelsPerUnit() const { return scale_; }
    const View& GetView() const { return view_; }

private:
    View view_;
    double scale_ = 1;
    double centreX_ = 0, centreY_ = 0;  // view coordinates at the picture's centre
    double halfWidth_ = 0, halfHeight_ = 0;
};

// Draws a mesh with smooth shading. `colours`: one per vertex, or empty for `colour` everywhere.
// Returns the triangles that covered at least one pixel.
int DrawMesh(Raster& raster, const Camera& camera, const std::vector<Vec3>& positions,
             const std::vector<Triangle>& triangles, const std::vector<Vec3>& colours, const Vec3& colour);

}  // namespace render
