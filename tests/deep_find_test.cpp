// Finding minibrots against independent computations: the period-3 one on
// the real axis, whose nucleus is known, and one past double precision
// (period 337, near -2, about 5e-403 across) whose nucleus and size Newton's
// method in 3000-bit floating point (Boost's cpp_bin_float) gives.
#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_bin_float.hpp>

#include <string>

#include "fractal/deep/deep_find.h"

using namespace zqv;

namespace {

using Big = boost::multiprecision::number<
    boost::multiprecision::backends::cpp_bin_float<3000, boost::multiprecision::backends::digit_base_2>,
    boost::multiprecision::et_off>;

// Newton's method for the real nucleus of this period from c, and the size
// estimate |1 / (b l^2)| of its minibrot, in Big on the real axis.
void big_real_nucleus(Big& c, int period, Big& size)
{
    for (int step = 0; step < 40; ++step) {
        Big z = 0, dz = 0;
        for (int j = 0; j < period; ++j) {
            dz = 2 * z * dz + 1;
            z = z * z + c;
        }
        c -= z / dz;
    }
    Big z = 0, l = 1, b = 1;
    for (int j = 1; j < period; ++j) {
        z = z * z + c;
        l *= 2 * z;
        b += 1 / l;
    }
    size = abs(1 / (b * l * l));
}

Big big_of(const Decimal& d)
{
    return Big(decimal_text(d));
}

TEST(DeepFind, FindsThePeriodNucleusAndSizeOfKnownMinibrots)
{
    Minibrot found;
    bool stopped = false;
    ASSERT_FALSE(find_minibrot(*parse_decimal("-1.75"), *parse_decimal("0"), to_floatexp(0.05), 0, 1000, found, nullptr,
                               stopped));
    EXPECT_EQ(found.period, 3u);
    EXPECT_EQ(decimal_text(found.nucleus_re).substr(0, 22), "-1.7548776662466927600");
    EXPECT_EQ(decimal_text(found.nucleus_im), "0");
    EXPECT_GT(to_double(found.size), 0.019 / 2);
    EXPECT_LT(to_double(found.size), 0.019 * 2);

    // From a view of radius 1e-201 at -2 + 1e-200 (200 nines after the point).
    const std::string centre = "-1." + std::string(200, '9');
    ASSERT_FALSE(find_minibrot(*parse_decimal(centre), *parse_decimal("0"), decimal_to_floatexp(*parse_decimal("1e-201")),
                               0, 100000, found, nullptr, stopped));
    EXPECT_EQ(found.period, 337u);
    Big c(centre), size;
    big_real_nucleus(c, 337, size);
    EXPECT_LT(abs(big_of(found.nucleus_re) - c), size * Big("1e-15"));
    EXPECT_EQ(decimal_text(found.nucleus_im), "0");
    const Big found_size = Big(found.size.m) * boost::multiprecision::pow(Big(2), found.size.e);
    EXPECT_GT(found_size, size / 2);
    EXPECT_LT(found_size, size * 2);
}

}  // namespace
