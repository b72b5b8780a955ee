// The deep point: what every deep computation reads (the zoom's reference
// orbit and its tables, held by the caller), one point's state in the middle
// of its iteration, and the scalar definition run from such a state, which
// the lane kernels hand points to for the steps that bilinear approximation
// skips.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "fractal/deep/deep_bla.h"
#include "fractal/deep/deep_orbit.h"

namespace zqv {

// A deep zoom's reference: the orbit of its exact centre, extended as caps
// grow, and the tables of the last frame or grid computed from it (wide as
// well when its offsets leave double's range).
struct DeepZoom {
    ReferenceOrbit orbit;
    BlaTables tables;
    WideTables wide;
    std::uint64_t period = 0;  // of the tables' view (ball_period), 0 if none or the orbit escapes
    bool watch_inside = true;  // false: no point ends before its count (for comparison)
    double reference_seconds = 0.0, table_seconds = 0.0;  // spent by the grids computed from it
    ReferenceReport report = nullptr;  // told how the orbit comes on while frames and grids extend it
    void* report_context = nullptr;
};

// Where double arithmetic takes a point: while |z|^2 is at least 2^-800, so
// that z^2 and every product of a step stay far inside the normal range
// while offsets dc below it are dropped as below a double's precision of z.
// Points of smaller |z| take their steps at any exponent.
constexpr double wide_bound = 0x1p-800;

// Starts a zoom at this centre, with the orbit's fixed-point fraction bits.
DeepZoom start_deep_zoom(const Decimal& centre_re, const Decimal& centre_im, int fraction_bits);

// A point at the top of an iteration: offset dc (scaled by 2^-step_exponent
// of the job), z, n iterations done, at reference iteration m.
struct DeepPoint {
    double dcr, dci;
    double x, y;
    std::uint64_t n, m;
    std::uint64_t steps;
    std::uint32_t count;  // once ended
    double magnitude2;    // |w|^2 where it ended
};

// Everything a kernel reads besides the pass.
struct DeepJob {
    const double* orbit;          // the reference orbit's iterates as ReferenceOrbit holds them
    std::uint64_t last;           // the orbit's last iterate
    const BlaBlock* pairs;        // the tables' blocks of 2 steps (level 1)
    std::uint64_t pair_count;
    double largest_pair_radius2;  // no block of 2 steps holds where |z|^2 is as large
    double radius2;
    bool with_bla;
    const BlaTables* tables;       // all levels, for the scalar code
    const ReferenceOrbit* reference;
    const WideTables* wide;        // for points of |z|^2 below tiny_bound
    int step_exponent;             // the offsets given are dc * 2^-step_exponent
    double tiny_bound;             // wide_bound when step_exponent is not 0, else 0: never
    std::uint64_t period;          // points are watched for an attracting cycle of this period; 0: never
    const std::atomic<bool>* stop;  // read now and then; null: never
    std::atomic<bool> stopped;      // the work saw the stop
    std::atomic<std::uint64_t> steps;
};

// Sets job to the zoom's orbit and tables, the escape radius², with or
// without the tables, the stop flag, and the offsets' scale, with nothing
// stopped or counted yet.
void set_deep_job(DeepJob& job, const DeepZoom& zoom, double radius2, bool with_bla, const std::atomic<bool>* stop,
                  int step_exponent = 0);

// The offset a double step adds: dc itself, 0 below double's normal range.
inline double plain_offset(double scaled, int step_exponent)
{
    return step_exponent == 0 ? scaled : scaled_double(scaled, step_exponent);
}

// Whether the work should stop: the job saw it already, or the flag says so
// now (and the job remembers it).
inline bool deep_stop_asked(DeepJob& job)
{
    if (job.stopped.load(std::memory_order_relaxed))
        return true;
    if (job.stop == nullptr || !job.stop->load(std::memory_order_relaxed))
        return false;
    job.stopped.store(true, std::memory_order_relaxed);
    return true;
}

// The tables as the scalar search reads them: their arrays, the largest R^2
// of level 1, and the levels searched (0: none). Reference iterations are
// size_t here, a register wide in 32-bit code too: an orbit fits in memory.
struct BlockSearch {
    const BlaBlock* blocks;
    const std::uint64_t* level_start;
    double largest_pair_radius2;
    std::size_t level_count;
};

inline BlockSearch block_search(const BlaTables& tables, std::uint64_t level_count)
{
    return {tables.blocks.data(), tables.level_start.data(), level_count > 0 ? tables.largest_radius2[0] : 0.0,
            static_cast<std::size_t>(level_count)};
}

// The longest block of the tables that holds from reference iteration m for
// |z|^2 = z2, and its length; false if none does. A block's radius is at
// most that of its first half, so the search climbs the levels while blocks
// hold.
inline bool longest_block(const BlockSearch& tables, std::size_t m, double z2, const BlaBlock*& block,
                          std::size_t& length)
{
    block = nullptr;
    // Without levels the largest radius is 0; at m = 0, m - 1 is odd.
    if (!(z2 < tables.largest_pair_radius2) || ((m - 1) & 1) != 0)
        return false;
    // Level j's blocks start where m - 1 is a multiple of 2^j.
    const std::size_t aligned = m == 1 ? tables.level_count : static_cast<std::size_t>(std::countr_zero(m - 1));
    const std::size_t top = aligned < tables.level_count ? aligned : tables.level_count;
    std::size_t j = 1;
    for (; j <= top; ++j) {
        const std::size_t i = static_cast<std::size_t>(tables.level_start[j - 1]) + ((m - 1) >> j);
        if (i >= static_cast<std::size_t>(tables.level_start[j]) || !(z2 < tables.blocks[i].radius2))
            break;
        block = &tables.blocks[i];
    }
    length = std::size_t{1} << (j - 1);
    return block != nullptr;
}

// Iterates p by the definition (deep_escape) from the top of an iteration.
// True when the point has ended (count and magnitude2 set). With hand_back,
// false once the next action is a plain step after a run of plain steps
// with no block: p is then a state the lanes can continue from.
bool run_point(DeepPoint& p, std::uint32_t cap, DeepJob& job, bool hand_back);

// What one point's iteration gives: its count (capped), the steps taken
// (a skipped block is one step) and |z|^2 where it stopped.
struct DeepCount {
    std::uint32_t count;
    std::uint64_t steps;
    double magnitude2;
};

// The definition of a point's count: z from 0 at reference iteration 0;
// each iteration tests w = Z_m + z against the radius, rebases (z = w, m = 0)
// when |w| < |z| or the orbit ends, then takes the longest valid block of the
// tables if with_bla, else one step z = (2 Z_m + z) z + dc. A point whose
// value w_n first has |w_n|^2 >= radius2 gets n + 1, at most cap. The orbit
// must hold at least cap iterates unless it escaped, and the tables (with_bla)
// be built for offsets at least as large as dc. With a step_exponent, the
// offset is (dcr, dci) * 2^step_exponent and the iterations of a z below
// wide_bound are taken at any exponent, with the wide tables.
DeepCount deep_escape(const DeepZoom& zoom, double dcr, double dci, std::uint32_t cap, double radius2, bool with_bla,
                      int step_exponent = 0);

}  // namespace zqv
