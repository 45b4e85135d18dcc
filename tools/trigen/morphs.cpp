// Morph shapes as smooth displacement fields. A region weight (1 inside a feature, falling
// smoothly to exactly 0 outside it) times a direction; features on both sides are computed
// on the right side (|x|) and mirrored, so every morph is symmetric.
#include "tools/trigen/morphs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>

namespace trigen {

namespace {

double Smoothstep(double e0, double e1, double x) {
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}
// 1 up to r0, 0 from r1 on.
double Plateau(double d, double r0, double r1) { return 1.0 - Smoothstep(r0, r1, d); }
double Distance(const Vec3& p, const Vec3& c, const Vec3& radii) {
    const Vec3 d = p - c;
    return std::sqrt(std::pow(d.x / radii.x, 2) + std::pow(d.y / radii.y, 2) + std::pow(d.z / radii.z, 2));
}
// 0 below a0, 1 from a1 to b1, 0 above b0 (a0 < a1 <= b1 < b0).
double Band(double v, double a0, double a1, double b1, double b0) {
    return Smoothstep(a0, a1, v) * (1.0 - Smoothstep(b1, b0, v));
}
double SignOf(double x) { return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0; }
Vec3 Right(const Vec3& p) { return {std::abs(p.x), p.y, p.z}; }
// A displacement computed on the right side, put back on the side of p.
Vec3 OnSideOf(const Vec3& p, Vec3 d) {
    d.x *= SignOf(p.x);
    return d;
}
// Horizontal direction away from the head's vertical axis.
Vec3 Outward(const Vec3& q) {
    const double h = std::hypot(q.x, q.y);
    return h > 0 ? Vec3{q.x / h, q.y / h, 0.0} : Vec3{};
}

// The feature regions of one variant. `u` scales lengths with the variant's size.
class Regions {
public:
    explicit Regions(const Landmarks& m) : m_(m), u_(m.eyeRadius / 1.15) {}
    const Landmarks& Marks() const { return m_; }
    double U() const { return u_; }

