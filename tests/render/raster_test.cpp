#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "render/raster.h"

namespace {

using render::Triangle;
using render::Vec3;

struct Pt {
    double x, y;
};

// Per-pixel count of how often the triangles covered it.
std::vector<int> Coverage(int w, int h, const std::vector<std::array<Pt, 3>>& tris) {
    std::vector<int> count(static_cast<size_t>(w) * h, 0);
    for (const auto& t : tris)
        render::ForEachCoveredPixel(w, h, t[0].x, t[0].y, t[1].x, t[1].y, t[2].x, t[2].y,
                                    [&](int x, int y, double, double, double) { ++count[y * w + x]; });
    return count;
}

TEST(Raster, TopLeftRuleCoversSharedEdgesOnce) {
    auto count = [](Pt a, Pt b, Pt c) {
        return render::ForEachCoveredPixel(20, 20, a.x, a.y, b.x, b.y, c.x, c.y, [](int, int, double, double, double) {});
    };
    // Vertices on pixel centres put whole rows of centres on the edges.
    const Pt a{0.5, 0.5}, b{10.5, 0.5}, c{0.5, 10.5}, d{10.5, 10.5};
    EXPECT_EQ(count(a, b, c), 55);  // top and left edges in, the diagonal out
    EXPECT_EQ(count(a, c, b), 55);  // either winding
    EXPECT_EQ(count(b, d, c), 45);  // owns the diagonal, not its right and bottom edges
    EXPECT_EQ(count(b, c, d), 45);

    const std::vector<int> cov = Coverage(20, 20, {{a, b, c}, {b, c, d}});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) EXPECT_EQ(cov[y * 20 + x], (x < 10 && y < 10) ? 1 : 0) << x << "," << y;

    // Barycentric weights reproduce the position and sum to one.
    render::ForEachCoveredPixel(20, 20, 1, 1, 15, 3, 4, 17, [](int x, int y, double la, double lb, double lc) {
        EXPECT_NEAR(la + lb + lc, 1.0, 1e-12);
        EXPECT_NEAR(la * 1 + lb * 15 + lc * 4, x + 0.5, 1e-2);
        EXPECT_NEAR(la * 1 + lb * 3 + lc * 17, y + 0.5, 1e-2);
    });
}

TEST(Raster, JitteredGridOfMixedWindingCoversEachPixelOnce) {
    // A 10x10 grid of quads over [2.25, 42.25], inner vertices moved at random (some onto pixel
    // centres), each triangle wound at random: the square's 40x40 pixels are covered once each.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-1.5, 1.5);
    const int n = 10;
    std::vector<Pt> grid((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            Pt p{2.25 + 4.0 * i, 2.25 + 4.0 * j};
            if (i > 0 && i < n && j > 0 && j < n) {
                p.x += jitter(rng);
                p.y += jitter(rng);
                if ((i + j) % 3 == 0) p = {std::floor(p.x) + 0.5, std::floor(p.y) + 0.5};
            }
            grid[j * (n + 1) + i] = p;
        }
    std::vector<std::array<Pt, 3>> tris;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const Pt p00 = grid[j * (n + 1) + i], p10 = grid[j * (n + 1) + i + 1], p01 = grid[(j + 1) * (n + 1) + i],
                     p11 = grid[(j + 1) * (n + 1) + i + 1];
            std::array<Pt, 3> t1{p00, p10, p11}, t2{p00, p11, p01};
            if (rng() & 1) std::swap(t1[1], t1[2]);
            if (rng() & 1) std::swap(t2[1], t2[2]);
            tris.push_back(t1);
            tris.push_back(t2);
        }
    const std::vector<int> cov = Coverage(48, 48, tris);
    int twice = 0, missing = 0, outside = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const bool inside = x >= 2 && x < 42 && y >= 2 && y < 42;
            const int c = cov[y * 48 + x];
            if (c > 1) ++twice;
            if (inside && c == 0) ++missing;
            if (!inside && c != 0) ++outside;
        }
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(outside, 0);
}

