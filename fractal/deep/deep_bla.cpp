// The tables: a single step m is A = 2 Z_m, B = 1, valid while the dropped
// z^2 stays below double's rounding of the kept 2 Z_m z, that is while
// |z| < 2^-53 |2 Z_m|. Block x then block y merge into A = A_y A_x,
// B = A_y B_x + B_y, R = min(R_x, max(0, (R_y - |B_x| dcmax) / |A_x|)).
#include "fractal/deep/deep_bla.h"

#include <algorithm>
#include <cmath>

namespace zqv {

namespace {

// 2^-53, double's unit roundoff. Against a 512-bit computation of 1000
// sampled pixels of the seahorse path at 1e-80 (counts near 15,000), it
// missed one count, as plain perturbation does; 2^-46 missed two, 2^-40 more
// (while taking 16.8 and 22 iterations a step at 1e-100 where 2^-53 takes 11.7).
constexpr double single_step_precision = 1.1102230246251565e-16;

BlaBlock single_step(const ReferenceOrbit& orbit, std::size_t m)
{
    const double ar = 2.0 * orbit.z[2 * m], ai = 2.0 * orbit.z[2 * m + 1];
    const double radius = single_step_precision * std::sqrt(ar * ar + ai * ai);
    return {ar, ai, 1.0, 0.0, radius * radius, radius};
}

BlaBlock merge(const BlaBlock& x, const BlaBlock& y, double largest_dc)
{
    BlaBlock b;
    b.ar = y.ar * x.ar - y.ai * x.ai;
    b.ai = y.ar * x.ai + y.ai * x.ar;
    b.br = (y.ar * x.br - y.ai * x.bi) + y.br;
    b.bi = (y.ar * x.bi + y.ai * x.br) + y.bi;
    const double ax = std::sqrt(x.ar * x.ar + x.ai * x.ai);
    const double bx = std::sqrt(x.br * x.br + x.bi * x.bi);
    const double room = y.radius - bx * largest_dc;
    const double reach = ax > 0.0 && room > 0.0 ? room / ax : 0.0;
    b.radius = std::min(x.radius, reach);
    b.radius2 = b.radius * b.radius;
    return b;
}

WideBlock wide_single_step(const ReferenceOrbit& orbit, std::size_t m)
{
    ComplexExp a = reference_at(orbit, m);
    a.e = a.re == 0.0 && a.im == 0.0 ? zero_exponent : a.e + 1;  // 2 Z_m
    return {a, {1.0, 0.0, 0}, to_floatexp(single_step_precision) * sqrt(norm(a))};
}

WideBlock wide_merge(const WideBlock& x, const WideBlock& y, FloatExp largest_dc)
{
    WideBlock b;
    b.a = y.a * x.a;
    b.b = y.a * x.b + y.b;
    const FloatExp ax = sqrt(norm(x.a)), bx = sqrt(norm(x.b));
    const FloatExp room = y.radius - bx * largest_dc;
    const FloatExp reach = is_positive(ax) && is_positive(room) ? room / ax : zero_floatexp;
    b.radius = reach < x.radius ? reach : x.radius;
    return b;
}

// The double block for points whose offsets are scaled by 2^-step_exponent.
BlaBlock double_block(const WideBlock& w, int step_exponent)
{
    // Beyond 2^1000 a coefficient is of no use to a point whose |z| is
    // at least 2^-400, where the double steps take points.
    const bool held = w.a.e < 1000 && static_cast<std::int64_t>(w.b.e) + step_exponent < 1000;
    const double radius = held ? to_double(w.radius) : 0.0;
    if (radius == 0.0)
        return {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    return {scaled_double(w.a.re, w.a.e), scaled_double(w.a.im, w.a.e),
            scaled_double(w.b.re, static_cast<std::int64_t>(w.b.e) + step_exponent),
            scaled_double(w.b.im, static_cast<std::int64_t>(w.b.e) + step_exponent), radius * radius, radius};
}

}  // namespace

void build_wide_bla(const ReferenceOrbit& orbit, FloatExp largest_dc, int step_exponent, WideTables& wide,
                    BlaTables& tables)
{
    const std::size_t last = orbit_size(orbit) - 1;
    wide = WideTables{};
    std::vector<WideBlock>& blocks = wide.blocks;
    blocks.reserve(last);
    wide.level_start.push_back(0);
    for (std::size_t m = 1; m + 2 <= last; m += 2)
        blocks.push_back(wide_merge(wide_single_step(orbit, m), wide_single_step(orbit, m + 1), largest_dc));
    for (std::size_t first = 0; first < blocks.size();) {
        const std::size_t end = blocks.size();
        wide.level_start.push_back(end);
        FloatExp largest = zero_floatexp;
        for (std::size_t i = first; i < end; ++i)
            largest = largest < blocks[i].radius ? blocks[i].radius : largest;
        wide.largest_radius.push_back(largest);
        for (std::size_t i = first; i + 1 < end; i += 2)
            blocks.push_back(wide_merge(blocks[i], blocks[i + 1], largest_dc));
        first = end;
    }
    tables = BlaTables{};
    tables.level_start = wide.level_start;
    tables.blocks.reserve(blocks.size());
    for (const WideBlock& w : blocks)
        tables.blocks.push_back(double_block(w, step_exponent));
    for (std::size_t j = 0; j + 1 < tables.level_start.size(); ++j) {
        double largest = 0.0;
        for (std::uint64_t i = tables.level_start[j]; i < tables.level_start[j + 1]; ++i)
            largest = std::max(largest, tables.blocks[i].radius2);
        tables.largest_radius2.push_back(largest);
    }
}

BlaTables build_bla(const ReferenceOrbit& orbit, double largest_dc)
{
    const std::size_t last = orbit_size(orbit) - 1;
    BlaTables tables;
    // Level 1 from single steps; block i covers steps 1 + 2i and 2 + 2i.
    std::vector<BlaBlock>& blocks = tables.blocks;
    blocks.reserve(last);  // the levels hold about last/2 + last/4 + ... blocks
    tables.level_start.push_back(0);
    for (std::size_t m = 1; m + 2 <= last; m += 2)
        blocks.push_back(merge(single_step(orbit, m), single_step(orbit, m + 1), largest_dc));
    // Each level from the one before: its pairs of blocks merged.
    for (std::size_t first = 0; first < blocks.size();) {
        const std::size_t end = blocks.size();
        tables.level_start.push_back(end);
        double largest = 0.0;
        for (std::size_t i = first; i < end; ++i)
            largest = std::max(largest, blocks[i].radius2);
        tables.largest_radius2.push_back(largest);
        for (std::size_t i = first; i + 1 < end; i += 2)
            blocks.push_back(merge(blocks[i], blocks[i + 1], largest_dc));
        first = end;
    }
    return tables;
}

}  // namespace zqv