    double Eye(const Vec3& p) const { return Plateau(Distance(Right(p), m_.eye, Vec3{1.0, 1.1, 0.8} * u_), 1.4, 2.4); }
    double Brow(const Vec3& p) const {
        const Vec3 c = m_.browRidge + Vec3{0.0, -0.6, 0.15} * u_;
        return Plateau(Distance(Right(p), c, Vec3{2.2, 2.0, 0.75} * u_), 0.6, 1.25);
    }
    double BrowRidge(const Vec3& p) const {
        const double side = Plateau(Distance(Right(p), m_.browRidge, Vec3{2.4, 1.5, 0.7} * u_), 0.5, 1.1);
        const Vec3 glabella{0.0, m_.browRidge.y, m_.browRidge.z - 0.2 * u_};
        return std::max(side, Plateau(Distance(p, glabella, Vec3{1.3, 1.5, 0.7} * u_), 0.5, 1.1));
    }
    // The nose standing out of the face, from its root to under the tip.
    double Nose(const Vec3& p) const {
        const double across = Plateau(std::abs(p.x) / u_, 1.0, 2.3);
        const double along = Band(p.z, m_.noseBase.z - 0.8 * u_, m_.noseBase.z - 0.1 * u_, m_.noseRoot.z - 0.3 * u_,
                                  m_.noseRoot.z + 0.5 * u_);
        const double out = Smoothstep(m_.noseRoot.y - 0.9 * u_, m_.noseRoot.y - 0.1 * u_, p.y);
        return across * along * out;
    }
    // 0 at the root, 1 at the tip and below.
    double TowardTip(const Vec3& p) const { return Smoothstep(m_.noseRoot.z, m_.noseTip.z, p.z); }
    double NoseTip(const Vec3& p) const { return Nose(p) * TowardTip(p); }
    double NoseBridge(const Vec3& p) const {
        const double t = TowardTip(p);
        return Nose(p) * 4.0 * t * (1.0 - t);
    }
    double Lips(const Vec3& p) const {
        const Vec3 c = m_.mouth + Vec3{0.0, -0.6, 0.0} * u_;
        return Plateau(Distance(Right(p), c, Vec3{2.6, 1.6, 1.05} * u_), 0.55, 1.0);
    }
    double Upper(const Vec3& p) const { return Smoothstep(m_.mouth.z - 0.25 * u_, m_.mouth.z + 0.2 * u_, p.z); }
    double UpperLip(const Vec3& p) const { return Lips(p) * Upper(p); }
    double LowerLip(const Vec3& p) const { return Lips(p) * (1.0 - Upper(p)); }
    double Chin(const Vec3& p) const {
        const Vec3 c = m_.chin + Vec3{0.0, -1.0, -0.3} * u_;
        return Plateau(Distance(Right(p), c, Vec3{2.3, 2.2, 1.6} * u_), 0.5, 1.05);
    }
    // The sides and front of the lower face, for its width.
    double Jaw(const Vec3& p) const {
        const double height =
            Band(p.z, m_.neckTop - 0.8 * u_, m_.neckTop + 0.6 * u_, m_.mouth.z + 0.6 * u_, m_.noseBase.z + 0.3 * u_);
        return height * Smoothstep(m_.jawAngle.y - 2.5 * u_, m_.jawAngle.y, p.y);
    }
    // The lower jaw below the mouth line, lower lip and chin included.
    double Mandible(const Vec3& p) const {
        const double height =
            Band(p.z, m_.neckTop - 0.6 * u_, m_.neckTop + 0.4 * u_, m_.mouth.z - 0.35 * u_, m_.mouth.z - 0.05 * u_);
        return height * Smoothstep(m_.jawAngle.y - 1.5 * u_, m_.jawAngle.y + 1.5 * u_, p.y);
    }
    double Cheek(const Vec3& p) const {
        const Vec3 c = (m_.cheekbone + m_.cheek) * 0.5;
        return Plateau(Distance(Right(p), c, Vec3{1.9, 2.6, 2.1} * u_), 0.45, 1.0);
    }
    double Cheekbone(const Vec3& p) const {
        return Plateau(Distance(Right(p), m_.cheekbone, Vec3{1.5, 2.4, 1.1} * u_), 0.4, 1.0);
    }
    double CheekHollow(const Vec3& p) const {
        return Plateau(Distance(Right(p), m_.cheek, Vec3{1.4, 2.4, 1.2} * u_), 0.4, 1.0);
    }
    // 0 at the top of the neck, 1 at its cut.
    double LowerNeck(const Vec3& p) const {
        return std::clamp((m_.neckTop - p.z) / (m_.neckTop - m_.neckBottom), 0.0, 1.0);
    }
    double Head(const Vec3& p) const { return Smoothstep(m_.neckBottom, m_.neckTop, p.z); }

private:
    Landmarks m_;
    double u_;
};

// Fixed-seed numbers in [-1, 1] for the shape variety of a type family member.
uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
std::array<double, 6> Variety(const std::string& name) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a of the name
    for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
    std::array<double, 6> out{};
    double most = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        h = SplitMix(h);
        out[i] = static_cast<double>(h >> 11) * 0x1.0p-53 * 2.0 - 1.0;
        most = std::max(most, std::abs(out[i]));
    }
    // The strongest change at full strength, so that every type differs visibly.
    if (most > 0)
        for (double& c : out) c /= most;
    return out;
}

// A morph moving a region by a fixed offset (x mirrored), for the pairs of the game's face morphs.
template <typename Weight>
Field Move(const Regions& r, Weight weight, Vec3 offset) {
    return [r, weight, offset](const Vec3& p) {
        const double w = (r.*weight)(p);
        return OnSideOf(p, offset * (w * r.U()));
    };
}