TEST(Raster, DegenerateAndNonFiniteTrianglesDrawNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    auto count = [](double ax, double ay, double bx, double by, double cx, double cy) {
        return render::ForEachCoveredPixel(16, 16, ax, ay, bx, by, cx, cy, [](int, int, double, double, double) {});
    };
    EXPECT_EQ(count(1, 1, 8, 8, 15, 15), 0);  // collinear
    EXPECT_EQ(count(3, 3, 3, 3, 3, 3), 0);    // a point
    EXPECT_EQ(count(nan, 1, 8, 1, 1, 8), 0);
    EXPECT_EQ(count(1, 1, inf, 1, 1, 8), 0);
    EXPECT_EQ(count(1, 1, 1e30, 1, 1, 1e30), 0);
    EXPECT_EQ(count(-40, -40, -20, -40, -40, -20), 0);  // off the picture
    // Clipped at the picture's edges: the part inside, no more.
    EXPECT_EQ(count(-5, -5, 5, -5, 5, 5) + count(-5, -5, 5, 5, -5, 5), 25);
    EXPECT_EQ(render::ForEachCoveredPixel(0, 0, 0, 0, 5, 0, 0, 5, [](int, int, double, double, double) {}), 0);

    render::Raster raster(16, 16, {0, 0, 0});
    render::ScreenVertex a, b, c;
    a.x = 1, a.y = 1, b.x = 12, b.y = 1, c.x = 1, c.y = 12;
    c.depth = nan;
    EXPECT_EQ(raster.DrawTriangle(a, b, c), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_TRUE(std::isinf(raster.Depth(x, y)));
}

TEST(Raster, NearerTriangleWinsWhateverTheOrder) {
    for (int order = 0; order < 2; ++order) {
        render::Raster raster(20, 20, {0, 0, 0});
        render::ScreenVertex v[6];
        const double xy[6][2] = {{0, 0}, {20, 0}, {0, 20}, {2, 2}, {18, 2}, {2, 18}};
        for (int i = 0; i < 6; ++i) {
            v[i].x = xy[i][0], v[i].y = xy[i][1];
            v[i].normal = {0, 0, 1};
            v[i].depth = i < 3 ? 5.0 : 1.0;                       // second triangle nearer
            v[i].colour = i < 3 ? Vec3{1, 0, 0} : Vec3{0, 0, 1};  // red far, blue near
        }
        if (order == 0) {
            raster.DrawTriangle(v[0], v[1], v[2]);
            raster.DrawTriangle(v[3], v[4], v[5]);
        } else {
            raster.DrawTriangle(v[3], v[4], v[5]);
            raster.DrawTriangle(v[0], v[1], v[2]);
        }
        const render::Rgb inner = raster.Picture().Get(4, 4), outer = raster.Picture().Get(1, 1);
        EXPECT_GT(inner.b, 0) << order;
        EXPECT_EQ(inner.r, 0) << order;
        EXPECT_GT(outer.r, 0) << order;
        EXPECT_FLOAT_EQ(raster.Depth(4, 4), 1.0f);
        EXPECT_FLOAT_EQ(raster.Depth(1, 1), 5.0f);
    }
}

// The unit cube [0,1]^3 as 12 triangles, all wound outward.
void UnitCube(std::vector<Vec3>& p, std::vector<Triangle>& t) {
    p.clear();
    for (int i = 0; i < 8; ++i) p.push_back({double(i & 1), double((i >> 1) & 1), double((i >> 2) & 1)});
    t = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
         {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
}

TEST(Raster, OrientationAndNormalsOfAMixedWoundCube) {
    std::vector<Vec3> p;
    std::vector<Triangle> outward;
    UnitCube(p, outward);
    const Vec3 centre{0.5, 0.5, 0.5};
    for (const Triangle& t : outward)  // the fixture itself is right
        ASSERT_GT((p[t[1]] - p[t[0]]).Cross(p[t[2]] - p[t[0]]).Dot(p[t[0]] - centre), 0);

    for (unsigned mask : {0u, 1u, 0x555u, 0xFFFu, 0x9C3u}) {
        std::vector<Triangle> mixed = outward;
        for (int i = 0; i < 12; ++i)
            if (mask & (1u << i)) std::swap(mixed[i][1], mixed[i][2]);
        const std::vector<Triangle> fixed = render::OrientTriangles(p, mixed);
        ASSERT_EQ(fixed.size(), 12u);
        for (size_t i = 0; i < 12; ++i) {
            const Triangle& t = fixed[i];
            EXPECT_GT((p[t[1]] - p[t[0]]).Cross(p[t[2]] - p[t[0]]).Dot(p[t[0]] - centre), 0) << mask << " " << i;
        }
        const std::vector<Vec3> n = render::VertexNormals(p, fixed), reference = render::VertexNormals(p, outward);
        for (int v = 0; v < 8; ++v) {
            // Near the corner's diagonal (the split of each face weights it a little).
            EXPECT_GT(n[v].Dot(render::Normalized(p[v] - centre)), 0.9) << mask << " vertex " << v;
            EXPECT_NEAR(n[v].Dot(reference[v]), 1.0, 1e-12) << mask << " vertex " << v;
        }
    }
    // A bad index or a NaN vertex is left alone, without harm to the rest.
    std::vector<Triangle> bad = outward;
    bad.push_back({0, 1, 99});
    std::vector<Vec3> withNan = p;
    withNan.push_back({NAN, 0, 0});
    bad.push_back({0, 1, 8});
    const std::vector<Triangle> kept = render::OrientTriangles(withNan, bad);
    EXPECT_EQ(kept[12], (Triangle{0, 1, 99}));
    const std::vector<Vec3> n = render::VertexNormals(withNan, kept);
    EXPECT_EQ(n[8].Length(), 0.0);
    EXPECT_GT(n[7].Dot(render::Normalized(Vec3{0.5, 0.5, 0.5})), 0.9);
}

TEST(Raster, CubeSeenFrontOnCoversItsSquareAtTheFrontFacesDepth) {
    std::vector<Vec3> p;
    std::vector<Triangle> t;
    UnitCube(p, t);
    std::swap(t[3][1], t[3][2]);  // a mod's mesh: not all wound alike
    std::swap(t[8][1], t[8][2]);
    render::Bounds box;
    for (const Vec3& v : p) box.Add(v);
    box.Add({NAN, 100, 100});  // left out of the box
    const render::View front{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    const render::Camera cam = render::Camera::Fit(front, box, 100, 100, 0.1);
    EXPECT_DOUBLE_EQ(cam.PixelsPerUnit(), 80.0);
    render::Raster raster(100, 100, {0, 0, 0});
    render::DrawMesh(raster, cam, p, t, {}, {1, 1, 1});
    int covered = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x >= 10 && x < 90 && y >= 10 && y < 90;
            const float d = raster.Depth(x, y);
            if (inside) {
                EXPECT_FLOAT_EQ(d, -1.0f) << x << "," << y;  // the face at y = 1, nearest the viewer
                ++covered;
            } else {
                EXPECT_TRUE(std::isinf(d)) << x << "," << y;
            }
        }
    EXPECT_EQ(covered, 80 * 80);
    // Lit above the ambient share where the face turns to the light; background elsewhere.
    EXPECT_GT(raster.Picture().Get(50, 50).r, 0.25 * 255 + 10);
    EXPECT_EQ(raster.Picture().Get(5, 5).r, 0);
}

// One flat square at depth d facing the viewer, drawn with normal n, read back at its centre.
uint8_t Shade(render::Raster& r, const Vec3& n, double depth) {
    render::ScreenVertex a{2, 2, depth, n, {0.5, 0.5, 0.5}}, b{18, 2, depth, n, {0.5, 0.5, 0.5}},
        c{2, 18, depth, n, {0.5, 0.5, 0.5}}, d{18, 18, depth, n, {0.5, 0.5, 0.5}};
    r.DrawTriangle(a, b, c);
    r.DrawTriangle(b, d, c);
    return r.Picture().Get(10, 10).r;
}

TEST(Raster, FillHighlightAndDepthCueChangeOnlyWhatTheySay) {
    const Vec3 facing{0, 0, 1}, sideways{1, 0, 0.2};
    auto fresh = [] {
        render::Raster r(20, 20, {0, 0, 0});
        r.SetLight({0, 0, 1}, 0.2);
        return r;
    };
    render::Raster plain = fresh();
    const uint8_t base = Shade(plain, sideways, 0);
    // A fill from the right lights a surface turned right, and only by its share.
    render::Raster filled = fresh();
    filled.SetFill({1, 0, 0}, 0.3);
    EXPECT_GT(Shade(filled, sideways, 0), base + 20);
    render::Raster filledAway = fresh();
    filledAway.SetFill({-1, 0, 0}, 0.3);
    EXPECT_EQ(Shade(filledAway, sideways, 0), base);
    // The highlight sits where the surface mirrors the light to the viewer.
    render::Raster shiny = fresh(), dull = fresh();
    shiny.SetHighlight(0.3, 20);
    EXPECT_GT(Shade(shiny, facing, 0), Shade(dull, facing, 0) + 50);
    render::Raster shinySide = fresh();
    shinySide.SetHighlight(0.3, 20);
    EXPECT_LE(Shade(shinySide, sideways, 0), base + 1);
    // Depth darkens from none at `near` to `amount` at `far`.
    render::Raster nearR = fresh(), farR = fresh(), flat = fresh();
    nearR.SetDepthCue(0, 10, 0.5);
    farR.SetDepthCue(0, 10, 0.5);
    const uint8_t lit = Shade(flat, facing, 10);
    EXPECT_EQ(Shade(nearR, facing, 0), lit);
    EXPECT_NEAR(Shade(farR, facing, 10), lit * 0.5, 1.5);
    // Nonsense settings change nothing rather than poisoning every pixel.
    render::Raster odd = fresh();
    odd.SetFill({0, 0, 0}, NAN);
    odd.SetHighlight(NAN, -5);
    odd.SetDepthCue(5, 5, 1);
    odd.SetDepthCue(NAN, 1, 1);
    EXPECT_EQ(Shade(odd, sideways, 3), base);
}

}  // namespace
