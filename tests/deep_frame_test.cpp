// The deep engine against an independent computation: sampled pixels of deep
// frames iterated point by point in 1100-bit floating point (Boost's
// cpp_bin_float, not the engine's fixed point, no perturbation); its lanes,
// in frames and grids, against its scalar definition; and a deep frame's
// bytes against a golden hash that both builds must give.
#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_bin_float.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "fractal/deep/deep_frame.h"
#include "fractal/deep/deep_grid.h"
#include "fractal/frame/fast_frame.h"
#include "fractal/grid/grid_point.h"
#include "fractal/lanes/simd_level.h"
#include "test_support.h"

using namespace zqv;

namespace {

template <unsigned bits>
using BigFloat = boost::multiprecision::number<
    boost::multiprecision::backends::cpp_bin_float<bits, boost::multiprecision::backends::digit_base_2>,
    boost::multiprecision::et_off>;

Frame frame;

// The count of c = (cr, ci): z_n first with
// |z_n|^2 >= radius2 (4 for frames, 65536 for grids) gives n + 1, at most cap.
template <class Big>
std::uint32_t big_escape_count(const Big& cr, const Big& ci, std::uint32_t cap, double radius2 = 4.0)
{
    Big x = 0, y = 0, xx = 0, yy = 0;
    for (std::uint32_t n = 0;; ++n) {
        xx = x * x;
        yy = y * y;
        if (xx + yy >= radius2)
            return n + 1 < cap ? n + 1 : cap;
        if (n + 1 >= cap)
            return cap;
        y = 2 * x * y + ci;
        x = xx - yy + cr;
    }
}

struct DeepCase {
    const char* centre_re;
    const char* centre_im;
    const char* width;
    std::uint32_t cap;
    int least_equal;  // of the samples
    int samples = 1000;
};

// Computes the frame, then compares 1000 sampled pixels (coarse samples and
// points of blocks computed point by point) with the independent counts
// (Big: a floating-point type wide enough for the depth): the frame byte
// must be the engine's count modulo 256, and c.least_equal of the counts
// must equal the independent ones.
template <class Big>
void check_against_multiprecision(const DeepCase& c)
{
    const Decimal re = *parse_decimal(c.centre_re), im = *parse_decimal(c.centre_im),
                  width = *parse_decimal(c.width);
    // Narrower than 1e-300, the step's exponent is given apart and the small offsets are taken at any exponent.
    const FloatExp wide_step = decimal_quotient_to_floatexp(width, frame_width);
    const bool wide = decimal_to_double(width) < 1e-300;
    const double step = wide ? wide_step.m : to_double(wide_step);
    const int step_exponent = wide ? wide_step.e : 0;
    DeepZoom zoom = start_deep_zoom(re, im, fraction_bits_for_step(step, step_exponent));
    BlockFlags blocks;
    DeepFrameStats stats;
    ASSERT_TRUE(compute_deep_frame(zoom, frame, blocks, stats, step, c.cap, true, nullptr, step_exponent));
    const Big big_re(c.centre_re), big_im(c.centre_im), big_step = Big(c.width) / frame_width;

    int sampled = 0, equal = 0, at_cap = 0;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };  // Numerical Recipes' LCG
    while (sampled < c.samples) {
        int r = static_cast<int>(next() >> 8) % frame_height, col = static_cast<int>(next() >> 8) % frame_width;
        if (sampled % 2 == 0) {  // a coarse sample
            r -= r % block_size;
            col -= col % block_size;
        } else if (blocks.flags[r / block_size][col / block_size] != block_not_filled) {
            continue;
        }
        const double dcr = (col - frame_width / 2) * step, dci = (r - frame_height / 2) * step;
        const std::uint32_t engine = deep_escape(zoom, dcr, dci, c.cap, 4.0, true, step_exponent).count;
        ASSERT_EQ(frame.pixels[r * frame_width + col], static_cast<std::uint8_t>(engine)) << r << ", " << col;
        const std::uint32_t truth = big_escape_count(big_re + (col - frame_width / 2) * big_step,
                                                     big_im + (r - frame_height / 2) * big_step, c.cap);
        ++sampled;
        equal += engine == truth;
        at_cap += truth == c.cap;
    }
    EXPECT_GE(equal, c.least_equal) << c.width << ": " << equal << " of " << sampled << " counts equal";
    EXPECT_LT(at_cap, sampled / 2) << c.width << ": the samples are mostly inside the set";
}

