// The pictures of zqvtool render, each made from the two coloured key
// frames that cover it: the outer one seen through a Gaussian window at
// every picture pixel, the deeper one likewise at the pixels it covers,
// blended in with a weight that grows with the zoom and rises across a band
// at its edge, so no seam shows. Weights from zqvtool's own exponential and
// integer arithmetic: the same bytes everywhere.
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
// from the outer key frame to the inner one, of the same size and half its
// width in the plane. Every pixel is a Gaussian-weighted mean of each key
// frame's points around its centre, σ 0.4 pixel whatever the key frame's
// scale on screen, so that detail holds steady through the zoom. (The inner
// key frame halved first would widen that window by a point of it, blurring
// the pictures before each hand-over.) At fraction 0 inner may be absent.
void blend_picture(const KeyColours& outer, const KeyColours* inner, double fraction, int width, int height,
                   std::vector<std::uint8_t>& picture);

// The deeper key frame's share of a picture at that fraction, in 256ths:
// b(t) = 1 − (1 − t)², 0 at t = 0 and 1 at t = 1. The outer key frame shows
// 2 down to 1 of its points a pixel along each axis over a halving, and
// below 2 the Gaussian window lets its sampling show; the deeper one, 4 down
// to 2, takes over sooner than under the weight that keeps the points
// behind each pixel even, (1 − 4^−t)/(4^(1−t) − 4^−t). On the spiral zoom at
// 1920 x 1080 the sharpness then varies over a halving within 0.973 to 1.050
// of its mean, where that weight gave 0.923 to 1.076.
int inner_share(double fraction);

}  // namespace zqv
