#include "render/png.h"

#include <zlib.h>

#include <array>

#include "os/os.h"

namespace render {

namespace {
// Far more than any preview or plot needs; keeps width * height * 3 well inside size_t on
// 32-bit builds and zlib's own limits.
constexpr int kMaxSide = 16384;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

// One chunk: length, type, data, CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, size_t size) {
    PutU32(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + typeAt, static_cast<uInt>(4 + size));
    PutU32(out, static_cast<uint32_t>(crc));
}
}  // namespace

// The file is framed here and compressed by zlib, so the same encoder runs wherever zlib
// builds (also the Windows program, which has no PNG library to link).
bool EncodePng(int width, int height, const std::vector<uint8_t>& rgb, std::vector<uint8_t>& png, std::string& error) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        error = "picture size " + std::to_string(width) + "x" + std::to_string(height) + " out of range";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t expected = rowBytes * static_cast<size_t>(height);
    if (rgb.size() != expected) {
        error = "picture has " + std::to_string(rgb.size()) + " bytes, expected " + std::to_string(expected);
        return false;
    }
    // Every row starts with its filter type; 0 (none) keeps the encoder simple.
    std::vector<uint8_t> raw;
    raw.reserve(expected + static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<ptrdiff_t>(rowBytes * static_cast<size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<ptrdiff_t>(rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    const int rc = compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    if (rc != Z_OK) {
        error = std::string("PNG encoding failed: ") + zError(rc);
        return false;
    }
    static constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // assign, not clear() and insert(): mingw's GCC 12 warns falsely about the latter.
    png.assign(kSignature.begin(), kSignature.end());
    std::vector<uint8_t> ihdr;
    PutU32(ihdr, static_cast<uint32_t>(width));
    PutU32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, truecolour, deflate, adaptive filters, no interlace
    PutChunk(png, "IHDR", ihdr.data(), ihdr.size());
    PutChunk(png, "IDAT", packed.data(), packedSize);
    PutChunk(png, "IEND", nullptr, 0);
    return true;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string& error) {
    std::vector<uint8_t> png;
    if (!EncodePng(width, height, rgb, png, error)) return false;
    os::ReplacingFile out;
    if (!out.Open(path, false) || !out.Write(png.data(), png.size()) || !out.Commit()) {
        error = "cannot write " + path + " (" + out.Error() + ")";
        out.Abort();
        return false;
    }
    return true;
}

}  // namespace render
