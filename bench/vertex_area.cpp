// The vertex brush on the head of a realistic race set (4,000 vertices, 150 active sliders),
// with the mirror on, beside one accumulation pass of the same values over the same head;
// the ratio of the two times is printed after the runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <time.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_raceset.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"
#include "morph/vertex_area.h"

namespace {

namespace fs = std::filesystem;

const char* kHead = "data\\meshes\\actors\\character\\character assets\\femalehead.tri";
constexpr int32_t kPicked = 1234;
constexpr int32_t kPartner = 2345;

struct AreaWorld {
    AreaWorld() {
        files = benchraceset::WriteBenchRaceSet();
        edit.female.name = kHead;
        edit.female.vertexNum = 4000;
        // A mirror table as a vertex-edit file holds it: one record per vertex.
        for (int32_t v = 0; v < 4000; ++v) edit.female.mainRecords.push_back({v, 3999 - v, 0, 0});
        edit.female.mainRecords[kPicked].mirrorVertID = kPartner;
        files.setting.vertexEdit = &edit;
        values = benchraceset::BenchSliderValues(files.setting);
        EnsureTriCache("BenchRace", 2, files.setting);
        head = FindCachedTri(kHead);
        if (!head) std::abort();
        query.vertexID = kPicked;
        query.x = 40;
        query.y = -25;
        query.z = 10;
        query.areaType = 0;
        query.isMirror = true;
    }
    benchraceset::ScopedBenchFolder folder{"area"};  // first: current before the rest is made
    benchraceset::RaceSetFiles files;
    vertexEditData edit;
    SliderValueList values;
    const TriFile* head = nullptr;
    AreaQuery query;
};

AreaWorld& World() {
    static AreaWorld world;
    return world;
}

// Thread CPU time: the two shared cores of the build machine make wall time noisy.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::map<std::string, double> g_secondsPerIteration;
std::map<std::string, size_t> g_selected;

// The baseline: one accumulation pass of the current values into a fresh accumulator.
void BM_AccumulateMorphs(benchmark::State& state) {
    AreaWorld& w = World();
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        std::vector<double> acc(3 * size_t(w.head->vertexCount), 0.0);
        AccumulateMorphs(acc, w.values, w.files.setting, kHead, *w.head, w.head->vertexCount, 2, kMergeMain);
        benchmark::DoNotOptimize(acc.data());
        seconds += CpuSeconds() - start;
    }
    g_secondsPerIteration["accumulate"] = seconds / double(state.iterations());
}
BENCHMARK(BM_AccumulateMorphs)->Unit(benchmark::kMicrosecond);

void BM_SelectVertexArea(benchmark::State& state) {
    AreaWorld& w = World();
    const VertexEditSexBlock& block = w.edit.female;
    AreaQuery query = w.query;
    query.area = double(state.range(0));  // radius 0.16 x area
    std::vector<AreaSelection> selection;
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        if (!SelectVertexArea(*w.head, block, w.values, w.files.setting, 2, query, selection)) std::abort();
        std::vector<AreaResult> out = TruncateSelection(selection);
        benchmark::DoNotOptimize(out.data());
        seconds += CpuSeconds() - start;
    }
    state.counters["selected"] = double(selection.size());
    const std::string key = "area " + std::to_string(state.range(0));
    g_selected[key] = selection.size();
    g_secondsPerIteration[key] = seconds / double(state.iterations());
}
// A brush of a few dozen vertices, and one over about half of the head.
BENCHMARK(BM_SelectVertexArea)->Arg(60)->Arg(250)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_secondsPerIteration.count("accumulate")) return 0;
    for (const auto& [key, seconds] : g_secondsPerIteration) {
        if (key == "accumulate") continue;
        std::printf("vertex %s (%zu selected, mirror on) / one accumulation pass: %.2f (aim: 1.5 or below)\n",
                    key.c_str(), g_selected[key], seconds / g_secondsPerIteration["accumulate"]);
    }
    return 0;
}
