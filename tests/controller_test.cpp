// The controller, driven through the scripted window system as a user would
// drive the program: start, pause, click, query, record, generate and open.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#ifdef __linux__
#include <sys/resource.h>
#endif

#include "app/controller.h"
#include "fractal/frame/view.h"
#include "fresh_folders.h"
#include "recording/recording.h"
#include "scripted_window_system.h"
#include "test_support.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

BlockFlags expected_blocks;  // of the frames computed by the scalar definition

using Calls = std::vector<std::string>;

const Calls tick_calls = {"stop_timer", "start_timer", "refresh_window_bitmap", "invalidate"};
constexpr std::size_t header_bytes = recording_header_bytes;
constexpr std::size_t frame_size = frame_bytes;

std::size_t file_size(const char* path)
{
    return read_file(path).size();
}

int count(const Calls& calls, const std::string& call)
{
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

// What printf gives in the C locale, as the boxes must show in every locale.
std::string c_format(const char* format, double a, double b)
{
    char text[1024];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

void start_new_zoom(bool timer_running)
{
    script.timer_running = timer_running;
    on_command(command_new);
    reset_script();
}

TEST(Controller, BeforeAnyZoomTicksClicksAndUnknownCommandsChangeNothing)
{
    set_view(0.1, 0.2, 3.0);
    script.timer_running = true;
    on_tick();
    EXPECT_EQ(script.calls, tick_calls);
    EXPECT_FALSE(has_ring());
    EXPECT_EQ(get_width(), 3.0);

    reset_script();
    on_click(100, 100);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(get_centre().re, 0.1);
    EXPECT_TRUE(script.timer_running);

    EXPECT_FALSE(on_command(40002));
    EXPECT_FALSE(on_command(0));
    EXPECT_TRUE(script.calls.empty());
}

TEST(Controller, NewShowsItsFirstPictureAndTheRingTurnsOnThe79thTick)
{
    script.timer_running = false;
    reset_script();
    EXPECT_TRUE(on_command(command_new));
    EXPECT_EQ(script.calls, (Calls{"make_window_bitmap", "invalidate"}));  // the timer is left alone
    EXPECT_FALSE(script.timer_running);
    EXPECT_EQ(frame_ring().current_scale, 648);
    EXPECT_EQ(get_width(), 6.72 / 16);

    on_command(command_stop_start);
    EXPECT_TRUE(script.timer_running);
    on_command(command_stop_start);
    EXPECT_FALSE(script.timer_running);
    on_command(command_stop_start);

    reset_script();
    for (int i = 0; i < 78; ++i)
        on_tick();
    EXPECT_EQ(frame_ring().ring_index, 0);
    EXPECT_EQ(get_width(), 6.72 / 16);
    on_tick();
    EXPECT_EQ(frame_ring().ring_index, 1);  // exactly one frame produced
    EXPECT_EQ(get_width(), 6.72 / 32);
    EXPECT_EQ(count(script.calls, "refresh_window_bitmap"), 79);
    EXPECT_EQ(count(script.calls, "start_timer"), 79);
    EXPECT_TRUE(script.timer_running);
}

TEST(Controller, QueryPositionShowsTheCentreInEveryLocale)
{
    start_new_zoom(false);
    on_command(command_query_position);
    const std::string expected = "message ZQV Position|midx = 0.265232\nmidy = 0.003061";
    EXPECT_EQ(script.calls, Calls{expected});

    // A toolkit may set a comma-decimal locale from the environment.
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"}) {
        if (std::setlocale(LC_ALL, name) == nullptr)
            continue;
        reset_script();
        on_command(command_query_position);
        EXPECT_EQ(script.calls, Calls{expected}) << name;
        break;
    }
    std::setlocale(LC_ALL, "C");

    // An enormous centre shows its whole text, far beyond 256 characters.
    set_centre(1.5e300, -2.5e299);
    reset_script();
    on_command(command_query_position);
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0], "message ZQV Position|" + c_format("midx = %f\nmidy = %f", 1.5e300, -2.5e299));
    EXPECT_GT(script.calls[0].size(), 600u);
}

TEST(Controller, ClickRecentresShowsThePointAndStartsAWiderZoom)
{
    start_new_zoom(false);
    const PlanePoint point = *map_point(200, 100);
    on_click(200, 100);
    ASSERT_EQ(script.calls.size(), 3u);
    EXPECT_EQ(script.calls[0], "beep 1000 20");
    EXPECT_EQ(script.calls[1], "message Error|" + c_format("x=%.16f\ny=%.16f", point.re, point.im));
    EXPECT_EQ(script.calls[2], "start_timer");
    EXPECT_TRUE(script.timer_running);
    EXPECT_EQ(get_centre().re, point.re);
    EXPECT_EQ(get_centre().im, point.im);
    // The new ring starts 20 times wider than the frame the old one would
    // have produced next: 1.25 times New's start width.
    EXPECT_EQ(get_width() * 16, (6.72 / 16) * 20);
    const FrameRect& outer = frame_ring().rects[0];
    EXPECT_NEAR(outer.right - outer.left, 6.72 * 1.25, 1e-12);
    EXPECT_EQ(frame_ring().current_scale, 640);  // not recomposed: the next tick shows it
}

