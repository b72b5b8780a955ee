// The controller: the start, open, query and click sequences, the tick, and
// the texts the position boxes show.
#include "app/controller.h"

#include <charconv>
#include <string>

#include "app/window_system.h"
#include "fractal/view.h"
#include "recording/recording.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace {

struct StartView {
    double centre_re, centre_im, width;
    std::int32_t zoom_step;
    bool recorded;
};

constexpr StartView new_view = {0.2652315023763047, 0.0030612322139956, 6.72, 8, false};
constexpr StartView new_recorded_view = {-0.74723394, 0.12526091, 13.44, 8, true};
constexpr StartView generate_only_view = {0.2652315027667616, 0.0030612312511513, 215.04, 640, true};
constexpr std::int32_t open_zoom_step = 32;

// "%.*f" in every locale: always a decimal point, and the whole number
// however large (the largest double has 309 integer digits).
std::string fixed(double value, int decimals)
{
    char text[400];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, r.ptr);
}

// The end of every start and open sequence: a new ring and its first picture.
void show_new_ring()
{
    generate_ring();
    step_zoom();
    make_window_bitmap(display_buffer());
    invalidate_window();
}

void start_sequence(const StartView& start)
{
    set_zoom_step(start.zoom_step);
    set_view(start.centre_re, start.centre_im, start.width);
    if (start.recorded)
        start_recording();
    show_new_ring();
}

// A cancelled dialog still regenerates the ring, from the current view in
// the current mode.
void open_sequence()
{
    set_zoom_step(open_zoom_step);
    const std::optional<std::string> path = choose_recording();
    open_recording(path ? path->c_str() : nullptr);
    show_new_ring();
}

void query_position()
{
    const PlanePoint centre = get_centre();
    show_message("midx = " + fixed(centre.re, 6) + "\nmidy = " + fixed(centre.im, 6), "ZQV Position");
}

}  // namespace

bool on_command(unsigned id)
{
    switch (id) {
    case command_bugger_off:
        close_window();
        return true;
    case command_stop_start:
        if (!stop_timer())
            start_timer();
        return true;
    case command_new:
        start_sequence(new_view);
        return true;
    case command_new_recorded:
        start_sequence(new_recorded_view);
        return true;
    case command_open:
        open_sequence();
        return true;
    case command_generate_only:
        start_sequence(generate_only_view);
        return true;
    case command_query_position:
        query_position();
        return true;
    default:
        return false;
    }
}

// The timer is stopped during the step, so the next tick comes 20 ms after a
// long frame computation ends rather than piling up behind it.
void on_tick()
{
    stop_timer();
    if (has_ring())
        step_zoom();
    start_timer();
    refresh_window_bitmap(display_buffer());
    invalidate_window();
}

// Re-centres on the clicked point and starts a new zoom 20 times wider than
// the frame the ring would have produced next. Before any picture there is
// no point to map, and the click does nothing.
void on_click(std::uint16_t mx, std::uint16_t my)
{
    const std::optional<PlanePoint> point = map_point(mx, my);
    if (!point)
        return;
    beep(1000, 20);
    set_centre(point->re, point->im);
    show_message("x=" + fixed(point->re, 16) + "\ny=" + fixed(point->im, 16), "Error");
    widen_view();
    generate_ring();
    start_timer();
}
