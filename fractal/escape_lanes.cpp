// Hands the points of a pass to the threads' feeds an item at a time, filling
// the blocks that need no points on the way, and writes finished counts.
#include "fractal/escape_lanes.h"

#include <cstring>

#include "fractal/frame.h"

namespace {

// Blocks in one item of the frame pass: at most 8 * 25 = 200 points.
constexpr int blocks_per_item = 8;

void push_point(const EscapePass& pass, PointFeed& feed, int r, int c, int pixel)
{
    feed.cr[feed.end] = pass.cr_of_column[c];
    feed.ci[feed.end] = pass.ci_of_row[r];
    feed.pixel[feed.end] = pixel;
    ++feed.end;
}

// Fills the block at (br, bc) if its four corners agree in the coarse grid,
// else feeds its 25 points. The last block row and column have no far
// corners and are never filled.
void take_block(const EscapePass& pass, PointFeed& feed, int br, int bc)
{
    const std::uint8_t* corner = pass.coarse + br * block_columns + bc;
    const std::uint8_t value = corner[0];
    const bool filled = br < block_rows - 1 && bc < block_columns - 1 && corner[1] == value &&
                        corner[block_columns] == value && corner[block_columns + 1] == value;
    pass.flags->flags[br][bc] = filled ? block_filled : block_not_filled;
    const int r0 = br * block_size, c0 = bc * block_size;
    for (int r = r0; r < r0 + block_size; ++r) {
        if (filled) {
            std::memset(pass.counts + r * frame_width + c0, value, block_size);
            continue;
        }
        for (int c = c0; c < c0 + block_size; ++c)
            push_point(pass, feed, r, c, r * frame_width + c);
    }
}

}  // namespace

int coarse_pass_items()
{
    return block_rows;
}

int frame_pass_items()
{
    return block_rows * block_columns / blocks_per_item;
}

void top_up_feed(EscapePass& pass, PointFeed& feed)
{
    const int left = feed.end - feed.begin;
    for (int i = 0; i < left; ++i) {
        feed.cr[i] = feed.cr[feed.begin + i];
        feed.ci[i] = feed.ci[feed.begin + i];
        feed.pixel[i] = feed.pixel[feed.begin + i];
    }
    feed.begin = 0;
    feed.end = left;

    while (feed.end < max_lanes) {
        const int item = pass.next_item.fetch_add(1, std::memory_order_relaxed);
        if (item >= pass.item_count)
            return;
        if (!pass.coarse) {
            for (int bc = 0; bc < block_columns; ++bc)
                push_point(pass, feed, item * block_size, bc * block_size, item * block_columns + bc);
            continue;
        }
        const int first = item * blocks_per_item;
        for (int block = first; block < first + blocks_per_item; ++block)
            take_block(pass, feed, block / block_columns, block % block_columns);
    }
}

void write_finished(EscapePass& pass, FinishedPoints& finished, std::uint64_t& iterations)
{
    for (int i = 0; i < finished.size; ++i) {
        const auto count = static_cast<std::uint32_t>(finished.count[i]);
        pass.counts[static_cast<int>(finished.pixel[i])] = static_cast<std::uint8_t>(count);
        iterations += count;
    }
    finished.size = 0;
}
