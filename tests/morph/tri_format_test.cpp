#include "morph/tri_format.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "os/os.h"
#include "tests/support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define VTR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VTR_TEST_ASAN 1
#endif
#endif
#ifdef VTR_TEST_ASAN
// From the sanitizer runtime (gcc ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Little-endian bytes built by hand, independent of the writer under test.
class Bytes {
public:
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
        return *this;
    }
    Bytes& F32(float f) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        return U32(b);
    }
    Bytes& I16(int16_t v) {
        auto u = static_cast<uint16_t>(v);
        s += static_cast<char>(u & 0xff);
        s += static_cast<char>(u >> 8);
        return *this;
    }
    Bytes& Raw(const std::string& r) {
        s += r;
        return *this;
    }
    Bytes& Zeros(size_t n) {
        s.append(n, '\0');
        return *this;
    }
    // The 64-byte header; `skipped` are the counts at 16, 20, 24, 40 and 44.
    Bytes& Header(uint32_t v, uint32_t t, uint32_t x, uint32_t m, std::array<uint32_t, 5> skipped = {},
                  uint32_t flags = 1, const std::string& magic = "FRTRI003") {
        Raw(magic).U32(v).U32(t).U32(skipped[0]).U32(skipped[1]).U32(skipped[2]).U32(x).U32(flags).U32(m);
        return U32(skipped[3]).U32(skipped[4]).Zeros(16);
    }
    Bytes& Morph(const std::string& nameWithTerminator, float scale, std::vector<std::array<int16_t, 3>> deltas) {
        U32(static_cast<uint32_t>(nameWithTerminator.size())).Raw(nameWithTerminator).F32(scale);
        for (auto& d : deltas) I16(d[0]).I16(d[1]).I16(d[2]);
        return *this;
    }
    std::string s;
};

uint32_t U32At(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<uint8_t>(b[at + i])) << (8 * i);
    return v;
}

// Two vertices, one triangle, two texture coordinates and the morphs "Jaw" and "B"; 174 bytes.
// Layout: header 0-64, vertices 64-88, triangles 88-100, uvs 100-116, texture triangles
// 116-128, "Jaw" 128-152 (length, name 132, scale 136, deltas 140), "B" 152-174 (length, name
// 156, scale 158, deltas 162).
std::string SmallFile(uint32_t flags = 1, const std::string& magic = "FRTRI003") {
    Bytes b;
    b.Header(2, 1, 2, 2, {}, flags, magic);
    b.F32(1).F32(2).F32(3).F32(4).F32(5).F32(6);
    b.U32(0).U32(1).U32(1);
    b.F32(0.25f).F32(0.5f).F32(0.75f).F32(1);
    b.U32(1).U32(0).U32(1);
    b.Morph(std::string("Jaw\0", 4), 0.5f, {{1, -2, 3}, {-32768, 32767, 0}});
    b.Morph(std::string("B\0", 2), 2.0f, {{7, 8, 9}, {10, 11, 12}});
    return b.s;
}

TriReadResult ReadBytes(const std::string& bytes, TriFile& file) {
    TriMemorySource source(bytes.data(), bytes.size());
    return ReadTriBody(source, file);
}

bool SameDeltas(const std::vector<TriDelta>& a, const std::vector<TriDelta>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(TriDelta)) == 0);
}
template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void ExpectSameTri(const TriFile& a, const TriFile& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.vertexCount, b.vertexCount);
    EXPECT_EQ(a.triangleCount, b.triangleCount);
    EXPECT_EQ(a.uvCount, b.uvCount);
    EXPECT_TRUE(SameBits(a.vertices, b.vertices));
    EXPECT_TRUE(SameBits(a.triangles, b.triangles));
    EXPECT_TRUE(SameBits(a.uvs, b.uvs));
    EXPECT_TRUE(SameBits(a.uvTriangles, b.uvTriangles));
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.quadCount, b.quadCount);
    EXPECT_EQ(a.labelledVertexCount, b.labelledVertexCount);
    EXPECT_EQ(a.labelledPointCount, b.labelledPointCount);
    EXPECT_EQ(a.modifierMorphCount, b.modifierMorphCount);
    EXPECT_EQ(a.modifierVertexCount, b.modifierVertexCount);
    EXPECT_TRUE(SameBits(a.modifierVertices, b.modifierVertices));
    EXPECT_TRUE(SameBits(a.quads, b.quads));
    EXPECT_TRUE(SameBits(a.uvQuads, b.uvQuads));
    EXPECT_EQ(a.labelledVertices, b.labelledVertices);
    EXPECT_EQ(a.labelledPoints, b.labelledPoints);
    EXPECT_EQ(a.modifierMorphs, b.modifierMorphs);
    ASSERT_EQ(a.morphs.size(), b.morphs.size());
    for (size_t i = 0; i < a.morphs.size(); ++i) {
        EXPECT_EQ(a.morphs[i].name, b.morphs[i].name);
        EXPECT_EQ(std::memcmp(&a.morphs[i].scale, &b.morphs[i].scale, sizeof(float)), 0);
        EXPECT_TRUE(SameDeltas(a.morphs[i].deltas, b.morphs[i].deltas)) << a.morphs[i].name;
    }
    EXPECT_EQ(a.morphIndex, b.morphIndex);
}

