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

enum class HeaderRole { Magic, VertexCount, TriangleCount, UvCount, Flags, MorphCount, Unread, Reserved };

struct HeaderField {
    uint32_t offset;
    uint32_t size;
    HeaderRole role;
    const char* block;  // for Unread: the block the count belongs to
};

constexpr HeaderField kHeaderFields[] = {
    {0, 8, HeaderRole::Magic, nullptr},
    {8, 4, HeaderRole::VertexCount, nullptr},
    {12, 4, HeaderRole::TriangleCount, nullptr},
    {16, 4, HeaderRole::Unread, "quads"},
    {20, 4, HeaderRole::Unread, "labelled vertices"},
    {24, 4, HeaderRole::Unread, "labelled surface points"},
    {28, 4, HeaderRole::UvCount, nullptr},
    {32, 4, HeaderRole::Flags, nullptr},  // bit 0: texture coordinates; read files are not held to it
    {36, 4, HeaderRole::MorphCount, nullptr},
    {40, 4, HeaderRole::Unread, "statistical morphs"},
    {44, 4, HeaderRole::Unread, "statistical morph vertices"},
    {48, 16, HeaderRole::Reserved, nullptr},
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
    uint32_t uvCount = 0;
    uint32_t flags = 0;
    uint32_t morphCount = 0;
    const HeaderField* foreign = nullptr;  // first unread block the file declares
    uint32_t foreignCount = 0;
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
        case HeaderRole::UvCount: return &h.uvCount;
        case HeaderRole::Flags: return &h.flags;
        case HeaderRole::MorphCount: return &h.morphCount;
        default: return nullptr;
    }
}

void DecodeHeader(const uint8_t* bytes, TriHeader& h) {
    for (const HeaderField& f : kHeaderFields) {
        const uint8_t* p = bytes + f.offset;
        if (f.role == HeaderRole::Magic) {
            std::memcpy(h.magic, p, sizeof h.magic);
        } else if (f.role == HeaderRole::Unread) {
            uint32_t n = LoadU32(p);
            if (n != 0 && !h.foreign) h.foreign = &f, h.foreignCount = n;
        } else if (uint32_t* count = CountOf(h, f.role)) {
            *count = LoadU32(p);
        }
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

TriHeader HeaderToWrite(const TriFile& file) {
    TriHeader h;
    std::memcpy(h.magic, kTriMagic, sizeof h.magic);
    h.vertexCount = file.vertexCount;
    h.triangleCount = file.triangleCount;
    h.uvCount = file.uvCount;
    h.flags = 1;
    h.morphCount = 1;  // patched once the records are written
    return h;
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

// The body, once: geometry blocks 1 to 4, then each difference morph. `io` reads into or
// writes from the lists it is given.
template <class Io, class Geometry>
bool GeometryLayout(Io& io, Geometry& g, uint32_t vertices, uint32_t triangles, uint32_t uvs) {
    return io.Records(g.vertices, vertices, "vertices") && io.Records(g.triangles, triangles, "triangles") &&
           io.Records(g.uvs, uvs, "texture coordinates") && io.Records(g.uvTriangles, triangles, "texture triangles");
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

struct Staged {
    std::vector<TriVertex> vertices;
    std::vector<TriTriangle> triangles;
    std::vector<TriUv> uvs;
    std::vector<TriTriangle> uvTriangles;
    std::vector<TriMorph> morphs;
};

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
    // The morph being read, named in errors; the text is only made when one occurs.
    void EnterMorph(uint32_t index) {
        inMorph_ = true;
        morphIndex_ = index;
        morphName_ = nullptr;
    }

    bool Fail(const std::string& what) {
        error_.clear();
        if (inMorph_) {
            error_ = "morph " + std::to_string(morphIndex_) + " ";
            if (morphName_) error_.append("\"").append(Printable(morphName_->data(), morphName_->size())).append("\" ");
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
        uint64_t at = pos_;
        const uint8_t* b = Take(4);
        if (!b) return CutShort("name length");
        uint32_t length = LoadU32(b);
        if (length == 0) return Fail("name length 0 at byte " + std::to_string(at));
        if (length > kTriMaxNameLength)
            return Fail("name length " + std::to_string(length) + " at byte " + std::to_string(at) + " above " +
                        std::to_string(kTriMaxNameLength));
        const char* text = reinterpret_cast<const char*>(Take(length));
        if (!text) return CutShort("name");
        // Without its zero byte a name has no defined end (and could not be written back).
        const char* end = std::find(text, text + length, '\0');
        if (end == text + length) return Fail("name at byte " + std::to_string(at + 4) + " has no zero byte");
        name.assign(text, static_cast<size_t>(end - text));
        morphName_ = &name;
        return true;
    }

private:
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
    bool inMorph_ = false;
    uint32_t morphIndex_ = 0;
    const std::string* morphName_ = nullptr;
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
    EncodeHeader(HeaderToWrite(file), header);
    BodyWriter<Sink> w(sink);
    return w.Bytes(header, sizeof header) &&
           GeometryLayout(w, file, file.vertexCount, file.triangleCount, file.uvCount) && w.Flush();
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
    Staged staged;
    bool ok = false;
    if (!r.Bytes(bytes, sizeof bytes)) {
        r.CutShort("header");
    } else {
        DecodeHeader(bytes, h);
        if (h.foreign) {
            r.Fail("declares " + std::to_string(h.foreignCount) + " " + h.foreign->block + " (header byte " +
                   std::to_string(h.foreign->offset) + "), a block this reader does not read");
        } else if (GeometryLayout(r, staged, h.vertexCount, h.triangleCount, h.uvCount)) {
            ok = true;
            for (uint32_t i = 0; i < h.morphCount && ok; ++i) {
                r.EnterMorph(i);
                TriMorph m;
                ok = MorphLayout(r, m.name, m.scale, m.deltas, h.vertexCount);
                if (ok) staged.morphs.push_back(std::move(m));
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

    file.vertexCount = h.vertexCount;
    file.triangleCount = h.triangleCount;
    file.uvCount = h.uvCount;
    file.vertices = std::move(staged.vertices);
    file.triangles = std::move(staged.triangles);
    file.uvs = std::move(staged.uvs);
    file.uvTriangles = std::move(staged.uvTriangles);
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

bool PatchTriMorphCount(os::ReplacingFile& out, uint32_t morphCount) {
    uint8_t b[4];
    StoreU32(b, morphCount);
    return out.WriteAt(kTriMorphCountOffset, b, sizeof b);
}

std::string SerializeTri(const TriFile& file) {
    std::string bytes;
    uint64_t size = kTriHeaderSize + uint64_t(file.vertexCount) * 12 + uint64_t(file.triangleCount) * 24 +
                    uint64_t(file.uvCount) * 8;
    for (const TriMorph& m : file.morphs) size += 9 + m.name.size() + uint64_t(file.vertexCount) * 6;
    if (size < (uint64_t(1) << 31)) bytes.reserve(static_cast<size_t>(size));
    StringSink sink{bytes};
    WriteHeaderAndGeometry(sink, file);
    uint32_t written = 0;
    for (const TriMorph& m : file.morphs)
        if (WriteMorph(sink, m.name, m.scale, m.deltas, file.vertexCount)) ++written;
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
