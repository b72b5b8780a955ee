// Exact decimals: numbers of any length as written, read exactly and
// rounded to doubles correctly, by integer arithmetic alone, so every build
// gives the same bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fractal/deep/floatexp.h"

namespace zqv {

// A decimal number as written: sign, digits and power of ten, kept exactly.
struct Decimal {
    bool negative = false;
    std::string digits = "0";  // without leading zeros; "0" for zero
    std::int64_t exponent = 0; // the value is digits * 10^exponent
};

// The most digits a decimal may have, and the largest exponent it may be written with.
constexpr std::int64_t max_decimal_digits = 100000;

// Reads [+-]digits[.digits][(e|E)[+-]digits]; nothing if the text is not one,
// or has more digits or a larger exponent than max_decimal_digits.
std::optional<Decimal> parse_decimal(const std::string& text);
// The shortest plain text that reads back as the same value ("-0.00123", "1.5e-120").
std::string decimal_text(const Decimal& d);
// The double nearest d (ties to even); 0 below the normal range, infinity above.
double decimal_to_double(const Decimal& d);
// The double nearest d / divisor, for a positive whole divisor.
double decimal_quotient_to_double(const Decimal& d, std::uint32_t divisor);
// d and d / divisor rounded to 53 bits at any exponent.
FloatExp decimal_to_floatexp(const Decimal& d);
FloatExp decimal_quotient_to_floatexp(const Decimal& d, std::uint32_t divisor);
// The binary exponent e of a finite nonzero double, 2^e <= |x| < 2^(e+1).
int binary_exponent(double x);

}  // namespace zqv
