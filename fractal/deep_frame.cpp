// The deep frame: the two passes of the fast frame (coarse samples, then
// blocks filled or computed point by point), fed with offsets from the
// reference instead of coordinates, and a kernel that iterates each point by
// perturbation. Every double operation is written out in one fixed order, so
// every build gives the same counts.
#include "fractal/deep_frame.h"

#include <atomic>
#include <chrono>

#include "fractal/deep_bla.h"
#include "fractal/deep_point.h"
#include "fractal/escape_pass.h"
#include "fractal/fast_frame.h"
#include "fractal/worker_pool.h"

namespace zqv {

namespace {

DeepJob job;
DeepFrameStats stats;
BlockFlags blocks;
double offset_re[frame_width];   // dc of each column
double offset_im[frame_height];  // dc of each row
alignas(64) std::uint8_t coarse_grid[block_rows * block_columns];
void (*lanes_kernel)(EscapePass&, DeepJob&);

// A point asks stop() after this many steps, so a point of a high cap
// still stops within a fraction of a second.
constexpr std::uint64_t steps_between_stop_checks = 1 << 20;

// A point handed to the scalar code for a block stays there while blocks
// keep coming: it goes back to the lanes after this many plain steps in a
// row, when it has left the reference and the tables are of no more use to
// it. 16 was fastest of 16, 32, 64 and 256 on the seahorse path at 1e-100.
constexpr std::uint64_t plain_steps_before_hand_back = 16;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The scalar kernel: every thread takes points from the pass's feed one by one.
void scalar_points(EscapePass& pass, DeepJob& job)
{
    PointFeed feed;
    start_feed(feed);
    FinishedPoints finished;
    finished.size = 0;
    std::uint64_t iterations = 0, steps = 0;
    for (;;) {
        if (feed.begin == feed.end) {
            top_up_feed(pass, feed);
            if (feed.begin == feed.end)
                break;
        }
        if (job.stopped.load(std::memory_order_relaxed) || (job.stop != nullptr && job.stop())) {
            job.stopped.store(true, std::memory_order_relaxed);
            break;
        }
        const int i = feed.begin++;
        DeepPoint point{feed.cr[i], feed.ci[i], 0.0, 0.0, 0, 0, 0, 0, 0.0};
        run_point(point, pass.cap, job, false);
        steps += point.steps;
        finished.pixel[finished.size] = feed.pixel[i];
        finished.count[finished.size] = point.count;
        if (++finished.size == finished_capacity)
            write_finished(pass, finished, iterations);
    }
    write_finished(pass, finished, iterations);
    pass.iterations += iterations;
    job.steps += steps;
}

void deep_task(void* argument)
{
    EscapePass& pass = *static_cast<EscapePass*>(argument);
    (pass.cap >= 2 && lanes_kernel != nullptr ? lanes_kernel : scalar_points)(pass, job);
}

void add_pass(EscapePass& pass)
{
    stats.iterations += pass.iterations;
    stats.points += pass.points;
    stats.capped += pass.capped;
    stats.near_cap += pass.near_cap;
    if (pass.highest_escaped > stats.highest_escaped)
        stats.highest_escaped = pass.highest_escaped;
}

}  // namespace

void set_deep_job(DeepJob& job, double radius2, bool with_bla, bool (*stop)())
{
    const ReferenceOrbit& orbit = reference_orbit();
    job.orbit_re = orbit.re.data();
    job.orbit_im = orbit.im.data();
    job.last = orbit.re.size() - 1;
    const std::vector<std::vector<BlaBlock>>& levels = bla_tables().levels;
    job.pairs = with_bla && !levels.empty() ? levels[0].data() : nullptr;
    job.pair_count = with_bla && !levels.empty() ? levels[0].size() : 0;
    job.radius2 = radius2;
    job.with_bla = with_bla;
    job.stop = stop;
    job.stopped = false;
    job.steps = 0;
}

bool run_point(DeepPoint& p, std::uint32_t cap, DeepJob& job, bool hand_back)
{
    const double* zr = job.orbit_re;
    const double* zi = job.orbit_im;
    const std::vector<std::vector<BlaBlock>>& levels = bla_tables().levels;
    const auto level_count = static_cast<std::uint64_t>(job.with_bla ? levels.size() : 0);
    const double dcr = p.dcr, dci = p.dci;
    double x = p.x, y = p.y;
    std::uint64_t n = p.n, m = p.m, steps = p.steps;
    std::uint64_t plain_run = 0;  // plain steps since the last skipped block
    for (;;) {
        const double wr = zr[m] + x, wi = zi[m] + y;
        const double w2 = wr * wr + wi * wi;
        if (w2 >= job.radius2 || n + 1 >= cap) {
            p.count = w2 >= job.radius2 && n + 1 < cap ? static_cast<std::uint32_t>(n + 1) : cap;
            p.magnitude2 = w2;
            p.steps = steps;
            return true;
        }
        double z2 = x * x + y * y;
        if (m == job.last || w2 < z2) {
            x = wr;
            y = wi;
            z2 = w2;
            m = 0;
        }
        ++steps;
        if ((steps & (steps_between_stop_checks - 1)) == 0 && job.stop != nullptr && job.stop()) {
            job.stopped.store(true, std::memory_order_relaxed);
            p.count = cap;
            p.magnitude2 = w2;
            p.steps = steps;
            return true;
        }
        // The longest valid block from m: a block's radius is at most that
        // of its first half, so the search climbs while blocks hold.
        const BlaBlock* best = nullptr;
        std::uint64_t length = 0;
        if (m > 0) {
            for (std::uint64_t j = 1; j <= level_count && ((m - 1) & ((std::uint64_t{1} << j) - 1)) == 0; ++j) {
                const std::vector<BlaBlock>& level = levels[j - 1];
                const std::uint64_t i = (m - 1) >> j;
                if (i >= level.size() || !(z2 < level[i].radius2))
                    break;
                best = &level[i];
                length = std::uint64_t{1} << j;
            }
        }
        if (best != nullptr) {
            const double nx = (best->ar * x - best->ai * y) + (best->br * dcr - best->bi * dci);
            const double ny = (best->ar * y + best->ai * x) + (best->br * dci + best->bi * dcr);
            x = nx;
            y = ny;
            m += length;
            n += length;
            plain_run = 0;
            continue;
        }
        if (hand_back && ++plain_run > plain_steps_before_hand_back) {
            p.x = x, p.y = y, p.n = n, p.m = m, p.steps = steps - 1;
            return false;
        }
        const double tr = 2.0 * zr[m] + x, ti = 2.0 * zi[m] + y;
        const double nx = (tr * x - ti * y) + dcr;
        const double ny = (tr * y + ti * x) + dci;
        x = nx;
        y = ny;
        ++m;
        ++n;
    }
}

DeepCount deep_escape(double dcr, double dci, std::uint32_t cap, double radius2, bool with_bla)
{
    set_deep_job(job, radius2, with_bla, nullptr);
    DeepPoint point{dcr, dci, 0.0, 0.0, 0, 0, 0, 0, 0.0};
    run_point(point, cap, job, false);
    return {point.count, point.steps, point.magnitude2};
}

void start_deep_zoom(const Decimal& centre_re, const Decimal& centre_im, int fraction_bits)
{
    start_reference(centre_re, centre_im, fraction_bits);
}

bool compute_deep_frame(Frame& frame, double pixel_step, std::uint32_t cap, bool with_bla, bool (*stop)())
{
    const auto start = std::chrono::steady_clock::now();
    stats = DeepFrameStats{};
    if (!extend_reference(cap, stop))
        return false;
    stats.reference_seconds = seconds_since(start);
    const auto tables_start = std::chrono::steady_clock::now();
    // The farthest pixel, a corner, is (320, 240) steps from the centre: 400
    // steps; the margin covers the rounding of the offsets.
    if (with_bla)
        build_bla(reference_orbit(), pixel_step * 400.001);
    stats.bla_seconds = seconds_since(tables_start);

    for (int c = 0; c < frame_width; ++c)
        offset_re[c] = (c - frame_width / 2) * pixel_step;
    for (int r = 0; r < frame_height; ++r)
        offset_im[r] = (r - frame_height / 2) * pixel_step;
    set_deep_job(job, 4.0, with_bla, stop);
    lanes_kernel = simd_level() == SimdLevel::avx512 ? deep_lanes_avx512
                 : simd_level() == SimdLevel::avx2   ? deep_lanes_avx2
                                                     : deep_lanes_sse2;
    EscapePass coarse{offset_re, offset_im, nullptr, coarse_grid, nullptr, cap, {0}, {0}};
    run_on_every_core(deep_task, &coarse);
    add_pass(coarse);
    EscapePass fine{offset_re, offset_im, coarse_grid, frame.pixels, &blocks, cap, {0}, {0}};
    if (!job.stopped)
        run_on_every_core(deep_task, &fine);
    add_pass(fine);
    stats.steps = job.steps;
    stats.frame_seconds = seconds_since(start);
    return !job.stopped;
}

const DeepFrameStats& last_deep_frame_stats()
{
    return stats;
}

const BlockFlags& deep_block_flags()
{
    return blocks;
}

}  // namespace zqv
