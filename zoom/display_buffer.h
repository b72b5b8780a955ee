// The display image: what the window shows, as colour indices.
#pragma once

#include <cstdint>

#include "fractal/frame/geometry.h"

namespace zqv {

// Colour indices laid out like a frame: 640 x 480, row 0 at the bottom.
struct DisplayBuffer {
    std::uint8_t pixels[frame_bytes];
};

}  // namespace zqv
