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

// Level j holds the blocks of 2^j steps, blocks[level_start[j − 1]] to
// blocks[level_start[j] − 1], in one array so that the lanes can reach every
// level's blocks by one index; its block i starts at iteration 1 + i * 2^j
// and ends at or before the orbit's last iterate. largest_radius2[j − 1] is
// the largest R^2 of level j: no block of it holds where |z|^2 is as large.
struct BlaTables {
    std::vector<BlaBlock> blocks;
    std::vector<std::uint64_t> level_start;  // one more than the levels
    std::vector<double> largest_radius2;
};

// The levels the tables hold.
inline std::uint64_t bla_levels(const BlaTables& tables)
{
    return tables.largest_radius2.size();
}

// The tables for an orbit and a frame whose offsets dc reach at most
// largest_dc in modulus.
BlaTables build_bla(const ReferenceOrbit& orbit, double largest_dc);

// A block at any exponent, for points whose offsets leave double's range.
struct WideBlock {
    ComplexExp a, b;
    FloatExp radius;  // the block holds while |z| < radius
};

// The tables at any exponent, laid out as BlaTables.
struct WideTables {
    std::vector<WideBlock> blocks;
    std::vector<std::uint64_t> level_start;
    std::vector<FloatExp> largest_radius;
};

inline std::uint64_t bla_levels(const WideTables& tables)
{
    return tables.largest_radius.size();
}

// The tables for offsets up to largest_dc at any exponent (wide), and the
// same blocks in double (tables) for points given their offsets as
// dc * 2^-step_exponent: B there is scaled by 2^step_exponent, and a block
// whose A or B a double cannot hold, or whose radius is below the normal
// range, never holds.
void build_wide_bla(const ReferenceOrbit& orbit, FloatExp largest_dc, int step_exponent, WideTables& wide,
                    BlaTables& tables);

}  // namespace zqv
