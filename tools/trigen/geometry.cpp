// The head is a stack of horizontal superellipse rings from the crown down the neck (a
// latitude-longitude grid), with the face features added as smooth local displacements.
// The right half (x >= 0) is computed and the left half mirrored from it, so that every
// vertex has an exact mirror partner.
#include "tools/trigen/geometry.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace trigen {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Smoothstep(double e0, double e1, double x) {
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}
double Gauss(double d2) { return std::exp(-0.5 * d2); }

// One ring of the profile: height, half width, depths in front of and behind the ring's
// centre, the centre's y and the superellipse exponent of the front half.
struct Ring {
    double z, halfWidth, front, back, centreY, exponent;
};

// Female profile from the crown down to the neck's cut.
constexpr std::array<Ring, 16> kFemaleProfile = {{
    {12.0, 0.0, 0.0, 0.0, -0.6, 2.2},  // crown
    {11.6, 3.0, 3.4, 3.8, -0.6, 2.2},
    {10.6, 5.1, 5.9, 6.6, -0.6, 2.3},
    {8.8, 6.5, 7.7, 8.7, -0.5, 2.4},
    {6.4, 7.2, 8.6, 9.6, -0.4, 2.5},
    {3.8, 7.35, 8.9, 9.8, -0.3, 2.6},   // forehead above the brow
    {1.4, 7.3, 8.5, 9.6, -0.2, 2.6},    // eyes
    {-1.0, 7.1, 8.7, 8.9, -0.1, 2.6},   // cheekbones, ears
    {-3.2, 6.6, 8.6, 7.4, 0.0, 2.5},    // under the nose
    {-5.2, 5.9, 8.5, 6.2, 0.1, 2.4},    // mouth; the nape behind
    {-7.2, 5.1, 8.1, 5.7, 0.0, 2.0},    // jaw
    {-8.8, 4.85, 7.4, 5.5, -0.2, 1.7},  // chin: a pointed front between the jaw lines
    {-9.8, 4.75, 5.6, 5.4, -0.6, 1.9},  // under the chin
    {-10.6, 4.7, 4.6, 5.4, -0.8, 2.0},  // neck
    {-13.0, 4.8, 4.7, 5.5, -0.8, 2.0},
    {-16.5, 5.5, 5.1, 6.0, -0.8, 2.0},  // the cut, widening into the shoulders
}};
constexpr size_t kNeckTopRing = 13;

// What differs between the variants.
struct Variant {
    std::array<Ring, 16> profile;
    double scale;      // the whole model
    double browRidge;  // forward bulge of the brow
    double noseTip;    // how far the tip stands out
    double noseWidth;
    double upperLip, lowerLip;
    double chin, chinWidth;
    double cheekbone, cheekHollow;
    double adamsApple;
};

Variant MakeVariant(Sex sex) {
    Variant v{.profile = kFemaleProfile,
              .scale = 1.0,
              .browRidge = 0.35,
              .noseTip = 2.6,
              .noseWidth = 1.0,
              .upperLip = 0.55,
              .lowerLip = 0.5,
              .chin = 0.55,
              .chinWidth = 1.4,
              .cheekbone = 0.45,
              .cheekHollow = 0.2,
              .adamsApple = 0.0};
    if (sex == Sex::kMale) {
        v.scale = 1.04;
        v.browRidge = 0.85;
        v.noseTip = 2.95;
        v.noseWidth = 1.12;
        v.upperLip = 0.42;
        v.lowerLip = 0.42;
        v.chin = 0.8;
        v.chinWidth = 1.9;
        v.cheekbone = 0.35;
        v.cheekHollow = 0.32;
        v.adamsApple = 0.5;
        // Broader jaw and chin, a heavier brow and a thicker neck.
        const double jaw[] = {0, 0, 0, 0, 0, 0.05, 0.05, 0.1, 0.35, 0.6, 0.85, 0.7, 0.45, 0.6, 0.65, 0.7};
        const double front[] = {0, 0, 0, 0, 0, 0.2, 0.1, 0, 0, 0.05, 0.25, 0.35, 0.3, 0.45, 0.45, 0.45};
        const double back[] = {0, 0, 0, 0, 0, 0, 0, 0, 0.1, 0.3, 0.45, 0.5, 0.5, 0.5, 0.5, 0.5};
        for (size_t i = 0; i < v.profile.size(); ++i) {
            v.profile[i].halfWidth += jaw[i];
            v.profile[i].front += front[i];
            v.profile[i].back += back[i];
        }
    }
    return v;
}

