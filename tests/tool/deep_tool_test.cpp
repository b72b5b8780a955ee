// zqvtool generate's deep path end to end: double frames equal to the
// program's where double precision resolves, the location file read back,
// and depths beyond the engine refused before any work.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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
// a depth below 1e-10000 is refused at once, leaving no file.
TEST(ToolDeep, GoesPastDoublePrecisionAndRefusesWhatItCannotReach)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --centre 0,1 --width 4 --to-width 1e-20 --force near_i.zqv", out, err), 0) << err;
    const std::size_t frames = (read_file("near_i.zqv").size() - recording_header_bytes) / frame_bytes;
    EXPECT_EQ(frames, 70u);  // 4 / 2^69 is the first width at most 1e-20
    ASSERT_EQ(run_tool("info near_i.zqv", out, err), 0) << err;
    EXPECT_NE(out.find("deep from frame 36"), std::string::npos) << out;

    EXPECT_EQ(run_tool("generate --centre 0,1 --width 4 --to-width 1e-10001 --force too_deep.zqv", out, err), 2);
    EXPECT_NE(err.find("1e-10000"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists("too_deep.zqv.part"));
    EXPECT_FALSE(std::filesystem::exists("too_deep.zqv"));
    // A depth that is no zoom at all, and a width below the doubles' range, say so.
    EXPECT_EQ(run_tool("generate --centre 0,1 --width 0.01 --to-width 0.1 wide.zqv", out, err), 2);
    EXPECT_NE(err.find("--to-width must be below the start width"), std::string::npos) << err;
    for (const char* depth : {"", " --frames 8"}) {
        EXPECT_EQ(run_tool(std::string("generate --centre 0,1 --width 1e-400") + depth + " narrow.zqv", out, err), 2);
        EXPECT_NE(err.find("starts at a width of at least 1e-300"), std::string::npos) << err;
    }
    EXPECT_FALSE(std::filesystem::exists("wide.zqv"));
}

// find: the period-3 minibrot from a view about it, written as a location
// file that render and generate read; a view outside the set is refused
// with the reason, leaving no file.
TEST(ToolDeep, FindWritesAMinibrotsLocationAndRefusesAViewOutsideTheSet)
{
    std::string out, err;
    ASSERT_EQ(run_tool("find --centre -1.75,0 --width 0.1 --force period3", out, err), 0) << err;
    EXPECT_NE(out.find("period        3"), std::string::npos) << out;
    EXPECT_NE(out.find("size          0.019"), std::string::npos) << out;
    const std::vector<unsigned char> bytes = read_file("period3.location");
    const std::string location(bytes.begin(), bytes.end());
    EXPECT_NE(location.find("\ncentre-re -1.7548776662466927600"), std::string::npos) << location;
    EXPECT_NE(location.find("\nwidth 0.1\n"), std::string::npos) << location;
    EXPECT_NE(location.find("\nend-width 0.058"), std::string::npos) << location;
    ASSERT_EQ(run_tool("generate --location period3.location --frames 4 --force period3.zqv", out, err), 0) << err;

    std::filesystem::remove("outside.location");
    EXPECT_EQ(run_tool("find --centre 2,2 --width 0.1 outside", out, err), 1);
    EXPECT_NE(err.find("no minibrot in this view"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists("outside.location"));
}

// Location files as editors leave them: a byte order mark is read past; a
// key given twice, or a line of junk, is refused with the line, shown safely.
TEST(ToolDeep, LocationFilesAreReadAsWrittenAndRefusedByLine)
{
    auto write = [](const char* name, const std::string& text) {
        std::FILE* file = std::fopen(name, "wb");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    };
    write("bom.location", "\xef\xbb\xbf" "centre-re 0\r\ncentre-im 1\r\nwidth 4\r\n");
    write("twice.location", "centre-re 0\ncentre-im 1\nwidth 4\nwidth 2\n");
    write("junk.location", "centre-re 0\n\x1b[2J\x01 oops\n");
    std::string out, err;
    EXPECT_EQ(run_tool("generate --location bom.location --frames 4 bom.zqv", out, err), 0) << err;
    // --width starts a location file's centre at another width; alone it has no centre.
    EXPECT_EQ(run_tool("generate --location bom.location --width 2 --frames 4 at2.zqv", out, err), 0) << err;
    EXPECT_EQ(run_tool("generate --centre 0,1 --width 2 --frames 4 direct.zqv", out, err), 0) << err;
    EXPECT_TRUE(read_file("at2.zqv") == read_file("direct.zqv"));
    EXPECT_EQ(run_tool("generate --width 2 --frames 4 alone.zqv", out, err), 2);
    EXPECT_NE(err.find("--width needs --centre, or --location"), std::string::npos) << err;
    EXPECT_EQ(run_tool("generate --location twice.location --frames 4 twice.zqv", out, err), 1);
    EXPECT_NE(err.find("line 4: width comes a second time"), std::string::npos) << err;
    EXPECT_EQ(run_tool("generate --location junk.location --frames 4 junk.zqv", out, err), 1);
    EXPECT_NE(err.find("line 2: not a location line: \\x1b[2J\\x01 oops"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
}

}  // namespace
