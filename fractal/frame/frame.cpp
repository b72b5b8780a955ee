// The iteration cap, and the scalar definition of a frame and of the escape
// count of one point.
#include "fractal/frame/frame.h"

#include <cstring>

#include "fractal/frame/view.h"

namespace zqv {

namespace {

std::uint32_t iteration_cap;

}  // namespace

void set_max_iterations(std::uint32_t count)
{
    iteration_cap = count;
}

std::uint32_t max_iterations()
{
    return iteration_cap;
}

// The test looks at the squares of the value before the last update, so an
// orbit that first leaves the radius-2 disc at step n gets n + 1. A NaN sum
// never compares as >= 4, so such a point runs to the cap.
std::uint32_t escape_count(double cr, double ci)
{
    std::uint32_t k = 0;
    double x = 0.0, y = 0.0, xx = 0.0, yy = 0.0;
    if (iteration_cap == 0)
        return 0;
    do {
        if (xx + yy >= 4.0)
            break;
        xx = x * x;
        yy = y * y;
        y = 2.0 * x * y + ci;
        ++k;
        x = xx - yy + cr;
    } while (k < iteration_cap);
    return k;
}

void compute_frame_reference(Frame& frame, BlockFlags& blocks)
{
    const ViewState& v = view_state();
    std::uint8_t* p = frame.pixels;
    std::memset(&blocks, block_not_filled, sizeof blocks);

    // Coarse samples, coordinates accumulated by repeated addition.
    double ci = v.bottom;
    for (int r = 0; r < frame_height; r += block_size) {
        double cr = v.left;
        for (int c = 0; c < frame_width; c += block_size) {
            p[r * frame_width + c] = static_cast<std::uint8_t>(escape_count(cr, ci));
            cr += v.coarse_step_re;
        }
        ci += v.coarse_step_im;
    }

    // Fill each block whose four corner bytes agree; the last block row and
    // column have no far corners and are never filled.
    for (int r = 0; r < frame_height - block_size; r += block_size) {
        for (int c = 0; c < frame_width - block_size; c += block_size) {
            const std::uint8_t value = p[r * frame_width + c];
            if (p[r * frame_width + c + block_size] == value &&
                p[(r + block_size) * frame_width + c + block_size] == value &&
                p[(r + block_size) * frame_width + c] == value) {
                for (int rr = r; rr < r + block_size; ++rr)
                    std::memset(p + rr * frame_width + c, value, block_size);
                blocks.flags[r / block_size][c / block_size] = block_filled;
            }
        }
    }

    // Every other block point by point, from an origin formed by multiplication.
    for (int br = 0; br < block_rows; ++br) {
        for (int bc = 0; bc < block_columns; ++bc) {
            if (blocks.flags[br][bc] == block_filled)
                continue;
            const double ci0 = v.bottom + br * v.coarse_step_im;
            const double cr0 = v.left + bc * v.coarse_step_re;
            double fine_ci = ci0;
            for (int rr = 0; rr < block_size; ++rr) {
                double fine_cr = cr0;
                std::uint8_t* row = p + (br * block_size + rr) * frame_width + bc * block_size;
                for (int cc = 0; cc < block_size; ++cc) {
                    row[cc] = static_cast<std::uint8_t>(escape_count(fine_cr, fine_ci));
                    fine_cr += v.step_re;
                }
                fine_ci += v.step_im;
            }
        }
    }
}

}  // namespace zqv