double CatmullRom(double p0, double p1, double p2, double p3, double t) {
    return 0.5 * (2.0 * p1 + (p2 - p0) * t + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * t * t +
                  (3.0 * p1 - p0 + p3 - 3.0 * p2) * t * t * t);
}

// Face feature heights, in the female head's units before the variant's scale.
constexpr double kEyeX = 2.9, kEyeZ = 1.5, kEyeRadius = 1.15, kCorneaOut = 0.55;
constexpr double kBrowX = 2.7, kBrowZ = 3.5;
constexpr double kNoseRootZ = 2.0, kNoseTipZ = -1.9, kNoseBaseZ = -2.8;
constexpr double kWingX = 1.15, kWingZ = -2.25;
constexpr double kMouthZ = -4.95, kUpperLipZ = -4.55, kLowerLipZ = -5.4, kCornerX = 2.05;
constexpr double kChinZ = -8.0;
constexpr double kCheekboneX = 4.5, kCheekboneZ = 0.1, kCheekX = 4.2, kCheekZ = -2.8;
constexpr double kEarY = -1.3, kEarZ = 0.2, kEarHalfDepth = 1.55, kEarHalfHeight = 2.9;

class HeadSurface {
public:
    explicit HeadSurface(const Variant& v) : v_(v) {}

    Ring ProfileAt(double t) const {
        const auto& p = v_.profile;
        const double u = std::clamp(t, 0.0, 1.0) * static_cast<double>(p.size() - 1);
        const size_t k = std::min(static_cast<size_t>(u), p.size() - 2);
        const double f = u - static_cast<double>(k);
        auto at = [&](ptrdiff_t i) -> const Ring& {
            return p[static_cast<size_t>(std::clamp<ptrdiff_t>(i, 0, static_cast<ptrdiff_t>(p.size()) - 1))];
        };
        const auto ik = static_cast<ptrdiff_t>(k);
        auto mix = [&](double Ring::*m) {
            return CatmullRom(at(ik - 1).*m, at(ik).*m, at(ik + 1).*m, at(ik + 2).*m, f);
        };
        return {mix(&Ring::z),
                std::max(0.0, mix(&Ring::halfWidth)),
                std::max(0.0, mix(&Ring::front)),
                std::max(0.0, mix(&Ring::back)),
                mix(&Ring::centreY),
                mix(&Ring::exponent)};
    }

    // The ring point at angle phi (0 straight ahead, pi/2 at the right side), features left out.
    static Vec3 RingPoint(const Ring& r, double phi) {
        const double c = std::cos(phi), s = std::sin(phi);
        const double depth = c >= 0.0 ? r.front : r.back;
        const double n = c >= 0.0 ? r.exponent : 2.1;
        if (depth <= 0.0 || r.halfWidth <= 0.0) return {0.0, r.centreY, r.z};
        const double radius =
            std::pow(std::pow(std::abs(c) / depth, n) + std::pow(std::abs(s) / r.halfWidth, n), -1.0 / n);
        return {radius * s, r.centreY + radius * c, r.z};
    }

    // The head's surface, right half (phi in [0, pi]).
    Vec3 Point(double t, double phi) const {
        const Ring r = ProfileAt(t);
        Vec3 p = RingPoint(r, phi);
        return p + Features(p, r);
    }

