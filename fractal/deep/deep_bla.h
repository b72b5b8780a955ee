// Bilinear approximation of the perturbation steps: over l steps from
// iteration m, z_{m+l} ~ A z_m + B dc while |z_m| < R. Tables of blocks of
// 2, 4, 8, ... steps, merged level by level from single steps.
#pragma once

#include <cstdint>
#include <vector>

#include "fractal/deep/deep_orbit.h"

namespace zqv {

struct BlaBlock {
    double ar, ai;   // A
    double br, bi;   // B
    double radius2;  // R^2: the block holds while |z|^2 < R^2
    double radius;
};

// levels[j - 1] holds the blocks of 2^j steps; block i starts at iteration
// 1 + i * 2^j and ends at or before the orbit's last iterate.
struct BlaTables {
    std::vector<std::vector<BlaBlock>> levels;
};

// The tables for an orbit and a frame whose offsets dc reach at most
// largest_dc in modulus.
BlaTables build_bla(const ReferenceOrbit& orbit, double largest_dc);

}  // namespace zqv
