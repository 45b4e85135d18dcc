// The PNG writer's framing, checked byte by byte with a CRC computed here (not by the library
// that writes it), and pictures of awkward sizes read back by an independent decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/png.h"
#include "tests/render/decode_png.h"
#include "tests/support/test_support.h"

namespace {

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct Chunk {
    std::string type;
    size_t dataAt = 0;
    uint32_t size = 0;
};

// Splits a PNG into chunks, failing the test on a bad signature, length or CRC.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& png) {
    std::vector<Chunk> out;
    const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(png.size(), 8u);
    if (png.size() < 8) return out;
    EXPECT_TRUE(std::equal(sig, sig + 8, png.begin()));
    size_t at = 8;
    while (at < png.size()) {
        EXPECT_LE(at + 12, png.size()) << "chunk header past the end at " << at;
        if (at + 12 > png.size()) break;
        Chunk c;
        c.size = U32(png, at);
        c.type.assign(png.begin() + static_cast<ptrdiff_t>(at + 4), png.begin() + static_cast<ptrdiff_t>(at + 8));
        c.dataAt = at + 8;
        EXPECT_LE(c.dataAt + c.size + 4, png.size()) << c.type << " runs past the end";
        if (c.dataAt + c.size + 4 > png.size()) break;
        EXPECT_EQ(U32(png, c.dataAt + c.size), Crc32(png.data() + at + 4, 4 + c.size)) << "CRC of " << c.type;
        out.push_back(c);
        at = c.dataAt + c.size + 4;
    }
    return out;
}

std::vector<uint8_t> Noise(int w, int h, uint32_t seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (uint8_t& v : rgb) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return rgb;
}

TEST(PngFormat, ChunksAreFramedAndChecksummed) {
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(render::EncodePng(7, 5, Noise(7, 5, 1), png, error)) << error;
    const std::vector<Chunk> chunks = Chunks(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    ASSERT_EQ(chunks[0].size, 13u);
    EXPECT_EQ(U32(png, chunks[0].dataAt), 7u);
    EXPECT_EQ(U32(png, chunks[0].dataAt + 4), 5u);
    EXPECT_EQ(png[chunks[0].dataAt + 8], 8);   // bit depth
    EXPECT_EQ(png[chunks[0].dataAt + 9], 2);   // truecolour
    EXPECT_EQ(png[chunks[0].dataAt + 12], 0);  // not interlaced
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_GT(chunks[1].size, 0u);
    EXPECT_EQ(chunks[2].type, "IEND");
    EXPECT_EQ(chunks[2].size, 0u);
    EXPECT_EQ(chunks[2].dataAt + 4, png.size());  // nothing after IEND
}

TEST(PngFormat, AwkwardSizesReadBackExactly) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 300}, {300, 1}, {257, 3}, {640, 480}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        // Noise does not compress: the deflate stream must still hold it all.
        const std::vector<uint8_t> rgb = Noise(w, h, static_cast<uint32_t>(w * 31 + h));
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(render::EncodePng(w, h, rgb, png, error)) << error;
        Chunks(png);
        vtrtest::ScopedGameFolder dir;
        const std::string path = dir.Path() + "/p.png";
        ASSERT_TRUE(render::WritePng(path, w, h, rgb, error)) << error;
        const vtrtest::Decoded d = vtrtest::DecodePngFile(path);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.width, w);
        EXPECT_EQ(d.height, h);
        EXPECT_EQ(d.rgb, rgb);
    }
}

TEST(PngFormat, FlatPicturesCompress) {
    std::vector<uint8_t> png;
    std::string error;
    const std::vector<uint8_t> grey(512 * 512 * 3, 0x80);
    ASSERT_TRUE(render::EncodePng(512, 512, grey, png, error)) << error;
    EXPECT_LT(png.size(), grey.size() / 50);
}

}  // namespace
