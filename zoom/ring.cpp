// The frame ring: four slots at halving widths around one centre. The scale
// grows by the zoom step each tick; when the second level has doubled to fill
// the screen the ring turns and the freed slot is produced one level deeper.
#include "zoom/ring.h"

#include "fractal/frame/fast_frame.h"
#include "recording/recording.h"

namespace zqv {

namespace {

FrameRing ring;  // zero: no ring yet
// The step the program starts with, set at start-up rather than in the
// initialiser so the 1.2 MB ring stays out of the executable's data.
[[maybe_unused]] const bool initial_step_set = (ring.zoom_step = 8, true);

}  // namespace

void produce_frame(int slot)
{
    if (record_mode() == record_playback) {
        read_frame(ring.frames[slot]);  // at the end of a file the slot keeps its bytes
    } else {
        // A frame cut short by stop_frames is never recorded.
        if (compute_frame(ring.frames[slot]) && record_mode() == record_recording)
            write_frame(ring.frames[slot]);
    }
    const ViewState& v = view_state();
    ring.rects[slot] = {v.left, v.top, v.right, v.bottom};
}

void generate_ring()
{
    for (int slot = 0; slot < ring_slots; ++slot) {
        produce_frame(slot);
        halve_width();
    }
    ring.ring_index = 0;
    ring.current_scale = min_scale;
}

// Whatever the scale overshot 1279 by is dropped: the new outer level starts
// at exactly 640.
void advance_scale()
{
    ring.current_scale += ring.zoom_step;
    if (ring.current_scale < turn_scale)
        return;
    ring.ring_index = static_cast<std::uint8_t>((ring.ring_index + 1) % ring_slots);
    ring.current_scale = min_scale;
    produce_frame((ring.ring_index + 3) % ring_slots);
    halve_width();
}

void set_zoom_step(std::int32_t pixels)
{
    ring.zoom_step = pixels;
}

bool has_ring()
{
    return ring.current_scale != 0;
}

const FrameRing& frame_ring()
{
    return ring;
}

}  // namespace zqv
