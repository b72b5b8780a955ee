// The one view of the complex plane that the next frame covers: a centre and
// a width, with the edges and sample steps derived from them and stored.
#pragma once

#include <cstdint>

namespace zqv {

struct ViewState {
    double centre_re;
    double centre_im;
    double width;
    double height;
    double left;
    double right;
    double top;
    double bottom;
    double step_re;
    double step_im;
    double coarse_step_re;
    double coarse_step_im;
};

// The bounds of one produced frame, in this order.
struct FrameRect {
    double left;
    double top;
    double right;
    double bottom;
};

// A point of the plane: real part, imaginary part.
struct PlanePoint {
    double re;
    double im;
};

void set_view(double centre_re, double centre_im, double width);
void set_centre(double centre_re, double centre_im);
void halve_width();
void widen_view();
PlanePoint get_centre();
double get_width();
const ViewState& view_state();

// Whether a frame of this view still tells its pixels apart: true while the
// 640 column and 480 row coordinates the frame computation forms (each
// block's origin by multiplication, then repeated addition of the pixel
// step) are strictly increasing. Deeper, neighbours share a coordinate and
// the frame shows blocky artefacts instead of the set.
bool view_resolves_pixels(const ViewState& v);

// The first frame of a zoom from this view whose pixel step no longer
// resolves in double precision; frame 0 is the view itself. Moves the view.
std::int64_t first_unresolved_frame(double centre_re, double centre_im, double width);

}  // namespace zqv
