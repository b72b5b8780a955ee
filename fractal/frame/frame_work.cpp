// Hands the units of a pass to the threads' feeds in spans, filling the
// blocks that need no points on the way, and writes finished counts.
#include "fractal/frame/frame_work.h"

#include <algorithm>
#include <cstring>

#include "fractal/frame/frame.h"

namespace zqv {

namespace {

constexpr int unit_count = block_rows * block_columns;  // 12288 in either pass

// A grab takes an eighth of the units left, at least min_span: the first
// spans are long, so few cache lines of the output are written by two
// threads, and the last are short, so the threads finish together.
constexpr int min_span = 8;

// Nothing once the pass is stopped: the lanes then run out of points.
bool grab_span(EscapePass& pass, PointFeed& feed)
{
    if (pass.stop != nullptr && pass.stop->load(std::memory_order_relaxed))
        return false;
    int first = pass.next_unit.load(std::memory_order_relaxed);
    int count;
    do {
        if (first >= unit_count)
            return false;
        const int left = unit_count - first;
        count = std::min(left, std::max(min_span, left / 8));
    } while (!pass.next_unit.compare_exchange_weak(first, first + count, std::memory_order_relaxed));
    feed.next_unit = first;
    feed.end_unit = first + count;
    return true;
}

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

void start_feed(PointFeed& feed)
{
    feed.begin = feed.end = 0;
    feed.next_unit = feed.end_unit = 0;
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

    while (feed.end < feed_target) {
        if (feed.next_unit == feed.end_unit && !grab_span(pass, feed))
            return;
        const int unit = feed.next_unit++;
        const int br = unit / block_columns, bc = unit % block_columns;
        if (pass.coarse)
            take_block(pass, feed, br, bc);
        else
            push_point(pass, feed, br * block_size, bc * block_size, unit);
    }
}

void write_finished(EscapePass& pass, FinishedPoints& finished, std::uint64_t& iterations)
{
    std::uint64_t capped = 0, near_cap = 0;
    std::uint32_t highest = 0;
    for (int i = 0; i < finished.size; ++i) {
        const auto count = static_cast<std::uint32_t>(finished.count[i]);
        pass.counts[static_cast<int>(finished.pixel[i])] = static_cast<std::uint8_t>(count);
        iterations += count;
        capped += count == pass.cap;
        near_cap += count < pass.cap && count > pass.cap / 2;
        highest = count < pass.cap && count > highest ? count : highest;
    }
    pass.points += static_cast<std::uint64_t>(finished.size);
    pass.capped += capped;
    pass.near_cap += near_cap;
    for (std::uint32_t seen = pass.highest_escaped.load(); highest > seen;)
        pass.highest_escaped.compare_exchange_weak(seen, highest);
    finished.size = 0;
}

}  // namespace zqv
