// The lanes of SSE2, the baseline of both targets: 2 doubles, for the lane kernels.
#pragma once
#define LANES_TARGET __attribute__((target("sse2")))

#include <emmintrin.h>

#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

struct Sse2 {
    static constexpr int width = 2;
    using V = __m128d;
    using Mask = __m128d;  // a lane all ones or all zeros
    using History = Mask[round_steps];
    static LANES_INLINE V set1(double d) { return _mm_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static LANES_INLINE V min(V a, V b) { return _mm_min_pd(a, b); }
    static LANES_INLINE double smallest(V v) { return _mm_cvtsd_f64(_mm_min_sd(v, _mm_unpackhi_pd(v, v))); }
    static LANES_INLINE Mask below(Mask m, V sum, V four) { return _mm_and_pd(m, _mm_cmpnge_pd(sum, four)); }
    static LANES_INLINE void record(History& h, int step, Mask m) { h[step] = m; }
    static LANES_INLINE V steps_in(const History& h)
    {
        __m128i steps = _mm_setzero_si128();  // a mask lane is -1 as an integer
        for (int step = 0; step < round_steps; ++step)
            steps = _mm_sub_epi64(steps, _mm_castpd_si128(h[step]));
        return _mm_cvtepi32_pd(_mm_shuffle_epi32(steps, _MM_SHUFFLE(2, 0, 2, 0)));  // the low halves
    }
    static LANES_INLINE unsigned bits(Mask m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
    static LANES_INLINE Mask mask(unsigned lanes)
    {
        const int low = -static_cast<int>(lanes & 1), high = -static_cast<int>(lanes >> 1 & 1);
        return _mm_castsi128_pd(_mm_set_epi32(high, high, low, low));
    }
    static LANES_INLINE unsigned at_least(V a, V b) { return bits(_mm_cmpge_pd(a, b)); }
    static LANES_INLINE V blend(V v, unsigned lanes, V w)
    {
        const Mask m = mask(lanes);
        return _mm_or_pd(_mm_and_pd(m, w), _mm_andnot_pd(m, v));
    }
    static LANES_INLINE V expand(V v, unsigned lanes, const double* from)
    {
        return blend(v, lanes, _mm_loadh_pd(_mm_load_sd(from), from + (lanes & 1)));
    }
    static LANES_INLINE void compress(double* to, unsigned lanes, V v)
    {
        _mm_storel_pd(to, v);
        _mm_storeh_pd(to + (lanes & 1), v);
    }
};

}  // namespace
}  // namespace zqv
