// Deep frames: the frame's coarse samples and blocks, with every point
// computed as its offset dc from the zoom's reference orbit (perturbation in
// double, rebased to the orbit's start, steps skipped by bilinear
// approximation), on every core. Pixel (r, c) is the point
// centre + ((c - 320) w / 640, (r - 240) w / 640).
#pragma once

#include <cstdint>

#include "fractal/deep_orbit.h"
#include "fractal/frame.h"

namespace zqv {

// What one point's iteration gives: its count (capped), the steps taken
// (a skipped block is one step) and |z|^2 where it stopped.
struct DeepCount {
    std::uint32_t count;
    std::uint64_t steps;
    double magnitude2;
};

// The definition of a point's count: z from 0 at reference iteration 0;
// each iteration tests w = Z_m + z against the radius, rebases (z = w, m = 0)
// when |w| < |z| or the orbit ends, then takes the longest valid block of the
// tables if with_bla, else one step z = (2 Z_m + z) z + dc. A point whose
// value w_n first has |w_n|^2 >= radius2 gets n + 1, at most cap. The orbit
// must hold at least cap iterates unless it escaped.
DeepCount deep_escape(double dcr, double dci, std::uint32_t cap, double radius2, bool with_bla);

// What the last deep frame took.
struct DeepFrameStats {
    std::uint64_t iterations;       // sum of the counts computed
    std::uint64_t steps;            // steps taken for them
    std::uint64_t points;           // points computed
    std::uint64_t capped;           // of them, those that reached the cap
    std::uint32_t highest_escaped;  // the highest count below the cap
    std::uint64_t near_cap;         // escaped with a count above half the cap
    double reference_seconds;       // extending the orbit for this frame
    double bla_seconds;             // building the tables
    double frame_seconds;           // everything
};

// Starts a zoom at this centre, with the orbit's fixed-point fraction bits.
void start_deep_zoom(const Decimal& centre_re, const Decimal& centre_im, int fraction_bits);
// Computes the frame whose pixel step (width / 640) is pixel_step, at this
// cap; with_bla chooses the tables or plain perturbation. stop() is asked
// now and then from every thread; false if it said so (the frame is then
// incomplete).
bool compute_deep_frame(Frame& frame, double pixel_step, std::uint32_t cap, bool with_bla, bool (*stop)());
const DeepFrameStats& last_deep_frame_stats();
const BlockFlags& deep_block_flags();

}  // namespace zqv