// A TriFile that already holds something, to show what a read changes.
TriFile Occupied() {
    TriFile f;
    f.name = "data\\meshes\\target.tri";
    f.vertexCount = 1;
    f.vertices = {{9, 9, 9}};
    f.morphs.push_back({"Old", 3.0f, {{4, 5, 6}}});
    IndexTriMorphs(f);
    return f;
}

// Delivers at most `piece` bytes per call, as a slow stream may.
class TrickleSource final : public TriByteSource {
public:
    TrickleSource(std::string bytes, uint32_t piece)
        : bytes_(std::move(bytes)), inner_(bytes_.data(), bytes_.size()), piece_(piece) {}
    uint32_t Read(void* buffer, uint32_t size) override { return inner_.Read(buffer, std::min(size, piece_)); }

private:
    std::string bytes_;
    TriMemorySource inner_;
    uint32_t piece_;
};

size_t HeapBytesInUse() {
#ifdef VTR_TEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

// Memory that samples the heap each time the reader asks for bytes: a buffer sized by the
// header is live by then.
class HeapWatchingSource final : public TriByteSource {
public:
    HeapWatchingSource(const std::string& bytes) : inner_(bytes.data(), bytes.size()), base_(HeapBytesInUse()) {}
    uint32_t Read(void* buffer, uint32_t size) override {
        size_t now = HeapBytesInUse();
        if (now > base_) peak_ = std::max(peak_, now - base_);
        return inner_.Read(buffer, size);
    }
    size_t PeakGrowth() const { return peak_; }

private:
    TriMemorySource inner_;
    size_t base_;
    size_t peak_ = 0;
};

// Notes the size of every request; a liar claims more bytes than it was asked for, as a
// broken stream might.
class RequestLoggingSource final : public TriByteSource {
public:
    explicit RequestLoggingSource(std::string bytes, bool liar = false)
        : bytes_(std::move(bytes)), inner_(bytes_.data(), bytes_.size()), liar_(liar) {}
    uint32_t Read(void* buffer, uint32_t size) override {
        requests.push_back(size);
        uint32_t n = inner_.Read(buffer, size);
        return liar_ && n ? size + 1 : n;
    }
    std::vector<uint32_t> requests;

private:
    std::string bytes_;
    TriMemorySource inner_;
    bool liar_;
};

// A mesh whose morph names have odd and even lengths, so that delta blocks begin at odd and
// even offsets, and whose blocks run across the reader's chunks at varying places.
TriFile Mesh(uint32_t vertices, uint32_t morphs) {
    TriFile f;
    f.vertexCount = vertices;
    f.triangleCount = vertices / 2 + 1;
    f.uvCount = vertices + 3;
    for (uint32_t i = 0; i < vertices; ++i) f.vertices.push_back({float(i), -float(i) / 3, float(i % 97) * 0.25f});
    for (uint32_t t = 0; t < f.triangleCount; ++t) {
        f.triangles.push_back({t, t * 7 + 1, 0xfffffff0u + t % 16});
        f.uvTriangles.push_back({t % f.uvCount, t * 3, t ^ 0x55aa55aau});
    }
    for (uint32_t i = 0; i < f.uvCount; ++i) f.uvs.push_back({float(i) / 1024, 1 - float(i) / 2048});
    for (uint32_t m = 0; m < morphs; ++m) {
        TriMorph morph{"M" + std::string(m % 5, 'x') + std::to_string(m), 0.001f * float(m + 1), {}};
        for (uint32_t i = 0; i < vertices; ++i)
            morph.deltas.push_back(
                {int16_t(i * 3 + m), int16_t(-int32_t(i) - int32_t(m)), int16_t((i * 2654435761u) >> 17)});
        f.morphs.push_back(std::move(morph));
    }
    IndexTriMorphs(f);
    return f;
}

void ExpectExactCapacities(const TriFile& f) {
    EXPECT_EQ(f.vertices.capacity(), f.vertexCount);
    EXPECT_EQ(f.triangles.capacity(), f.triangleCount);
    EXPECT_EQ(f.uvs.capacity(), f.uvCount);
    EXPECT_EQ(f.uvTriangles.capacity(), f.triangleCount);
    EXPECT_EQ(f.morphs.capacity(), f.morphs.size());
    for (const TriMorph& m : f.morphs) EXPECT_EQ(m.deltas.capacity(), m.deltas.size()) << m.name;
}

TEST(TriFormat, ReadsEveryBlockReplacingGeometryAndAppendingMorphs) {
    // Flags 0 and bytes behind the last morph change nothing.
    std::string bytes = SmallFile(0) + "trailing bytes are never read";
    TriFile f = Occupied();
    TriReadResult r = ReadBytes(bytes, f);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.error.empty());

    // Geometry and counts replaced, morphs appended, the name (the cache key) kept.
    TriFile expected = Occupied();
    expected.vertexCount = 2, expected.triangleCount = 1, expected.uvCount = 2, expected.flags = 0;
    expected.vertices = {{1, 2, 3}, {4, 5, 6}};
    expected.triangles = {{0, 1, 1}};
    expected.uvs = {{0.25f, 0.5f}, {0.75f, 1}};
    expected.uvTriangles = {{1, 0, 1}};
    expected.morphs.push_back({"Jaw", 0.5f, {{1, -2, 3}, {-32768, 32767, 0}}});
    expected.morphs.push_back({"B", 2.0f, {{7, 8, 9}, {10, 11, 12}}});
    IndexTriMorphs(expected);
    ExpectSameTri(f, expected);
    // Capacity exactly what was read: the cache's memory follows the file's bytes.
    EXPECT_EQ(f.vertices.capacity(), 2u);
    EXPECT_EQ(f.morphs[1].deltas.capacity(), 2u);
    EXPECT_EQ(FindMorphIndex(f, "B"), 2);
    EXPECT_EQ(FindMorphIndex(f, "b"), -1);
    EXPECT_EQ(FindMorphIndex(f, "Ja"), -1);

    // Through a resource stream of the game, the same.
    vtrtest::ScopedGameFolder game;
    game.WriteFile("data\\Meshes\\Small.tri", bytes);
    BSResourceNiBinaryStream stream{};
    ResourceStream_Open(&stream, "meshes\\small.TRI", 0, 0);
    ASSERT_TRUE(ResourceStream_IsValid(&stream));
    TriFile viaStream = Occupied();
    TriReadResult rs = ReadTriBody(&stream, viaStream);
    ResourceStream_Close(&stream);
    ASSERT_TRUE(rs.ok) << rs.error;
    ExpectSameTri(viaStream, f);
}

