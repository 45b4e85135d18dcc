#include "render/raster.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

namespace render {

Vec3 Normalized(const Vec3& v) {
    const double len = v.Length();
    if (!(len > 0) || !std::isfinite(len)) return {};
    return v * (1.0 / len);
}

namespace detail {

namespace {
constexpr double kSub = 256.0;
// Beyond this the products of the edge functions would not fit in 64 bits.
constexpr double kMaxPixels = 1 << 20;

bool ToFixed(double v, int64_t& out) {
    if (!std::isfinite(v) || v < -kMaxPixels || v > kMaxPixels) return false;
    out = static_cast<int64_t>(std::llround(v * kSub));
    return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Top edge: horizontal with the inside below; left edge: going up on screen. With y down and
// a positive area, that is dy < 0, or dy == 0 and dx > 0.
int64_t Bias(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int64_t dx = x1 - x0, dy = y1 - y0;
    return (dy < 0 || (dy == 0 && dx > 0)) ? 0 : 1;
}
}  // namespace

bool SetupTriangle(int width, int height, double ax, double ay, double bx, double by, double cx, double cy,
                   Setup& s) {
    if (width <= 0 || height <= 0) return false;
    if (!ToFixed(ax, s.ax) || !ToFixed(ay, s.ay) || !ToFixed(bx, s.bx) || !ToFixed(by, s.by) || !ToFixed(cx, s.cx) ||
        !ToFixed(cy, s.cy))
        return false;
    s.area = (s.bx - s.ax) * (s.cy - s.ay) - (s.by - s.ay) * (s.cx - s.ax);
    if (s.area == 0) return false;
    s.swapped = s.area < 0;
    if (s.swapped) {
        std::swap(s.bx, s.cx);
        std::swap(s.by, s.cy);
        s.area = -s.area;
    }
    s.biasA = Bias(s.bx, s.by, s.cx, s.cy);
    s.biasB = Bias(s.cx, s.cy, s.ax, s.ay);
    s.biasC = Bias(s.ax, s.ay, s.bx, s.by);
    const int64_t one = static_cast<int64_t>(kSub);
    const int64_t lox = std::min({s.ax, s.bx, s.cx}), hix = std::max({s.ax, s.bx, s.cx});
    const int64_t loy = std::min({s.ay, s.by, s.cy}), hiy = std::max({s.ay, s.by, s.cy});
    s.minX = static_cast<int>(std::max<int64_t>(FloorDiv(lox, one), 0));
    s.minY = static_cast<int>(std::max<int64_t>(FloorDiv(loy, one), 0));
    s.maxX = static_cast<int>(std::min<int64_t>(FloorDiv(hix, one), width - 1));
    s.maxY = static_cast<int>(std::min<int64_t>(FloorDiv(hiy, one), height - 1));
    return s.minX <= s.maxX && s.minY <= s.maxY;
}

}  // namespace detail

Raster::Raster(int width, int height, Rgb background)
    : image_(width, height, background),
      depth_(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)),
             std::numeric_limits<float>::infinity()) {
    light_ = Normalized(light_);
    half_ = Normalized(light_ + Vec3{0, 0, 1});
}

void Raster::SetLight(const Vec3& towardLight, double ambient) {
    const Vec3 l = Normalized(towardLight);
    if (l.Length() > 0) light_ = l;
    if (std::isfinite(ambient)) ambient_ = std::clamp(ambient, 0.0, 1.0);
    half_ = Normalized(light_ + Vec3{0, 0, 1});
}

void Raster::SetFill(const Vec3& towardLight, double strength) {
    const Vec3 l = Normalized(towardLight);
    if (l.Length() > 0) fill_ = l;
    if (std::isfinite(strength)) fillStrength_ = std::clamp(strength, 0.0, 1.0);
}

void Raster::SetHighlight(double strength, int shininess) {
    if (std::isfinite(strength)) highlight_ = std::clamp(strength, 0.0, 1.0);
    shininess_ = std::clamp(shininess, 1, 256);
    half_ = Normalized(light_ + Vec3{0, 0, 1});
}

void Raster::SetDepthCue(double near, double far, double amount) {
    if (!std::isfinite(near) || !std::isfinite(far) || !std::isfinite(amount) || !(far > near)) {
        cueAmount_ = 0;
        return;
    }
    cueNear_ = near, cueFar_ = far, cueAmount_ = std::clamp(amount, 0.0, 1.0);
}

