// TRI files: the header is one table of fields, the body one sequence of records walked by a
// reader or a writer, so both directions share a single description of the bytes.
#include "morph/tri_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <type_traits>

#include "os/os.h"

// ----- Byte sources --------------------------------------------------------------------------

uint32_t TriStreamSource::Read(void* buffer, uint32_t size) { return ResourceStream_Read(stream_, buffer, size); }

uint32_t TriMemorySource::Read(void* buffer, uint32_t size) {
    size_t n = std::min<size_t>(size, size_ - pos_);
    if (n) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return static_cast<uint32_t>(n);
}

namespace {

constexpr char kTriMagic[8] = {'F', 'R', 'T', 'R', 'I', '0', '0', '3'};

// ----- Header --------------------------------------------------------------------------------

enum class HeaderRole {
    Magic,
    VertexCount,
    TriangleCount,
    QuadCount,
    LabelledVertexCount,
    LabelledPointCount,
    UvCount,
    Flags,
    MorphCount,
    ModifierMorphCount,
    ModifierVertexCount,
    Reserved
};

struct HeaderField {
    uint32_t offset;
    uint32_t size;
    HeaderRole role;
};

constexpr HeaderField kHeaderFields[] = {
    {0, 8, HeaderRole::Magic},
    {8, 4, HeaderRole::VertexCount},
    {12, 4, HeaderRole::TriangleCount},
    {16, 4, HeaderRole::QuadCount},
    {20, 4, HeaderRole::LabelledVertexCount},
    {24, 4, HeaderRole::LabelledPointCount},
    {28, 4, HeaderRole::UvCount},
    {32, 4, HeaderRole::Flags},
    {36, 4, HeaderRole::MorphCount},
    {40, 4, HeaderRole::ModifierMorphCount},
    {44, 4, HeaderRole::ModifierVertexCount},
    {48, 16, HeaderRole::Reserved},
};

constexpr bool HeaderTableIsContiguous() {
    uint32_t at = 0;
    for (const HeaderField& f : kHeaderFields) {
        if (f.offset != at) return false;
        if (f.role == HeaderRole::MorphCount && f.offset != kTriMorphCountOffset) return false;
        at += f.size;
    }
    return at == kTriHeaderSize;
}
static_assert(HeaderTableIsContiguous());

struct TriHeader {
    char magic[8] = {};
    uint32_t vertexCount = 0;
    uint32_t triangleCount = 0;
    uint32_t quadCount = 0;
    uint32_t labelledVertexCount = 0;
    uint32_t labelledPointCount = 0;
    uint32_t uvCount = 0;
    uint32_t flags = 0;
    uint32_t morphCount = 0;
    uint32_t modifierMorphCount = 0;
    uint32_t modifierVertexCount = 0;
};

uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

uint32_t* CountOf(TriHeader& h, HeaderRole role) {
    switch (role) {
        case HeaderRole::VertexCount: return &h.vertexCount;
        case HeaderRole::TriangleCount: return &h.triangleCount;
        case HeaderRole::QuadCount: return &h.quadCount;
        case HeaderRole::LabelledVertexCount: return &h.labelledVertexCount;
        case HeaderRole::LabelledPointCount: return &h.labelledPointCount;
        case HeaderRole::UvCount: return &h.uvCount;
        case HeaderRole::Flags: return &h.flags;
        case HeaderRole::MorphCount: return &h.morphCount;
        case HeaderRole::ModifierMorphCount: return &h.modifierMorphCount;
        case HeaderRole::ModifierVertexCount: return &h.modifierVertexCount;
        default: return nullptr;
    }
}

void DecodeHeader(const uint8_t* bytes, TriHeader& h) {
    for (const HeaderField& f : kHeaderFields) {
        const uint8_t* p = bytes + f.offset;
        if (f.role == HeaderRole::Magic) std::memcpy(h.magic, p, sizeof h.magic);
        else if (uint32_t* count = CountOf(h, f.role)) *count = LoadU32(p);
    }
}

void EncodeHeader(TriHeader h, uint8_t* bytes) {
    for (const HeaderField& f : kHeaderFields) {
        uint8_t* p = bytes + f.offset;
        if (f.role == HeaderRole::Magic) {
            std::memcpy(p, h.magic, sizeof h.magic);
        } else if (uint32_t* count = CountOf(h, f.role)) {
            StoreU32(p, *count);
        } else {
            std::memset(p, 0, f.size);
        }
    }
}

// The counts of a file in memory, which are the counts of the file it was read from.
template <class H, class F>
void CopyCounts(H& to, const F& from) {
    to.vertexCount = from.vertexCount;
    to.triangleCount = from.triangleCount;
    to.quadCount = from.quadCount;
    to.labelledVertexCount = from.labelledVertexCount;
    to.labelledPointCount = from.labelledPointCount;
    to.uvCount = from.uvCount;
    to.flags = from.flags;
    to.modifierMorphCount = from.modifierMorphCount;
    to.modifierVertexCount = from.modifierVertexCount;
}

TriHeader HeaderToWrite(const TriFile& file) {
    TriHeader h;
    std::memcpy(h.magic, kTriMagic, sizeof h.magic);
    CopyCounts(h, file);
    // A block kept as bytes is only declared when its bytes are there (a file built in memory
    // may set a count without them).
    if (file.labelledVertices.empty()) h.labelledVertexCount = 0;
    if (file.labelledPoints.empty()) h.labelledPointCount = 0;
    if (file.modifierMorphs.empty()) h.modifierMorphCount = 0;
    // Bit 0 says texture coordinates are there, which a count above 0 means whatever the source said.
    if (file.uvCount > 0) h.flags |= kTriFlagTextureCoordinates;
    h.morphCount = 1;  // patched once the records are written
    return h;
}

// Which texture layout the counts give.
enum class UvLayout { Indexed, PerVertex, None };
UvLayout UvLayoutOf(uint32_t uvCount, uint32_t flags) {
    if (uvCount > 0) return UvLayout::Indexed;
    return (flags & kTriFlagTextureCoordinates) ? UvLayout::PerVertex : UvLayout::None;
}

// ----- Records -------------------------------------------------------------------------------

// Each record is a run of little-endian components of one type.
template <class R>
struct RecordLayout;
template <>
struct RecordLayout<TriVertex> {
    using Component = float;
    static constexpr size_t kComponents = 3;
};
template <>
struct RecordLayout<TriTriangle> {
    using Component = uint32_t;
    static constexpr size_t kComponents = 3;
};
template <>
struct RecordLayout<TriUv> {
    using Component = float;
    static constexpr size_t kComponents = 2;
};
template <>
struct RecordLayout<TriQuad> {
    using Component = uint32_t;
    static constexpr size_t kComponents = 4;
};
template <>
struct RecordLayout<TriDelta> {
    using Component = int16_t;
    static constexpr size_t kComponents = 3;
};

template <class R>
constexpr uint32_t kRecordSize = static_cast<uint32_t>(sizeof(typename RecordLayout<R>::Component) *
                                                       RecordLayout<R>::kComponents);

template <class R>
void SwapToOrFromLittleEndian(R* records, size_t n) {
    using C = typename RecordLayout<R>::Component;
    static_assert(sizeof(R) == kRecordSize<R> && std::is_trivially_copyable_v<R>);
    if constexpr (std::endian::native == std::endian::big) {
        auto* bytes = reinterpret_cast<uint8_t*>(records);
        for (size_t i = 0; i < n * RecordLayout<R>::kComponents; ++i)
            std::reverse(bytes + i * sizeof(C), bytes + (i + 1) * sizeof(C));
    } else {
        (void)records, (void)n;
    }
}

// The body, once: every block before the difference morphs, then each difference morph, then
// the blocks behind them. `io` reads into or writes from the lists it is given; `c` holds the
// header's counts. Blocks whose records hold names are kept as their bytes.
template <class Io, class Blocks>
bool GeometryLayout(Io& io, Blocks& g, const TriHeader& c) {
    if (!io.Records(g.vertices, c.vertexCount, "vertices") ||
        !io.Records(g.modifierVertices, c.modifierVertexCount, "modifier vertices") ||
        !io.Records(g.triangles, c.triangleCount, "triangles") || !io.Records(g.quads, c.quadCount, "quads") ||
        !io.Labelled(g.labelledVertices, c.labelledVertexCount, 4, "labelled vertex") ||
        !io.Labelled(g.labelledPoints, c.labelledPointCount, 12, "labelled surface point"))
        return false;
    switch (UvLayoutOf(c.uvCount, c.flags)) {
        case UvLayout::Indexed:
            return io.Records(g.uvs, c.uvCount, "texture coordinates") &&
                   io.Records(g.uvTriangles, c.triangleCount, "texture triangles") &&
                   io.Records(g.uvQuads, c.quadCount, "texture quads");
        case UvLayout::PerVertex: return io.Records(g.uvs, c.vertexCount, "texture coordinates");
        case UvLayout::None: break;
    }
    return true;
}

template <class Io, class Blocks>
bool TrailerLayout(Io& io, Blocks& g, const TriHeader& c) {
    return io.ModifierMorphs(g.modifierMorphs, c.modifierMorphCount);
}

template <class Io, class Name, class Scale, class Deltas>
bool MorphLayout(Io& io, Name& name, Scale& scale, Deltas& deltas, uint32_t vertexCount) {
    return io.Name(name) && io.Scale(scale) && io.Records(deltas, vertexCount, "deltas");
}

// ----- Reading -------------------------------------------------------------------------------

// The source is read in whole chunks of a fixed size, so that each call into the resource
// system asks for the same large, aligned piece; the few bytes of a field that straddles two
// chunks are carried to just before the next one. Lists grow as their bytes arrive: a modest
// list is sized once by its count (a file that turns out short wastes at most
// kExactListBytes), a larger one never beyond twice what has arrived, so a count in a damaged
// header costs no more memory than the file holds. A list read whole ends with exactly its
// count as capacity.
constexpr size_t kChunkBytes = 128 * 1024;
constexpr size_t kCarryBytes = 512;  // at least the longest field read whole, and a multiple of 16
constexpr uint64_t kExactListBytes = 1024 * 1024;
// Misaligned runs are shifted onto their alignment in pieces that stay in the first-level cache.
constexpr size_t kShiftPieceBytes = 4096;
static_assert(kCarryBytes >= kTriHeaderSize && kCarryBytes >= kTriMaxNameLength && kCarryBytes % 16 == 0);

std::string Printable(const char* bytes, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

class BodyReader {
public:
    explicit BodyReader(TriByteSource& source)
        : source_(source), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kCarryBytes + kChunkBytes)) {}

