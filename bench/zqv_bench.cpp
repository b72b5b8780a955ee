// Times the scalar and the fast frame computation on the first frames of the
// three start views' zooms, checks that every fast frame and block grid
// equals the scalar one, and times one composition of the display image.
// The last line sums it up, and the deep engine's table follows
// (bench/deep_bench.cpp); the exit status is 1 if any frame differed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/program.h"
#include "bench/deep_bench.h"
#include "fractal/frame/fast_frame.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "fractal/lanes/simd_level.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

Frame scalar_frame;
Frame fast_frame;
BlockFlags scalar_blocks;

struct BenchView {
    const char* name;
    const StartView& start;
    int frames;  // the view, then halved once per frame
};

const BenchView bench_views[] = {
    {"New", new_view, 40},
    {"Generate Only", generate_only_view, 40},
    {"New (Recorded)", new_recorded_view, 30},
};

const char* const level_names[] = {"SSE2", "AVX2", "AVX-512"};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Mean time of one compose_display of the first picture of the New view.
double compose_seconds()
{
    set_view(new_view.centre_re, new_view.centre_im, new_view.width);
    generate_ring();
    constexpr int repeats = 200;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i)
        compose_display();
    return seconds_since(start) / repeats;
}

}  // namespace

int main()
{
    start_program();  // the program's cap, 2048
    std::printf("fast: %s on %u cores; cap 2048\n", level_names[static_cast<int>(simd_level())],
                std::thread::hardware_concurrency());
    std::printf("%-16s %6s %11s %9s %8s %11s\n", "view", "frames", "scalar ms", "fast ms", "speedup",
                "fast Git/s");

    int total_frames = 0;
    double total_scalar = 0.0, total_fast = 0.0, total_fast_iterations = 0.0;
    bool identical = true;
    for (const BenchView& b : bench_views) {
        set_view(b.start.centre_re, b.start.centre_im, b.start.width);
        double scalar = 0.0, fast = 0.0, iterations = 0.0;
        for (int i = 0; i < b.frames; ++i) {
            auto start = std::chrono::steady_clock::now();
            compute_frame_reference(scalar_frame, scalar_blocks);
            scalar += seconds_since(start);

            start = std::chrono::steady_clock::now();
            compute_frame(fast_frame);
            fast += seconds_since(start);
            iterations += static_cast<double>(last_frame_iterations());

            if (std::memcmp(&scalar_frame, &fast_frame, sizeof fast_frame) != 0 ||
                std::memcmp(&scalar_blocks, &block_flags(), sizeof scalar_blocks) != 0) {
                std::printf("%s frame %d: the fast frame differs\n", b.name, i);
                identical = false;
            }
            halve_width();
        }
        std::printf("%-16s %6d %11.1f %9.1f %8.2f %11.2f\n", b.name, b.frames, scalar * 1e3, fast * 1e3,
                    scalar / fast, iterations / fast * 1e-9);
        total_frames += b.frames;
        total_scalar += scalar;
        total_fast += fast;
        total_fast_iterations += iterations;
    }

    std::printf("compose_display: %.3f ms\n", compose_seconds() * 1e3);
    std::printf("total: frames %d scalar %.2f s fast %.2f s speedup %.2f identical %s\n", total_frames,
                total_scalar, total_fast, total_scalar / total_fast, identical ? "yes" : "no");
    run_deep_bench(total_fast_iterations / total_fast);
    return identical ? 0 : 1;
}
