// The fast frame: the coarse samples and then the points of the unfilled
// blocks go to the vector lanes of every core, each point with exactly the
// coordinates the scalar definition forms for it.
#include "fractal/frame/fast_frame.h"

#include <atomic>

#include "fractal/frame/frame_work.h"
#include "fractal/frame/view.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

namespace {

// Coordinates by frame column and row: the coarse ones at every fifth, the
// fine ones at every column and row.
double coarse_cr[frame_width];
double coarse_ci[frame_height];
double fine_cr[frame_width];
double fine_ci[frame_height];
alignas(64) std::uint8_t coarse_grid[block_rows * block_columns];  // the coarse samples' counts, br * 128 + bc
BlockFlags blocks;  // of the last frame
std::uint64_t frame_iterations;
FrameTally frame_tally;
std::atomic<bool> stopped{false};  // lock-free on every target, so a signal handler may set it

// The lanes of the level in use.
void (*lanes_kernel)(EscapePass&);

void escape_task(void* pass)
{
    lanes_kernel(*static_cast<EscapePass*>(pass));
}

std::uint64_t run_pass(const double* cr, const double* ci, const std::uint8_t* coarse, std::uint8_t* counts,
                       BlockFlags* flags)
{
    EscapePass pass{cr, ci, coarse, counts, flags, &stopped, max_iterations(), {0}, {0}};
    run_on_every_core(escape_task, &pass);
    frame_tally.points += pass.points;
    frame_tally.capped += pass.capped;
    frame_tally.near_cap += pass.near_cap;
    if (pass.highest_escaped > frame_tally.highest_escaped)
        frame_tally.highest_escaped = pass.highest_escaped;
    return pass.iterations;
}

}  // namespace

// The coarse pass fills the coarse grid; the frame pass fills or computes
// every block from it, so every frame byte is written once and no thread
// waits on a serial step between the two.
bool compute_frame(Frame& frame)
{
    const ViewState& v = view_state();
    lanes_kernel = simd_level() == SimdLevel::avx512 ? escape_lanes_avx512
                 : simd_level() == SimdLevel::avx2   ? escape_lanes_avx2
                                                     : escape_lanes_sse2;

    // Coarse coordinates, accumulated by repeated addition.
    double ci = v.bottom;
    for (int r = 0; r < frame_height; r += block_size) {
        coarse_ci[r] = ci;
        ci += v.coarse_step_im;
    }
    double cr = v.left;
    for (int c = 0; c < frame_width; c += block_size) {
        coarse_cr[c] = cr;
        cr += v.coarse_step_re;
    }
    // Fine coordinates: each block's origin by multiplication, then repeated
    // addition along its rows and columns.
    for (int bc = 0; bc < block_columns; ++bc) {
        double fine = v.left + bc * v.coarse_step_re;
        for (int c = bc * block_size; c < (bc + 1) * block_size; ++c) {
            fine_cr[c] = fine;
            fine += v.step_re;
        }
    }
    for (int br = 0; br < block_rows; ++br) {
        double fine = v.bottom + br * v.coarse_step_im;
        for (int r = br * block_size; r < (br + 1) * block_size; ++r) {
            fine_ci[r] = fine;
            fine += v.step_im;
        }
    }

    frame_tally = FrameTally{};
    frame_iterations = run_pass(coarse_cr, coarse_ci, nullptr, coarse_grid, nullptr);
    if (stopped.load(std::memory_order_relaxed))
        return false;
    frame_iterations += run_pass(fine_cr, fine_ci, coarse_grid, frame.pixels, &blocks);
    return !stopped.load(std::memory_order_relaxed);
}

void stop_frames()
{
    stopped.store(true, std::memory_order_relaxed);
}

const std::atomic<bool>* frames_stop_flag()
{
    return &stopped;
}

const BlockFlags& block_flags()
{
    return blocks;
}

std::uint64_t last_frame_iterations()
{
    return frame_iterations;
}

const FrameTally& last_frame_tally()
{
    return frame_tally;
}

}  // namespace zqv
