// Resource streams of the simulated game: files under the data folder ("data\" below the
// current folder, the game's folder), found as Windows would find them.
#include <cstdio>
#include <cstring>
#include <string>

#include "game/engine.h"
#include "os/os.h"

namespace {

struct StreamState {
    FILE* file;
};
static_assert(sizeof(StreamState) <= sizeof(BSResourceNiBinaryStream::storage));

StreamState* State(BSResourceNiBinaryStream* s) { return reinterpret_cast<StreamState*>(s->storage); }

}  // namespace

void ResourceStream_Open(BSResourceNiBinaryStream* stream, const char* path, uint32_t, uint32_t) {
    std::memset(stream->storage, 0, sizeof(stream->storage));
    if (!path) return;
    State(stream)->file = os::OpenRead(std::string("data\\") + path);
}

bool ResourceStream_IsValid(BSResourceNiBinaryStream* stream) { return State(stream)->file != nullptr; }

uint32_t ResourceStream_Read(BSResourceNiBinaryStream* stream, void* buffer, uint32_t n) {
    FILE* f = State(stream)->file;
    if (!f || !buffer) return 0;
    return static_cast<uint32_t>(std::fread(buffer, 1, n, f));
}

void ResourceStream_Skip(BSResourceNiBinaryStream* stream, int32_t n) {
    FILE* f = State(stream)->file;
    if (f) std::fseek(f, n, SEEK_CUR);
}

uint32_t ResourceStream_ReadLine(BSResourceNiBinaryStream* stream, char* buffer, uint32_t size,
                                 uint32_t terminator) {
    FILE* f = State(stream)->file;
    if (!f || !buffer || size == 0) return 0;
    uint32_t stored = 0;
    bool sawTerminator = false;
    while (stored + 1 < size) {
        int c = std::fgetc(f);
        if (c == EOF) break;
        buffer[stored++] = static_cast<char>(c);
        if (static_cast<uint32_t>(static_cast<unsigned char>(c)) == terminator) {
            sawTerminator = true;
            break;
        }
    }
    buffer[stored] = '\0';
    if (stored == 0) return 0;
    // A last line without its terminator counts the string end in its place, so that a
    // caller dropping the last counted byte keeps every character.
    if (!sawTerminator && std::feof(f)) return stored + 1;
    return stored;
}

void ResourceStream_Close(BSResourceNiBinaryStream* stream) {
    StreamState* s = State(stream);
    if (s->file) std::fclose(s->file);
    s->file = nullptr;
}
