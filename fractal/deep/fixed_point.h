// Fixed-point numbers for the reference orbit: an integer X (Boost.Multiprecision
// cpp_int) stands for X / 2^bits. Integer results do not depend on the limb
// size or the compiler, so the 32-bit and the 64-bit build agree.
#pragma once

#include <boost/multiprecision/cpp_int.hpp>

#include "fractal/deep/decimal.h"

namespace zqv {

using boost::multiprecision::cpp_int;

// round(d * 2^bits), halves away from zero.
cpp_int to_fixed(const Decimal& d, int bits);
// v / 2^s, rounded toward zero whatever the sign.
void shift_down(cpp_int& v, unsigned s);
// The double nearest v / 2^bits (ties to even); 0 below the normal range.
double fixed_to_double(const cpp_int& v, int bits);
// v / 2^bits rounded to 53 bits at any exponent.
FloatExp fixed_to_floatexp(const cpp_int& v, int bits);
// v / 2^bits rounded to `digits` places after the point, halves away from zero.
Decimal fixed_to_decimal(const cpp_int& v, int bits, int digits);

}  // namespace zqv
