// Grids past double precision: the points of a GridLayout computed by the
// deep engine, each as its offset from the reference orbit (which must be
// started at the grid's exact centre), with the grid's count convention, so
// a deep grid and a double grid of the same points agree wherever double
// precision resolves them.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "fractal/deep/deep_point.h"
#include "fractal/grid/grid_layout.h"

namespace zqv {

// The cap run_point is given for a grid's cap: a point whose first |w_n|² ≥ R²
// comes at n ≤ cap must get n + 1 < its cap, so n = cap + 1 is the first
// iteration it may stop at without a verdict.
constexpr std::uint32_t deep_grid_point_cap(std::uint32_t cap)
{
    return cap + 2;
}

// The part of a grid to compute: columns [first_column, end_column) of
// rows [first_row, end_row).
struct GridWindow {
    int first_column = 0, end_column = 0;
    int first_row = 0, end_row = 0;
};

// Fills values for layout by the deep engine on every core: point (i, j) has
// offset dc = ((i − width/2)·step, (height/2 − j)·step) in double from the
// zoom's centre (layout's centre_re and centre_im, the nearest doubles to
// it, only tell the main bulbs). With a parent, as compute_grid. The stop
// flag, when given, is read now and then from every thread. The points it
// iterated (not copied), or nothing if the flag was set (the values are then
// incomplete). With a window, only its points are filled, each as in the
// whole grid (the tables are the whole grid's): the others are left as they
// were, and a parent must have the window's shared points.
std::optional<std::uint64_t> compute_deep_grid(DeepZoom& zoom, const GridLayout& layout, GridValues& values,
                                               const std::atomic<bool>* stop, const GridLayout* parent = nullptr,
                                               const GridValues* parent_values = nullptr,
                                               const GridWindow* window = nullptr);

}  // namespace zqv
