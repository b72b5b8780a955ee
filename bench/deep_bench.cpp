// Deep frames timed: for each location and depth, the reference orbit's time,
// the tables' time, the frame's time, the effective rate (the sum of every
// computed point's count over the frame's time) and the mean iterations per
// step; then a frame by plain perturbation (no tables) against the double
// kernel's rate.
#include "bench/deep_bench.h"

#include <chrono>
#include <cstdio>

#include "fractal/frame/fast_frame.h"
#include "fractal/frame/view.h"

#include "fractal/deep/deep_frame.h"

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

// Computes the frame of the location at this width; false if the frame was stopped.
DeepFrameStats deep_frame(const DeepBenchLocation& at, const char* width, bool with_bla)
{
    const Decimal w = *parse_decimal(width);
    const double step = decimal_quotient_to_double(w, 640);
    DeepZoom zoom =
        start_deep_zoom(*parse_decimal(at.centre_re), *parse_decimal(at.centre_im), fraction_bits_for_step(step));
    BlockFlags blocks;
    DeepFrameStats stats;
    compute_deep_frame(zoom, frame, blocks, stats, step, at.cap, with_bla, nullptr);
    return stats;
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
    for (const DeepBenchLocation* at : {&near_i, &seahorse_path}) {
        for (const char* width : depths) {
            const DeepFrameStats& s = deep_frame(*at, width, true);
            const double rate = static_cast<double>(s.iterations) / s.frame_seconds;
            std::printf("%-14s %7s %7u %8.3f %8.3f %9.2f %10.0f %8.2f G/s %9.1f  (%.1f x double)\n", at->name, width,
                        at->cap, s.reference_seconds, s.bla_seconds, s.frame_seconds,
                        static_cast<double>(s.iterations) / static_cast<double>(s.points), rate * 1e-9,
                        static_cast<double>(s.iterations) / static_cast<double>(s.steps), rate / double_rate);
        }
    }
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
