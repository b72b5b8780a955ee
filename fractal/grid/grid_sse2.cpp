// The grids' kernel on 2 lanes of SSE2, the baseline of both targets.
#include "fractal/lanes/lanes_sse2.h"
#include "fractal/grid/grid_kernel.h"

namespace zqv {

LANES_ENTRY void grid_lanes_sse2(GridJob& job)
{
    grid_lanes<Sse2>(job);
}

}  // namespace zqv
