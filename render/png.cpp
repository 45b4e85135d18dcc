#include "render/png.h"

#include <spng.h>

#include <cstdlib>
#include <memory>

#include "os/os.h"

namespace render {

namespace {
// Far more than any preview or plot needs; keeps width * height * 3 well inside size_t on
// 32-bit builds and the encoder's own limits.
constexpr int kMaxSide = 16384;

struct CtxFree {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};
}  // namespace

bool EncodePng(int width, int height, const std::vector<uint8_t>& rgb, std::vector<uint8_t>& png, std::string& error) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        error = "picture size " + std::to_string(width) + "x" + std::to_string(height) + " out of range";
        return false;
    }
    const size_t expected = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (rgb.size() != expected) {
        error = "picture has " + std::to_string(rgb.size()) + " bytes, expected " + std::to_string(expected);
        return false;
    }
    std::unique_ptr<spng_ctx, CtxFree> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) {
        error = "cannot create the PNG encoder";
        return false;
    }
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(width);
    ihdr.height = static_cast<uint32_t>(height);
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    int rc = spng_set_ihdr(ctx.get(), &ihdr);
    if (rc == 0) rc = spng_encode_image(ctx.get(), rgb.data(), rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    if (rc != 0) {
        error = std::string("PNG encoding failed: ") + spng_strerror(rc);
        return false;
    }
    size_t size = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &size, &rc);
    if (!buffer || rc != 0) {
        error = std::string("PNG encoding failed: ") + spng_strerror(rc);
        std::free(buffer);
        return false;
    }
    png.assign(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + size);
    std::free(buffer);  // the caller of spng_get_png_buffer owns it
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
