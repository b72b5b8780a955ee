// The pictures of zqvtool render, each made from the two coloured key
// frames that cover it: the outer one area-averaged over every picture
// pixel, the deeper one likewise over the pixels it covers, blended in with
// a weight that grows with the zoom and rises across a band at its edge, so
// no seam shows. Integer arithmetic throughout: the same bytes everywhere.
#pragma once

#include <cstdint>
#include <vector>

namespace zqv {

// A coloured key frame: width x height points, row 0 on top, in three
// planes one after the other (red, green, blue), a byte per point; the key
// frame's plane width is `width` steps of its grid.
struct KeyColours {
    const std::uint8_t* rgb = nullptr;
    int width = 0, height = 0;
};

// The picture width x height (three bytes a pixel) at `fraction` of the way
// from the outer key frame to the inner one, half its width in the plane,
// given as halve_colours made it (the inner key frame always shows at least
// 2 of its points per pixel, so halving it first loses nothing and halves
// the work). At fraction 0 every pixel is the rounded mean of the outer key
// frame's points under it; inner may then be absent.
void blend_picture(const KeyColours& outer, const KeyColours* inner, double fraction, int width, int height,
                   std::vector<std::uint8_t>& picture);

// The key frame at half its width and height, each point the rounded mean
// of 2 x 2.
void halve_colours(const KeyColours& key, std::vector<std::uint8_t>& half);

// The deeper key frame's share of a picture at that fraction, in 256ths:
// b(t) = (1 − 4^−t)/(4^(1−t) − 4^−t), which keeps the density of computed
// points behind each pixel even from one key frame to the next (it is 0 at
// t = 0 and 1 at t = 1).
int inner_share(double fraction);

}  // namespace zqv