    // The point of the right half's front at (x, z), found by bisection (z falls with t,
    // x rises with phi on the front quarter).
    Vec3 FrontPointAt(double x, double z) const {
        double lo = 0.3, hi = 0.9;
        for (int i = 0; i < 60; ++i) {
            double mid = 0.5 * (lo + hi);
            (ProfileAt(mid).z > z ? lo : hi) = mid;
        }
        const double t = 0.5 * (lo + hi);
        double a = 0.0, b = 0.5 * kPi;
        for (int i = 0; i < 60; ++i) {
            double mid = 0.5 * (a + b);
            (Point(t, mid).x < x ? a : b) = mid;
        }
        return Point(t, 0.5 * (a + b));
    }

private:
    Vec3 Features(const Vec3& p, const Ring& r) const {
        const double ax = std::abs(p.x);
        const double z = p.z;
        const double front = Smoothstep(1.0, 4.5, p.y - r.centreY);
        double dy = 0.0, out = 0.0;

        // Brow ridge over each eye and between them.
        dy += v_.browRidge * Gauss(std::pow((ax - kBrowX) / 2.0, 2) + std::pow((z - kBrowZ) / 0.75, 2));
        dy += 0.7 * v_.browRidge * Gauss(std::pow(ax / 1.2, 2) + std::pow((z - 3.3) / 0.7, 2));
        // Eye sockets, flat-bottomed across so that the eyeball shows in a wide opening.
        const double ex = (ax - kEyeX) / 1.3, ez = (z - kEyeZ) / 0.8;
        dy -= 1.25 * std::exp(-0.5 * (ex * ex * ex * ex + ez * ez));
        // Nose: a ridge from the root to the tip, rounding under the tip into the upper lip.
        double h;
        if (z >= kNoseRootZ) {
            h = 0.55 * std::exp(-std::pow((z - kNoseRootZ) / 0.8, 2));
        } else if (z >= kNoseTipZ) {
            const double s = (kNoseRootZ - z) / (kNoseRootZ - kNoseTipZ);
            h = 0.55 + (v_.noseTip - 0.55) * std::pow(s, 1.6);
        } else if (z >= kNoseBaseZ) {
            const double u = (kNoseTipZ - z) / (kNoseTipZ - kNoseBaseZ);
            h = 0.35 + (v_.noseTip - 0.35) * std::sqrt(std::max(0.0, 1.0 - u * u));
        } else {
            h = 0.35 * std::exp(-std::pow((kNoseBaseZ - z) / 0.45, 2));
        }
        const double along = std::clamp((kNoseRootZ - z) / (kNoseRootZ - kNoseTipZ), 0.0, 1.0);
        const double width = v_.noseWidth * (0.5 + 0.35 * along);
        dy += h * Gauss(std::pow(ax / width, 2));
        dy += 0.35 * Gauss(std::pow(ax / 0.65, 2) + std::pow((z - kNoseTipZ - 0.1) / 0.6, 2));
        dy += 0.9 * Gauss(std::pow((ax - kWingX * v_.noseWidth) / 0.5, 2) + std::pow((z - kWingZ) / 0.5, 2));
        // Lips with the mouth line between them and a dent at each corner.
        auto across = [&](double halfWidth) { return std::exp(-std::pow(ax / halfWidth, 4)); };
        dy += v_.upperLip * across(1.9) * Gauss(std::pow((z - kUpperLipZ) / 0.38, 2));
        dy += v_.lowerLip * across(1.75) * Gauss(std::pow((z - kLowerLipZ) / 0.42, 2));
        dy -= 0.45 * across(2.0) * Gauss(std::pow((z - kMouthZ) / 0.17, 2));
        dy -= 0.3 * Gauss(std::pow((ax - kCornerX) / 0.35, 2) + std::pow((z - kMouthZ) / 0.35, 2));
        dy -= 0.3 * Gauss(std::pow(ax / 1.6, 2) + std::pow((z + 6.4) / 0.45, 2));
        // Chin.
        dy += v_.chin * Gauss(std::pow(ax / v_.chinWidth, 2) + std::pow((z - kChinZ) / 0.95, 2));
        // Cheekbones out, the cheeks below them hollow.
        out += v_.cheekbone * Gauss(std::pow((ax - kCheekboneX) / 1.3, 2) + std::pow((z - kCheekboneZ) / 1.0, 2));
        out -= v_.cheekHollow * Gauss(std::pow((ax - kCheekX) / 1.2, 2) + std::pow((z - kCheekZ) / 1.1, 2));
        // Adam's apple.
        dy += v_.adamsApple * Gauss(std::pow(ax / 0.6, 2) + std::pow((z + 12.3) / 0.9, 2));

        Vec3 d{0.0, dy * front, 0.0};
        const double horizontal = std::hypot(p.x, p.y - r.centreY);
        if (horizontal > 0.0) d += Vec3{p.x / horizontal, (p.y - r.centreY) / horizontal, 0.0} * (out * front);

        // Ears on the sides: a plate standing out, further at its back edge, hollow inside.
        const double side = Smoothstep(0.8 * r.halfWidth, 0.95 * r.halfWidth, ax);
        if (side > 0.0) {
            const double ey = (p.y - kEarY) / kEarHalfDepth, ezz = (z - kEarZ) / kEarHalfHeight;
            const double e = ey * ey + ezz * ezz;
            const double plate = 1.0 - Smoothstep(0.45, 1.0, e);
            const double lean = std::clamp(0.3 - ey, 0.0, 1.3);
            const double stand = plate * (1.1 + 0.9 * lean) - 0.4 * std::exp(-e / 0.12) * plate;
            d += Vec3{(p.x >= 0 ? 1.0 : -1.0) * stand * side, -0.45 * plate * side, 0.0};
        }
        return d;
    }