float Raster::Depth(int x, int y) const {
    if (!image_.Contains(x, y)) return std::numeric_limits<float>::infinity();
    return depth_[static_cast<size_t>(y) * static_cast<size_t>(image_.Width()) + static_cast<size_t>(x)];
}

int Raster::DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    if (!std::isfinite(a.depth) || !std::isfinite(b.depth) || !std::isfinite(c.depth)) return 0;
    int drawn = 0;
    const int width = image_.Width();
    ForEachCoveredPixel(width, image_.Height(), a.x, a.y, b.x, b.y, c.x, c.y,
                        [&](int x, int y, double la, double lb, double lc) {
                            const double z = la * a.depth + lb * b.depth + lc * c.depth;
                            float& stored = depth_[static_cast<size_t>(y) * static_cast<size_t>(width) +
                                                   static_cast<size_t>(x)];
                            if (!(z < stored)) return;
                            stored = static_cast<float>(z);
                            Vec3 n = Normalized(a.normal * la + b.normal * lb + c.normal * lc);
                            if (n.Length() == 0) n = {0, 0, 1};
                            if (n.z < 0) n = n * -1.0;
                            double lit = ambient_ + (1.0 - ambient_) * std::max(0.0, n.Dot(light_)) +
                                         fillStrength_ * std::max(0.0, n.Dot(fill_));
                            if (cueAmount_ > 0)
                                lit *= 1.0 - cueAmount_ * std::clamp((z - cueNear_) / (cueFar_ - cueNear_), 0.0, 1.0);
                            Vec3 col = (a.colour * la + b.colour * lb + c.colour * lc) * lit;
                            if (highlight_ > 0) {
                                // Repeated products, not pow(): the same bytes from every C library.
                                const double base = std::max(0.0, n.Dot(half_));
                                double h = highlight_;
                                for (int k = 0; k < shininess_; ++k) h *= base;
                                col = col + Vec3{h, h, h};
                            }
                            auto channel = [](double v) {
                                if (!(v > 0)) return uint8_t{0};
                                if (v >= 1) return uint8_t{255};
                                return static_cast<uint8_t>(v * 255.0 + 0.5);
                            };
                            image_.Set(x, y, {channel(col.x), channel(col.y), channel(col.z)});
                            ++drawn;
                        });
    return drawn;
}

namespace {
bool Usable(const std::vector<Vec3>& positions, const Triangle& t) {
    return t[0] < positions.size() && t[1] < positions.size() && t[2] < positions.size();
}
uint64_t EdgeKey(uint32_t p, uint32_t q) {
    if (p > q) std::swap(p, q);
    return (static_cast<uint64_t>(p) << 32) | q;
}
// True when the triangle runs p -> q (rather than q -> p) along that edge.
bool Runs(const Triangle& t, uint32_t p, uint32_t q) {
    for (int i = 0; i < 3; ++i)
        if (t[i] == p && t[(i + 1) % 3] == q) return true;
    return false;
}
}  // namespace

std::vector<Triangle> OrientTriangles(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles) {
    std::vector<Triangle> out = triangles;
    std::unordered_map<uint64_t, std::vector<uint32_t>> byEdge;
    byEdge.reserve(triangles.size() * 2);
    for (uint32_t i = 0; i < out.size(); ++i) {
        if (!Usable(positions, out[i])) continue;
        for (int e = 0; e < 3; ++e) byEdge[EdgeKey(out[i][e], out[i][(e + 1) % 3])].push_back(i);
    }
    std::vector<char> seen(out.size(), 0);
    std::vector<uint32_t> piece, queue;
    for (uint32_t start = 0; start < out.size(); ++start) {
        if (seen[start] || !Usable(positions, out[start])) continue;
        piece.clear();
        queue.assign(1, start);
        seen[start] = 1;
        while (!queue.empty()) {
            const uint32_t t = queue.back();
            queue.pop_back();
            piece.push_back(t);
            for (int e = 0; e < 3; ++e) {
                const uint32_t p = out[t][e], q = out[t][(e + 1) % 3];
                for (uint32_t u : byEdge[EdgeKey(p, q)]) {
                    if (seen[u]) continue;
                    seen[u] = 1;
                    // A neighbour that agrees runs the shared edge the other way.
                    if (Runs(out[u], p, q)) std::swap(out[u][1], out[u][2]);
                    queue.push_back(u);
                }
            }
        }
        Vec3 centre;
        size_t n = 0;
        for (uint32_t t : piece)
            for (uint32_t v : out[t])
                if (positions[v].Finite()) centre = centre + positions[v], ++n;
        if (n > 0) centre = centre * (1.0 / static_cast<double>(n));
        double volume = 0;
        for (uint32_t t : piece) {
            const Vec3 a = positions[out[t][0]] - centre, b = positions[out[t][1]] - centre,
                       c = positions[out[t][2]] - centre;
            const double v = a.Dot(b.Cross(c));
            if (std::isfinite(v)) volume += v;
        }
        if (volume < 0)
            for (uint32_t t : piece) std::swap(out[t][1], out[t][2]);
    }
    return out;
}

