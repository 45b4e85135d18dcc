// Race-set and race-definition files of any bytes: the parser and the loader end, stay inside
// their buffers, and whatever they accept keeps the model's invariants.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "config/loader.h"
#include "config/stream_lines.h"
#include "config/model.h"
#include "os/os.h"

namespace {

void WriteFile(const char* path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void Check(const RaceSetting& r) {
    if (r.fileSets.size() != r.fileSetNames.size() || r.maleFileSets.size() != r.maleFileSetNames.size())
        __builtin_trap();
    // Every path kept stays below its folder; a target that does not keeps no sources (a set
    // is empty only then, or when every source of it was refused).
    const std::string folder = r.iniDirectory.empty() ? std::string("Meshes\\Vultrane\\") : DataRelativePath(r.iniDirectory);
    for (int sex : {1, 2}) {
        const auto& targets = r.TargetNames(sex);
        const auto& sets = r.SourceSets(sex);
        for (size_t i = 0; i < targets.size(); ++i) {
            const bool targetOk = os::ConfinePath("", targets[i], "game folder").ok;
            if (!targetOk && !sets[i].empty()) __builtin_trap();
            for (const std::string& source : sets[i])
                if (!os::ConfinePath(folder, source, "data folder").ok) __builtin_trap();
        }
    }
    for (const SliderDef& s : r.sliders) {
        if (s.uniqueID < 1 || s.sexMask < 1 || s.sexMask > 3 || s.categoryMask == 0 || s.name.empty())
            __builtin_trap();
        int found = FindSliderForValue(r, s.uniqueID, s.sexMask);
        if (found < 0 || r.sliders[static_cast<size_t>(found)].type == kSliderMergedDuplicate) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One game folder for the whole run, with a vertex-edit file that inputs may name.
    char tmpl[] = "/tmp/vtr-fuzz-raceset-XXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) __builtin_trap();
    mkdir("data", 0755);
    mkdir("data/Meshes", 0755);
    mkdir("data/Meshes/Vultrane", 0755);
    const char edit[] = "[mainmodel]\nvertexnum=4\n0, 1, 2, 3\n[extramodel]\n1, 2\n";
    WriteFile("data/Meshes/Vultrane/edit.txt", reinterpret_cast<const uint8_t*>(edit), sizeof(edit) - 1);
    // The log's copy on standard output would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout)) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteFile("data/Meshes/Vultrane/fuzz.ini", data, size);

    Config() = Configuration{};
    RaceSetting r = ParseRaceSetFile(kConfigDirectory, "fuzz.ini");
    if (!r.raceSetName.empty()) Check(r);

    // The same bytes as the only .ini file of the folder: definitions, settings and any race
    // set they name (the file itself included).
    Config() = Configuration{};
    LoadConfiguration(kConfigDirectory);
    const Configuration& c = Config();
    for (const RaceDefinition& d : c.raceDefinitions) {
        if (d.sliderIni.empty() || (d.names.empty() && d.editorIds.empty())) __builtin_trap();
        if (!os::ConfinePath("Meshes\\Vultrane\\", d.sliderIni, "data folder").ok) __builtin_trap();
    }
    for (const RaceSetting& s : c.raceSettings) {
        if (s.raceSetName.empty()) __builtin_trap();
        Check(s);
    }
    if (c.sliderScale == 0.0 || c.sliderStep == 0) __builtin_trap();
    Config() = Configuration{};
    return 0;
}
