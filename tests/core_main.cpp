// Test entry for the core: looks at the state the program starts in before
// any test changes it, then runs the tests.
#include <gtest/gtest.h>

#include <cstdio>

#include "fractal/frame/view.h"
#include "fresh_folders.h"
#include "recording/recording.h"
#include "test_support.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

struct StartState {
    RecordMode mode_at_start;
    bool ring_at_start;
    bool point_mapped_at_start;
    RecordMode mode_after_failed_opens;
    double width_after_failed_opens;
    bool frame_read_without_stream;
};

StartState start;

void observe_start_state()
{
    start.mode_at_start = record_mode();
    start.ring_at_start = has_ring();
    start.point_mapped_at_start = map_point(320, 240).has_value();

    set_view(0.5, 0.25, 3.0);
    open_recording(nullptr);                      // the dialog was cancelled
    open_recording("./no such recording.zqv");    // missing
    write_file("./short.zqv", std::vector<std::uint8_t>(23, 0x40));
    open_recording("./short.zqv");                // header cut short
    std::remove("./short.zqv");
    start.mode_after_failed_opens = record_mode();
    start.width_after_failed_opens = get_width();
    Frame frame;
    start.frame_read_without_stream = read_frame(frame);
}

TEST(StartUp, NothingExistsUntilAZoomStartsAndFailedOpensChangeNothing)
{
    EXPECT_EQ(start.mode_at_start, record_none);
    EXPECT_FALSE(start.ring_at_start);
    EXPECT_FALSE(start.point_mapped_at_start);
    EXPECT_EQ(start.mode_after_failed_opens, record_none);
    EXPECT_EQ(start.width_after_failed_opens, 3.0);
    EXPECT_FALSE(start.frame_read_without_stream);
}

}  // namespace

int main(int argc, char** argv)
{
    observe_start_state();
    testing::InitGoogleTest(&argc, argv);
    run_each_test_in_a_fresh_folder();
    return RUN_ALL_TESTS();
}
