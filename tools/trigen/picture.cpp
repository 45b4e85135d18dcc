#include "tools/trigen/picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace trigen {

namespace {

uint32_t Crc32(const std::string& data) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Put32(std::string& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, Crc32(body));
}

struct View {
    int width, height;
    std::vector<float> depth;
    std::vector<unsigned char> rgb;
};

}  // namespace

std::string EncodePng(int width, int height, const std::vector<unsigned char>& rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');  // no filter
        raw.append(reinterpret_cast<const char*>(rgb.data()) + static_cast<size_t>(y) * width * 3,
                   static_cast<size_t>(width) * 3);
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? '\1' : '\0');
        z.push_back(static_cast<char>(n & 0xFF));
        z.push_back(static_cast<char>(n >> 8));
        z.push_back(static_cast<char>(~n & 0xFF));
        z.push_back(static_cast<char>((~n >> 8) & 0xFF));
        z.append(raw, at, n);
        if (raw.empty()) break;
    }
    Put32(z, (b << 16) | a);
    std::string header;
    Put32(header, static_cast<uint32_t>(width));
    Put32(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    std::string out = "\x89PNG\r\n\x1a\n";
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", "");
    return out;
}

std::string RenderPicture(const std::vector<std::vector<PictureMesh>>& rows, double ppu) {
    // Fixed framing around the head: x or y across, z up.
    const double minZ = -18.5, maxZ = 13.5, halfAcross = 13.0;
    const int viewW = static_cast<int>(2 * halfAcross * ppu), viewH = static_cast<int>((maxZ - minZ) * ppu);
    const int width = 2 * viewW, height = viewH * static_cast<int>(rows.size());
    std::vector<unsigned char> image(static_cast<size_t>(width) * height * 3, 40);
    const Vec3 light = Vec3{-0.35, 0.8, 0.5} * (1.0 / Vec3{-0.35, 0.8, 0.5}.Length());

    for (size_t row = 0; row < rows.size(); ++row) {
        for (int side = 0; side < 2; ++side) {
            std::vector<float> depth(static_cast<size_t>(viewW) * viewH, -std::numeric_limits<float>::infinity());
            for (const PictureMesh& pm : rows[row]) {
                const Mesh& m = *pm.mesh;
                std::vector<Vec3> p(m.vertices);
                double most = 0;
                for (size_t i = 0; i < pm.offsets.size() && i < p.size(); ++i) {
                    p[i] += pm.offsets[i];
                    most = std::max(most, pm.offsets[i].Length());
                }
                for (const Tri& t : m.triangles) {
                    const Vec3 a = p[t.a], b = p[t.b], c = p[t.c];
                    Vec3 n = (b - a).Cross(c - a);
                    const double len = n.Length();
                    if (len <= 0) continue;
                    n = n * (1.0 / len);
                    // Screen: front view looks along -y (the character's right on the left),
                    // the profile looks along -x (the face to the right).
                    auto project = [&](const Vec3& q, double& sx, double& sy, double& d) {
                        const double across = side == 0 ? -q.x : q.y;
                        sx = (across + halfAcross) * ppu;
                        sy = (maxZ - q.z) * ppu;
                        d = side == 0 ? q.y : q.x;
                    };
                    double x0, y0, d0, x1, y1, d1, x2, y2, d2;
                    project(a, x0, y0, d0);
                    project(b, x1, y1, d1);
                    project(c, x2, y2, d2);
                    const double area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
                    if (std::abs(area) < 1e-12) continue;
                    const double shade = 0.25 + 0.75 * std::abs(n.Dot(light));
                    double moved = 0;
                    if (most > 0) {
                        moved = (pm.offsets.size() > t.a ? pm.offsets[t.a].Length() : 0) +
                                (pm.offsets.size() > t.b ? pm.offsets[t.b].Length() : 0) +
                                (pm.offsets.size() > t.c ? pm.offsets[t.c].Length() : 0);
                        moved = std::min(1.0, moved / (3 * most));
                    }
                    const int minX = std::max(0, static_cast<int>(std::floor(std::min({x0, x1, x2}))));
                    const int maxX = std::min(viewW - 1, static_cast<int>(std::ceil(std::max({x0, x1, x2}))));
                    const int minY = std::max(0, static_cast<int>(std::floor(std::min({y0, y1, y2}))));
                    const int maxY = std::min(viewH - 1, static_cast<int>(std::ceil(std::max({y0, y1, y2}))));
                    for (int py = minY; py <= maxY; ++py) {
                        for (int px = minX; px <= maxX; ++px) {
                            const double sx = px + 0.5, sy = py + 0.5;
                            const double w0 = ((x1 - sx) * (y2 - sy) - (x2 - sx) * (y1 - sy)) / area;
                            const double w1 = ((x2 - sx) * (y0 - sy) - (x0 - sx) * (y2 - sy)) / area;
                            const double w2 = 1.0 - w0 - w1;
                            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
                            const float d = static_cast<float>(w0 * d0 + w1 * d1 + w2 * d2);
                            float& slot = depth[static_cast<size_t>(py) * viewW + px];
                            if (d <= slot) continue;
                            slot = d;
                            unsigned char* out =
                                &image[((static_cast<size_t>(row) * viewH + py) * width + side * viewW + px) * 3];
                            const double tint[3] = {pm.colour[0] + moved * (255 - pm.colour[0]),
                                                    pm.colour[1] * (1 - moved), pm.colour[2] * (1 - moved)};
                            for (int ch = 0; ch < 3; ++ch)
                                out[ch] = static_cast<unsigned char>(std::clamp(tint[ch] * shade, 0.0, 255.0));
                        }
                    }
                }
            }
        }
    }
    return EncodePng(width, height, image);
}

}  // namespace trigen
