// The palettes of zqvtool render: cyclic lists of colour stops, built in or
// read from a small text file, and the colouring of a grid's smooth counts
// through one of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "fractal/grid/grid.h"

namespace zqv {

struct Palette {
    std::vector<Rgb> stops;        // cycled through, blended linearly between neighbours
    double counts_per_stop = 1.0;  // at density 1
};

// How smooth counts become colours: the stop at ν is ν·density/counts_per_stop
// + offset·stops, modulo the stops; points inside the set take `inside`.
struct Colouring {
    Palette palette;
    double density = 1.0;
    double offset = 0.0;  // a fraction of the cycle
    Rgb inside{0, 0, 0};
};

// The names of the built-in palettes, the default first.
std::vector<std::string> palette_names();

// A built-in palette by name, or else the palette file at that path: one
// stop a line, "R G B" in decimal or "#RRGGBB", blank lines and lines from
// "//" or ";" ignored. The reason it cannot be had.
std::optional<std::string> find_palette(const std::string& name_or_path, Palette& palette);

// The colour of smooth count count + fraction/65535 (grid_inside: inside).
Rgb colour_of(const Colouring& colouring, std::uint32_t count, std::uint16_t fraction);

// Colours every point of the values on every core, into three planes one
// after the other: the points' red bytes, then their green, then their blue.
void colour_grid(const Colouring& colouring, const GridValues& values, std::vector<std::uint8_t>& rgb);

}  // namespace zqv
