// The lanes of AVX2: 4 doubles, for the lane kernels.
#pragma once
#define LANES_TARGET __attribute__((target("avx2")))

#include <immintrin.h>

#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

// For each set of the 4 lanes: the lanes as a mask, and the dword
// permutations that move double j to the j-th lane of the set (expand) and
// the j-th lane of the set to double j (compress).
struct Avx2Tables {
    alignas(32) std::int64_t mask[16][4];
    alignas(32) std::int32_t expand[16][8];
    alignas(32) std::int32_t compress[16][8];
};

constexpr Avx2Tables make_avx2_tables()
{
    Avx2Tables t{};
    for (int lanes = 0; lanes < 16; ++lanes)
        for (int lane = 0, j = 0; lane < 4; ++lane)
            if (lanes >> lane & 1) {
                t.mask[lanes][lane] = -1;
                t.expand[lanes][2 * lane] = 2 * j;
                t.expand[lanes][2 * lane + 1] = 2 * j + 1;
                t.compress[lanes][2 * j] = 2 * lane;
                t.compress[lanes][2 * j + 1] = 2 * lane + 1;
                ++j;
            }
    return t;
}

constexpr Avx2Tables avx2_tables = make_avx2_tables();

LANES_INLINE __m256i load_row(const std::int32_t (&row)[8])
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(row));
}

struct Avx2 {
    static constexpr int width = 4;
    using V = __m256d;
    using Mask = __m256d;  // a lane all ones or all zeros
    using History = Mask[round_steps];
    static LANES_INLINE V set1(double d) { return _mm256_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm256_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static LANES_INLINE V min(V a, V b) { return _mm256_min_pd(a, b); }
    static LANES_INLINE double smallest(V v)
    {
        const __m128d half = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
        return _mm_cvtsd_f64(_mm_min_sd(half, _mm_unpackhi_pd(half, half)));
    }
    static LANES_INLINE Mask below(Mask m, V sum, V four)
    {
        return _mm256_and_pd(m, _mm256_cmp_pd(sum, four, _CMP_NGE_UQ));
    }
    static LANES_INLINE void record(History& h, int step, Mask m) { h[step] = m; }
    static LANES_INLINE V steps_in(const History& h)
    {
        __m256i steps = _mm256_setzero_si256();  // a mask lane is -1 as an integer
        for (int step = 0; step < round_steps; ++step)
            steps = _mm256_sub_epi64(steps, _mm256_castpd_si256(h[step]));
        const __m256i low_halves = _mm256_permutevar8x32_epi32(steps, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
        return _mm256_cvtepi32_pd(_mm256_castsi256_si128(low_halves));
    }
    static LANES_INLINE unsigned bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    static LANES_INLINE Mask mask(unsigned lanes)
    {
        return _mm256_load_pd(reinterpret_cast<const double*>(avx2_tables.mask[lanes]));
    }
    static LANES_INLINE unsigned at_least(V a, V b) { return bits(_mm256_cmp_pd(a, b, _CMP_GE_OQ)); }
    static LANES_INLINE V blend(V v, unsigned lanes, V w) { return _mm256_blendv_pd(v, w, mask(lanes)); }
    static LANES_INLINE V expand(V v, unsigned lanes, const double* from)
    {
        const __m256 loaded = _mm256_loadu_ps(reinterpret_cast<const float*>(from));
        return blend(v, lanes, _mm256_castps_pd(_mm256_permutevar8x32_ps(loaded, load_row(avx2_tables.expand[lanes]))));
    }
    static LANES_INLINE void compress(double* to, unsigned lanes, V v)
    {
        const __m256 moved = _mm256_permutevar8x32_ps(_mm256_castpd_ps(v), load_row(avx2_tables.compress[lanes]));
        _mm256_storeu_pd(to, _mm256_castps_pd(moved));
    }
};

}  // namespace
}  // namespace zqv