// Near the Misiurewicz point i, the dendrite has structure at every depth;
// the centres are moved off i by digits at the depth, so the reference orbit
// is a generic one that escapes and the rebasing at its end is exercised.
TEST(DeepFrame, CountsMatchMultiprecisionAtThreeDepths)
{
    const DeepCase cases[] = {
        {"0.0000000000000000000012345", "1.0000000000000000000056789", "1e-20", 4096, 999},
        {"1.2345e-81", "1.0000000000000000000000000000000000000000000000000000000000000000000000000000000056789",
         "1e-80", 8192, 999},
        {"-3.25e-251", "1.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                       "00000000000000000000000000000000000000000000000000000000000000000000000000000041",
         "1e-250", 16384, 999},
    };
    for (const DeepCase& c : cases)
        check_against_multiprecision<BigFloat<1100>>(c);
}

// 1 and, from the depth-th place after the point on, the digits given.
std::string near_i(int depth, const char* last_digits)
{
    return "1." + std::string(depth - 1, '0') + last_digits;
}

// Past 1e-300, where the offsets and the small z of each point leave a
// double's exponent range: fewer samples at the depths whose independent
// counts take long (a multiplication of 17,000 bits takes about 40 µs, on the
// 32-bit build several times that).
TEST(DeepFrame, CountsMatchMultiprecisionPastDoubleRange)
{
    const std::string im400 = near_i(402, "56789"), im1000 = near_i(1002, "56789"), im5000 = near_i(5002, "41");
    check_against_multiprecision<BigFloat<1500>>({"-3.25e-401", im400.c_str(), "1e-400", 8192, 999});
    check_against_multiprecision<BigFloat<3500>>({"1.5e-1001", im1000.c_str(), "1e-1000", 16384, 99, 100});
    check_against_multiprecision<BigFloat<16800>>({"-7e-5001", im5000.c_str(), "1e-5000", 32768, 2, 2});
}

// Where every count is in the thousands, on the seahorse path of zqv_bench
// (its centre to 60 digits), the tables carry points through most of their
// orbits: a wrong radius or block shows here. Long orbits amplify double
// rounding, so plain perturbation itself misses about 2 counts in 1000.
TEST(DeepFrame, CountsMatchMultiprecisionWhereCountsAreHigh)
{
    check_against_multiprecision<BigFloat<256>>({"-0.743643838353140153377016125111470464401662548391883444402865",
                                                 "0.131825844444720246438436141337515439076140469758391981080212",
                                                 "1e-20", 65536, 995});
}

// Sampled points of a minibrot's end (the view centred on its nucleus) that
// the engine gives the cap: each must stay bounded to the cap under the
// independent iteration, and most must have been found inside early (in
// fewer than a tenth of the steps iterating them would take).
template <class Big>
void check_inside(const std::string& centre_re, const std::string& centre_im, const char* width, std::uint32_t cap,
                  int samples)
{
    const FloatExp wide_step = decimal_quotient_to_floatexp(*parse_decimal(width), frame_width);
    const bool wide = to_double(decimal_to_floatexp(*parse_decimal(width))) < 1e-300;
    const double step = wide ? wide_step.m : to_double(wide_step);
    const int step_exponent = wide ? wide_step.e : 0;
    DeepZoom zoom = start_deep_zoom(*parse_decimal(centre_re), *parse_decimal(centre_im),
                                    fraction_bits_for_step(step, step_exponent));
    ASSERT_TRUE(extend_reference(zoom.orbit, cap, nullptr));
    build_deep_tables(zoom, step * 400.001, step_exponent);
    ASSERT_NE(zoom.period, 0u);
    const Big big_re(centre_re), big_im(centre_im), big_step = Big(width) / frame_width;
    int at_cap = 0, early = 0;
    std::uint32_t seed = 2024;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int k = 0; k < samples; ++k) {
        const int r = static_cast<int>(next() >> 8) % frame_height, c = static_cast<int>(next() >> 8) % frame_width;
        const DeepCount point =
            deep_escape(zoom, (c - frame_width / 2) * step, (r - frame_height / 2) * step, cap, grid_escape_radius2,
                        true, step_exponent);
        if (point.count != cap)
            continue;
        ++at_cap;
        early += point.steps < cap / 10;
        EXPECT_EQ(big_escape_count(big_re + (c - frame_width / 2) * big_step,
                                   big_im + (r - frame_height / 2) * big_step, cap, grid_escape_radius2),
                  cap)
            << width << ": pixel " << r << ", " << c << " was found inside but escapes";
    }
    EXPECT_GE(at_cap, samples / 2) << width;
    EXPECT_GE(early * 10, at_cap * 9) << width << ": " << early << " of " << at_cap << " found inside early";
}

