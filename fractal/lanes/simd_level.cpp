// The instruction-set level in use, detected once.
#include "fractal/lanes/simd_level.h"

namespace zqv {

namespace {

SimdLevel level_in_use;
bool level_chosen;
bool gathers_in_use;
bool gathers_chosen;

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

// On the seahorse path a Xeon's frames at 1e-250 and without tables took
// 0.37 and 0.52 s with the gathers against 0.48 and 0.70 s with the loads;
// an EPYC's at 1e-250 took 1.3 times as long with the gathers.
bool orbit_gathers()
{
    static const bool intel = (__builtin_cpu_init(), __builtin_cpu_is("intel"));
    return gathers_chosen ? gathers_in_use : intel;
}

void use_orbit_gathers(bool gathers)
{
    gathers_in_use = gathers;
    gathers_chosen = true;
}

}  // namespace zqv
