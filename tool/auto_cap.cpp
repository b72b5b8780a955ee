// The automatic caps' rules.
#include "tool/auto_cap.h"

#include <algorithm>

#include "app/program.h"
#include "fractal/grid/grid_point.h"

namespace zqv {

std::uint32_t auto_cap(int halvings)
{
    return program_iteration_cap + 256u * static_cast<std::uint32_t>(halvings);
}

namespace {

// The shares of a key frame's points at the cap (those in the main
// cardioid and the period-2 bulb aside: they are inside the set at every
// cap), and of those escaped above half and above a quarter of it.
struct CapShares {
    double capped = 0.0, above_half = 0.0, above_quarter = 0.0;
};

CapShares cap_shares(const GridLayout& layout, const GridValues& values)
{
    std::uint64_t capped = 0, above_half = 0, above_quarter = 0;
    for (int row = 0; row < layout.height; ++row) {
        const std::uint32_t* counts = values.counts.data() + static_cast<std::size_t>(row) * layout.width;
        for (int column = 0; column < layout.width; ++column) {
            const std::uint32_t count = counts[column];
            if (count == grid_inside) {
                capped += !in_main_bulbs(grid_re(layout, column), grid_im(layout, row));
            } else {
                above_half += count > layout.cap / 2;
                above_quarter += count > layout.cap / 4;
            }
        }
    }
    const auto points = static_cast<double>(values.counts.size());
    return {capped / points, above_half / points, above_quarter / points};
}

}  // namespace

void note_key_cap(DeepAutoCap& deep_cap, const GridLayout& layout, const GridValues& values)
{
    const std::uint32_t cap = layout.cap;
    const CapShares shares = cap_shares(layout, values);
    deep_cap.last_share = shares.capped;
    deep_cap.highest = std::max(deep_cap.highest, cap);
    if (shares.above_half > 0.01)
        deep_cap.cap = std::min(2 * cap, auto_cap_ceiling);
    else if (shares.above_quarter < 0.01 && shares.capped < 0.01)
        deep_cap.cap = std::max(cap / 2, auto_cap_start);
    else
        deep_cap.cap = cap;
}

bool raise_key_cap(const DeepAutoCap& deep_cap, const GridLayout& layout, const GridValues& values,
                   std::uint32_t& cap, double& capped_before)
{
    if (layout.cap >= auto_cap_ceiling)
        return false;
    const CapShares shares = cap_shares(layout, values);
    const double at_cap = shares.capped, rise = at_cap - deep_cap.last_share;
    // Nothing escaped yet: the zoom starts deeper than the counts reach.
    const bool not_yet = at_cap > 0.99 && deep_cap.last_share < 0.01;
    // At the first computation, the points newly at the cap are taken to be
    // inside unless the counts reach toward the cap (the escaped points
    // above half of it are at least a quarter as many as the rise) or half
    // the picture went to the cap at once. After a doubling, a quarter of
    // the points at the cap escaped at twice it: they were not inside.
    const bool first = capped_before > 1.0;
    const bool not_inside = first ? shares.above_half >= 0.25 * rise || rise > 0.5 : at_cap <= 0.75 * capped_before;
    if (!(rise > 0.01 && (not_yet || not_inside)))
        return false;
    capped_before = at_cap;
    cap = std::min(2 * layout.cap, auto_cap_ceiling);
    return true;
}

}  // namespace zqv
