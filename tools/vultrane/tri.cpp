// vultrane tri: what a .tri morph file holds (info) and how two differ (diff).
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <unordered_map>

#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/cli_tri.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

bool LoadTriFile(const std::string& path, TriFile& file, std::string& error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    TriMemorySource source(bytes.data(), bytes.size());
    file = TriFile{};
    file.name = path;
    const TriReadResult r = ReadTriBody(source, file);
    if (!r.ok) {
        error = r.error;
        return false;
    }
    IndexTriMorphs(file);
    return true;
}

namespace {

double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// The offset of a vertex in model units; zero beyond the morph's own deltas.
void Offset(const TriMorph& m, size_t v, double& x, double& y, double& z) {
    if (v >= m.deltas.size()) {
        x = y = z = 0.0;
        return;
    }
    const double s = m.scale;
    x = m.deltas[v].dx * s;
    y = m.deltas[v].dy * s;
    z = m.deltas[v].dz * s;
}

}  // namespace

MorphSummary SummariseMorph(const TriMorph& morph) {
    MorphSummary s{morph.name, morph.scale, morph.deltas.size()};
    for (size_t v = 0; v < morph.deltas.size(); ++v) {
        double x, y, z;
        Offset(morph, v, x, y, z);
        const double l = Length(x, y, z);
        if (l > s.largest) {
            s.largest = l;
            s.vertex = static_cast<int64_t>(v);
        }
    }
    return s;
}

TriDifference CompareTri(const TriFile& a, const TriFile& b) {
    TriDifference d;
    auto count = [&](const char* what, size_t x, size_t y) {
        if (x != y) d.header.push_back(std::string(what) + ": " + std::to_string(x) + " vs " + std::to_string(y));
    };
    count("vertices", a.vertexCount, b.vertexCount);
    count("triangles", a.triangleCount, b.triangleCount);
    count("texture coordinates", a.uvCount, b.uvCount);
    count("morphs", a.morphs.size(), b.morphs.size());
    count("modifier vertices", a.modifierVertexCount, b.modifierVertexCount);
    count("quads", a.quadCount, b.quadCount);
    count("labelled vertices", a.labelledVertexCount, b.labelledVertexCount);
    count("labelled surface points", a.labelledPointCount, b.labelledPointCount);
    count("statistical morphs", a.modifierMorphCount, b.modifierMorphCount);
    count("flags", a.flags, b.flags);

    {
        size_t n = std::min(a.vertices.size(), b.vertices.size()), differ = 0;
        double most = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const TriVertex& p = a.vertices[i];
            const TriVertex& q = b.vertices[i];
            if (p.x != q.x || p.y != q.y || p.z != q.z) {
                ++differ;
                most = std::max(most, Length(double(p.x) - q.x, double(p.y) - q.y, double(p.z) - q.z));
            }
        }
        if (differ)
            d.geometry.push_back("positions: " + std::to_string(differ) + " of " + std::to_string(n) +
                                 " vertices differ, at most " + Num(most) + " apart");
    }
    auto triangles = [&](const char* what, const std::vector<TriTriangle>& x, const std::vector<TriTriangle>& y) {
        size_t n = std::min(x.size(), y.size()), differ = 0;
        for (size_t i = 0; i < n; ++i) differ += x[i].a != y[i].a || x[i].b != y[i].b || x[i].c != y[i].c;
        if (differ) d.geometry.push_back(std::string(what) + ": " + std::to_string(differ) + " of " + std::to_string(n) + " differ");
    };
    triangles("triangles", a.triangles, b.triangles);
    triangles("texture triangles", a.uvTriangles, b.uvTriangles);
    {
        size_t n = std::min(a.uvs.size(), b.uvs.size()), differ = 0;
        for (size_t i = 0; i < n; ++i) differ += a.uvs[i].u != b.uvs[i].u || a.uvs[i].v != b.uvs[i].v;
        if (differ) d.geometry.push_back("texture coordinates: " + std::to_string(differ) + " of " + std::to_string(n) + " differ");
    }
    // Blocks the library carries without reading them are compared as bytes.
    auto bytes = [&](const char* what, const void* x, size_t xn, const void* y, size_t yn) {
        if (xn != yn || (xn && std::memcmp(x, y, xn) != 0)) d.geometry.push_back(std::string(what) + ": differ");
    };
    bytes("modifier vertices", a.modifierVertices.data(), a.modifierVertices.size() * sizeof(TriVertex),
          b.modifierVertices.data(), b.modifierVertices.size() * sizeof(TriVertex));
    bytes("quads", a.quads.data(), a.quads.size() * sizeof(TriQuad), b.quads.data(), b.quads.size() * sizeof(TriQuad));
    bytes("texture quads", a.uvQuads.data(), a.uvQuads.size() * sizeof(TriQuad), b.uvQuads.data(),
          b.uvQuads.size() * sizeof(TriQuad));
    bytes("labelled vertices", a.labelledVertices.data(), a.labelledVertices.size(), b.labelledVertices.data(),
          b.labelledVertices.size());
    bytes("labelled surface points", a.labelledPoints.data(), a.labelledPoints.size(), b.labelledPoints.data(),
          b.labelledPoints.size());
    bytes("statistical morphs", a.modifierMorphs.data(), a.modifierMorphs.size(), b.modifierMorphs.data(),
          b.modifierMorphs.size());

    // Morphs are matched by name, the first of a name as the library looks them up.
    std::vector<std::string> orderA, orderB;
    for (const TriMorph& m : a.morphs) {
        if (FindMorphIndex(a, m.name) != &m - a.morphs.data()) continue;
        const int j = FindMorphIndex(b, m.name);
        if (j < 0) {
            d.onlyInA.push_back(m.name);
            continue;
        }
        orderA.push_back(m.name);
        const TriMorph& o = b.morphs[static_cast<size_t>(j)];
        MorphDifference md{m.name, m.scale, o.scale};
        md.sameBytes = m.scale == o.scale && m.deltas.size() == o.deltas.size();
        const size_t n = std::max(m.deltas.size(), o.deltas.size());
        for (size_t v = 0; v < n; ++v) {
            double x1, y1, z1, x2, y2, z2;
            Offset(m, v, x1, y1, z1);
            Offset(o, v, x2, y2, z2);
            const bool bytesDiffer = v >= m.deltas.size() || v >= o.deltas.size() || m.deltas[v].dx != o.deltas[v].dx ||
                                     m.deltas[v].dy != o.deltas[v].dy || m.deltas[v].dz != o.deltas[v].dz;
            if (bytesDiffer) md.sameBytes = false;
            const double l = Length(x1 - x2, y1 - y2, z1 - z2);
            if (l > 0) {
                ++md.verticesDiffering;
                if (l > md.largest) {
                    md.largest = l;
                    md.vertex = static_cast<int64_t>(v);
                }
            }
        }
        if (md.sameBytes) ++d.sameMorphs;
        else d.changed.push_back(md);
    }
    for (const TriMorph& m : b.morphs) {
        if (FindMorphIndex(b, m.name) != &m - b.morphs.data()) continue;
        if (FindMorphIndex(a, m.name) < 0) d.onlyInB.push_back(m.name);
        else orderB.push_back(m.name);
    }
    d.orderDiffers = orderA != orderB;
    return d;
}

