// The grids' kernel on 4 lanes of AVX2.
#include "fractal/lanes/lanes_avx2.h"
#include "fractal/grid/grid_kernel.h"

namespace zqv {

LANES_ENTRY void grid_lanes_avx2(GridJob& job)
{
    grid_lanes<Avx2>(job);
}

}  // namespace zqv
