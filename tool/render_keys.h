// The key frames of zqvtool render: their grids (key frame k is the zoom's
// view at depth k, half as wide as key frame k − 1, with the same number of
// points), their computation, and their files in a key frame folder, which
// keep the counts so that a later render can recolour them without
// computing anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fractal/grid.h"

namespace zqv {

struct KeyPlan {
    double centre_re = 0.0, centre_im = 0.0;
    double start_width = 0.0;  // of the view at depth 0, and of key frame 0
    int width = 0, height = 0;  // points of every key frame
    std::uint32_t cap = 0;      // of every key frame
};

// The iteration cap `auto` gives a zoom of that many halvings: the
// program's 2048 and 256 more for each halving, as the counts near the
// boundary grow with depth.
std::uint32_t auto_cap(int halvings);

GridLayout key_layout(const KeyPlan& plan, int key);

// The first key frame from 0 to limit whose points double precision no
// longer tells apart, or limit + 1 if there is none.
int first_unresolved_key(const KeyPlan& plan, int limit);

// Computes key frame `key` of the plan into values, copying from the key
// frame before it (parent, parent_values) the points they share. The place
// where a deeper engine takes over from double precision; the reason if the
// key frame cannot be computed.
std::optional<std::string> compute_key(const KeyPlan& plan, int key, const GridLayout* parent,
                                       const GridValues* parent_values, GridValues& values);

// The file of key frame `key` in folder.
std::string key_file(const std::string& folder, int key);

// What a key frame file's header holds.
struct KeyHeader {
    int key = 0;
    GridLayout layout;
};

// Reads a key frame file's header; the reason if it is not one.
std::optional<std::string> read_key_header(const std::string& path, KeyHeader& header);
// Reads the counts of a key frame file whose header is `expected`; the reason if it cannot.
std::optional<std::string> read_key(const std::string& path, const KeyHeader& expected, GridValues& values);
// Writes a key frame file under its name with ".part" appended, then gives
// it its name; the reason if that failed.
std::optional<std::string> write_key(const std::string& path, const KeyHeader& header, const GridValues& values);

}  // namespace zqv
