// The lane kernel of the frames, escape_lanes, which each per-instruction-set
// file runs on its lanes type (lanes_*.h). Everything here is internal to
// the including file.
#pragma once

#include <cstdint>

#include "fractal/frame/frame_work.h"
#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

// Rounds between two looks at stop_frames' flag: 4096 * 8 = 32768
// iterations, under a millisecond on any processor, for one load.
constexpr unsigned stop_check_rounds = 4096;

// One vector of points iterated together. Lane j holds the point c = (cr, ci)
// at z = (x, y); it began at iteration `start`, and its count goes to byte
// `pixel` of pass.counts. Idle lanes (out of `busy`) iterate whatever they
// hold, unseen. The masks of each round are kept apart, in memory, so that
// the compiler keeps the batches themselves in registers.
template <VectorLanes L>
struct Batch {
    typename L::V x, y, cr, ci, start, pixel;
    typename L::Mask iterating;  // busy lanes whose point has not escaped
    unsigned busy;               // lanes that hold a point
    unsigned ended;              // busy lanes whose point ended by the last round
};

// One iteration of every lane, as the scalar definition forms it: xx = x*x;
// yy = y*y; y = (2x)*y + ci with the old x; x = (xx - yy) + cr; then the test
// of the sum xx + yy, which the definition makes at the top of the next.
template <VectorLanes L>
LANES_INLINE void iterate(Batch<L>& b, typename L::History& history, int step, typename L::V four)
{
    L::record(history, step, b.iterating);
    const typename L::V xx = L::mul(b.x, b.x);
    const typename L::V yy = L::mul(b.y, b.y);
    b.y = L::add(L::mul(L::add(b.x, b.x), b.y), b.ci);
    b.x = L::add(L::sub(xx, yy), b.cr);
    b.iterating = L::below(b.iterating, L::add(xx, yy), four);
}

// Lists the counts of the points in `lanes` at the end of the round that
// ends at `now`: the iterations before the round and those of the round in
// which the point still iterated, at most the cap.
template <VectorLanes L>
LANES_INLINE void finish(const Batch<L>& b, const typename L::History& history, unsigned lanes,
                         std::int64_t now, typename L::V cap, FinishedPoints& finished)
{
    const typename L::V before = L::sub(L::set1(static_cast<double>(now - round_steps)), b.start);
    const typename L::V count = L::min(L::add(before, L::steps_in(history)), cap);
    L::compress(finished.pixel + finished.size, lanes, b.pixel);
    L::compress(finished.count + finished.size, lanes, count);
    finished.size += lane_counts.of[lanes];
}

// Starts the next points of the feed, at `now`, in `lanes`, which hold none
// or a finished one. Lanes left without a point, once the pass has run out,
// go idle.
template <VectorLanes L>
LANES_INLINE void refill(EscapePass& pass, PointFeed& feed, Batch<L>& b, unsigned lanes, std::int64_t now)
{
    unsigned filled = lanes;
    if (feed.end - feed.begin < lane_counts.of[lanes]) {
        top_up_feed(pass, feed);
        if (feed.end - feed.begin < lane_counts.of[lanes])
            filled = lowest_lanes(lanes, feed.end - feed.begin);
    }
    const typename L::V zero = L::set1(0.0);
    b.x = L::blend(b.x, filled, zero);
    b.y = L::blend(b.y, filled, zero);
    b.cr = L::expand(b.cr, filled, feed.cr + feed.begin);
    b.ci = L::expand(b.ci, filled, feed.ci + feed.begin);
    b.pixel = L::expand(b.pixel, filled, feed.pixel + feed.begin);
    b.start = L::blend(b.start, filled, L::set1(static_cast<double>(now)));
    feed.begin += lane_counts.of[filled];
    b.busy = (b.busy & ~lanes) | filled;
    b.iterating = L::mask((L::bits(b.iterating) & ~lanes) | filled);
}