TEST(TriFormat, NoMorphsDuplicateNamesAndNameBytes) {
    // Flags 0 and no texture coordinate count: no texture block at all.
    Bytes none;
    none.Header(1, 0, 0, 0, {}, 0).F32(1).F32(2).F32(3);
    TriFile f;
    ASSERT_TRUE(ReadBytes(none.s, f).ok);
    EXPECT_EQ(f.vertexCount, 1u);
    EXPECT_EQ(f.vertices.size(), 1u);
    EXPECT_TRUE(f.morphs.empty());
    EXPECT_EQ(FindMorphIndex(f, "Jaw"), -1);

    // Duplicates kept in file order, the first found; a name stops at its first zero byte; 256
    // bytes with the terminator is allowed.
    std::string longest(255, 'n');
    Bytes b;
    b.Header(1, 0, 0, 4, {}, 0);
    b.F32(0).F32(0).F32(0);
    b.Morph(std::string("Dup\0", 4), 1.0f, {{1, 1, 1}});
    b.Morph(std::string("Dup\0", 4), 2.0f, {{2, 2, 2}});
    b.Morph(std::string("Cut\0tail", 8), 3.0f, {{3, 3, 3}});
    b.Morph(longest + '\0', 5.0f, {{5, 5, 5}});
    TriFile d;
    TriReadResult r = ReadBytes(b.s, d);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(d.morphs.size(), 4u);
    EXPECT_EQ(d.morphs[0].name, "Dup");
    EXPECT_EQ(d.morphs[1].name, "Dup");
    EXPECT_EQ(d.morphs[1].scale, 2.0f);
    EXPECT_EQ(FindMorphIndex(d, "Dup"), 0);
    EXPECT_EQ(d.morphs[2].name, "Cut");
    EXPECT_EQ(d.morphs[3].name, longest);
    EXPECT_EQ(d.morphs[3].deltas[0].dz, 5);
    EXPECT_EQ(FindMorphIndex(d, longest), 3);

    // A file built by hand and never indexed is still searched, first match first.
    TriFile hand;
    hand.morphs = {{"A", 1.0f, {}}, {"B", 1.0f, {}}, {"A", 2.0f, {}}};
    EXPECT_EQ(FindMorphIndex(hand, "A"), 0);
    EXPECT_EQ(FindMorphIndex(hand, "B"), 1);
    EXPECT_EQ(FindMorphIndex(hand, "C"), -1);
    IndexTriMorphs(hand);
    EXPECT_EQ(hand.morphIndex.size(), 2u);
    EXPECT_EQ(FindMorphIndex(hand, "A"), 0);
    // An index left stale by a later edit never points past the list or at another name.
    hand.morphs.erase(hand.morphs.begin());
    EXPECT_EQ(FindMorphIndex(hand, "B"), -1);
    hand.morphs.clear();
    EXPECT_EQ(FindMorphIndex(hand, "A"), -1);
}

