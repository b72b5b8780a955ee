// The lane kernel of the grids, grid_lanes, which each per-instruction-set
// file runs on its lanes type (lanes_*.h). Lanes iterate in rounds of
// round_steps without looking at their points; a lane whose point escaped
// in a round, or reached the cap, is replayed from the round's start in
// scalar code, which finds its exact count and final |z|² in at most
// round_steps iterations. Everything here is internal to the including file.
#pragma once

#include <cstdint>

#include "fractal/grid_job.h"
#include "fractal/vector_lanes.h"

namespace zqv {
namespace {

// As for the frames' kernel: enough vectors side by side to hide each one's
// chain of multiplies and adds; 32-bit code has only 8 vector registers.
#if defined(__i386__)
constexpr int grid_batches = 3;
#else
constexpr int grid_batches = 4;
#endif

// One vector of points, and per lane the scalar state: the point, its
// index (−1: idle), the iteration at the round's start and z there.
template <VectorLanes L>
struct GridBatch {
    typename L::V x, y, cr, ci;
    typename L::Mask iterating;
    unsigned busy;
    alignas(64) double lane_cr[max_lanes], lane_ci[max_lanes], start_x[max_lanes], start_y[max_lanes];
    std::int64_t index[max_lanes];
    std::uint32_t start_n[max_lanes];
};

// The scalar iteration of grid_point from z = (x, y) at iteration n.
inline GridPoint replay_point(double x, double y, double cr, double ci, std::uint32_t n, std::uint32_t cap)
{
    for (;;) {
        const double xx = x * x, yy = y * y;
        if (xx + yy >= grid_escape_radius2)
            return {n, xx + yy};
        if (n >= cap)
            return {grid_inside, 0.0};
        y = (x + x) * y + ci;
        x = (xx - yy) + cr;
        ++n;
    }
}

// Puts the feed's next points into `lanes` of the batch, which hold none; lanes
// left without one go idle.
template <VectorLanes L>
LANES_INLINE void fill_lanes(GridJob& job, GridFeed& feed, GridBatch<L>& b, unsigned lanes)
{
    unsigned filled = 0;
    for (unsigned rest = lanes; rest != 0; rest &= rest - 1) {
        const int lane = __builtin_ctz(rest);
        if (feed.begin == feed.end && !top_up_grid_feed(job, feed)) {
            b.index[lane] = -1;
            continue;
        }
        b.lane_cr[lane] = feed.cr[feed.begin];
        b.lane_ci[lane] = feed.ci[feed.begin];
        b.index[lane] = feed.index[feed.begin];
        b.start_n[lane] = 0;
        ++feed.begin;
        filled |= 1u << lane;
    }
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const typename L::V zero = L::set1(0.0);
    b.x = L::blend(b.x, filled, zero);
    b.y = L::blend(b.y, filled, zero);
    b.cr = L::expand(b.cr, all_lanes, b.lane_cr);
    b.ci = L::expand(b.ci, all_lanes, b.lane_ci);
    b.busy = (b.busy & ~lanes) | filled;
    b.iterating = L::mask(b.busy);
}

template <VectorLanes L>
LANES_INLINE void grid_lanes(GridJob& job)
{
    using V = typename L::V;
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const std::uint32_t cap = job.spec->cap;
    const V radius2 = L::set1(grid_escape_radius2);
    GridFeed feed;
    GridBatch<L> batch[grid_batches];
    for (GridBatch<L>& b : batch) {
        b.x = b.y = b.cr = b.ci = L::set1(0.0);
        b.busy = 0;
        for (int lane = 0; lane < max_lanes; ++lane)
            b.lane_cr[lane] = b.lane_ci[lane] = 0.0;
        fill_lanes(job, feed, b, all_lanes);
    }
    for (;;) {
#pragma GCC unroll 8
        for (GridBatch<L>& b : batch) {
            L::compress(b.start_x, all_lanes, b.x);
            L::compress(b.start_y, all_lanes, b.y);
        }
        for (int step = 0; step < round_steps; ++step) {
#pragma GCC unroll 8
            for (GridBatch<L>& b : batch) {
                const V xx = L::mul(b.x, b.x);
                const V yy = L::mul(b.y, b.y);
                b.iterating = L::below(b.iterating, L::add(xx, yy), radius2);
                b.y = L::add(L::mul(L::add(b.x, b.x), b.y), b.ci);
                b.x = L::add(L::sub(xx, yy), b.cr);
            }
        }
        unsigned any_busy = 0;
        for (GridBatch<L>& b : batch) {
            // Lanes whose point escaped this round, or whose count reached the cap in it.
            unsigned ended = b.busy & ~L::bits(b.iterating);
            for (unsigned rest = b.busy & ~ended; rest != 0; rest &= rest - 1) {
                const int lane = __builtin_ctz(rest);
                b.start_n[lane] += round_steps;
                if (b.start_n[lane] > cap)
                    ended |= 1u << lane;
            }
            if (ended != 0) {
                for (unsigned rest = ended; rest != 0; rest &= rest - 1) {
                    const int lane = __builtin_ctz(rest);
                    const std::uint32_t n = L::bits(b.iterating) >> lane & 1 ? b.start_n[lane] - round_steps
                                                                              : b.start_n[lane];
                    const GridPoint point =
                        replay_point(b.start_x[lane], b.start_y[lane], b.lane_cr[lane], b.lane_ci[lane], n, cap);
                    finish_grid_point(job, b.index[lane], point.count, point.magnitude2);
                }
                fill_lanes(job, feed, b, ended);
            }
            any_busy |= b.busy;
        }
        if (any_busy == 0)
            return;
    }
}

}  // namespace
}  // namespace zqv
