// Extended-exponent numbers for what leaves a double's exponent range past
// widths of 1e-300: a double mantissa and a 32-bit exponent, normalised after
// every operation. Each operation is double operations on the mantissas and
// exact scalings by powers of two, so it rounds as the double operation on
// the same values would, and every build gives the same bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zqv {

// m * 2^e with 1 <= |m| < 2, or zero: m = 0 and e = zero_exponent, far below
// any exponent a nonzero number reaches, so that sums drop it.
struct FloatExp {
    double m;
    std::int32_t e;
};

// (re + i im) * 2^e with the larger of |re| and |im| in [1, 2), or zero: one
// exponent for both parts, as their precision is relative to the modulus.
struct ComplexExp {
    double re, im;
    std::int32_t e;
};

constexpr std::int32_t zero_exponent = -(1 << 28);
constexpr FloatExp zero_floatexp{0.0, zero_exponent};
constexpr ComplexExp zero_complexexp{0.0, 0.0, zero_exponent};
constexpr ComplexExp one_complexexp{1.0, 0.0, 0};

// The unbiased exponent field of x: floor(log2 |x|) for normal x, -1023 for
// zero and subnormals.
inline int exponent_field(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<int>(bits >> 52 & 0x7ff) - 1023;
}

// 2^k for -1022 <= k <= 1023, built from its bits.
inline double two_to(int k)
{
    const std::uint64_t bits = static_cast<std::uint64_t>(k + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// x * 2^e, exactly while the result is a normal double; 0 below the normal
// range (rather than a subnormal) and infinity above it.
inline double scaled_double(double x, std::int64_t e)
{
    if (x == 0.0)
        return 0.0;
    int field = exponent_field(x);
    if (field == -1023) {  // a subnormal x: make it normal first (2^64 is exact)
        x *= two_to(64);
        e -= 64;
        field = exponent_field(x);
    }
    const std::int64_t top = e + field;
    if (top < -1022)
        return 0.0;
    if (top > 1023)
        return x < 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    // Two scalings, each within the exponent range, the product exact as it is normal.
    const int first = static_cast<int>(e / 2), second = static_cast<int>(e - e / 2);
    return x * two_to(first) * two_to(second);
}

inline FloatExp to_floatexp(double m, std::int64_t e = 0)
{
    if (m == 0.0)
        return zero_floatexp;
    int field = exponent_field(m);
    if (field == -1023) {
        m *= two_to(64);
        e -= 64;
        field = exponent_field(m);
    }
    return {m * two_to(-field), static_cast<std::int32_t>(e + field)};
}

inline ComplexExp to_complexexp(double re, double im, std::int64_t e = 0)
{
    const double larger = (re < 0.0 ? -re : re) > (im < 0.0 ? -im : im) ? re : im;
    if (larger == 0.0)
        return zero_complexexp;
    int field = exponent_field(larger);
    if (field == -1023) {
        re *= two_to(64);
        im *= two_to(64);
        e -= 64;
        field = exponent_field(larger * two_to(64));
    }
    const double s = two_to(-field);
    return {re * s, im * s, static_cast<std::int32_t>(e + field)};
}

// re + i im from its two parts.
inline ComplexExp complexexp_of(FloatExp re, FloatExp im)
{
    const std::int32_t e = re.e > im.e ? re.e : im.e;
    const auto part = [e](FloatExp x) { return e - x.e > 1000 ? 0.0 : x.m * two_to(x.e - e); };
    return to_complexexp(part(re), part(im), e);
}

// log10 |x| of a nonzero x, for display and for choosing digits.
inline double log10_of(FloatExp x)
{
    return std::log10(x.m < 0.0 ? -x.m : x.m) + x.e * 0.30102999566398120;  // log10(2)
}

inline double to_double(FloatExp x)
{
    return scaled_double(x.m, x.e);
}

inline FloatExp operator*(FloatExp a, FloatExp b)
{
    return to_floatexp(a.m * b.m, static_cast<std::int64_t>(a.e) + b.e);
}

inline FloatExp operator/(FloatExp a, FloatExp b)
{
    return to_floatexp(a.m / b.m, static_cast<std::int64_t>(a.e) - b.e);
}

// a + b: the smaller aligned to the larger's exponent by an exact scaling;
// one more than 64 binary places below cannot change the rounded sum.
inline FloatExp operator+(FloatExp a, FloatExp b)
{
    if (a.e < b.e) {
        const FloatExp t = a;
        a = b;
        b = t;
    }
    const std::int64_t d = static_cast<std::int64_t>(a.e) - b.e;
    if (d > 64)
        return a;
    return to_floatexp(a.m + b.m * two_to(static_cast<int>(-d)), a.e);
}

inline FloatExp operator-(FloatExp a, FloatExp b)
{
    return a + FloatExp{-b.m, b.e};
}

// Comparisons of numbers that are not negative (moduli, radii).
inline bool operator<(FloatExp a, FloatExp b)
{
    if (a.m == 0.0 || b.m == 0.0)
        return a.m == 0.0 && b.m != 0.0;
    return a.e != b.e ? a.e < b.e : a.m < b.m;
}

inline bool is_positive(FloatExp a)
{
    return a.m > 0.0;
}

// The square root of a number that is not negative, rounded as a double's:
// the exponent made even first.
inline FloatExp sqrt(FloatExp a)
{
    if (a.m == 0.0)
        return a;
    const std::int32_t odd = a.e & 1;  // e - odd is even for either sign of e
    return to_floatexp(std::sqrt(odd != 0 ? 2.0 * a.m : a.m), (a.e - odd) / 2);
}

inline ComplexExp operator*(const ComplexExp& a, const ComplexExp& b)
{
    return to_complexexp(a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re, static_cast<std::int64_t>(a.e) + b.e);
}

inline ComplexExp operator+(const ComplexExp& a, const ComplexExp& b)
{
    const ComplexExp& big = a.e < b.e ? b : a;
    const ComplexExp& small = a.e < b.e ? a : b;
    const std::int64_t d = static_cast<std::int64_t>(big.e) - small.e;
    if (d > 64)
        return big;
    const double s = two_to(static_cast<int>(-d));
    return to_complexexp(big.re + small.re * s, big.im + small.im * s, big.e);
}

inline ComplexExp operator-(const ComplexExp& a, const ComplexExp& b)
{
    return a + ComplexExp{-b.re, -b.im, b.e};
}

// 2a, exactly.
inline ComplexExp twice(ComplexExp a)
{
    if (a.re != 0.0 || a.im != 0.0)
        ++a.e;
    return a;
}

// 1 / a, for a not 0.
inline ComplexExp reciprocal(const ComplexExp& a)
{
    const double n = a.re * a.re + a.im * a.im;
    return to_complexexp(a.re / n, -a.im / n, -static_cast<std::int64_t>(a.e));
}

// |a|^2.
inline FloatExp norm(const ComplexExp& a)
{
    return to_floatexp(a.re * a.re + a.im * a.im, 2 * static_cast<std::int64_t>(a.e));
}

// A complex number times a real one.
inline ComplexExp scale(const ComplexExp& a, FloatExp b)
{
    return to_complexexp(a.re * b.m, a.im * b.m, static_cast<std::int64_t>(a.e) + b.e);
}

}  // namespace zqv
