// The reference orbit in fixed point: a number is an integer X standing for
// X / 2^fraction_bits, each iterate rounded to doubles.
#include "fractal/deep/deep_orbit.h"

#include <algorithm>
#include <atomic>

#include "fractal/deep/fixed_point.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

struct ExactIterate {
    cpp_int cr, ci;  // the centre
    cpp_int x, y;    // the last iterate
    cpp_int t1, t2, t3;
};

void ExactIterateDeleter::operator()(ExactIterate* exact) const
{
    delete exact;
}

ReferenceOrbit start_reference(const Decimal& re, const Decimal& im, int fraction_bits)
{
    ReferenceOrbit orbit;
    orbit.exact.reset(new ExactIterate{to_fixed(re, fraction_bits), to_fixed(im, fraction_bits), 0, 0, 0, 0, 0});
    orbit.fraction_bits = fraction_bits;
    orbit.z = {0.0, 0.0};
    return orbit;
}

namespace {

// Whether the last iterate's exact |Z|^2 is at least 4.
bool exact_magnitude2_at_least_4(ExactIterate& state, unsigned bits)
{
    state.t1 = state.x;
    state.t1 *= state.x;
    state.t2 = state.y;
    state.t2 *= state.y;
    state.t1 += state.t2;
    state.t2 = 4;
    state.t2 <<= 2 * bits;
    return state.t1 >= state.t2;
}

// The two products of an iterate, (x + y)(x - y) into t1 and xy into t3,
// each brought back to fraction_bits by a shift; taken by whichever thread
// comes first.
struct IterateProducts {
    ExactIterate* state;
    unsigned bits;
    std::atomic<int> next{0};
};

void product_task(void* argument)
{
    IterateProducts& job = *static_cast<IterateProducts*>(argument);
    ExactIterate& state = *job.state;
    for (int i; (i = job.next.fetch_add(1)) < 2;) {
        if (i == 0) {
            state.t1 *= state.t2;
            shift_down(state.t1, job.bits);
        } else {
            state.t3 *= state.y;
            shift_down(state.t3, job.bits - 1);
        }
    }
}

// From this many bits on the two products of an iterate take two cores. On
// a 2-core AMD EPYC an iterate took 530 us at 35,000 bits on one core and
// 280-380 on two; the pool's hand-over, a few microseconds, is about the
// time of the products near 6000 bits.
constexpr int bits_for_two_cores = 6144;

}  // namespace

// Z' = Z^2 + C as re' = (x + y)(x - y) + cr, im' = 2xy + ci: two products
// per iterate, each brought back to fraction_bits by a shift.
bool extend_reference(ReferenceOrbit& orbit, std::int64_t iterations, const std::atomic<bool>* stop,
                      ReferenceReport report, void* context)
{
    ExactIterate& state = *orbit.exact;
    const auto bits = static_cast<unsigned>(orbit.fraction_bits);
    orbit.z.reserve(2 * static_cast<std::size_t>(iterations + 1));
    while (!orbit.escaped && static_cast<std::int64_t>(orbit_size(orbit)) <= iterations) {
        const std::size_t done = orbit_size(orbit);
        if ((done & 63) == 0 && stop != nullptr && stop->load(std::memory_order_relaxed))
            return false;
        if ((done & 1023) == 0 && report != nullptr)
            report(static_cast<std::int64_t>(done), iterations, context);
        state.t1 = state.x;
        state.t1 += state.y;
        state.t2 = state.x;
        state.t2 -= state.y;
        state.t3 = state.x;
        IterateProducts products{&state, bits};
        if (orbit.fraction_bits >= bits_for_two_cores)
            run_on_every_core(product_task, &products);
        else
            product_task(&products);
        state.x = state.t1;
        state.x += state.cr;
        state.y = state.t3;
        state.y += state.ci;
        const double re = fixed_to_double(state.x, orbit.fraction_bits);
        const double im = fixed_to_double(state.y, orbit.fraction_bits);
        if (re == 0.0 && im == 0.0 && !(state.x.is_zero() && state.y.is_zero()))
            orbit.tiny.push_back({orbit_size(orbit), complexexp_of(fixed_to_floatexp(state.x, orbit.fraction_bits),
                                                                   fixed_to_floatexp(state.y, orbit.fraction_bits))});
        orbit.z.push_back(re);
        orbit.z.push_back(im);
        // Rounded to doubles, an iterate just inside the radius-2 circle (near
        // the tip at -2) may square to 4: the exact iterate decides within
        // 1e-9 of it, far above the few ulps (2^-50) the rounding moves |Z|^2.
        const double r2 = re * re + im * im;
        orbit.escaped = r2 >= 4.0 && (r2 > 4.0 + 1e-9 || exact_magnitude2_at_least_4(state, bits));
    }
    if (report != nullptr)
        report(iterations, iterations, context);
    return true;
}

ComplexExp reference_at(const ReferenceOrbit& orbit, std::uint64_t m)
{
    const double re = orbit.z[2 * m], im = orbit.z[2 * m + 1];
    if (re != 0.0 || im != 0.0)
        return to_complexexp(re, im);
    const auto tiny = std::lower_bound(orbit.tiny.begin(), orbit.tiny.end(), m,
                                       [](const TinyIterate& t, std::uint64_t at) { return t.m < at; });
    return tiny != orbit.tiny.end() && tiny->m == m ? tiny->z : zero_complexexp;
}

std::uint64_t ball_period(const ReferenceOrbit& orbit, FloatExp radius)
{
    const FloatExp radius2 = radius * radius;
    ComplexExp derivative = zero_complexexp;  // dZ_m/dc, from dZ_0 = 0 by dZ_{m+1} = 2 Z_m dZ_m + 1
    for (std::size_t m = 0; m + 1 < orbit_size(orbit); ++m) {
        derivative = twice(reference_at(orbit, m)) * derivative + one_complexexp;
        if (norm(reference_at(orbit, m + 1)) < radius2 * norm(derivative))
            return m + 1;
    }
    return 0;
}

int fraction_bits_for_step(double step, int step_exponent)
{
    const int bits = -(binary_exponent(step) + step_exponent) + 64;
    return bits < 64 ? 64 : bits;
}

}  // namespace zqv
