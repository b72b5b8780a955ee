// The work of one grid computation, shared by every thread: rows handed out
// one at a time, whose points not copied from the parent grid wait in each
// thread's feed for the vector lanes, and the lane kernels of each
// instruction set.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "fractal/grid/grid_layout.h"
#include "fractal/grid/grid_point.h"

namespace zqv {

struct GridJob {
    const GridLayout* layout;
    const double* re_of_column;
    const double* im_of_row;
    const GridLayout* parent;             // null: every point is computed
    const GridValues* parent_values;
    GridValues* values;
    const std::atomic<bool>* stop;          // when set, no more rows are handed out; null: never
    alignas(64) std::atomic<int> next_row;  // on a cache line of its own: every thread writes it
    std::atomic<std::uint64_t> computed;    // points iterated, not copied
};

// Points of the thread's rows waiting for a lane: coordinates and index.
struct GridFeed {
    std::vector<double> cr, ci;
    std::vector<std::int64_t> index;
    std::size_t begin = 0, end = 0;
};

// Refills an empty feed from the next rows, copying the points the parent
// shares on the way; false when no row is left or the job is stopped.
bool top_up_grid_feed(GridJob& job, GridFeed& feed);

// Writes a point's result: its count and, if it escaped, its smooth fraction.
void finish_grid_point(GridJob& job, std::int64_t index, std::uint32_t count, double magnitude2);

// Each computes the points of the job until none is left.
void grid_lanes_sse2(GridJob& job);
void grid_lanes_avx2(GridJob& job);
void grid_lanes_avx512(GridJob& job);

}  // namespace zqv
