// A race set of realistic size for benchmarks: source TRI files written into the current game
// folder (a head of 4,000 vertices and 450 morphs in two files, four smaller targets) and the
// RaceSetting that names them, with 150 two-way sliders over morphs that exist.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "config/model.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"

namespace benchraceset {

// A fresh temporary game folder, current while it lives; afterwards the TRI cache is
// emptied, the earlier folder is current again and the folder is removed.
class ScopedBenchFolder {
public:
    explicit ScopedBenchFolder(const char* tag) {
        std::string tmpl = std::string("/tmp/vtr-bench-") + tag + "-XXXXXX";
        if (!mkdtemp(tmpl.data())) std::abort();
        path_ = tmpl;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScopedBenchFolder() {
        ClearTriCache();
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScopedBenchFolder(const ScopedBenchFolder&) = delete;
    ScopedBenchFolder& operator=(const ScopedBenchFolder&) = delete;

private:
    std::filesystem::path path_, previous_;
};

struct RaceSetFiles {
    RaceSetting setting;                   // sources for sexCode 2
    std::vector<std::string> sourcePaths;  // as the resource stream opens them (below "data\")
    uint64_t fileBytes = 0;
};

// Deterministic noise, the same in every run.
inline uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline std::string SliderMorphName(int slider, bool high) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "VTR_S%03d%s", slider, high ? "Up" : "Down");
    return buf;
}

// One mesh with its morphs; each morph moves about a third of the vertices, as a local shape
// would, the rest stay zero.
inline TriFile MakeSource(uint32_t vertices, const std::vector<std::string>& morphs, uint32_t salt) {
    TriFile f;
    f.vertexCount = vertices;
    f.triangleCount = vertices * 2 - 4;
    f.uvCount = vertices + vertices / 20;
    f.vertices.reserve(vertices);
    for (uint32_t i = 0; i < vertices; ++i)
        f.vertices.push_back({float(Mix(i * 3 + salt) % 2000) / 100.0f - 10.0f, float(Mix(i * 3 + 1) % 2000) / 100.0f,
                              float(Mix(i * 3 + 2) % 3000) / 100.0f + 100.0f});
    for (uint32_t t = 0; t < f.triangleCount; ++t) {
        f.triangles.push_back({t % vertices, (t + 1) % vertices, (t + 2) % vertices});
        f.uvTriangles.push_back({t % f.uvCount, (t + 1) % f.uvCount, (t + 2) % f.uvCount});
    }
    for (uint32_t i = 0; i < f.uvCount; ++i) f.uvs.push_back({float(i % 64) / 64.0f, float(i / 64 % 64) / 64.0f});
    for (size_t j = 0; j < morphs.size(); ++j) {
        TriMorph m{morphs[j], 0.0005f + float(j % 7) * 0.0001f, std::vector<TriDelta>(vertices, TriDelta{0, 0, 0})};
        for (uint32_t i = 0; i < vertices; ++i) {
            uint32_t h = Mix(i * 2654435761U + uint32_t(j) * 40503U + salt);
            if (h % 3 != 0) continue;
            m.deltas[i] = {int16_t(int32_t(h >> 8 & 0xffff) - 32768), int16_t(int32_t(h & 0x3fff) - 8192),
                           int16_t(int32_t(h >> 18 & 0xfff) - 2048)};
        }
        f.morphs.push_back(std::move(m));
    }
    return f;
}

// The game's own morph names of a head: face morphs, the vampire morph, the type families,
// the two extra nose morphs and the neck and head morphs.
inline std::vector<std::string> GameHeadMorphNames() {
    std::vector<std::string> names(kFaceMorphNames.begin(), kFaceMorphNames.end());
    names.push_back("VampireMorph");
    const std::pair<const char*, int> families[] = {{"EyesType", 39}, {"LipType", 32}, {"NoseType", 31}};
    for (auto [family, count] : families)
        for (int i = 1; i <= count; ++i) names.push_back(family + std::to_string(i));
    for (const char* n : {"NoseType33", "NoseType34", "VTR_NeckShortNPC", "VTR_NeckLongNPC", "VTR_HeadSmallNPC",
                          "VTR_HeadLargeNPC"})
        names.push_back(n);
    return names;  // 147
}

constexpr int kBenchSliders = 150;

// Writes the sources below data\Meshes\Vultrane\Bench\ of the current folder.
inline RaceSetFiles WriteBenchRaceSet(const std::string& raceSetName = "BenchSet") {
    namespace fs = std::filesystem;
    RaceSetFiles out;
    RaceSetting& rs = out.setting;
    rs.raceSetName = raceSetName;
    rs.iniDirectory = "data\\Meshes\\Vultrane\\Bench\\";
    rs.raceNames = {"BenchRace"};
    fs::create_directories("data/Meshes/Vultrane/Bench");

    std::vector<std::string> sliderMorphs;
    for (int s = 0; s < kBenchSliders; ++s) {
        sliderMorphs.push_back(SliderMorphName(s, true));
        sliderMorphs.push_back(SliderMorphName(s, false));
    }
    std::vector<std::string> headGame = GameHeadMorphNames();
    std::vector<std::string> headExtra = sliderMorphs;
    for (size_t i = headGame.size() + headExtra.size(); i < 450; ++i) headExtra.push_back("VTR_Extra" + std::to_string(i));

    // A smaller target: some face morphs and some slider morphs.
    auto part = [&](size_t faces, size_t sliders) {
        std::vector<std::string> names(headGame.begin(), headGame.begin() + static_cast<std::ptrdiff_t>(faces));
        names.insert(names.end(), sliderMorphs.begin(), sliderMorphs.begin() + static_cast<std::ptrdiff_t>(sliders));
        return names;
    };
    struct Source {
        const char* file;
        uint32_t vertices;
        std::vector<std::string> morphs;
    };
    struct Target {
        const char* path;
        std::vector<Source> sources;
    };
    const std::vector<Target> targets = {
        {"data\\meshes\\actors\\character\\character assets\\femalehead.tri",
         {{"FemaleHead.tri", 4000, headGame}, {"FemaleHeadSliders.tri", 4000, headExtra}}},
        {"data\\meshes\\actors\\character\\character assets\\mouthhumanf.tri", {{"Mouth.tri", 800, part(20, 30)}}},
        {"data\\meshes\\actors\\character\\character assets\\eyeshumanf.tri", {{"Eyes.tri", 600, part(10, 25)}}},
        {"data\\meshes\\actors\\character\\character assets\\browshumanf.tri", {{"Brows.tri", 400, part(12, 18)}}},
        {"data\\meshes\\actors\\character\\character assets\\hairlinef.tri", {{"Hairline.tri", 300, part(6, 14)}}},
    };
    uint32_t salt = 1;
    for (const Target& t : targets) {
        rs.fileSetNames.push_back(t.path);
        std::vector<std::string> files;
        for (const Source& s : t.sources) {
            const std::string bytes = SerializeTri(MakeSource(s.vertices, s.morphs, salt++));
            std::ofstream(fs::path("data/Meshes/Vultrane/Bench") / s.file, std::ios::binary) << bytes;
            out.fileBytes += bytes.size();
            out.sourcePaths.push_back(std::string("Meshes\\Vultrane\\Bench\\") + s.file);
            files.push_back(s.file);
        }
        rs.fileSets.push_back(files);
    }

    for (int s = 0; s < kBenchSliders; ++s) {
        SliderDef d;
        d.name = "Bench slider " + std::to_string(s);
        d.uniqueID = 1000 + s;
        d.menuIndex = kMenuIndexNoneMorph;
        d.categoryMask = 1u << (2 + s % 7);
        d.categoryName = kCategoryNames[static_cast<size_t>(s % 7)];
        d.type = kSliderMorphPair;
        d.target = SliderMorphName(s, true);
        d.lowTarget = SliderMorphName(s, false);
        d.sexMask = 3;
        rs.sliders.push_back(d);
    }
    return out;
}

// A value for every slider, both signs.
inline std::vector<std::pair<int32_t, double>> BenchSliderValues(const RaceSetting& rs) {
    std::vector<std::pair<int32_t, double>> values;
    for (size_t i = 0; i < rs.sliders.size(); ++i)
        values.emplace_back(rs.sliders[i].uniqueID, (i % 2 ? -0.1 : 0.1) * double(1 + i % 9));
    return values;
}

}  // namespace benchraceset