    Variant v_;
};

// Ring parameters t from the crown (ring 0, a single vertex) to the cut, spaced by the
// profile's length with more rings on the face, where the features are small.
std::vector<double> RingParameters(const HeadSurface& surface, int rings) {
    constexpr int kSamples = 4000;
    std::vector<double> length(kSamples + 1, 0.0);
    Ring previous = surface.ProfileAt(0.0);
    for (int i = 1; i <= kSamples; ++i) {
        const Ring r = surface.ProfileAt(static_cast<double>(i) / kSamples);
        const double z = 0.5 * (r.z + previous.z);
        const double frontStep =
            std::hypot((r.centreY + r.front) - (previous.centreY + previous.front), r.z - previous.z);
        const double backStep = std::hypot((r.centreY - r.back) - (previous.centreY - previous.back), r.z - previous.z);
        const double face = Smoothstep(4.8, 3.8, z) * Smoothstep(-11.2, -10.2, z);
        const double density = 1.0 + 1.1 * face + 0.6 * std::exp(-std::pow((z - kMouthZ) / 0.8, 2)) +
                               0.4 * std::exp(-std::pow((z - kEyeZ) / 0.8, 2));
        length[i] = length[i - 1] + frontStep * density + 0.45 * backStep;
        previous = r;
    }
    std::vector<double> t(static_cast<size_t>(rings) + 1, 0.0);
    int at = 0;
    for (int k = 1; k <= rings; ++k) {
        const double target = length[kSamples] * k / rings;
        while (at < kSamples && length[at + 1] < target) ++at;
        const double span = length[at + 1] - length[at];
        const double f = span > 0.0 ? (target - length[at]) / span : 0.0;
        t[static_cast<size_t>(k)] = std::min(1.0, (at + f) / kSamples);
    }
    t.back() = 1.0;
    return t;
}

// Longitude of column j of the right half (0 straight ahead, columns/2 at the back), closer
// together on the face and at the ear.
double ColumnAngle(int j, int columns) {
    constexpr int kSamples = 2000;
    static const std::vector<double> length = [] {
        std::vector<double> l(kSamples + 1, 0.0);
        for (int i = 1; i <= kSamples; ++i) {
            const double phi = kPi * (i - 0.5) / kSamples;
            const double density = 1.0 + 1.4 * std::exp(-std::pow(phi / 0.55, 2)) +
                                   0.9 * std::exp(-std::pow((phi - 0.5 * kPi - 0.12) / 0.3, 2));
            l[i] = l[i - 1] + density;
        }
        return l;
    }();
    const double target = length[kSamples] * 2.0 * j / columns;
    int at = 0;
    while (at < kSamples && length[at + 1] < target) ++at;
    if (at >= kSamples) return kPi;
    const double f = (target - length[at]) / (length[at + 1] - length[at]);
    return kPi * (at + f) / kSamples;
}

Vec3 Mirrored(const Vec3& p) { return {-p.x, p.y, p.z}; }

