// SetMergedMorphsMemory end to end on a realistic race set (a 4,000-vertex head with 450
// morphs and four smaller targets, 150 active sliders), called through the menu value bridge
// as the movie calls it, with the game's loaded morph data in the simulated game for every
// target; beside a plain pass that sums the same 150 morphs' delta bytes of every target into
// doubles. The ratio of the two times is printed after the runs.
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
#include "config/model.h"
#include "game/sim/sim.h"
#include "game/sim/sim_morphdata.h"
#include "morph/tri_cache.h"
#include "plugin/bridge.h"
#include "plugin/registration.h"
#include "sliders/apply.h"

namespace {

namespace fs = std::filesystem;

struct MemoryWorld {
    MemoryWorld() {
        files = benchraceset::WriteBenchRaceSet();
        values = benchraceset::BenchSliderValues(files.setting);
        Config().raceSettings = {files.setting};
        TESNPC* npc = sim::AddNpc(1);
        sim::CreatePlayer(&npc->form, sim::AddRace("BenchRace", "BenchRace"));
        EnsureTriCache("BenchRace", 2, files.setting);
        for (const std::string& target : files.setting.fileSetNames) {
            const TriFile* tri = FindCachedTri(target);
            if (!tri) std::abort();
            sim::LoadedMorphData* d = sim::AddLoadedMorphData(target.substr(5));
            sim::MorphData_AddMorph(d, "NoseType32", tri->vertexCount, tri->vertexCount);
            sim::MorphData_AddMorph(d, "NoseType33", tri->vertexCount, tri->vertexCount);
            // The morphs the values select, for the plain pass.
            selected.emplace_back();
            for (const auto& [id, value] : values) {
                for (const SliderDef& s : files.setting.sliders) {
                    if (s.uniqueID != id) continue;
                    const int m = FindMorphIndex(*tri, value >= 0 ? s.target : s.lowTarget);
                    if (m < 0) continue;
                    selected.back().emplace_back(&tri->morphs[size_t(m)], std::fabs(value) * tri->morphs[size_t(m)].scale);
                    deltaBytes += double(tri->vertexCount) * sizeof(TriDelta);
                }
            }
            counts.push_back(tri->vertexCount);
        }
        movie = sim::CreateMovie();
        Movie_CreateObject(movie, &root, nullptr, nullptr, 0);
        RegisterFunctions(movie, &root);
        Movie_CreateArray(movie, &info);
        for (const auto& [id, value] : values) {
            GFxValue a = sim::MakeNumber(id);
            GFxValue b = sim::MakeNumber(value);
            Value_PushBack(info, a);
            Value_PushBack(info, b);
        }
        Movie_CreateString(movie, &race, "BenchRace");
    }
    benchraceset::ScopedBenchFolder folder{"memory"};  // first: current before the rest is made
    benchraceset::RaceSetFiles files;
    SliderValueList values;
    std::vector<std::vector<std::pair<const TriMorph*, double>>> selected;  // per target
    std::vector<uint32_t> counts;
    double deltaBytes = 0;
    GFxMovieView* movie = nullptr;
    GFxValue root{}, info{}, race{};
};

MemoryWorld& World() {
    static MemoryWorld world;
    return world;
}

std::map<std::string, double> g_secondsPerIteration;

void Record(benchmark::State& state, const char* name, double seconds) {
    g_secondsPerIteration[name] = seconds / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(World().deltaBytes * static_cast<double>(state.iterations())));
}

// The floor: the selected morphs' delta bytes of every target, weighted and summed.
void BM_PlainDeltaSum(benchmark::State& state) {
    MemoryWorld& w = World();
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (size_t t = 0; t < w.counts.size(); ++t) {
            const size_t n = w.counts[t];
            std::vector<double> acc(3 * n, 0.0);
            for (const auto& [morph, f] : w.selected[t]) {
                const TriDelta* d = morph->deltas.data();
                for (size_t v = 0; v < n; ++v) {
                    acc[3 * v] += f * d[v].dx;
                    acc[3 * v + 1] += f * d[v].dy;
                    acc[3 * v + 2] += f * d[v].dz;
                }
            }
            benchmark::DoNotOptimize(acc.data());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Record(state, "plain", seconds);
}
BENCHMARK(BM_PlainDeltaSum)->Unit(benchmark::kMicrosecond);

void BM_SetMergedMorphsMemory(benchmark::State& state) {
    MemoryWorld& w = World();
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        GFxValue args[3] = {w.race, w.info, sim::MakeNumber(0)};
        GFxValue result{};
        sim::InvokeMember(w.movie, w.root, "SetMergedMorphsMemory", args, 3, &result);
        if (result.type != kGFxType_Bool || !result.data.boolean) state.SkipWithError("not refreshed");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Record(state, "memory", seconds);
}
BENCHMARK(BM_SetMergedMorphsMemory)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_secondsPerIteration.count("plain") && g_secondsPerIteration.count("memory"))
        std::printf("SetMergedMorphsMemory: %.3f ms per call, %.2fx the plain pass (%.3f ms)\n",
                    g_secondsPerIteration["memory"] * 1e3,
                    g_secondsPerIteration["memory"] / g_secondsPerIteration["plain"],
                    g_secondsPerIteration["plain"] * 1e3);
    return 0;
}
