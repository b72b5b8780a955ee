// The palette, the working bitmap memory, the window bitmap built from the
// display image, and painting it into the main window.
#pragma once

#include <windows.h>

#include "app/window_system.h"

namespace zqv {

// The logical palette of the colour ramp, built once at start-up.
void create_palette();
// The zero-filled working memory (header, colour table, pixel copy); false if
// it cannot be had.
bool allocate_working_bitmap();
// A new window bitmap from the display image in property "bmp"; the one it
// replaces is deleted.
void make_window_bitmap(HWND window, const DisplayBuffer& image);
// Loads the display image into the existing window bitmap.
void refresh_window_bitmap(HWND window, const DisplayBuffer& image);
// Draws the window bitmap at the client origin (on WM_PAINT).
void paint(HWND window);

}  // namespace zqv