// The period-5184 minibrot of the seahorse path (about 5e-48 across, its
// nucleus found by Newton's method), and the period-337 one on the real axis
// near -2 (about 5e-403 across): past double's range, where the points'
// values near 0 are taken at any exponent.
TEST(DeepFrame, PointsFoundInsideStayInside)
{
    check_inside<BigFloat<256>>("-0.74364383835314015337701619930019487884721346882191931043208773060936107970968",
                                "0.131825844444720246438436167570007876367948940087606759282608840818722960930580", "3e-48", 40000, 100);
    const std::string nucleus = "-1." + std::string(200, '9') +
        "0745136729655920957316328955613782394070523811580754404477974624328119291491325679037395328844726724"
        "1328824343661441390673001602477400939776800645207486965840297487728062057864115575075818119822539221"
        "4443029762595801616650548048625042594679543736700529529470947779219";
    check_inside<BigFloat<1500>>(nucleus, "0", "4e-403", 20000, 32);
}

// The deep lane kernels: each instruction-set level, and AVX-512 reading
// the reference by loads and by gathers.
struct LaneKernel {
    SimdLevel level;
    bool gathers;
    const char* name;
};
const LaneKernel lane_kernels[] = {{SimdLevel::sse2, false, "SSE2"},
                                   {SimdLevel::avx2, false, "AVX2"},
                                   {SimdLevel::avx512, false, "AVX-512 with loads"},
                                   {SimdLevel::avx512, true, "AVX-512 with gathers"}};

// Chooses the kernel, at most the processor's best level: false if above it.
bool use_lane_kernel(const LaneKernel& kernel)
{
    use_simd_level(kernel.level);
    use_orbit_gathers(kernel.gathers);
    return kernel.level <= best_simd_level();
}

