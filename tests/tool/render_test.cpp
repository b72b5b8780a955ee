// zqvtool render on both builds: the blending in every level's lanes, and
// lossless renders against the key frames they keep: each
// key frame's own picture, the picture count and size, no seam where the
// deeper key frame begins, a recoloured render from kept key frames, and a
// render past double precision against multiprecision counts.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_bin_float.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "fractal/frame/fast_frame.h"
#include "fractal/grid/grid.h"
#include "fractal/lanes/simd_level.h"
#include "test_support.h"
#include "tool/render/palette.h"
#include "tool/render/render_blend.h"
#include "tool/render/render_keys.h"
#include "tool_test_support.h"

using namespace zqv;

namespace {

struct Rgb8 {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

Rgb8 read_png(const std::string& path)
{
    Rgb8 picture;
    int channels;
    if (stbi_uc* rgb = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3)) {
        picture.pixels.assign(rgb, rgb + 3 * picture.width * picture.height);
        stbi_image_free(rgb);
    }
    return picture;
}

std::string png_name(const char* folder, int number)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s/%03d.png", folder, number);
    return name;
}

// The blending in the lanes of each level, the same bytes: random key
// frames, 1 and 2 samples a pixel (1 to 4 key points a pixel), an odd
// width, with and without the inner key frame.
TEST(ToolRenderBlend, EveryLevelBlendsTheSameBytes)
{
    std::uint32_t seed = 12345;
    const auto random_bytes = [&seed](std::size_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (std::uint8_t& b : bytes)
            b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        return bytes;
    };
    for (const auto& [width, height, samples] : {std::tuple{96, 64, 1}, std::tuple{105, 38, 2}}) {
        const int key_width = 2 * samples * width, key_height = 2 * samples * height;
        const std::vector<std::uint8_t> outer = random_bytes(3u * key_width * key_height);
        const std::vector<std::uint8_t> inner = random_bytes(3u * key_width * key_height);
        const KeyColours outer_key{outer.data(), key_width, key_height};
        const KeyColours inner_key{inner.data(), key_width, key_height};
        for (const double fraction : {0.0, 0.3, 0.77}) {
            std::vector<std::uint8_t> pictures[2];
            for (const SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2}) {
                use_simd_level(level);
                blend_picture(outer_key, fraction > 0.0 ? &inner_key : nullptr, fraction, width, height,
                              pictures[level == SimdLevel::avx2]);
            }
            EXPECT_TRUE(pictures[0] == pictures[1]) << width << "x" << height << " at " << fraction;
        }
    }
    use_simd_level(best_simd_level());
}

constexpr const char* location = "--centre -0.7436438870371,0.1318259042053 --width 0.08";

// Two halvings at 4 pictures a halving (8 pictures, depths 0, 1/4, ... 7/4),
// the start and the end width held half a second each.
const std::string lossless_render = std::string("render ") + location +
                                    " --frames 2 --fps 4 --hold 0.5 --force";

