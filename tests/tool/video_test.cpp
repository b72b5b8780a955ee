// zqvtool's video exports, in the Linux build: lossless FFV1 against the
// program's playback, upscaled too, and the shape of an H.264 file.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tool_test_support.h"

using namespace zqv;

namespace {

TEST(ToolExport, Ffv1IsWhatThePlaybackShowsAtAnyScaleAndH264HasItsShape)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --frames 8 --force zoom.zqv", out, err), 0) << err;
    ASSERT_EQ(run_tool("export --force zoom.zqv lossless.mkv", out, err), 0) << err;
    const Pictures lossless = decode_pictures("lossless.mkv");
    EXPECT_TRUE(lossless.hashes == playback_hashes("zoom.zqv", 6 * 20));  // frames 0 to 5 outermost, 20 each

    ASSERT_EQ(run_tool("export --force --scale 2 --to 0 zoom.zqv large.mkv", out, err), 0) << err;
    EXPECT_TRUE(decode_pictures("large.mkv").hashes == playback_hashes("zoom.zqv", 20, 2));

    // The extension in any case; the index before the pictures, for browsers.
    ASSERT_EQ(run_tool("export --force --scale 2 --to 1 zoom.zqv small.MP4", out, err), 0) << err;
    const std::vector<std::uint8_t> bytes = read_file("small.MP4");
    const std::string mp4(bytes.begin(), bytes.end());
    EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));
    const Pictures h264 = decode_pictures("small.MP4");
    EXPECT_EQ(h264.hashes.size(), 2u * 20u);
    EXPECT_EQ(h264.width, 1280);
    EXPECT_EQ(h264.height, 960);
    EXPECT_EQ(h264.rate_num, 50);
    EXPECT_EQ(h264.rate_den, 1);
}

}  // namespace