// The lane kernels against the scalar definition, each that this processor
// can run, with and without the tables: every computed pixel (coarse
// samples and points of unfilled blocks) of deep frames, and the steps they
// took in all. Near i at 1e-80; on the seahorse path at 1e-30, where most
// steps are blocks and every point reaches the cap; and just outside the
// cardioid's cusp, where the reference escapes after about 300 iterations
// and the points inside rebase at the orbit's end again and again.
TEST(DeepFrame, LanesEqualTheDefinition)
{
    const bool orbit_reads = orbit_gathers();
    struct LaneCase {
        std::string re, im, width;
        std::uint32_t cap;
    };
    const char* const seahorse_re = "-0.743643838353140153377016125111470464401662548391883444402865266993746";
    const char* const seahorse_im = "0.131825844444720246438436141337515439076140469758391981080212608968668";
    const LaneCase cases[] = {
        {"1.2345e-81", "1." + std::string(82, '0') + "56789", "1e-80", 4096},
        {seahorse_re, seahorse_im, "1e-30", 5000},
        {"0.2501", "0", "4e-4", 3000}};
    for (const LaneCase& at : cases) {
        const Decimal re = *parse_decimal(at.re), im = *parse_decimal(at.im), width = *parse_decimal(at.width);
        const double step = decimal_quotient_to_double(width, frame_width);
        DeepZoom zoom = start_deep_zoom(re, im, fraction_bits_for_step(step));
        for (const bool with_bla : {true, false}) {
            // The definition's count and steps of each pixel, once it has been asked for.
            std::vector<DeepCount> definition(static_cast<std::size_t>(frame_width) * frame_height, DeepCount{0, 0, 0.0});
            for (const LaneKernel& kernel : lane_kernels) {
                if (!use_lane_kernel(kernel))
                    continue;
                BlockFlags blocks;
                DeepFrameStats stats;
                ASSERT_TRUE(compute_deep_frame(zoom, frame, blocks, stats, step, at.cap, with_bla, nullptr));
                // The frame computes every block's corner, then every point of the blocks not filled, the
                // corner again among them.
                int differ = 0, computed = 0;
                std::uint64_t steps = 0;
                for (int r = 0; r < frame_height; ++r) {
                    for (int c = 0; c < frame_width; ++c) {
                        const int times = (r % block_size == 0 && c % block_size == 0) +
                                          (blocks.flags[r / block_size][c / block_size] == block_not_filled);
                        if (times == 0)
                            continue;
                        DeepCount& point = definition[static_cast<std::size_t>(r) * frame_width + c];
                        if (point.count == 0)
                            point = deep_escape(zoom, (c - frame_width / 2) * step, (r - frame_height / 2) * step,
                                                at.cap, 4.0, with_bla);
                        ++computed;
                        steps += times * point.steps;
                        differ += frame.pixels[r * frame_width + c] != static_cast<std::uint8_t>(point.count);
                    }
                }
                EXPECT_EQ(differ, 0) << at.width << ", " << kernel.name << (with_bla ? " with" : " without")
                                     << " tables, of " << computed << " computed pixels";
                EXPECT_EQ(stats.steps, steps) << at.width << ", " << kernel.name
                                              << (with_bla ? " with" : " without") << " tables";
            }
        }
    }

    // Deep grids' points (the render's count convention, radius 256) likewise: near i, and on the seahorse
    // path at a cap where the view has a period, so that points are watched for its cycle and found inside.
    const struct {
        LaneCase at;
        bool watched;
    } grids[] = {{cases[0], false}, {{seahorse_re, seahorse_im, "1e-30", 6000}, true}};
    for (const auto& [at, watched] : grids) {
        const Decimal re = *parse_decimal(at.re), im = *parse_decimal(at.im), width = *parse_decimal(at.width);
        const double step = decimal_quotient_to_double(width, frame_width);
        DeepZoom zoom = start_deep_zoom(re, im, fraction_bits_for_step(step));
        const GridLayout layout{decimal_to_double(re), decimal_to_double(im), step, 96, 64, at.cap};
        // The definition's value of each point in the grid's convention, from the orbit and tables the first
        // grid left.
        GridValues expected;
        for (const LaneKernel& kernel : lane_kernels) {
            if (!use_lane_kernel(kernel))
                continue;
            GridValues values;
            ASSERT_TRUE(compute_deep_grid(zoom, layout, values, nullptr));
            for (int j = 0; expected.counts.size() < values.counts.size(); ++j)
                for (int i = 0; i < layout.width; ++i) {
                    const DeepCount point =
                        deep_escape(zoom, (i - layout.width / 2) * step, (layout.height / 2 - j) * step,
                                    deep_grid_point_cap(layout.cap), grid_escape_radius2, true);
                    const bool escaped = point.count < deep_grid_point_cap(layout.cap);
                    expected.counts.push_back(escaped ? point.count - 1 : grid_inside);
                    expected.fractions.push_back(escaped ? smooth_fraction(point.magnitude2) : 0);
                }
            EXPECT_TRUE(values.counts == expected.counts && values.fractions == expected.fractions)
                << at.width << ", " << kernel.name;
        }
        EXPECT_EQ(zoom.period != 0, watched) << at.width;
    }
    use_lane_kernel({SimdLevel::avx512, orbit_reads, ""});
}

