// The location file beside a recording: the zoom's exact start (decimal
// centre and width of any length) and its cap, which the recording's header
// holds only as the nearest doubles, and the frame from which the frames were
// computed by the deep engine. And the start of a zoom as generate and render
// take it from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fractal/deep/decimal.h"

namespace zqv {

struct Location {
    Decimal centre_re, centre_im, width;
    std::uint32_t cap = 0;          // 0: auto
    std::int64_t switch_frame = -1; // the first deep frame; -1: none
    std::uint32_t last_cap = 0;     // the cap of the last frame made
    // A key frame folder's: where the render that made it ended (--to-width
    // or --frames) and its pace (--seconds-per-halving or --duration).
    std::optional<Decimal> end_width, halvings, seconds_per_halving, duration;
};

// A cap as written: "auto" (0) or a count from 1 to 2^30; nothing if neither.
std::optional<std::uint32_t> parse_cap(const std::string& text);

// The location file of the recording at path: path with ".location" appended.
std::string location_path(const std::string& recording_path);

// Lines "key value"; '#' starts a comment line. Keys: centre-re, centre-im,
// width (decimals), cap (a number or auto), switch-frame, last-cap, and
// end-width, halvings, seconds-per-halving, duration (positive decimals).
std::string location_text(const Location& location);
// The location in text, or the reason it is not one.
std::optional<std::string> parse_location(const std::string& text, Location& location);
// Reads the file at path; the reason if it cannot be read or is not one.
std::optional<std::string> read_location(const std::string& path, Location& location);

// The start as the command line gives it: a start view of the program by
// name (when centre and file are empty), a centre "RE,IM" and a width as
// decimals of any length, or a location file.
struct LocationChoice {
    std::string view, centre, width, file;
};

// The shortest decimal that reads back as the same double.
Decimal double_decimal(double value);

// The location chosen: a start view's doubles as decimals (cap 0), the
// decimals given, or the file's location (at the width given, if one is).
// The reason if it is not one, with
// unreadable set when the file could not be read or holds no location (a
// failed file rather than a bad command line).
std::optional<std::string> choose_location(const LocationChoice& choice, Location& location, bool& unreadable);

// Whether two locations have the same centre and width, exactly.
bool same_place(const Location& a, const Location& b);

// Down to this width, frames and key frames are computed with offsets that
// are normal doubles (their pixel steps end near 2^-1022 = 2.2e-308);
// narrower ones keep their step's exponent apart.
constexpr double double_range_width = 1e-300;

// The narrowest width asked for that zqvtool computes (the frame that
// reaches it may be up to half as wide): its reference orbit takes about
// 33,300 bits, at about half a millisecond an iteration.
constexpr const char* deepest_width_text = "1e-10000";
FloatExp deepest_width();

// A width for people, with three significant digits at any exponent: "0.00125", "3.14e-1234".
std::string width_text(FloatExp width);

}  // namespace zqv
