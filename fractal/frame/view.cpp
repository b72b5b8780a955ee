// The view: set, re-centred, halved and widened, always with every derived
// field recomputed in one fixed order so the doubles are the same everywhere.
#include "fractal/frame/view.h"

#include "fractal/frame/geometry.h"

namespace zqv {

namespace {

ViewState view;  // all zero at start: every pixel is then the same point

// 1/640 and 1/480 as stored doubles: the steps multiply by them, never divide.
constexpr double inv_frame_width = 0.0015625;
constexpr double inv_frame_height = 0.0020833333333333333;

void derive_fields()
{
    view.height = view.width * 0.75;  // 480/640: square pixels
    view.left = view.centre_re - view.width * 0.5;
    view.right = view.centre_re + view.width * 0.5;
    view.top = view.centre_im + view.height * 0.5;
    view.bottom = view.centre_im - view.height * 0.5;
    view.coarse_step_re = (view.width * 5.0) * inv_frame_width;
    view.coarse_step_im = (view.height * 5.0) * inv_frame_height;
    view.step_re = view.width * inv_frame_width;
    view.step_im = view.height * inv_frame_height;
}

// Whether origin + b * coarse_step, then + step per pixel, for blocks blocks
// of block_size pixels, strictly increase, formed as the frame forms them.
bool coordinates_increase(double origin, double coarse_step, double step, int blocks)
{
    double previous = 0.0;
    for (int b = 0; b < blocks; ++b) {
        double coordinate = origin + b * coarse_step;
        for (int i = 0; i < block_size; ++i) {
            if ((b > 0 || i > 0) && !(coordinate > previous))
                return false;
            previous = coordinate;
            coordinate += step;
        }
    }
    return true;
}


}  // namespace

void set_view(double centre_re, double centre_im, double width)
{
    view.centre_re = centre_re;
    view.centre_im = centre_im;
    view.width = width;
    derive_fields();
}

void set_centre(double centre_re, double centre_im)
{
    view.centre_re = centre_re;
    view.centre_im = centre_im;
    derive_fields();
}

void halve_width()
{
    view.width = view.width * 0.5;
    derive_fields();
}

void widen_view()
{
    view.width = view.width * 20.0;
    derive_fields();
}

PlanePoint get_centre()
{
    return {view.centre_re, view.centre_im};
}

double get_width()
{
    return view.width;
}

const ViewState& view_state()
{
    return view;
}

bool view_resolves_pixels(const ViewState& v)
{
    return coordinates_increase(v.left, v.coarse_step_re, v.step_re, block_columns) &&
           coordinates_increase(v.bottom, v.coarse_step_im, v.step_im, block_rows);
}

std::int64_t first_unresolved_frame(double centre_re, double centre_im, double width)
{
    set_view(centre_re, centre_im, width);
    std::int64_t frame = 0;
    for (; view_resolves_pixels(view_state()); ++frame)
        halve_width();  // ends: at a width of 0 no coordinate increases
    return frame;
}

}  // namespace zqv
