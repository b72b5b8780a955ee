// The frames' escape kernel on 4 lanes of AVX2.
#include "fractal/lanes/lanes_avx2.h"
#include "fractal/frame/frame_kernel.h"

namespace zqv {

LANES_ENTRY void escape_lanes_avx2(EscapePass& pass)
{
    escape_lanes<Avx2>(pass);
}

}  // namespace zqv
