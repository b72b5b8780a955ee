// The controller: the start, open, query and click sequences, the tick, and
// the texts the position boxes show.
#include "app/controller.h"

#include <charconv>
#include <string>

#include "app/window_system.h"
#include "fractal/frame/view.h"
#include "recording/recording.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace zqv {

namespace {

constexpr std::int32_t open_zoom_step = 32;

// "%.*f" in every locale: always a decimal point, and the whole number
// however large (the largest double has 309 integer digits).
std::string fixed(double value, int decimals)
{
    char text[400];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, r.ptr);
}

// The texts of the boxes about recordings; the reasons are the system's.
std::string cannot_record_text(const std::string& path, const std::string& reason)
{
    return "Cannot record into " + path + ": " + reason + ".\nThe zoom goes on without recording.";
}

std::string recording_stopped_text(const std::string& path, const std::string& reason, std::uint64_t frames)
{
    return "Recording into " + path + " stopped: " + reason + ".\nThe file keeps " + std::to_string(frames) +
           (frames == 1 ? " whole frame" : " whole frames") + "; the zoom goes on without recording.";
}

std::string cannot_play_text(const std::string& path, const std::string& reason)
{
    return "Cannot play " + path + ": " + reason + ".";
}

// Tells the user, once, that a write failure ended the recording; the zoom
// goes on with computed frames.
void report_recording_stop()
{
    if (const std::optional<RecordingStop> stop = take_recording_stop())
        show_message(recording_stopped_text(stop->path, stop->reason, stop->whole_frames), program_title);
}

// The end of every start and open sequence: a new ring and its first picture.
void show_new_ring()
{
    generate_ring();
    step_zoom();
    make_window_bitmap(display_buffer());
    invalidate_window();
    report_recording_stop();
}

// A recording that cannot start is said so after the first picture, which is
// then the start view's own, computed.
void start_sequence(const StartView& start)
{
    set_zoom_step(start.zoom_step);
    set_view(start.centre_re, start.centre_im, start.width);
    std::optional<std::string> failure;
    if (start.recorded)
        failure = start_recording();
    show_new_ring();
    if (failure)
        show_message(cannot_record_text(recording_file_name, *failure), program_title);
}

// A cancelled dialog still regenerates the ring, from the current view in
// the current mode. A file that cannot be played is refused, and the zoom on
// screen goes on as it was, at its own step.
void open_sequence()
{
    const std::int32_t previous_step = frame_ring().zoom_step;
    set_zoom_step(open_zoom_step);
    const std::optional<std::string> path = choose_recording();
    if (path) {
        if (const std::optional<std::string> refused = open_recording(path->c_str())) {
            set_zoom_step(previous_step);
            show_message(cannot_play_text(*path, *refused), program_title);
            return;
        }
    }
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
    report_recording_stop();
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
    report_recording_stop();
}

}  // namespace zqv