TEST(TriFormat, EveryCutLeavesTheFileUnchangedAndNamesWhatAndWhere) {
    const std::string whole = SmallFile();
    ASSERT_EQ(whole.size(), 174u);
    struct Span {
        size_t end;
        const char* what;
    };
    const Span spans[] = {{64, "header"},
                          {88, "vertices"},
                          {100, "triangles"},
                          {116, "texture coordinates"},
                          {128, "texture triangles"},
                          {132, "morph 0 name length"},
                          {136, "morph 0 name"},
                          {140, "morph 0 \"Jaw\" scale"},
                          {152, "morph 0 \"Jaw\" deltas"},
                          {156, "morph 1 name length"},
                          {158, "morph 1 name"},
                          {162, "morph 1 \"B\" scale"},
                          {174, "morph 1 \"B\" deltas"}};
    const TriFile before = Occupied();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const char* what = nullptr;
        for (const Span& s : spans)
            if (!what && cut < s.end) what = s.what;
        // A block of zero bytes left is still a block not read: the cut at its start names it.
        TriFile f = Occupied();
        TriReadResult r = ReadBytes(whole.substr(0, cut), f);
        EXPECT_FALSE(r.ok) << cut;
        EXPECT_EQ(r.error, std::string(what) + " cut short at byte " + std::to_string(cut));
        ExpectSameTri(f, before);
        // A source that hands out a few bytes at a time ends at the same place.
        TrickleSource slow(whole.substr(0, cut), 1 + cut % 5);
        TriFile g = Occupied();
        EXPECT_EQ(ReadTriBody(slow, g).error, r.error);
        ExpectSameTri(g, before);
    }
    TriFile f = Occupied();
    EXPECT_TRUE(ReadBytes(whole, f).ok);
    for (uint32_t piece = 1; piece <= 7; ++piece) {
        TrickleSource slow(whole, piece);
        TriFile g = Occupied();
        ASSERT_TRUE(ReadTriBody(slow, g).ok) << piece;
        ExpectSameTri(g, f);
    }
}

TEST(TriFormat, HugeCountsFailFastWithinTheBytesGiven) {
    // 4e9 vertices, then a few bytes: the reader must not size anything by the header.
    Bytes v;
    v.Header(4000000000u, 0, 0, 0).Zeros(100);
    Bytes t;
    t.Header(0, 0xffffffffu, 0, 0).Zeros(12);
    Bytes x;
    x.Header(0, 0, 0xfffffff0u, 0).Zeros(9);
    Bytes m;
    m.Header(0, 0, 0, 0xffffffffu).Morph(std::string("A\0", 2), 1.0f, {});
    struct Case {
        std::string bytes;
        std::string error;
    } cases[] = {{v.s, "vertices cut short at byte 164"},
                 {t.s, "triangles cut short at byte 76"},
                 {x.s, "texture coordinates cut short at byte 73"},
                 {m.s, "morph 1 name length cut short at byte 74"}};
    for (const Case& c : cases) {
        TriFile f = Occupied();
        HeapWatchingSource source(c.bytes);
        auto start = std::chrono::steady_clock::now();
        TriReadResult r = ReadTriBody(source, f);
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        ExpectSameTri(f, Occupied());
        // At most one read chunk (64 KiB) beyond the bytes given; 4e9 vertices would be 48 GB.
        EXPECT_LT(source.PeakGrowth(), 256u * 1024u) << c.error;
        EXPECT_LT(took, std::chrono::seconds(1));
    }
}

// Every block of the layout, built by hand: 3 vertices, 2 modifier vertices, 1 triangle, 1 quad,
// 2 labelled vertices, 1 labelled surface point, 5 texture coordinates (more than vertices) with
// a texture triangle and a texture quad, one morph, then 2 statistical morphs.
struct FullLayout {
    std::string bytes, labelledVertices, labelledPoints, modifierMorphs;
};
FullLayout FullFile(uint32_t x = 5, uint32_t flags = 1) {
    FullLayout f;
    Bytes lv, lp, sm;
    lv.U32(2).U32(6).Raw(std::string("Crown\0", 6)).U32(0).U32(3).Raw(std::string("Ab\0", 3));
    lp.U32(0).F32(0.25f).F32(0.5f).U32(5).Raw(std::string("Tip\0\0", 5));
    sm.U32(10).Raw(std::string("BlinkLeft\0", 10)).U32(2).U32(0).U32(2);
    sm.U32(4).Raw(std::string("Sq\0\0", 4)).U32(0);
    f.labelledVertices = lv.s, f.labelledPoints = lp.s, f.modifierMorphs = sm.s;
    Bytes b;
    b.Header(3, 1, x, 1, {1, 2, 1, 2, 2}, flags);
    b.F32(1).F32(2).F32(3).F32(4).F32(5).F32(6).F32(7).F32(8).F32(9);  // vertices
    b.F32(-1).F32(-2).F32(-3).F32(-4).F32(-5).F32(-6);                 // modifier vertices
    b.U32(0).U32(1).U32(2);                                            // triangle
    b.U32(0).U32(1).U32(2).U32(1);                                     // quad
    b.Raw(lv.s).Raw(lp.s);
    if (x > 0) {
        for (uint32_t i = 0; i < x; ++i) b.F32(float(i) / 8).F32(1 - float(i) / 8);
        b.U32(4).U32(3).U32(2);        // texture triangle
        b.U32(0).U32(1).U32(4).U32(3);  // texture quad
    } else if (flags & 1) {
        for (uint32_t i = 0; i < 3; ++i) b.F32(float(i)).F32(0.5f);  // one pair per vertex
    }
    b.Morph(std::string("Jaw\0", 4), 0.5f, {{1, 2, 3}, {4, 5, 6}, {-7, -8, -9}});
    b.Raw(sm.s);
    f.bytes = b.s;
    return f;
}

