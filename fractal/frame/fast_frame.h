// The frame computation everything uses: the bytes and block grid of the
// scalar definition, from vector lanes on every core, at the instruction-set
// level in use (fractal/lanes/simd_level.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "fractal/frame/frame.h"

namespace zqv {

// Fills the frame for the current view and cap; false when stop_frames cut
// it short, leaving it unfinished.
bool compute_frame(Frame& frame);
// Makes every frame computation from now on end within a millisecond or so,
// unfinished, whatever the cap: the passes hand out no more units and the
// lanes drop their points. Safe in a signal handler. The program never calls
// it; zqvtool does at a stop signal.
void stop_frames();
// The flag stop_frames sets, for other computations to stop with the frames.
const std::atomic<bool>* frames_stop_flag();
// The block grid of the last computed frame.
const BlockFlags& block_flags();
// The sum of the counts computed for the last frame, coarse samples and
// unfilled blocks together.
std::uint64_t last_frame_iterations();
// Of the points computed for the last frame: how many, how many reached the
// cap, and the highest count below it.
struct FrameTally {
    std::uint64_t points;
    std::uint64_t capped;
    std::uint32_t highest_escaped;
    std::uint64_t near_cap;  // escaped with a count above half the cap
};
const FrameTally& last_frame_tally();

}  // namespace zqv
