// The ring of four frames at halving widths, the scale counter that turns it,
// and the choice of where each frame comes from (computed, recorded, played).
#pragma once

#include <cstdint>

#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"

namespace zqv {

constexpr int ring_slots = 4;
constexpr int min_scale = 640;   // the outermost level just fills the screen
constexpr int turn_scale = 1280;  // the second level now fills it: turn the ring

struct FrameRing {
    Frame frames[ring_slots];
    FrameRect rects[ring_slots];  // the view's bounds when each slot was produced
    std::uint8_t ring_index;      // slot of the outermost on-screen level
    std::int32_t current_scale;   // on-screen width of that level; 0 before any ring
    std::int32_t zoom_step;       // pixels added to the scale per tick
};

void produce_frame(int slot);
void generate_ring();
void advance_scale();
void set_zoom_step(std::int32_t pixels);
bool has_ring();
const FrameRing& frame_ring();

}  // namespace zqv
