// The compositor against a plain per-pixel composition, the level rectangles
// at the edge scales, and map_point landing in the frame pixel shown.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "recording/recording.h"
#include "test_support.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

struct Level {
    int slot, w, h, left, right, bottom, top;
};

Level reference_level(int k)
{
    const FrameRing& ring = frame_ring();
    Level l;
    l.slot = (ring.ring_index + k) % 4;
    l.w = ring.current_scale;
    for (int i = 0; i < k; ++i)
        l.w /= 2;
    l.h = l.w * 480 / 640;
    l.left = 320 - l.w / 2;
    l.right = l.left + l.w - 1;
    l.bottom = 240 - l.h / 2;
    l.top = l.bottom + l.h - 1;
    return l;
}

// Which level shows display pixel (x, y): all of level 2's rectangle, the rest
// of level 1's but its top row, and level 0 everywhere else.
int owner(const Level* l, int x, int y)
{
    if (x >= l[2].left && x <= l[2].right && y >= l[2].bottom && y <= l[2].top)
        return 2;
    if (x >= l[1].left && x <= l[1].right && y >= l[1].bottom && y < l[1].top)
        return 1;
    return 0;
}

struct Shown {
    int level, column, row;
};

Shown shown_at(const Level* l, int x, int y)
{
    const int k = owner(l, x, y);
    return {k, (x - l[k].left) * 640 / l[k].w, (y - l[k].bottom) * 480 / l[k].h};
}

DisplayBuffer expected;

void compose_reference()
{
    Level l[3] = {reference_level(0), reference_level(1), reference_level(2)};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const Shown s = shown_at(l, x, y);
            ASSERT_TRUE(s.column >= 0 && s.column < 640 && s.row >= 0 && s.row < 480);
            expected.pixels[y * 640 + x] = frame_ring().frames[l[s.level].slot].pixels[s.row * 640 + s.column];
        }
}

// A ring of four patterned frames, played from a file, at the given scale.
void ring_at_scale(int scale, int turns = 0)
{
    static bool written = false;
    if (!written) {
        static Frame frames[4];
        for (int i = 0; i < 4; ++i)
            fill_pattern(frames[i], i);
        write_file("./compositor.zqv",
                   recording_bytes(-0.5, 0.25, 3.0, {&frames[0], &frames[1], &frames[2], &frames[3]}));
        written = true;
    }
    open_recording("./compositor.zqv");
    generate_ring();
    set_zoom_step(640);
    for (int i = 0; i < turns; ++i)
        advance_scale();  // past the file's end: the slots keep their patterns
    if (scale > 640) {
        set_zoom_step(scale - 640);
        advance_scale();
    }
    ASSERT_EQ(frame_ring().current_scale, scale);
}

TEST(Compositor, MatchesThePerPixelCompositionAtEveryScale)
{
    for (int turns = 0; turns < 4; turns += 3)
        for (int scale = 640; scale < 1280; ++scale) {
            if (scale % 7 != 0 && scale != 640 && scale != 641 && scale != 1279 && scale != 1278)
                continue;
            ring_at_scale(scale, turns);
            compose_display();
            compose_reference();
            ASSERT_EQ(std::memcmp(display_buffer().pixels, expected.pixels, frame_bytes), 0)
                << "scale " << scale << " ring index " << int(frame_ring().ring_index);
        }
}

