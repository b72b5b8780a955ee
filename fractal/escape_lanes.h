// The work of one pass of the fast frame computation, shared by every thread:
// a list of items (coarse rows or unfilled blocks) whose points the vector
// lanes take in turn, and the lane kernels of each instruction set.
#pragma once

#include <atomic>
#include <cstdint>

struct BlockFlags;

// A pass computes either the coarse samples, one item per row of them, into
// the coarse grid, or the frame from them, one item per run of blocks: a
// block whose four corners agree in the grid is filled, the others are
// computed point by point.
struct EscapePass {
    const double* cr_of_column;  // real part of each frame column's points
    const double* ci_of_row;     // imaginary part of each frame row's points
    const std::uint8_t* coarse;  // the coarse grid, br * 128 + bc; null in the coarse pass
    std::uint8_t* counts;        // where the counts go: the coarse grid or the frame
    BlockFlags* flags;           // the frame's block grid; null in the coarse pass
    int item_count;
    std::uint32_t cap;
    std::atomic<int> next_item;
    std::atomic<std::uint64_t> iterations;  // sum of the counts written
};

// The most lanes of any instruction set: the 8 doubles of AVX-512. A vector
// load or store of them may run max_lanes - 1 past the last value used.
constexpr int max_lanes = 8;

// Points taken from the pass but not yet in a lane, in the order the lanes
// take them; one per thread. It holds fewer than max_lanes left over and one
// item of at most 200 points. Pixels are indices into pass.counts, kept as
// doubles (exact) beside the coordinates.
constexpr int feed_capacity = (max_lanes - 1) + 200 + (max_lanes - 1);
struct PointFeed {
    double cr[feed_capacity];
    double ci[feed_capacity];
    double pixel[feed_capacity];
    int begin, end;
};

// The item counts of the two passes.
int coarse_pass_items();
int frame_pass_items();

// Moves the points left in the feed to its front and appends those of the
// next items until it holds max_lanes or the pass has no items left.
void top_up_feed(EscapePass& pass, PointFeed& feed);

// Points whose counts are known but not yet in the frame; one per thread.
constexpr int finished_capacity = 256;
struct FinishedPoints {
    double pixel[finished_capacity + max_lanes];
    double count[finished_capacity + max_lanes];  // whole numbers up to the cap
    int size;
};

// Writes the finished counts to pass.counts (modulo 256), adds them to
// `iterations` and empties the list.
void write_finished(EscapePass& pass, FinishedPoints& finished, std::uint64_t& iterations);

// Each computes points of the pass until none is left and adds its counts
// to pass.iterations.
void escape_lanes_sse2(EscapePass& pass);
void escape_lanes_avx2(EscapePass& pass);
void escape_lanes_avx512(EscapePass& pass);
