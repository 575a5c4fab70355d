// The value rules every effect variable follows: effect code works in doubles,
// stores never keep a non-finite result, integer use is biased truncation and
// equality has a fixed tolerance.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace plexa {

// A stored result that is NaN or beyond the largest finite double becomes 0,
// so one bad intermediate can never poison the state for good.
inline double sanitize(double value) {
    return std::fabs(value) <= DBL_MAX ? value : 0.0;  // false for NaN too
}

// Index/handle/count conversion. The 0.0001 bias makes 2.99995 count as 3
// (values computed in floating point land a hair below the integer they mean).
// Anything that does not fit in 32 bits, NaN included, gives INT32_MIN.
inline std::int32_t truncInt(double value) {
    const double biased = value < 0.0 ? value - 0.0001 : value + 0.0001;
    if (!(biased > -2147483649.0 && biased < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(biased);
}

constexpr double kEqualityTolerance = 0.00001;

inline bool valuesEqual(double a, double b) {
    const double d = a - b;
    return d > -kEqualityTolerance && d < kEqualityTolerance;
}

inline bool isNonZero(double value) { return !valuesEqual(value, 0.0); }

// A conditional loop in effect code ends after this many rounds at the latest.
constexpr std::int32_t kLoopGuard = 1000000;

}  // namespace plexa
