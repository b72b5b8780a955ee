// View geometry, escape counts and whole frames of the scalar definition.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "test_support.h"

using namespace zqv;

namespace {

Frame frame;
BlockFlags blocks;

struct CapGuard {  // every test leaves the cap as the program has it
    ~CapGuard() { set_max_iterations(2048); }
};

TEST(View, DerivedFieldsAreExactDoubles)
{
    set_view(0.2652315023763047, 0.0030612322139956, 6.72);
    const ViewState& v = view_state();
    EXPECT_EQ(v.height, 5.04);
    EXPECT_EQ(v.left, -3.0947684976236953);
    EXPECT_EQ(v.right, 3.6252315023763044);
    EXPECT_EQ(v.top, 0.0030612322139956 + 5.04 * 0.5);
    EXPECT_EQ(v.bottom, 0.0030612322139956 - 5.04 * 0.5);
    EXPECT_EQ(v.step_re, 0.0105);
    EXPECT_EQ(v.coarse_step_re, 0.052500000000000005);
    EXPECT_EQ(v.step_im, 5.04 * 0.0020833333333333333);
    EXPECT_EQ(v.coarse_step_im, (5.04 * 5.0) * 0.0020833333333333333);
    EXPECT_EQ(get_width(), 6.72);
    EXPECT_EQ(get_centre().re, 0.2652315023763047);
    EXPECT_EQ(get_centre().im, 0.0030612322139956);
}

TEST(View, HalvingWideningAndRecentringKeepTheDerivedFieldsCurrent)
{
    set_view(-0.74723394, 0.12526091, 13.44);
    for (int i = 0; i < 4; ++i)
        halve_width();
    EXPECT_EQ(get_width(), 13.44 / 16);
    EXPECT_EQ(get_centre().re, -0.74723394);
    EXPECT_EQ(get_centre().im, 0.12526091);
    EXPECT_EQ(view_state().left, -0.74723394 - (13.44 / 16) * 0.5);

    widen_view();
    EXPECT_EQ(get_width(), (13.44 / 16) * 20.0);
    EXPECT_EQ(view_state().left, -0.74723394 - ((13.44 / 16) * 20.0) * 0.5);
    EXPECT_EQ(view_state().height, ((13.44 / 16) * 20.0) * 0.75);

    set_centre(1.5, -2.0);
    EXPECT_EQ(get_width(), (13.44 / 16) * 20.0);
    EXPECT_EQ(view_state().right, 1.5 + ((13.44 / 16) * 20.0) * 0.5);
    EXPECT_EQ(view_state().top, -2.0 + ((13.44 / 16) * 20.0) * 0.75 * 0.5);
}

TEST(View, ZeroWidthMakesEveryPixelTheCentre)
{
    set_view(0.25, -0.5, 0.0);
    const ViewState& v = view_state();
    EXPECT_EQ(v.left, 0.25);
    EXPECT_EQ(v.right, 0.25);
    EXPECT_EQ(v.top, -0.5);
    EXPECT_EQ(v.bottom, -0.5);
    EXPECT_EQ(v.step_re, 0.0);
    EXPECT_EQ(v.coarse_step_im, 0.0);

    CapGuard guard;
    set_max_iterations(2048);
    compute_frame_reference(frame, blocks);
    const std::uint8_t expected = static_cast<std::uint8_t>(escape_count(0.25, -0.5));
    for (std::uint8_t byte : frame.pixels)
        ASSERT_EQ(byte, expected);
}

TEST(EscapeCount, KnownOrbits)
{
    CapGuard guard;
    set_max_iterations(2048);
    EXPECT_EQ(escape_count(3.0, 0.0), 2u);
    EXPECT_EQ(escape_count(0.0, 0.0), 2048u);
    // An orbit whose |z_n|^2 first reaches 4 at step n gets n + 1.
    EXPECT_EQ(escape_count(-2.0, 0.0), 2u);  // z1 = -2
    EXPECT_EQ(escape_count(0.0, 2.0), 2u);   // z1 = 2i
    EXPECT_EQ(escape_count(1.0, 0.0), 3u);   // 1, 2
    EXPECT_EQ(escape_count(0.5, 0.0), 6u);   // 0.5, 0.75, 1.0625, 1.6289, 3.1533
    EXPECT_EQ(escape_count(0.0, 1.0), 2048u);  // periodic: i, -1 + i, -i, ...
    EXPECT_EQ(escape_count(-1.0, 0.0), 2048u);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(escape_count(nan, 0.0), 2048u);
    EXPECT_EQ(escape_count(0.0, nan), 2048u);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(escape_count(inf, 0.0), 2u);

    set_max_iterations(5);
    EXPECT_EQ(escape_count(0.5, 0.0), 5u);
    EXPECT_EQ(escape_count(1.0, 0.0), 3u);
    set_max_iterations(1);
    EXPECT_EQ(escape_count(0.0, 0.0), 1u);
    set_max_iterations(0);
    EXPECT_EQ(escape_count(3.0, 0.0), 0u);
    EXPECT_EQ(escape_count(nan, nan), 0u);
}

TEST(Frame, ViewInsideTheSetIsAllZeroAndFilledButTheLastRowAndColumn)
{
    CapGuard guard;
    set_max_iterations(2048);
    set_view(0.0, 0.0, 0.1);
    compute_frame_reference(frame, blocks);
    for (std::uint8_t byte : frame.pixels)
        ASSERT_EQ(byte, 0);
    const BlockFlags& b = blocks;
    for (int br = 0; br < block_rows; ++br)
        for (int bc = 0; bc < block_columns; ++bc) {
            const bool edge = br == block_rows - 1 || bc == block_columns - 1;
            ASSERT_EQ(b.flags[br][bc], edge ? block_not_filled : block_filled) << br << "," << bc;
        }
}

TEST(Frame, CornersCompareAsStoredBytes)
{
    // Width 256 puts coarse samples 2.0 apart with one on the origin: the block
    // above and right of it has corners 258 (inside, at cap 258), 2, 2 and 2,
    // all stored as 2, so it is filled although the counts differ.
    CapGuard guard;
    set_max_iterations(258);
    set_view(0.0, 0.0, 256.0);
    ASSERT_EQ(view_state().left + 64 * view_state().coarse_step_re, 0.0);
    compute_frame_reference(frame, blocks);
    EXPECT_EQ(blocks.flags[48][64], block_filled);
    for (int r = 240; r < 245; ++r)
        for (int c = 320; c < 325; ++c)
            ASSERT_EQ(frame.pixels[r * frame_width + c], 2) << r << "," << c;
}

TEST(Frame, CapZeroGivesZeroBytesAndNanViewsRunToTheCap)
{
    CapGuard guard;
    set_max_iterations(0);
    set_view(-0.5, 0.0, 3.0);
    compute_frame_reference(frame, blocks);
    for (std::uint8_t byte : frame.pixels)
        ASSERT_EQ(byte, 0);

    set_max_iterations(300);  // 300 mod 256 = 44
    set_view(std::numeric_limits<double>::quiet_NaN(), 0.0, 1.0);
    compute_frame_reference(frame, blocks);
    for (std::uint8_t byte : frame.pixels)
        ASSERT_EQ(byte, 44);
}

TEST(Frame, LastBlockRowAndColumnAreComputedPointByPoint)
{
    CapGuard guard;
    set_max_iterations(2048);
    set_view(-0.74723394, 0.12526091, 0.05);
    compute_frame_reference(frame, blocks);
    const ViewState& v = view_state();
    auto check_block = [&](int br, int bc) {
        double ci = v.bottom + br * v.coarse_step_im;
        for (int rr = 0; rr < block_size; ++rr) {
            double cr = v.left + bc * v.coarse_step_re;
            for (int cc = 0; cc < block_size; ++cc) {
                const int offset = (br * block_size + rr) * frame_width + bc * block_size + cc;
                ASSERT_EQ(frame.pixels[offset], static_cast<std::uint8_t>(escape_count(cr, ci)))
                    << "block " << br << "," << bc;
                cr += v.step_re;
            }
            ci += v.step_im;
        }
    };
    for (int bc = 0; bc < block_columns; ++bc)
        check_block(block_rows - 1, bc);
    for (int br = 0; br < block_rows; ++br)
        check_block(br, block_columns - 1);
}

// Hashes of frames of the three start views, at the program's cap; the 32-bit
// Windows build must give the same bytes.
struct GoldenFrame {
    double centre_re, centre_im, width;
    int halvings;
    std::uint64_t hash;
};

const GoldenFrame golden_frames[] = {
    {0.2652315023763047, 0.0030612322139956, 6.72, 0, 0x5aac280b2c9d98aeull},
    {0.2652315023763047, 0.0030612322139956, 6.72, 9, 0x4a0bb30d0f6ca2ffull},
    {0.2652315023763047, 0.0030612322139956, 6.72, 30, 0xfcecaa600f428f43ull},
    {-0.74723394, 0.12526091, 13.44, 0, 0x2dd815e70ded6fd4ull},
    {-0.74723394, 0.12526091, 13.44, 14, 0x055d46931feef899ull},
    {0.2652315027667616, 0.0030612312511513, 215.04, 0, 0x311fb32ab7100cfeull},
    {0.2652315027667616, 0.0030612312511513, 215.04, 20, 0xf047aea0d8434673ull},
};

TEST(Frame, GoldenHashesOfTheStartViews)
{
    CapGuard guard;
    set_max_iterations(2048);
    for (const GoldenFrame& g : golden_frames) {
        set_view(g.centre_re, g.centre_im, g.width);
        for (int i = 0; i < g.halvings; ++i)
            halve_width();
        compute_frame_reference(frame, blocks);
        EXPECT_EQ(fnv1a64(frame.pixels, frame_bytes), g.hash)
            << "view width " << g.width << " halved " << g.halvings << " times";
    }
}

}  // namespace
