// Filling the TRI cache for a race set of realistic size, beside a plain read of the same files
// through the same resource stream in large chunks; the ratio of their throughputs and the
// cache's memory against the file bytes are printed after the runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_raceset.h"
#include "game/engine.h"
#include "morph/tri_cache.h"

namespace {

namespace fs = std::filesystem;

// The game folder with the race set, made once and removed at exit.
struct BenchWorld {
    benchraceset::ScopedBenchFolder folder{"tri"};  // first: current before the files are written
    benchraceset::RaceSetFiles files = benchraceset::WriteBenchRaceSet();
};

BenchWorld& World() {
    static BenchWorld world;
    return world;
}

// What the cache holds on the heap: list capacities, name strings beyond the inline buffer,
// and (separately) the name index.
struct CacheMemory {
    uint64_t lists = 0;
    uint64_t index = 0;
};

uint64_t StringHeap(const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; }

CacheMemory MeasureCache() {
    CacheMemory m;
    const std::vector<TriFile>& cache = TriCache();
    m.lists += cache.capacity() * sizeof(TriFile);
    for (const TriFile& f : cache) {
        m.lists += StringHeap(f.name) + f.vertices.capacity() * sizeof(TriVertex) +
                   f.triangles.capacity() * sizeof(TriTriangle) + f.uvs.capacity() * sizeof(TriUv) +
                   f.uvTriangles.capacity() * sizeof(TriTriangle) + f.morphs.capacity() * sizeof(TriMorph);
        for (const TriMorph& morph : f.morphs) m.lists += StringHeap(morph.name) + morph.deltas.capacity() * sizeof(TriDelta);
        // A node holds the next pointer, the key, the value and the cached hash.
        m.index += f.morphIndex.bucket_count() * sizeof(void*);
        for (const auto& [name, i] : f.morphIndex)
            m.index += sizeof(void*) + sizeof(std::string) + sizeof(int) + sizeof(size_t) + StringHeap(name);
    }
    return m;
}

std::map<std::string, double> g_bytesPerSecond;
CacheMemory g_memory;

void RecordThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(World().files.fileBytes));
}

void BM_PlainStreamRead(benchmark::State& state) {
    BenchWorld& w = World();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        uint64_t total = 0;
        for (const std::string& path : w.files.sourcePaths) {
            BSResourceNiBinaryStream stream{};
            ResourceStream_Open(&stream, path.c_str(), 0, 0);
            if (!ResourceStream_IsValid(&stream)) state.SkipWithError("source missing");
            while (uint32_t n = ResourceStream_Read(&stream, buffer.data(), static_cast<uint32_t>(buffer.size())))
                total += n;
            ResourceStream_Close(&stream);
        }
        if (total != w.files.fileBytes) state.SkipWithError("short read");
        benchmark::DoNotOptimize(total);
        benchmark::ClobberMemory();
    }
    RecordThroughput(state);
}
BENCHMARK(BM_PlainStreamRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TriCacheFill(benchmark::State& state) {
    BenchWorld& w = World();
    for (auto _ : state) {
        ClearTriCache();
        EnsureTriCache("BenchRace", 2, w.files.setting);
        benchmark::DoNotOptimize(TriCache().data());
    }
    const std::vector<TriFile>& cache = TriCache();
    size_t morphs = 0;
    for (const TriFile& f : cache) morphs += f.morphs.size();
    if (cache.size() != w.files.setting.fileSetNames.size() || morphs != 450 + 50 + 35 + 30 + 20)
        state.SkipWithError("cache not filled as written");
    g_memory = MeasureCache();
    state.counters["file_bytes"] = static_cast<double>(w.files.fileBytes);
    state.counters["cache_bytes"] = static_cast<double>(g_memory.lists);
    state.counters["index_bytes"] = static_cast<double>(g_memory.index);
    RecordThroughput(state);
    ClearTriCache();
}
BENCHMARK(BM_TriCacheFill)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the console output and notes each run's throughput for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark; otherwise its one run.
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end() || r.error_occurred) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            g_bytesPerSecond[r.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double plain = g_bytesPerSecond["BM_PlainStreamRead"];
    const double fill = g_bytesPerSecond["BM_TriCacheFill"];
    const double bytes = static_cast<double>(World().files.fileBytes);
    if (plain > 0 && fill > 0)
        std::printf("cache fill / plain read throughput: %.2f (aim 0.50 or more)\n", fill / plain);
    if (g_memory.lists > 0)
        std::printf("cache memory / file bytes: %.3f lists, %.3f with the name index (aim 1.10 or less)\n",
                    double(g_memory.lists) / bytes, double(g_memory.lists + g_memory.index) / bytes);
    return 0;
}
