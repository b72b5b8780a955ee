// The fast grid: rows handed to the vector lanes of every core, the points
// shared with the parent grid copied instead.
#include "fractal/grid/grid.h"

#include <vector>

#include "fractal/grid/grid_work.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

namespace {

void grid_task(void* job)
{
    GridJob& j = *static_cast<GridJob*>(job);
    switch (simd_level()) {
    case SimdLevel::avx512: grid_lanes_avx512(j); break;
    case SimdLevel::avx2: grid_lanes_avx2(j); break;
    default: grid_lanes_sse2(j); break;
    }
}

}  // namespace

bool top_up_grid_feed(GridJob& job, GridFeed& feed)
{
    const GridLayout& s = *job.layout;
    feed.begin = feed.end = 0;
    if (feed.cr.size() < static_cast<std::size_t>(s.width)) {
        feed.cr.resize(s.width);
        feed.ci.resize(s.width);
        feed.index.resize(s.width);
    }
    while (feed.end == 0) {
        if (job.stop != nullptr && job.stop->load(std::memory_order_relaxed))
            return false;
        const int row = job.next_row.fetch_add(1, std::memory_order_relaxed);
        if (row >= s.height)
            return false;
        const std::int64_t first = static_cast<std::int64_t>(row) * s.width;
        for (int column = 0; column < s.width; ++column) {
            const std::int64_t shared =
                job.parent == nullptr ? -1 : parent_result(s, *job.parent, *job.parent_values, column, row);
            if (shared >= 0) {
                job.values->counts[first + column] = job.parent_values->counts[shared];
                job.values->fractions[first + column] = job.parent_values->fractions[shared];
                continue;
            }
            if (in_main_bulbs(job.re_of_column[column], job.im_of_row[row])) {
                job.values->counts[first + column] = grid_inside;
                job.values->fractions[first + column] = 0;
                continue;
            }
            feed.cr[feed.end] = job.re_of_column[column];
            feed.ci[feed.end] = job.im_of_row[row];
            feed.index[feed.end] = first + column;
            ++feed.end;
        }
        job.computed.fetch_add(feed.end, std::memory_order_relaxed);
    }
    return true;
}

void finish_grid_point(GridJob& job, std::int64_t index, std::uint32_t count, double magnitude2)
{
    job.values->counts[index] = count;
    job.values->fractions[index] = count == grid_inside ? 0 : smooth_fraction(magnitude2);
}

std::optional<std::uint64_t> compute_grid(const GridLayout& layout, GridValues& values, const std::atomic<bool>* stop,
                                          const GridLayout* parent, const GridValues* parent_values)
{
    const std::size_t points = static_cast<std::size_t>(layout.width) * layout.height;
    values.counts.resize(points);
    values.fractions.resize(points);
    std::vector<double> re_of_column(layout.width), im_of_row(layout.height);
    for (int column = 0; column < layout.width; ++column)
        re_of_column[column] = grid_re(layout, column);
    for (int row = 0; row < layout.height; ++row)
        im_of_row[row] = grid_im(layout, row);
    const bool shares = parent != nullptr && parent_values != nullptr && is_parent_grid(layout, *parent, *parent_values);
    GridJob job{&layout, re_of_column.data(), im_of_row.data(), shares ? parent : nullptr,
                shares ? parent_values : nullptr, &values, stop, {0}, {0}};
    run_on_every_core(grid_task, &job);
    if (stop != nullptr && stop->load())
        return std::nullopt;
    return job.computed.load();
}

}  // namespace zqv
