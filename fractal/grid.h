// Grids of escape counts with a smooth fraction, at any size, for pictures
// larger and smoother than the frames: each point's count under a large
// escape radius and the fraction its final |z|² gives, from vector lanes on
// every core, equal to the scalar definition grid_point.
#pragma once

#include <cstdint>
#include <vector>

namespace zqv {

// The squared escape radius, 2^16 (R = 256). The smooth count's error from
// the continuous potential falls as about |c|/R²; at R = 256 it is of the
// order of 1/65536, the step of the stored 16-bit fraction, and the larger
// radius costs about three iterations per point over R = 2.
constexpr double grid_escape_radius2 = 65536.0;
constexpr double grid_log2_radius2 = 16.0;  // log2 of it

// The count of a point that did not escape within the cap.
constexpr std::uint32_t grid_inside = 0xffffffffu;

// A grid of width x height points around a centre: point (i, j) lies at
// centre + ((i − width/2)·step, (height/2 − j)·step), row 0 on top, so the
// centre is a point of the grid. width/2 and height/2 must be even: then a
// grid of half the step shares every other point of this one's central half.
struct GridLayout {
    double centre_re = 0.0, centre_im = 0.0;
    double step = 0.0;
    int width = 0, height = 0;
    std::uint32_t cap = 0;
};

// Each point's count (grid_inside for those that never escaped) and the
// fraction of its smooth count, ν = count + fraction/65535, row by row.
struct GridValues {
    std::vector<std::uint32_t> counts;
    std::vector<std::uint16_t> fractions;
};

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

// The coordinates of the grid's columns and rows, as every computation of it forms them.
double grid_re(const GridLayout& layout, int column);
double grid_im(const GridLayout& layout, int row);

// Whether double precision still tells the grid's points apart: its column
// and row coordinates strictly increase and decrease.
bool grid_resolves(const GridLayout& layout);

// Whether parent is layout at twice the step, with a value for every point:
// then layout's even columns and rows of its central half are parent's points.
bool is_parent_grid(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values);
// Where such a parent holds the result of point (column, row) of layout under
// layout's cap, its index there; −1 where it does not.
std::int64_t parent_result(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values,
                           int column, int row);

// Fills values for layout on every core. With a parent, the same grid at twice
// the step, the points they share are copied from it where its result holds
// under layout's cap, instead of being computed again.
void compute_grid(const GridLayout& layout, GridValues& values, const GridLayout* parent = nullptr,
                  const GridValues* parent_values = nullptr);

// The points compute_grid iterated for its last grid (not copied).
std::uint64_t last_grid_points();

}  // namespace zqv