TEST(Controller, TicksWhileTheClickBoxIsOpenZoomAroundTheClickedPoint)
{
    start_new_zoom(true);
    const PlanePoint point = *map_point(320, 240);
    script.ticks_in_next_modal = 79;
    on_click(320, 240);
    // The 79th tick in the box turned the ring, producing a frame around the
    // clicked point at the width then current; the regeneration replaced it.
    EXPECT_EQ(count(script.calls, "refresh_window_bitmap"), 79);
    EXPECT_EQ(get_width() * 16, (6.72 / 32) * 20);
    EXPECT_EQ(get_centre().re, point.re);
    EXPECT_EQ(frame_ring().ring_index, 0);
    EXPECT_EQ(script.calls.back(), "start_timer");
}

TEST(Controller, CancelledOpenAfterNewRegeneratesFromTheCurrentView)
{
    start_new_zoom(false);
    ASSERT_EQ(record_mode(), record_none);
    static Frame expected;
    compute_frame_reference(expected, expected_blocks);  // the frame the old ring would have produced next
    script.dialog_answer = std::nullopt;
    on_command(command_open);
    EXPECT_EQ(script.calls, (Calls{"choose_recording", "make_window_bitmap", "invalidate"}));
    EXPECT_EQ(frame_ring().zoom_step, 32);
    EXPECT_EQ(frame_ring().current_scale, 672);
    EXPECT_NEAR(frame_ring().rects[0].right - frame_ring().rects[0].left, 6.72 / 16, 1e-15);
    EXPECT_EQ(std::memcmp(frame_ring().frames[0].pixels, expected.pixels, frame_bytes), 0);
    EXPECT_EQ(record_mode(), record_none);
}

TEST(Controller, RecordingsGrowByWholeFramesAsTheyAreShown)
{
    std::size_t size_at_first_picture = 0;
    script.on_bitmap_made = [&] { size_at_first_picture = file_size(recording_file_name); };
    script.timer_running = false;
    on_command(command_new_recorded);
    EXPECT_EQ(size_at_first_picture, header_bytes + 4 * frame_size);
    EXPECT_EQ(record_mode(), record_recording);

    script.timer_running = true;
    for (int i = 0; i < 79; ++i)
        on_tick();
    EXPECT_EQ(file_size(recording_file_name), header_bytes + 5 * frame_size);

    on_click(320, 240);  // a click during a recording appends the new ring
    EXPECT_EQ(file_size(recording_file_name), header_bytes + 9 * frame_size);
    on_command(command_new);  // so does a plain New
    EXPECT_EQ(file_size(recording_file_name), header_bytes + 13 * frame_size);
    const std::vector<std::uint8_t> bytes = read_file(recording_file_name);
    std::vector<std::uint8_t> header;
    append_double(header, -0.74723394);
    append_double(header, 0.12526091);
    append_double(header, 13.44);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));  // still the first start view

    reset_script();
    script.on_bitmap_made = [&] { size_at_first_picture = file_size(recording_file_name); };
    on_command(command_generate_only);
    EXPECT_EQ(size_at_first_picture, header_bytes + 5 * frame_size);
    for (int i = 1; i <= 3; ++i) {
        on_tick();
        EXPECT_EQ(file_size(recording_file_name), header_bytes + (5 + i) * frame_size);
    }
    script.on_bitmap_made = nullptr;
}

TEST(Controller, OpenReadsTheChosenRecordingInsteadOfComputing)
{
    static Frame frames[4];
    std::vector<const Frame*> list;
    for (int i = 0; i < 4; ++i) {
        fill_pattern(frames[i], i + 40);
        list.push_back(&frames[i]);
    }
    write_file("./chosen.zqv", recording_bytes(0.1, 0.2, 2.0, list));

    script.timer_running = true;
    reset_script();
    script.dialog_answer = "./chosen.zqv";
    script.ticks_in_next_modal = 2;  // the zoom goes on while the dialog is open
    on_command(command_open);
    EXPECT_EQ(count(script.calls, "refresh_window_bitmap"), 2);
    EXPECT_EQ(record_mode(), record_playback);
    EXPECT_EQ(get_centre().re, 0.1);
    EXPECT_EQ(get_width(), 2.0 / 16);
    EXPECT_EQ(frame_ring().zoom_step, 32);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(std::memcmp(frame_ring().frames[slot].pixels, frames[slot].pixels, frame_bytes), 0) << slot;

}

