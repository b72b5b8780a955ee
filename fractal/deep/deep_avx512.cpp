// The deep lane kernel on 8 lanes of AVX-512: the frames' lanes with the
// loads, stores, masks and gathers the deep kernel needs besides.
#include "fractal/lanes/lanes_avx512.h"

#include "fractal/deep/deep_kernel.h"
#include "fractal/lanes/simd_level.h"

namespace zqv {
namespace {

struct DeepAvx512 : Avx512 {
    static LANES_INLINE V load(const double* p) { return _mm512_loadu_pd(p); }
    static LANES_INLINE void store(double* p, V v) { _mm512_storeu_pd(p, v); }
    static LANES_INLINE Mask equal(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static LANES_INLINE Mask less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static LANES_INLINE Mask either(Mask a, Mask b) { return static_cast<Mask>(a | b); }
    static LANES_INLINE V select(Mask m, V a, V b) { return _mm512_mask_blend_pd(m, b, a); }
    // Z_a and Z_b, each (re, im), in the low and the high half.
    static LANES_INLINE __m256d two(const double* orbit, int a, int b)
    {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(orbit + 2 * a)), _mm_loadu_pd(orbit + 2 * b), 1);
    }
    // The reference at each lane's m: eight loads of (re, im) side by side
    // and two shuffles, which outran two gathers 1.3 times on the seahorse
    // path at 1e-250 on an AMD EPYC (an Intel Xeon's gathers are the faster:
    // DeepAvx512Gathers).
    static LANES_INLINE void gather(const double* orbit, V m, V& zr, V& zi)
    {
        alignas(32) int i[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(i), _mm512_maskz_cvttpd_epi32(0xff, m));
        // Lanes 0, 2, 4, 6 in one vector, 1, 3, 5, 7 in the other, a 128-bit quarter each.
        const __m512d even = _mm512_insertf64x4(_mm512_castpd256_pd512(two(orbit, i[0], i[2])), two(orbit, i[4], i[6]), 1);
        const __m512d odd = _mm512_insertf64x4(_mm512_castpd256_pd512(two(orbit, i[1], i[3])), two(orbit, i[5], i[7]), 1);
        zr = _mm512_unpacklo_pd(even, odd);
        zi = _mm512_unpackhi_pd(even, odd);
    }
    // The lanes at an odd m whose block of 2 steps from m holds for |z|^2 = z2.
    static LANES_INLINE unsigned pair_holds(const BlaBlock* pairs, std::uint64_t count, V m, V z2)
    {
        const __m256i index = _mm512_maskz_cvttpd_epi32(0xff, m);
        const __m256i pair = _mm256_srli_epi32(index, 1);
        const int limit = count < 0x7fffffff ? static_cast<int>(count) : 0x7fffffff;
        const __m256i odd = _mm256_cmpeq_epi32(_mm256_and_si256(index, _mm256_set1_epi32(1)), _mm256_set1_epi32(1));
        const __m256i in_table = _mm256_and_si256(odd, _mm256_cmpgt_epi32(_mm256_set1_epi32(limit), pair));
        const auto valid = static_cast<__mmask8>(_mm256_movemask_ps(_mm256_castsi256_ps(in_table)));
        // Each block is 6 doubles; radius2 is the fifth.
        const __m256i element = _mm256_add_epi32(_mm256_slli_epi32(pair, 2), _mm256_slli_epi32(pair, 1));
        const __m512d r2 = _mm512_mask_i32gather_pd(_mm512_setzero_pd(), valid, element, &pairs[0].radius2, 8);
        return _mm512_mask_cmp_pd_mask(valid, z2, r2, _CMP_LT_OQ);
    }
};

// The same lanes reading the reference by two gathers, where the
// processor's gathers are the faster (orbit_gathers).
struct DeepAvx512Gathers : DeepAvx512 {
    static LANES_INLINE void gather(const double* orbit, V m, V& zr, V& zi)
    {
        const __m256i re = _mm256_slli_epi32(_mm512_maskz_cvttpd_epi32(0xff, m), 1);  // Z_m's at 2m
        zr = _mm512_i32gather_pd(re, orbit, 8);
        zi = _mm512_i32gather_pd(re, orbit + 1, 8);
    }
};

template <class S>
LANES_INLINE void avx512_lanes(typename S::Shared& shared, DeepJob& job)
{
    if (orbit_gathers())
        deep_lanes<DeepAvx512Gathers, S>(shared, job);
    else
        deep_lanes<DeepAvx512, S>(shared, job);
}

}  // namespace

LANES_ENTRY void deep_lanes_avx512(EscapePass& pass, DeepJob& job)
{
    avx512_lanes<FramePoints>(pass, job);
}

LANES_ENTRY void deep_grid_lanes_avx512(DeepGridWork& work, DeepJob& job)
{
    avx512_lanes<GridPoints>(work, job);
}

}  // namespace zqv
