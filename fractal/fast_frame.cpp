// The fast frame: the coarse samples and then the points of the unfilled
// blocks go to the vector lanes of every core, each point with exactly the
// coordinates the scalar definition forms for it.
#include "fractal/fast_frame.h"

#include <atomic>

#include "fractal/escape_pass.h"
#include "fractal/view.h"
#include "fractal/worker_pool.h"

namespace zqv {

namespace {

SimdLevel level_in_use;
bool level_chosen;
void (*lanes_kernel)(EscapePass&);

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

// The compiler's runtime also checks that the operating system saves the
// wide registers before it reports AVX2 or AVX-512 as supported.
SimdLevel detect_simd_level()
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("popcnt"))
        return SimdLevel::sse2;
    if (__builtin_cpu_supports("avx512f"))
        return SimdLevel::avx512;
    if (__builtin_cpu_supports("avx2"))
        return SimdLevel::avx2;
    return SimdLevel::sse2;
}

void escape_task(void* pass)
{
    lanes_kernel(*static_cast<EscapePass*>(pass));
}

std::uint64_t run_pass(const double* cr, const double* ci, const std::uint8_t* coarse, std::uint8_t* counts,
                       BlockFlags* flags)
{
    EscapePass pass{cr, ci, coarse, counts, flags, max_iterations(), {0}, {0}};
    run_on_every_core(escape_task, &pass);
    frame_tally.points += pass.points;
    frame_tally.capped += pass.capped;
    frame_tally.near_cap += pass.near_cap;
    if (pass.highest_escaped > frame_tally.highest_escaped)
        frame_tally.highest_escaped = pass.highest_escaped;
    return pass.iterations;
}

}  // namespace

SimdLevel best_simd_level()
{
    static const SimdLevel best = detect_simd_level();
    return best;
}

SimdLevel simd_level()
{
    if (!level_chosen)
        use_simd_level(best_simd_level());
    return level_in_use;
}

void use_simd_level(SimdLevel level)
{
    level_in_use = level < best_simd_level() ? level : best_simd_level();
    level_chosen = true;
    lanes_kernel = level_in_use == SimdLevel::avx512 ? escape_lanes_avx512
                 : level_in_use == SimdLevel::avx2   ? escape_lanes_avx2
                                                     : escape_lanes_sse2;
}

// The coarse pass fills the coarse grid; the frame pass fills or computes
// every block from it, so every frame byte is written once and no thread
// waits on a serial step between the two.
bool compute_frame(Frame& frame)
{
    const ViewState& v = view_state();
    simd_level();  // chooses the best level on first use

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
    if (frames_stopped())
        return false;
    frame_iterations += run_pass(fine_cr, fine_ci, coarse_grid, frame.pixels, &blocks);
    return !frames_stopped();
}

void stop_frames()
{
    stopped.store(true, std::memory_order_relaxed);
}

bool frames_stopped()
{
    return stopped.load(std::memory_order_relaxed);
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
