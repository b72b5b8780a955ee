// zqvtool generate's deep path: a zoom from an exact location to any depth
// down to widths of 1e-10000, in double precision while that resolves every
// pixel with a margin and by the deep engine from the switch frame on.
#pragma once

#include <cstdint>
#include <string>

#include "fractal/deep/decimal.h"

namespace zqv {

// Halvings kept between the switch frame and the first frame double
// precision no longer resolves: there a pixel step is still 2^8 = 256 ulps
// of the centre's coordinates, so the double frames place every pixel
// within 1/512 of a step of its exact point.
constexpr std::int64_t switch_margin = 8;

// The first frame the deep engine computes, from the first unresolved frame.
constexpr std::int64_t switch_frame_for(std::int64_t first_unresolved)
{
    return first_unresolved > switch_margin ? first_unresolved - switch_margin : 0;
}


struct DeepRequest {
    Decimal centre_re, centre_im, width;
    std::int64_t frames = 0;       // 0: given by to_width, else until double precision runs out
    Decimal to_width;              // used when has_to_width
    bool has_to_width = false;
    std::uint32_t cap = 0;         // 0: auto
    bool with_bla = true;
    std::string out;
    bool force = false;
};

// Makes the recording and its location file; the exit code.
int run_deep_generate(const DeepRequest& request);

}  // namespace zqv
