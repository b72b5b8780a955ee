// The fast frame: the coarse samples and then the points of the unfilled
// blocks go to the vector lanes of every core, each point with exactly the
// coordinates the scalar definition forms for it.
#include "fractal/fast_frame.h"

#include <cstring>

#include "fractal/escape_lanes.h"
#include "fractal/view.h"
#include "fractal/worker_pool.h"

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
std::uint16_t unfilled[block_rows * block_columns];  // br * 128 + bc, row by row
std::uint64_t frame_iterations;

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

std::uint64_t run_pass(const double* cr, const double* ci, const std::uint16_t* blocks, int items,
                       std::uint8_t* pixels)
{
    EscapePass pass{cr, ci, blocks, items, max_iterations(), pixels, {0}, {0}};
    run_on_every_core(escape_task, &pass);
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

void compute_frame_fast(Frame& frame, BlockFlags& flags)
{
    const ViewState& v = view_state();
    std::uint8_t* p = frame.pixels;
    simd_level();  // chooses the best level on first use
    std::memset(&flags, block_not_filled, sizeof flags);

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
    frame_iterations = run_pass(coarse_cr, coarse_ci, nullptr, block_rows, p);

    // Fill each block whose four corner bytes agree; list the others. The
    // last block row and column have no far corners and are never filled.
    int unfilled_count = 0;
    for (int br = 0; br < block_rows; ++br) {
        for (int bc = 0; bc < block_columns; ++bc) {
            const int r = br * block_size, c = bc * block_size;
            const std::uint8_t value = p[r * frame_width + c];
            if (br < block_rows - 1 && bc < block_columns - 1 &&
                p[r * frame_width + c + block_size] == value &&
                p[(r + block_size) * frame_width + c + block_size] == value &&
                p[(r + block_size) * frame_width + c] == value) {
                for (int rr = r; rr < r + block_size; ++rr)
                    std::memset(p + rr * frame_width + c, value, block_size);
                flags.flags[br][bc] = block_filled;
            } else {
                unfilled[unfilled_count++] = static_cast<std::uint16_t>(br * block_columns + bc);
            }
        }
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
    frame_iterations += run_pass(fine_cr, fine_ci, unfilled, unfilled_count, p);
}

std::uint64_t last_frame_iterations()
{
    return frame_iterations;
}
