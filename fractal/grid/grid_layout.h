// Where a grid's points lie and what it holds: its layout, its values, and
// the points a grid shares with its parent of twice the step.
#pragma once

#include <cstdint>
#include <vector>

namespace zqv {

// A grid of width x height points around a centre: point (i, j) lies at
// centre + ((i − width/2)·step, (height/2 − j)·step), row 0 on top, so the
// centre is a point of the grid. width/2 and height/2 must be even: then a
// grid of half the step shares every other point of this one's central half.
struct GridLayout {
    double centre_re = 0.0, centre_im = 0.0;
    double step = 0.0;
    int width = 0, height = 0;
    std::uint32_t cap = 0;
    int step_exponent = 0;  // the step is step * 2^step_exponent; only the deep grid takes one other than 0
};

// Each point's count (grid_inside for those that never escaped) and the
// fraction of its smooth count, ν = count + fraction/65535, row by row.
struct GridValues {
    std::vector<std::uint32_t> counts;
    std::vector<std::uint16_t> fractions;
};

// The coordinates of the grid's columns and rows, as every computation of it forms them.
double grid_re(const GridLayout& layout, int column);
double grid_im(const GridLayout& layout, int row);

// Whether double precision still tells the grid's points apart: its column
// and row coordinates strictly increase and decrease (never for a step with an exponent apart).
bool grid_resolves(const GridLayout& layout);

// Whether parent is layout at twice the step, with a value for every point:
// then layout's even columns and rows of its central half are parent's points.
bool is_parent_grid(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values);
// Where such a parent holds the result of point (column, row) of layout under
// layout's cap, its index there; −1 where it does not.
std::int64_t parent_result(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values,
                           int column, int row);

}  // namespace zqv
