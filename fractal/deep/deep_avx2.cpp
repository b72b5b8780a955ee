// The deep lane kernel on 4 lanes of AVX2: the frames' lanes with the
// loads, stores, masks and gathers the deep kernel needs besides.
#include "fractal/lanes/lanes_avx2.h"

#include "fractal/deep/deep_kernel.h"

namespace zqv {
namespace {

struct DeepAvx2 : Avx2 {
    static LANES_INLINE V load(const double* p) { return _mm256_loadu_pd(p); }
    static LANES_INLINE void store(double* p, V v) { _mm256_storeu_pd(p, v); }
    static LANES_INLINE Mask equal(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static LANES_INLINE Mask less(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static LANES_INLINE Mask either(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    static LANES_INLINE V select(Mask m, V a, V b) { return _mm256_blendv_pd(b, a, m); }
    // Z_a and Z_b, each (re, im), in the low and the high half.
    static LANES_INLINE __m256d two(const double* orbit, int a, int b)
    {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(orbit + 2 * a)), _mm_loadu_pd(orbit + 2 * b), 1);
    }
    // The reference at each lane's m: four loads of (re, im) side by side
    // and two shuffles, as the AVX-512 lanes do.
    static LANES_INLINE void gather(const double* orbit, V m, V& zr, V& zi)
    {
        alignas(16) int i[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(i), _mm256_cvttpd_epi32(m));
        const __m256d even = two(orbit, i[0], i[2]), odd = two(orbit, i[1], i[3]);
        zr = _mm256_unpacklo_pd(even, odd);
        zi = _mm256_unpackhi_pd(even, odd);
    }
    // The lanes at an odd m whose block of 2 steps from m holds for |z|^2 = z2.
    static LANES_INLINE unsigned pair_holds(const BlaBlock* pairs, std::uint64_t count, V m, V z2)
    {
        const __m128i index = _mm256_cvttpd_epi32(m);
        const __m128i pair = _mm_srli_epi32(index, 1);
        const int limit = count < 0x7fffffff ? static_cast<int>(count) : 0x7fffffff;
        const __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(index, _mm_set1_epi32(1)), _mm_set1_epi32(1));
        const __m128i valid = _mm_and_si128(odd, _mm_cmpgt_epi32(_mm_set1_epi32(limit), pair));
        // Each block is 6 doubles; radius2 is the fifth.
        const __m128i element = _mm_add_epi32(_mm_slli_epi32(pair, 2), _mm_slli_epi32(pair, 1));
        const double* radius2 = &pairs[0].radius2;
        const __m256d r2 = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), radius2, element,
                                                    _mm256_castsi256_pd(_mm256_cvtepi32_epi64(valid)), 8);
        return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(z2, r2, _CMP_LT_OQ)));
    }
};

}  // namespace

LANES_ENTRY void deep_lanes_avx2(EscapePass& pass, DeepJob& job)
{
    deep_lanes<DeepAvx2, FramePoints>(pass, job);
}

LANES_ENTRY void deep_grid_lanes_avx2(DeepGridWork& work, DeepJob& job)
{
    deep_lanes<DeepAvx2, GridPoints>(work, job);
}

}  // namespace zqv
