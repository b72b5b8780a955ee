// The frame ring: widths after a new ring, turning at the doubled scale,
// the slot refilled, and where frames come from in each mode.
#include <gtest/gtest.h>

#include <cstring>

#include "fractal/frame/view.h"
#include "recording/recording.h"
#include "test_support.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

double rect_width(int slot)
{
    return frame_ring().rects[slot].right - frame_ring().rects[slot].left;
}

Frame expected;
BlockFlags expected_blocks;

TEST(Ring, NewRingHalvesFourTimesAndTurnsWhenTheScaleDoubles)
{
    set_max_iterations(64);
    end_recording();  // frames computed, not written
    set_zoom_step(8);
    set_view(10.0, 10.0, 8.0);  // far outside the set: cheap frames
    generate_ring();
    EXPECT_TRUE(has_ring());
    EXPECT_EQ(frame_ring().ring_index, 0);
    EXPECT_EQ(frame_ring().current_scale, 640);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(rect_width(slot), 8.0 / (1 << slot)) << slot;
    EXPECT_EQ(get_width(), 0.5);

    for (int i = 0; i < 79; ++i)
        advance_scale();
    EXPECT_EQ(frame_ring().ring_index, 0);
    EXPECT_EQ(frame_ring().current_scale, 1272);
    EXPECT_EQ(get_width(), 0.5);

    compute_frame_reference(expected, expected_blocks);  // what the refilled slot must hold
    advance_scale();
    EXPECT_EQ(frame_ring().ring_index, 1);
    EXPECT_EQ(frame_ring().current_scale, 640);
    EXPECT_EQ(rect_width(0), 0.5);  // the old outer slot, one level deeper
    EXPECT_EQ(std::memcmp(frame_ring().frames[0].pixels, expected.pixels, frame_bytes), 0);
    EXPECT_EQ(get_width(), 0.25);

    // The overshoot is dropped: 1264 + 32 starts the next level at 640.
    for (int i = 0; i < 78; ++i)
        advance_scale();
    EXPECT_EQ(frame_ring().current_scale, 1264);
    set_zoom_step(32);
    advance_scale();
    EXPECT_EQ(frame_ring().current_scale, 640);
    EXPECT_EQ(frame_ring().ring_index, 2);
    EXPECT_EQ(rect_width(1), 0.25);

    // At step 640 every call turns and refills the slot that was outermost.
    set_zoom_step(640);
    for (int i = 0; i < 6; ++i) {
        const int outer = frame_ring().ring_index;
        const double width = get_width();
        advance_scale();
        EXPECT_EQ(frame_ring().ring_index, (outer + 1) % 4);
        EXPECT_EQ(frame_ring().current_scale, 640);
        EXPECT_EQ(rect_width(outer), width);
        EXPECT_EQ(get_width(), width * 0.5);
    }
    set_max_iterations(2048);
}

TEST(Ring, PlaybackReadsFramesAndTheRectsFollowTheView)
{
    Frame frames[5];
    std::vector<const Frame*> list;
    for (int i = 0; i < 5; ++i) {
        fill_pattern(frames[i], i);
        list.push_back(&frames[i]);
    }
    // The file's frames have nothing to do with its view: the ring must not care.
    write_file("./patterns.zqv", recording_bytes(0.0, 0.0, 8.0, list));
    open_recording("./patterns.zqv");
    set_zoom_step(640);
    generate_ring();
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(std::memcmp(frame_ring().frames[slot].pixels, frames[slot].pixels, frame_bytes), 0);
        EXPECT_EQ(rect_width(slot), 8.0 / (1 << slot));
        EXPECT_EQ(frame_ring().rects[slot].top, 8.0 / (1 << slot) * 0.375);
    }
    advance_scale();
    EXPECT_EQ(std::memcmp(frame_ring().frames[0].pixels, frames[4].pixels, frame_bytes), 0);
    EXPECT_EQ(rect_width(0), 0.5);

    // At the end of the file the slots keep what they held; the zoom goes on.
    advance_scale();
    EXPECT_EQ(std::memcmp(frame_ring().frames[1].pixels, frames[1].pixels, frame_bytes), 0);
    EXPECT_EQ(rect_width(1), 0.25);
    EXPECT_EQ(get_width(), 0.125);
}

TEST(Ring, PlayingAFileThatEndsAfterItsHeaderLeavesEverySlot)
{
    Frame frames[4];
    std::vector<const Frame*> list;
    for (int i = 0; i < 4; ++i) {
        fill_pattern(frames[i], 20 + i);
        list.push_back(&frames[i]);
    }
    write_file("./four.zqv", recording_bytes(1.0, 2.0, 3.0, list));
    write_file("./header_only.zqv", recording_bytes(-1.0, 0.5, 16.0, {}));
    open_recording("./four.zqv");
    generate_ring();
    open_recording("./header_only.zqv");
    EXPECT_EQ(get_width(), 16.0);
    generate_ring();
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(std::memcmp(frame_ring().frames[slot].pixels, frames[slot].pixels, frame_bytes), 0);
    EXPECT_EQ(frame_ring().rects[0].left, -9.0);
}

// A recorded zoom, hashed whole: the 32-bit Windows build must write the same file.
TEST(Ring, RecordedZoomFileIsTheSameOnEveryBuild)
{
    set_max_iterations(2048);
    set_zoom_step(640);
    set_view(-0.74723394, 0.12526091, 13.44);
    start_recording();
    generate_ring();
    step_zoom();
    step_zoom();
    const std::vector<std::uint8_t> bytes = read_file(recording_file_name);
    ASSERT_EQ(bytes.size(), recording_size(6));
    EXPECT_EQ(fnv1a64(bytes.data(), bytes.size()), 0x24d5918a01b2cae4ull);
}

}  // namespace
