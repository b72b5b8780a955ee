// A frame of Mandelbrot escape counts, the iteration cap, and the scalar
// definition of a frame: coarse samples every fifth row and column, 5 x 5
// blocks filled where their corners agree, and the remaining blocks computed
// point by point. The fast computation (fast_frame.h) must equal it.
#pragma once

#include <cstdint>

#include "fractal/frame/geometry.h"

namespace zqv {

// Counts modulo 256; byte (r, c) at r * 640 + c, row 0 at the bottom.
struct Frame {
    std::uint8_t pixels[frame_bytes];
};

// One byte per 5 x 5 block: 2 not filled, 1 filled from its corners.
constexpr std::uint8_t block_not_filled = 2;
constexpr std::uint8_t block_filled = 1;
struct BlockFlags {
    std::uint8_t flags[block_rows][block_columns];
};

void set_max_iterations(std::uint32_t count);
std::uint32_t max_iterations();

// Iterations of z -> z^2 + c from 0 until |z|^2 >= 4, capped.
std::uint32_t escape_count(double cr, double ci);

// The plain scalar definition of a frame for the current view, with its block grid.
void compute_frame_reference(Frame& frame, BlockFlags& blocks);

}  // namespace zqv
