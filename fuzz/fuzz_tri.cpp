// TRI files of any bytes: the reader ends, stays inside its buffers, leaves the file it reads
// into untouched when it fails, and what it accepts agrees with its counts and writes back to
// the same content.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "morph/tri_format.h"

namespace {

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool Same(const TriFile& a, const TriFile& b) {
    if (a.name != b.name || a.vertexCount != b.vertexCount || a.triangleCount != b.triangleCount ||
        a.uvCount != b.uvCount || !SameBits(a.vertices, b.vertices) || !SameBits(a.triangles, b.triangles) ||
        !SameBits(a.uvs, b.uvs) || !SameBits(a.uvTriangles, b.uvTriangles) || a.morphs.size() != b.morphs.size() ||
        a.morphIndex != b.morphIndex || a.flags != b.flags || a.quadCount != b.quadCount ||
        a.labelledVertexCount != b.labelledVertexCount || a.labelledPointCount != b.labelledPointCount ||
        a.modifierMorphCount != b.modifierMorphCount || a.modifierVertexCount != b.modifierVertexCount ||
        !SameBits(a.modifierVertices, b.modifierVertices) || !SameBits(a.quads, b.quads) ||
        !SameBits(a.uvQuads, b.uvQuads) || a.labelledVertices != b.labelledVertices ||
        a.labelledPoints != b.labelledPoints || a.modifierMorphs != b.modifierMorphs)
        return false;
    for (size_t i = 0; i < a.morphs.size(); ++i)
        if (a.morphs[i].name != b.morphs[i].name ||
            std::memcmp(&a.morphs[i].scale, &b.morphs[i].scale, sizeof(float)) != 0 ||
            !SameBits(a.morphs[i].deltas, b.morphs[i].deltas))
            return false;
    return true;
}

// Delivers at most `piece` bytes per call, as a slow stream may.
class TrickleSource final : public TriByteSource {
public:
    TrickleSource(const uint8_t* data, size_t size, uint32_t piece) : inner_(data, size), piece_(piece) {}
    uint32_t Read(void* buffer, uint32_t size) override { return inner_.Read(buffer, size < piece_ ? size : piece_); }

private:
    TriMemorySource inner_;
    uint32_t piece_;
};

TriFile Occupied() {
    TriFile f;
    f.name = "target";
    f.vertexCount = 1;
    f.vertices = {{1, 2, 3}};
    f.morphs.push_back({"Old", 2.0f, {{1, 2, 3}}});
    IndexTriMorphs(f);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TriFile kBefore = Occupied();
    TriFile file = kBefore;
    TriMemorySource source(data, size);
    TriReadResult r = ReadTriBody(source, file);

    // The same bytes in small pieces read the same.
    TriFile trickled = kBefore;
    TrickleSource pieces(data, size, static_cast<uint32_t>(size % 13) + 1);
    TriReadResult rt = ReadTriBody(pieces, trickled);
    if (rt.ok != r.ok || rt.error != r.error || !Same(trickled, file)) __builtin_trap();

    if (!r.ok) {
        if (r.error.empty() || !Same(file, kBefore)) __builtin_trap();
        return 0;
    }
    if (!r.error.empty() || file.name != kBefore.name) __builtin_trap();
    const bool indexedUvs = file.uvCount > 0;
    if (file.vertices.size() != file.vertexCount || file.triangles.size() != file.triangleCount ||
        file.uvs.size() != TriUvPairCount(file) || file.uvTriangles.size() != (indexedUvs ? file.triangleCount : 0) ||
        file.quads.size() != file.quadCount || file.uvQuads.size() != (indexedUvs ? file.quadCount : 0) ||
        file.modifierVertices.size() != file.modifierVertexCount ||
        ListModifierMorphs(file).size() != file.modifierMorphCount)
        __builtin_trap();
    if (file.morphs.empty() || file.morphs[0].name != "Old" || file.morphs[0].deltas.size() != 1) __builtin_trap();
    for (size_t i = 1; i < file.morphs.size(); ++i) {
        const TriMorph& m = file.morphs[i];
        if (m.deltas.size() != file.vertexCount || m.name.size() >= kTriMaxNameLength ||
            m.name.find('\0') != std::string::npos)
            __builtin_trap();
        int first = FindMorphIndex(file, m.name);
        if (first < 0 || static_cast<size_t>(first) > i || file.morphs[static_cast<size_t>(first)].name != m.name)
            __builtin_trap();
    }

    // What was read, written and read again, is what was read (with bit 0 of the flags set
    // where texture coordinates are counted).
    if (file.uvCount > 0) file.flags |= kTriFlagTextureCoordinates;
    file.morphs.erase(file.morphs.begin());
    IndexTriMorphs(file);
    const std::string bytes = SerializeTri(file);
    TriFile back;
    back.name = file.name;
    TriMemorySource again(bytes.data(), bytes.size());
    if (!ReadTriBody(again, back).ok || !Same(back, file)) __builtin_trap();
    if (SerializeTri(back) != bytes) __builtin_trap();
    return 0;
}
