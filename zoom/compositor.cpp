// Composition of the display image from the three on-screen ring levels, in
// bands so that most pixels are written once, with integer arithmetic only.
#include "zoom/compositor.h"

#include "zoom/ring.h"

namespace zqv {

namespace {

constexpr int screen_centre_x = frame_width / 2;   // 320
constexpr int screen_centre_y = frame_height / 2;  // 240

DisplayBuffer display;
LevelRect levels[levels_on_screen];
// The bounds of the frames of the last composition: map_point goes through
// the picture on screen even after the ring has turned or been regenerated.
FrameRect level_bounds[levels_on_screen];
bool composed = false;
// Frame column shown at each display column, per level (only the columns
// inside the level's rectangle are filled).
std::int32_t source_column[levels_on_screen][frame_width];

LevelRect level_rect(int k, std::int32_t scale, int ring_index)
{
    LevelRect r;
    r.slot = (ring_index + k) % ring_slots;
    r.w = scale >> k;  // scale / 2^k; scale is never negative
    r.h = (r.w * frame_height) / frame_width;
    r.left = screen_centre_x - r.w / 2;
    r.right = r.left + r.w - 1;
    r.bottom = screen_centre_y - r.h / 2;
    r.top = r.bottom + r.h - 1;
    return r;
}

void fill_source_columns(int k)
{
    const LevelRect& r = levels[k];
    const int x0 = r.left > 0 ? r.left : 0;
    const int x1 = r.right < frame_width - 1 ? r.right : frame_width - 1;
    std::int32_t numerator = (x0 - r.left) * frame_width;
    for (int x = x0; x <= x1; ++x) {
        source_column[k][x] = numerator / r.w;
        numerator += frame_width;
    }
}

// Paints display rows [y0, y1) and columns [x0, x1) from level k.
void paint_band(int k, int y0, int y1, int x0, int x1)
{
    if (y0 >= y1 || x0 >= x1)
        return;
    const LevelRect& r = levels[k];
    const std::uint8_t* frame = frame_ring().frames[r.slot].pixels;
    const std::int32_t* columns = source_column[k];
    std::int32_t numerator = (y0 - r.bottom) * frame_height;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* source = frame + (numerator / r.h) * frame_width;
        std::uint8_t* target = display.pixels + y * frame_width;
        for (int x = x0; x < x1; ++x)
            target[x] = source[columns[x]];
        numerator += frame_height;
    }
}

// The level whose picture is shown at display pixel (x, y).
int level_shown_at(int x, int y)
{
    const LevelRect& l1 = levels[1];
    const LevelRect& l2 = levels[2];
    if (y >= l2.bottom && y <= l2.top && x >= l2.left && x <= l2.right)
        return 2;
    if (y >= l1.bottom && y < l1.top && x >= l1.left && x <= l1.right)
        return 1;
    return 0;
}

}  // namespace

// Outermost level first. The top row of level 1 is left to level 0, and
// level 1's right column, level 2's top row and right column are painted twice.
// Without a ring there is nothing to compose.
void compose_display()
{
    if (!has_ring())
        return;
    const FrameRing& ring = frame_ring();
    for (int k = 0; k < levels_on_screen; ++k) {
        levels[k] = level_rect(k, ring.current_scale, ring.ring_index);
        level_bounds[k] = ring.rects[levels[k].slot];
        fill_source_columns(k);
    }
    composed = true;
    const LevelRect& l1 = levels[1];
    const LevelRect& l2 = levels[2];

    paint_band(0, 0, l1.bottom, 0, frame_width);
    paint_band(0, l1.top, frame_height, 0, frame_width);
    paint_band(0, l1.bottom, l1.top, 0, l1.left);
    paint_band(0, l1.bottom, l1.top, l1.right, frame_width);

    paint_band(1, l2.top, l1.top, l1.left, l1.right + 1);
    paint_band(1, l1.bottom, l2.bottom, l1.left, l1.right + 1);
    paint_band(1, l2.bottom, l2.top, l1.left, l2.left);
    paint_band(1, l2.bottom, l2.top, l2.right, l1.right + 1);

    paint_band(2, l2.bottom, l2.top + 1, l2.left, l2.right + 1);
}

void step_zoom()
{
    compose_display();
    advance_scale();
}

const DisplayBuffer& display_buffer()
{
    return display;
}

const LevelRect* composed_levels()
{
    return levels;
}

// Maps through the level shown under the point, so the result lies in the
// frame pixel displayed there. Client row my shows display row 479 - my.
std::optional<PlanePoint> map_point(std::uint16_t mx, std::uint16_t my)
{
    if (!composed)
        return std::nullopt;
    const int x = mx;
    const int y = frame_height - 1 - my;
    const int k = level_shown_at(x, y);
    const LevelRect& r = levels[k];
    const FrameRect& b = level_bounds[k];
    return PlanePoint{
        b.left + ((b.right - b.left) * static_cast<double>(x - r.left)) / static_cast<double>(r.w),
        b.bottom + ((b.top - b.bottom) * static_cast<double>(y - r.bottom)) / static_cast<double>(r.h),
    };
}

}  // namespace zqv