TEST(TriFormat, ReadsEveryBlockOfTheFullLayoutAndWritesItBackAsItCame) {
    const FullLayout full = FullFile();
    TriFile f;
    TriReadResult r = ReadBytes(full.bytes, f);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(f.quadCount, 1u);
    EXPECT_EQ(f.labelledVertexCount, 2u);
    EXPECT_EQ(f.labelledPointCount, 1u);
    EXPECT_EQ(f.modifierMorphCount, 2u);
    EXPECT_EQ(f.modifierVertexCount, 2u);
    ASSERT_EQ(f.vertices.size(), 3u);
    EXPECT_EQ(f.vertices[2].z, 9.0f);
    ASSERT_EQ(f.modifierVertices.size(), 2u);
    EXPECT_EQ(f.modifierVertices[1].z, -6.0f);
    ASSERT_EQ(f.triangles.size(), 1u);
    EXPECT_EQ(f.triangles[0].c, 2u);
    ASSERT_EQ(f.quads.size(), 1u);
    EXPECT_EQ(f.quads[0].d, 1u);
    EXPECT_EQ(f.labelledVertices, full.labelledVertices);
    EXPECT_EQ(f.labelledPoints, full.labelledPoints);
    ASSERT_EQ(f.uvs.size(), 5u);
    EXPECT_EQ(f.uvs[4].u, 0.5f);
    ASSERT_EQ(f.uvTriangles.size(), 1u);
    EXPECT_EQ(f.uvTriangles[0].a, 4u);
    ASSERT_EQ(f.uvQuads.size(), 1u);
    EXPECT_EQ(f.uvQuads[0].c, 4u);
    ASSERT_EQ(f.morphs.size(), 1u);
    EXPECT_EQ(f.morphs[0].deltas[2].dz, -9);
    EXPECT_EQ(f.modifierMorphs, full.modifierMorphs);
    const std::vector<TriModifierMorphInfo> stats = ListModifierMorphs(f);
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].name, "BlinkLeft");
    EXPECT_EQ(stats[0].vertexCount, 2u);
    EXPECT_EQ(stats[1].name, "Sq");
    EXPECT_EQ(stats[1].vertexCount, 0u);
    EXPECT_EQ(SerializeTri(f), full.bytes);

    // Texture layouts: one pair per vertex (flag set, no count), or none (flag clear).
    for (uint32_t flags : {1u, 0u}) {
        const FullLayout other = FullFile(0, flags);
        TriFile g;
        r = ReadBytes(other.bytes, g);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(g.uvs.size(), flags ? 3u : 0u);
        EXPECT_EQ(TriUvPairCount(g), flags ? 3u : 0u);
        EXPECT_TRUE(g.uvTriangles.empty() && g.uvQuads.empty());
        EXPECT_EQ(g.modifierMorphs, full.modifierMorphs);
        EXPECT_EQ(SerializeTri(g), other.bytes);
    }

    // Cut anywhere, the file is refused with the place, and what was there stays.
    for (size_t cut = 64; cut < full.bytes.size(); ++cut) {
        TriFile o = Occupied();
        r = ReadBytes(full.bytes.substr(0, cut), o);
        ASSERT_FALSE(r.ok) << cut;
        EXPECT_NE(r.error.find("cut short at byte " + std::to_string(cut)), std::string::npos) << r.error;
        ExpectSameTri(o, Occupied());
    }
    // Names inside the blocks are held to the morph names' rules, and say which record.
    std::string bad = full.bytes;
    const size_t sq = bad.rfind("Sq");
    bad[sq - 4] = 9;  // the name length of the second statistical morph, past the file's end
    TriFile o = Occupied();
    r = ReadBytes(bad, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "statistical morph 1 name cut short at byte " + std::to_string(bad.size()));
    bad = full.bytes;
    bad[bad.find("Crown") + 5] = 'x';
    r = ReadBytes(bad, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "labelled vertex 0 name at byte 160 has no zero byte");
    ExpectSameTri(o, Occupied());
}

