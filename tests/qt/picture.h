// The picture the window must show for a display buffer, and New's first one.
#pragma once

#include <QImage>

#include "app/program.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace zqv {

// Top line first, coloured by the program's colour table.
inline QImage expected_picture(const DisplayBuffer& display)
{
    QImage image(frame_width, frame_height, QImage::Format_RGB32);
    for (int y = 0; y < frame_height; ++y)
        for (int x = 0; x < frame_width; ++x) {
            const Rgb c = colour_table[display.pixels[(frame_height - 1 - y) * frame_width + x]];
            image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
        }
    return image;
}

// Composed by the core the way New composes it, at the current iteration cap.
inline QImage new_first_picture()
{
    set_zoom_step(8);
    set_view(0.2652315023763047, 0.0030612322139956, 6.72);
    generate_ring();
    step_zoom();
    return expected_picture(display_buffer());
}

}  // namespace zqv
