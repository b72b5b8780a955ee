// The key frames of zqvtool render: their grids (key frame k is the zoom's
// view at depth k, half as wide as key frame k − 1, with the same number of
// points), their computation, and their files in a key frame folder, which
// keep the counts so that a later render can recolour them without
// computing anything.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "fractal/deep/deep_grid.h"
#include "fractal/deep/deep_point.h"
#include "fractal/grid/grid.h"

namespace zqv {

struct KeyPlan {
    double centre_re = 0.0, centre_im = 0.0;  // the nearest doubles to the exact centre
    Decimal exact_re, exact_im;               // the deep engine's reference point
    double start_width = 0.0;  // of the view at depth 0, and of key frame 0, times 2^start_exponent
    int start_exponent = 0;    // other than 0 only for a start narrower than 1e-300
    int width = 0, height = 0;  // points of every key frame
    std::uint32_t cap = 0;      // of every key frame
};

GridLayout key_layout(const KeyPlan& plan, int key);

// A digest of the plan's exact centre (crc32 of its decimals), which key
// frame files keep: the doubles of their headers alone do not tell two
// centres apart that differ past a double's digits.
std::uint32_t key_place(const KeyPlan& plan);

// The first key frame from 0 to limit whose points double precision no
// longer tells apart, or limit + 1 if there is none.
int first_unresolved_key(const KeyPlan& plan, int limit);

// Whether key frame `key` lies past double precision: its points are then
// computed by the deep engine.
bool key_is_deep(const KeyPlan& plan, int key);

// What computing a render's key frames holds: the deep engine's zoom,
// started for the key frames down to deep_last_key, and the points the last
// key frame iterated (not copied).
struct KeyEngine {
    DeepZoom deep;
    int deep_last_key = -1;  // -1: not started
    std::uint64_t points = 0;
};

// The part of a deep key frame that the key frame `halvings` deeper takes
// from it through its parents (the points it copies from the key frame
// before it, which copied them from the one before, and so on): the central
// 1/2^halvings of its columns and of its rows, and a point more each way.
GridWindow lead_in_window(const GridLayout& layout, int halvings);

// Starts the deep engine's reference orbit at the plan's exact centre, with
// the precision the key frames down to last_key need.
void start_deep_keys(KeyEngine& engine, const KeyPlan& plan, int last_key);

// Computes key frame `key` of the plan into values, copying from the key
// frame before it (parent, parent_values) the points they share: by the
// double grid while double precision resolves its points, else by the deep
// grid (after start_deep_keys) from the reference orbit. The stop flag, when
// given, is read now and then; the reason if the key frame cannot be
// computed or was stopped. A window (of a deep key frame only) computes
// just its points, as compute_deep_grid does.
std::optional<std::string> compute_key(KeyEngine& engine, const KeyPlan& plan, int key, const GridLayout* parent,
                                       const GridValues* parent_values, GridValues& values,
                                       const std::atomic<bool>* stop = nullptr, const GridWindow* window = nullptr);

// The file of key frame `key` in folder.
std::string key_file(const std::string& folder, int key);

// What a key frame file's header holds.
struct KeyHeader {
    int key = 0;
    GridLayout layout;
    std::uint32_t place = 0;  // key_place of its plan; 0 in files made before it was kept
};

// Whether a key frame file's header is that of the key frame expected: the
// same key frame, size, cap, centre and step, and the same exact centre
// where both keep its digest.
bool same_key(const KeyHeader& header, const KeyHeader& expected);

// Reads a key frame file's header; the reason if it is not one, with damaged
// (when given) telling whether the file itself is broken (cut short, its
// bytes changed) rather than unreadable.
std::optional<std::string> read_key_header(const std::string& path, KeyHeader& header, bool* damaged = nullptr);
// Reads the counts of a key frame file whose header is `expected`; the reason
// if it cannot, with damaged as read_key_header sets it (a file of another
// key frame is not damaged).
std::optional<std::string> read_key(const std::string& path, const KeyHeader& expected, GridValues& values,
                                    bool* damaged = nullptr);
// Writes a key frame file under its name with ".part" appended, then gives
// it its name; the reason if that failed.
std::optional<std::string> write_key(const std::string& path, const KeyHeader& header, const GridValues& values);

}  // namespace zqv
