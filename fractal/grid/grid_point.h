// The definition of a grid point: its escape count under a large escape
// radius and the fraction of its smooth count, which the grids' vector lanes
// must equal.
#pragma once

#include <cstdint>

namespace zqv {

// The squared escape radius, 2^16 (R = 256). The smooth count's error from
// the continuous potential falls as about |c|/R²; at R = 256 it is of the
// order of 1/65536, the step of the stored 16-bit fraction, and the larger
// radius costs about three iterations per point over R = 2.
constexpr double grid_escape_radius2 = 65536.0;
constexpr double grid_log2_radius2 = 16.0;  // log2 of it

// The count of a point that did not escape within the cap.
constexpr std::uint32_t grid_inside = 0xffffffffu;

// Whether c lies inside the main cardioid or the period-2 bulb, whose
// points never escape (with a margin far beyond double rounding, the points
// just outside them escape only after millions of iterations).
bool in_main_bulbs(double cr, double ci);

// The scalar definition of one point: grid_inside in the main bulbs; else
// with z₀ = 0, z_{n+1} = z_n² + c, the first n at most cap with |z_n|² ≥ R²,
// or grid_inside; and |z_n|² there.
struct GridPoint {
    std::uint32_t count;
    double magnitude2;
};
GridPoint grid_point(double cr, double ci, std::uint32_t cap);

// The iteration of grid_point from z = (x, y) at iteration n, as the lanes
// hand a point back to it.
inline GridPoint continue_point(double x, double y, double cr, double ci, std::uint32_t n, std::uint32_t cap)
{
    for (;;) {
        const double xx = x * x, yy = y * y;
        if (xx + yy >= grid_escape_radius2)
            return {n, xx + yy};
        if (n >= cap)
            return {grid_inside, 0.0};
        y = (x + x) * y + ci;
        x = (xx - yy) + cr;
        ++n;
    }
}

// The fraction of the smooth count ν = n + 1 − log2(log|z_n| / log R), in
// 1/65535, from |z_n|² ≥ R² (ν lies in [n, n + 1]).
std::uint16_t smooth_fraction(double magnitude2);

}  // namespace zqv