// Vectors of points run side by side, enough to hide the latency of each
// one's chain of multiplies and adds. In 64-bit code four batches of x, y and
// the mask fit the 16 vector registers of SSE2 and AVX2 with the
// temporaries (cr and ci read from memory), and of AVX-512's 32 with cr and
// ci as well; of the 8 registers of 32-bit code, three batches, partly in
// memory, measured fastest for every instruction set.
#if defined(__i386__)
constexpr int batches = 3;
#else
constexpr int batches = 4;
#endif

// Runs the batches until the pass has no points left, and adds the counts
// to pass.iterations.
template <VectorLanes L>
LANES_INLINE void escape_lanes(EscapePass& pass)
{
    using V = typename L::V;
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const V four = L::set1(4.0);
    const V cap = L::set1(static_cast<double>(pass.cap));

    PointFeed feed;
    start_feed(feed);
    FinishedPoints finished;
    finished.size = 0;
    std::uint64_t iterations = 0;
    Batch<L> batch[batches];
    typename L::History history[2][batches];  // the masks of this round and of the last
    unsigned round = 0;                         // this round's history is history[round & 1]
    std::int64_t now = 0;
    std::int64_t deadline = pass.cap;  // no busy lane reaches the cap before it
#pragma GCC unroll 8
    for (int k = 0; k < batches; ++k) {
        Batch<L>& b = batch[k];
        b.x = b.y = b.cr = b.ci = b.start = b.pixel = L::set1(0.0);
        b.iterating = L::mask(0);
        b.busy = b.ended = 0;
        refill(pass, feed, b, all_lanes, now);
    }

    // At the top of each round, every busy lane of a batch is in `iterating`,
    // in `ended` or in both. In `iterating` alone, it has run now - start
    // iterations, each after a passed test. In `ended`, its point ended in
    // the last round: it escaped there, as that round's history shows, or
    // had run `cap` iterations by its end; it is written and replaced at the
    // end of this round.
    for (;; ++round) {
        for (int step = 0; step < round_steps; ++step) {
#pragma GCC unroll 8
            for (int k = 0; k < batches; ++k)
                iterate(batch[k], history[round & 1][k], step, four);
        }
        now += round_steps;

        // Write and replace the points seen ended at the last look; see
        // those that escaped this round and, once the deadline has come,
        // those that have run `cap` iterations.
        const bool at_deadline = now >= deadline;
        unsigned any_busy = 0;
#pragma GCC unroll 8
        for (int k = 0; k < batches; ++k) {
            Batch<L>& b = batch[k];
            unsigned seen = ~L::bits(b.iterating);
            if (at_deadline)
                seen |= L::at_least(L::sub(L::set1(static_cast<double>(now)), b.start), cap);
            seen &= b.busy & ~b.ended;
            if (b.ended != 0) {
                finish(b, history[~round & 1][k], b.ended, now - round_steps, cap, finished);
                refill(pass, feed, b, b.ended, now);
                if (finished.size > finished_capacity - L::width)
                    write_finished(pass, finished, iterations);
            }
            b.ended = seen;
            any_busy |= b.busy;
        }
        if (!any_busy || (round % stop_check_rounds == 0 && pass.stop != nullptr &&
                           pass.stop->load(std::memory_order_relaxed)))
            break;  // done, or stopped: the points still in lanes are dropped
        if (at_deadline) {
            // The oldest start of a busy lane not yet seen ended.
            V oldest = L::set1(static_cast<double>(now));
#pragma GCC unroll 8
            for (int k = 0; k < batches; ++k)
                oldest = L::min(oldest, L::blend(batch[k].start, (~batch[k].busy | batch[k].ended) & all_lanes, oldest));
            deadline = static_cast<std::int64_t>(L::smallest(oldest)) + pass.cap;
        }
    }
    write_finished(pass, finished, iterations);
    pass.iterations += iterations;
}

}  // namespace
}  // namespace zqv
