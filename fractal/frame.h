// One frame of Mandelbrot escape counts for the current view, computed from
// coarse samples every fifth row and column, 5 x 5 blocks filled where their
// corners agree, and the remaining blocks computed point by point.
#pragma once

#include <cstdint>

constexpr int frame_width = 640;
constexpr int frame_height = 480;
constexpr int frame_bytes = frame_width * frame_height;  // 307200
constexpr int block_size = 5;
constexpr int block_columns = frame_width / block_size;  // 128
constexpr int block_rows = frame_height / block_size;    // 96

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

// Fills the frame for the current view (the fast version).
void compute_frame(Frame& frame);
// The plain scalar definition of a frame, which the fast version must equal.
void compute_frame_reference(Frame& frame);

// The block grid of the last computed frame.
const BlockFlags& block_flags();
