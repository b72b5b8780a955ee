// The grids' kernel on 8 lanes of AVX-512.
#include "fractal/lanes/lanes_avx512.h"
#include "fractal/grid/grid_kernel.h"

namespace zqv {

LANES_ENTRY void grid_lanes_avx512(GridJob& job)
{
    grid_lanes<Avx512>(job);
}

}  // namespace zqv