    uint64_t Position() const { return pos_; }
    const std::string& Error() const { return error_; }
    // The record being read (a morph, a labelled vertex, ...), named in errors; the text is
    // only made when one occurs.
    void EnterRecord(const char* kind, uint32_t index) {
        recordKind_ = kind;
        recordIndex_ = index;
        hasRecordName_ = false;
    }
    void EnterMorph(uint32_t index) { EnterRecord("morph", index); }
    void LeaveRecord() { recordKind_ = nullptr; }

    bool Fail(const std::string& what) {
        error_.clear();
        if (recordKind_) {
            error_.append(recordKind_).append(" ").append(std::to_string(recordIndex_)).append(" ");
            if (hasRecordName_) error_.append("\"").append(Printable(recordName_.data(), recordName_.size())).append("\" ");
        }
        error_ += what;
        return false;
    }
    bool CutShort(const char* what) { return Fail(std::string(what) + " cut short at byte " + std::to_string(pos_)); }

    // Exactly `size` bytes (at most a field's) where they lie in the buffer, valid until the
    // next read, or null when the source ends first (what did arrive is counted).
    const uint8_t* Take(uint32_t size) {
        if (!Fill(size)) {
            Consume(Available());
            return nullptr;
        }
        const uint8_t* at = buffer_.get() + begin_;
        Consume(size);
        return at;
    }
    // The same into `out`, where also a part that did arrive is stored.
    bool Bytes(void* out, uint32_t size) {
        bool whole = Fill(size);
        size_t n = whole ? size : Available();
        if (n) std::memcpy(out, buffer_.get() + begin_, n);
        Consume(n);
        return whole;
    }

