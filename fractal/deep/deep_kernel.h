// The deep lane kernel, deep_lanes, shared by the per-instruction-set files
// (deep_sse2.cpp, deep_avx2.cpp, deep_avx512.cpp), which
// define LANES_TARGET and a type of lanes and run it on a frame's points or
// a grid's. Each lane iterates one point by plain perturbation steps, each
// operation as the scalar definition (run_point) forms it; a lane whose
// point escapes, reaches the cap, or can skip steps by a block of the tables
// is handled by the scalar code, and the lane then continues that point or
// takes the next. Reference iterations m and counts n are kept as doubles
// (exact: far below 2^53).
#pragma once

#include <bit>
#include <cstdint>

#include "fractal/deep/deep_work.h"
#include "fractal/lanes/vector_lanes.h"

namespace zqv {
namespace {

// Vectors of points run side by side to hide each one's chain of latencies:
// three in 64-bit code; two in 32-bit code, whose 8 vector registers cannot
// hold more.
#if defined(__i386__)
constexpr int deep_batches = 2;
#else
constexpr int deep_batches = 3;
#endif

template <class L>
struct DeepBatch {
    typename L::V x, y, dcr, dci, m, n;
    typename L::V zr, zi;  // the reference at m
    unsigned busy;         // lanes that hold a point
    unsigned busy_count;   // their number
    // Rounds from this one on in which no busy lane can reach the cap (its
    // n + 1 stays below it) and no lane the orbit's end (its m stays below
    // the last iterate): only in the round where it runs out do the lanes
    // test for those (quiet_rounds).
    std::int64_t quiet;
};

// The rounds from the next one on in which no busy lane of b can reach the
// cap and no lane the orbit's end, at least: the least of cap - 1 - n over
// the busy lanes and of last - m over all (an idle lane's m goes on too, and
// is put back at the orbit's end like any other), each of which falls by at
// most 1 a round (a rebase puts m back).
template <class L>
LANES_INLINE std::int64_t quiet_rounds(const DeepBatch<L>& b, typename L::V cap_less_1, typename L::V last)
{
    const typename L::V to_cap = L::blend(L::sub(cap_less_1, b.n), ~b.busy & ((1u << L::width) - 1), L::set1(0x1p52));
    return static_cast<std::int64_t>(L::smallest(L::min(to_cap, L::sub(last, b.m))));
}

// Where a lane's point stands, taken out of the vectors: its offset as
// given (dcr, dci) and as its plain steps add it (pr, pi; the same unless the
// offsets are scaled).
struct LaneState {
    double x[8], y[8], dcr[8], dci[8], pr[8], pi[8], m[8], n[8], tag[8];
};

// The offsets and tags stay in the state alone: the lanes do not change them.
template <class L>
LANES_INLINE void store_batch(const DeepBatch<L>& b, LaneState& s)
{
    L::store(s.x, b.x), L::store(s.y, b.y);
    L::store(s.m, b.m), L::store(s.n, b.n);
}

template <class L>
LANES_INLINE void load_batch(DeepBatch<L>& b, const LaneState& s)
{
    b.x = L::load(s.x), b.y = L::load(s.y), b.dcr = L::load(s.pr), b.dci = L::load(s.pi);
    b.m = L::load(s.m), b.n = L::load(s.n);
}

// Where the kernel's points come from and where their ends go: the pass of
// a deep frame, or the rows of a deep grid (GridPoints, deep_work.h).
struct FramePoints {
    using Shared = EscapePass;
    struct Thread {
        PointFeed feed;
        FinishedPoints finished;
        std::uint64_t iterations;
    };
    static void start(Thread& t)
    {
        start_feed(t.feed);
        t.finished.size = 0;
        t.iterations = 0;
    }
    static std::uint32_t cap(const EscapePass& pass) { return pass.cap; }
    static bool next(EscapePass& pass, Thread& t, double& dcr, double& dci, double& tag)
    {
        if (t.feed.begin == t.feed.end) {
            top_up_feed(pass, t.feed);
            if (t.feed.begin == t.feed.end)
                return false;
        }
        const int i = t.feed.begin++;
        dcr = t.feed.cr[i];
        dci = t.feed.ci[i];
        tag = t.feed.pixel[i];
        return true;
    }
    static void finish(EscapePass& pass, Thread& t, double tag, std::uint32_t count, double)
    {
        t.finished.pixel[t.finished.size] = tag;
        t.finished.count[t.finished.size] = count;
        if (++t.finished.size == finished_capacity)
            write_finished(pass, t.finished, t.iterations);
    }
    static void flush(EscapePass& pass, Thread& t)
    {
        write_finished(pass, t.finished, t.iterations);
        pass.iterations += t.iterations;
    }
};

template <class S>
struct LaneWork {
    typename S::Thread points;
    std::uint64_t steps;
};

// Puts the next point of the source in lane j at its start, z = 0 at
// reference iteration 0, where the definition's first iteration is a plain
// step whenever the cap is at least 2; or leaves the lane idle: false.
template <class S>
inline bool start_point(typename S::Shared& shared, LaneWork<S>& work, const DeepJob& job, LaneState& s, int j)
{
    s.x[j] = s.y[j] = s.m[j] = s.n[j] = 0.0;
    if (S::next(shared, work.points, s.dcr[j], s.dci[j], s.tag[j])) {
        s.pr[j] = plain_offset(s.dcr[j], job.step_exponent);
        s.pi[j] = plain_offset(s.dci[j], job.step_exponent);
        return true;
    }
    s.dcr[j] = s.dci[j] = s.pr[j] = s.pi[j] = 0.0;
    return false;
}

// Handles the lanes in `lanes` of a batch, each at the top of an iteration
// that the lanes do not take: `ended` escaped or reached the cap there, the
// others can skip steps. Each lane is left ready for a plain step: its point
// handed back by the scalar code, or a new one.
// The lanes left busy.
template <int width, class S>
__attribute__((noinline)) unsigned handle_lanes(typename S::Shared& shared, DeepJob& job, LaneWork<S>& work,
                                                LaneState& s, unsigned busy, unsigned lanes, unsigned ended)
{
    const std::uint32_t cap = S::cap(shared);
    for (int j = 0; j < width; ++j) {
        if (!(lanes >> j & 1))
            continue;
        // A new point's first step adds dc, which the plain steps of scaled
        // offsets drop: such a point starts in the scalar code, as do the
        // lanes of the kernel's first batches (`ended` 0 and every lane given).
        for (bool done = ended >> j & 1;;) {
            DeepPoint p{s.dcr[j], s.dci[j], s.x[j], s.y[j], static_cast<std::uint64_t>(s.n[j]),
                        static_cast<std::uint64_t>(s.m[j]), 0, 0, 0.0};
            if (!done)
                done = run_point(p, cap, job, true);
            else
                run_point(p, cap, job, false);  // ends at once, with the definition's count
            work.steps += p.steps;
            if (!done) {
                s.x[j] = p.x, s.y[j] = p.y, s.m[j] = static_cast<double>(p.m), s.n[j] = static_cast<double>(p.n);
                break;
            }
            S::finish(shared, work.points, s.tag[j], p.count, p.magnitude2);
            if (!start_point(shared, work, job, s, j)) {
                busy &= ~(1u << j);
                break;
            }
            if (job.step_exponent == 0)
                break;
            done = false;
        }
    }
    return busy;
}

template <class L, class S>
LANES_INLINE void deep_lanes(typename S::Shared& shared, DeepJob& job)
{
    using V = typename L::V;
    const V radius2 = L::set1(job.radius2), cap = L::set1(static_cast<double>(S::cap(shared)));
    const V last = L::set1(static_cast<double>(job.last)), zero = L::set1(0.0), one = L::set1(1.0);
    const V largest_pair_radius2 = L::set1(job.largest_pair_radius2), tiny_bound = L::set1(job.tiny_bound);
    const V cap_less_1 = L::sub(cap, one);
    const bool tiny_possible = job.step_exponent != 0;
    const BlaBlock* const pairs = job.pairs;
    LaneWork<S> work;
    S::start(work.points);
    work.steps = 0;
    DeepBatch<L> batch[deep_batches];
    LaneState state[deep_batches];
#pragma GCC unroll 4
    for (int k = 0; k < deep_batches; ++k) {
        DeepBatch<L>& b = batch[k];
        b.busy = 0;
        for (int j = 0; j < L::width; ++j)
            if (start_point(shared, work, job, state[k], j))
                b.busy |= 1u << j;
        if (job.step_exponent != 0)
            b.busy = handle_lanes<L::width>(shared, job, work, state[k], b.busy, b.busy, 0);
        load_batch(b, state[k]);
        L::gather(job.orbit, b.m, b.zr, b.zi);
        b.busy_count = static_cast<unsigned>(std::popcount(b.busy));
        b.quiet = 0;
    }
    // The lanes' steps, apart from work.steps (which the scalar code adds to), so that it stays in a register.
    std::uint64_t lane_steps = 0;
    // The reference at iteration 1, where a rebased point goes on.
    const V z1r = L::set1(job.orbit[2]), z1i = L::set1(job.orbit[3]);

    // Each step reads the reference of the next step ahead, at m + 1 as if
    // the point were not rebased (a rebased one continues at iteration 1),
    // so the loads' latency overlaps the step's arithmetic.
    for (std::uint64_t round = 1;; ++round) {
        unsigned any_busy = 0;
#pragma GCC unroll 4
        for (int k = 0; k < deep_batches; ++k) {
            DeepBatch<L>& b = batch[k];
            V zr = b.zr, zi = b.zi, next_r, next_i;
            // Within the quiet rounds m + 1 is at most the orbit's last for every lane.
            const bool quiet = b.quiet != 0;
            L::gather(job.orbit, quiet ? L::add(b.m, one) : L::min(L::add(b.m, one), last), next_r, next_i);
            const V wr = L::add(zr, b.x), wi = L::add(zi, b.y);
            const V w2 = L::add(L::mul(wr, wr), L::mul(wi, wi));
            V z2 = L::add(L::mul(b.x, b.x), L::mul(b.y, b.y));
            unsigned ended = L::at_least(w2, radius2) & b.busy;
            // Rebases are rare (one lane step in hundreds): their selects only when one is due.
            typename L::Mask rebase = L::less(w2, z2);
            if (!quiet) {
                ended |= L::at_least(L::add(b.n, one), cap) & b.busy;
                rebase = L::either(L::equal(b.m, last), rebase);
            }
            if (L::bits(rebase) != 0) {
                b.x = L::select(rebase, wr, b.x);
                b.y = L::select(rebase, wi, b.y);
                b.m = L::select(rebase, zero, b.m);
                zr = L::select(rebase, zero, zr);
                zi = L::select(rebase, zero, zi);
                z2 = L::select(rebase, w2, z2);
                next_r = L::select(rebase, z1r, next_r);
                next_i = L::select(rebase, z1i, next_i);
            }
            // Points whose |z| is too small for double steps go to the scalar code, as do those a block holds for.
            unsigned skip = tiny_possible ? L::bits(L::less(z2, tiny_bound)) & b.busy & ~ended : 0;
            // Blocks hold on few steps: the exact test only where |z|^2 is below every block of 2 steps' radius.
            if (pairs != nullptr) {
                const unsigned near = L::bits(L::less(z2, largest_pair_radius2)) & b.busy & ~ended;
                if (near != 0)
                    skip |= L::pair_holds(pairs, job.pair_count, b.m, z2) & near;
            }
            bool handled = false;
            if ((ended | skip) != 0) {
                store_batch(b, state[k]);
                b.busy = handle_lanes<L::width>(shared, job, work, state[k], b.busy, ended | skip, ended);
                b.busy_count = static_cast<unsigned>(std::popcount(b.busy));
                load_batch(b, state[k]);
                L::gather(job.orbit, b.m, zr, zi);
                L::gather(job.orbit, L::min(L::add(b.m, one), last), next_r, next_i);
                handled = true;
            }
            lane_steps += b.busy_count;
            const V tr = L::add(L::mul(L::set1(2.0), zr), b.x), ti = L::add(L::mul(L::set1(2.0), zi), b.y);
            const V nx = L::add(L::sub(L::mul(tr, b.x), L::mul(ti, b.y)), b.dcr);
            const V ny = L::add(L::add(L::mul(tr, b.y), L::mul(ti, b.x)), b.dci);
            b.x = nx;
            b.y = ny;
            b.m = L::add(b.m, one);
            b.n = L::add(b.n, one);
            b.zr = next_r;
            b.zi = next_i;
            b.quiet = quiet && !handled ? b.quiet - 1 : quiet_rounds(b, cap_less_1, last);
            any_busy |= b.busy;
        }
        if (any_busy == 0)
            break;
        if ((round & 4095) == 0 && deep_stop_asked(job))
            break;
    }
    S::flush(shared, work.points);
    job.steps += work.steps + lane_steps;
}

}  // namespace
}  // namespace zqv
