// Exact locations and the reference orbit of a deep zoom: decimal numbers of
// any length read exactly, rounded to doubles correctly, and the orbit of the
// zoom's centre iterated in fixed-point integer arithmetic (Boost.Multiprecision
// cpp_int), so every build computes the same bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqv {

// A decimal number as written: sign, digits and power of ten, kept exactly.
struct Decimal {
    bool negative = false;
    std::string digits = "0";  // without leading zeros; "0" for zero
    std::int64_t exponent = 0; // the value is digits * 10^exponent
};

// Reads [+-]digits[.digits][(e|E)[+-]digits]; nothing if the text is not one
// or its exponent is beyond +-100000.
std::optional<Decimal> parse_decimal(const std::string& text);
// The shortest plain text that reads back as the same value ("-0.00123", "1.5e-120").
std::string decimal_text(const Decimal& d);
// The double nearest d (ties to even); 0 below the normal range, infinity above.
double decimal_to_double(const Decimal& d);
// The double nearest d / divisor, for a positive whole divisor.
double decimal_quotient_to_double(const Decimal& d, std::uint32_t divisor);
// The binary exponent e of a finite nonzero double, 2^e <= |x| < 2^(e+1).
int binary_exponent(double x);
// x * 2^e, exactly while the result stays in the normal range.
double scale_by_power_of_two(double x, int e);

// The reference orbit Z_0 = 0, Z_{m+1} = Z_m^2 + C of the zoom's centre C,
// each iterate rounded to doubles. It stops at the first iterate with
// |Z|^2 >= 4 (kept) or at the length asked for.
struct ReferenceOrbit {
    std::vector<double> re, im;  // Z_0 .. Z_last
    bool escaped = false;        // the last iterate left the radius-2 disc
    int fraction_bits = 0;       // of the fixed-point numbers
};

// Starts the orbit of centre (re, im) with fraction_bits bits after the
// binary point: enough for the smallest pixel step and a margin.
void start_reference(const Decimal& re, const Decimal& im, int fraction_bits);
// Extends the orbit to at least `iterations` iterates after Z_0 (unless it
// has escaped); stop() is asked every few thousand iterations and ends the
// work early when it says so. False if stopped.
bool extend_reference(std::int64_t iterations, bool (*stop)());
const ReferenceOrbit& reference_orbit();

// The fraction bits the reference needs for pixel steps down to `step`: the
// bits of the step and 64 more, so rounding the orbit's iterates is far below
// a pixel.
int fraction_bits_for_step(double step);

}  // namespace zqv
