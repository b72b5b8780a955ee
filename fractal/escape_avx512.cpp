// The frames' escape kernel on 8 lanes of AVX-512.
#include "fractal/lanes_avx512.h"
#include "fractal/escape_lanes.h"

namespace zqv {

LANES_ENTRY void escape_lanes_avx512(EscapePass& pass)
{
    escape_lanes<Avx512>(pass);
}

}  // namespace zqv
