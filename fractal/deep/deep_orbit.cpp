// The reference orbit in fixed point: a number is an integer X standing for
// X / 2^fraction_bits, each iterate rounded to doubles.
#include "fractal/deep/deep_orbit.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

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

namespace {

constexpr char orbit_magic[8] = {'Z', 'Q', 'V', 'O', 'R', 'B', 'T', '1'};

void put_bits(std::vector<std::uint8_t>& bytes, std::uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}

void put_double(std::vector<std::uint8_t>& bytes, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    put_bits(bytes, bits, 8);
}

void put_fixed(std::vector<std::uint8_t>& bytes, const cpp_int& value)
{
    std::vector<std::uint8_t> magnitude;
    export_bits(cpp_int(abs(value)), std::back_inserter(magnitude), 8, false);
    bytes.push_back(value.sign() < 0);
    put_bits(bytes, magnitude.size(), 8);
    bytes.insert(bytes.end(), magnitude.begin(), magnitude.end());
}

// Reads the bytes in order; every read past the end gives 0 and sets short_read.
struct ByteReader {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t at = 0;
    bool short_read = false;

    bool has(std::uint64_t count)
    {
        short_read = short_read || count > size - at;
        return !short_read;
    }
    std::uint64_t bits(int count)
    {
        std::uint64_t value = 0;
        if (has(count))
            for (int i = 0; i < count; ++i)
                value |= static_cast<std::uint64_t>(bytes[at++]) << 8 * i;
        return value;
    }
    double real()
    {
        const std::uint64_t b = bits(8);
        double value;
        std::memcpy(&value, &b, 8);
        return value;
    }
    cpp_int fixed()
    {
        const bool negative = bits(1) != 0;
        const std::uint64_t length = bits(8);
        cpp_int value;
        if (!has(length))
            return value;
        import_bits(value, bytes + at, bytes + at + length, 8, false);
        at += length;
        return negative ? cpp_int(-value) : value;
    }
};

}  // namespace

std::vector<std::uint8_t> reference_bytes(const ReferenceOrbit& orbit)
{
    std::vector<std::uint8_t> bytes(orbit_magic, orbit_magic + 8);
    put_bits(bytes, static_cast<std::uint32_t>(orbit.fraction_bits), 4);
    put_bits(bytes, orbit.escaped, 1);
    put_bits(bytes, orbit_size(orbit), 8);
    put_bits(bytes, orbit.tiny.size(), 8);
    for (const cpp_int* value : {&orbit.exact->cr, &orbit.exact->ci, &orbit.exact->x, &orbit.exact->y})
        put_fixed(bytes, *value);
    bytes.reserve(bytes.size() + 8 * orbit.z.size() + 28 * orbit.tiny.size());
    for (const double part : orbit.z)
        put_double(bytes, part);
    for (const TinyIterate& tiny : orbit.tiny) {
        put_bits(bytes, tiny.m, 8);
        put_double(bytes, tiny.z.re);
        put_double(bytes, tiny.z.im);
        put_bits(bytes, static_cast<std::uint32_t>(tiny.z.e), 4);
    }
    return bytes;
}

bool adopt_reference_bytes(ReferenceOrbit& orbit, const std::uint8_t* bytes, std::size_t size,
                           std::int64_t iterations)
{
    ByteReader read{bytes, size};
    if (!read.has(8) || std::memcmp(bytes, orbit_magic, 8) != 0)
        return false;
    read.at = 8;
    const auto fraction_bits = static_cast<std::int32_t>(read.bits(4));
    const bool escaped = read.bits(1) != 0;
    const std::uint64_t iterates = read.bits(8), tiny_count = read.bits(8);
    const cpp_int cr = read.fixed(), ci = read.fixed(), x = read.fixed(), y = read.fixed();
    // 16 bytes an iterate, 28 a tiny one: checked before anything is allocated.
    if (read.short_read || fraction_bits != orbit.fraction_bits || cr != orbit.exact->cr || ci != orbit.exact->ci ||
        iterates < orbit_size(orbit) || iterates > static_cast<std::uint64_t>(iterations) + 1 ||
        iterates > (size - read.at) / 16 || tiny_count > (size - read.at - 16 * iterates) / 28)
        return false;
    std::vector<double> z(2 * iterates);
    for (double& part : z)
        part = read.real();
    std::vector<TinyIterate> tiny(tiny_count);
    for (TinyIterate& t : tiny) {
        t.m = read.bits(8);
        t.z.re = read.real();
        t.z.im = read.real();
        t.z.e = static_cast<std::int32_t>(read.bits(4));
    }
    if (read.short_read || read.at != size)
        return false;
    orbit.z = std::move(z);
    orbit.tiny = std::move(tiny);
    orbit.escaped = escaped;
    orbit.exact->x = x;
    orbit.exact->y = y;
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
