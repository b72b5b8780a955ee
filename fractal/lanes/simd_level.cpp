// The instruction-set level in use, detected once.
#include "fractal/lanes/simd_level.h"

namespace zqv {

namespace {

SimdLevel level_in_use;
bool level_chosen;

// The compiler's runtime also checks that the operating system saves the
// wide registers before it reports AVX2 or AVX-512 as supported.
SimdLevel detect_simd_level()
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("popcnt"))
        return SimdLevel::sse2;
    if (__builtin_cpu_supports("avx512f"))
        return SimdLevel::avx512;
    if (__builtin_cpu_supports("avx2"))
        return SimdLevel::avx2;
    return SimdLevel::sse2;
}

}  // namespace

SimdLevel best_simd_level()
{
    static const SimdLevel best = detect_simd_level();
    return best;
}

SimdLevel simd_level()
{
    if (!level_chosen)
        use_simd_level(best_simd_level());
    return level_in_use;
}

void use_simd_level(SimdLevel level)
{
    level_in_use = level < best_simd_level() ? level : best_simd_level();
    level_chosen = true;
}

}  // namespace zqv