std::vector<Vec3> VertexNormals(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles) {
    std::vector<Vec3> sum(positions.size());
    for (const Triangle& t : triangles) {
        if (!Usable(positions, t)) continue;
        const Vec3 &a = positions[t[0]], &b = positions[t[1]], &c = positions[t[2]];
        if (!a.Finite() || !b.Finite() || !c.Finite()) continue;
        // The cross product's length is twice the area: the weighting comes for free.
        const Vec3 n = (b - a).Cross(c - a);
        if (!n.Finite()) continue;
        for (uint32_t v : t) sum[v] = sum[v] + n;
    }
    for (Vec3& n : sum) n = Normalized(n);
    return sum;
}

void Bounds::Add(const Vec3& p) {
    if (!p.Finite()) return;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

Camera Camera::Fit(const View& view, const Bounds& box, int width, int height, double margin) {
    Camera cam;
    cam.view_ = view;
    cam.halfWidth_ = width / 2.0;
    cam.halfHeight_ = height / 2.0;
    if (box.Empty()) return cam;
    double loR = INFINITY, hiR = -INFINITY, loU = INFINITY, hiU = -INFINITY;
    for (int i = 0; i < 8; ++i) {
        const Vec3 p{(i & 1) ? box.hi.x : box.lo.x, (i & 2) ? box.hi.y : box.lo.y, (i & 4) ? box.hi.z : box.lo.z};
        const double r = p.Dot(view.right), u = p.Dot(view.up);
        loR = std::min(loR, r), hiR = std::max(hiR, r), loU = std::min(loU, u), hiU = std::max(hiU, u);
    }
    margin = std::isfinite(margin) ? std::clamp(margin, 0.0, 0.45) : 0.0;
    const double usableW = width * (1 - 2 * margin), usableH = height * (1 - 2 * margin);
    double scale = INFINITY;
    if (hiR - loR > 0) scale = std::min(scale, usableW / (hiR - loR));
    if (hiU - loU > 0) scale = std::min(scale, usableH / (hiU - loU));
    cam.scale_ = (std::isfinite(scale) && scale > 0) ? scale : 1.0;
    cam.centreX_ = (loR + hiR) / 2;
    cam.centreY_ = (loU + hiU) / 2;
    return cam;
}

ScreenVertex Camera::Project(const Vec3& p) const {
    ScreenVertex s;
    s.x = halfWidth_ + (p.Dot(view_.right) - centreX_) * scale_;
    s.y = halfHeight_ - (p.Dot(view_.up) - centreY_) * scale_;
    s.depth = -p.Dot(view_.toViewer);
    return s;
}

Vec3 Camera::ToView(const Vec3& d) const { return {d.Dot(view_.right), d.Dot(view_.up), d.Dot(view_.toViewer)}; }

int DrawMesh(Raster& raster, const Camera& camera, const std::vector<Vec3>& positions,
             const std::vector<Triangle>& triangles, const std::vector<Vec3>& colours, const Vec3& colour) {
    const std::vector<Vec3> normals = VertexNormals(positions, triangles);
    std::vector<ScreenVertex> screen(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        screen[i] = camera.Project(positions[i]);
        screen[i].normal = camera.ToView(normals[i]);
        screen[i].colour = colours.size() == positions.size() ? colours[i] : colour;
    }
    int drawn = 0;
    for (const Triangle& t : triangles) {
        if (!Usable(positions, t)) continue;
        if (raster.DrawTriangle(screen[t[0]], screen[t[1]], screen[t[2]]) > 0) ++drawn;
    }
    return drawn;
}

}  // namespace render
