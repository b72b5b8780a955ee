// The work of one pass of the fast frame computation, shared by every thread:
// a list of items (coarse rows or unfilled blocks) whose points the vector
// lanes take in turn, and the lane kernels of each instruction set.
#pragma once

#include <atomic>
#include <cstdint>

struct EscapePass {
    const double* cr_of_column;  // real part of each frame column's points
    const double* ci_of_row;     // imaginary part of each frame row's points
    const std::uint16_t* blocks;  // unfilled blocks, br * 128 + bc; null: coarse rows
    int item_count;               // coarse rows or blocks
    std::uint32_t cap;
    std::uint8_t* pixels;
    std::atomic<int> next_item;
    std::atomic<std::uint64_t> iterations;  // sum of the counts written
};

// Points taken from the pass but not yet in a lane, in the order the lanes
// take them; one per thread. One grab is at most a coarse row of 128, and a
// 4-lane load may read 3 past the last point.
constexpr int feed_capacity = 131;
struct PointFeed {
    double cr[feed_capacity];
    double ci[feed_capacity];
    std::uint32_t offset[feed_capacity];  // r * 640 + c
    int begin, end;
};

// Refills an empty feed with the points of the next grab of items; leaves it
// empty once the pass has no items left.
void top_up_feed(EscapePass& pass, PointFeed& feed);

// Each computes points of the pass until none is left and adds its counts
// to pass.iterations.
void escape_lanes_sse2(EscapePass& pass);
void escape_lanes_avx2(EscapePass& pass);
void escape_lanes_avx512(EscapePass& pass);
