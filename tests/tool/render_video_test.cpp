// zqvtool render's videos, in the Linux build: the picture count, size,
// frame rate and colour tags the options and the size ask for.
#include <gtest/gtest.h>

#include "tool_test_support.h"

namespace {

TEST(ToolRenderVideo, H264HasTheSizeRateAndPictureCountAsked)
{
    std::string out, err;
    // 3 halvings at 0.5 s each, eased over 0.25 s at each end, held 0.2 s: 25 · (1.5 + 0.25) + 2 · 5 pictures.
    ASSERT_EQ(run_tool("render --centre -0.7436438870371,0.1318259042053 --width 0.08 --size 130x74 --frames 3 "
                       "--fps 25 --seconds-per-halving 0.5 --ease 0.25 --hold 0.2 --force zoom.mp4", out, err), 0)
        << err;
    const Pictures video = decode_pictures("zoom.mp4");
    EXPECT_EQ(video.width, 130);
    EXPECT_EQ(video.height, 74);
    EXPECT_EQ(video.rate_num, 25);
    EXPECT_EQ(video.rate_den, 1);
    EXPECT_EQ(video.hashes.size(), 44u + 10u);
    EXPECT_EQ(video.pixels, "yuv420p");

    // --pixels yuv444 keeps every pixel's colour.
    ASSERT_EQ(run_tool("render --size 64x36 --frames 1 --fps 10 --pixels yuv444 --force zoom.mp4", out, err), 0) << err;
    EXPECT_EQ(decode_pictures("zoom.mp4").pixels, "yuv444p");

    // HD is converted by BT.709 and tagged in full; below it, BT.601's matrix.
    EXPECT_EQ(video.colours, "smpte170m/unknown/unknown/tv");
    ASSERT_EQ(run_tool("render --size 1280x720 --frames 0.01 --fps 1 --force hd.mp4", out, err), 0) << err;
    EXPECT_EQ(decode_pictures("hd.mp4").colours, "bt709/bt709/bt709/tv");
}

}  // namespace