void BuildHead(const HeadSurface& surface, Mesh& mesh, std::vector<double>& ringT) {
    const int C = kHeadColumns, R = kHeadRings;
    ringT = RingParameters(surface, R);
    mesh.vertices.push_back(surface.Point(0.0, 0.0));
    mesh.vertices.back().x = 0.0;
    mesh.mirror.push_back(0);
    auto index = [&](int ring, int column) {
        return static_cast<uint32_t>(1 + (ring - 1) * C + ((column % C) + C) % C);
    };
    for (int i = 1; i <= R; ++i) {
        std::vector<Vec3> row(C);
        for (int j = 0; j <= C / 2; ++j) {
            row[j] = surface.Point(ringT[static_cast<size_t>(i)], ColumnAngle(j, C));
            if (j == 0 || j == C / 2) row[j].x = 0.0;  // on the midline exactly
        }
        for (int j = C / 2 + 1; j < C; ++j) row[j] = Mirrored(row[C - j]);
        for (int j = 0; j < C; ++j) {
            mesh.vertices.push_back(row[j]);
            mesh.mirror.push_back(index(i, C - j));
        }
    }
    // Texture coordinates: longitude across (the face in the middle, the seam at the back),
    // ring down; the seam column has one coordinate on each side.
    auto uvIndex = [&](int ring, int k) { return static_cast<uint32_t>(ring * (C + 1) + k); };
    for (int i = 0; i <= R; ++i) {
        for (int k = 0; k <= C; ++k) {
            const int j = (k + C / 2) % C;
            double phi = j <= C / 2 ? ColumnAngle(j, C) : -ColumnAngle(C - j, C);
            double u = k == 0 ? 0.0 : k == C ? 1.0 : 0.5 + phi / (2.0 * kPi);
            mesh.uvs.push_back({u, static_cast<double>(i) / R});
        }
    }
    auto add = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t ua, uint32_t ub, uint32_t uc) {
        mesh.triangles.push_back({a, b, c});
        mesh.uvTriangles.push_back({ua, ub, uc});
    };
    for (int j = 0; j < C; ++j) {
        const int k = (j + C / 2) % C;
        add(0, index(1, j + 1), index(1, j), uvIndex(0, k), uvIndex(1, k + 1), uvIndex(1, k));
    }
    for (int i = 1; i < R; ++i) {
        for (int j = 0; j < C; ++j) {
            const int k = (j + C / 2) % C;
            const uint32_t a = index(i, j), b = index(i, j + 1), c = index(i + 1, j), d = index(i + 1, j + 1);
            const uint32_t ua = uvIndex(i, k), ub = uvIndex(i, k + 1), uc = uvIndex(i + 1, k),
                           ud = uvIndex(i + 1, k + 1);
            if (j < C / 2) {  // diagonals mirrored across the midline
                add(a, b, d, ua, ub, ud);
                add(a, d, c, ua, ud, uc);
            } else {
                add(a, b, c, ua, ub, uc);
                add(b, d, c, ub, ud, uc);
            }
        }
    }
}

