#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/plot.h"
#include "tests/render/decode_png.h"
#include "tests/support/test_support.h"

namespace {

// Columns holding pixels of the plotted line's blue.
std::vector<int> LineColumns(const vtrtest::Decoded& d) {
    std::vector<int> cols;
    for (int x = 0; x < d.width; ++x)
        for (int y = 0; y < d.height; ++y) {
            const render::Rgb c = d.At(x, y);
            if (c.b > 150 && c.r < 80 && c.g < 130) {
                cols.push_back(x);
                break;
            }
        }
    return cols;
}

TEST(Plot, LineWithAGapWhereValuesAreNotFinite) {
    vtrtest::ScopedGameFolder dir;
    std::vector<double> xs, ys;
    for (int i = 0; i <= 100; ++i) {
        const double x = i * 0.1;
        xs.push_back(x);
        ys.push_back(x > 4 && x < 6 ? std::numeric_limits<double>::quiet_NaN() : x * x);
    }
    ys[100] = std::numeric_limits<double>::infinity();
    std::string error;
    const std::string path = dir.Path() + "/plot.png";
    ASSERT_TRUE(render::WriteLinePlotPng(path, xs, ys, "x*x", error)) << error;
    const vtrtest::Decoded d = vtrtest::DecodePngFile(path);
    ASSERT_TRUE(d.ok);
    const std::vector<int> cols = LineColumns(d);
    ASSERT_GT(cols.size(), 100u);
    int widestGap = 0, gaps = 0;
    for (size_t i = 1; i < cols.size(); ++i)
        if (cols[i] - cols[i - 1] > 3) {
            ++gaps;
            widestGap = std::max(widestGap, cols[i] - cols[i - 1]);
        }
    EXPECT_EQ(gaps, 1);
    // Samples 4.0 and 6.0 are 20% of the x range apart.
    EXPECT_GT(widestGap, (cols.back() - cols.front()) / 6);

    EXPECT_FALSE(render::WriteLinePlotPng(path, {1, 2}, {1}, "t", error));
    EXPECT_NE(error.find("2 x values"), std::string::npos);
    // Nothing finite, a single value, huge values: a picture all the same, never a crash.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(render::WriteLinePlotPng(path, {0, 1}, {nan, nan}, "nothing", error)) << error;
    EXPECT_TRUE(LineColumns(vtrtest::DecodePngFile(path)).empty());
    EXPECT_TRUE(render::WriteLinePlotPng(path, {3}, {3}, "one", error)) << error;
    EXPECT_FALSE(LineColumns(vtrtest::DecodePngFile(path)).empty());
    EXPECT_TRUE(render::WriteLinePlotPng(path, {-1e308, 1e308}, {-1e308, 1e308}, "huge", error)) << error;
    EXPECT_TRUE(render::WriteLinePlotPng(path, {}, {}, "empty", error)) << error;
}

TEST(Plot, TicksAreRoundAndInside) {
    EXPECT_EQ(render::NiceTicks(0, 10, 5), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    const std::vector<double> t = render::NiceTicks(-0.37, 0.81, 6);
    ASSERT_GE(t.size(), 4u);
    const double step = t[1] - t[0];
    EXPECT_NEAR(step, 0.2, 1e-12);
    for (double v : t) {
        EXPECT_GE(v, -0.37);
        EXPECT_LE(v, 0.81);
    }
    const std::vector<double> huge = render::NiceTicks(-1e308, 1e308, 6);
    EXPECT_FALSE(huge.empty());
    EXPECT_LE(huge.size(), 30u);
    for (double v : huge) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(render::NiceTicks(1, 1, 5).empty());
    EXPECT_TRUE(render::NiceTicks(NAN, 1, 5).empty());
    EXPECT_TRUE(render::NiceTicks(2, 1, 5).empty());
}

}  // namespace