// Files that cannot be played are refused with a box naming them, and the
// zoom on screen goes on as it was: same frames, view, scale and step.
TEST(Controller, OpenOfAFileThatCannotBePlayedChangesNothing)
{
    end_recording();
    start_new_zoom(true);
    for (int i = 0; i < 30; ++i)
        on_tick();
    static DisplayBuffer shown;
    static FrameRing before;
    shown = display_buffer();
    before = frame_ring();
    const double width = get_width();

    write_file("./empty.zqv", {});
    write_file("./nan.zqv", recording_bytes(0.0, 0.0, std::nan(""), {}));
    for (const char* path : {"./empty.zqv", "./nan.zqv", "./no such file.zqv"}) {
        reset_script();
        script.dialog_answer = path;
        on_command(command_open);
        ASSERT_EQ(script.calls.size(), 2u);
        EXPECT_EQ(script.calls[1].rfind(std::string("message ZQV|Cannot play ") + path + ": ", 0), 0u)
            << script.calls[1];
        EXPECT_EQ(std::memcmp(display_buffer().pixels, shown.pixels, frame_bytes), 0);
        EXPECT_EQ(std::memcmp(frame_ring().frames, before.frames, sizeof before.frames), 0);
        EXPECT_EQ(frame_ring().current_scale, before.current_scale);
        EXPECT_EQ(frame_ring().zoom_step, 8);
        EXPECT_EQ(get_width(), width);
        EXPECT_EQ(record_mode(), record_none);
    }
}

const std::string cannot_record = "message ZQV|Cannot record into ./new.zqv: ";

// The first picture New (Recorded) shows when its frames are computed.
const DisplayBuffer& new_recorded_first_picture()
{
    set_zoom_step(8);
    set_view(-0.74723394, 0.12526091, 13.44);
    generate_ring();
    step_zoom();
    return display_buffer();
}

TEST(Controller, ARecordingThatCannotStartSaysSoAndShowsItsOwnView)
{
    write_file("./played.zqv", recording_bytes(0.1, 0.2, 2.0, {}));
    script.dialog_answer = "./played.zqv";
    on_command(command_open);
    ASSERT_EQ(record_mode(), record_playback);

    std::filesystem::remove(recording_file_name);
    std::filesystem::create_directory(recording_file_name);  // ./new.zqv cannot be created
    reset_script();
    on_command(command_new_recorded);
    std::filesystem::remove(recording_file_name);
    ASSERT_EQ(script.calls.size(), 3u);
    EXPECT_EQ(script.calls[2].rfind(cannot_record, 0), 0u) << script.calls[2];
    EXPECT_EQ(record_mode(), record_none);
    static DisplayBuffer shown;
    shown = display_buffer();
    EXPECT_EQ(std::memcmp(shown.pixels, new_recorded_first_picture().pixels, frame_bytes), 0);
}

// A disk that fills during a frame, then frees space: the file keeps its
// whole frames, one box tells of it, and the next recording works. The
// current directory changes meanwhile (as the Open dialog may change it), and
// the new.zqv there is left alone.
TEST(Controller, AFullDiskStopsTheRecordingAtItsLastWholeFrame)
{
#ifndef __linux__
    GTEST_SKIP() << "the full disk is a file size limit, set with setrlimit";
#else
    std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
    rlimit limit = {header_bytes + 4 * frame_size + frame_size / 2, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    script.timer_running = true;
    reset_script();
    on_command(command_new_recorded);
    std::filesystem::create_directory("elsewhere");
    write_file("elsewhere/new.zqv", std::vector<std::uint8_t>(40, 7));
    std::filesystem::current_path("elsewhere");
    for (int i = 0; i < 160; ++i)  // two turns of the ring: the first one's frame does not fit
        on_tick();
    std::filesystem::current_path("..");
    limit.rlim_cur = RLIM_INFINITY;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_EQ(file_size("elsewhere/new.zqv"), 40u);

    int boxes = 0;
    for (const std::string& call : script.calls)
        if (call.rfind("message ", 0) == 0) {
            ++boxes;
            EXPECT_EQ(call, "message ZQV|Recording into ./new.zqv stopped: File too large.\n"
                            "The file keeps 4 whole frames; the zoom goes on without recording.");
        }
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(record_mode(), record_none);
    const std::vector<std::uint8_t> bytes = read_file(recording_file_name);
    ASSERT_EQ(bytes.size(), header_bytes + 4 * frame_size);
    set_view(-0.74723394, 0.12526091, 13.44);
    static Frame computed;
    for (std::size_t i = 0; i < 4; ++i) {
        compute_frame_reference(computed, expected_blocks);
        EXPECT_EQ(std::memcmp(bytes.data() + header_bytes + i * frame_size, computed.pixels, frame_size), 0) << i;
        halve_width();
    }

    reset_script();
    on_command(command_new_recorded);
    EXPECT_EQ(count(script.calls, "make_window_bitmap"), 1);
    EXPECT_EQ(script.calls.size(), 2u);  // no box
    EXPECT_EQ(file_size(recording_file_name), header_bytes + 4 * frame_size);
    EXPECT_EQ(record_mode(), record_recording);
#endif
}

TEST(Controller, ByeClosesTheWindow)
{
    reset_script();
    EXPECT_TRUE(on_command(command_bugger_off));
    EXPECT_EQ(script.calls, Calls{"close_window"});
    EXPECT_TRUE(script.window_closed);
}

}  // namespace

int main(int argc, char** argv)
{
    start_program();
    testing::InitGoogleTest(&argc, argv);
    run_each_test_in_a_fresh_folder();
    return RUN_ALL_TESTS();
}
