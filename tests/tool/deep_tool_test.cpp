// zqvtool generate's deep path end to end: double frames equal to the
// program's where double precision resolves, the location file read back,
// and depths beyond the engine refused before any work.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"
#include "tool_test_support.h"

using namespace zqv;

namespace {

// Generate Only's start view given as decimals at the program's cap: its
// first frames are double frames, the program's bytes; the location file
// (which keeps the cap) starts the same zoom again.
TEST(ToolDeep, DoubleFramesAreTheProgramsAndTheLocationFileStartsTheSameZoom)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --centre 0.2652315027667616,0.0030612312511513 --width 215.04 --frames 8 --cap 2048 "
                       "--force deep_start.zqv", out, err), 0) << err;
    const std::vector<std::uint8_t> first = read_file("deep_start.zqv");
    EXPECT_EQ(fnv1a64(first.data(), first.size()), 0x9e1da3dac8f469b6ull);  // Generate Only's 8 frames
    ASSERT_EQ(run_tool("info deep_start.zqv", out, err), 0) << err;
    EXPECT_NE(out.find("exact centre    0.2652315027667616, 0.0030612312511513"), std::string::npos) << out;
    EXPECT_NE(out.find("no deep frames"), std::string::npos) << out;

    ASSERT_EQ(run_tool("generate --location deep_start.zqv.location --frames 8 --force again.zqv", out, err), 0)
        << err;
    EXPECT_TRUE(read_file("again.zqv") == first);
}

// A deep zoom past the switch frame: the location file tells the switch, and
// a depth below 1e-300 is refused at once, leaving no file.
TEST(ToolDeep, GoesPastDoublePrecisionAndRefusesWhatItCannotReach)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --centre 0,1 --width 4 --to-width 1e-20 --force near_i.zqv", out, err), 0) << err;
    const std::size_t frames = (read_file("near_i.zqv").size() - recording_header_bytes) / frame_bytes;
    EXPECT_EQ(frames, 70u);  // 4 / 2^69 is the first width at most 1e-20
    ASSERT_EQ(run_tool("info near_i.zqv", out, err), 0) << err;
    EXPECT_NE(out.find("deep from frame 36"), std::string::npos) << out;

    EXPECT_EQ(run_tool("generate --centre 0,1 --width 4 --to-width 1e-301 --force too_deep.zqv", out, err), 2);
    EXPECT_NE(err.find("1e-300"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists("too_deep.zqv.part"));
    EXPECT_FALSE(std::filesystem::exists("too_deep.zqv"));
}

}  // namespace