// Two UV spheres whose front poles are the corneas; the left eye mirrors the right.
void BuildEyes(const Vec3& centre, double radius, Mesh& mesh) {
    constexpr int kRings = 12, kSegments = 16;
    std::vector<Vec3> right;
    right.push_back(centre + Vec3{0.0, radius, 0.0});
    for (int k = 1; k < kRings; ++k) {
        const double theta = kPi * k / kRings;
        for (int j = 0; j < kSegments; ++j) {
            const double psi = 2.0 * kPi * j / kSegments;
            right.push_back(centre +
                            Vec3{std::sin(theta) * std::cos(psi), std::cos(theta), std::sin(theta) * std::sin(psi)} *
                                radius);
        }
    }
    right.push_back(centre - Vec3{0.0, radius, 0.0});
    const auto n = static_cast<uint32_t>(right.size());
    for (const Vec3& p : right) mesh.vertices.push_back(p);
    for (const Vec3& p : right) mesh.vertices.push_back(Mirrored(p));
    for (uint32_t i = 0; i < n; ++i) mesh.mirror.push_back(i + n);
    for (uint32_t i = 0; i < n; ++i) mesh.mirror.push_back(i);

    // One texture layout shared by both eyes.
    for (int k = 0; k <= kRings; ++k)
        for (int j = 0; j <= kSegments; ++j)
            mesh.uvs.push_back({static_cast<double>(j) / kSegments, static_cast<double>(k) / kRings});
    auto uv = [&](int k, int j) { return static_cast<uint32_t>(k * (kSegments + 1) + j); };
    auto vertex = [&](int k, int j) -> uint32_t {
        if (k == 0) return 0;
        if (k == kRings) return n - 1;
        return static_cast<uint32_t>(1 + (k - 1) * kSegments + j % kSegments);
    };
    std::vector<Tri> tris, uvTris;
    for (int j = 0; j < kSegments; ++j) {
        tris.push_back({vertex(0, 0), vertex(1, j), vertex(1, j + 1)});
        uvTris.push_back({uv(0, j), uv(1, j), uv(1, j + 1)});
        for (int k = 1; k < kRings - 1; ++k) {
            tris.push_back({vertex(k, j), vertex(k + 1, j), vertex(k + 1, j + 1)});
            uvTris.push_back({uv(k, j), uv(k + 1, j), uv(k + 1, j + 1)});
            tris.push_back({vertex(k, j), vertex(k + 1, j + 1), vertex(k, j + 1)});
            uvTris.push_back({uv(k, j), uv(k + 1, j + 1), uv(k, j + 1)});
        }
        tris.push_back({vertex(kRings - 1, j), vertex(kRings, 0), vertex(kRings - 1, j + 1)});
        uvTris.push_back({uv(kRings - 1, j), uv(kRings, j), uv(kRings - 1, j + 1)});
    }
    // Outward winding on the right eye; the mirror image turns it, so its order is swapped.
    for (size_t i = 0; i < tris.size(); ++i) {
        mesh.triangles.push_back(tris[i]);
        mesh.uvTriangles.push_back(uvTris[i]);
    }
    for (size_t i = 0; i < tris.size(); ++i) {
        mesh.triangles.push_back({tris[i].a + n, tris[i].c + n, tris[i].b + n});
        mesh.uvTriangles.push_back({uvTris[i].a, uvTris[i].c, uvTris[i].b});
    }
}

// The mouth's inside behind the lips: the dental arch as a U-shaped band and the tongue
// lying in it.
void BuildMouth(const Vec3& mouth, Mesh& mesh) {
    constexpr int kArchColumns = 23, kArchRows = 9, kTongue = 9;
    const double frontY = mouth.y - 0.9, halfWidth = 2.3, depth = 2.4;
    auto grid = [&](int columns, int rows, auto point) {
        const auto base = static_cast<uint32_t>(mesh.vertices.size());
        const auto uvBase = static_cast<uint32_t>(mesh.uvs.size());
        const int mid = (columns - 1) / 2;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const double s = static_cast<double>(c - mid) / mid;  // exactly -s for the mirror column
                const double v = static_cast<double>(r) / (rows - 1);
                mesh.vertices.push_back(point(s, v));
                mesh.mirror.push_back(base + static_cast<uint32_t>(r * columns + (columns - 1 - c)));
                mesh.uvs.push_back({0.5 + 0.5 * s, v});
            }
        }
        for (int r = 0; r + 1 < rows; ++r) {
            for (int c = 0; c + 1 < columns; ++c) {
                const auto a = static_cast<uint32_t>(r * columns + c), b = a + 1;
                const auto cc = static_cast<uint32_t>((r + 1) * columns + c), d = cc + 1;
                if (c < mid) {
                    mesh.triangles.push_back({base + a, base + d, base + b});
                    mesh.uvTriangles.push_back({uvBase + a, uvBase + d, uvBase + b});
                    mesh.triangles.push_back({base + a, base + cc, base + d});
                    mesh.uvTriangles.push_back({uvBase + a, uvBase + cc, uvBase + d});
                } else {
                    mesh.triangles.push_back({base + a, base + cc, base + b});
                    mesh.uvTriangles.push_back({uvBase + a, uvBase + cc, uvBase + b});
                    mesh.triangles.push_back({base + b, base + cc, base + d});
                    mesh.uvTriangles.push_back({uvBase + b, uvBase + cc, uvBase + d});
                }
            }
        }
    };
    grid(kArchColumns, kArchRows, [&](double s, double v) {
        const double z = mouth.z + 0.9 - 1.9 * v;
        const double bulge = 0.15 * std::sin(kPi * v);
        return Vec3{s * halfWidth, frontY - depth * s * s - bulge, z};
    });
    grid(kTongue, kTongue, [&](double s, double v) {
        const double y = frontY - 0.5 - 2.1 * v;
        const double dome = 0.35 * (1.0 - s * s) * std::sin(kPi * (0.15 + 0.85 * v));
        return Vec3{s * 1.5 * (1.0 - 0.25 * v), y, mouth.z - 0.75 + dome};
    });
}

}  // namespace