// Tiny morphs cost memory beyond their bytes; a file of very many may not multiply its size.
TEST(TriFormat, AFileOfManyTinyMorphsIsRefusedBeforeItMultipliesItsSize) {
    Bytes tiny;
    const uint32_t count = 400000;
    tiny.Header(0, 0, 0, count);
    for (uint32_t i = 0; i < count; ++i) tiny.U32(5).Raw(std::string("abcd\0", 5)).F32(1.0f);
    TriFile f = Occupied();
    TriReadResult r = ReadBytes(tiny.s, f);
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too many morphs for the file's size"), std::string::npos) << r.error;
    ExpectSameTri(f, Occupied());
    // The same count with real geometry per morph is a plain file.
    const TriFile wide = Mesh(40, 3000);
    TriFile g;
    ASSERT_TRUE(ReadBytes(SerializeTri(wide), g).ok);
    EXPECT_EQ(g.morphs.size(), 3000u);
}

TEST(TriFormat, BadNamesAndOtherMagic) {
    struct NameCase {
        std::string bytes;
        std::string error;
    };
    Bytes n300, n257, n0, beyond, open, open256;
    n300.Header(0, 0, 0, 1).U32(300).Zeros(400);
    n257.Header(0, 0, 0, 1).U32(257).Zeros(400);
    n0.Header(0, 0, 0, 1).U32(0).Zeros(10);
    beyond.Header(0, 0, 0, 1).U32(40).Raw("short");
    open.Header(0, 0, 0, 1).Morph("NoZero", 1.0f, {});
    open256.Header(0, 0, 0, 1).Morph(std::string(256, 'n'), 1.0f, {});
    const NameCase names[] = {{n300.s, "morph 0 name length 300 at byte 64 above 256"},
                              {n257.s, "morph 0 name length 257 at byte 64 above 256"},
                              {n0.s, "morph 0 name length 0 at byte 64"},
                              {beyond.s, "morph 0 name cut short at byte 73"},
                              {open.s, "morph 0 name at byte 68 has no zero byte"},
                              {open256.s, "morph 0 name at byte 68 has no zero byte"}};
    for (const NameCase& c : names) {
        TriFile f = Occupied();
        TriReadResult r = ReadBytes(c.bytes, f);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        ExpectSameTri(f, Occupied());
    }

    // Another magic with the layout intact reads as the game reads it; when such a file cannot
    // be read, the error says it is no TRI file first.
    TriFile other;
    ASSERT_TRUE(ReadBytes(SmallFile(1, "FREGM002"), other).ok);
    TriFile same;
    ASSERT_TRUE(ReadBytes(SmallFile(), same).ok);
    ExpectSameTri(other, same);
    TriFile bad;
    TriReadResult r = ReadBytes(SmallFile(1, std::string("EGM\0\x01\"\\x", 8)).substr(0, 100), bad);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "not a FRTRI003 file (begins \"EGM\\x00\\x01\\x22\\x5cx\"): texture coordinates cut short at byte 100");
    EXPECT_EQ(ReadBytes("FREG", bad).error, "header cut short at byte 4");
}

