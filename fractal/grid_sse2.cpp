// The grids' kernel on 2 lanes of SSE2, the baseline of both targets.
#include "fractal/lanes_sse2.h"
#include "fractal/grid_lanes.h"

namespace zqv {

LANES_ENTRY void grid_lanes_sse2(GridJob& job)
{
    grid_lanes<Sse2>(job);
}

}  // namespace zqv
