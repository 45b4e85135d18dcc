// Vertex-edit files of any bytes: the parser ends, stays inside its buffers, and the cache
// holds a file only when it was read without error.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

#include "config/loader.h"
#include "config/model.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/vtr-fuzz-vertexedit-XXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) __builtin_trap();
    mkdir("data", 0755);
    mkdir("data/Meshes", 0755);
    mkdir("data/Meshes/Vultrane", 0755);
    if (!std::freopen("/dev/null", "w", stdout)) __builtin_trap();  // the log's console copy
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen("data/Meshes/Vultrane/fuzz.txt", "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    Config() = Configuration{};
    const char* path = "data\\Meshes\\Vultrane\\fuzz.txt";
    vertexEditData* first = GetVertexEditData(path);
    vertexEditData* again = GetVertexEditData(path);
    if (first) {
        if (again != first || Config().vertexEditCache.size() != 1 || first->path != path) __builtin_trap();
    } else if (!Config().vertexEditCache.empty() || again) {
        __builtin_trap();
    }
    Config() = Configuration{};
    return 0;
}
