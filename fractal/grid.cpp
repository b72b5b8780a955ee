// The grids: the scalar definition of a point and its smooth fraction, the
// rows handed to the vector lanes of every core, and the points copied from
// the parent grid instead.
#include "fractal/grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fractal/fast_frame.h"
#include "fractal/grid_job.h"
#include "fractal/portable_math.h"
#include "fractal/worker_pool.h"

namespace zqv {

namespace {

std::vector<double> re_of_column, im_of_row;
std::uint64_t points_computed;

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

bool is_parent_grid(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values)
{
    return parent.width == layout.width && parent.height == layout.height && parent.step == layout.step * 2.0 &&
           parent.centre_re == layout.centre_re && parent.centre_im == layout.centre_im &&
           parent_values.counts.size() == static_cast<std::size_t>(layout.width) * layout.height;
}

std::int64_t parent_result(const GridLayout& layout, const GridLayout& parent, const GridValues& parent_values,
                           int column, int row)
{
    if ((column & 1) != 0 || (row & 1) != 0)
        return -1;
    // Child column i lies at (i − w/2)·step = ((i/2 + w/4) − w/2)·(2·step).
    const std::int64_t shared =
        static_cast<std::int64_t>(row / 2 + layout.height / 4) * layout.width + (column / 2 + layout.width / 4);
    const std::uint32_t count = parent_values.counts[shared];
    // An escape within both caps, or staying inside for at least this cap, holds here too.
    if ((count != grid_inside && count <= layout.cap) || (count == grid_inside && parent.cap >= layout.cap))
        return shared;
    return -1;
}

bool in_main_bulbs(double cr, double ci)
{
    // The cardioid: q·(q + (x − ¼)) < ¼·y² with q = (x − ¼)² + y²; the bulb:
    // the disc of radius ¼ around −1.
    const double x = cr - 0.25, y2 = ci * ci;
    const double q = x * x + y2;
    const double b = cr + 1.0;
    return q * (q + x) < 0.25 * y2 || b * b + y2 < 0.0625;
}

GridPoint grid_point(double cr, double ci, std::uint32_t cap)
{
    if (in_main_bulbs(cr, ci))
        return {grid_inside, 0.0};
    return continue_point(0.0, 0.0, cr, ci, 0, cap);
}

namespace {

// log2 of the mantissas 1 + i/4096, i = 0 to 4096, for table_log2.
constexpr int log2_table_bits = 12;
const std::vector<double> log2_table = [] {
    std::vector<double> table((1 << log2_table_bits) + 1);
    for (int i = 0; i <= 1 << log2_table_bits; ++i)
        table[i] = portable_log2(1.0 + static_cast<double>(i) / (1 << log2_table_bits));
    return table;
}();

// log2(x) for normal x > 0 to within 1.1e-8: the exponent, and the
// mantissa's log2 interpolated linearly between the table's neighbours
// 2^-12 apart (the line's error is at most (2^-12)²/8 · max |log2''| =
// 2^-27/ln 2), far finer than the 1/65535 of a smooth fraction.
double table_log2(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int e = static_cast<int>(bits >> 52 & 0x7ff) - 1023;
    const std::uint64_t mantissa = bits & 0x000fffffffffffffull;
    const int i = static_cast<int>(mantissa >> (52 - log2_table_bits));
    constexpr double unit = 1.0 / (std::uint64_t{1} << (52 - log2_table_bits));  // of the bits below the index
    const double t = static_cast<double>(mantissa & ((std::uint64_t{1} << (52 - log2_table_bits)) - 1)) * unit;
    return static_cast<double>(e) + (log2_table[i] + (log2_table[i + 1] - log2_table[i]) * t);
}

}  // namespace

std::uint16_t smooth_fraction(double magnitude2)
{
    // log|z|/log R = log2|z|²/log2 R², in [1, 2] for R² ≤ |z|² ≤ about R⁴.
    const double ratio = table_log2(magnitude2) * (1.0 / grid_log2_radius2);
    const double fraction = 1.0 - table_log2(ratio);
    const double scaled = std::floor(std::clamp(fraction, 0.0, 1.0) * 65535.0 + 0.5);
    return static_cast<std::uint16_t>(scaled);
}

double grid_re(const GridLayout& layout, int column)
{
    return layout.centre_re + static_cast<double>(column - layout.width / 2) * layout.step;
}

double grid_im(const GridLayout& layout, int row)
{
    return layout.centre_im + static_cast<double>(layout.height / 2 - row) * layout.step;
}

bool grid_resolves(const GridLayout& layout)
{
    for (int column = 1; column < layout.width; ++column)
        if (!(grid_re(layout, column) > grid_re(layout, column - 1)))
            return false;
    for (int row = 1; row < layout.height; ++row)
        if (!(grid_im(layout, row) < grid_im(layout, row - 1)))
            return false;
    return true;
}

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

void compute_grid(const GridLayout& layout, GridValues& values, const GridLayout* parent, const GridValues* parent_values)
{
    const std::size_t points = static_cast<std::size_t>(layout.width) * layout.height;
    values.counts.resize(points);
    values.fractions.resize(points);
    re_of_column.resize(layout.width);
    im_of_row.resize(layout.height);
    for (int column = 0; column < layout.width; ++column)
        re_of_column[column] = grid_re(layout, column);
    for (int row = 0; row < layout.height; ++row)
        im_of_row[row] = grid_im(layout, row);
    const bool shares = parent != nullptr && parent_values != nullptr && is_parent_grid(layout, *parent, *parent_values);
    GridJob job{&layout, re_of_column.data(), im_of_row.data(), shares ? parent : nullptr,
                shares ? parent_values : nullptr, &values, {0}, {0}};
    run_on_every_core(grid_task, &job);
    points_computed = job.computed.load();
}

std::uint64_t last_grid_points()
{
    return points_computed;
}

}  // namespace zqv
