// The frames' escape kernel on 2 lanes of SSE2, the baseline of both targets.
#include "fractal/lanes/lanes_sse2.h"
#include "fractal/frame/frame_kernel.h"

namespace zqv {

LANES_ENTRY void escape_lanes_sse2(EscapePass& pass)
{
    escape_lanes<Sse2>(pass);
}

}  // namespace zqv
