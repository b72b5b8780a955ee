// The reference orbit in fixed point: a number is an integer X standing for
// X / 2^fraction_bits, each iterate rounded to doubles.
#include "fractal/deep/deep_orbit.h"

#include "fractal/deep/fixed_point.h"

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

// Z' = Z^2 + C as re' = (x + y)(x - y) + cr, im' = 2xy + ci: two products
// per iterate, each brought back to fraction_bits by a shift.
bool extend_reference(ReferenceOrbit& orbit, std::int64_t iterations, const std::atomic<bool>* stop)
{
    ExactIterate& state = *orbit.exact;
    const auto bits = static_cast<unsigned>(orbit.fraction_bits);
    orbit.z.reserve(2 * static_cast<std::size_t>(iterations + 1));
    while (!orbit.escaped && static_cast<std::int64_t>(orbit_size(orbit)) <= iterations) {
        if ((orbit_size(orbit) & 4095) == 0 && stop != nullptr && stop->load(std::memory_order_relaxed))
            return false;
        state.t1 = state.x;
        state.t1 += state.y;
        state.t2 = state.x;
        state.t2 -= state.y;
        state.t1 *= state.t2;
        shift_down(state.t1, bits);
        state.t3 = state.x;
        state.t3 *= state.y;
        shift_down(state.t3, bits - 1);
        state.x = state.t1;
        state.x += state.cr;
        state.y = state.t3;
        state.y += state.ci;
        const double re = fixed_to_double(state.x, orbit.fraction_bits);
        const double im = fixed_to_double(state.y, orbit.fraction_bits);
        orbit.z.push_back(re);
        orbit.z.push_back(im);
        orbit.escaped = re * re + im * im >= 4.0;
    }
    return true;
}

int fraction_bits_for_step(double step)
{
    const int bits = -binary_exponent(step) + 64;
    return bits < 64 ? 64 : bits;
}

}  // namespace zqv
