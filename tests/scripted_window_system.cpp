// The scripted window system's definitions of the back-end functions.
#include "scripted_window_system.h"

#include "app/controller.h"
#include "app/window_system.h"

using namespace zqv;

Script script;

namespace {

void run_ticks_while_modal()
{
    const int ticks = script.ticks_in_next_modal;
    script.ticks_in_next_modal = 0;
    for (int i = 0; i < ticks; ++i)
        if (script.timer_running)
            on_tick();
}

}  // namespace

void reset_script()
{
    const bool running = script.timer_running;
    script = Script{};
    script.timer_running = running;
}

namespace zqv {

void start_timer()
{
    script.calls.push_back("start_timer");
    script.timer_running = true;
}

bool stop_timer()
{
    script.calls.push_back("stop_timer");
    const bool was_running = script.timer_running;
    script.timer_running = false;
    return was_running;
}

void show_message(const std::string& text, const std::string& title)
{
    script.calls.push_back("message " + title + "|" + text);
    run_ticks_while_modal();
}

void beep(unsigned frequency_hz, unsigned duration_ms)
{
    script.calls.push_back("beep " + std::to_string(frequency_hz) + " " + std::to_string(duration_ms));
}

void invalidate_window()
{
    script.calls.push_back("invalidate");
}

void close_window()
{
    script.calls.push_back("close_window");
    script.window_closed = true;
}

std::optional<std::string> choose_recording()
{
    script.calls.push_back("choose_recording");
    run_ticks_while_modal();
    return script.dialog_answer;
}

void make_window_bitmap(const DisplayBuffer&)
{
    script.calls.push_back("make_window_bitmap");
    if (script.on_bitmap_made)
        script.on_bitmap_made();
}

void refresh_window_bitmap(const DisplayBuffer&)
{
    script.calls.push_back("refresh_window_bitmap");
}

}  // namespace zqv
