// The lane kernel, shared by the per-instruction-set files. Each defines
// LANES_TARGET (its target attribute) and a lane type before including this:
//   width; V (doubles), M (a lane mask), Trail (a mask for each iteration
//   of a chunk); zero(), set1(d), add, sub, mul;
//   go_on(m, s, four): m without the lanes where s >= 4 (a NaN s goes on);
//   bits(m), mask(bits): a mask as lane bits and back;
//   note(trail, i, m): keep the mask of the i-th iteration of the chunk;
//   noted(trail, lane): the number of iterations the lane was in the mask;
//   clear(v, bits): the lanes in bits zeroed;
//   expand(v, bits, src): the j-th lane set in bits replaced by src[j].
// Everything here is internal to the including file.
#pragma once

#include <cstdint>

#include "fractal/escape_lanes.h"

// On 32-bit Windows a thread or window procedure may enter with the stack
// aligned to 4 bytes only; the kernels realign it for their vector spills.
#if defined(__i386__)
#define LANES_ENTRY LANES_TARGET __attribute__((force_align_arg_pointer))
#else
#define LANES_ENTRY LANES_TARGET
#endif
#define LANES_INLINE LANES_TARGET __attribute__((always_inline)) inline

namespace {

// Iterations between two looks at the lanes. A lane whose point escapes or
// reaches the cap idles to the end of its chunk, so a point wastes 4 lane
// iterations on average, under 1% of the bench set's mean of about 650.
constexpr int chunk = 8;

// noted() for trails that keep each lane's mask of each iteration as a
// 64-bit word, all ones or zero.
template <int width>
LANES_INLINE int noted_words(const std::int64_t (&trail)[chunk][width], int lane)
{
    int n = 0;
    for (int i = 0; i < chunk; ++i)
        n += trail[i][lane] & 1;
    return n;
}

// The bookkeeping of one vector of points. The vectors themselves are kept
// apart from it, in variables the compiler can hold in registers.
template <class L>
struct Chain {
    unsigned busy;  // lanes that hold a point
    std::uint32_t offset[L::width];
    std::int64_t start[L::width];  // iteration at which the lane's point began
};

// Writes the counts of the lanes in `done` and gives them the next points
// of the feed; lanes left without a point go idle. Keeps `deadline` at or
// below the first iteration at which a busy lane reaches the cap.
template <class L>
LANES_INLINE void settle_chain(EscapePass& pass, PointFeed& feed, Chain<L>& ch,
                               const typename L::Trail& trail, unsigned done, std::int64_t now,
                               std::int64_t& deadline, std::uint64_t& iterations, typename L::V& x,
                               typename L::V& y, typename L::V& s, typename L::V& cr,
                               typename L::V& ci, typename L::M& active)
{
    const std::int64_t cap = pass.cap;
    for (unsigned rest = done & ch.busy; rest != 0; rest &= rest - 1) {
        const int lane = __builtin_ctz(rest);
        std::int64_t count = now - chunk - ch.start[lane] + L::noted(trail, lane);
        count = count < cap ? count : cap;
        pass.pixels[ch.offset[lane]] = static_cast<std::uint8_t>(count);
        iterations += static_cast<std::uint64_t>(count);
    }

    x = L::clear(x, done);
    y = L::clear(y, done);
    s = L::clear(s, done);
    unsigned rest = done;
    while (rest != 0) {
        if (feed.begin == feed.end)
            top_up_feed(pass, feed);
        if (feed.begin == feed.end)
            break;
        unsigned fill = rest;
        for (int n = __builtin_popcount(fill) - (feed.end - feed.begin); n > 0; --n)
            fill &= ~(1u << (31 - __builtin_clz(fill)));  // the feed runs short: keep the lowest lanes
        rest &= ~fill;
        cr = L::expand(cr, fill, feed.cr + feed.begin);
        ci = L::expand(ci, fill, feed.ci + feed.begin);
        for (; fill != 0; fill &= fill - 1) {
            const int lane = __builtin_ctz(fill);
            ch.offset[lane] = feed.offset[feed.begin++];
            ch.start[lane] = now;
        }
    }
    cr = L::clear(cr, rest);
    ci = L::clear(ci, rest);
    ch.busy = (ch.busy | done) & ~rest;
    active = L::mask(ch.busy);
    if (done & ~rest)
        deadline = now + cap < deadline ? now + cap : deadline;
}

// `chains` independent vectors of points iterate side by side to hide the
// latency of the multiply-add chain. A lane counts the iterations before it
// first sees a sum >= 4: those before the chunk and those of the chunk in
// which it was still active. A NaN sum never compares >= 4, and such a
// point runs to the cap. A lane is settled when it escaped or has run `cap`
// iterations; its count is min(count, cap), for the cap only truncates.
template <class L, int chains>
LANES_INLINE void escape_lanes(EscapePass& pass)
{
    using V = typename L::V;
    constexpr unsigned all_lanes = (1u << L::width) - 1;
    const std::int64_t cap = pass.cap;
    const V four = L::set1(4.0);

    PointFeed feed{};
    V x[chains], y[chains], s[chains], cr[chains], ci[chains];  // s = xx + yy: the sum tested next
    typename L::M active[chains];     // busy lanes that have not escaped
    typename L::Trail trail[chains];  // `active` after each iteration of the chunk
    Chain<L> ch[chains];
    std::int64_t now = 0, deadline = INT64_MAX;
    std::uint64_t iterations = 0;
#pragma GCC unroll 8
    for (int c = 0; c < chains; ++c) {
        x[c] = y[c] = s[c] = cr[c] = ci[c] = L::zero();
        ch[c].busy = 0;
        settle_chain(pass, feed, ch[c], trail[c], all_lanes, now, deadline, iterations, x[c], y[c],
                     s[c], cr[c], ci[c], active[c]);
    }

    for (;;) {
        // The escape loop: test the sum, then xx = x*x; yy = y*y;
        // y = (2x)*y + ci with the old x; x = (xx - yy) + cr.
        for (int i = 0; i < chunk; ++i) {
#pragma GCC unroll 8
            for (int c = 0; c < chains; ++c) {
                active[c] = L::go_on(active[c], s[c], four);
                L::note(trail[c], i, active[c]);
                const V xx = L::mul(x[c], x[c]);
                const V yy = L::mul(y[c], y[c]);
                y[c] = L::add(L::mul(L::add(x[c], x[c]), y[c]), ci[c]);
                x[c] = L::add(L::sub(xx, yy), cr[c]);
                s[c] = L::add(xx, yy);
            }
        }
        now += chunk;

        // Lanes that escaped, and once the deadline passed those at the cap.
        bool any_busy = false;
        const bool deadline_passed = now >= deadline;
        if (deadline_passed)
            deadline = INT64_MAX;
#pragma GCC unroll 8
        for (int c = 0; c < chains; ++c) {
            unsigned done = ch[c].busy & ~L::bits(active[c]);
            if (deadline_passed)
                for (unsigned rest = ch[c].busy & ~done; rest != 0; rest &= rest - 1) {
                    const std::int64_t reach = ch[c].start[__builtin_ctz(rest)] + cap;
                    if (reach <= now)
                        done |= rest & (0u - rest);
                    else if (reach < deadline)
                        deadline = reach;
                }
            if (done != 0)
                settle_chain(pass, feed, ch[c], trail[c], done, now, deadline, iterations, x[c], y[c],
                             s[c], cr[c], ci[c], active[c]);
            any_busy |= ch[c].busy != 0;
        }
        if (!any_busy)
            break;
    }
    pass.iterations += iterations;
}

}  // namespace
