// The lane kernel of the grids, grid_lanes, which each per-instruction-set
// file runs on its lanes type (lanes_*.h). Lanes iterate in rounds of
// round_steps without looking at their points; a lane whose point escaped
// in a round, or reached the cap, is replayed from the round's start in
// scalar code, which finds its exact count and final |z|² in at most
// round_steps iterations. Everything here is internal to the including file.
#pragma once

#include <algorithm>
#include <cstdint>

#include "fractal/grid/grid_work.h"
#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

// As for the frames' kernel: enough vectors side by side to hide each one's
// chain of multiplies and adds; 32-bit code has only 8 vector registers.
#if defined(__i386__)
constexpr int grid_batches = 3;
#else
constexpr int grid_batches = 4;
#endif

// The vectors of the batches, apart from everything else so that the
// compiler keeps them in registers.
template <VectorLanes L>
struct GridVectors {
    typename L::V x[grid_batches], y[grid_batches], cr[grid_batches], ci[grid_batches];
    typename L::Mask iterating[grid_batches];
};

// Per lane of one batch: the point, its index, the round it started in and
// z at the start of the current round; the lanes that hold a point, and the
// first round in which one of them may reach the cap.
struct GridLanes {
    alignas(64) double cr[max_lanes], ci[max_lanes], start_x[max_lanes], start_y[max_lanes];
    std::int64_t index[max_lanes];
    std::uint32_t first_round[max_lanes];
    unsigned busy;
    std::uint32_t deadline;
};

// The round in whose steps a point started in round `first` reaches the cap:
// its count at the start of round r is (r − first)·round_steps.
inline std::uint32_t cap_round(std::uint32_t first, std::uint32_t cap)
{
    return first + cap / round_steps;
}

// Puts the feed's next points into `lanes` of batch k, which hold none, at
// round `round`; lanes left without one go idle.
template <VectorLanes L>
LANES_INLINE void fill_lanes(GridJob& job, GridFeed& feed, GridVectors<L>& v, GridLanes& b, int k, unsigned lanes,
                             std::uint32_t round, std::uint32_t cap)
{
    unsigned filled = 0;
    for (unsigned rest = lanes; rest != 0; rest &= rest - 1) {
        const int lane = __builtin_ctz(rest);
        if (feed.begin == feed.end && !top_up_grid_feed(job, feed))
            continue;
        b.cr[lane] = feed.cr[feed.begin];
        b.ci[lane] = feed.ci[feed.begin];
        b.index[lane] = feed.index[feed.begin];
        b.first_round[lane] = round;
        ++feed.begin;
        filled |= 1u << lane;
    }
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const typename L::V zero = L::set1(0.0);
    v.x[k] = L::blend(v.x[k], filled, zero);
    v.y[k] = L::blend(v.y[k], filled, zero);
    v.cr[k] = L::expand(v.cr[k], all_lanes, b.cr);
    v.ci[k] = L::expand(v.ci[k], all_lanes, b.ci);
    b.busy = (b.busy & ~lanes) | filled;
    v.iterating[k] = L::mask(b.busy);
    b.deadline = 0xffffffffu;
    for (unsigned rest = b.busy; rest != 0; rest &= rest - 1) {
        const int lane = __builtin_ctz(rest);
        b.deadline = std::min(b.deadline, cap_round(b.first_round[lane], cap));
    }
}

template <VectorLanes L>
LANES_INLINE void grid_lanes(GridJob& job)
{
    using V = typename L::V;
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const std::uint32_t cap = job.layout->cap;
    const V radius2 = L::set1(grid_escape_radius2);
    GridFeed feed;
    GridVectors<L> v;
    GridLanes lanes[grid_batches];
    for (int k = 0; k < grid_batches; ++k) {
        v.x[k] = v.y[k] = v.cr[k] = v.ci[k] = L::set1(0.0);
        lanes[k].busy = 0;
        for (int lane = 0; lane < max_lanes; ++lane)
            lanes[k].cr[lane] = lanes[k].ci[lane] = 0.0;
        fill_lanes(job, feed, v, lanes[k], k, all_lanes, 0, cap);
    }
    for (std::uint32_t round = 0;; ++round) {
#pragma GCC unroll 8
        for (int k = 0; k < grid_batches; ++k) {
            L::compress(lanes[k].start_x, all_lanes, v.x[k]);
            L::compress(lanes[k].start_y, all_lanes, v.y[k]);
        }
        for (int step = 0; step < round_steps; ++step) {
#pragma GCC unroll 8
            for (int k = 0; k < grid_batches; ++k) {
                const V xx = L::mul(v.x[k], v.x[k]);
                const V yy = L::mul(v.y[k], v.y[k]);
                v.iterating[k] = L::below(v.iterating[k], L::add(xx, yy), radius2);
                v.y[k] = L::add(L::mul(L::add(v.x[k], v.x[k]), v.y[k]), v.ci[k]);
                v.x[k] = L::add(L::sub(xx, yy), v.cr[k]);
            }
        }
        unsigned any_busy = 0;
        for (int k = 0; k < grid_batches; ++k) {
            GridLanes& b = lanes[k];
            // Lanes whose point escaped this round, or reached the cap in it.
            const unsigned still = L::bits(v.iterating[k]);
            unsigned ended = b.busy & ~still;
            if (round >= b.deadline)
                for (unsigned rest = b.busy & still; rest != 0; rest &= rest - 1) {
                    const int lane = __builtin_ctz(rest);
                    if (round >= cap_round(b.first_round[lane], cap))
                        ended |= 1u << lane;
                }
            if (ended != 0) {
                for (unsigned rest = ended; rest != 0; rest &= rest - 1) {
                    const int lane = __builtin_ctz(rest);
                    const std::uint32_t n = (round - b.first_round[lane]) * round_steps;
                    const GridPoint point = continue_point(b.start_x[lane], b.start_y[lane], b.cr[lane], b.ci[lane], n, cap);
                    finish_grid_point(job, b.index[lane], point.count, point.magnitude2);
                }
                fill_lanes(job, feed, v, b, k, ended, round + 1, cap);
            }
            any_busy |= b.busy;
        }
        if (any_busy == 0)
            return;
    }
}

}  // namespace
}  // namespace zqv
