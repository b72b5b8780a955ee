// What every front end of the program shares: its start-up, the menus, the
// title, the outer window size, the file filter of recordings, the version
// and the colour table that turns display indices into colours.
#pragma once

#include <array>
#include <cstdint>

#include "app/program_ids.h"
#include "app/version.h"

namespace zqv {

// The iteration cap of every frame the program computes.
constexpr std::uint32_t program_iteration_cap = 2048;

// What the program does before its message loop; each back end calls it
// once, after its main window exists, and so does anything else that must
// compute the program's frames (the command-line tool, the tests).
void start_program();

// The start views of the commands New, New (Recorded) and Generate Only,
// with the name the command line gives them.
struct StartView {
    const char* name;
    double centre_re, centre_im, width;
    std::int32_t zoom_step;
    bool recorded;
};
inline constexpr StartView new_view = {"new", 0.2652315023763047, 0.0030612322139956, 6.72, 8, false};
inline constexpr StartView new_recorded_view = {"recorded", -0.74723394, 0.12526091, 13.44, 8, true};
inline constexpr StartView generate_only_view = {"generate-only", 0.2652315027667616, 0.0030612312511513, 215.04,
                                                 640, true};
inline constexpr StartView start_views[] = {new_view, new_recorded_view, generate_only_view};

struct MenuItem {
    const char* text;
    unsigned id;
};

// The two popups of the menu bar, in order.
#define ZQV_MENU_ITEM(text, id) MenuItem{text, id},
constexpr const char* file_menu_title = ZQV_FILE_MENU_TITLE;
inline constexpr MenuItem file_menu_items[] = {ZQV_FILE_MENU_ITEMS(ZQV_MENU_ITEM)};
constexpr const char* zoom_menu_title = ZQV_ZOOM_MENU_TITLE;
inline constexpr MenuItem zoom_menu_items[] = {ZQV_ZOOM_MENU_ITEMS(ZQV_MENU_ITEM)};
#undef ZQV_MENU_ITEM

constexpr const char* program_title = ZQV_TITLE;
constexpr const char* program_version = ZQV_VERSION_TEXT;
// The main window's outer size, frame and menu included; the picture is
// drawn at 640 x 480 from the client origin and clipped by the smaller client area.
constexpr int window_outer_width = 640;
constexpr int window_outer_height = 480;
// The one filter of the file-open dialog.
constexpr const char* recording_filter_name = "zoomfiles";
constexpr const char* recording_filter_pattern = "*.zqv";

struct Rgb {
    std::uint8_t red, green, blue;
};

// The colour ramp: every channel advances by 31 per index from its own start
// (red 0, green 56, blue 107), modulo 256, so neighbouring counts differ
// clearly and the bands cycle through the whole range.
constexpr Rgb ramp_colour(int index)
{
    return {static_cast<std::uint8_t>(31 * index), static_cast<std::uint8_t>(56 + 31 * index),
            static_cast<std::uint8_t>(107 + 31 * index)};
}

// The colours of display indices: the ramp, with index 0 (the points inside
// the set, whose count 2048 wraps to 0) black.
inline constexpr std::array<Rgb, 256> colour_table = [] {
    std::array<Rgb, 256> table{};
    for (int i = 1; i < 256; ++i)
        table[i] = ramp_colour(i);
    return table;
}();

}  // namespace zqv