// One deep frame's bytes, the same on the 64-bit and the 32-bit build: at
// the Misiurewicz point i itself, whose orbit never escapes, so the frame's
// points are rebased at the end of the reference as well as near zero.
TEST(DeepFrame, FrameBytesAreTheSameOnEveryBuild)
{
    const Decimal re = *parse_decimal("0"), im = *parse_decimal("1"), width = *parse_decimal("3e-150");
    const double step = decimal_quotient_to_double(width, frame_width);
    DeepZoom zoom = start_deep_zoom(re, im, fraction_bits_for_step(step));
    BlockFlags blocks;
    DeepFrameStats stats;
    ASSERT_TRUE(compute_deep_frame(zoom, frame, blocks, stats, step, 2048, true, nullptr));
    EXPECT_EQ(fnv1a64(frame.pixels, sizeof frame.pixels), 0x1a53fbd29931e3d7ull);  // both builds must give it

    // Past 1e-300 likewise, with the step's exponent apart.
    const FloatExp wide_step = decimal_quotient_to_floatexp(*parse_decimal("3e-450"), frame_width);
    DeepZoom wide = start_deep_zoom(re, im, fraction_bits_for_step(wide_step.m, wide_step.e));
    ASSERT_TRUE(compute_deep_frame(wide, frame, blocks, stats, wide_step.m, 4096, true, nullptr, wide_step.e));
    EXPECT_EQ(fnv1a64(frame.pixels, sizeof frame.pixels), 0x8ddfe02238debd2dull);
}

}  // namespace

namespace {

bool same_orbit(const ReferenceOrbit& a, const ReferenceOrbit& b)
{
    if (a.z != b.z || a.escaped != b.escaped || a.tiny.size() != b.tiny.size())
        return false;
    for (std::size_t i = 0; i < a.tiny.size(); ++i)
        if (a.tiny[i].m != b.tiny[i].m || a.tiny[i].z.re != b.tiny[i].z.re || a.tiny[i].z.im != b.tiny[i].z.im ||
            a.tiny[i].z.e != b.tiny[i].z.e)
            return false;
    return true;
}

}  // namespace

// A reference orbit kept as bytes and taken back is the one computed, and
// goes on as it would: one that escapes, and one of iterates below double's
// range (c = 1e-400). Bytes of another centre or precision, cut short, or
// longer than the orbit asked for are refused, leaving the orbit as it was.
TEST(DeepFrame, AKeptReferenceOrbitIsTheOneComputed)
{
    for (const char* re : {"0.3", "1e-400"}) {
        const int bits = fraction_bits_for_step(1.0, -1400);
        ReferenceOrbit computed = start_reference(*parse_decimal(re), *parse_decimal("0.5e-400"), bits);
        ASSERT_TRUE(extend_reference(computed, 100, nullptr));
        const std::vector<std::uint8_t> bytes = reference_bytes(computed);
        const auto shorter = static_cast<std::int64_t>(orbit_size(computed)) - 2;
        ReferenceOrbit kept = start_reference(*parse_decimal(re), *parse_decimal("0.5e-400"), bits);
        ASSERT_TRUE(adopt_reference_bytes(kept, bytes.data(), bytes.size(), 100)) << re;
        EXPECT_TRUE(same_orbit(kept, computed)) << re;
        ASSERT_TRUE(extend_reference(computed, 150, nullptr));
        ASSERT_TRUE(extend_reference(kept, 150, nullptr));
        EXPECT_TRUE(same_orbit(kept, computed)) << re;
        EXPECT_EQ(std::string(re) == "1e-400", !computed.escaped && computed.tiny.size() == 150);

        ReferenceOrbit other = start_reference(*parse_decimal("0.31"), *parse_decimal("0.5e-400"), bits);
        ReferenceOrbit coarser = start_reference(*parse_decimal(re), *parse_decimal("0.5e-400"), bits - 64);
        ReferenceOrbit refused = start_reference(*parse_decimal(re), *parse_decimal("0.5e-400"), bits);
        EXPECT_FALSE(adopt_reference_bytes(other, bytes.data(), bytes.size(), 100));
        EXPECT_FALSE(adopt_reference_bytes(coarser, bytes.data(), bytes.size(), 100));
        EXPECT_FALSE(adopt_reference_bytes(refused, bytes.data(), bytes.size() - 1, 100));
        EXPECT_FALSE(adopt_reference_bytes(refused, bytes.data(), bytes.size(), shorter));
        EXPECT_EQ(orbit_size(refused), 1u);
    }
}
