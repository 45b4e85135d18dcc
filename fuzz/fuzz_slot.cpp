// Slot and preset files of any bytes: both readers end, stay inside their buffers, agree with
// each other, never yield more pairs than lines or a value that is not finite, and what they
// read survives being written as a slot and read again.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "config/model.h"
#include "persist/slots.h"
#include "sliders/apply.h"

namespace {

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// Once per process; also when a replay calls the input function without the initializer.
void Setup() {
    static bool done = false;
    if (done) return;
    done = true;
    // Each round trip replaces a file with a sync to disk; memory-backed is much faster.
    struct stat st {};
    std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/vtr-fuzz-slot-XXXXXX";
    if (!mkdtemp(tmpl.data()) || chdir(tmpl.c_str()) != 0) __builtin_trap();
    static std::string* folder = new std::string(tmpl);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(*folder, ec);
    });
    for (const char* dir : {"data", "data/Meshes", "data/Meshes/Vultrane", "data/Meshes/Vultrane/Presets", "docs",
                            "docs/My Games", "docs/My Games/Skyrim", "docs/My Games/Skyrim/VTR_save"})
        mkdir(dir, 0755);
    setenv("XDG_DOCUMENTS_DIR", (tmpl + "/docs").c_str(), 1);
    // The log's copy on standard output would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout)) __builtin_trap();
}

void CheckPairs(const FaceSlot& pairs, size_t lines) {
    if (pairs.size() > lines) __builtin_trap();
    for (const auto& p : pairs)
        if (!std::isfinite(p.second)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    WriteFile("docs/My Games/Skyrim/VTR_save/_1_Fuzz.slot", data, size);
    WriteFile("data/Meshes/Vultrane/Presets/fuzz.txt", data, size);
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';

    Config() = Configuration{};
    Config().raceDefinitions = {{"fuzz.ini", {"Fuzz"}, {}, {"fuzz.txt"}}};
    RaceSetting set;
    set.raceSetName = "Fuzz";

    FaceSlot slot, preset;
    if (!LoadFaceSlot(set, "Fuzz", 1, slot)) __builtin_trap();
    if (!LoadFaceSlot(set, "Fuzz", -1, preset)) __builtin_trap();
    CheckPairs(slot, lines);
    CheckPairs(preset, lines);
    // The game's line reader ends a line's text at a zero byte; without one both agree.
    if (!std::memchr(data, 0, size) && slot != preset) __builtin_trap();

    // Written back with six decimals and read again: the same ids, values within the rounding.
    SkeletonText() = "# \"fuzz\" scale:1\n#\n";
    WriteSlotFile(2, set, slot, "Fuzz");
    FaceSlot again;
    if (!LoadFaceSlot(set, "Fuzz", 2, again) || again.size() != slot.size()) __builtin_trap();
    for (size_t i = 0; i < slot.size(); ++i) {
        if (again[i].first != slot[i].first) __builtin_trap();
        if (std::fabs(again[i].second - slot[i].second) > 1e-6 + std::fabs(slot[i].second) * 1e-15) __builtin_trap();
    }
    Config() = Configuration{};
    return 0;
}
