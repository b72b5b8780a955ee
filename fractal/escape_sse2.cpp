// The frames' escape kernel on 2 lanes of SSE2, the baseline of both targets.
#include "fractal/lanes_sse2.h"
#include "fractal/escape_lanes.h"

namespace zqv {

LANES_ENTRY void escape_lanes_sse2(EscapePass& pass)
{
    escape_lanes<Sse2>(pass);
}

}  // namespace zqv
