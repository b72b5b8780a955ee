// The minibrot of a view: the ball period from the centre's reference orbit,
// then Newton's method on z_p(c) = 0 in fixed point with a precision that
// follows the minibrot's size, and the size estimate from the nucleus's
// orbit (l = prod 2 z_j, b = sum 1 / prod 2 z_j, size |1 / (b l^2)|).
#include "fractal/deep/deep_find.h"

#include <cmath>

#include "fractal/deep/deep_orbit.h"
#include "fractal/deep/fixed_point.h"

namespace zqv {

namespace {

// Newton's method takes at most this many steps; from near a nucleus it
// converges quadratically, in a handful.
constexpr int most_newton_steps = 64;

// The nucleus is taken as found when a Newton step moves it by less than
// 2^16 units of the last of its fraction bits.
constexpr unsigned converged_bits = 16;

struct Stopper {
    const std::atomic<bool>* stop;
    FindReport report;
    void* context;
    const char* stage;
    std::int64_t total;
    // Every 64 iterations: false when the stop flag is set.
    bool go_on(std::int64_t done) const
    {
        if ((done & 63) != 0)
            return true;
        if (report != nullptr && (done & 1023) == 0)
            report(stage, done, total, context);
        return stop == nullptr || !stop->load(std::memory_order_relaxed);
    }
};

// The reference orbit's report, as the search's.
void orbit_report(std::int64_t done, std::int64_t total, void* context)
{
    const Stopper& stopper = *static_cast<const Stopper*>(context);
    if (stopper.report != nullptr)
        stopper.report(stopper.stage, done, total, stopper.context);
}

// out = a b / 2^bits, rounded toward zero.
void fixed_multiply(cpp_int& out, const cpp_int& a, const cpp_int& b, unsigned bits)
{
    out = a;
    out *= b;
    shift_down(out, bits);
}

// z = z^2 + c as (x + y)(x - y) + cr, 2xy + ci, with t1 to t3 for the products.
void square_add(cpp_int& zr, cpp_int& zi, const cpp_int& cr, const cpp_int& ci, unsigned bits, cpp_int& t1,
                cpp_int& t2, cpp_int& t3)
{
    t1 = zr;
    t1 += zi;
    t2 = zr;
    t2 -= zi;
    fixed_multiply(t3, t1, t2, bits);
    fixed_multiply(t1, zr, zi, bits - 1);
    zr = t3;
    zr += cr;
    zi = t1;
    zi += ci;
}

// z_p(c) and its derivative dz_p/dc, from z_0 = 0 and dz_0 = 0 by
// dz' = 2 z dz + 1 and z' = z^2 + c; false if stopped.
bool orbit_end(const cpp_int& cr, const cpp_int& ci, std::uint64_t period, unsigned bits, cpp_int& zr, cpp_int& zi,
               cpp_int& dr, cpp_int& di, const Stopper& stopper)
{
    const cpp_int one = cpp_int(1) << bits;
    zr = zi = dr = di = 0;
    cpp_int t1, t2, t3;
    for (std::uint64_t j = 0; j < period; ++j) {
        if (!stopper.go_on(static_cast<std::int64_t>(j)))
            return false;
        fixed_multiply(t1, zr, dr, bits);
        fixed_multiply(t2, zi, di, bits);
        fixed_multiply(t3, zr, di, bits);
        t1 -= t2;
        fixed_multiply(t2, zi, dr, bits);
        t3 += t2;
        dr = t1;
        dr <<= 1;
        dr += one;
        di = t3;
        di <<= 1;
        square_add(zr, zi, cr, ci, bits, t1, t2, t3);
    }
    return true;
}

// Newton's method from c; the reason if it does not converge.
std::optional<std::string> newton(cpp_int& cr, cpp_int& ci, std::uint64_t period, unsigned bits, const Stopper& stopper,
                                  bool& stopped)
{
    cpp_int zr, zi, dr, di, n, d, t;
    const cpp_int small = cpp_int(1) << converged_bits;
    for (int step = 0; step < most_newton_steps; ++step) {
        if (!orbit_end(cr, ci, period, bits, zr, zi, dr, di, stopper)) {
            stopped = true;
            return "stopped";
        }
        // c -= z / dz = z conj(dz) / |dz|^2, both scaled by 2^(2 bits).
        d = dr * dr + di * di;
        if (d.is_zero())
            return "Newton's method met a zero derivative";
        n = zr * dr + zi * di;
        n <<= bits;
        const cpp_int qr = n / d;
        n = zi * dr - zr * di;
        n <<= bits;
        const cpp_int qi = n / d;
        cr -= qr;
        ci -= qi;
        if (abs(qr) < small && abs(qi) < small)
            return std::nullopt;
    }
    return "Newton's method did not converge in " + std::to_string(most_newton_steps) + " steps";
}

// The size and angle of the minibrot of this nucleus and period.
void size_and_angle(const cpp_int& cr, const cpp_int& ci, std::uint64_t period, unsigned bits, Minibrot& found)
{
    cpp_int zr = 0, zi = 0, t1, t2, t3;
    ComplexExp l = one_complexexp, b = one_complexexp;
    for (std::uint64_t j = 1; j < period; ++j) {
        square_add(zr, zi, cr, ci, bits, t1, t2, t3);
        l = l * twice(complexexp_of(fixed_to_floatexp(zr, static_cast<int>(bits)),
                                    fixed_to_floatexp(zi, static_cast<int>(bits))));
        if (l.re == 0.0 && l.im == 0.0)
            return;  // a period that is not the nucleus's own
        b = b + reciprocal(l);
    }
    const ComplexExp s = reciprocal(b * l * l);
    found.size = sqrt(norm(s));
    found.angle = std::atan2(s.im, s.re);
}

// The fraction bits for numbers of this size and 96 more.
unsigned bits_for(FloatExp size)
{
    const std::int64_t bits = 96 - static_cast<std::int64_t>(size.e);
    return static_cast<unsigned>(bits < 96 ? 96 : bits);
}

}  // namespace

std::optional<std::string> find_minibrot(const Decimal& centre_re, const Decimal& centre_im, FloatExp radius,
                                         std::uint64_t period, std::uint64_t max_period, Minibrot& found,
                                         const std::atomic<bool>* stop, bool& stopped, FindReport report, void* context)
{
    stopped = false;
    found = Minibrot{};
    if (period == 0) {
        // The orbit of the centre in lengths that double, until it has the view's period, escapes or is long enough.
        ReferenceOrbit orbit = start_reference(centre_re, centre_im, fraction_bits_for_step(radius.m, radius.e));
        Stopper watch{stop, report, context, "period", static_cast<std::int64_t>(max_period)};
        for (std::uint64_t length = 1024; period == 0; length *= 2) {
            const std::uint64_t asked = length < max_period ? length : max_period;
            if (!extend_reference(orbit, static_cast<std::int64_t>(asked), stop, orbit_report, &watch)) {
                stopped = true;
                return "stopped";
            }
            period = ball_period(orbit, radius);
            if (orbit.escaped || asked == max_period)
                break;
        }
        if (period > max_period)
            period = 0;
        if (period == 0)
            return orbit.escaped ? "the centre escapes at iteration " + std::to_string(orbit_size(orbit) - 1) +
                                       " before the view holds a period: no minibrot in this view"
                                 : "no minibrot of period up to " + std::to_string(max_period) +
                                       " in this view (--max-period goes further)";
    }
    found.period = period;
    // A minibrot the ball method finds in a view of radius r is typically
    // about r^2 across: Newton's method starts with the bits for that, and
    // goes on with more once its size is known.
    unsigned bits = bits_for(radius * radius);
    cpp_int cr = to_fixed(centre_re, static_cast<int>(bits)), ci = to_fixed(centre_im, static_cast<int>(bits));
    for (int pass = 0;; ++pass) {
        const Stopper watch{stop, report, context, "Newton's method", static_cast<std::int64_t>(period)};
        if (std::optional<std::string> reason = newton(cr, ci, period, bits, watch, stopped))
            return reason;
        size_and_angle(cr, ci, period, bits, found);
        if (!is_positive(found.size))
            return "the nucleus found has no minibrot of period " + std::to_string(period) + " (a lower period divides it)";
        const unsigned needed = bits_for(found.size);
        if (needed <= bits || pass == 1)
            break;
        cr <<= needed - bits;
        ci <<= needed - bits;
        bits = needed;
    }
    // Inside the view: within twice its radius of the centre, a margin for the view's corners.
    const FloatExp dr = fixed_to_floatexp(cr - to_fixed(centre_re, static_cast<int>(bits)), static_cast<int>(bits));
    const FloatExp di = fixed_to_floatexp(ci - to_fixed(centre_im, static_cast<int>(bits)), static_cast<int>(bits));
    const FloatExp reach = radius * to_floatexp(2.0);
    if (reach * reach < dr * dr + di * di)
        return "Newton's method led outside the view, to a nucleus of period " + std::to_string(period) +
               ": a smaller view or another --period finds one inside";
    // Digits for the minibrot's size and 20 more.
    const int digits = 20 + static_cast<int>(std::ceil(-log10_of(found.size)));
    found.nucleus_re = fixed_to_decimal(cr, static_cast<int>(bits), digits);
    found.nucleus_im = fixed_to_decimal(ci, static_cast<int>(bits), digits);
    return std::nullopt;
}

}  // namespace zqv
