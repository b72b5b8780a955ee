// The work of one pass of the fast frame computation, shared by every thread:
// units (coarse samples or blocks) handed out in spans, whose points the
// vector lanes take in turn, and the lane kernels of each instruction set.
#pragma once

#include <atomic>
#include <cstdint>

#include "fractal/lanes/vector_lanes.h"

namespace zqv {

struct BlockFlags;

// A pass computes either the coarse grid, a unit per coarse sample, or the
// frame from it, a unit per block: a block whose four corners agree in the
// grid is filled, the others are computed point by point. Units are
// numbered br * 128 + bc in both.
struct EscapePass {
    const double* cr_of_column;  // real part of each frame column's points
    const double* ci_of_row;     // imaginary part of each frame row's points
    const std::uint8_t* coarse;  // the coarse grid; null in the coarse pass
    std::uint8_t* counts;        // where the counts go: the coarse grid or the frame
    BlockFlags* flags;           // the frame's block grid; null in the coarse pass
    const std::atomic<bool>* stop;  // when set, no more units are handed out; null: never
    std::uint32_t cap;
    alignas(64) std::atomic<int> next_unit;  // on a cache line of its own: every thread writes it
    std::atomic<std::uint64_t> iterations;   // sum of the counts written
    std::atomic<std::uint64_t> points{0};    // counts written
    std::atomic<std::uint64_t> capped{0};    // of them, those equal to the cap
    std::atomic<std::uint32_t> highest_escaped{0};  // the highest count below the cap
    std::atomic<std::uint64_t> near_cap{0};  // counts below the cap and above half of it
};

// Points taken from the pass but not yet in a lane, in the order the lanes
// take them, and the rest of the span of units they came from; one per
// thread. A top-up stops at feed_target points or more, at most a block's
// 25 past it. Pixels are indices into pass.counts, kept as doubles (exact)
// beside the coordinates.
constexpr int feed_target = 64;
constexpr int feed_capacity = feed_target - 1 + 25 + max_lanes - 1;
struct PointFeed {
    double cr[feed_capacity];
    double ci[feed_capacity];
    double pixel[feed_capacity];
    int begin, end;
    int next_unit, end_unit;
};

// An empty feed for a pass.
void start_feed(PointFeed& feed);
// Moves the points left in the feed to its front and appends those of the
// next units until it holds feed_target or the pass has no units left.
void top_up_feed(EscapePass& pass, PointFeed& feed);

// Points whose counts are known but not yet written; one per thread.
constexpr int finished_capacity = 256;
struct FinishedPoints {
    double pixel[finished_capacity + max_lanes];
    double count[finished_capacity + max_lanes];  // whole numbers up to the cap
    int size;
};

// Writes the finished counts to pass.counts (modulo 256), adds them to
// `iterations`, tallies them in the pass and empties the list.
void write_finished(EscapePass& pass, FinishedPoints& finished, std::uint64_t& iterations);

// Each computes points of the pass until none is left and adds its counts
// to pass.iterations.
void escape_lanes_sse2(EscapePass& pass);
void escape_lanes_avx2(EscapePass& pass);
void escape_lanes_avx512(EscapePass& pass);

}  // namespace zqv
