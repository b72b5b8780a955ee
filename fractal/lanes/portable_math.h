// Base-2 logarithm and power from frexp, ldexp and the four operations
// alone, so that every build gets the same bits: the C libraries' log2 and
// exp2 may differ in their last bit between Linux and Windows.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zqv {

// log2(x) for finite normal x > 0, within a few units in the last place. x = m·2^e
// with m in [√½, √2); ln m = 2·atanh(s), s = (m − 1)/(m + 1), |s| ≤ 0.1716,
// whose odd series to s^21 leaves an error below 0.1716^23/23 ≈ 1e-19.
inline double portable_log2(double x)
{
    // x's exponent and mantissa from its bits (exact, as frexp, for normal x).
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    int e = static_cast<int>(bits >> 52 & 0x7ff) - 1022;
    bits = (bits & 0x000fffffffffffffull) | 0x3fe0000000000000ull;  // m in [0.5, 1)
    double m;
    std::memcpy(&m, &bits, sizeof m);
    if (m < 0.70710678118654752) {     // √½
        m = m * 2.0;                   // exact
        e = e - 1;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    // 1/21, 1/19, ..., 1/3, 1, each the double nearest, by Horner's rule.
    constexpr double inverse_odd[] = {1.0 / 21, 1.0 / 19, 1.0 / 17, 1.0 / 15, 1.0 / 13, 1.0 / 11,
                                      1.0 / 9,  1.0 / 7,  1.0 / 5,  1.0 / 3,  1.0};
    double series = inverse_odd[0];
    for (int k = 1; k < 11; ++k)
        series = inverse_odd[k] + s2 * series;
    constexpr double inv_ln2 = 1.4426950408889634074;  // 1/ln 2
    return static_cast<double>(e) + (2.0 * s * series) * inv_ln2;
}

// 2^x for |x| < 1000, within a few units in the last place: 2^x = 2^i · e^(r·ln 2)
// with i the nearest integer and |r·ln 2| ≤ 0.347, whose Taylor series to
// the 17th power leaves an error below 0.347^18/18! ≈ 1e-24.
inline double portable_exp2(double x)
{
    const double i = std::floor(x + 0.5);
    constexpr double ln2 = 0.69314718055994530942;
    const double y = (x - i) * ln2;
    double sum = 1.0;
    for (int k = 17; k >= 1; --k)
        sum = 1.0 + sum * (y / k);
    return std::ldexp(sum, static_cast<int>(i));
}

}  // namespace zqv