// The writer through a real output file: header fields, record layout, padding, the patched
// count, and the same bytes from SerializeTri.
TEST(TriFormat, WrittenFileHasSourceCountsFlagsOneAndPatchedMorphCount) {
    vtrtest::ScopedGameFolder game;
    TriFile src;
    ASSERT_TRUE(ReadBytes(SmallFile(0), src).ok);
    src.name = "cache key, not written";

    os::ReplacingFile out;
    ASSERT_TRUE(out.Open("out.tri", false));
    ASSERT_TRUE(WriteTriHeader(out, src));
    // Exactly vertexCount deltas: a short list is padded, a long one cut.
    ASSERT_TRUE(WriteTriMorph(out, "VampireMorph", 0.125f, {{1, 2, 3}}, 2));
    ASSERT_TRUE(WriteTriMorph(out, "X", 1.5f, {{4, 5, 6}, {7, 8, 9}, {10, 11, 12}}, 2));
    ASSERT_TRUE(WriteTriMorph(out, "", 2.0f, {}, 2));
    // A name the reader would refuse is not written.
    EXPECT_FALSE(WriteTriMorph(out, std::string(256, 'n'), 1.0f, {}, 2));
    ASSERT_TRUE(PatchTriMorphCount(out, 3));
    ASSERT_TRUE(out.Commit()) << out.Error();
    const std::string bytes = game.ReadFile("out.tri");

    // 64 + 2*12 + 1*24 + 2*8 = 128 bytes before the morphs; each morph 4 + L + 4 + 2*6.
    ASSERT_EQ(bytes.size(), 128u + (4 + 13 + 4 + 12) + (4 + 2 + 4 + 12) + (4 + 1 + 4 + 12));
    EXPECT_EQ(bytes.substr(0, 8), "FRTRI003");
    EXPECT_EQ(U32At(bytes, 8), 2u);
    EXPECT_EQ(U32At(bytes, 12), 1u);
    EXPECT_EQ(U32At(bytes, 16) | U32At(bytes, 20) | U32At(bytes, 24), 0u);
    EXPECT_EQ(U32At(bytes, 28), 2u);
    EXPECT_EQ(U32At(bytes, 32), 1u);
    EXPECT_EQ(U32At(bytes, 36), 3u);
    EXPECT_EQ(bytes.substr(40, 24), std::string(24, '\0'));
    EXPECT_EQ(bytes.substr(64, 64), SmallFile().substr(64, 64));  // blocks 1 to 4 byte for byte
    EXPECT_EQ(U32At(bytes, 128), 13u);
    EXPECT_EQ(bytes.substr(132, 13), std::string("VampireMorph\0", 13));
    EXPECT_EQ(bytes.substr(145, 4), Bytes().F32(0.125f).s);
    EXPECT_EQ(bytes.substr(149, 12), Bytes().I16(1).I16(2).I16(3).Zeros(6).s);
    EXPECT_EQ(U32At(bytes, 161), 2u);
    EXPECT_EQ(bytes.substr(165, 2), std::string("X\0", 2));
    EXPECT_EQ(bytes.substr(171, 12), Bytes().I16(4).I16(5).I16(6).I16(7).I16(8).I16(9).s);
    EXPECT_EQ(U32At(bytes, 183), 1u);

    TriFile back;
    TriReadResult r = ReadBytes(bytes, back);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(back.morphs.size(), 3u);
    EXPECT_EQ(back.morphs[2].name, "");

    // SerializeTri: the same bytes, and its own count of the morphs it holds.
    back.name = src.name;
    EXPECT_EQ(SerializeTri(back), bytes);
    TriFile again;
    ASSERT_TRUE(ReadBytes(SerializeTri(src), again).ok);
    again.name = src.name;
    EXPECT_EQ(again.flags, 1u);  // bit 0 set: the file has texture coordinates, whatever its source said
    again.flags = src.flags;
    ExpectSameTri(again, src);
    EXPECT_EQ(U32At(SerializeTri(TriFile{}), 36), 0u);
    EXPECT_EQ(SerializeTri(TriFile{}).size(), 64u);

    // Lists shorter than the counts are padded so that the file stays readable (no texture
    // coordinate count with the flag set: one pair per vertex, no texture triangles).
    TriFile ragged;
    ragged.vertexCount = 3;
    ragged.triangleCount = 1;
    ragged.vertices = {{1, 1, 1}};
    ragged.morphs = {{"M", 1.0f, {{1, 1, 1}}}};
    const std::string rb = SerializeTri(ragged);
    EXPECT_EQ(rb.size(), 64u + 36 + 12 + 3 * 8 + (4 + 2 + 4 + 18));
    TriFile rr;
    ASSERT_TRUE(ReadBytes(rb, rr).ok);
    EXPECT_EQ(rr.vertices.size(), 3u);
    EXPECT_EQ(rr.vertices[0].x, 1.0f);
    EXPECT_EQ(rr.vertices[2].z, 0.0f);
    EXPECT_EQ(rr.morphs[0].deltas.size(), 3u);

    // A failing disk reports through every call.
    os::ReplacingFile full;
    ASSERT_TRUE(full.Open("full.tri", false));
    os::InjectWriteFailureAfter(70);
    EXPECT_FALSE(WriteTriHeader(full, src));
    EXPECT_FALSE(WriteTriMorph(full, "VampireMorph", 1.0f, {}, 2));
    os::InjectWriteFailureAfter(SIZE_MAX);
    EXPECT_FALSE(full.Commit());
}

TEST(TriFormat, LargeFileReadsTheSameThroughEverySourceWithExactCapacities) {
    // About 660 KB: several chunks, blocks and fields cut at different places.
    const TriFile mesh = Mesh(3001, 36);
    const std::string bytes = SerializeTri(mesh);
    ASSERT_GT(bytes.size(), 600u * 1024u);

    TriFile direct;
    TriReadResult r = ReadBytes(bytes, direct);
    ASSERT_TRUE(r.ok) << r.error;
    ExpectSameTri(direct, mesh);
    ExpectExactCapacities(direct);

    for (uint32_t piece : {1u, 5u, 4093u, 65536u + 3u, 131072u + 1u}) {
        TrickleSource slow(bytes, piece);
        TriFile g;
        TriReadResult rs = ReadTriBody(slow, g);
        ASSERT_TRUE(rs.ok) << piece << ": " << rs.error;
        ExpectSameTri(g, mesh);
        ExpectExactCapacities(g);
    }

    vtrtest::ScopedGameFolder game;
    game.WriteFile("data\\Meshes\\Large.tri", bytes);
    BSResourceNiBinaryStream stream{};
    ResourceStream_Open(&stream, "meshes\\large.tri", 0, 0);
    ASSERT_TRUE(ResourceStream_IsValid(&stream));
    TriFile viaStream;
    TriReadResult rv = ReadTriBody(&stream, viaStream);
    ResourceStream_Close(&stream);
    ASSERT_TRUE(rv.ok) << rv.error;
    ExpectSameTri(viaStream, mesh);

    // Cut inside the deltas of a morph far into the file: named, placed, nothing changed.
    TriFile head = mesh;
    head.morphs.resize(33);
    const size_t cut = SerializeTri(head).size() + 4 + mesh.morphs[33].name.size() + 1 + 4 + 1001;
    TriFile f = Occupied();
    TriReadResult rc = ReadBytes(bytes.substr(0, cut), f);
    EXPECT_FALSE(rc.ok);
    EXPECT_EQ(rc.error, "morph 33 \"" + mesh.morphs[33].name + "\" deltas cut short at byte " + std::to_string(cut));
    ExpectSameTri(f, Occupied());
}

