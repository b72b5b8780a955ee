// Decimal reading and correct rounding by integer arithmetic alone.
#include "fractal/deep/decimal.h"

#include <cstring>

#include "fractal/deep/fixed_point.h"

namespace zqv {

namespace {

cpp_int power_of_ten(std::int64_t n)
{
    return boost::multiprecision::pow(cpp_int(10), static_cast<unsigned>(n));
}

// (m + a little if sticky) * 2^e rounded to 53 bits, ties to even; m > 0.
FloatExp round_to_floatexp(cpp_int m, bool sticky, std::int64_t e)
{
    const unsigned top = boost::multiprecision::msb(m);
    if (top > 52) {
        const unsigned shift = top - 52;
        const bool half = boost::multiprecision::bit_test(m, shift - 1);
        const bool below_half = sticky || (shift > 1 && boost::multiprecision::lsb(m) < shift - 1);
        m >>= shift;
        e += shift;
        if (half && (below_half || boost::multiprecision::bit_test(m, 0))) {
            ++m;
            if (boost::multiprecision::msb(m) > 52) {
                m >>= 1;
                ++e;
            }
        }
    }
    const auto q = m.convert_to<std::uint64_t>();  // below 2^53: exact as a double
    return to_floatexp(static_cast<double>(q), e);
}

// num / den rounded to 53 bits; both positive.
FloatExp ratio_to_floatexp(cpp_int num, cpp_int den)
{
    // Scale so the quotient has 55 or 56 bits: two beyond the 53 kept, and
    // the remainder as the sticky bit.
    const std::int64_t s = 55 - (static_cast<std::int64_t>(boost::multiprecision::msb(num)) -
                                 static_cast<std::int64_t>(boost::multiprecision::msb(den)));
    if (s >= 0)
        num <<= static_cast<unsigned>(s);
    else
        den <<= static_cast<unsigned>(-s);
    cpp_int q, r;
    boost::multiprecision::divide_qr(num, den, q, r);
    return round_to_floatexp(q, r != 0, -s);
}

// The decimal's magnitude as a fraction num / den.
void decimal_fraction(const Decimal& d, cpp_int& num, cpp_int& den)
{
    num = cpp_int(d.digits);
    den = 1;
    if (d.exponent >= 0)
        num *= power_of_ten(d.exponent);
    else
        den = power_of_ten(-d.exponent);
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<Decimal> parse_decimal(const std::string& text)
{
    std::size_t i = 0;
    Decimal d;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        d.negative = text[i++] == '-';
    std::string digits;
    std::int64_t exponent = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        digits += text[i];
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i) {
            digits += text[i];
            --exponent;
        }
    }
    if (digits.empty() || digits.size() > static_cast<std::size_t>(max_decimal_digits))
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        std::int64_t written = 0;
        const std::size_t first = i;
        for (; i < text.size() && is_digit(text[i]) && i - first < 7; ++i)
            written = written * 10 + (text[i] - '0');
        if (i == first || written > max_decimal_digits)
            return std::nullopt;
        exponent += negative ? -written : written;
    }
    if (i != text.size())
        return std::nullopt;
    const std::size_t nonzero = digits.find_first_not_of('0');
    if (nonzero == std::string::npos)
        return Decimal{};
    digits.erase(0, nonzero);
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    if (exponent > max_decimal_digits || exponent < -2 * max_decimal_digits)
        return std::nullopt;
    d.digits = digits;
    d.exponent = exponent;
    return d;
}

std::string decimal_text(const Decimal& d)
{
    const auto length = static_cast<std::int64_t>(d.digits.size());
    const std::int64_t leading = length + d.exponent;  // digits before the point
    std::string text = d.negative ? "-" : "";
    if (d.exponent >= 0 && leading <= 21) {
        text += d.digits + std::string(static_cast<std::size_t>(d.exponent), '0');
    } else if (d.exponent < 0 && leading > 0) {
        text += d.digits.substr(0, static_cast<std::size_t>(leading));
        text += '.';
        text += d.digits.substr(static_cast<std::size_t>(leading));
    } else if (d.exponent < 0 && leading > -6) {
        text += "0." + std::string(static_cast<std::size_t>(-leading), '0') + d.digits;
    } else {
        text += d.digits.substr(0, 1);
        if (length > 1) {
            text += '.';
            text += d.digits.substr(1);
        }
        text += 'e';
        text += std::to_string(leading - 1);
    }
    return text;
}

FloatExp decimal_to_floatexp(const Decimal& d)
{
    return decimal_quotient_to_floatexp(d, 1);
}

FloatExp decimal_quotient_to_floatexp(const Decimal& d, std::uint32_t divisor)
{
    if (d.digits == "0")
        return zero_floatexp;
    cpp_int num, den;
    decimal_fraction(d, num, den);
    den *= divisor;
    const FloatExp magnitude = ratio_to_floatexp(num, den);
    return d.negative ? FloatExp{-magnitude.m, magnitude.e} : magnitude;
}

double decimal_to_double(const Decimal& d)
{
    return to_double(decimal_to_floatexp(d));
}

double decimal_quotient_to_double(const Decimal& d, std::uint32_t divisor)
{
    return to_double(decimal_quotient_to_floatexp(d, divisor));
}

int binary_exponent(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int biased = static_cast<int>(bits >> 52 & 0x7ff);
    if (biased != 0)
        return biased - 1023;
    int e = -1023;  // subnormal: below 2^-1022, one less per leading zero of the fraction
    for (std::uint64_t top = std::uint64_t{1} << 51; top != 0 && (bits & top) == 0; top >>= 1)
        --e;
    return e;
}

cpp_int to_fixed(const Decimal& d, int bits)
{
    cpp_int num, den;
    decimal_fraction(d, num, den);
    num <<= static_cast<unsigned>(bits + 1);
    num += den;
    den <<= 1;
    num /= den;
    return d.negative ? cpp_int(-num) : num;
}

void shift_down(cpp_int& v, unsigned s)
{
    if (v.sign() < 0) {
        v = -v;
        v >>= s;
        v = -v;
    } else {
        v >>= s;
    }
}

FloatExp fixed_to_floatexp(const cpp_int& v, int bits)
{
    if (v.is_zero())
        return zero_floatexp;
    const FloatExp magnitude = round_to_floatexp(v.sign() < 0 ? cpp_int(-v) : v, false, -bits);
    return v.sign() < 0 ? FloatExp{-magnitude.m, magnitude.e} : magnitude;
}

Decimal fixed_to_decimal(const cpp_int& v, int bits, int digits)
{
    cpp_int m = v.sign() < 0 ? cpp_int(-v) : v;
    m *= power_of_ten(digits);
    m <<= 1;
    m >>= static_cast<unsigned>(bits);
    m += 1;
    m >>= 1;
    Decimal d;
    d.negative = v.sign() < 0 && !m.is_zero();
    d.digits = m.str();
    d.exponent = -digits;
    while (d.digits.size() > 1 && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    if (d.digits == "0")
        d.exponent = 0;
    return d;
}

double fixed_to_double(const cpp_int& v, int bits)
{
    return to_double(fixed_to_floatexp(v, bits));
}

}  // namespace zqv
