#include "menu/colours.h"

#include <array>
#include <cmath>

#include "base/numeric.h"

namespace {

struct ColourEntry {
    int32_t uniqueID;
    int32_t source;
};

// Searched from the top; the first match wins.
constexpr std::array<ColourEntry, 14> kColourEntries = {{
    {46, kColourSourceHair},
    {3, 6},
    {19, 2},
    {20, 8},
    {21, 9},
    {22, 10},
    {23, 11},
    {24, 12},
    {25, 13},
    {31, 3},
    {32, 4},
    {33, 5},
    {44, 1},
    {10, 7},
}};

}  // namespace

double HueDegrees(double r, double g, double b) {
    const double max = std::fmax(r, std::fmax(g, b));
    const double min = std::fmin(r, std::fmin(g, b));
    const double d = max - min;
    if (d == 0) return 0;
    const double rc = (max - r) / d;
    const double gc = (max - g) / d;
    const double bc = (max - b) / d;
    double h;
    if (r == max)
        h = bc - gc;
    else if (g == max)
        h = 2 + rc - bc;
    else
        h = 4 + gc - rc;
    h *= 60;
    if (h < 0) h += 360;
    return h;
}

uint8_t ClampedByte(double scaled) {
    if (!(scaled > 0)) return 0;  // also NaN
    if (scaled >= 255) return 255;
    return static_cast<uint8_t>(TruncToInt32(scaled));
}

uint8_t ChannelByte(double value) { return ClampedByte(value * 255); }

MenuHsl ArgbToMenuHsl(uint32_t argb) {
    const double r = ((argb >> 16) & 0xFF) / 255.0;
    const double g = ((argb >> 8) & 0xFF) / 255.0;
    const double b = (argb & 0xFF) / 255.0;
    const double max = std::fmax(r, std::fmax(g, b));
    const double min = std::fmin(r, std::fmin(g, b));
    const double d = max - min;
    const double l = (max + min) * 0.5;
    double s = 0;
    if (d != 0) s = l > 0.5 ? d / (2 - 2 * l) : d / (2 * l);
    MenuHsl out;
    out.h = TruncToInt32(HueDegrees(r, g, b));
    out.s = TruncToInt32(s * 100);
    out.l = TruncToInt32(l * 100);
    out.alpha = static_cast<int32_t>((argb >> 24) * 100 / 255);
    return out;
}

uint32_t MenuHslToArgb(double h, double s, double l, double alpha) {
    const double sp = s / 100;
    const double lp = l / 100;
    const double k = sp * (lp <= 0.5 ? 2 * lp : 2 - 2 * lp);

    // Wrapping keeps the sector in 0..5 for every finite hue; within -360..360 it matches
    // the single "add 360 once" of the slider's range.
    if (!std::isfinite(h)) h = 0;
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360;
    if (h >= 360) h = 0;  // a tiny negative hue can round up to exactly 360

    double rc, gc, bc;
    if (k == 0) {
        rc = gc = bc = lp;
    } else {
        double hp = h / 60;
        int i = TruncToInt32(hp);
        if (i > 5) i = 5;
        const double f = hp - i;
        const double x = (i % 2 == 0) ? k * f : k * (1 - f);
        const double m = lp - k / 2;
        switch (i) {
            case 0: rc = k; gc = x; bc = 0; break;
            case 1: rc = x; gc = k; bc = 0; break;
            case 2: rc = 0; gc = k; bc = x; break;
            case 3: rc = 0; gc = x; bc = k; break;
            case 4: rc = x; gc = 0; bc = k; break;
            default: rc = k; gc = 0; bc = x; break;
        }
        rc += m;
        gc += m;
        bc += m;
    }
    const uint32_t a = ClampedByte(alpha * 255 / 100);
    return (a << 24) | (uint32_t{ChannelByte(rc)} << 16) | (uint32_t{ChannelByte(gc)} << 8) | ChannelByte(bc);
}

bool ColourMenuSource(int32_t uniqueID, int32_t* source) {
    for (const ColourEntry& e : kColourEntries) {
        if (e.uniqueID == uniqueID) {
            *source = e.source;
            return true;
        }
    }
    return false;
}
