// The lanes of AVX-512: 8 doubles, for the lane kernels.
#pragma once
#define LANES_TARGET __attribute__((target("avx512f")))

#include <immintrin.h>

// GCC 12's _mm512_undefined_pd and _mm512_undefined_epi32, behind the
// reductions, the conversions, shifts and inserts, read a variable before
// setting it on purpose (min takes the all-lanes mask form, which has none).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

struct Avx512 {
    static constexpr int width = 8;
    using V = __m512d;
    using Mask = __mmask8;
    using History = __mmask16[round_steps];  // kmovw: kmovb needs AVX512DQ
    static LANES_INLINE V set1(double d) { return _mm512_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm512_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static LANES_INLINE V min(V a, V b) { return _mm512_maskz_min_pd(0xff, a, b); }
    static LANES_INLINE double smallest(V v) { return _mm512_reduce_min_pd(v); }
    static LANES_INLINE Mask below(Mask m, V sum, V four) { return _mm512_mask_cmp_pd_mask(m, sum, four, _CMP_NGE_UQ); }
    // kmovw from the mask register straight to memory takes no vector port;
    // compilers otherwise move the mask through a general register.
    static LANES_INLINE void record(History& h, int step, Mask m) { __asm__("kmovw %1, %0" : "=m"(h[step]) : "k"(m)); }
    // A round's masks only lose lanes, so the last mask that holds a lane
    // gives its count.
    static LANES_INLINE V steps_in(const History& h)
    {
        V steps = set1(0.0);
        for (int step = 0; step < round_steps; ++step)
            steps = _mm512_mask_blend_pd(static_cast<Mask>(h[step]), steps, set1(step + 1.0));
        return steps;
    }
    static LANES_INLINE unsigned bits(Mask m) { return m; }
    static LANES_INLINE Mask mask(unsigned lanes) { return static_cast<Mask>(lanes); }
    static LANES_INLINE unsigned at_least(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static LANES_INLINE V blend(V v, unsigned lanes, V w) { return _mm512_mask_blend_pd(mask(lanes), v, w); }
    static LANES_INLINE V expand(V v, unsigned lanes, const double* from)
    {
        return _mm512_mask_expand_pd(v, mask(lanes), _mm512_loadu_pd(from));
    }
    static LANES_INLINE void compress(double* to, unsigned lanes, V v)
    {
        _mm512_storeu_pd(to, _mm512_maskz_compress_pd(mask(lanes), v));
    }
};

}  // namespace
}  // namespace zqv
