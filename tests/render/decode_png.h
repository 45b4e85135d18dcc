// Reads a PNG back to RGB for the renderer's tests.
#pragma once

#include <spng.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/image.h"

namespace vtrtest {

struct Decoded {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    render::Rgb At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline Decoded DecodePngFile(const std::string& path) {
    Decoded d;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return d;
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, bytes.data(), bytes.size());
    spng_ihdr ihdr{};
    size_t size = 0;
    if (spng_get_ihdr(ctx, &ihdr) == 0 && spng_decoded_image_size(ctx, SPNG_FMT_RGB8, &size) == 0) {
        d.rgb.resize(size);
        if (spng_decode_image(ctx, d.rgb.data(), size, SPNG_FMT_RGB8, 0) == 0) {
            d.ok = true;
            d.width = static_cast<int>(ihdr.width);
            d.height = static_cast<int>(ihdr.height);
        }
    }
    spng_ctx_free(ctx);
    return d;
}

}  // namespace vtrtest