    template <class R>
    bool Records(std::vector<R>& list, uint32_t count, const char* what) {
        constexpr size_t kSize = kRecordSize<R>;
        list.clear();
        if (uint64_t(count) * kSize <= kExactListBytes) list.reserve(count);
        while (list.size() < count) {
            if (!Fill(kSize)) {
                Consume(Available());
                return CutShort(what);
            }
            size_t have = list.size();
            size_t n = std::min<size_t>(Available() / kSize, count - have);
            if (have + n > list.capacity()) list.reserve(std::min<size_t>(count, std::max(have * 2, have + n)));
            uint8_t* at = buffer_.get() + begin_;
            // With whole chunks a byte's place in the buffer follows its file offset, so only a
            // run placed oddly by a name length (or a source that trickles) is off its
            // alignment; it is moved back onto it over bytes already consumed.
            if (size_t off = reinterpret_cast<uintptr_t>(at) % alignof(R)) {
                constexpr size_t kPiece = kShiftPieceBytes / kSize;
                for (size_t done = 0; done < n; done += kPiece) {
                    size_t k = std::min(kPiece, n - done);
                    uint8_t* piece = at + done * kSize;
                    std::memmove(piece - off, piece, k * kSize);
                    Append(list, piece - off, k);
                }
            } else {
                Append(list, at, n);
            }
            SwapToOrFromLittleEndian(list.data() + have, n);
            Consume(n * kSize);
        }
        return true;
    }

