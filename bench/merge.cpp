// BuildMergedMorph for the head of a realistic race set (4,000 vertices, 150 active sliders),
// beside a plain pass that sums the same morphs' delta bytes into doubles; the ratio of the
// two times is printed after the runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_raceset.h"
#include "morph/merge.h"
#include "morph/tri_cache.h"

namespace {

namespace fs = std::filesystem;

const char* kHead = "data\\meshes\\actors\\character\\character assets\\femalehead.tri";

struct MergeWorld {
    MergeWorld() {
        files = benchraceset::WriteBenchRaceSet();
        values = benchraceset::BenchSliderValues(files.setting);
        EnsureTriCache("BenchRace", 2, files.setting);
        head = FindCachedTri(kHead);
        if (!head) std::abort();
        // The morphs the values select, as the merge finds them.
        for (size_t i = 0; i < values.size(); ++i) {
            const SliderDef& s = files.setting.sliders[i];
            const std::string& name = values[i].second >= 0 ? s.target : s.lowTarget;
            const int m = FindMorphIndex(*head, name);
            if (m < 0) std::abort();
            selected.push_back(&head->morphs[static_cast<size_t>(m)]);
            factors.push_back(std::fabs(values[i].second) * head->morphs[static_cast<size_t>(m)].scale);
        }
    }
    benchraceset::ScopedBenchFolder folder{"merge"};  // first: current before the rest is made
    benchraceset::RaceSetFiles files;
    SliderValueList values;
    const TriFile* head = nullptr;
    std::vector<const TriMorph*> selected;
    std::vector<double> factors;
};

MergeWorld& World() {
    static MergeWorld world;
    return world;
}

std::map<std::string, double> g_secondsPerIteration;

void Record(benchmark::State& state, const char* name, double seconds) {
    g_secondsPerIteration[name] = seconds / static_cast<double>(state.iterations());
    const double bytes = double(World().selected.size()) * World().head->vertexCount * sizeof(TriDelta);
    state.SetBytesProcessed(static_cast<int64_t>(bytes * static_cast<double>(state.iterations())));
}

// The floor: the same delta bytes, weighted and summed into doubles, nothing else.
void BM_PlainDeltaSum(benchmark::State& state) {
    MergeWorld& w = World();
    const size_t n = w.head->vertexCount;
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::vector<double> acc(3 * n, 0.0);
        for (size_t j = 0; j < w.selected.size(); ++j) {
            const TriDelta* d = w.selected[j]->deltas.data();
            const double f = w.factors[j];
            for (size_t v = 0; v < n; ++v) {
                acc[3 * v] += f * d[v].dx;
                acc[3 * v + 1] += f * d[v].dy;
                acc[3 * v + 2] += f * d[v].dz;
            }
        }
        benchmark::DoNotOptimize(acc.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Record(state, "plain", seconds);
}
BENCHMARK(BM_PlainDeltaSum)->Unit(benchmark::kMicrosecond);

void BM_BuildMergedMorph(benchmark::State& state) {
    MergeWorld& w = World();
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        MergedMorph m = BuildMergedMorph(w.values, w.files.setting, kHead, *w.head, w.head->vertexCount, 2, kMergeMain);
        benchmark::DoNotOptimize(m.deltas.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Record(state, "merge", seconds);
}
BENCHMARK(BM_BuildMergedMorph)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_secondsPerIteration.count("plain") && g_secondsPerIteration.count("merge"))
        std::printf("BuildMergedMorph / plain delta sum: %.2f (aim: 2.0 or below)\n",
                    g_secondsPerIteration["merge"] / g_secondsPerIteration["plain"]);
    return 0;
}
