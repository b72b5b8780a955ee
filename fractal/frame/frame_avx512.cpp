// The frames' escape kernel on 8 lanes of AVX-512.
#include "fractal/lanes/lanes_avx512.h"
#include "fractal/frame/frame_kernel.h"

namespace zqv {

LANES_ENTRY void escape_lanes_avx512(EscapePass& pass)
{
    escape_lanes<Avx512>(pass);
}

}  // namespace zqv
