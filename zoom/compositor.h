// The zoom compositor: nests the three on-screen frames of the ring, scaled
// up by nearest-neighbour sampling, into one display image, and maps a window
// point back to the plane through the picture on screen.
#pragma once

#include <cstdint>
#include <optional>

#include "fractal/frame/view.h"
#include "zoom/display_buffer.h"

namespace zqv {

constexpr int levels_on_screen = 3;  // the ring levels nested in the display image

// The on-screen rectangle of one nested level; rows count from the bottom,
// right and top are inclusive.
struct LevelRect {
    std::int32_t slot;
    std::int32_t w, h;
    std::int32_t left, right, bottom, top;
};

void compose_display();
// One tick of the animation: compose, then advance the scale.
void step_zoom();
const DisplayBuffer& display_buffer();
// The levels of the last composition, outermost first.
const LevelRect* composed_levels();
// The plane point under client point (mx, my) (origin top left, y down) in
// the picture last composed; nothing before any picture was composed.
std::optional<PlanePoint> map_point(std::uint16_t mx, std::uint16_t my);

}  // namespace zqv
