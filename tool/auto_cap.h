// The automatic iteration caps of generate and render, in one place: the
// caps they start from and never pass, and the rules by which each raises
// its cap as the counts grow with the depth.
#pragma once

#include <cstdint>

#include "fractal/grid/grid_layout.h"

namespace zqv {

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

// The iteration cap `auto` gives a render of that many halvings in double
// precision: the program's 2048 and 256 more for each halving, as the counts
// near the boundary grow with depth.
std::uint32_t auto_cap(int halvings);

// The automatic cap of a render that goes past double precision, where the
// counts grow with the depth far faster than 256 a halving. Key frame 0
// starts at auto_cap_start. Points at the cap count only outside the main
// cardioid and the period-2 bulb (inside those, no cap changes anything). A
// key frame with more than 1% more of its points at the cap than the key
// frame before is computed again at twice the cap if the counts reach
// toward the cap (the points escaped above half of it are at least a quarter
// as many as that rise), if half its points went to the cap at once, or if
// less than 1% of its points escaped after a key frame with less than 1% at
// the cap (the zoom starts deeper than the counts reach); then again while
// the last doubling let at least a quarter of the points at the cap escape
// or nothing escaped yet. Otherwise the points newly at the cap are taken to
// be inside the set: a zoom into a minibrot does not double the cap at every
// key frame as the minibrot fills the view. After a key frame with more than
// 1% of its points escaped above half the cap, the next starts at twice it;
// after one with less than 1% escaped above a quarter of it and less than
// 1% at it, at half it (not below auto_cap_start), so that the cap comes
// down again once the view has passed what needed it. Never above
// auto_cap_ceiling.
struct DeepAutoCap {
    bool on = false;
    std::uint32_t cap = auto_cap_start;  // the next key frame's
    double last_share = 0.0;             // of the last key frame's points at its cap
    std::uint32_t highest = 0;           // the highest cap used
};

// After a key frame of that layout and values: the next key frame's start.
void note_key_cap(DeepAutoCap& deep_cap, const GridLayout& layout, const GridValues& values);
// Whether the key frame just computed with that layout and values is
// computed again: then cap is twice the layout's. capped_before is the share
// at the cap before the last doubling, 2 at the first computation, and is
// kept up to date.
bool raise_key_cap(const DeepAutoCap& deep_cap, const GridLayout& layout, const GridValues& values,
                   std::uint32_t& cap, double& capped_before);

}  // namespace zqv