TEST(Compositor, LevelRectanglesAndBandsAtTheEdgeScales)
{
    ring_at_scale(640);
    compose_display();
    const LevelRect* l = composed_levels();
    EXPECT_EQ(l[0].left, 0);
    EXPECT_EQ(l[0].bottom, 0);
    EXPECT_EQ(l[0].right, 639);
    EXPECT_EQ(l[0].top, 479);
    EXPECT_EQ(l[1].left, 160);
    EXPECT_EQ(l[1].right, 479);
    EXPECT_EQ(l[1].bottom, 120);
    EXPECT_EQ(l[1].top, 359);
    EXPECT_EQ(l[2].left, 240);
    EXPECT_EQ(l[2].right, 399);
    EXPECT_EQ(l[2].bottom, 180);
    EXPECT_EQ(l[2].top, 299);
    const std::uint8_t* d = display_buffer().pixels;
    const Frame* f = frame_ring().frames;
    EXPECT_EQ(d[0], f[0].pixels[0]);                          // level 0 pixel for pixel
    EXPECT_EQ(d[479 * 640 + 639], f[0].pixels[479 * 640 + 639]);
    EXPECT_EQ(d[358 * 640 + 160], f[1].pixels[476 * 640 + 0]);  // level 1 up to row 358
    EXPECT_EQ(d[359 * 640 + 160], f[0].pixels[359 * 640 + 160]);  // its top row is level 0
    EXPECT_EQ(d[299 * 640 + 399], f[2].pixels[476 * 640 + 636]);  // level 2 to its last row

    ring_at_scale(1279);
    compose_display();
    EXPECT_EQ(l[1].w, 639);
    EXPECT_EQ(l[1].h, 479);
    EXPECT_EQ(l[1].left, 1);
    EXPECT_EQ(l[1].right, 639);
    EXPECT_EQ(l[1].bottom, 1);
    EXPECT_EQ(l[1].top, 479);
    EXPECT_EQ(d[478 * 640 + 1], f[1].pixels[477 * 640 + 0]);
    EXPECT_EQ(d[479 * 640 + 1], f[0].pixels[359 * 640 + 160]);  // level 0: L -319, B -239, h 959

    ring_at_scale(641);
    compose_display();
    EXPECT_EQ(l[0].h, 480);
    EXPECT_EQ(l[0].bottom, 0);
}

TEST(Compositor, StepZoomShowsTheScaleBeforeTheTurn)
{
    ring_at_scale(1272);
    set_zoom_step(8);
    step_zoom();
    EXPECT_EQ(composed_levels()[0].w, 1272);
    EXPECT_EQ(frame_ring().ring_index, 1);
    EXPECT_EQ(frame_ring().current_scale, 640);
}

// Every display pixel maps to a plane point inside the frame pixel shown
// there, measured with the bounds that frame had when it was composed.
void expect_points_land_in_the_pixels_shown(const Level* l, const FrameRect* bounds)
{
    for (int my = 0; my < 480; ++my)
        for (int mx = 0; mx < 640; ++mx) {
            const Shown s = shown_at(l, mx, 479 - my);
            const FrameRect& b = bounds[s.level];
            const std::optional<PlanePoint> p = map_point(mx, my);
            ASSERT_TRUE(p.has_value());
            const double u = (p->re - b.left) / ((b.right - b.left) / 640);
            const double v = (p->im - b.bottom) / ((b.top - b.bottom) / 480);
            constexpr double slack = 1e-6;  // of a pixel: rounding of the edges
            ASSERT_TRUE(u > s.column - slack && u < s.column + 1 + slack) << mx << "," << my << " u " << u;
            ASSERT_TRUE(v > s.row - slack && v < s.row + 1 + slack) << mx << "," << my << " v " << v;
        }
}

TEST(Compositor, MapPointLandsInTheFramePixelShownAlsoAfterATurn)
{
    for (int scale : {640, 1001, 1279}) {
        ring_at_scale(scale, 1);
        Level l[3] = {reference_level(0), reference_level(1), reference_level(2)};
        FrameRect bounds[3];
        for (int k = 0; k < 3; ++k)
            bounds[k] = frame_ring().rects[l[k].slot];
        set_zoom_step(1280 - scale);  // the step after the composition turns the ring
        step_zoom();
        ASSERT_NE(frame_ring().ring_index, l[0].slot);
        expect_points_land_in_the_pixels_shown(l, bounds);
    }
}

TEST(Compositor, CentreClickAtStep640GivesTheViewCentre)
{
    set_max_iterations(64);
    end_recording();  // computed frames
    set_view(0.2652315027667616, 0.0030612312511513, 215.04);
    set_zoom_step(640);
    generate_ring();
    auto two_units_in_last_place = [](double edge) {
        return 2 * (std::nextafter(std::abs(edge), INFINITY) - std::abs(edge));
    };
    for (int i = 0; i < 3; ++i) {
        const PlanePoint centre = get_centre();
        const FrameRect outer = frame_ring().rects[frame_ring().ring_index];
        step_zoom();
        const std::optional<PlanePoint> p = map_point(320, 239);
        ASSERT_TRUE(p.has_value());
        EXPECT_NEAR(p->re, centre.re, two_units_in_last_place(outer.left));
        EXPECT_NEAR(p->im, centre.im, two_units_in_last_place(outer.bottom));
    }
    set_max_iterations(2048);
}

}  // namespace
