// The zoom's depth over time: a speed that rises linearly over the ease at
// the start, stays constant, and falls linearly over the ease at the end.
#include "tool/render/render_pace.h"

#include <algorithm>
#include <cmath>

namespace zqv {

namespace {

std::int64_t pictures_in(double seconds, int fps)
{
    return static_cast<std::int64_t>(std::floor(seconds * fps + 0.5));
}

// The share of the way done at share u of the time, with a of the time
// easing at each end (a ≤ ½): the speed 1/(1 − a) reached over a.
double eased(double u, double a)
{
    if (a <= 0.0)
        return u;
    const double speed = 1.0 / (1.0 - a);
    if (u < a)
        return speed * u * u / (2.0 * a);
    if (u > 1.0 - a)
        return 1.0 - speed * (1.0 - u) * (1.0 - u) / (2.0 * a);
    return speed * (u - a / 2.0);
}

}  // namespace

std::int64_t zoom_pictures(const Pace& pace)
{
    return std::max<std::int64_t>(1, pictures_in(pace.zoom_seconds, pace.fps));
}

std::int64_t video_pictures(const Pace& pace)
{
    return zoom_pictures(pace) + 2 * pictures_in(pace.hold_seconds, pace.fps);
}

double picture_depth(const Pace& pace, std::int64_t number)
{
    const std::int64_t hold = pictures_in(pace.hold_seconds, pace.fps), zoom = zoom_pictures(pace);
    const std::int64_t step = std::clamp<std::int64_t>(number - hold, 0, zoom);
    if (step == zoom)
        return pace.halvings;
    const double u = static_cast<double>(step) / static_cast<double>(zoom);
    const double a = std::min(0.5, pace.ease_seconds / std::max(pace.zoom_seconds, 1e-9));
    return std::min(pace.halvings, pace.halvings * eased(u, a));
}

}  // namespace zqv
