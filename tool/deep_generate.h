// zqvtool generate's deep path: a zoom from an exact location to any depth
// down to widths of 1e-300, in double precision while that resolves every
// pixel with a margin and by the deep engine from the switch frame on.
#pragma once

#include <cstdint>
#include <string>

#include "fractal/deep/deep_orbit.h"

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

// The automatic cap: the program's 2048 at the start; it doubles after a
// frame of which more than 1 % of the computed points escaped in the upper
// half of the cap (the counts are closing in on it); and a frame with more
// than 10 % of its points at the cap and more than twice the share of the
// frame before (it turned black at once: the counts jumped past the cap) is
// computed again at four times the cap, once. Never above auto_cap_ceiling.
constexpr std::uint32_t auto_cap_start = 2048;
constexpr std::uint32_t auto_cap_ceiling = 1u << 25;  // 33554432: its orbit holds 512 MB
// A frame with more than this share of its computed points at the cap is
// reported (and, with the automatic cap, computed again): 1 in 100.
constexpr std::uint64_t capped_share_divisor = 100;
// The smallest width asked for that the deep engine computes (the frame that
// reaches it may be up to half as wide): its pixel steps, 1/640 of the width,
// stay normal doubles with room to spare (they end near 2^-1022 = 2.2e-308).
constexpr double deepest_width = 1e-300;

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