    bool Scale(float& scale) {
        const uint8_t* b = Take(4);
        if (!b) return CutShort("scale");
        uint32_t bits = LoadU32(b);
        std::memcpy(&scale, &bits, sizeof scale);
        return true;
    }

    bool Name(std::string& name) {
        const char* text = nullptr;
        uint32_t length = 0;
        if (!NameBytes(text, length)) return false;
        name.assign(text, std::strlen(text));
        recordName_.assign(name);
        hasRecordName_ = true;
        return true;
    }

    // Records of a fixed part and a name, kept as their bytes.
    bool Labelled(std::string& raw, uint32_t count, uint32_t fixedBytes, const char* kind) {
        raw.clear();
        for (uint32_t i = 0; i < count; ++i) {
            EnterRecord(kind, i);
            const uint8_t* fixed = Take(fixedBytes);
            if (!fixed) return CutShort(kind);
            raw.append(reinterpret_cast<const char*>(fixed), fixedBytes);
            if (!RawName(raw)) return false;
        }
        LeaveRecord();
        raw.shrink_to_fit();
        return true;
    }

    // Statistical morphs: a name, a count n, n vertex indices; kept as their bytes.
    bool ModifierMorphs(std::string& raw, uint32_t count) {
        raw.clear();
        for (uint32_t i = 0; i < count; ++i) {
            EnterRecord("statistical morph", i);
            if (!RawName(raw)) return false;
            const uint8_t* b = Take(4);
            if (!b) return CutShort("vertex count");
            const uint32_t n = LoadU32(b);
            raw.append(reinterpret_cast<const char*>(b), 4);
            if (!AppendRun(raw, uint64_t(n) * 4)) return CutShort("vertex indices");
        }
        LeaveRecord();
        raw.shrink_to_fit();
        return true;
    }

private:
    // A name: u32 length with the terminator, then the bytes, which must hold a zero byte.
    bool NameBytes(const char*& text, uint32_t& length) {
        uint64_t at = pos_;
        const uint8_t* b = Take(4);
        if (!b) return CutShort("name length");
        length = LoadU32(b);
        if (length == 0) return Fail("name length 0 at byte " + std::to_string(at));
        if (length > kTriMaxNameLength)
            return Fail("name length " + std::to_string(length) + " at byte " + std::to_string(at) + " above " +
                        std::to_string(kTriMaxNameLength));
        text = reinterpret_cast<const char*>(Take(length));
        if (!text) return CutShort("name");
        // Without its zero byte a name has no defined end (and could not be written back).
        if (std::find(text, text + length, '\0') == text + length)
            return Fail("name at byte " + std::to_string(at + 4) + " has no zero byte");
        return true;
    }
    bool RawName(std::string& raw) {
        const char* text = nullptr;
        uint32_t length = 0;
        if (!NameBytes(text, length)) return false;
        recordName_.assign(text, std::strlen(text));
        hasRecordName_ = true;
        uint8_t b[4];
        StoreU32(b, length);
        raw.append(reinterpret_cast<const char*>(b), 4);
        raw.append(text, length);
        return true;
    }
    // `bytes` more bytes appended to `raw` as they arrive.
    bool AppendRun(std::string& raw, uint64_t bytes) {
        while (bytes > 0) {
            if (!Fill(1)) return false;
            size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, Available()));
            raw.append(reinterpret_cast<const char*>(buffer_.get() + begin_), n);
            Consume(n);
            bytes -= n;
        }
        return true;
    }

    size_t Available() const { return end_ - begin_; }
    void Consume(size_t n) {
        begin_ += n;
        pos_ += n;
    }
    template <class R>
    static void Append(std::vector<R>& list, const uint8_t* aligned, size_t n) {
        const R* first = reinterpret_cast<const R*>(aligned);
        list.insert(list.end(), first, first + n);
    }
    // At least `need` bytes (at most a field's) buffered, unless the source ends first. A
    // remainder shorter than `need` is carried in front of the next chunk.
    bool Fill(size_t need) {
        if (Available() >= need) return true;
        size_t rest = Available();
        uint8_t* base = buffer_.get();
        std::memmove(base + kCarryBytes - rest, base + begin_, rest);
        begin_ = kCarryBytes - rest;
        end_ = kCarryBytes;
        while (Available() < need && !ended_) {
            uint32_t room = static_cast<uint32_t>(kCarryBytes + kChunkBytes - end_);
            uint32_t n = source_.Read(base + end_, room);
            if (n == 0 || n > room) ended_ = true;
            else end_ += n;
        }
        return Available() >= need;
    }

    TriByteSource& source_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t begin_ = kCarryBytes, end_ = kCarryBytes;
    bool ended_ = false;
    uint64_t pos_ = 0;  // bytes consumed
    const char* recordKind_ = nullptr;
    uint32_t recordIndex_ = 0;
    std::string recordName_;  // reused, so a name costs no allocation per record
    bool hasRecordName_ = false;
    std::string error_;
};

