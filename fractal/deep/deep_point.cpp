// The scalar definition of a deep point: perturbation from the reference
// orbit, rebased to the orbit's start, with the longest valid block of the
// tables taken where one holds. Every double operation is written out in one
// fixed order, so every build gives the same counts.
#include "fractal/deep/deep_point.h"

namespace zqv {

namespace {

// A point reads the stop flag after this many steps, so a point of a high cap
// still stops within a fraction of a second.
constexpr std::uint64_t steps_between_stop_checks = 1 << 20;

// A point handed to the scalar code for a block stays there while blocks
// keep coming: it goes back to the lanes after this many plain steps in a
// row, when it has left the reference and the tables are of no more use to
// it. On the seahorse path at 1e-100 (AMD EPYC, AVX-512) 32 took 0.45 s a
// frame, against 0.54 s for 16, 0.62 for 8 and 0.79 for 4, 0.45 for 64; with
// the specialised scalar steps 0.49 s, against 0.61 for 16, 0.50 for 24 and
// 0.49 for 48.
constexpr std::uint64_t plain_steps_before_hand_back = 32;

// The longest wide block that holds from reference iteration m for |z|^2 = z2,
// as longest_block.
bool longest_wide_block(const WideTables& tables, std::uint64_t level_count, std::uint64_t m, FloatExp z2,
                        const WideBlock*& block, std::uint64_t& length)
{
    block = nullptr;
    if (m == 0 || level_count == 0 || !(z2 < tables.largest_radius[0] * tables.largest_radius[0]))
        return false;
    for (std::uint64_t j = 1; j <= level_count && ((m - 1) & ((std::uint64_t{1} << j) - 1)) == 0; ++j) {
        const std::uint64_t i = tables.level_start[j - 1] + ((m - 1) >> j);
        if (i >= tables.level_start[j] || !(z2 < tables.blocks[i].radius * tables.blocks[i].radius))
            break;
        block = &tables.blocks[i];
        length = std::uint64_t{1} << j;
    }
    return block != nullptr;
}

// Where a point stands while run_point iterates it.
struct PointState {
    double x, y;
    std::uint64_t n;
    std::size_t m, steps;  // steps: at most n, below 2^32
};

// Watches a point for an attracting cycle of the view's period P (DeepJob::
// period) or twice it, from its first block after a reset on: the
// derivative d of its value w since the last time m was a multiple of P (a
// boundary), and w at the last two. At a boundary F^q (q the iterations
// since the boundary one or two before) has moved that boundary's w_q by
// D = |w - w_q| with derivative d_q at w_q. Near a minibrot F^q is, in a
// coordinate u = w / s, close to u^2 + c', so s = 2 |w_q| / |d_q|, and a
// disc of radius r about u_q maps into itself when
// D/s + (|d_q| + 2r) r <= r, which some r allows when
// D/s <= (1 - |d_q|)^2 / 8. The watch asks for |d_q| < 1 and, with a margin
// of 4 for the model, D <= |w_q| (1 - |d_q|)^2 / 16 (|d_q| < 1 makes this
// the stricter), at two boundaries in a row: by the model the point then
// stays in the disc forever and never escapes (the margin and the second
// boundary stand for the model's error; the tests check sampled points so
// found against multiprecision iteration). Twice the period catches the
// largest bulbs beside the minibrot's cardioid.
struct InsideWatch {
    bool active = false;  // from the first block after a reset
    int seen = 0;         // boundaries passed since then (counted up to 2)
    int passed[2] = {0, 0};  // boundaries in a row that passed the test for one and two periods
    ComplexExp d = one_complexexp;       // since the last boundary
    ComplexExp d_before = one_complexexp;  // from the one before to the last
    ComplexExp w_at[2] = {zero_complexexp, zero_complexexp};  // at the last boundary and the one before
};

// The boundaries in a row that make a point inside.
constexpr int boundaries_to_pass = 2;

// A block of derivative a taken: the watch starts here if it is not on.
inline void watch_block(InsideWatch& watch, const ComplexExp& a)
{
    if (!watch.active) {
        watch = InsideWatch{};
        watch.active = true;
    }
    watch.d = watch.d * a;
}

// Whether F^q maps a disc about w_q into itself, as InsideWatch tells.
inline bool holds_a_disc(const ComplexExp& w, const ComplexExp& w_q, const ComplexExp& d_q)
{
    const FloatExp derivative = sqrt(norm(d_q)), one = to_floatexp(1.0);
    if (!(derivative < one))
        return false;
    const FloatExp room = one - derivative;
    return sqrt(norm(w - w_q)) * to_floatexp(16.0) < sqrt(norm(w_q)) * room * room;
}

// At the top of an iteration at reference iteration m with value w: true
// if the point is inside by the watch.
inline bool watch_boundary(InsideWatch& watch, std::uint64_t m, std::uint64_t period, const ComplexExp& w)
{
    if (!watch.active || period == 0 || m % period != 0)
        return false;
    bool inside = false;
    for (int q = 0; q < 2 && q < watch.seen; ++q) {
        const bool holds = holds_a_disc(w, watch.w_at[q], q == 0 ? watch.d : watch.d * watch.d_before);
        watch.passed[q] = holds ? watch.passed[q] + 1 : 0;
        inside = inside || watch.passed[q] >= boundaries_to_pass;
    }
    watch.seen = watch.seen < 2 ? watch.seen + 1 : 2;
    watch.w_at[1] = watch.w_at[0];
    watch.w_at[0] = w;
    watch.d_before = watch.d;
    watch.d = one_complexexp;
    return inside;
}

// Ends p at the cap: stopped, or found inside.
inline bool end_at_cap(DeepPoint& p, const PointState& s, std::uint32_t cap, double w2)
{
    p.count = cap;
    p.magnitude2 = w2;
    p.steps = s.steps;
    return true;
}

// The iterations of a point whose z is below the double steps' bound, at any
// exponent: from an iteration whose tests are done (its value w there), its
// step (the longest wide block or a plain step), then whole iterations until
// one whose tests leave |z|^2 at least wide_bound. True if the point ended
// there (count and magnitude2 set); else z is back in doubles, with its
// |z|^2 in z2, for that iteration's step.
bool run_wide(DeepPoint& p, PointState& s, InsideWatch& watch, ComplexExp w, double& z2_out, std::uint32_t cap,
              DeepJob& job, std::uint64_t level_count)
{
    const ReferenceOrbit& orbit = *job.reference;
    const ComplexExp dc = to_complexexp(p.dcr, p.dci, job.step_exponent);
    const FloatExp radius2 = to_floatexp(job.radius2), bound = to_floatexp(wide_bound);
    ComplexExp z = to_complexexp(s.x, s.y);
    FloatExp z2 = norm(z);
    for (;;) {
        const WideBlock* block;
        std::uint64_t length;
        if (longest_wide_block(*job.wide, level_count, s.m, z2, block, length)) {
            z = block->a * z + block->b * dc;
            s.m += length;
            s.n += length;
            if (job.period != 0)
                watch_block(watch, block->a);
        } else {
            z = (twice(reference_at(orbit, s.m)) + z) * z + dc;
            ++s.m;
            ++s.n;
            if (watch.active)
                watch.d = watch.d * twice(w);
        }
        w = reference_at(orbit, s.m) + z;
        const FloatExp w2 = norm(w);
        const bool escaped = !(w2 < radius2);
        if (escaped || s.n + 1 >= cap) {
            p.count = escaped && s.n + 1 < cap ? static_cast<std::uint32_t>(s.n + 1) : cap;
            p.magnitude2 = to_double(w2);
            p.steps = s.steps;
            return true;
        }
        z2 = norm(z);
        if (s.m == job.last || w2 < z2) {
            z = w;
            z2 = w2;
            s.m = 0;
        }
        ++s.steps;
        if (((s.steps & (steps_between_stop_checks - 1)) == 0 && deep_stop_asked(job)) ||
            watch_boundary(watch, s.m, job.period, w))
            return end_at_cap(p, s, cap, to_double(w2));
        if (!(z2 < bound)) {
            s.x = scaled_double(z.re, z.e);
            s.y = scaled_double(z.im, z.e);
            z2_out = s.x * s.x + s.y * s.y;
            return false;
        }
    }
}

}  // namespace

DeepZoom start_deep_zoom(const Decimal& centre_re, const Decimal& centre_im, int fraction_bits)
{
    return {start_reference(centre_re, centre_im, fraction_bits), {}, {}, 0, true, 0.0, 0.0, nullptr, nullptr};
}

void set_deep_job(DeepJob& job, const DeepZoom& zoom, double radius2, bool with_bla, const std::atomic<bool>* stop,
                  int step_exponent)
{
    const ReferenceOrbit& orbit = zoom.orbit;
    job.orbit = orbit.z.data();
    job.last = orbit_size(orbit) - 1;
    const bool pairs = with_bla && bla_levels(zoom.tables) > 0;
    job.pairs = pairs ? zoom.tables.blocks.data() : nullptr;
    job.pair_count = pairs ? zoom.tables.level_start[1] : 0;
    job.largest_pair_radius2 = pairs ? zoom.tables.largest_radius2[0] : 0.0;
    job.radius2 = radius2;
    job.with_bla = with_bla;
    job.tables = &zoom.tables;
    job.reference = &orbit;
    job.wide = &zoom.wide;
    job.step_exponent = step_exponent;
    job.tiny_bound = step_exponent != 0 ? wide_bound : 0.0;
    job.period = zoom.period;
    job.stop = stop;
    job.stopped = false;
    job.steps = 0;
}

namespace {

// run_point for offsets scaled or not (`wide`: values below wide_bound are
// taken at any exponent) and with the inside watch or without (the view has
// no period), so that each takes only the tests it needs.
template <bool wide, bool watched>
bool run_point_as(DeepPoint& p, std::uint32_t cap, DeepJob& job, bool hand_back)
{
    // What the steps read, in locals: the job's own fields may change in the calls of the rare paths.
    const double* z = job.orbit;
    const BlockSearch tables = block_search(*job.tables, job.with_bla ? bla_levels(*job.tables) : 0);
    const double radius2 = job.radius2, tiny_bound = job.tiny_bound;
    const auto last = static_cast<std::size_t>(job.last);
    const double dcr = p.dcr, dci = p.dci;  // for the blocks, whose B is scaled as the offsets are
    const double pr = plain_offset(dcr, job.step_exponent), pi = plain_offset(dci, job.step_exponent);
    PointState s{p.x, p.y, p.n, static_cast<std::size_t>(p.m), static_cast<std::size_t>(p.steps)};
    InsideWatch watch;
    unsigned plain_run = 0;  // plain steps since the last skipped block
    for (;;) {
        const double wr = z[2 * s.m] + s.x, wi = z[2 * s.m + 1] + s.y;
        const double w2 = wr * wr + wi * wi;
        if (w2 >= radius2 || s.n + 1 >= cap) {
            p.count = w2 >= radius2 && s.n + 1 < cap ? static_cast<std::uint32_t>(s.n + 1) : cap;
            p.magnitude2 = w2;
            p.steps = s.steps;
            return true;
        }
        double z2 = s.x * s.x + s.y * s.y;
        if (s.m == last || w2 < z2) {
            s.x = wr;
            s.y = wi;
            z2 = w2;
            s.m = 0;
        }
        ++s.steps;
        if (((s.steps & (steps_between_stop_checks - 1)) == 0 && deep_stop_asked(job)) ||
            (watched && watch.active && watch_boundary(watch, s.m, job.period, to_complexexp(wr, wi))))
            return end_at_cap(p, s, cap, w2);
        if (wide && z2 < tiny_bound) {
            if (run_wide(p, s, watch, to_complexexp(wr, wi), z2, cap, job, job.with_bla ? bla_levels(*job.wide) : 0))
                return true;
            plain_run = 0;
        }
        const BlaBlock* best;
        std::size_t length;
        if (longest_block(tables, s.m, z2, best, length)) {
            const double nx = (best->ar * s.x - best->ai * s.y) + (best->br * dcr - best->bi * dci);
            const double ny = (best->ar * s.y + best->ai * s.x) + (best->br * dci + best->bi * dcr);
            s.x = nx;
            s.y = ny;
            s.m += length;
            s.n += length;
            plain_run = 0;
            if (watched)
                watch_block(watch, to_complexexp(best->ar, best->ai));
            continue;
        }
        if (++plain_run > plain_steps_before_hand_back) {
            // The lanes take such a point on, and hand it back unwatched: the watch stops here either way.
            watch.active = false;
            if (hand_back) {
                p.x = s.x, p.y = s.y, p.n = s.n, p.m = s.m, p.steps = s.steps - 1;
                return false;
            }
        }
        if (watched && watch.active)
            watch.d = watch.d * to_complexexp(2.0 * wr, 2.0 * wi);
        const double tr = 2.0 * z[2 * s.m] + s.x, ti = 2.0 * z[2 * s.m + 1] + s.y;
        const double nx = (tr * s.x - ti * s.y) + pr;
        const double ny = (tr * s.y + ti * s.x) + pi;
        s.x = nx;
        s.y = ny;
        ++s.m;
        ++s.n;
    }
}

}  // namespace

bool run_point(DeepPoint& p, std::uint32_t cap, DeepJob& job, bool hand_back)
{
    const bool watched = job.period != 0;
    if (job.step_exponent != 0)
        return watched ? run_point_as<true, true>(p, cap, job, hand_back)
                       : run_point_as<true, false>(p, cap, job, hand_back);
    return watched ? run_point_as<false, true>(p, cap, job, hand_back)
                   : run_point_as<false, false>(p, cap, job, hand_back);
}

DeepCount deep_escape(const DeepZoom& zoom, double dcr, double dci, std::uint32_t cap, double radius2, bool with_bla,
                      int step_exponent)
{
    DeepJob job;
    set_deep_job(job, zoom, radius2, with_bla, nullptr, step_exponent);
    DeepPoint point{dcr, dci, 0.0, 0.0, 0, 0, 0, 0, 0.0};
    run_point(point, cap, job, false);
    return {point.count, point.steps, point.magnitude2};
}

}  // namespace zqv
