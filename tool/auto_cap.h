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
// starts at auto_cap_start. A key frame with more than 1% more of its points
// at the cap than the key frame before is computed again at twice the cap,
// and again while the last doubling let at least a quarter of the points at
// the cap escape (when it does not, they lie inside the set, which no cap
// changes), or while less than 1% of its points escaped after a key frame
// with less than 1% at the cap (the zoom starts deeper than the counts
// reach); after a key frame with more than 1% of its points escaped above
// half the cap, the next starts at twice it. Never above auto_cap_ceiling.
// Points inside cost the cap's iterations each, so a view that turns wholly
// inside the set must not climb to the ceiling.
struct DeepAutoCap {
    bool on = false;
    std::uint32_t cap = auto_cap_start;  // the next key frame's
    double last_share = 0.0;             // of the last key frame's points at its cap
    std::uint32_t highest = 0;           // the highest cap used
};

// After a key frame of that cap and values: the next key frame's start.
void note_key_cap(DeepAutoCap& deep_cap, std::uint32_t cap, const GridValues& values);
// Whether the key frame just computed at cap, with values, is computed again:
// then cap is doubled. capped_before is the share at the cap before the last
// doubling, 2 at the first computation, and is kept up to date.
bool raise_key_cap(const DeepAutoCap& deep_cap, const GridValues& values, std::uint32_t& cap, double& capped_before);

}  // namespace zqv