// ----- Writing -------------------------------------------------------------------------------

// Gathers the small fields of a record into one write; long runs go straight through.
template <class Sink>
class BodyWriter {
public:
    explicit BodyWriter(Sink& sink) : sink_(sink) {}

    bool Flush() {
        if (used_ && ok_) ok_ = sink_.Put(buffer_, used_);
        used_ = 0;
        return ok_;
    }

    bool Bytes(const void* data, size_t size) {
        if (!ok_ || size == 0) return ok_;
        if (used_ + size > sizeof buffer_) {
            if (!Flush()) return false;
            if (size >= sizeof buffer_) return ok_ = sink_.Put(data, size);
        }
        std::memcpy(buffer_ + used_, data, size);
        used_ += size;
        return true;
    }

    // Exactly `count` records: missing ones as zeros, extra ones left out.
    template <class R>
    bool Records(const std::vector<R>& list, uint32_t count, const char*) {
        size_t have = std::min<size_t>(list.size(), count);
        if constexpr (std::endian::native == std::endian::little) {
            Bytes(list.data(), have * sizeof(R));
        } else {
            R scratch[256];
            for (size_t i = 0; i < have && ok_; i += 256) {
                size_t n = std::min<size_t>(256, have - i);
                std::memcpy(scratch, list.data() + i, n * sizeof(R));
                SwapToOrFromLittleEndian(scratch, n);
                Bytes(scratch, n * sizeof(R));
            }
        }
        static const uint8_t kZeros[4096] = {};
        for (uint64_t rest = uint64_t(count - have) * sizeof(R); rest && ok_;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(rest, sizeof kZeros));
            Bytes(kZeros, n);
            rest -= n;
        }
        return ok_;
    }

    bool Scale(float scale) {
        uint32_t bits;
        std::memcpy(&bits, &scale, sizeof bits);
        uint8_t b[4];
        StoreU32(b, bits);
        return Bytes(b, 4);
    }

    // Blocks kept as their bytes go back as they came.
    bool Labelled(const std::string& raw, uint32_t, uint32_t, const char*) { return Bytes(raw.data(), raw.size()); }
    bool ModifierMorphs(const std::string& raw, uint32_t) { return Bytes(raw.data(), raw.size()); }

    bool Name(std::string_view name) {
        // A name the reader would refuse is not written.
        if (name.size() + 1 > kTriMaxNameLength) return ok_ = false;
        uint8_t b[4];
        StoreU32(b, static_cast<uint32_t>(name.size() + 1));
        const char zero = 0;
        return Bytes(b, 4) && Bytes(name.data(), name.size()) && Bytes(&zero, 1);
    }

