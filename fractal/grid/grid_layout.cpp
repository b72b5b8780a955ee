// The coordinates of a grid's points and the points it shares with its parent.
#include "fractal/grid/grid_layout.h"

#include <cmath>

#include "fractal/grid/grid_point.h"

namespace zqv {

bool is_parent_grid(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values)
{
    return parent.width == layout.width && parent.height == layout.height && parent.step_exponent >= layout.step_exponent &&
           std::ldexp(parent.step, parent.step_exponent - layout.step_exponent) == layout.step * 2.0 &&
           parent.centre_re == layout.centre_re && parent.centre_im == layout.centre_im &&
           parent_values.counts.size() == static_cast<std::size_t>(layout.width) * layout.height;
}

std::int64_t parent_result(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values,
                           int column, int row)
{
    if ((column & 1) != 0 || (row & 1) != 0)
        return -1;
    // Child column i lies at (i − w/2)·step = ((i/2 + w/4) − w/2)·(2·step).
    const std::int64_t shared =
        static_cast<std::int64_t>(row / 2 + layout.height / 4) * layout.width + (column / 2 + layout.width / 4);
    const std::uint32_t count = parent_values.counts[shared];
    // An escape within both caps, or staying inside for at least this cap, holds here too.
    if ((count != grid_inside && count <= layout.cap) || (count == grid_inside && parent.cap >= layout.cap))
        return shared;
    return -1;
}

double grid_re(const GridLayout& layout, int column)
{
    return layout.centre_re + static_cast<double>(column - layout.width / 2) * layout.step;
}

double grid_im(const GridLayout& layout, int row)
{
    return layout.centre_im + static_cast<double>(layout.height / 2 - row) * layout.step;
}

bool grid_resolves(const GridLayout& layout)
{
    if (layout.step_exponent != 0)
        return false;
    for (int column = 1; column < layout.width; ++column)
        if (!(grid_re(layout, column) > grid_re(layout, column - 1)))
            return false;
    for (int row = 1; row < layout.height; ++row)
        if (!(grid_im(layout, row) < grid_im(layout, row - 1)))
            return false;
    return true;
}

}  // namespace zqv
