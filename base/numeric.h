// Converting doubles to integers is always defined: truncation toward zero, saturating at
// the type's limits, NaN as 0.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

inline int32_t TruncToInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

inline int64_t TruncToInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (x <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

// A colour travels as a Number 0 to 4294967295: truncated to 64 bits, low 32 bits kept.
inline uint32_t ColourFromNumber(double x) { return static_cast<uint32_t>(static_cast<uint64_t>(TruncToInt64(x))); }

// Narrowing to a 32-bit float as the hardware does it: round to nearest, so that values
// just above the largest float still give the largest float; only from 2^128 - 2^103 (the
// midpoint to 2^128, which ties to even) on does the result become infinite.
inline float NarrowToFloat(double x) {
    constexpr double kOverflowFrom = 340282356779733661637539395458142568448.0;  // 2^128 - 2^103
    if (std::isnan(x)) return std::numeric_limits<float>::quiet_NaN();
    if (x >= kOverflowFrom) return std::numeric_limits<float>::infinity();
    if (x <= -kOverflowFrom) return -std::numeric_limits<float>::infinity();
    if (x > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
    if (x < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
    return static_cast<float>(x);
}
