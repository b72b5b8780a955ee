// Deep frames: the frame's coarse samples and blocks, with every point
// computed as its offset dc from the zoom's reference orbit (perturbation in
// double, rebased to the orbit's start, steps skipped by bilinear
// approximation), on every core. Pixel (r, c) is the point
// centre + ((c - 320) w / 640, (r - 240) w / 640).
#pragma once

#include <atomic>
#include <cstdint>

#include "fractal/deep/deep_point.h"
#include "fractal/frame/frame.h"

namespace zqv {

// What a deep frame took.
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

// Computes the frame of the zoom whose pixel step (width / 640) is
// pixel_step * 2^step_exponent, at this cap, with its block grid and what it
// took; with_bla chooses the tables or plain perturbation. A step_exponent
// other than 0 takes the points of small |z| at any exponent (frames
// narrower than 1e-300 need it). The stop flag, when given, is read now and
// then from every thread; false if it was set (the frame is then incomplete).
bool compute_deep_frame(DeepZoom& zoom, Frame& frame, BlockFlags& blocks, DeepFrameStats& stats, double pixel_step,
                        std::uint32_t cap, bool with_bla, const std::atomic<bool>* stop, int step_exponent = 0);

// Builds the zoom's tables for offsets up to largest_dc * 2^step_exponent
// (wide ones as well when step_exponent is not 0), and finds its view's period.
void build_deep_tables(DeepZoom& zoom, double largest_dc, int step_exponent);

}  // namespace zqv
