// The recording file: header bytes, frame round trips, truncation, short
// files and failed opens in each mode.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>

#include "fractal/frame/view.h"
#include "recording/recording.h"
#include "test_support.h"

using namespace zqv;

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

// The write system calls of this process so far, where the system counts
// them (Linux's /proc/self/io); -1 elsewhere.
long long write_calls()
{
#ifndef __linux__
    return -1;  // and under Wine the file counts Wine's own writes too
#endif
    // Read through C stdio: UBSan checks a stream object's dynamic type by
    // probing memory with writes to a pipe, which would count too.
    long long value = -1;
    if (std::FILE* io = std::fopen("/proc/self/io", "r")) {
        char key[32];
        long long number;
        while (std::fscanf(io, "%31s %lld", key, &number) == 2)
            if (std::strcmp(key, "syscw:") == 0)
                value = number;
        std::fclose(io);
    }
    return value;
}

TEST(Recording, HeaderFramesPlaybackAndTruncation)
{
    set_view(-0.74723394, 0.12526091, 13.44);
    start_recording();
    ASSERT_EQ(record_mode(), record_recording);

    std::vector<std::uint8_t> bytes = read_file(recording_file_name);
    ASSERT_EQ(bytes.size(), recording_size(0));
    EXPECT_EQ(le_double(bytes, 0), -0.74723394);
    EXPECT_EQ(le_double(bytes, 8), 0.12526091);
    EXPECT_EQ(le_double(bytes, 16), 13.44);
    EXPECT_EQ(bytes[7], 0xbf);  // sign and high exponent bits of -0.747... come last

    for (int i = 0; i < 3; ++i) {
        fill_pattern(written[i], i + 1);
        const long long calls = write_calls();
        write_frame(written[i]);
        // Every written frame is on disk as soon as write_frame returns, from
        // one write, so a kill cannot leave part of it behind.
        EXPECT_EQ(read_file(recording_file_name).size(), recording_size(i + 1));
        if (calls >= 0) {
            EXPECT_EQ(write_calls() - calls, 1);
        }
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
    EXPECT_EQ(read_file(recording_file_name).size(), recording_size(0));
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

TEST(Recording, RefusedOpensKeepTheStreamModeAndView)
{
    Frame frame;
    fill_pattern(frame, 6);

    // Recording: a file that cannot be played leaves the recording going.
    set_view(0.0, 0.0, 4.0);
    ASSERT_FALSE(start_recording());
    EXPECT_TRUE(open_recording("./missing.zqv"));
    EXPECT_EQ(record_mode(), record_recording);
    write_frame(frame);
    EXPECT_EQ(read_file(recording_file_name).size(), recording_size(1));

    // Playback: files that cannot be recordings are refused with a reason,
    // and the playback, its view and its position stay.
    write_file("./one.zqv", recording_bytes(0.5, 0.5, 1.0, {&frame}));
    ASSERT_FALSE(open_recording("./one.zqv"));
    write_file("./header_cut.zqv", std::vector<std::uint8_t>(16, 0));
    write_file("./nan_width.zqv", recording_bytes(0.0, 0.0, std::nan(""), {&frame}));
    write_file("./negative_width.zqv", recording_bytes(0.0, 0.0, -1.0, {&frame}));
    write_file("./infinite_centre.zqv", recording_bytes(INFINITY, 0.0, 1.0, {&frame}));
    for (const char* refused : {"./header_cut.zqv", "./nan_width.zqv", "./negative_width.zqv",
                                "./infinite_centre.zqv", "./missing.zqv", "."}) {
        const std::optional<std::string> reason = open_recording(refused);
        ASSERT_TRUE(reason) << refused;
        EXPECT_FALSE(reason->empty());
        EXPECT_EQ(record_mode(), record_playback);
        EXPECT_EQ(get_width(), 1.0);
    }
    EXPECT_TRUE(read_frame(frame));
    EXPECT_FALSE(read_frame(frame));

    ASSERT_FALSE(open_recording("./one.zqv"));
    EXPECT_FALSE(open_recording(nullptr));  // a cancelled dialog keeps the open stream
    EXPECT_TRUE(read_frame(frame));
    end_recording();
}

// Paths that are not the program's files: a named pipe is refused at once,
// not waited on for a writer, and a link the user made in place of new.zqv
// stays when the header cannot be written through it.
TEST(Recording, NamedPipesAndTheUsersLinksAreLeftAlone)
{
    std::filesystem::remove("./pipe.zqv");
    if (std::system("mkfifo ./pipe.zqv") != 0)
        GTEST_SKIP() << "no named pipes here";
    std::future<std::optional<std::string>> refused =
        std::async(std::launch::async, [] { return open_recording("./pipe.zqv"); });
    if (refused.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        std::fclose(std::fopen("./pipe.zqv", "wb"));  // lets the waiting open go on
        FAIL() << "the open waits for a writer to the pipe";
    }
    EXPECT_EQ(refused.get(), "it is not a regular file");
    EXPECT_EQ(open_recording("."), "it is a directory, not a recording");

    std::filesystem::remove(recording_file_name);
    std::filesystem::create_symlink("/dev/full", recording_file_name);
    EXPECT_EQ(start_recording(), std::strerror(ENOSPC));
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(recording_file_name)));
    std::filesystem::remove(recording_file_name);
}

}  // namespace