TEST(ToolRender, KeyFramesOwnPicturesCountsAndAReRenderFromKeptKeyFrames)
{
    std::filesystem::remove_all("keys");
    std::filesystem::remove_all("first");
    std::filesystem::remove_all("second");
    std::filesystem::create_directory("first");
    std::filesystem::create_directory("second");
    std::string out, err;
    ASSERT_EQ(run_tool(lossless_render + " --size 96x64 --keyframes keys first/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("3 key frames computed"), std::string::npos) << err;
    int pictures = 0;
    while (std::filesystem::exists(png_name("first", pictures + 1)))
        ++pictures;
    EXPECT_EQ(pictures, 2 + 8 + 2);

    // Each key frame's moment: pictures 3, 7 and 11 (the start of the end's
    // hold) are the key frame's colours alone, seen through the pixels' window.
    Colouring colouring;
    ASSERT_FALSE(find_palette("sky", colouring.palette));
    for (int key = 0; key <= 2; ++key) {
        KeyHeader header;
        ASSERT_FALSE(read_key_header(key_file("keys", key), header));
        ASSERT_EQ(header.layout.width, 192);
        GridValues values;
        ASSERT_FALSE(read_key(key_file("keys", key), header, values));
        std::vector<std::uint8_t> colours, expected;
        colour_grid(colouring, values, colours);
        blend_picture({colours.data(), 192, 128}, nullptr, 0.0, 96, 64, expected);
        const Rgb8 picture = read_png(png_name("first", 3 + 4 * key));
        ASSERT_EQ(picture.width, 96);
        ASSERT_EQ(picture.height, 64);
        EXPECT_TRUE(picture.pixels == expected) << "key frame " << key;
    }
    // A picture between key frames, to the byte, as every build must make it.
    const Rgb8 between = read_png(png_name("first", 5));
    EXPECT_EQ(fnv1a64(between.pixels.data(), between.pixels.size()), 0x05fde0873ff4e047ull);
    EXPECT_TRUE(read_file(png_name("first", 1)) == read_file(png_name("first", 3)));  // the hold
    EXPECT_TRUE(read_file(png_name("first", 12)) == read_file(png_name("first", 11)));

    // The same render from the kept key frames, computing nothing: the same bytes.
    ASSERT_EQ(run_tool(lossless_render + " --size 96x64 --keyframes keys second/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("0 key frames computed"), std::string::npos) << err;
    for (int number = 1; number <= pictures; ++number)
        EXPECT_TRUE(read_file(png_name("first", number)) == read_file(png_name("second", number))) << number;
    // Recoloured and smaller, still computing nothing.
    ASSERT_EQ(run_tool(lossless_render + " --keyframes keys --palette grey --size 48x32 second/%03d.png", out, err), 0)
        << err;
    EXPECT_NE(err.find("0 key frames computed"), std::string::npos) << err;
    EXPECT_EQ(read_png(png_name("second", 5)).width, 48);

    // A folder's key frames are a cache: one cut short is computed again and
    // replaced, with a line naming it; ones coarser than --samples asks are refused.
    std::filesystem::resize_file(key_file("keys", 1), 100);
    ASSERT_EQ(run_tool(lossless_render + " --size 96x64 --keyframes keys second/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("key_00001.zqk: the file is cut short; computing key frame 1 again"), std::string::npos) << err;
    EXPECT_NE(err.find("1 key frames computed"), std::string::npos) << err;
    for (int number = 1; number <= pictures; ++number)
        EXPECT_TRUE(read_file(png_name("first", number)) == read_file(png_name("second", number))) << number;
    EXPECT_EQ(run_tool(lossless_render + " --size 96x64 --samples 2 --keyframes keys second/%03d.png", out, err), 2);
    EXPECT_NE(err.find("holds key frames for --samples 1 at this size"), std::string::npos) << err;
}

// What render refuses or cuts short, and that it then leaves no output.
TEST(ToolRender, RefusesBadInputsAndStopsWhereDoublePrecisionEnds)
{
    std::filesystem::create_directory("refused");
    std::string out, err;
    // Kept key frames of another location.
    ASSERT_EQ(run_tool(std::string("render ") + location + " --size 32x24 --frames 1 --fps 2 --keyframes other "
                       "other%03d.png", out, err), 0) << err;
    EXPECT_EQ(run_tool("render --centre 0.3,0 --width 0.08 --size 32x24 --frames 1 --fps 2 --keyframes other "
                       "refused/b%03d.png", out, err), 2);
    EXPECT_NE(err.find("other location"), std::string::npos) << err;
    // A palette file with a bad stop, named by its line.
    { std::FILE* file = std::fopen("bad.pal", "w"); std::fputs("; two stops\n0 0 0\n1 2\n", file); std::fclose(file); }
    EXPECT_EQ(run_tool(std::string("render ") + location + " --fps 2 --palette bad.pal refused/c%03d.png", out, err), 2);
    EXPECT_NE(err.find("bad.pal:3:"), std::string::npos) << err;
    EXPECT_EQ(run_tool(std::string("render ") + location + " --fps 2 --size 33x24 refused/d%03d.png", out, err), 2);
    // Key frames of 61440x34560 points (52 GB) are refused before anything is computed.
    EXPECT_EQ(run_tool(std::string("render ") + location + " --fps 2 --size 7680x4320 --samples 4 refused/f%03d.png",
                       out, err), 2);
    EXPECT_NE(err.find("MB for key frames of 61440x34560 points"), std::string::npos) << err;
    // The Windows build writes PNG pictures only, and says so.
    if (!tool_writes_video) {
        EXPECT_EQ(run_tool(std::string("render ") + location + " --fps 2 refused/e.gif", out, err), 2);
        EXPECT_NE(err.find("video and GIF files are made by the Linux build"), std::string::npos) << err;
    }
    EXPECT_TRUE(std::filesystem::is_empty("refused"));
    // Asked for no depth, it renders up to the last key frame double precision resolves.
    ASSERT_EQ(run_tool(std::string("render ") + location + " --size 16x16 --fps 1 --force "
                       "--seconds-per-halving 1 refused/%03d.png", out, err), 0) << err;
    const std::size_t said = err.find("stopping after ");
    ASSERT_NE(said, std::string::npos) << err;
    const int halvings = std::atoi(err.c_str() + said + 15);
    EXPECT_GT(halvings, 35);
    EXPECT_LT(halvings, 50);
    EXPECT_TRUE(std::filesystem::exists(png_name("refused", halvings)));
    EXPECT_FALSE(std::filesystem::exists(png_name("refused", halvings + 1)));
    GridLayout last{-0.7436438870371, 0.1318259042053, std::ldexp(0.08 / 32, -halvings), 32, 32, 1};
    EXPECT_TRUE(grid_resolves(last));
    last.step /= 2;
    EXPECT_FALSE(grid_resolves(last));
}

// Across the edge of the deeper key frame, neighbouring pixels differ no
// more than neighbours a few pixels away on either side: over every picture
// between key frames, the mean difference of the pixel pairs that straddle
// its left and right edges against that of the pairs 3 to 5 pixels off them,
// where the picture's smooth colours make any misfit show.
TEST(ToolRender, NoSeamWhereTheDeeperKeyFrameBegins)
{
    std::filesystem::remove_all("seam");
    std::filesystem::create_directory("seam");
    std::string out, err;
    const int width = 160, height = 120, per_halving = 16, halvings = 2;
    ASSERT_EQ(run_tool("render --centre -0.6,0.3 --width 3 --size 160x120 --frames 2 --fps 16 --force seam/%03d.png",
                       out, err), 0) << err;  // 32 pictures: depths j/16
    double edge_sum = 0.0, near_sum = 0.0;
    long edge_pairs = 0, near_pairs = 0;
    for (int number = 1; number <= per_halving * halvings; ++number) {
        const double fraction = static_cast<double>((number - 1) % per_halving) / per_halving;
        if (fraction < 0.25)  // the edge too near the centre, or the deeper key frame's share too small
            continue;
        const Rgb8 p = read_png(png_name("seam", number));
        ASSERT_EQ(p.width, width);
        // The deeper key frame covers the central 2^(f−1) of the picture.
        const double half = width / 2.0 * std::pow(2.0, fraction - 1.0);
        const int left = static_cast<int>(std::ceil(width / 2.0 - half));
        const int right = static_cast<int>(std::floor(width / 2.0 + half)) - 1;
        const int top = static_cast<int>(std::ceil(height / 2.0 - half * height / width));
        const int bottom = static_cast<int>(std::floor(height / 2.0 + half * height / width)) - 1;
        const auto difference = [&](int x, int y) {  // between pixels x and x + 1
            int d = 0;
            for (int c = 0; c < 3; ++c)
                d += std::abs(p.pixels[3 * (y * width + x) + c] - p.pixels[3 * (y * width + x + 1) + c]);
            return d;
        };
        for (int y = top; y <= bottom; ++y) {
            for (const int edge : {left - 1, right}) {  // the pair (edge, edge + 1) straddles it
                if (edge < 6 || edge + 7 > width)
                    continue;
                edge_sum += difference(edge - 1, y) + difference(edge, y) + difference(edge + 1, y);
                edge_pairs += 3;
                for (const int off : {-5, -4, -3, 3, 4, 5})
                    near_sum += difference(edge + off, y);
                near_pairs += 6;
            }
        }
    }
    ASSERT_GT(edge_pairs, 1000);
    EXPECT_LT(edge_sum / edge_pairs, 1.06 * near_sum / near_pairs) << edge_sum / edge_pairs << " " << near_sum / near_pairs;
}

// The sharpness of a picture: the mean absolute Laplacian of its luminance
// (BT.709 weights) over the pixels inside its border.
double sharpness(const Rgb8& p)
{
    const auto luma = [&](int x, int y) {
        const std::uint8_t* c = &p.pixels[3 * (static_cast<std::size_t>(y) * p.width + x)];
        return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    };
    double sum = 0.0;
    for (int y = 1; y + 1 < p.height; ++y)
        for (int x = 1; x + 1 < p.width; ++x)
            sum += std::abs(4.0 * luma(x, y) - luma(x - 1, y) - luma(x + 1, y) - luma(x, y - 1) - luma(x, y + 1));
    return sum / ((p.width - 2.0) * (p.height - 2.0));
}

// Detail holds steady through a hand-over from one key frame to the next:
// from picture to picture the sharpness changes by under 6 % (this small a
// picture has few filaments to average), as it does elsewhere, where area
// averaging from the deeper key frame halved made the hand-over's picture
// 1.3 times sharper than the one before.
TEST(ToolRender, DetailHoldsSteadyThroughAHandOver)
{
    std::filesystem::remove_all("steady");
    std::filesystem::create_directory("steady");
    std::string out, err;
    ASSERT_EQ(run_tool(std::string("render ") + location + " --size 192x108 --frames 2 --fps 32 steady/%03d.png", out,
                       err), 0) << err;  // the hand-over at picture 33
    double before = sharpness(read_png(png_name("steady", 1))), largest = 1.0;
    for (int number = 2; number <= 64; ++number) {
        const double now = sharpness(read_png(png_name("steady", number)));
        largest = std::max(largest, std::max(now / before, before / now));
        before = now;
    }
    EXPECT_LT(largest, 1.06);
}

// Renders of consecutive width ranges join: each covers its start width up
// to but not including its end width, so the two together are, picture
// for picture, the render of both ranges at once.
TEST(ToolRender, ConsecutiveRendersJoinWithoutARepeatedPicture)
{
    for (const char* folder : {"whole", "parts"}) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
    }
    const std::string render = "render --centre -0.7436438870371,0.1318259042053 --cap 1000 --size 64x48 --fps 4 ";
    std::string out, err;
    ASSERT_EQ(run_tool(render + "--width 0.08 --to-width 0.02 whole/%03d.png", out, err), 0) << err;
    ASSERT_EQ(run_tool(render + "--width 0.08 --to-width 0.04 parts/%03d.png", out, err), 0) << err;
    for (int number = 1; number <= 4; ++number)
        std::filesystem::rename(png_name("parts", number), png_name("parts", 100 + number));
    ASSERT_EQ(run_tool(render + "--width 0.04 --to-width 0.02 parts/%03d.png", out, err), 0) << err;
    EXPECT_FALSE(std::filesystem::exists(png_name("whole", 9)));
    EXPECT_FALSE(std::filesystem::exists(png_name("parts", 5)));
    for (int number = 1; number <= 8; ++number) {
        const std::string part = png_name("parts", number <= 4 ? 100 + number : number - 4);
        EXPECT_TRUE(read_file(png_name("whole", number)) == read_file(part)) << number;
    }
    EXPECT_FALSE(read_file(png_name("parts", 104)) == read_file(png_name("parts", 1)));
}

// A render from 1e-20 to 1e-22 on the seahorse path (counts in the
// thousands, so the automatic cap climbs): every key frame is deep, and
// sampled points of the deepest one (6.64 halvings in 7 pictures, the last
// 5.69 halvings deep), iterated by the grid's definition in
// 256-bit floating point from the exact centre, have the same counts and
// fractions (99%: long orbits amplify double rounding now and then).
TEST(ToolRender, PastDoublePrecisionTheCountsAreMultiprecisionOnes)
{
    using Big = boost::multiprecision::number<
        boost::multiprecision::backends::cpp_bin_float<256, boost::multiprecision::backends::digit_base_2>,
        boost::multiprecision::et_off>;
    const char* re = "-0.7436438383531401533770161251114704644016";
    const char* im = "0.1318258444447202464384361413375154391";
    std::filesystem::remove_all("deep");
    std::filesystem::remove_all("deep_keys");
    std::filesystem::create_directory("deep");
    std::string out, err;
    ASSERT_EQ(run_tool(std::string("render --centre ") + re + "," + im + " --width 1e-20 --to-width 1e-22 --size "
                       "32x24 --fps 1 --keyframes deep_keys deep/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("7 key frames computed, 7 of them by the deep engine"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::exists(png_name("deep", 7)));

    KeyHeader header;
    ASSERT_FALSE(read_key_header(key_file("deep_keys", 6), header));
    GridValues values;
    ASSERT_FALSE(read_key(key_file("deep_keys", 6), header, values));
    const GridLayout& s = header.layout;
    EXPECT_FALSE(grid_resolves(s));
    EXPECT_GT(s.cap, 4096u);  // the automatic cap followed the counts
    int sampled = 0, equal = 0;
    for (int i = 0; i < s.width * s.height; i += 5, ++sampled) {
        const int column = i % s.width, row = i / s.width;
        const Big cr = Big(re) + (column - s.width / 2) * Big(s.step);
        const Big ci = Big(im) + (s.height / 2 - row) * Big(s.step);
        Big x = 0, y = 0;
        std::uint32_t count = grid_inside;
        double magnitude2 = 0.0;
        for (std::uint32_t n = 0; n <= s.cap; ++n) {
            const Big xx = x * x, yy = y * y;
            if (xx + yy >= grid_escape_radius2) {
                count = n;
                magnitude2 = static_cast<double>(xx + yy);
                break;
            }
            y = 2 * x * y + ci;
            x = xx - yy + cr;
        }
        // The same count and, for an escape, the fraction within 1/1000 of a count.
        const std::size_t at = static_cast<std::size_t>(row) * s.width + column;
        equal += values.counts[at] == count &&
                 (count == grid_inside || std::abs(values.fractions[at] - smooth_fraction(magnitude2)) <= 64);
    }
    EXPECT_GE(equal * 100, sampled * 99) << equal << " of " << sampled;
}

// Across 1e-300, near i (its centre moved by digits at the depth): the key
// frames past it keep their step's exponent apart in their files, and a
// render from the folder reads every one back, computing nothing, with the
// same pictures.
TEST(ToolRender, KeyFramesPastDoubleRangeAreKeptAndReadBack)
{
    const std::string centre = "-3.25e-303,1." + std::string(303, '0') + "56789";
    std::filesystem::remove_all("past");
    std::filesystem::remove_all("past_keys");
    std::filesystem::create_directories("past/again");
    const std::string render = "render --centre " + centre + " --width 1e-298 --to-width 1e-302 --size 32x24 --fps 1 ";
    std::string out, err;
    ASSERT_EQ(run_tool(render + "--keyframes past_keys past/%03d.png", out, err), 0) << err;
    KeyHeader first, last;
    ASSERT_FALSE(read_key_header(key_file("past_keys", 0), first));
    ASSERT_FALSE(read_key_header(key_file("past_keys", 13), last));
    EXPECT_EQ(first.layout.step_exponent, 0);
    EXPECT_EQ(last.layout.step_exponent, -13);  // narrower than 1e-300 from key frame 7 on
    ASSERT_EQ(run_tool(render + "--keyframes past_keys past/again/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("0 key frames computed"), std::string::npos) << err;
    for (int picture = 1; picture <= 13; ++picture)
        EXPECT_TRUE(read_file(png_name("past", picture)) == read_file(png_name("past/again", picture))) << picture;
}

// The automatic cap of a deep zoom started from the whole set follows what
// its pictures need: past the minibrot on the seahorse path (which fills
// the view near 1e-6) it comes down again, and from 1e-10 on every key
// frame's cap is within twice that of the same zoom started at 1e-10. (The
// points of the minibrot at the cap doubled it at every key frame, to
// 1048576 and beyond, against the 65536 at most the deep start needed.)
TEST(ToolRender, TheAutomaticCapOfAZoomFromTheWholeSetFollowsItsDeepStart)
{
    const std::string seahorse = "render --centre -0.743643838353140153377016125111470464401662548391883444402865,"
                                 "0.131825844444720246438436141337515439076140469758391981080212 --to-width 1e-14 "
                                 "--size 32x18 --fps 1 --force ";
    for (const char* folder : {"from_set", "from_deep", "pictures"})
        std::filesystem::remove_all(folder);
    std::filesystem::create_directory("pictures");
    std::string out, err;
    ASSERT_EQ(run_tool(seahorse + "--width 3 --keyframes from_set pictures/set%03d.png", out, err), 0) << err;
    ASSERT_EQ(run_tool(seahorse + "--width 1e-10 --keyframes from_deep pictures/deep%03d.png", out, err), 0) << err;
    const auto key_of = [](const char* folder, int key) {
        KeyHeader header;
        EXPECT_FALSE(read_key_header(key_file(folder, key), header)) << folder << " " << key;
        return header.layout;
    };
    int compared = 0;
    for (int deep = 0; std::filesystem::exists(key_file("from_deep", deep)); ++deep) {
        const GridLayout d = key_of("from_deep", deep);
        // The key frame of the zoom from the set nearest in width: 3/2^k against 1e-10/2^deep.
        const int k = static_cast<int>(std::lround(std::log2(3.0 / (d.step * d.width))));
        if (!std::filesystem::exists(key_file("from_set", k)))
            continue;  // past the last key frame that zoom needed
        const GridLayout s = key_of("from_set", k);
        EXPECT_LE(s.cap, 2 * d.cap) << "key frame " << k;
        EXPECT_LE(d.cap, 2 * s.cap) << "key frame " << k;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

// A key frame folder remembers the zoom that made it: a render with it and
// no depth or pace ends where that one ended, at its pace, and says so.
TEST(ToolRender, AKeyFrameFolderKeepsTheEndWidthAndPace)
{
    std::filesystem::remove_all("kept");
    for (const char* folder : {"made", "again"}) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
    }
    std::string out, err;
    ASSERT_EQ(run_tool(std::string("render ") + location + " --to-width 0.01 --seconds-per-halving 0.5 --fps 4 "
                       "--size 32x24 --keyframes kept made/%03d.png", out, err), 0) << err;
    const std::vector<std::uint8_t> bytes = read_file("kept/keys.location");
    const std::string kept(bytes.begin(), bytes.end());
    EXPECT_NE(kept.find("\nend-width 0.01\nseconds-per-halving 0.5\n"), std::string::npos) << kept;
    ASSERT_EQ(run_tool("render --fps 4 --size 32x24 --keyframes kept again/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("zooming as the render that made kept did"), std::string::npos) << err;
    EXPECT_NE(err.find("keys.location: --to-width 0.01 --seconds-per-halving 0.5 (give another"), std::string::npos)
        << err;
    EXPECT_NE(err.find("0 key frames computed"), std::string::npos) << err;
    for (int number = 1; number <= 6; ++number)  // 3 halvings at 2 pictures each
        EXPECT_TRUE(read_file(png_name("made", number)) == read_file(png_name("again", number))) << number;
    EXPECT_FALSE(std::filesystem::exists(png_name("again", 7)));
}

}  // namespace

// A deep zoom's key frames computed in two ranges into copies of a folder
// (the second without the key frame before it, so it computes the deep
// ones before it in part), then combined: the same files as one render's,
// read back without computing anything, to the same pictures. A key frame
// of a centre that differs past a double's digits is refused before the
// render starts, as are ranges a render cannot make.
TEST(ToolRender, KeyFramesMadeInRangesCombineIntoTheOneMachineRender)
{
    const std::string seahorse = "-0.7436438383531401533770161251114704644016,0.1318258444447202464384361413375154391";
    const std::string zoom = " --width 1e-12 --to-width 1e-17 --size 64x36 --fps 2 --cap 8192 ";
    for (const char* folder : {"whole", "whole_keys", "spread", "spread_a", "spread_b", "spread_other", "assembled"})
        std::filesystem::remove_all(folder);
    std::filesystem::create_directories("whole");
    std::filesystem::create_directories("assembled");
    std::string out, err;
    ASSERT_EQ(run_tool("render --centre " + seahorse + zoom + "--keyframes whole_keys whole/%03d.png", out, err), 0)
        << err;
    ASSERT_EQ(run_tool("render --centre " + seahorse + zoom + "--keyframes spread --keys 0-0", out, err), 0) << err;
    EXPECT_TRUE(std::filesystem::exists("spread/keys.reference"));
    for (const char* copy : {"spread_a", "spread_b"})
        std::filesystem::copy("spread", copy);
    ASSERT_EQ(run_tool("render --keyframes spread_a --keys 1-9", out, err), 0) << err;
    ASSERT_EQ(run_tool("render --keyframes spread_b --keys 10-99", out, err), 0) << err;
    EXPECT_NE(err.find("key frames 10 to 17 (of the zoom's 0 to 17) into spread_b"), std::string::npos) << err;
    EXPECT_NE(err.find("3 key frames before them computed in the part"), std::string::npos) << err;
    // The deepest key frame's counts, the same on every build: machines of either system combine.
    KeyHeader deepest;
    GridValues values;
    ASSERT_FALSE(read_key_header(key_file("spread_b", 17), deepest));
    ASSERT_FALSE(read_key(key_file("spread_b", 17), deepest, values));
    EXPECT_EQ(fnv1a64(values.counts.data(), values.counts.size() * 4), 0x798d73d0e1425b20ull);
    EXPECT_EQ(fnv1a64(values.fractions.data(), values.fractions.size() * 2), 0xf9509443a66bdc22ull);
    for (int key = 1; key <= 17; ++key) {
        const std::string name = key_file(key <= 9 ? "spread_a" : "spread_b", key);
        EXPECT_TRUE(read_file(name) == read_file(key_file("whole_keys", key))) << key;
        std::filesystem::copy(name, key_file("spread", key));
    }

    // Refused: another centre's key frame among them, and ranges that cannot be made.
    ASSERT_EQ(run_tool("render --centre " + seahorse + "1" + zoom + "--keyframes spread_other --keys 12", out, err), 0)
        << err;
    std::filesystem::copy(key_file("spread_other", 12), "spread/other.zqk");
    std::filesystem::rename(key_file("spread", 12), "spread/ours.zqk");
    std::filesystem::rename("spread/other.zqk", key_file("spread", 12));
    EXPECT_EQ(run_tool("render --size 64x36 --fps 2 --keyframes spread assembled/%03d.png", out, err), 2);
    EXPECT_NE(err.find("key_00012.zqk holds a key frame of another location, cap or size"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(png_name("assembled", 1)));
    std::filesystem::rename("spread/ours.zqk", key_file("spread", 12));
    for (const char* bad : {"--keys 18-20", "--keys 3-2 --cap 8192", "--keys 1 x.png"}) {
        EXPECT_EQ(run_tool(std::string("render --keyframes spread ") + bad, out, err), 2) << bad;
        EXPECT_NE(err.find("--keys"), std::string::npos) << err;
    }
    EXPECT_EQ(run_tool("render --centre " + seahorse + " --width 1e-12 --to-width 1e-17 --keys 0-1", out, err), 2);
    EXPECT_NE(err.find("--keys needs --keyframes"), std::string::npos) << err;
    EXPECT_EQ(run_tool("render --centre " + seahorse + " --width 1e-12 --to-width 1e-17 --keyframes spread_auto "
                       "--keys 0-1", out, err), 2);
    EXPECT_NE(err.find("--keys needs a fixed --cap"), std::string::npos) << err;

    ASSERT_EQ(run_tool("render --size 64x36 --fps 2 --keyframes spread assembled/%03d.png", out, err), 0) << err;
    EXPECT_NE(err.find("0 key frames computed"), std::string::npos) << err;
    for (int number = 1; std::filesystem::exists(png_name("whole", number)); ++number)
        EXPECT_TRUE(read_file(png_name("whole", number)) == read_file(png_name("assembled", number))) << number;
    EXPECT_TRUE(std::filesystem::exists(png_name("assembled", 33)));
}