private:
    Sink& sink_;
    uint8_t buffer_[512];
    size_t used_ = 0;
    bool ok_ = true;
};

struct FileSink {
    os::ReplacingFile& out;
    bool Put(const void* data, size_t size) { return out.Write(data, size); }
};
struct StringSink {
    std::string& out;
    bool Put(const void* data, size_t size) {
        out.append(static_cast<const char*>(data), size);
        return true;
    }
};

template <class Sink>
bool WriteHeaderAndGeometry(Sink& sink, const TriFile& file) {
    uint8_t header[kTriHeaderSize];
    const TriHeader h = HeaderToWrite(file);
    EncodeHeader(h, header);
    BodyWriter<Sink> w(sink);
    return w.Bytes(header, sizeof header) && GeometryLayout(w, file, h) && w.Flush();
}

template <class Sink>
bool WriteTrailer(Sink& sink, const TriFile& file) {
    BodyWriter<Sink> w(sink);
    return TrailerLayout(w, file, HeaderToWrite(file)) && w.Flush();
}

template <class Sink>
bool WriteMorph(Sink& sink, std::string_view name, float scale, const std::vector<TriDelta>& deltas,
                uint32_t vertexCount) {
    BodyWriter<Sink> w(sink);
    return MorphLayout(w, name, scale, deltas, vertexCount) && w.Flush();
}

}  // namespace

// The magic is not a condition of reading: a file of another magic whose layout reads whole is
// read as the game reads it, and a layout that does not fit is refused by the checks of the
// header and body. The magic only names the likely cause when a file cannot be read.
TriReadResult ReadTriBody(TriByteSource& source, TriFile& file) {
    TriReadResult result;
    BodyReader r(source);
    uint8_t bytes[kTriHeaderSize] = {};
    TriHeader h;
    TriFile staged;
    bool ok = false;
    if (!r.Bytes(bytes, sizeof bytes)) {
        r.CutShort("header");
    } else {
        DecodeHeader(bytes, h);
        if (GeometryLayout(r, staged, h)) {
            ok = true;
            // Each morph costs memory beyond its bytes (its record, its name, its place in the
            // index); a file of many tiny morphs may not turn its size into many times as much.
            uint64_t overhead = 0;
            for (uint32_t i = 0; i < h.morphCount && ok; ++i) {
                r.EnterMorph(i);
                TriMorph m;
                ok = MorphLayout(r, m.name, m.scale, m.deltas, h.vertexCount);
                if (!ok) break;
                overhead += kTriMorphOverheadBytes + m.name.size();
                if (overhead > r.Position() + kTriOverheadAllowance) {
                    r.LeaveRecord();
                    ok = r.Fail("too many morphs for the file's size: " + std::to_string(i + 1) + " morphs of " +
                                std::to_string(h.vertexCount) + " vertices in its first " +
                                std::to_string(r.Position()) + " bytes would take more than twice that in memory");
                    break;
                }
                staged.morphs.push_back(std::move(m));
            }
            if (ok) {
                r.LeaveRecord();
                ok = TrailerLayout(r, staged, h);
            }
        }
    }
    if (!ok) {
        result.error = r.Error();
        if (r.Position() >= sizeof kTriMagic && std::memcmp(bytes, kTriMagic, sizeof kTriMagic) != 0)
            result.error = "not a FRTRI003 file (begins \"" + Printable(reinterpret_cast<const char*>(bytes), 8) +
                           "\"): " + result.error;
        return result;
    }

    CopyCounts(file, h);
    file.vertices = std::move(staged.vertices);
    file.triangles = std::move(staged.triangles);
    file.uvs = std::move(staged.uvs);
    file.uvTriangles = std::move(staged.uvTriangles);
    file.modifierVertices = std::move(staged.modifierVertices);
    file.quads = std::move(staged.quads);
    file.labelledVertices = std::move(staged.labelledVertices);
    file.labelledPoints = std::move(staged.labelledPoints);
    file.uvQuads = std::move(staged.uvQuads);
    file.modifierMorphs = std::move(staged.modifierMorphs);
    file.morphs.reserve(file.morphs.size() + staged.morphs.size());
    for (TriMorph& m : staged.morphs) file.morphs.push_back(std::move(m));
    IndexTriMorphs(file);
    result.ok = true;
    return result;
}