// The game's face morphs by name.
std::optional<MorphShape> FaceMorph(const std::string& name, const Regions& r) {
    const double u = r.U();
    auto move = [&](double (Regions::*w)(const Vec3&) const, Vec3 offset) { return MorphShape{Move(r, w, offset)}; };
    auto field = [](Field f) { return MorphShape{std::move(f)}; };
    const Landmarks m = r.Marks();
    if (name == "EyesMoveDown") return move(&Regions::Eye, {0, 0, -0.75});
    if (name == "EyesMoveUp") return move(&Regions::Eye, {0, 0, 0.75});
    if (name == "EyesMoveIn") return move(&Regions::Eye, {-0.55, 0, 0});
    if (name == "EyesMoveOut") return move(&Regions::Eye, {0.55, 0, 0});
    if (name == "EyesBack") return move(&Regions::Eye, {0, -0.6, 0});
    if (name == "EyesForward") return move(&Regions::Eye, {0, 0.6, 0});
    if (name == "BrowDown") return move(&Regions::Brow, {0, 0, -0.7});
    if (name == "BrowUp") return move(&Regions::Brow, {0, 0, 0.7});
    if (name == "BrowIn") return move(&Regions::Brow, {-0.5, 0, 0});
    if (name == "BrowOut") return move(&Regions::Brow, {0.5, 0, 0});
    if (name == "BrowBack") return move(&Regions::Brow, {0, -0.55, 0});
    if (name == "BrowForward") return move(&Regions::Brow, {0, 0.55, 0});
    if (name == "NoseDown") return move(&Regions::NoseTip, {0, 0, -0.8});
    if (name == "NoseUp") return move(&Regions::NoseTip, {0, 0, 0.8});
    if (name == "NoseShort") return move(&Regions::NoseTip, {0, -1.0, 0});
    if (name == "NoseLong") return move(&Regions::NoseTip, {0, 1.0, 0});
    for (double sense : {-1.0, 1.0}) {
        if (name != (sense < 0 ? "JawNarrow" : "JawWide")) continue;
        return field([r, u, sense](const Vec3& p) {
            const Vec3 q = Right(p);
            return OnSideOf(p, Vec3{sense * 0.9 * u * Smoothstep(0.5 * u, 5.0 * u, q.x) * r.Jaw(p), 0, 0});
        });
    }
    if (name == "JawUp") return move(&Regions::Mandible, {0, 0, 0.8});
    if (name == "JawDown") return move(&Regions::Mandible, {0, 0, -0.8});
    if (name == "JawBack") return move(&Regions::Mandible, {0, -0.8, 0});
    if (name == "JawForward") return move(&Regions::Mandible, {0, 0.8, 0});
    if (name == "CheeksDown") return move(&Regions::Cheek, {0, 0, -0.6});
    if (name == "CheeksUp") return move(&Regions::Cheek, {0, 0, 0.6});
    for (double sense : {-1.0, 1.0}) {
        if (name != (sense < 0 ? "CheeksIn" : "CheeksOut")) continue;
        return field(
            [r, u, sense](const Vec3& p) { return OnSideOf(p, Outward(Right(p)) * (sense * 0.6 * u * r.Cheek(p))); });
    }
    if (name == "LipMoveDown") return move(&Regions::Lips, {0, 0, -0.5});
    if (name == "LipMoveUp") return move(&Regions::Lips, {0, 0, 0.5});
    if (name == "LipMoveIn") return move(&Regions::Lips, {0, -0.5, 0});
    if (name == "LipMoveOut") return move(&Regions::Lips, {0, 0.5, 0});
    for (double sense : {-1.0, 1.0}) {
        if (name != (sense < 0 ? "ChinThin" : "ChinWide")) continue;
        return field([r, sense](const Vec3& p) { return Vec3{sense * 0.3 * p.x * r.Chin(p), 0, 0}; });
    }
    if (name == "ChinMoveUp") return move(&Regions::Chin, {0, 0, 0.6});
    if (name == "ChinMoveDown") return move(&Regions::Chin, {0, 0, -0.6});
    if (name == "Overbite")
        return field([r, u](const Vec3& p) { return Vec3{0, (0.45 * r.UpperLip(p) - 0.35 * r.Mandible(p)) * u, 0}; });
    if (name == "Underbite") return move(&Regions::Mandible, {0, 0.7, 0});
    if (name == "VampireMorph") {
        // Sharper cheekbones over hollow cheeks, and a narrower chin.
        return field([r, u](const Vec3& p) {
            const Vec3 q = Right(p);
            Vec3 d = Outward(q) * ((0.35 * r.Cheekbone(p) - 0.45 * r.CheekHollow(p)) * u);
            d.z += 0.1 * u * r.Cheekbone(p);
            d = OnSideOf(p, d);
            d += Vec3{-0.1 * p.x, 0.15 * u, 0} * r.Chin(p);
            return d;
        });
    }
    if (name == "VTR_NeckShortNPC" || name == "VTR_NeckLongNPC") {
        // The lower neck stretched or shortened: its cut moves most, the head not at all.
        const double k = name == "VTR_NeckLongNPC" ? -0.35 : 0.3;
        return field([r, m, k](const Vec3& p) { return Vec3{0, 0, k * (m.neckTop - m.neckBottom) * r.LowerNeck(p)}; });
    }
    if (name == "VTR_HeadSmallNPC" || name == "VTR_HeadLargeNPC") {
        // The whole head scaled about the top of the neck; the neck's cut stays.
        const double k = name == "VTR_HeadLargeNPC" ? 0.1 : -0.1;
        return field([r, m, k](const Vec3& p) { return (p - m.neckCentre) * (k * r.Head(p)); });
    }
    if (name == "NoseType33" || name == "NoseType34")
        return field([](const Vec3&) { return Vec3{}; });  // slots the plug-in fills
    return std::nullopt;
}

