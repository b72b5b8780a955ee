// What the controller asks of the window system. Each back end defines these
// functions: the Win32 program, the Qt program and the tests' scripted one.
#pragma once

#include <optional>
#include <string>

#include "zoom/display_buffer.h"

namespace zqv {

// Starts, or restarts, the 20 ms animation timer of the main window.
void start_timer();
// Stops the animation timer; true if it was running.
bool stop_timer();
// A modal message box owned by the main window, with an OK button. Timer
// ticks keep being handled while it is open.
void show_message(const std::string& text, const std::string& title);
void beep(unsigned frequency_hz, unsigned duration_ms);
// Marks the whole client area for repainting, without erasing it.
void invalidate_window();
// Closes the main window before returning; the program then ends with code 0.
void close_window();
// The modal file-open dialog for recordings: the chosen path, or nothing.
std::optional<std::string> choose_recording();
// Builds a new window bitmap from the display image (start and open sequences).
void make_window_bitmap(const DisplayBuffer& image);
// Loads the display image into the existing window bitmap (every tick); does
// nothing before the first window bitmap was made.
void refresh_window_bitmap(const DisplayBuffer& image);

}  // namespace zqv