TriReadResult ReadTriBody(BSResourceNiBinaryStream* stream, TriFile& file) {
    TriStreamSource source(stream);
    return ReadTriBody(source, file);
}

bool WriteTriHeader(os::ReplacingFile& out, const TriFile& file) {
    FileSink sink{out};
    return WriteHeaderAndGeometry(sink, file);
}

bool WriteTriMorph(os::ReplacingFile& out, std::string_view name, float scale, const std::vector<TriDelta>& deltas,
                   uint32_t vertexCount) {
    FileSink sink{out};
    return WriteMorph(sink, name, scale, deltas, vertexCount);
}

bool WriteTriTrailer(os::ReplacingFile& out, const TriFile& file) {
    FileSink sink{out};
    return WriteTrailer(sink, file);
}

bool PatchTriMorphCount(os::ReplacingFile& out, uint32_t morphCount) {
    uint8_t b[4];
    StoreU32(b, morphCount);
    return out.WriteAt(kTriMorphCountOffset, b, sizeof b);
}

std::string SerializeTri(const TriFile& file) {
    std::string bytes;
    uint64_t size = kTriHeaderSize + uint64_t(file.vertexCount) * 20 + uint64_t(file.modifierVertexCount) * 12 +
                    uint64_t(file.triangleCount) * 24 + uint64_t(file.quadCount) * 32 + uint64_t(file.uvCount) * 8 +
                    file.labelledVertices.size() + file.labelledPoints.size() + file.modifierMorphs.size();
    for (const TriMorph& m : file.morphs) size += 9 + m.name.size() + uint64_t(file.vertexCount) * 6;
    if (size < (uint64_t(1) << 31)) bytes.reserve(static_cast<size_t>(size));
    StringSink sink{bytes};
    WriteHeaderAndGeometry(sink, file);
    uint32_t written = 0;
    for (const TriMorph& m : file.morphs)
        if (WriteMorph(sink, m.name, m.scale, m.deltas, file.vertexCount)) ++written;
    WriteTrailer(sink, file);
    uint8_t count[4];
    StoreU32(count, written);
    std::memcpy(bytes.data() + kTriMorphCountOffset, count, sizeof count);
    return bytes;
}

void IndexTriMorphs(TriFile& file) {
    file.morphIndex.clear();
    file.morphIndex.reserve(file.morphs.size());
    for (size_t i = 0; i < file.morphs.size(); ++i) file.morphIndex.try_emplace(file.morphs[i].name, static_cast<int>(i));
}

int FindMorphIndex(const TriFile& file, std::string_view name) {
    // A file built by hand and never indexed is searched in order.
    if (file.morphIndex.empty()) {
        for (size_t i = 0; i < file.morphs.size(); ++i)
            if (file.morphs[i].name == name) return static_cast<int>(i);
        return -1;
    }
    auto it = file.morphIndex.find(std::string(name));
    if (it == file.morphIndex.end()) return -1;
    size_t i = static_cast<size_t>(it->second);
    if (it->second < 0 || i >= file.morphs.size() || file.morphs[i].name != name) return -1;
    return it->second;
}

std::vector<TriModifierMorphInfo> ListModifierMorphs(const TriFile& file) {
    std::vector<TriModifierMorphInfo> list;
    const std::string& raw = file.modifierMorphs;
    size_t at = 0;
    auto u32 = [&](uint32_t& v) {
        if (raw.size() - at < 4) return false;
        v = LoadU32(reinterpret_cast<const uint8_t*>(raw.data() + at));
        at += 4;
        return true;
    };
    while (at < raw.size()) {
        uint32_t length = 0, count = 0;
        if (!u32(length) || raw.size() - at < length) break;
        TriModifierMorphInfo info;
        const char* name = raw.data() + at;
        info.name.assign(name, static_cast<size_t>(std::find(name, name + length, '\0') - name));
        at += length;
        if (!u32(count) || (raw.size() - at) / 4 < count) break;
        at += uint64_t(count) * 4;
        info.vertexCount = count;
        list.push_back(std::move(info));
    }
    return list;
}

uint32_t TriUvPairCount(const TriFile& file) {
    switch (UvLayoutOf(file.uvCount, file.flags)) {
        case UvLayout::Indexed: return file.uvCount;
        case UvLayout::PerVertex: return file.vertexCount;
        case UvLayout::None: break;
    }
    return 0;
}
