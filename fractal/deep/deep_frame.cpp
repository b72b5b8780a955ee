// The deep frame: the two passes of the fast frame (coarse samples, then
// blocks filled or computed point by point), fed with offsets from the
// reference instead of coordinates, and a kernel that iterates each point by
// perturbation. Every double operation is written out in one fixed order, so
// every build gives the same counts.
#include "fractal/deep/deep_frame.h"

#include <atomic>
#include <chrono>

#include "fractal/deep/deep_work.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

namespace {

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
        if (deep_stop_asked(job))
            break;
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

// A pass with the job and the kernel that takes its points.
struct DeepPass {
    EscapePass* pass;
    DeepJob* job;
    void (*lanes)(EscapePass&, DeepJob&);
};

void deep_task(void* argument)
{
    const DeepPass& p = *static_cast<DeepPass*>(argument);
    p.lanes(*p.pass, *p.job);
}

void add_pass(DeepFrameStats& stats, const EscapePass& pass)
{
    stats.iterations += pass.iterations;
    stats.points += pass.points;
    stats.capped += pass.capped;
    stats.near_cap += pass.near_cap;
    if (pass.highest_escaped > stats.highest_escaped)
        stats.highest_escaped = pass.highest_escaped;
}

}  // namespace

void build_deep_tables(DeepZoom& zoom, double largest_dc, int step_exponent)
{
    if (step_exponent == 0)
        zoom.tables = build_bla(zoom.orbit, largest_dc);
    else
        build_wide_bla(zoom.orbit, to_floatexp(largest_dc, step_exponent), step_exponent, zoom.wide, zoom.tables);
    // Points follow a cycle of the view's period only where its centre does.
    zoom.period = zoom.watch_inside && !zoom.orbit.escaped
                      ? ball_period(zoom.orbit, to_floatexp(largest_dc, step_exponent))
                      : 0;
}

bool compute_deep_frame(DeepZoom& zoom, Frame& frame, BlockFlags& blocks, DeepFrameStats& stats, double pixel_step,
                        std::uint32_t cap, bool with_bla, const std::atomic<bool>* stop, int step_exponent)
{
    const auto start = std::chrono::steady_clock::now();
    stats = DeepFrameStats{};
    if (!extend_reference(zoom.orbit, cap, stop, zoom.report, zoom.report_context))
        return false;
    stats.reference_seconds = seconds_since(start);
    const auto tables_start = std::chrono::steady_clock::now();
    // The farthest pixel, a corner, is (320, 240) steps from the centre: 400
    // steps; the margin covers the rounding of the offsets.
    if (with_bla)
        build_deep_tables(zoom, pixel_step * 400.001, step_exponent);
    stats.bla_seconds = seconds_since(tables_start);

    double offset_re[frame_width];   // dc of each column
    double offset_im[frame_height];  // dc of each row
    for (int c = 0; c < frame_width; ++c)
        offset_re[c] = (c - frame_width / 2) * pixel_step;
    for (int r = 0; r < frame_height; ++r)
        offset_im[r] = (r - frame_height / 2) * pixel_step;
    DeepJob job;
    set_deep_job(job, zoom, 4.0, with_bla, stop, step_exponent);
    void (*lanes)(EscapePass&, DeepJob&) = cap < 2                                  ? scalar_points
                                         : simd_level() == SimdLevel::avx512 ? deep_lanes_avx512
                                         : simd_level() == SimdLevel::avx2   ? deep_lanes_avx2
                                                                             : deep_lanes_sse2;
    alignas(64) std::uint8_t coarse_grid[block_rows * block_columns];
    EscapePass coarse{offset_re, offset_im, nullptr, coarse_grid, nullptr, stop, cap, {0}, {0}};
    DeepPass coarse_pass{&coarse, &job, lanes};
    run_on_every_core(deep_task, &coarse_pass);
    add_pass(stats, coarse);
    EscapePass fine{offset_re, offset_im, coarse_grid, frame.pixels, &blocks, stop, cap, {0}, {0}};
    DeepPass fine_pass{&fine, &job, lanes};
    if (!job.stopped)
        run_on_every_core(deep_task, &fine_pass);
    add_pass(stats, fine);
    stats.steps = job.steps;
    stats.frame_seconds = seconds_since(start);
    return !job.stopped;
}

}  // namespace zqv
