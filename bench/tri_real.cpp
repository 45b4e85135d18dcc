// The TRI reader on real FaceGen files (../shared/real-tri beside the project, when it is
// there): filling the cache from them beside a plain read of the same bytes through the same
// resource stream, and the reader's peak heap against each file's bytes, with the worst case of
// a file made of tiny morphs beside them. Ratios are printed after the runs.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "bench/bench_raceset.h"
#include "game/engine.h"
#include "morph/tri_cache.h"
#include "morph/tri_format.h"

// Heap in use and its peak, counted by every allocation of the process.
namespace {
std::atomic<size_t> g_inUse{0}, g_peak{0};
void Note(void* p) {
    if (!p) return;
    const size_t now = g_inUse.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void* Allocate(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    Note(p);
    return p;
}
void Release(void* p) {
    if (!p) return;
    g_inUse.fetch_sub(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

namespace fs = std::filesystem;

const fs::path kRealFolder = fs::path(VTR_SOURCE_DIR) / ".." / "shared" / "real-tri";

std::string Gunzip(const fs::path& path) {
    std::string out;
    gzFile in = gzopen(path.string().c_str(), "rb");
    if (!in) return out;
    char buffer[1 << 16];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    gzclose(in);
    return out;
}

// The real files unpacked into a game folder, one target per file.
struct RealWorld {
    RealWorld() : folder("tri-real") {
        setting.iniDirectory = "data\\Meshes\\Vultrane\\Sets\\Real\\";
        std::error_code ec;
        if (!fs::is_directory(kRealFolder, ec)) return;
        fs::create_directories("data/Meshes/Vultrane/Sets/Real");
        fs::create_directories("data/meshes/real");
        for (const auto& e : fs::directory_iterator(kRealFolder, ec)) {
            std::string name = e.path().filename().string();
            if (name.size() < 8 || name.compare(name.size() - 7, 7, ".tri.gz") != 0) continue;
            name.resize(name.size() - 3);
            const std::string bytes = Gunzip(e.path());
            std::ofstream("data/Meshes/Vultrane/Sets/Real/" + name, std::ios::binary) << bytes;
            files[name] = bytes;
            fileBytes += bytes.size();
            setting.fileSetNames.push_back("data\\meshes\\real\\" + name);
            setting.fileSets.push_back({name});
            sourcePaths.push_back("Meshes\\Vultrane\\Sets\\Real\\" + name);
        }
    }
    benchraceset::ScopedBenchFolder folder;
    RaceSetting setting;
    std::vector<std::string> sourcePaths;
    std::map<std::string, std::string> files;
    uint64_t fileBytes = 0;
};

RealWorld& World() {
    static RealWorld world;
    return world;
}

std::map<std::string, double> g_bytesPerSecond;

void BM_PlainStreamReadReal(benchmark::State& state) {
    RealWorld& w = World();
    if (w.files.empty()) {
        state.SkipWithError("no real .tri files beside the project");
        return;
    }
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        uint64_t total = 0;
        for (const std::string& path : w.sourcePaths) {
            BSResourceNiBinaryStream stream{};
            ResourceStream_Open(&stream, path.c_str(), 0, 0);
            while (uint32_t n = ResourceStream_Read(&stream, buffer.data(), static_cast<uint32_t>(buffer.size())))
                total += n;
            ResourceStream_Close(&stream);
        }
        if (total != w.fileBytes) state.SkipWithError("short read");
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.fileBytes));
}
BENCHMARK(BM_PlainStreamReadReal)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TriCacheFillReal(benchmark::State& state) {
    RealWorld& w = World();
    if (w.files.empty()) {
        state.SkipWithError("no real .tri files beside the project");
        return;
    }
    for (auto _ : state) {
        ClearTriCache();
        EnsureTriCache("Real", 2, w.setting);
        benchmark::DoNotOptimize(TriCache().data());
    }
    for (const TriFile& f : TriCache())
        if (f.filesRead != 1) state.SkipWithError(("not read: " + f.name).c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.fileBytes));
    ClearTriCache();
}
BENCHMARK(BM_TriCacheFillReal)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end() || r.error_occurred) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            g_bytesPerSecond[r.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Heap growth while one file is read (and then held) against the file's bytes.
double PeakRatio(const std::string& bytes, bool* ok = nullptr) {
    TriMemorySource source(bytes.data(), bytes.size());
    const size_t base = g_inUse.load();
    g_peak.store(base);
    bool read;
    {
        TriFile f;
        read = ReadTriBody(source, f).ok;
    }
    if (ok) *ok = read;
    return double(g_peak.load() - base) / double(bytes.size());
}

// The worst case: zero-vertex morphs with 4-character names, 13 bytes each.
std::string TinyMorphs(size_t bytes) {
    const uint32_t count = static_cast<uint32_t>(bytes / 13);
    std::string s = "FRTRI003";
    auto u32 = [&s](uint32_t v) {
        for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 255u));
    };
    for (uint32_t v : {0u, 0u, 0u, 0u, 0u, 0u, 1u, count, 0u, 0u}) u32(v);
    s.append(16, '\0');
    for (uint32_t i = 0; i < count; ++i) {
        u32(5);
        s.append("abcd", 5);
        u32(0x3f800000u);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double plain = g_bytesPerSecond["BM_PlainStreamReadReal"];
    const double fill = g_bytesPerSecond["BM_TriCacheFillReal"];
    if (plain > 0 && fill > 0)
        std::printf("real files: cache fill / plain read throughput: %.2f (aim 0.50 or more)\n", fill / plain);
    for (const auto& [name, bytes] : World().files) {
        bool ok = false;
        const double ratio = PeakRatio(bytes, &ok);
        std::printf("reader peak heap / file bytes: %.2f  %s (%zu bytes%s)\n", ratio, name.c_str(), bytes.size(),
                    ok ? "" : ", refused");
    }
    const std::string tiny = TinyMorphs(13u << 20);
    bool ok = true;
    const double ratio = PeakRatio(tiny, &ok);
    std::printf("reader peak heap / file bytes: %.2f  13 MB of zero-vertex morphs (%s; aim 2 or less)\n", ratio,
                ok ? "read" : "refused");
    return 0;
}
