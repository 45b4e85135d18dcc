// TRI morph files ("FRTRI003"): the in-memory form, the reader and the writer. The header and
// each body record are described once and that description drives both directions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "game/engine.h"

namespace os {
class ReplacingFile;
}

struct TriVertex {
    float x, y, z;
};
struct TriTriangle {
    uint32_t a, b, c;
};
struct TriUv {
    float u, v;
};
struct TriDelta {
    int16_t dx, dy, dz;
};
struct TriQuad {
    uint32_t a, b, c, d;
};
static_assert(sizeof(TriVertex) == 12 && sizeof(TriTriangle) == 12 && sizeof(TriUv) == 8 && sizeof(TriDelta) == 6 &&
              sizeof(TriQuad) == 16);

struct TriMorph {
    std::string name;
    float scale = 1.0f;
    std::vector<TriDelta> deltas;
};

// Header bit 0: texture coordinates present. With a texture-coordinate count of 0 it means one
// pair per vertex and no texture triangles.
constexpr uint32_t kTriFlagTextureCoordinates = 1;

struct TriFile {
    std::string name;  // the cache key (a target path), not a file on disk
    std::vector<TriMorph> morphs;
    uint32_t vertexCount = 0;
    uint32_t triangleCount = 0;
    uint32_t uvCount = 0;
    std::vector<TriVertex> vertices;
    std::vector<TriTriangle> triangles;
    // uvCount pairs, or, with uvCount 0 and the flag set, one per vertex.
    std::vector<TriUv> uvs;
    std::vector<TriTriangle> uvTriangles;  // when uvCount > 0

    // What the merge never interprets, carried from the geometry source into written files:
    // the header's counts, and the blocks' bytes or records as they were read.
    uint32_t flags = kTriFlagTextureCoordinates;
    uint32_t quadCount = 0;
    uint32_t labelledVertexCount = 0;
    uint32_t labelledPointCount = 0;
    uint32_t modifierMorphCount = 0;    // statistical morphs
    uint32_t modifierVertexCount = 0;
    std::vector<TriVertex> modifierVertices;
    std::vector<TriQuad> quads;
    std::string labelledVertices;  // per record: u32 vertex index, name
    std::string labelledPoints;    // per record: 12 bytes, name
    std::vector<TriQuad> uvQuads;  // when uvCount > 0
    std::string modifierMorphs;    // per record: name, u32 count n, n u32 vertex indices

    // Source files read into this file (the cache's count; 0: every source failed).
    uint32_t filesRead = 0;
    // First index of each morph name; filled by IndexTriMorphs.
    std::unordered_map<std::string, int> morphIndex;
};

// Where the bytes of a TRI file come from: the game's resource stream, or memory (tests,
// fuzzing, tools). Read returns the bytes delivered, fewer at the end.
class TriByteSource {
public:
    virtual ~TriByteSource() = default;
    virtual uint32_t Read(void* buffer, uint32_t size) = 0;
};

class TriStreamSource final : public TriByteSource {
public:
    explicit TriStreamSource(BSResourceNiBinaryStream* stream) : stream_(stream) {}
    uint32_t Read(void* buffer, uint32_t size) override;

private:
    BSResourceNiBinaryStream* stream_;
};

class TriMemorySource final : public TriByteSource {
public:
    TriMemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint32_t Read(void* buffer, uint32_t size) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct TriReadResult {
    bool ok = false;
    std::string error;  // what was wrong and where ("... at byte 1234"), empty when ok
};

// Reads one file into `file`: geometry and counts replace the file's, morphs are appended.
// A file that cannot be read whole (cut short, a block this reader does not read, a bad
// name) leaves `file` exactly as it was.
TriReadResult ReadTriBody(TriByteSource& source, TriFile& file);
TriReadResult ReadTriBody(BSResourceNiBinaryStream* stream, TriFile& file);

// Header and every block before the difference morphs (morph count 1 as a placeholder); one
// morph record, with exactly `vertexCount` deltas (missing ones written as zero, extra ones not
// written); the blocks behind the difference morphs (the statistical morphs); the morph count
// patched at byte 36. False when a write failed.
bool WriteTriHeader(os::ReplacingFile& out, const TriFile& file);
bool WriteTriMorph(os::ReplacingFile& out, std::string_view name, float scale, const std::vector<TriDelta>& deltas,
                   uint32_t vertexCount);
bool WriteTriTrailer(os::ReplacingFile& out, const TriFile& file);
bool PatchTriMorphCount(os::ReplacingFile& out, uint32_t morphCount);

// The whole file as bytes (header, geometry, every morph of `file` in order, the statistical
// morphs, the count patched), for tools and tests.
std::string SerializeTri(const TriFile& file);

// The statistical morphs of a file: each one's name and vertex count, from the kept bytes.
struct TriModifierMorphInfo {
    std::string name;
    uint32_t vertexCount = 0;
};
std::vector<TriModifierMorphInfo> ListModifierMorphs(const TriFile& file);

// Number of texture-coordinate pairs the file holds: uvCount, or one per vertex.
uint32_t TriUvPairCount(const TriFile& file);

// Rebuilds `morphIndex` (first occurrence of each name wins).
void IndexTriMorphs(TriFile& file);
// Index of the first morph with exactly this name, or -1.
int FindMorphIndex(const TriFile& file, std::string_view name);

constexpr uint32_t kTriHeaderSize = 64;
constexpr uint32_t kTriMorphCountOffset = 36;
constexpr uint32_t kTriMaxNameLength = 256;  // with the terminator
// Memory a morph takes beyond its deltas and name (its record, allocation, index entry), counted
// against the file's bytes: a file may take at most twice its bytes, plus the allowance.
constexpr uint64_t kTriMorphOverheadBytes = 3 * sizeof(TriMorph) + 96;
constexpr uint64_t kTriOverheadAllowance = 1024 * 1024;
