// Deep frames timed: for each location and depth, the reference orbit's time,
// the tables' time, the frame's time, the effective rate (the sum of every
// computed point's count over the frame's time) and the mean iterations per
// step; the same past double's range, near i down to 1e-5000; a minibrot's
// end with and without finding its inside points early; then a frame by
// plain perturbation (no tables) against the double kernel's rate.
#include "bench/deep_bench.h"

#include <chrono>
#include <cstdio>

#include "fractal/frame/fast_frame.h"
#include "fractal/frame/view.h"

#include <string>

#include "fractal/deep/deep_frame.h"
#include "fractal/deep/deep_grid.h"
#include "fractal/grid/grid_point.h"

namespace zqv {

namespace {

struct DeepBenchLocation {
    const char* name;
    const char* centre_re;
    const char* centre_im;
    std::uint32_t cap;
};

// Near the Misiurewicz point i, where the dendrite has structure at every
// depth and counts stay in the hundreds; and a path into the seahorse valley
// that keeps to the boundary, zoomed by 8 at a time towards a point of a
// count near 3000 + 150 per step, so the counts climb with depth (about
// 9,000 at 1e-50, 17,000 at 1e-100, 40,000 at 1e-250).
const DeepBenchLocation near_i = {
    "near i", "1.2345e-260",
    "1.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000056789",
    8192};
const DeepBenchLocation seahorse_path = {
    "seahorse path",
    "-0.74364383835314015337701612511147046440166254839188344440286526699374605697698382915597058200497213743202358"
    "39907642905158157992540628838335016936713013996383529300984676389647393002270821220303314382346049964113460181"
    "51649147064061054456616147961236347172466846322390493578042312804405731724976415636",
    "0.131825844444720246438436141337515439076140469758391981080212608968668596762038777120994660672077695146954323"
    "60291885715103583245165640259168285109615462720573932178666479046923617833540253748187043832196723936241987363"
    "4082895006769642870533543791243784228912501204088571360186557642086979088065647072",
    262144};

const char* const depths[] = {"1e-50", "1e-100", "1e-250"};

Frame frame;

// The pixel step of a frame of this width, with its exponent apart narrower than 1e-300.
void frame_step(const char* width, double& step, int& step_exponent)
{
    const Decimal w = *parse_decimal(width);
    const FloatExp wide = decimal_quotient_to_floatexp(w, 640);
    const bool in_range = to_double(decimal_to_floatexp(w)) >= 1e-300;
    step = in_range ? to_double(wide) : wide.m;
    step_exponent = in_range ? 0 : wide.e;
}

// Computes the frame of the location at this width.
DeepFrameStats deep_frame(const DeepBenchLocation& at, const char* width, bool with_bla)
{
    double step;
    int step_exponent;
    frame_step(width, step, step_exponent);
    DeepZoom zoom = start_deep_zoom(*parse_decimal(at.centre_re), *parse_decimal(at.centre_im),
                                    fraction_bits_for_step(step, step_exponent));
    BlockFlags blocks;
    DeepFrameStats stats;
    compute_deep_frame(zoom, frame, blocks, stats, step, at.cap, with_bla, nullptr, step_exponent);
    return stats;
}

void print_row(const char* name, const char* width, std::uint32_t cap, const DeepFrameStats& s, double double_rate)
{
    const double rate = static_cast<double>(s.iterations) / s.frame_seconds;
    std::printf("%-14s %7s %7u %8.3f %8.3f %9.2f %10.0f %8.2f G/s %9.1f  (%.1f x double)\n", name, width, cap,
                s.reference_seconds, s.bla_seconds, s.frame_seconds,
                static_cast<double>(s.iterations) / static_cast<double>(s.points), rate * 1e-9,
                static_cast<double>(s.iterations) / static_cast<double>(s.steps), rate / double_rate);
}

// Near i at depth d: i moved by digits at the depth, so that the view at
// width 10^-d holds the dendrite's structure (counts about 2.7 d).
struct NearI {
    std::string re, im;
    std::string width;
};

NearI near_i_at(int depth)
{
    return {"-3.25e-" + std::to_string(depth + 1), "1." + std::string(depth + 1, '0') + "56789",
            "1e-" + std::to_string(depth)};
}

// The nucleus of the period-5184 minibrot of the seahorse path (Newton's
// method from the seahorse path's centre), about 5e-48 across.
const char* const minibrot_re = "-0.74364383835314015337701619930019487884721346882191931043208773060936107970968548";
const char* const minibrot_im = "0.131825844444720246438436167570007876367948940087606759282608840818722960930580534";

// A 640 x 480 grid (a key frame's points, none filled in) of the minibrot's
// end at the cap, with or without finding inside points early: its seconds
// besides the reference orbit's, and the share inside.
double minibrot_grid_seconds(bool watch_inside, double& inside_share)
{
    const GridLayout layout{decimal_to_double(*parse_decimal(minibrot_re)), decimal_to_double(*parse_decimal(minibrot_im)),
                            4e-48 / 640, 640, 480, 1000000};
    DeepZoom zoom =
        start_deep_zoom(*parse_decimal(minibrot_re), *parse_decimal(minibrot_im), fraction_bits_for_step(layout.step));
    zoom.watch_inside = watch_inside;
    extend_reference(zoom.orbit, deep_grid_point_cap(layout.cap), nullptr);
    GridValues values;
    const auto start = std::chrono::steady_clock::now();
    compute_deep_grid(zoom, layout, values, nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::size_t inside = 0;
    for (const std::uint32_t count : values.counts)
        inside += count == grid_inside;
    inside_share = static_cast<double>(inside) / static_cast<double>(values.counts.size());
    return seconds;
}

// The double kernel's iterations per second on the first 30 frames of the
// Generate Only view, at the program's cap.
double double_rate_now()
{
    set_max_iterations(2048);
    set_view(0.2652315027667616, 0.0030612312511513, 215.04);
    double iterations = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30; ++i) {
        compute_frame(frame);
        iterations += static_cast<double>(last_frame_iterations());
        halve_width();
    }
    return iterations / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void run_deep_bench(double double_rate)
{
    std::printf("\ndeep frames (640 x 480, every core)\n%-14s %7s %7s %8s %8s %9s %10s %11s %9s\n", "location", "width",
                "cap", "orbit s", "tables s", "frame s", "mean count", "effective", "per step");
    for (const DeepBenchLocation* at : {&near_i, &seahorse_path})
        for (const char* width : depths)
            print_row(at->name, width, at->cap, deep_frame(*at, width, true), double_rate);
    // Past double's range, and at 1e-250 for the same kind of view.
    for (const int depth : {250, 400, 1000, 5000}) {
        const NearI at = near_i_at(depth);
        const std::uint32_t cap = 65536;
        print_row("near i, deep", at.width.c_str(), cap,
                  deep_frame({"", at.re.c_str(), at.im.c_str(), cap}, at.width.c_str(), true), double_rate);
    }
    double with_share, without_share;
    const double with = minibrot_grid_seconds(true, with_share), without = minibrot_grid_seconds(false, without_share);
    std::printf("minibrot end (period 5184, width 4e-48, 640 x 480 points, cap 1000000, %.0f%% inside): %.2f s, "
                "%.2f s without finding the inside early (%.1f x)\n",
                100.0 * with_share, with, without, without / with);
    // Plain perturbation against the double kernel timed just before it, on
    // points of long orbits, so the machine's load is about the same for both.
    const double double_now = double_rate_now();
    const DeepFrameStats& plain = deep_frame(seahorse_path, "1e-50", false);
    const double plain_rate = static_cast<double>(plain.iterations) / plain.frame_seconds;
    std::printf("perturbation without tables, seahorse path at 1e-50: %.3f G iterations/s, %.0f%% of the double "
                "kernel's %.3f G/s (%.3f G/s in the views above)\n",
                plain_rate * 1e-9, 100.0 * plain_rate / double_now, double_now * 1e-9, double_rate * 1e-9);
}

}  // namespace zqv
