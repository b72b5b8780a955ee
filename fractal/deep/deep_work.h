// The deep engine's work items: the pass of a deep frame (the frame's
// EscapePass, fed with offsets) or the rows of a deep grid, and the lane
// kernels of each instruction set that take their points.
#pragma once

#include <atomic>
#include <cstdint>

#include "fractal/deep/deep_point.h"
#include "fractal/frame/frame_work.h"
#include "fractal/grid/grid_layout.h"

namespace zqv {

// Each computes points of the pass until none is left (or stopped), adding
// the counts to pass.iterations; the cap must be at least 2.
void deep_lanes_sse2(EscapePass& pass, DeepJob& job);
void deep_lanes_avx2(EscapePass& pass, DeepJob& job);
void deep_lanes_avx512(EscapePass& pass, DeepJob& job);

// A deep grid's work, shared by the threads: rows handed out one at a time,
// each point copied from the parent, known inside the main bulbs, or
// computed from its offset (offset_re of its column, offset_im of its row).
struct DeepGridWork {
    const GridLayout* layout;
    const GridLayout* parent;  // null: nothing is copied
    const GridValues* parent_values;
    GridValues* values;
    const double* offset_re;
    const double* offset_im;
    DeepJob* job;
    int first_column, end_column, end_row;  // the window's
    alignas(64) std::atomic<int> next_row{0};  // on a cache line of its own: every thread writes it
    std::atomic<std::uint64_t> computed{0};
};

// The grid's points as a source of the lane kernel (deep_kernel.h), defined
// in deep_grid.cpp: the points to compute, and their counts turned into the
// grid's convention.
struct GridPoints {
    using Shared = DeepGridWork;
    struct Thread {
        int row, column;  // the next point of the thread's row; row -1: none taken yet
        std::uint64_t computed;
    };
    static void start(Thread& t);
    static std::uint32_t cap(const DeepGridWork& work);
    static bool next(DeepGridWork& work, Thread& t, double& dcr, double& dci, double& tag);
    static void finish(DeepGridWork& work, Thread& t, double tag, std::uint32_t count, double magnitude2);
    static void flush(DeepGridWork& work, Thread& t);
};

// Each computes the grid's points until none is left (or stopped).
void deep_grid_lanes_sse2(DeepGridWork& work, DeepJob& job);
void deep_grid_lanes_avx2(DeepGridWork& work, DeepJob& job);
void deep_grid_lanes_avx512(DeepGridWork& work, DeepJob& job);

}  // namespace zqv
