// The lane kernel on 8 lanes of AVX-512.
#define LANES_TARGET __attribute__((target("avx512f,popcnt")))

#include <immintrin.h>

#include "fractal/escape_kernel.h"

namespace {

struct Avx512 {
    static constexpr int width = 8;
    using V = __m512d;
    using M = __mmask8;
    using Trail = __mmask16[chunk];
    static LANES_INLINE V zero() { return _mm512_setzero_pd(); }
    static LANES_INLINE V set1(double d) { return _mm512_set1_pd(d); }
    static LANES_INLINE V add(V a, V b) { return _mm512_add_pd(a, b); }
    static LANES_INLINE V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static LANES_INLINE V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static LANES_INLINE M go_on(M m, V s, V four) { return _mm512_mask_cmp_pd_mask(m, s, four, _CMP_NGE_UQ); }
    // kmovw from the mask register straight to memory takes no vector port;
    // compilers otherwise move the mask through a general register.
    static LANES_INLINE void note(Trail& t, int i, M m) { __asm__("kmovw %1, %0" : "=m"(t[i]) : "k"(m)); }
    static LANES_INLINE int noted(const Trail& t, int lane)
    {
        static_assert(sizeof(Trail) == 16, "two 64-bit words of four masks");
        std::uint64_t w[2];
        __builtin_memcpy(w, t, sizeof w);
        const std::uint64_t bit = 0x0001000100010001ull << lane;  // the lane's bit in each mask
        return __builtin_popcountll(w[0] & bit) + __builtin_popcountll(w[1] & bit);
    }
    static LANES_INLINE unsigned bits(M m) { return m; }
    static LANES_INLINE M mask(unsigned bits) { return static_cast<M>(bits); }
    static LANES_INLINE V clear(V v, unsigned bits) { return _mm512_maskz_mov_pd(static_cast<M>(~bits), v); }
    static LANES_INLINE V expand(V v, unsigned bits, const double* src)
    {
        return _mm512_mask_expandloadu_pd(v, static_cast<M>(bits), src);
    }
};

}  // namespace

// 32 zmm registers hold four chains of x, y, s, cr and ci (20) and the
// temporaries. Of the 8 of 32-bit code two chains, cr and ci read from
// memory, measured fastest.
#if defined(__i386__)
constexpr int avx512_chains = 2;
#else
constexpr int avx512_chains = 4;
#endif

LANES_ENTRY void escape_lanes_avx512(EscapePass& pass)
{
    escape_lanes<Avx512, avx512_chains>(pass);
}
