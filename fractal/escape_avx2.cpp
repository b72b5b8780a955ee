// The lane kernel on 4 lanes of AVX2.
#define LANES_TARGET __attribute__((target("avx2,popcnt")))

#include <immintrin.h>

#include "fractal/escape_kernel.h"

namespace {

// For each subset of the 4 lanes: the lanes as a mask, and the dword
// permutation that moves source double j to the j-th lane of the subset.
struct Avx2Tables {
    alignas(32) std::int64_t mask[16][4];
    alignas(32) std::int32_t expand[16][8];
};

constexpr Avx2Tables make_avx2_tables()
{
    Avx2Tables t{};
    for (int bits = 0; bits < 16; ++bits)
        for (int lane = 0, j = 0; lane < 4; ++lane)
            if (bits >> lane & 1) {
                t.mask[bits][lane] = -1;
                t.expand[bits][2 * lane] = 2 * j;
                t.expand[bits][2 * lane + 1] = 2 * j + 1;
                ++j;
            }
    return t;
}

constexpr Avx2Tables avx2_tables = make_avx2_tables();

struct Avx2 {
    static constexpr int width = 4;
    using V = __m256d;
    using M = __m256i;
    using Trail = std::int64_t[chunk][4];
    static LANES_INLINE V zero() { return _mm256_setzero_pd(); }
    static LANES_INLINE V set1(double d) { return _mm256_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm256_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static LANES_INLINE M go_on(M m, V s, V four)
    {
        return _mm256_and_si256(m, _mm256_castpd_si256(_mm256_cmp_pd(s, four, _CMP_NGE_UQ)));
    }
    static LANES_INLINE void note(Trail& t, int i, M m) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(t[i]), m); }
    static LANES_INLINE int noted(const Trail& t, int lane) { return noted_words(t, lane); }
    static LANES_INLINE unsigned bits(M m)
    {
        return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(m)));
    }
    static LANES_INLINE M mask(unsigned bits)
    {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(avx2_tables.mask[bits]));
    }
    static LANES_INLINE V clear(V v, unsigned bits)
    {
        return _mm256_andnot_pd(_mm256_castsi256_pd(mask(bits)), v);
    }
    // Reads 4 doubles from src whatever the subset: the feed has room past its end.
    static LANES_INLINE V expand(V v, unsigned bits, const double* src)
    {
        const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(avx2_tables.expand[bits]));
        const __m256i moved = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)), order);
        return _mm256_blendv_pd(v, _mm256_castsi256_pd(moved), _mm256_castsi256_pd(mask(bits)));
    }
};

}  // namespace

// 16 ymm registers hold three chains of x, y, s and the mask (12) and the
// temporaries, cr and ci read from memory. Of the 8 of 32-bit code two
// chains measured fastest.
#if defined(__i386__)
constexpr int avx2_chains = 2;
#else
constexpr int avx2_chains = 3;
#endif

LANES_ENTRY void escape_lanes_avx2(EscapePass& pass)
{
    escape_lanes<Avx2, avx2_chains>(pass);
}
