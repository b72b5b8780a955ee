// What the lane kernels share: the vector lanes an instruction set provides,
// the sets of lanes they pass between them as bits, and the attributes of
// the functions compiled for that instruction set. A lanes_*.h header
// defines LANES_TARGET and the instruction set's type; a kernel header then
// runs its work on any such type.
#pragma once

#include <concepts>
#include <cstdint>
#include <utility>

// On 32-bit Windows a thread or window procedure may enter with the stack
// aligned to 4 bytes only; the kernels realign it for their vector spills.
#if defined(__i386__)
#define LANES_ENTRY LANES_TARGET __attribute__((force_align_arg_pointer))
#else
#define LANES_ENTRY LANES_TARGET
#endif
#define LANES_INLINE LANES_TARGET __attribute__((always_inline)) inline

namespace zqv {

// The most lanes of any instruction set: the 8 doubles of AVX-512. A vector
// load or store of them may run max_lanes - 1 past the last value used.
constexpr int max_lanes = 8;

namespace {

// What an instruction set provides: `width` lanes of doubles (V), a mask of
// lanes (Mask) and the masks of one round kept step by step (History). Sets
// of lanes pass between them as bits, bit j for lane j.
template <class L>
concept VectorLanes = requires(typename L::V v, typename L::Mask m, typename L::History& history,
                               unsigned lanes, int step, const double* from, double* to) {
    requires L::width >= 2 && L::width <= max_lanes;
    { L::set1(0.0) } -> std::same_as<typename L::V>;
    { L::add(v, v) } -> std::same_as<typename L::V>;
    { L::sub(v, v) } -> std::same_as<typename L::V>;
    { L::mul(v, v) } -> std::same_as<typename L::V>;
    { L::min(v, v) } -> std::same_as<typename L::V>;
    { L::smallest(v) } -> std::same_as<double>;  // the least of the lanes
    // m less the lanes where sum >= four; a NaN sum stays in.
    { L::below(m, v, v) } -> std::same_as<typename L::Mask>;
    // Keeps m as the mask of the round's step-th iteration.
    { L::record(history, step, m) };
    // For each lane, how many of the round's masks hold it, as a double.
    { L::steps_in(std::as_const(history)) } -> std::same_as<typename L::V>;
    { L::bits(m) } -> std::same_as<unsigned>;
    { L::mask(lanes) } -> std::same_as<typename L::Mask>;
    { L::at_least(v, v) } -> std::same_as<unsigned>;  // the lanes where a >= b
    // v with the lanes in `lanes` taken from the second vector.
    { L::blend(v, lanes, v) } -> std::same_as<typename L::V>;
    // v with its j-th lane in `lanes` set to from[j]; reads `width` doubles.
    { L::expand(v, lanes, from) } -> std::same_as<typename L::V>;
    // Stores the j-th lane in `lanes` of v to to[j]; may write `width` doubles.
    { L::compress(to, lanes, v) };
};

// Iterations between two looks at the lanes: a round. A point that ends
// (escapes or reaches the cap) is seen at the end of its round and written
// and replaced at the end of the next, so its lane idles 4 + 8 iterations on
// average, about 2% of the bench set's mean count of about 650. Writing it a
// round late lets the branch that does so test masks known long before,
// whose mispredictions then cost little.
constexpr int round_steps = 8;

// The number of lanes in each set of lanes.
struct LaneCounts {
    std::uint8_t of[1 << max_lanes];
};
constexpr LaneCounts make_lane_counts()
{
    LaneCounts t{};
    for (unsigned lanes = 1; lanes < 1 << max_lanes; ++lanes)
        t.of[lanes] = static_cast<std::uint8_t>(t.of[lanes & (lanes - 1)] + 1);
    return t;
}
constexpr LaneCounts lane_counts = make_lane_counts();

// The lowest n lanes of a set that has more.
inline unsigned lowest_lanes(unsigned lanes, int n)
{
    unsigned kept = 0;
    for (; n > 0; --n, lanes &= lanes - 1)
        kept |= lanes & (0u - lanes);
    return kept;
}

}  // namespace
}  // namespace zqv
