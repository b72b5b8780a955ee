// Hands the points of a pass to the threads' feeds, a few items at a time.
#include "fractal/escape_lanes.h"

#include "fractal/frame.h"

namespace {

// Items taken at once: one coarse row is 128 points, four blocks are 100.
constexpr int rows_per_grab = 1;
constexpr int blocks_per_grab = 4;

void push_point(const EscapePass& pass, PointFeed& feed, int r, int c)
{
    feed.cr[feed.end] = pass.cr_of_column[c];
    feed.ci[feed.end] = pass.ci_of_row[r];
    feed.offset[feed.end] = static_cast<std::uint32_t>(r * frame_width + c);
    ++feed.end;
}

}  // namespace

void top_up_feed(EscapePass& pass, PointFeed& feed)
{
    feed.begin = feed.end = 0;

    const int grab = pass.blocks ? blocks_per_grab : rows_per_grab;
    const int first = pass.next_item.fetch_add(grab, std::memory_order_relaxed);
    for (int item = first; item < first + grab && item < pass.item_count; ++item) {
        if (!pass.blocks) {
            for (int c = 0; c < frame_width; c += block_size)
                push_point(pass, feed, item * block_size, c);
            continue;
        }
        const int r0 = pass.blocks[item] / block_columns * block_size;
        const int c0 = pass.blocks[item] % block_columns * block_size;
        for (int r = r0; r < r0 + block_size; ++r)
            for (int c = c0; c < c0 + block_size; ++c)
                push_point(pass, feed, r, c);
    }
}
