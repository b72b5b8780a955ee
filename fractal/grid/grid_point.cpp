// The scalar definition of a grid point and its smooth fraction.
#include "fractal/grid/grid_point.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fractal/lanes/portable_math.h"

namespace zqv {

bool in_main_bulbs(double cr, double ci)
{
    // The cardioid: q·(q + (x − ¼)) < ¼·y² with q = (x − ¼)² + y²; the bulb:
    // the disc of radius ¼ around −1.
    const double x = cr - 0.25, y2 = ci * ci;
    const double q = x * x + y2;
    const double b = cr + 1.0;
    return q * (q + x) < 0.25 * y2 || b * b + y2 < 0.0625;
}

GridPoint grid_point(double cr, double ci, std::uint32_t cap)
{
    if (in_main_bulbs(cr, ci))
        return {grid_inside, 0.0};
    return continue_point(0.0, 0.0, cr, ci, 0, cap);
}

namespace {

// log2 of the mantissas 1 + i/4096, i = 0 to 4096, for table_log2.
constexpr int log2_table_bits = 12;
const std::vector<double> log2_table = [] {
    std::vector<double> table((1 << log2_table_bits) + 1);
    for (int i = 0; i <= 1 << log2_table_bits; ++i)
        table[i] = portable_log2(1.0 + static_cast<double>(i) / (1 << log2_table_bits));
    return table;
}();

// log2(x) for normal x > 0 to within 1.1e-8: the exponent, and the
// mantissa's log2 interpolated linearly between the table's neighbours
// 2^-12 apart (the line's error is at most (2^-12)²/8 · max |log2''| =
// 2^-27/ln 2), far finer than the 1/65535 of a smooth fraction.
double table_log2(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int e = static_cast<int>(bits >> 52 & 0x7ff) - 1023;
    const std::uint64_t mantissa = bits & 0x000fffffffffffffull;
    const int i = static_cast<int>(mantissa >> (52 - log2_table_bits));
    constexpr double unit = 1.0 / (std::uint64_t{1} << (52 - log2_table_bits));  // of the bits below the index
    const double t = static_cast<double>(mantissa & ((std::uint64_t{1} << (52 - log2_table_bits)) - 1)) * unit;
    return static_cast<double>(e) + (log2_table[i] + (log2_table[i + 1] - log2_table[i]) * t);
}

}  // namespace

std::uint16_t smooth_fraction(double magnitude2)
{
    // log|z|/log R = log2|z|²/log2 R², in [1, 2] for R² ≤ |z|² ≤ about R⁴.
    const double ratio = table_log2(magnitude2) * (1.0 / grid_log2_radius2);
    const double fraction = 1.0 - table_log2(ratio);
    const double scaled = std::floor(std::clamp(fraction, 0.0, 1.0) * 65535.0 + 0.5);
    return static_cast<std::uint16_t>(scaled);
}

}  // namespace zqv