namespace {

TriFile LoadOrFail(const std::string& path) {
    TriFile f;
    std::string error;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw UsageError("'" + path + "' is not a file");
    // A file that is there but damaged is a finding, not a bad argument.
    if (!LoadTriFile(path, f, error)) throw std::runtime_error("cannot read " + path + ": " + error);
    return f;
}

void Info(const std::string& path, bool json) {
    const TriFile f = LoadOrFail(path);
    std::vector<MorphSummary> morphs;
    for (const TriMorph& m : f.morphs) morphs.push_back(SummariseMorph(m));
    const std::vector<TriModifierMorphInfo> modifiers = ListModifierMorphs(f);
    const bool perVertexUvs = f.uvCount == 0 && TriUvPairCount(f) > 0;
    if (json) {
        Json list = Json::array();
        for (const MorphSummary& s : morphs)
            list.push_back({{"name", s.name}, {"scale", s.scale}, {"deltas", s.deltas}, {"largestOffset", s.largest},
                            {"atVertex", s.vertex < 0 ? Json(nullptr) : Json(s.vertex)}});
        Json stats = Json::array();
        for (const TriModifierMorphInfo& m : modifiers) stats.push_back({{"name", m.name}, {"vertices", m.vertexCount}});
        PrintJson({{"file", path}, {"vertices", f.vertexCount}, {"triangles", f.triangleCount},
                   {"textureCoordinates", f.uvCount}, {"perVertexTextureCoordinates", perVertexUvs},
                   {"flags", f.flags}, {"quads", f.quadCount}, {"labelledVertices", f.labelledVertexCount},
                   {"labelledSurfacePoints", f.labelledPointCount}, {"modifierVertices", f.modifierVertexCount},
                   {"morphCount", f.morphs.size()}, {"morphs", list},
                   {"statisticalMorphCount", f.modifierMorphCount}, {"statisticalMorphs", stats}});
        return;
    }
    std::printf("%s\n  %u vertices, %u triangles, %u texture coordinates%s, %zu morphs\n", path.c_str(),
                f.vertexCount, f.triangleCount, f.uvCount, perVertexUvs ? " (one per vertex)" : "", f.morphs.size());
    std::printf("  %u quads, %u labelled vertices, %u labelled surface points, %u statistical morphs over %u "
                "modifier vertices\n\n",
                f.quadCount, f.labelledVertexCount, f.labelledPointCount, f.modifierMorphCount,
                f.modifierVertexCount);
    std::vector<std::vector<std::string>> rows;
    for (const MorphSummary& s : morphs) {
        char scale[32], largest[32];
        std::snprintf(scale, sizeof scale, "%.6g", static_cast<double>(s.scale));
        std::snprintf(largest, sizeof largest, "%.6g", s.largest);
        rows.push_back({s.name, scale, largest, s.vertex < 0 ? "-" : std::to_string(s.vertex)});
    }
    std::fputs(FormatTable({"morph", "scale", "largest offset", "at vertex"}, rows, {false, true, true, true}).c_str(),
               stdout);
    if (!modifiers.empty()) {
        rows.clear();
        for (const TriModifierMorphInfo& m : modifiers) rows.push_back({m.name, std::to_string(m.vertexCount)});
        std::printf("\n");
        std::fputs(FormatTable({"statistical morph", "vertices"}, rows, {false, true}).c_str(), stdout);
    }
}

int Diff(const std::string& pathA, const std::string& pathB, bool json) {
    TriFile a, b;
    try {
        a = LoadOrFail(pathA);
        b = LoadOrFail(pathB);
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        // Unreadable is neither "the same" nor "different".
        std::fprintf(stderr, "vultrane: error: %s\n", e.what());
        return 2;
    }
    const TriDifference d = CompareTri(a, b);
    if (json) {
        Json changed = Json::array();
        for (const MorphDifference& m : d.changed)
            changed.push_back({{"name", m.name}, {"scaleA", m.scaleA}, {"scaleB", m.scaleB},
                               {"verticesDiffering", m.verticesDiffering}, {"largestDifference", m.largest},
                               {"atVertex", m.vertex < 0 ? Json(nullptr) : Json(m.vertex)}});
        PrintJson({{"a", pathA}, {"b", pathB}, {"same", d.Same()}, {"header", d.header}, {"geometry", d.geometry},
                   {"onlyInA", d.onlyInA}, {"onlyInB", d.onlyInB}, {"changedMorphs", changed},
                   {"sameMorphs", d.sameMorphs}, {"morphOrderDiffers", d.orderDiffers}});
        return d.Same() ? 0 : 1;
    }
    std::printf("A: %s\nB: %s\n", pathA.c_str(), pathB.c_str());
    if (d.Same()) {
        std::printf("same header, geometry and morphs (%zu morphs)\n", d.sameMorphs);
        return 0;
    }
    for (const std::string& l : d.header) std::printf("header: %s\n", l.c_str());
    for (const std::string& l : d.geometry) std::printf("geometry: %s\n", l.c_str());
    auto names = [](const char* what, const std::vector<std::string>& list) {
        if (list.empty()) return;
        std::printf("%s (%zu):", what, list.size());
        for (const std::string& n : list) std::printf(" %s", n.c_str());
        std::printf("\n");
    };
    names("only in A", d.onlyInA);
    names("only in B", d.onlyInB);
    if (d.orderDiffers) std::printf("the morphs of both files come in another order\n");
    std::printf("%zu morphs alike, %zu differ\n", d.sameMorphs, d.changed.size());
    if (!d.changed.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (const MorphDifference& m : d.changed) {
            char sa[32], sb[32], l[32];
            std::snprintf(sa, sizeof sa, "%.6g", static_cast<double>(m.scaleA));
            std::snprintf(sb, sizeof sb, "%.6g", static_cast<double>(m.scaleB));
            std::snprintf(l, sizeof l, "%.6g", m.largest);
            rows.push_back({m.name, sa, sb, std::to_string(m.verticesDiffering), l,
                            m.vertex < 0 ? "-" : std::to_string(m.vertex)});
        }
        std::fputs(FormatTable({"morph", "scale A", "scale B", "vertices moved", "largest difference", "at vertex"},
                               rows, {false, true, true, true, true, true})
                       .c_str(),
                   stdout);
    }
    return 1;
}

}  // namespace

void AddTriCommand(CLI::App& app, Run& run) {
    CLI::App* tri = app.add_subcommand("tri", "Look into .tri morph files");
    tri->require_subcommand(1);
    auto file = std::make_shared<std::string>();
    auto files = std::make_shared<std::pair<std::string, std::string>>();
    auto json = std::make_shared<bool>(false);
    CLI::App* info = tri->add_subcommand("info", "Counts, and each morph's name, scale and largest offset");
    info->add_option("FILE", *file, "the .tri file")->required();
    info->add_flag("--json", *json, "print JSON");
    info->callback([file, json, &run] {
        Info(*file, *json);
        run.exitCode = 0;
    });
    CLI::App* diff = tri->add_subcommand("diff", "Which morphs differ and by how much; header and geometry too");
    diff->add_option("A", files->first, "the first .tri file")->required();
    diff->add_option("B", files->second, "the second .tri file")->required();
    diff->add_flag("--json", *json, "print JSON");
    diff->footer("Exit status: 0 the files hold the same, 1 they differ, 2 bad arguments or an unreadable file.");
    diff->callback([files, json, &run] { run.exitCode = Diff(files->first, files->second, *json); });
}

}  // namespace vultrane
