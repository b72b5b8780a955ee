// The grids of any size: every level's lanes and the points shared with a
// parent grid against the scalar definition, and the portable log2 and exp2
// the smooth fractions rest on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "fractal/grid/grid.h"
#include "fractal/lanes/portable_math.h"
#include "fractal/lanes/simd_level.h"

using namespace zqv;

namespace {

// Every point of a grid by the vector lanes of each level, with and without
// its parent, against grid_point; near the boundary, so counts and caps vary.
TEST(Grid, EveryLevelAndTheSharedPointsEqualTheScalarDefinition)
{
    const GridLayout parent{-0.7436438870371, 0.1318259042053, 1.0 / 256, 96, 72, 300};
    GridLayout child = parent;
    child.step = parent.step / 2;
    child.cap = 400;  // more than the parent's: its points inside are computed again
    for (const SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2, SimdLevel::avx512}) {
        use_simd_level(level);
        GridValues outer, inner;
        ASSERT_TRUE(compute_grid(parent, outer, nullptr));
        EXPECT_LT(compute_grid(child, inner, nullptr, &parent, &outer).value(), 96u * 72u);  // some were shared
        int inside = 0;
        using Grid = std::pair<const GridLayout*, const GridValues*>;
        for (const auto& [layout, values] : {Grid{&parent, &outer}, Grid{&child, &inner}}) {
            for (int row = 0; row < layout->height; ++row) {
                for (int column = 0; column < layout->width; ++column) {
                    const GridPoint p = grid_point(grid_re(*layout, column), grid_im(*layout, row), layout->cap);
                    const std::size_t i = static_cast<std::size_t>(row) * layout->width + column;
                    ASSERT_EQ(values->counts[i], p.count) << row << " " << column;
                    ASSERT_EQ(values->fractions[i], p.count == grid_inside ? 0 : smooth_fraction(p.magnitude2));
                    inside += p.count == grid_inside;
                }
            }
        }
        EXPECT_GT(inside, 100);
    }
    use_simd_level(best_simd_level());
}

// zqvtool's own log2 and exp2, on which the smooth colours and the pace
// rest, agree with the C library's to a few units in the last place.
TEST(Grid, PortableLog2AndExp2AgreeWithTheLibrary)
{
    for (double x = 1e-300; x < 1e300; x *= 1.37) {
        EXPECT_NEAR(portable_log2(x), std::log2(x), 4e-16 * std::max(1.0, std::abs(std::log2(x)))) << x;
        const double y = std::log2(x) / 8.0;  // −125 to 125
        EXPECT_NEAR(portable_exp2(y), std::exp2(y), 4e-16 * std::exp2(y)) << y;
    }
    EXPECT_EQ(portable_log2(1.0), 0.0);
    EXPECT_EQ(portable_exp2(-3.0), 0.125);
    // The smooth count runs from n + 1 at |z| = R down to n at |z| = R².
    EXPECT_EQ(smooth_fraction(grid_escape_radius2), 65535);
    EXPECT_EQ(smooth_fraction(grid_escape_radius2 * grid_escape_radius2), 0);
}

}  // namespace