// Members of the game's type families: a mix of the feature's basic changes, its weights
// drawn with a seed made from the name; number 0 is the neutral shape.
std::optional<MorphShape> TypeMorph(const std::string& name, const Regions& r) {
    static const std::array<std::pair<const char*, int>, 3> families = {
        {{"EyesType", 0}, {"LipType", 1}, {"NoseType", 2}}};
    for (const auto& [prefix, kind] : families) {
        const std::string family = prefix;
        if (name.size() <= family.size() || name.compare(0, family.size(), family) != 0) continue;
        const std::string digits = name.substr(family.size());
        if (digits.size() > 3 || !std::all_of(digits.begin(), digits.end(),
                                              [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        if (std::stoi(digits) == 0) return MorphShape{[](const Vec3&) { return Vec3{}; }};
        const std::array<double, 6> c = Variety(name);
        const double u = r.U();
        const Landmarks m = r.Marks();
        if (kind == 0) {
            // Opening, width, tilt, depth and spacing of the eyes.
            Field eyes = [r, c, u, m](const Vec3& p) {
                const Vec3 q = Right(p);
                const double ex = q.x - m.eye.x, ez = q.z - m.eye.z;
                const Vec3 d{0.22 * c[1] * ex + 0.3 * c[4] * u, 0.35 * c[3] * u, 0.3 * c[0] * ez + 0.22 * c[2] * ex};
                return OnSideOf(p, d * r.Eye(p));
            };
            return MorphShape{std::move(eyes), true};
        }
        if (kind == 1) {
            // Fullness of each lip, width, corners, the bow of the upper lip, how far out.
            return MorphShape{[r, c, u](const Vec3& p) {
                const double lips = r.Lips(p), upper = r.UpperLip(p), lower = r.LowerLip(p);
                const double corners = Smoothstep(0.8 * u, 2.2 * u, std::abs(p.x)) * lips;
                const double bow = Plateau(std::abs(p.x) / u, 0.2, 0.9) * upper;
                return Vec3{0.12 * c[2] * p.x * lips,
                            (0.3 * c[0] * upper + 0.3 * c[1] * lower + 0.25 * c[5] * lips) * u,
                            (0.25 * c[3] * corners + 0.18 * c[4] * bow) * u};
            }};
        }
        // Bridge height, tip height and length, width, a hump, the tip's roundness.
        return MorphShape{[r, c, u, m](const Vec3& p) {
            const double nose = r.Nose(p), tip = r.NoseTip(p), bridge = r.NoseBridge(p);
            Vec3 d{0.3 * c[3] * p.x * nose / u,
                   (0.45 * c[0] * bridge + 0.5 * c[2] * tip + 0.35 * std::max(0.0, c[4]) * bridge) * u,
                   0.4 * c[1] * tip * u};
            const Vec3 fromTip = p - m.noseTip;
            const double dist = fromTip.Length();
            if (dist > 0) d += fromTip * (0.25 * c[5] * u * Plateau(dist / u, 0.3, 1.2) / dist) * r.Nose(p);
            return d;
        }};
    }
    return std::nullopt;
}

// Names made of feature words and a direction word, as a race set's own sliders name them
// ("NoseWide", "BrowRidgeDeep", "LipsFull"); a trailing number grades the change (20 full).
std::optional<MorphShape> WordMorph(const std::string& name, const Regions& r) {
    std::string words = name;
    int level = -1;
    size_t cut = words.size();
    while (cut > 0 && std::isdigit(static_cast<unsigned char>(words[cut - 1]))) --cut;
    if (cut < words.size()) {
        if (words.size() - cut > 3) return std::nullopt;
        level = std::stoi(words.substr(cut));
        words.resize(cut);
    }
    auto has = [&](const char* w) { return words.find(w) != std::string::npos; };
    auto endsWith = [&](const std::string& w) {
        return words.size() >= w.size() && words.compare(words.size() - w.size(), w.size(), w) == 0;
    };
    using Weight = double (Regions::*)(const Vec3&) const;
    const struct {
        const char* word;
        Weight region;
        bool midline;
    } features[] = {{"Nose", &Regions::Nose, true},   {"BrowRidge", &Regions::BrowRidge, false},
                    {"Brow", &Regions::Brow, false},  {"Eye", &Regions::Eye, false},
                    {"Lip", &Regions::Lips, true},    {"Mouth", &Regions::Lips, true},
                    {"Chin", &Regions::Chin, true},   {"Jaw", &Regions::Jaw, false},
                    {"Cheek", &Regions::Cheek, false}};
    Weight region = nullptr;
    bool midline = false;
    for (const auto& f : features) {
        if (has(f.word)) {
            region = f.region, midline = f.midline;
            break;
        }
    }
    if (!region) return std::nullopt;

    enum Direction { kUp, kDown, kOut, kIn, kWider, kNarrower };
    const std::pair<const char*, Direction> directions[] = {
        {"Up", kUp},      {"Down", kDown},   {"Forward", kOut},     {"Out", kOut},       {"Full", kOut}, {"Deep", kOut},
        {"Long", kOut},   {"Back", kIn},     {"In", kIn},           {"Thin", kIn},       {"Flat", kIn},  {"Short", kIn},
        {"Wide", kWider}, {"Large", kWider}, {"Narrow", kNarrower}, {"Small", kNarrower}};
    const auto found =
        std::find_if(std::begin(directions), std::end(directions), [&](const auto& d) { return endsWith(d.first); });
    if (found == std::end(directions)) return std::nullopt;
    const Direction direction = found->second;
    if (level == 0) return MorphShape{[](const Vec3&) { return Vec3{}; }};
    const double amount = 0.5 * r.U() * (level < 0 ? 1.0 : level / 20.0);
    return MorphShape{[r, region, midline, direction, amount](const Vec3& p) {
        const double weight = (r.*region)(p);
        const double w = weight * amount;
        switch (direction) {
            case kUp:
                return Vec3{0, 0, w};
            case kDown:
                return Vec3{0, 0, -w};
            case kOut:
            case kIn: {
                const double sense = direction == kOut ? 1.0 : -1.0;
                if (midline) return Vec3{0, sense * w, 0};
                return OnSideOf(p, Outward(Right(p)) * (sense * w));
            }
            case kWider:
                return Vec3{0.6 * p.x * w / r.U(), 0, 0};
            case kNarrower:
                return Vec3{-0.6 * p.x * w / r.U(), 0, 0};
        }
        return Vec3{};
    }};
}

}  // namespace

std::optional<MorphShape> FindMorphShape(const std::string& name, const Landmarks& marks) {
    const Regions regions(marks);
    if (auto s = FaceMorph(name, regions)) return s;
    if (auto s = TypeMorph(name, regions)) return s;
    return WordMorph(name, regions);
}

std::vector<Vec3> MorphOffsets(const MorphShape& shape, const HeadModel& model, MeshKind kind) {
    const Mesh& mesh = model.Get(kind);
    std::vector<Vec3> out;
    out.reserve(mesh.vertices.size());
    const Vec3 right = model.marks.eye, left{-right.x, right.y, right.z};
    for (const Vec3& p : mesh.vertices) {
        if (kind == MeshKind::kEyes && shape.eyesRigid)
            out.push_back(shape.field(p.x >= 0 ? right : left));
        else
            out.push_back(shape.field(p));
    }
    return out;
}

TriMorph QuantiseMorph(const std::string& name, const std::vector<Vec3>& offsets) {
    TriMorph m;
    m.name = name;
    double most = 0.0;
    for (const Vec3& d : offsets) most = std::max({most, std::abs(d.x), std::abs(d.y), std::abs(d.z)});
    m.deltas.resize(offsets.size(), TriDelta{0, 0, 0});
    if (most == 0.0) {
        m.scale = 1.0f;
        return m;
    }
    m.scale = static_cast<float>(most / 32767.0);
    const double scale = m.scale;
    auto q = [&](double v) { return static_cast<int16_t>(std::clamp(std::lround(v / scale), -32767l, 32767l)); };
    for (size_t i = 0; i < offsets.size(); ++i) m.deltas[i] = {q(offsets[i].x), q(offsets[i].y), q(offsets[i].z)};
    return m;
}

}  // namespace trigen
