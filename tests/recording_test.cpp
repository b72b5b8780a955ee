// The recording file: header bytes, frame round trips, truncation, short
// files and failed opens in each mode.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "fractal/view.h"
#include "recording/recording.h"
#include "test_support.h"

namespace {

Frame written[3];
Frame read_back;

double le_double(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= std::uint64_t{bytes[offset + i]} << (8 * i);
    return std::bit_cast<double>(bits);
}

TEST(Recording, HeaderFramesPlaybackAndTruncation)
{
    set_view(-0.74723394, 0.12526091, 13.44);
    start_recording();
    ASSERT_EQ(record_mode(), record_recording);

    std::vector<std::uint8_t> bytes = read_file(recording_file_name);
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(le_double(bytes, 0), -0.74723394);
    EXPECT_EQ(le_double(bytes, 8), 0.12526091);
    EXPECT_EQ(le_double(bytes, 16), 13.44);
    EXPECT_EQ(bytes[7], 0xbf);  // sign and high exponent bits of -0.747... come last

    for (int i = 0; i < 3; ++i) {
        fill_pattern(written[i], i + 1);
        write_frame(written[i]);
        // Every written frame is on disk as soon as write_frame returns.
        EXPECT_EQ(read_file(recording_file_name).size(), 24u + (i + 1) * 307200u);
    }

    set_view(1.0, 1.0, 1.0);
    open_recording(recording_file_name);
    ASSERT_EQ(record_mode(), record_playback);
    EXPECT_EQ(get_centre().re, -0.74723394);
    EXPECT_EQ(get_centre().im, 0.12526091);
    EXPECT_EQ(get_width(), 13.44);
    for (const Frame& f : written) {
        ASSERT_TRUE(read_frame(read_back));
        EXPECT_EQ(std::memcmp(read_back.pixels, f.pixels, frame_bytes), 0);
    }
    fill_pattern(read_back, 9);
    EXPECT_FALSE(read_frame(read_back));
    Frame untouched;
    fill_pattern(untouched, 9);
    EXPECT_EQ(std::memcmp(read_back.pixels, untouched.pixels, frame_bytes), 0);

    start_recording();
    EXPECT_EQ(record_mode(), record_recording);
    EXPECT_EQ(read_file(recording_file_name).size(), 24u);
}

TEST(Recording, ShortFinalFrameKeepsTheRestOfTheSlot)
{
    Frame first, slot, expected;
    fill_pattern(first, 4);
    std::vector<std::uint8_t> bytes = recording_bytes(0.0, 0.0, 2.0, {&first});
    bytes.insert(bytes.end(), 1000, 0xee);
    write_file("./short_end.zqv", bytes);

    open_recording("./short_end.zqv");
    ASSERT_EQ(record_mode(), record_playback);
    ASSERT_TRUE(read_frame(slot));
    EXPECT_EQ(std::memcmp(slot.pixels, first.pixels, frame_bytes), 0);

    fill_pattern(slot, 5);
    fill_pattern(expected, 5);
    std::memset(expected.pixels, 0xee, 1000);
    EXPECT_FALSE(read_frame(slot));
    EXPECT_EQ(std::memcmp(slot.pixels, expected.pixels, frame_bytes), 0);
    EXPECT_FALSE(read_frame(slot));
    EXPECT_EQ(std::memcmp(slot.pixels, expected.pixels, frame_bytes), 0);
}

TEST(Recording, FailedOpensKeepModeAndViewAndCloseTheStream)
{
    Frame frame;
    fill_pattern(frame, 6);

    // Recording: a failed open ends the recording's stream but not the mode.
    set_view(0.0, 0.0, 4.0);
    start_recording();
    open_recording("./missing.zqv");
    EXPECT_EQ(record_mode(), record_recording);
    write_frame(frame);
    EXPECT_EQ(read_file(recording_file_name).size(), 24u);

    // Playback: a missing file or a header cut short leaves mode and view.
    write_file("./one.zqv", recording_bytes(0.5, 0.5, 1.0, {&frame}));
    open_recording("./one.zqv");
    ASSERT_EQ(record_mode(), record_playback);
    write_file("./header_cut.zqv", std::vector<std::uint8_t>(16, 0));
    open_recording("./header_cut.zqv");
    EXPECT_EQ(record_mode(), record_playback);
    EXPECT_EQ(get_width(), 1.0);
    EXPECT_FALSE(read_frame(frame));

    open_recording("./one.zqv");
    open_recording(nullptr);  // a cancelled dialog keeps the open stream
    EXPECT_TRUE(read_frame(frame));
}

}  // namespace