const char* SexName(Sex sex) { return sex == Sex::kFemale ? "female" : "male"; }
const char* MeshKindName(MeshKind kind) {
    switch (kind) {
        case MeshKind::kHead:
            return "head";
        case MeshKind::kEyes:
            return "eyes";
        case MeshKind::kMouth:
            return "mouth";
    }
    return "?";
}

const Mesh& HeadModel::Get(MeshKind kind) const {
    switch (kind) {
        case MeshKind::kHead:
            return head;
        case MeshKind::kEyes:
            return eyes;
        case MeshKind::kMouth:
            return mouth;
    }
    throw std::logic_error("unknown mesh kind");
}

HeadModel BuildModel(Sex sex) {
    const Variant variant = MakeVariant(sex);
    const HeadSurface surface(variant);
    HeadModel m{sex, {}, {}, {}, {}};
    std::vector<double> ringT;
    BuildHead(surface, m.head, ringT);

    Landmarks& k = m.marks;
    const Vec3 socket = surface.FrontPointAt(kEyeX, kEyeZ);
    k.eye = {kEyeX, socket.y + kCorneaOut - kEyeRadius, kEyeZ};
    k.eyeRadius = kEyeRadius;
    k.browRidge = surface.FrontPointAt(kBrowX, kBrowZ);
    k.noseRoot = surface.FrontPointAt(0.0, kNoseRootZ);
    k.noseTip = surface.FrontPointAt(0.0, kNoseTipZ);
    k.noseBase = surface.FrontPointAt(0.0, kNoseBaseZ);
    k.noseWing = surface.FrontPointAt(kWingX * variant.noseWidth, kWingZ);
    k.mouth = surface.FrontPointAt(0.0, kMouthZ);
    k.mouthCorner = surface.FrontPointAt(kCornerX, kMouthZ);
    k.upperLip = surface.FrontPointAt(0.0, kUpperLipZ);
    k.lowerLip = surface.FrontPointAt(0.0, kLowerLipZ);
    k.chin = surface.FrontPointAt(0.0, kChinZ);
    k.cheekbone = surface.FrontPointAt(kCheekboneX, kCheekboneZ);
    k.cheek = surface.FrontPointAt(kCheekX, kCheekZ);
    const Ring jaw = surface.ProfileAt(0.62);
    k.jawAngle = {0.95 * jaw.halfWidth, jaw.centreY - 1.0, jaw.z};
    const Ring earRing = surface.ProfileAt(0.43);
    k.ear = {earRing.halfWidth + 1.2, kEarY, kEarZ};
    const Ring neckTop = variant.profile[kNeckTopRing];
    k.neckTop = neckTop.z;
    k.neckBottom = variant.profile.back().z;
    k.neckCentre = {0.0, neckTop.centreY, neckTop.z};

    BuildEyes(k.eye, k.eyeRadius, m.eyes);
    BuildMouth(k.mouth, m.mouth);

    // The variant's size applies to everything, landmarks included.
    const double s = variant.scale;
    for (Mesh* mesh : {&m.head, &m.eyes, &m.mouth})
        for (Vec3& p : mesh->vertices) p = p * s;
    for (Vec3* p : {&k.eye, &k.browRidge, &k.noseRoot, &k.noseTip, &k.noseBase, &k.noseWing, &k.mouth, &k.mouthCorner,
                    &k.upperLip, &k.lowerLip, &k.chin, &k.jawAngle, &k.cheekbone, &k.cheek, &k.ear, &k.neckCentre})
        *p = *p * s;
    k.eyeRadius *= s;
    k.neckTop *= s;
    k.neckBottom *= s;
    return m;
}

const HeadModel& Model(Sex sex) {
    static const HeadModel female = BuildModel(Sex::kFemale);
    static const HeadModel male = BuildModel(Sex::kMale);
    return sex == Sex::kFemale ? female : male;
}

}  // namespace trigen
