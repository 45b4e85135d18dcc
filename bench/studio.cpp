// The studio's answer to one slider move (values parsed, node table, every target merged by the
// library and serialised) beside a plain pass over the same morph delta bytes, for the example
// head (all targets) and a real chargen head from ../shared/real-tri where present.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "config/model.h"
#include "morph/tri_cache.h"
#include "tools/vultrane/cli_game.h"
#include "tools/vultrane/studio.h"

namespace {

namespace fs = std::filesystem;
using vultrane::Json;

std::map<std::string, double> g_seconds;
std::vector<std::string> g_made;  // temporary folders, removed at the end
struct Case;
std::vector<Case*> g_cases;       // their studios end before the folders go

struct Case {
    std::string folder;
    std::unique_ptr<vultrane::Studio> studio;
    std::string body;  // every previewed slider's value, as the page sends them
    SliderValueList values;
    std::string error;
};

std::string TempFolder(const char* stem) {
    std::string t = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    if (!mkdtemp(t.data())) return {};
    g_made.push_back(t);
    return t;
}

// The values of every slider the page previews, with `moved` at `value` and the rest at rest.
void MakeValues(Case& c, int32_t moved, double value) {
    const Json state = Json::parse(c.studio->State().body);
    Json list = Json::array();
    for (const Json& r : state["records"]) {
        if (!r.contains("sliderID") || r.contains("vertexList")) continue;
        const int type = r["type"];
        if (type == 9 || type == 10 || type == 18) continue;
        const int32_t id = r["uniqueID"];
        const double lo = r["sliderMin"], hi = r["sliderMax"];
        const double v = id == moved ? value : std::min(std::max(0.0, lo), hi);
        list.push_back({id, v});
        c.values.emplace_back(id, v);
    }
    c.body = Json{{"values", list}}.dump();
}

Case& Example() {
    static Case c = [] {
        Case x;
        x.folder = TempFolder("vultrane-bench-studio");
        vultrane::PrepareExampleGame(x.folder);
        x.studio = std::make_unique<vultrane::Studio>(vultrane::StudioOptions{x.folder, "Nord", 1, ""});
        MakeValues(x, 28, 0.5);  // Nose height
        return x;
    }();
    static bool listed = (g_cases.push_back(&c), true);
    (void)listed;
    return c;
}

Case& Real() {
    static Case c = [] {
        Case x;
        const fs::path gz = fs::path(VTR_SOURCE_DIR) / ".." / "shared" / "real-tri" / "OtterMaleHeadChargen.tri.gz";
        std::error_code ec;
        if (!fs::exists(gz, ec)) {
            x.error = "no " + gz.string();
            return x;
        }
        x.folder = TempFolder("vultrane-bench-studio-real");
        const std::string sets = x.folder + "/Meshes/Vultrane/Sets";
        fs::create_directories(sets);
        const std::string cmd = "gzip -dc '" + gz.string() + "' > '" + sets + "/Head.tri'";
        if (std::system(cmd.c_str()) != 0) {
            x.error = "gzip cannot unpack " + gz.string();
            return x;
        }
        std::string bytes;
        TriFile head;
        {
            FILE* f = std::fopen((sets + "/Head.tri").c_str(), "rb");
            char buf[65536];
            size_t n;
            while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
            if (f) std::fclose(f);
            TriMemorySource src(bytes.data(), bytes.size());
            ReadTriBody(src, head);
        }
        // One slider per pair of the head's morphs: every delta byte of the file takes part.
        std::string ini = "racesetname=Otter\nmfiles=data\\meshes\\otter\\headchargen.tri, Head.tri\n[Face]\n";
        for (size_t i = 0; i + 1 < head.morphs.size(); i += 2)
            ini += "M" + std::to_string(i) + ", " + std::to_string(100 + i) + ", 200, " + head.morphs[i + 1].name + ", " +
                   head.morphs[i].name + "\n";
        FILE* f = std::fopen((sets + "/Otter.ini").c_str(), "wb");
        std::fputs(ini.c_str(), f);
        std::fclose(f);
        f = std::fopen((x.folder + "/Meshes/Vultrane/races.ini").c_str(), "wb");
        std::fputs("[Otter]\nsliderini=Sets\\Otter.ini\nname=Otter\n", f);
        std::fclose(f);
        x.studio = std::make_unique<vultrane::Studio>(vultrane::StudioOptions{x.folder, "Otter", 0, ""});
        MakeValues(x, 100, 0.5);
        for (auto& [id, v] : x.values) v = 0.3;  // every morph in play
        Json list = Json::array();
        for (const auto& [id, v] : x.values) list.push_back({id, v});
        x.body = Json{{"values", list}}.dump();
        return x;
    }();
    static bool listed = (g_cases.push_back(&c), true);
    (void)listed;
    return c;
}

// What the merge's bytes alone cost: for every value, the morph its slider picks summed into
// an accumulator per target, as plain loops over the same deltas.
double PlainPass(const SliderValueList& values, const std::string& raceSetName, int sexCode) {
    const RaceSetting* set = nullptr;
    for (const RaceSetting& s : Config().raceSettings)
        if (s.raceSetName == raceSetName) set = &s;
    double sum = 0;
    for (const std::string& target : set->TargetNames(sexCode)) {
        const TriFile* tri = FindCachedTri(target);
        std::vector<double> acc(static_cast<size_t>(tri->vertexCount) * 3, 0.0);
        for (const auto& [id, v] : values) {
            const int s = FindSliderForValue(*set, id, sexCode);
            if (s < 0) continue;
            const SliderDef& d = set->sliders[static_cast<size_t>(s)];
            std::string name;
            double w = 1;
            if (d.type == kSliderMorphPair) {
                name = v >= 0 ? d.target : d.lowTarget;
                w = std::fabs(v);
            } else if (d.type == kSliderMorph) {
                name = d.target + std::to_string(static_cast<int>(v + 0.5));
            } else {
                continue;
            }
            const int m = FindMorphIndex(*tri, name);
            if (m < 0) continue;
            const TriMorph& morph = tri->morphs[static_cast<size_t>(m)];
            const double k = w * morph.scale;
            const size_t n = std::min<size_t>(tri->vertexCount, morph.deltas.size());
            for (size_t i = 0; i < n; ++i) {
                acc[3 * i] += k * morph.deltas[i].dx;
                acc[3 * i + 1] += k * morph.deltas[i].dy;
                acc[3 * i + 2] += k * morph.deltas[i].dz;
            }
        }
        sum += acc[0];
    }
    return sum;
}

void BM_StudioMerge_Example(benchmark::State& state) {
    Case& c = Example();
    for (auto _ : state) {
        vultrane::StudioAnswer a = c.studio->Merge(c.body);
        benchmark::DoNotOptimize(a.body.data());
    }
}
void BM_PlainPass_Example(benchmark::State& state) {
    Case& c = Example();
    for (auto _ : state) benchmark::DoNotOptimize(PlainPass(c.values, "Nord", 2));
}
void BM_StudioMerge_RealHead(benchmark::State& state) {
    Case& c = Real();
    if (!c.studio) return state.SkipWithError(c.error.c_str());
    for (auto _ : state) {
        vultrane::StudioAnswer a = c.studio->Merge(c.body);
        benchmark::DoNotOptimize(a.body.data());
    }
}
void BM_PlainPass_RealHead(benchmark::State& state) {
    Case& c = Real();
    if (!c.studio) return state.SkipWithError(c.error.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(PlainPass(c.values, "Otter", 1));
}
BENCHMARK(BM_StudioMerge_Example)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainPass_Example)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StudioMerge_RealHead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainPass_RealHead)->Unit(benchmark::kMicrosecond);

// Collects each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred && r.iterations > 0) g_seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (Case* c : g_cases) c->studio.reset();
    std::error_code ec;
    for (const std::string& f : g_made) fs::remove_all(f, ec);
    for (const char* kind : {"Example", "RealHead"}) {
        const std::string s = std::string("BM_StudioMerge_") + kind, p = std::string("BM_PlainPass_") + kind;
        if (g_seconds.count(s) && g_seconds.count(p) && g_seconds[p] > 0)
            std::printf("%s: studio merge answer / plain pass over the same deltas: %.2f (aim: 2.0 or below)\n", kind,
                        g_seconds[s] / g_seconds[p]);
    }
    return 0;
}
