// The lane kernel on 2 lanes of SSE2, the baseline of both targets.
#define LANES_TARGET __attribute__((target("sse2")))

#include <emmintrin.h>

#include "fractal/escape_kernel.h"

namespace {

struct Sse2 {
    static constexpr int width = 2;
    using V = __m128d;
    using M = __m128i;
    using Trail = std::int64_t[chunk][2];
    static LANES_INLINE V zero() { return _mm_setzero_pd(); }
    static LANES_INLINE V set1(double d) { return _mm_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static LANES_INLINE M go_on(M m, V s, V four) { return _mm_and_si128(m, _mm_castpd_si128(_mm_cmpnge_pd(s, four))); }
    static LANES_INLINE void note(Trail& t, int i, M m) { _mm_storeu_si128(reinterpret_cast<__m128i*>(t[i]), m); }
    static LANES_INLINE int noted(const Trail& t, int lane) { return noted_words(t, lane); }
    static LANES_INLINE unsigned bits(M m) { return static_cast<unsigned>(_mm_movemask_pd(_mm_castsi128_pd(m))); }
    static LANES_INLINE M mask(unsigned bits)
    {
        const int low = -static_cast<int>(bits & 1), high = -static_cast<int>(bits >> 1 & 1);
        return _mm_set_epi32(high, high, low, low);
    }
    static LANES_INLINE V clear(V v, unsigned bits) { return _mm_andnot_pd(_mm_castsi128_pd(mask(bits)), v); }
    static LANES_INLINE V expand(V v, unsigned bits, const double* src)
    {
        switch (bits) {
        case 1: return _mm_loadl_pd(v, src);
        case 2: return _mm_loadh_pd(v, src);
        case 3: return _mm_loadu_pd(src);
        default: return v;
        }
    }
};

}  // namespace

// 16 xmm registers hold three chains of x, y, s and the mask (12) and the
// temporaries, cr and ci read from memory; with the 8 of 32-bit code three
// chains, partly in memory, still measured fastest.
constexpr int sse2_chains = 3;

LANES_ENTRY void escape_lanes_sse2(EscapePass& pass)
{
    escape_lanes<Sse2, sse2_chains>(pass);
}
