// The face-data text parser's peak heap memory as a ratio to the text's bytes, on the worst
// case for memory (10 MB of commas: a field, and half a pair, for every byte) and on a dense
// text of real pairs, beside the parser it replaced (split the whole text into a list of
// fields, then read the pairs), measured in the same run with a counting allocator.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "config/text.h"
#include "plugin/face_refresh.h"

namespace {

std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void Count(size_t n) {
    const size_t now = g_live.fetch_add(n) + n;
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

// Every allocation carries its size in front, so that frees are counted exactly.
void* operator new(size_t n) {
    void* p = std::malloc(n + 16);
    if (!p) throw std::bad_alloc();
    *static_cast<size_t*>(p) = n;
    Count(n);
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    void* base = static_cast<char*>(p) - 16;
    g_live.fetch_sub(*static_cast<size_t*>(base));
    std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

// The parser before: the whole text split into a list of field strings first.
FaceData SplitFirstParse(std::string_view text) {
    FaceData out;
    const std::vector<std::string> fields = Split(text, ',');
    out.fieldCount = fields.size();
    if (fields.empty()) return out;
    out.raceName = fields[0];
    for (size_t i = 1; i + 1 < fields.size(); i += 2) {
        if (fields[i] == "version") continue;
        const double value = ReadReal(fields[i + 1]);
        if (!std::isfinite(value)) {
            ++out.droppedValues;
            continue;
        }
        out.values.emplace_back(ReadInt(fields[i]), value);
    }
    return out;
}

const std::string& Commas() {
    static const std::string text = "Nord" + std::string(10 * 1000 * 1000, ',');
    return text;
}
const std::string& Pairs() {
    static const std::string text = [] {
        std::string t = "Nord";
        while (t.size() < 10 * 1000 * 1000) t += ",1,1";
        return t;
    }();
    return text;
}

std::map<std::string, double> g_ratio;

template <FaceData (*Parse)(std::string_view)>
void Run(benchmark::State& state, const std::string& text, const char* key) {
    double ratio = 0;
    for (auto _ : state) {
        const size_t before = g_live.load();
        g_peak.store(before);
        FaceData d = Parse(text);
        benchmark::DoNotOptimize(d);
        ratio = static_cast<double>(g_peak.load() - before) / static_cast<double>(text.size());
    }
    state.counters["peak_per_byte"] = ratio;
    g_ratio[key] = ratio;
}

void BM_OnePass_Commas(benchmark::State& s) { Run<ParseFaceData>(s, Commas(), "one-pass commas"); }
void BM_SplitFirst_Commas(benchmark::State& s) { Run<SplitFirstParse>(s, Commas(), "split-first commas"); }
void BM_OnePass_Pairs(benchmark::State& s) { Run<ParseFaceData>(s, Pairs(), "one-pass pairs"); }
void BM_SplitFirst_Pairs(benchmark::State& s) { Run<SplitFirstParse>(s, Pairs(), "split-first pairs"); }
BENCHMARK(BM_OnePass_Commas)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SplitFirst_Commas)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OnePass_Pairs)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SplitFirst_Pairs)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* input : {"commas", "pairs"}) {
        const std::string one = std::string("one-pass ") + input, split = std::string("split-first ") + input;
        if (g_ratio.count(one) && g_ratio.count(split))
            std::printf("face text, 10 MB of %s: peak heap / text bytes %.2f (split first: %.2f)\n",
                        std::string(input) == "commas" ? "commas" : "\",1,1\" pairs", g_ratio[one], g_ratio[split]);
    }
    return 0;
}
