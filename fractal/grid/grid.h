// Grids of escape counts with a smooth fraction, at any size, for pictures
// larger and smoother than the frames: each point's count under a large
// escape radius and the fraction its final |z|² gives, from vector lanes on
// every core, equal to the scalar definition grid_point.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "fractal/grid/grid_layout.h"
#include "fractal/grid/grid_point.h"

namespace zqv {

// Fills values for layout on every core. With a parent, the same grid at twice
// the step, the points they share are copied from it where its result holds
// under layout's cap, instead of being computed again. The stop flag, when
// given, is read before each row. The points it iterated (not copied), or
// nothing if the flag was set (the values are then incomplete).
std::optional<std::uint64_t> compute_grid(const GridLayout& layout, GridValues& values, const std::atomic<bool>* stop,
                                          const GridLayout* parent = nullptr,
                                          const GridValues* parent_values = nullptr);

}  // namespace zqv
