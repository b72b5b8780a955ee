// The deep grid: rows handed to every core from one counter, each point
// copied from the parent, known inside the main bulbs, or iterated by the
// deep engine's lane kernel from its offset, and its count turned into the
// grid's convention.
#include "fractal/deep/deep_grid.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

#include "fractal/deep/deep_frame.h"
#include "fractal/deep/deep_work.h"
#include "fractal/grid/grid_point.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

namespace {

// The largest |dc| of the grid's points, at a corner, is
// step·sqrt((width/2)² + (height/2)²); the tables are built for it times
// 1 + 2^-20, far above the few ulps by which the offsets and the root round.
constexpr double largest_dc_margin = 1.0 + 1.0 / (1 << 20);

void deep_grid_task(void* argument)
{
    DeepGridWork& work = *static_cast<DeepGridWork*>(argument);
    (simd_level() == SimdLevel::avx512 ? deep_grid_lanes_avx512
     : simd_level() == SimdLevel::avx2 ? deep_grid_lanes_avx2
                                       : deep_grid_lanes_sse2)(work, *work.job);
}

}  // namespace

void GridPoints::start(Thread& t)
{
    t.row = -1;
    t.column = 0;
    t.computed = 0;
}

std::uint32_t GridPoints::cap(const DeepGridWork& work)
{
    return deep_grid_point_cap(work.layout->cap);
}

bool GridPoints::next(DeepGridWork& work, Thread& t, double& dcr, double& dci, double& tag)
{
    const GridLayout& s = *work.layout;
    for (;;) {
        if (t.row < 0 || t.column == work.end_column) {
            t.row = work.next_row.fetch_add(1, std::memory_order_relaxed);
            t.column = work.first_column;
            if (t.row >= work.end_row) {
                t.row = work.end_row;
                t.column = work.end_column;
                return false;
            }
        }
        const int column = t.column++;
        const std::int64_t index = static_cast<std::int64_t>(t.row) * s.width + column;
        const std::int64_t shared =
            work.parent == nullptr ? -1 : parent_result(s, *work.parent, *work.parent_values, column, t.row);
        if (shared >= 0) {
            work.values->counts[index] = work.parent_values->counts[shared];
            work.values->fractions[index] = work.parent_values->fractions[shared];
            continue;
        }
        // Offsets scaled by 2^-step_exponent are below 1e-300: the centre's doubles stand for the point.
        const bool scaled = s.step_exponent != 0;
        if (in_main_bulbs(s.centre_re + (scaled ? 0.0 : work.offset_re[column]),
                          s.centre_im + (scaled ? 0.0 : work.offset_im[t.row]))) {
            work.values->counts[index] = grid_inside;
            work.values->fractions[index] = 0;
            continue;
        }
        dcr = work.offset_re[column];
        dci = work.offset_im[t.row];
        tag = static_cast<double>(index);  // exact: below 2^53
        return true;
    }
}

void GridPoints::finish(DeepGridWork& work, Thread& t, double tag, std::uint32_t count, double magnitude2)
{
    const auto index = static_cast<std::int64_t>(tag);
    // run_point gives n + 1 for the first n with |w_n|² ≥ R² while
    // n + 1 < the point cap, that is n ≤ cap; the point cap when there is none.
    const bool escaped = count < cap(work);
    work.values->counts[index] = escaped ? count - 1 : grid_inside;
    work.values->fractions[index] = escaped ? smooth_fraction(magnitude2) : 0;
    ++t.computed;
}

void GridPoints::flush(DeepGridWork& work, Thread& t)
{
    work.computed.fetch_add(t.computed, std::memory_order_relaxed);
}

std::optional<std::uint64_t> compute_deep_grid(DeepZoom& zoom, const GridLayout& layout, GridValues& values,
                                               const std::atomic<bool>* stop, const GridLayout* parent,
                                               const GridValues* parent_values, const GridWindow* window)
{
    const std::size_t points = static_cast<std::size_t>(layout.width) * layout.height;
    values.counts.resize(points);
    values.fractions.resize(points);
    // The orbit must hold every iterate up to the point cap unless it escaped.
    const auto start = std::chrono::steady_clock::now();
    if (!extend_reference(zoom.orbit, deep_grid_point_cap(layout.cap), stop, zoom.report, zoom.report_context))
        return std::nullopt;
    const auto extended = std::chrono::steady_clock::now();
    zoom.reference_seconds += std::chrono::duration<double>(extended - start).count();
    const double half_width = 0.5 * layout.width, half_height = 0.5 * layout.height;
    build_deep_tables(zoom, layout.step * std::sqrt(half_width * half_width + half_height * half_height) * largest_dc_margin,
                      layout.step_exponent);
    zoom.table_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - extended).count();

    std::vector<double> offset_re(layout.width), offset_im(layout.height);
    for (int column = 0; column < layout.width; ++column)
        offset_re[column] = static_cast<double>(column - layout.width / 2) * layout.step;
    for (int row = 0; row < layout.height; ++row)
        offset_im[row] = static_cast<double>(layout.height / 2 - row) * layout.step;

    DeepJob job;
    set_deep_job(job, zoom, grid_escape_radius2, true, stop, layout.step_exponent);

    const bool shares = parent != nullptr && parent_values != nullptr && is_parent_grid(layout, *parent, *parent_values);
    const GridWindow whole{0, layout.width, 0, layout.height};
    const GridWindow& part = window != nullptr ? *window : whole;
    DeepGridWork work{&layout, shares ? parent : nullptr, shares ? parent_values : nullptr, &values,
                      offset_re.data(), offset_im.data(), &job, part.first_column, part.end_column, part.end_row};
    work.next_row = part.first_row;
    run_on_every_core(deep_grid_task, &work);
    if (job.stopped.load())
        return std::nullopt;
    return work.computed.load();
}

}  // namespace zqv
