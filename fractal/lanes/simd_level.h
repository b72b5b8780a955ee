// The instruction set every kernel's vector lanes use: the widest this
// processor and its operating system support, or a lower one chosen for
// comparison.
#pragma once

namespace zqv {

enum class SimdLevel { sse2, avx2, avx512 };

// The widest level this processor and its operating system support.
SimdLevel best_simd_level();
// The level in use: the best one unless a lower one was chosen.
SimdLevel simd_level();
// Chooses the level for the following computations, at most the best one.
void use_simd_level(SimdLevel level);

// Whether the deep kernel's AVX-512 lanes read the reference orbit by the
// processor's gather instructions rather than by a load for each lane: by
// default where Intel made the processor, whose gathers outrun the loads,
// and not where AMD did, whose gathers lose to them. Both read the same
// values.
bool orbit_gathers();
// Chooses them or the loads for the following computations.
void use_orbit_gathers(bool gathers);

}  // namespace zqv