TEST(TriFormat, ListsAboveTheExactSizeGrowToExactlyTheirCount) {
    // 1.2 MB of vertices and 0.6 MB of deltas per morph: grown as they arrive, then exact.
    const TriFile mesh = Mesh(100003, 2);
    const std::string bytes = SerializeTri(mesh);
    for (uint32_t piece : {0u, 65536u + 7u}) {
        TriFile f;
        TriReadResult r;
        if (piece) {
            TrickleSource slow(bytes, piece);
            r = ReadTriBody(slow, f);
        } else {
            r = ReadBytes(bytes, f);
        }
        ASSERT_TRUE(r.ok) << r.error;
        ExpectSameTri(f, mesh);
        ExpectExactCapacities(f);
    }
}

TEST(TriFormat, DamagedCountsCostBoundedMemory) {
    // A modest count is sized at once: the waste of a short file stays within 1 MiB.
    Bytes modest;
    modest.Header(80000, 0, 0, 0, {}, 0).Zeros(100);
    // A large one grows with what arrives: 300 KB given of a claimed 12 MB.
    Bytes large;
    large.Header(1000000, 0, 0, 0, {}, 0).Zeros(300000);
    // Deltas of a modest mesh claimed by far more morphs than the file holds.
    Bytes morphs;
    morphs.Header(50000, 0, 0, 0xffffffffu, {}, 0).Zeros(50000 * 12).Morph(std::string("A\0", 2), 1.0f, {}).Zeros(50000 * 6);
    morphs.Morph(std::string("B\0", 2), 1.0f, {}).Zeros(10);
    struct Case {
        std::string bytes;
        std::string error;
        size_t limit;
    } cases[] = {{modest.s, "vertices cut short at byte 164", (1u << 20) + (256u << 10)},
                 {large.s, "vertices cut short at byte 300064", 3 * 300000u + (256u << 10)},
                 {morphs.s, "morph 1 \"B\" deltas cut short at byte " + std::to_string(morphs.s.size()),
                  50000 * 12 + 2 * 50000 * 6 + (256u << 10)}};
    for (const Case& c : cases) {
        TriFile f = Occupied();
        HeapWatchingSource source(c.bytes);
        TriReadResult r = ReadTriBody(source, f);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        ExpectSameTri(f, Occupied());
        EXPECT_LT(source.PeakGrowth(), c.limit) << c.error;
    }
}

TEST(TriFormat, ReadsItsSourceInFewWholeChunks) {
    const std::string bytes = SerializeTri(Mesh(3001, 36));
    RequestLoggingSource source(bytes);
    TriFile f;
    ASSERT_TRUE(ReadTriBody(source, f).ok);
    // Large requests of one size, not one per field or record.
    ASSERT_FALSE(source.requests.empty());
    EXPECT_LE(source.requests.size(), bytes.size() / (64 * 1024) + 2);
    for (uint32_t size : source.requests) EXPECT_EQ(size, source.requests[0]);
    EXPECT_GE(source.requests[0], 64u * 1024u);
}

TEST(TriFormat, ShortHeadersAndSourcesThatOverdeliver) {
    // A header cut short still shows the magic it began with.
    TriFile f = Occupied();
    TriReadResult r = ReadBytes(SmallFile(1, "FREGM002").substr(0, 30), f);
    EXPECT_EQ(r.error, "not a FRTRI003 file (begins \"FREGM002\"): header cut short at byte 30");
    EXPECT_EQ(ReadBytes(SmallFile().substr(0, 30), f).error, "header cut short at byte 30");
    ExpectSameTri(f, Occupied());

    // A source claiming more bytes than it was asked for is taken as ended, its claim unused.
    RequestLoggingSource liar(SmallFile(), true);
    TriReadResult rl = ReadTriBody(liar, f);
    EXPECT_FALSE(rl.ok);
    EXPECT_EQ(rl.error, "header cut short at byte 0");
    ExpectSameTri(f, Occupied());
}

}  // namespace
