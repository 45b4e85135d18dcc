#include "render/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/image.h"
#include "render/png.h"

namespace render {

namespace {

constexpr int kWidth = 720, kHeight = 460;
constexpr int kLeft = 78, kRight = 24, kTop = 48, kBottom = 56;
constexpr Rgb kBackground{255, 255, 255}, kAxis{40, 40, 40}, kGrid{225, 228, 235}, kLine{30, 90, 200},
    kText{20, 20, 20}, kFailed{210, 30, 30};

std::string TickLabel(double v, double step) {
    if (std::fabs(v) < step * 1e-9) v = 0;  // no "-0" or "1e-17" at the origin
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// A range with room: a single value or an empty set gets one around it.
void Widen(double& lo, double& hi) {
    if (!(lo <= hi)) {
        lo = 0, hi = 1;
        return;
    }
    if (hi - lo == 0 || !std::isfinite(hi - lo)) {
        if (!std::isfinite(hi - lo)) return;
        const double pad = lo == 0 ? 1.0 : std::fabs(lo) * 0.1;
        lo -= pad, hi += pad;
        return;
    }
    const double pad = (hi - lo) * 0.05;
    lo -= pad, hi += pad;
}

// Where v falls in [lo, hi] as 0..1, without forming hi - lo (it may overflow).
double Fraction(double v, double lo, double hi) {
    return (v * 0.5 - lo * 0.5) / (hi * 0.5 - lo * 0.5);
}

}  // namespace

std::vector<double> NiceTicks(double lo, double hi, int target) {
    std::vector<double> ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(lo < hi) || target < 1) return ticks;
    const double span = hi * 0.5 - lo * 0.5;  // half the span, finite for any finite pair
    const double raw = span / target * 2;
    if (!std::isfinite(raw) || raw <= 0) return ticks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (mag * m >= raw) {
            step = mag * m;
            break;
        }
    if (!std::isfinite(step) || step <= 0) return ticks;
    const double first = std::ceil(lo / step);
    for (int i = 0; i < 4 * target + 4; ++i) {
        const double t = (first + i) * step;
        if (t > hi + step * 1e-9) break;
        if (t >= lo - step * 1e-9) ticks.push_back(t);
    }
    return ticks;
}

bool WriteLinePlotPng(const std::string& path, const std::vector<double>& xs, const std::vector<double>& ys,
                      const std::string& title, std::string& error) {
    return WriteLinePlotPng(path, LinePlot{xs, ys, {}, title}, error);
}

bool WriteLinePlotPng(const std::string& path, const LinePlot& plot, std::string& error) {
    const std::vector<double>& xs = plot.xs;
    const std::vector<double>& ys = plot.ys;
    const std::string& title = plot.title;
    if (!plot.failed.empty() && plot.failed.size() != xs.size()) {
        error = "plot has " + std::to_string(xs.size()) + " x values and " + std::to_string(plot.failed.size()) +
                " failure marks";
        return false;
    }
    auto failed = [&](size_t i) { return !plot.failed.empty() && plot.failed[i]; };
    if (xs.size() != ys.size()) {
        error = "plot has " + std::to_string(xs.size()) + " x values and " + std::to_string(ys.size()) + " y values";
        return false;
    }
    double loX = INFINITY, hiX = -INFINITY, loY = INFINITY, hiY = -INFINITY;
    size_t finite = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) continue;
        loX = std::min(loX, xs[i]), hiX = std::max(hiX, xs[i]);
        loY = std::min(loY, ys[i]), hiY = std::max(hiY, ys[i]);
        ++finite;
    }
    if (finite > 0 && loX == hiX) {
        const double pad = loX == 0 ? 1.0 : std::fabs(loX) * 0.1;
        loX -= pad, hiX += pad;
    }
    if (finite == 0) loX = 0, hiX = 1;
    Widen(loY, hiY);

    Image img(kWidth, kHeight, kBackground);
    const int x0 = kLeft, x1 = kWidth - kRight, y0 = kTop, y1 = kHeight - kBottom;
    auto px = [&](double x) { return x0 + Fraction(x, loX, hiX) * (x1 - x0); };
    auto py = [&](double y) { return y1 - Fraction(y, loY, hiY) * (y1 - y0); };

    const std::vector<double> xt = NiceTicks(loX, hiX, 8), yt = NiceTicks(loY, hiY, 6);
    const double xStep = xt.size() > 1 ? xt[1] - xt[0] : 1, yStep = yt.size() > 1 ? yt[1] - yt[0] : 1;
    for (double t : xt) {
        const int x = static_cast<int>(std::lround(px(t)));
        img.FillRect(x, y0, x + 1, y1, kGrid);
        img.FillRect(x, y1, x + 1, y1 + 5, kAxis);
        const std::string label = TickLabel(t, xStep);
        img.DrawText(x - Image::TextWidth(label) / 2, y1 + 9, label, kText);
    }
    for (double t : yt) {
        const int y = static_cast<int>(std::lround(py(t)));
        img.FillRect(x0, y, x1, y + 1, kGrid);
        img.FillRect(x0 - 5, y, x0, y + 1, kAxis);
        const std::string label = TickLabel(t, yStep);
        img.DrawText(x0 - 9 - Image::TextWidth(label), y - 3, label, kText);
    }
    // The zero lines, where they fall inside, help to read signs.
    if (loY < 0 && hiY > 0) img.FillRect(x0, static_cast<int>(std::lround(py(0))), x1, static_cast<int>(std::lround(py(0))) + 1, {150, 150, 150});
    if (loX < 0 && hiX > 0) img.FillRect(static_cast<int>(std::lround(px(0))), y0, static_cast<int>(std::lround(px(0))) + 1, y1, {150, 150, 150});
    img.FillRect(x0, y1, x1 + 1, y1 + 1, kAxis);
    img.FillRect(x0, y0, x0 + 1, y1 + 1, kAxis);

    bool havePrev = false;
    double prevX = 0, prevY = 0;
    size_t failures = 0;
    auto drawn = [&](size_t i) { return std::isfinite(xs[i]) && std::isfinite(ys[i]) && !failed(i); };
    for (size_t i = 0; i < xs.size(); ++i) {
        if (failed(i)) {
            // A cross where the stand-in value lies; no line leads through it.
            ++failures;
            havePrev = false;
            if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) continue;
            const double x = px(xs[i]), y = py(ys[i]);
            img.DrawLine(x - 4, y - 4, x + 4, y + 4, kFailed, 2);
            img.DrawLine(x - 4, y + 4, x + 4, y - 4, kFailed, 2);
            continue;
        }
        if (!drawn(i)) {
            havePrev = false;
            continue;
        }
        const double x = px(xs[i]), y = py(ys[i]);
        const bool isolated = !havePrev && (i + 1 >= xs.size() || !drawn(i + 1));
        if (havePrev) img.DrawLine(prevX, prevY, x, y, kLine, 2);
        if (isolated) img.FillRect(static_cast<int>(x) - 1, static_cast<int>(y) - 1, static_cast<int>(x) + 2, static_cast<int>(y) + 2, kLine);
        havePrev = true, prevX = x, prevY = y;
    }

    img.DrawText(std::max(4, (kWidth - Image::TextWidth(title, 2)) / 2), 10, title, kText, 2);
    // Axis names: below the x ticks, and above the y axis (the font has no vertical text).
    img.DrawText((x0 + x1 - Image::TextWidth(plot.xLabel)) / 2, y1 + 30, plot.xLabel, kText);
    img.DrawText(std::max(4, x0 - Image::TextWidth(plot.yLabel) / 2), y0 - 14, plot.yLabel, kText);
    if (failures) {
        const std::string note = "x  " + std::to_string(failures) + " failed: the game uses 1";
        const int w = Image::TextWidth(note);
        img.DrawText(x1 - w, y0 - 14, note, kFailed);
    }
    if (finite == 0) {
        const std::string note = "no finite values";
        img.DrawText((x0 + x1 - Image::TextWidth(note, 2)) / 2, (y0 + y1) / 2 - 7, note, {180, 30, 30}, 2);
    }
    return WritePng(path, img.Width(), img.Height(), img.Bytes(), error);
}

}  // namespace render
