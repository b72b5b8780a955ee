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

// The shares of the points at the cap and escaped above half of it.
void cap_shares(const GridValues& values, std::uint32_t cap, double& at_cap, double& near_cap)
{
    std::uint64_t inside = 0, near = 0;
    for (const std::uint32_t count : values.counts) {
        inside += count == grid_inside;
        near += count != grid_inside && count > cap / 2;
    }
    const auto points = static_cast<double>(values.counts.size());
    at_cap = static_cast<double>(inside) / points;
    near_cap = static_cast<double>(near) / points;
}

}  // namespace

void note_key_cap(DeepAutoCap& deep_cap, std::uint32_t cap, const GridValues& values)
{
    double at_cap = 0.0, near_cap = 0.0;
    cap_shares(values, cap, at_cap, near_cap);
    deep_cap.last_share = at_cap;
    deep_cap.highest = std::max(deep_cap.highest, cap);
    deep_cap.cap = near_cap > 0.01 && cap < auto_cap_ceiling ? std::min(2 * cap, auto_cap_ceiling) : cap;
}

bool raise_key_cap(const DeepAutoCap& deep_cap, const GridValues& values, std::uint32_t& cap, double& capped_before)
{
    if (cap >= auto_cap_ceiling)
        return false;
    double at_cap = 0.0, near_cap = 0.0;
    cap_shares(values, cap, at_cap, near_cap);
    // A quarter of the points at the cap escaped at twice it, or nothing escaped yet: not inside.
    const bool not_yet = at_cap > 0.99 && deep_cap.last_share < 0.01;
    if (!(at_cap > deep_cap.last_share + 0.01 && (not_yet || at_cap <= 0.75 * capped_before)))
        return false;
    capped_before = at_cap;
    cap = std::min(2 * cap, auto_cap_ceiling);
    return true;
}

}  // namespace zqv
