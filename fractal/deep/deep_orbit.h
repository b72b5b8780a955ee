// The reference orbit of a deep zoom: the orbit of the zoom's exact centre
// iterated in fixed-point integer arithmetic (Boost.Multiprecision cpp_int),
// each iterate rounded to doubles, so every build computes the same bits.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "fractal/deep/decimal.h"

namespace zqv {

// The centre and the last iterate in fixed point, where the orbit goes on
// from (deep_orbit.cpp).
struct ExactIterate;
struct ExactIterateDeleter {
    void operator()(ExactIterate* exact) const;
};

// An iterate both of whose parts lie below double's normal range.
struct TinyIterate {
    std::uint64_t m;
    ComplexExp z;
};

// The reference orbit Z_0 = 0, Z_{m+1} = Z_m^2 + C of the zoom's centre C,
// each iterate rounded to doubles. It stops at the first iterate with
// |Z|^2 >= 4 (kept) or at the length asked for.
struct ReferenceOrbit {
    // Z_0 .. Z_last, Z_m's real part at 2m and its imaginary part at 2m + 1,
    // so that the one cache line the lanes read for Z_m holds both. A part
    // below the normal range is 0.
    std::vector<double> z;
    // The iterates held as (0, 0) in z that are not 0, with their exponent, in order of m.
    std::vector<TinyIterate> tiny;
    bool escaped = false;        // the last iterate left the radius-2 disc
    int fraction_bits = 0;       // of the fixed-point numbers
    std::unique_ptr<ExactIterate, ExactIterateDeleter> exact;
};

// The iterates the orbit holds, Z_0 .. Z_last.
inline std::size_t orbit_size(const ReferenceOrbit& orbit)
{
    return orbit.z.size() / 2;
}

// The orbit of centre (re, im), Z_0 alone, with fraction_bits bits after the
// binary point: enough for the smallest pixel step and a margin.
ReferenceOrbit start_reference(const Decimal& re, const Decimal& im, int fraction_bits);
// Told now and then how far a reference has come: iterates done of those asked for.
using ReferenceReport = void (*)(std::int64_t done, std::int64_t total, void* context);

// Extends the orbit to at least `iterations` iterates after Z_0 (unless it
// has escaped); the stop flag, when given, is read every 64 iterations and
// ends the work early when set, and report (when given) is called every
// 1024 and once at the end with done = total. False if stopped.
bool extend_reference(ReferenceOrbit& orbit, std::int64_t iterations, const std::atomic<bool>* stop,
                      ReferenceReport report = nullptr, void* context = nullptr);

// The orbit as bytes, to be kept in a file and taken back by
// adopt_reference_bytes instead of computed again: little-endian, the magic
// "ZQVORBT1", the fraction bits (32 bits), whether it escaped (8 bits), the
// iterates and the tiny ones (64 bits each); the centre's and the last
// iterate's fixed-point numbers, each a sign byte, a 64-bit length and its
// magnitude's bytes, lowest first; then the iterates (their parts' bits)
// and the tiny ones (m; re, im; the exponent, 32 bits).
std::vector<std::uint8_t> reference_bytes(const ReferenceOrbit& orbit);
// Takes what such bytes hold into orbit if they are those of an orbit of
// orbit's centre with its fraction bits, at least as long and no longer
// than extending it to `iterations` would make it (so that it is what that
// would make, once extended); false, with orbit unchanged, if they are not.
bool adopt_reference_bytes(ReferenceOrbit& orbit, const std::uint8_t* bytes, std::size_t size,
                           std::int64_t iterations);

// The period of the view of this radius about the orbit's centre (the
// "ball" method): the first m >= 1 at which the disc of the view's points,
// carried to first order (Z_m, with dZ/dc of radius * |dZ_m/dc|), holds 0;
// that of the minibrot the view holds, if it holds one. 0 if there is none
// within the orbit.
std::uint64_t ball_period(const ReferenceOrbit& orbit, FloatExp radius);

// Z_m at any exponent.
ComplexExp reference_at(const ReferenceOrbit& orbit, std::uint64_t m);

// The fraction bits the reference needs for pixel steps down to
// step * 2^step_exponent: the bits of the step and 64 more, so rounding the
// orbit's iterates is far below a pixel.
int fraction_bits_for_step(double step, int step_exponent = 0);

}  // namespace zqv
