// The fast frame against the scalar definition, at every instruction-set
// level this processor has: frames and block grids must be the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "fractal/frame/fast_frame.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

using namespace zqv;

namespace {

Frame reference_frame;
Frame fast_frame;
BlockFlags reference_blocks;

class FastFrame : public testing::TestWithParam<SimdLevel> {
protected:
    void SetUp() override
    {
        if (GetParam() > best_simd_level())
            GTEST_SKIP() << "the processor lacks this level";
        use_simd_level(GetParam());
        ASSERT_EQ(simd_level(), GetParam());
    }
    void TearDown() override
    {
        use_simd_level(best_simd_level());
        set_max_iterations(2048);
    }
};

// Computes the frame both ways for the current view and cap; the fast one
// into a frame full of other bytes, since every byte must be written.
void expect_same_frames(const char* what)
{
    compute_frame_reference(reference_frame, reference_blocks);
    std::memset(&fast_frame, 0xa5, sizeof fast_frame);
    compute_frame(fast_frame);
    int first = -1;
    for (int i = 0; i < frame_bytes && first < 0; ++i)
        if (reference_frame.pixels[i] != fast_frame.pixels[i])
            first = i;
    EXPECT_EQ(first, -1) << what << ": first differing pixel at row " << first / frame_width
                         << ", column " << first % frame_width;
    EXPECT_EQ(std::memcmp(&reference_blocks, &block_flags(), sizeof reference_blocks), 0)
        << what << ": block grids differ";
}

// A fixed 64-bit generator (SplitMix64), so both builds draw the same views.
std::uint64_t random_state = 0x2545f4914f6cdd1dull;
std::uint64_t next_random()
{
    std::uint64_t z = (random_state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}
double random_unit()  // [0, 1) from the top 53 bits
{
    return static_cast<double>(next_random() >> 11) * 0x1p-53;
}

// A point where the set's boundary crosses the ray from the origin (inside)
// through (dx, dy), found by bisection at cap 500.
PlanePoint boundary_point(double dx, double dy)
{
    set_max_iterations(500);
    double inside = 0.0, outside = 2.0 / std::fmax(std::fabs(dx), std::fabs(dy));  // |c| >= 2
    for (int i = 0; i < 48; ++i) {
        const double mid = 0.5 * (inside + outside);
        (escape_count(mid * dx, mid * dy) == 500 ? inside : outside) = mid;
    }
    return {outside * dx, outside * dy};
}

TEST_P(FastFrame, EqualsTheReferenceOnRandomViewsNearTheBoundary)
{
    for (int n = 0; n < 12; ++n) {
        const PlanePoint c = boundary_point(2.0 * random_unit() - 1.0, 2.0 * random_unit() - 1.0);
        const double width = std::ldexp(4.0, -static_cast<int>(next_random() % 44));  // 4 .. 2^-41
        const auto cap = static_cast<std::uint32_t>(1 + next_random() % 700);
        set_view(c.re, c.im, width);
        set_max_iterations(cap);
        SCOPED_TRACE(testing::Message() << "view " << n << ": " << c.re << ", " << c.im << ", width "
                                        << width << ", cap " << cap);
        expect_same_frames("random view");
    }
}

TEST_P(FastFrame, EqualsTheReferenceOnEdgeViewsAndCaps)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Edge {
        const char* what;
        double centre_re, centre_im, width;
        std::uint32_t cap;
    };
    const Edge edges[] = {
        {"NaN centre", nan, 0.0, 1.0, 300},
        {"NaN width", -0.5, 0.0, nan, 20},
        {"infinite width", -0.5, 0.0, inf, 20},
        {"zero width", -0.74723394, 0.12526091, 0.0, 2048},
        {"width past overflow", 0.0, 0.0, 1e308, 50},
        {"subnormal steps", -0.75, 0.1, 1e-310, 100},
        {"cap 0", -0.5, 0.0, 3.0, 0},
        // Caps below, at and past the iterations a lane runs between looks.
        {"cap 1", -0.5, 0.0, 3.0, 1},
        {"cap 2", -0.5, 0.0, 3.0, 2},
        {"cap 7", -0.74723394, 0.12526091, 0.05, 7},
        {"cap 8", -0.74723394, 0.12526091, 0.05, 8},
        {"cap 9", -0.74723394, 0.12526091, 0.05, 9},
        {"cap 257", -0.74723394, 0.12526091, 0.05, 257},
        // Corners 258 and 2 are both stored as 2: the block is filled.
        {"corners equal modulo 256", 0.0, 0.0, 256.0, 258},
        {"wholly inside the set", 0.0, 0.0, 0.1, 2048},
        {"Generate Only start", 0.2652315027667616, 0.0030612312511513, 215.04, 2048},
    };
    for (const Edge& e : edges) {
        set_view(e.centre_re, e.centre_im, e.width);
        set_max_iterations(e.cap);
        expect_same_frames(e.what);
    }
}

// The tally the benchmark divides by its time: every computed point's count.
TEST_P(FastFrame, CountsTheIterationsOfEveryComputedPoint)
{
    set_view(0.0, 0.0, 0.1);  // all inside: the coarse samples and the last block row and column
    set_max_iterations(2048);
    compute_frame(fast_frame);
    const std::uint64_t points = block_rows * block_columns + (block_rows + block_columns - 1) * 25;
    EXPECT_EQ(last_frame_iterations(), points * 2048);

    set_max_iterations(0);
    compute_frame(fast_frame);
    EXPECT_EQ(last_frame_iterations(), 0u);
}

// What the pool's threads saw: each run counts itself out after a while.
struct PoolTally {
    std::thread::id caller;
    std::atomic<int> finished{0};
    bool workers_dawdle = false;
    std::mutex mutex;
    std::set<std::thread::id> threads;
};

void tally_run(void* argument)
{
    PoolTally& t = *static_cast<PoolTally*>(argument);
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.threads.insert(std::this_thread::get_id());
    }
    if (t.workers_dawdle && std::this_thread::get_id() != t.caller)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ++t.finished;
}

TEST(WorkerPool, RunsTheTaskOnEveryCoreAndReturnsWhenAllHaveFinished)
{
    const int cores = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
    PoolTally tally;
    tally.caller = std::this_thread::get_id();
    for (int round = 0; round < 1000; ++round) {
        tally.workers_dawdle = round % 50 == 0;  // the caller must wait for late workers
        tally.finished = 0;
        run_on_every_core(tally_run, &tally);
        ASSERT_EQ(tally.finished, cores) << "round " << round;
    }
    EXPECT_EQ(static_cast<int>(tally.threads.size()), cores);
}

std::string level_name(const testing::TestParamInfo<SimdLevel>& info)
{
    const char* const names[] = {"Sse2", "Avx2", "Avx512"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Levels, FastFrame,
                         testing::Values(SimdLevel::sse2, SimdLevel::avx2, SimdLevel::avx512), level_name);

}  // namespace
