// The deep lane kernel on 2 lanes of SSE2, the baseline of both targets:
// the frames' lanes with the loads, stores, masks and gathers the deep
// kernel needs besides.
#include "fractal/lanes/lanes_sse2.h"

#include "fractal/deep/deep_kernel.h"

namespace zqv {
namespace {

struct DeepSse2 : Sse2 {
    static LANES_INLINE V load(const double* p) { return _mm_loadu_pd(p); }
    static LANES_INLINE void store(double* p, V v) { _mm_storeu_pd(p, v); }
    static LANES_INLINE Mask equal(V a, V b) { return _mm_cmpeq_pd(a, b); }
    static LANES_INLINE Mask less(V a, V b) { return _mm_cmplt_pd(a, b); }
    static LANES_INLINE Mask either(Mask a, Mask b) { return _mm_or_pd(a, b); }
    static LANES_INLINE V select(Mask m, V a, V b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    // The reference at each lane's m: two loads of (re, im) side by side.
    static LANES_INLINE void gather(const double* orbit, V m, V& zr, V& zi)
    {
        const __m128i index = _mm_cvttpd_epi32(m);
        const int i0 = _mm_cvtsi128_si32(index), i1 = _mm_cvtsi128_si32(_mm_srli_si128(index, 4));
        const __m128d z0 = _mm_loadu_pd(orbit + 2 * i0), z1 = _mm_loadu_pd(orbit + 2 * i1);
        zr = _mm_unpacklo_pd(z0, z1);
        zi = _mm_unpackhi_pd(z0, z1);
    }
    // The lanes at an odd m whose block of 2 steps from m holds for |z|^2 = z2.
    static LANES_INLINE unsigned pair_holds(const BlaBlock* pairs, std::uint64_t count, V m, V z2)
    {
        const __m128i index = _mm_cvttpd_epi32(m);
        const int i[2] = {_mm_cvtsi128_si32(index), _mm_cvtsi128_si32(_mm_srli_si128(index, 4))};
        double radius2[2];
        for (int j = 0; j < 2; ++j) {
            const auto pair = static_cast<std::uint64_t>(i[j] >> 1);
            radius2[j] = (i[j] & 1) != 0 && pair < count ? pairs[pair].radius2 : 0.0;
        }
        return static_cast<unsigned>(_mm_movemask_pd(_mm_cmplt_pd(z2, _mm_loadu_pd(radius2))));
    }
};

}  // namespace

LANES_ENTRY void deep_lanes_sse2(EscapePass& pass, DeepJob& job)
{
    deep_lanes<DeepSse2, FramePoints>(pass, job);
}

LANES_ENTRY void deep_grid_lanes_sse2(DeepGridWork& work, DeepJob& job)
{
    deep_lanes<DeepSse2, GridPoints>(work, job);
}

}  // namespace zqv
