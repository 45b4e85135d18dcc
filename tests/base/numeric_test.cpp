#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "base/numeric.h"
#include "tests/support/test_support.h"

namespace {

// Round to nearest at the top of the float range: everything below the midpoint between the
// largest float and 2^128 gives the largest float; the midpoint ties to even (2^128, infinite).
TEST(NumericNarrowing, RoundsToNearestAtTheEdgeOfTheFloatRange) {
    const double kMidpoint = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    const double below = std::nextafter(kMidpoint, 0.0);
    const double above = std::nextafter(kMidpoint, INFINITY);
    for (double sign : {1.0, -1.0}) {
        EXPECT_EQ(NarrowToFloat(sign * 3.4028235e38), sign * FLT_MAX);
        EXPECT_EQ(NarrowToFloat(sign * static_cast<double>(FLT_MAX)), sign * FLT_MAX);
        EXPECT_EQ(NarrowToFloat(sign * below), sign * FLT_MAX);
        EXPECT_EQ(NarrowToFloat(sign * kMidpoint), sign * INFINITY);
        EXPECT_EQ(NarrowToFloat(sign * above), sign * INFINITY);
        EXPECT_EQ(NarrowToFloat(sign * 1e300), sign * INFINITY);
        EXPECT_EQ(NarrowToFloat(sign * INFINITY), sign * INFINITY);
    }
    EXPECT_TRUE(std::isnan(NarrowToFloat(NAN)));
    // Inside the range the hardware's own rounding is kept, including subnormals and ties.
    EXPECT_EQ(NarrowToFloat(0.1), 0.1f);
    EXPECT_EQ(NarrowToFloat(1.0 + std::ldexp(1.0, -24)), 1.0f);                          // tie to even
    EXPECT_EQ(NarrowToFloat(1.0 + 3 * std::ldexp(1.0, -24)), 1.0f + std::ldexp(1.0f, -22));  // tie up
    EXPECT_EQ(NarrowToFloat(1e-40), static_cast<float>(1e-40));
}

TEST(NumericNarrowing, LogOfANumberJustAboveTheLargestFloatLogsThatFloat) {
    vtrtest::LogCapture capture;
    vtrtest::MenuHarness menu;
    menu.Call("Log", {vtrtest::MenuHarness::Number(3.4028235e38)});
    EXPECT_TRUE(capture.Contains("340282346638528859811704183484516925440.000000")) << capture.Lines().size();
}

}  // namespace
