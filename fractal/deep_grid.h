// Grids past double precision: the points of a GridLayout computed by the
// deep engine, each as its offset from the reference orbit (which must be
// started at the grid's exact centre), with the grid's count convention, so
// a deep grid and a double grid of the same points agree wherever double
// precision resolves them.
#pragma once

#include <cstdint>

#include "fractal/grid.h"

namespace zqv {

// The cap run_point is given for a grid's cap: a point whose first |w_n|² ≥ R²
// comes at n ≤ cap must get n + 1 < its cap, so n = cap + 1 is the first
// iteration it may stop at without a verdict.
constexpr std::uint32_t deep_grid_point_cap(std::uint32_t cap)
{
    return cap + 2;
}

// Fills values for layout by the deep engine on every core: point (i, j) has
// offset dc = ((i − width/2)·step, (height/2 − j)·step) in double from the
// reference orbit's centre (layout's centre_re and centre_im, the nearest
// doubles to it, only tell the main bulbs). With a parent, as compute_grid.
// stop() is asked now and then from every thread; false if it said so (the
// values are then incomplete).
bool compute_deep_grid(const GridLayout& layout, GridValues& values, bool (*stop)(),
                       const GridLayout* parent = nullptr, const GridValues* parent_values = nullptr);

// The points compute_deep_grid iterated for its last grid (not copied).
std::uint64_t last_deep_grid_points();

}  // namespace zqv
