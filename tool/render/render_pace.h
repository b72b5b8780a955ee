// The pace of zqvtool render: which depth, in halvings of the width, each
// picture of the video shows. The zoom runs at an even, exponential rate,
// optionally easing in and out, from its start width up to but not including
// its end width, so that renders of consecutive width ranges join without a
// repeated picture; optional holds show the start and the end width.
#pragma once

#include <cstdint>

namespace zqv {

struct Pace {
    double halvings = 0.0;       // the depth of the last picture
    int fps = 60;
    double zoom_seconds = 0.0;   // from the first picture of the zoom to the end of its last
    double ease_seconds = 0.0;   // of speeding up at the start and slowing down at the end, each
    double hold_seconds = 0.0;   // of the start and of the end width, each
};

// The pictures of the zoom alone (its seconds times fps, at least 1), and
// of the video with its holds.
std::int64_t zoom_pictures(const Pace& pace);
std::int64_t video_pictures(const Pace& pace);

// The depth picture `number` (from 0) shows, 0 to pace.halvings, never
// decreasing: zoom picture j of n shows the depth reached after j/n of the
// zoom's time, the holds before it depth 0 and those after it the end.
double picture_depth(const Pace& pace, std::int64_t number);

}  // namespace zqv
