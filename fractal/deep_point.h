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

}  // namespace zqv
