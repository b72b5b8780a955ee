// Times the frame computation on the first frame of each start view.
#include <chrono>
#include <cstdio>

#include "fractal/frame.h"
#include "fractal/view.h"

namespace {

Frame frame;

struct StartView {
    const char* name;
    double centre_re, centre_im, width;
};

const StartView start_views[] = {
    {"New", 0.2652315023763047, 0.0030612322139956, 6.72},
    {"New (Recorded)", -0.74723394, 0.12526091, 13.44},
    {"Generate Only", 0.2652315027667616, 0.0030612312511513, 215.04},
};

}  // namespace

int main()
{
    set_max_iterations(2048);
    for (const StartView& s : start_views) {
        set_view(s.centre_re, s.centre_im, s.width);
        const auto start = std::chrono::steady_clock::now();
        compute_frame_reference(frame);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        std::printf("%-16s scalar %8.2f ms\n", s.name, took.count());
    }
    return 0;
}
