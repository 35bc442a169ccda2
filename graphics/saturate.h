#pragma once

#include <cstdint>

// A whole double (from floor, ceil or trunc) as an int64. Far beyond any
// canvas it saturates at +-2^62, so that the difference of two results (a
// count of rows) and the sum of two of their squares (in 128 bits) stay
// representable. Not for a NaN: callers rule it out first.
inline int64_t saturateToInt64(double whole) {
    constexpr int64_t Limit = int64_t{1} << 62;
    if (whole <= -static_cast<double>(Limit)) return -Limit;
    if (whole >= static_cast<double>(Limit)) return Limit;
    return static_cast<int64_t>(whole);
}
