// Locations from the command line, read the same in every locale.
#include "tool/render_location.h"

#include <charconv>
#include <cmath>

#include "app/program.h"

namespace zqv {

std::optional<std::string> find_location(const std::string& view, const std::string& centre, double width,
                                         Location& location)
{
    if (!view.empty()) {
        for (const StartView& start : start_views) {
            if (view == start.name) {
                location = {start.centre_re, start.centre_im, start.width};
                return std::nullopt;
            }
        }
        return "there is no start view " + view;
    }
    const char* end = centre.data() + centre.size();
    const std::from_chars_result first = std::from_chars(centre.data(), end, location.centre_re);
    bool read = first.ec == std::errc{} && first.ptr != end && *first.ptr == ',';
    if (read) {
        const std::from_chars_result second = std::from_chars(first.ptr + 1, end, location.centre_im);
        read = second.ec == std::errc{} && second.ptr == end;
    }
    location.width = width;
    if (!read || !std::isfinite(location.centre_re) || !std::isfinite(location.centre_im) ||
        !std::isfinite(width) || !(width > 0.0))
        return "--centre takes two finite numbers RE,IM and --width a finite positive number";
    return std::nullopt;
}

}  // namespace zqv
