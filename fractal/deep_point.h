// What the deep frame's kernels share: one point's state in the middle of
// its iteration, the scalar definition run from such a state, and the lane
// kernels of each instruction set, which take the plain perturbation steps
// of several points at once and hand points to the scalar code for the
// steps that bilinear approximation skips.
#pragma once

#include <atomic>
#include <cstdint>

#include "fractal/deep_bla.h"
#include "fractal/escape_pass.h"
#include "fractal/grid.h"

namespace zqv {

// A point at the top of an iteration: offset dc, z, n iterations done, at
// reference iteration m.
struct DeepPoint {
    double dcr, dci;
    double x, y;
    std::uint64_t n, m;
    std::uint64_t steps;
    std::uint32_t count;  // once ended
    double magnitude2;    // |w|^2 where it ended
};

// Everything a kernel reads besides the pass.
struct DeepJob {
    const double* orbit_re;
    const double* orbit_im;
    std::uint64_t last;           // the orbit's last iterate
    const BlaBlock* pairs;        // the tables' blocks of 2 steps (level 1)
    std::uint64_t pair_count;
    double radius2;
    bool with_bla;
    bool (*stop)();
    std::atomic<bool> stopped;
    std::atomic<std::uint64_t> steps;
};

// Sets job to the current reference orbit and tables, the escape radius²,
// with or without the tables, and stop(), with nothing stopped or counted yet.
void set_deep_job(DeepJob& job, double radius2, bool with_bla, bool (*stop)());

// Iterates p by the definition (deep_escape) from the top of an iteration.
// True when the point has ended (count and magnitude2 set). With hand_back,
// false once the next action is a plain step after a run of plain steps
// with no block: p is then a state the lanes can continue from.
bool run_point(DeepPoint& p, std::uint32_t cap, DeepJob& job, bool hand_back);

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
    alignas(64) std::atomic<int> next_row{0};  // on a cache line of its own: every thread writes it
    std::atomic<std::uint64_t> computed{0};
};

// The grid's points as a source of the lane kernel (deep_lanes.h), defined
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
