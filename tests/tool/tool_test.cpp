// zqvtool end to end, on both builds: generate against the program's own
// Generate Only, a PNG export against the program's playback, bad files,
// bad command lines and the files zqvtool must leave alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/controller.h"
#include "recording/recording.h"
#include "scripted_window_system.h"
#include "test_support.h"
#include "tool_test_support.h"
#include "zoom/compositor.h"

using namespace zqv;

namespace {

constexpr int pictures_per_frame = 20;  // playback at 32 pixels a tick: 640 / 32 per doubling

// The display image in the program's colours, RGB rows top first, each
// pixel repeated scale x scale times, hashed.
std::uint64_t display_hash(int scale)
{
    std::vector<std::uint8_t> rgb;
    const DisplayBuffer& display = display_buffer();
    for (int row = scale * frame_height - 1; row >= 0; --row) {
        for (int column = 0; column < scale * frame_width; ++column) {
            const Rgb colour = colour_table[display.pixels[row / scale * frame_width + column / scale]];
            rgb.insert(rgb.end(), {colour.red, colour.green, colour.blue});
        }
    }
    return fnv1a64(rgb.data(), rgb.size());
}

std::string run_ok(const std::string& arguments)
{
    std::string out, err;
    EXPECT_EQ(run_tool(arguments, out, err), 0) << arguments << "\n" << err;
    return out;
}

void make_empty_folder(const char* folder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
}

std::vector<std::string> folder_names(const char* folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(ToolGenerate, WritesTheProgramsGenerateOnlyBytesOnEveryBuild)
{
    start_program();
    on_command(command_generate_only);  // the ring's 4 frames, and the first picture turns it: 5
    for (int tick = 0; tick < 3; ++tick)
        on_tick();
    end_recording();
    run_ok("generate --frames 8 --force tool.zqv");
    const std::vector<std::uint8_t> program = read_file(recording_file_name), tool = read_file("tool.zqv");
    ASSERT_EQ(program.size(), recording_size(8));
    EXPECT_TRUE(program == tool);
    EXPECT_EQ(fnv1a64(tool.data(), tool.size()), 0x9e1da3dac8f469b6ull);  // the 32-bit Windows build's too

    std::string out, err;
    EXPECT_EQ(run_tool("generate --frames 4 tool.zqv", out, err), 1);
    EXPECT_NE(err.find("tool.zqv: the file exists"), std::string::npos) << err;
    EXPECT_EQ(read_file("tool.zqv").size(), tool.size());
    EXPECT_FALSE(std::filesystem::exists("tool.zqv.part"));

    // A file named like the temporary one is the user's: left as it is.
    write_file("tool.zqv.part", {'m', 'i', 'n', 'e'});
    run_ok("generate --frames 8 --force tool.zqv");
    EXPECT_TRUE(read_file("tool.zqv") == tool);
    EXPECT_EQ(read_file("tool.zqv.part").size(), 4u);
    std::filesystem::remove("tool.zqv.part");
}

// By default generate stops before the first frame info calls unresolved.
TEST(ToolGenerate, StopsWhereDoublePrecisionRunsOut)
{
    std::string out, err;
    ASSERT_EQ(run_tool("generate --view recorded --force deep.zqv", out, err), 0) << err;
    EXPECT_NE(err.find("no longer resolves in double precision"), std::string::npos) << err;
    const std::size_t frames = (read_file("deep.zqv").size() - recording_header_bytes) / frame_bytes;
    out = run_ok("info deep.zqv");
    EXPECT_NE(out.find("unresolved from frame " + std::to_string(frames)), std::string::npos) << out;
}

TEST(ToolExport, PngPicturesAreWhatThePlaybackShows)
{
    run_ok("generate --frames 8 --force zoom.zqv");
    make_empty_folder("pictures");
    run_ok("export zoom.zqv pictures/%03d.png");
    // Outermost frames 0 to 5: the last picture's levels are frames 5, 6 and 7.
    const std::vector<std::uint64_t> shown = playback_hashes("zoom.zqv", 6 * pictures_per_frame);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "pictures/%03zu.png", i + 1);
        const Pictures picture = decode_pictures(name);
        ASSERT_EQ(picture.hashes.size(), 1u) << name;
        EXPECT_EQ(picture.width, 640);
        EXPECT_EQ(picture.hashes[0], shown[i]) << name;
    }
    EXPECT_EQ(folder_names("pictures").size(), shown.size());  // and no part files

    // A forced, shorter export leaves its own pictures, and other files, alone.
    write_file("pictures/keep.png", {});
    run_ok("export --force --to 0 zoom.zqv pictures/%03d.png");
    EXPECT_EQ(folder_names("pictures").size(), pictures_per_frame + 1u);
    EXPECT_EQ(decode_pictures("pictures/020.png").hashes, std::vector<std::uint64_t>{shown[19]});
}

// Faults of the command line exit with 2 and a short reason, before any file is touched.
TEST(ToolCommandLine, RefusesBadCommandsWithExitTwoAndTheReason)
{
    run_ok("generate --frames 8 --force zoom.zqv");
    std::filesystem::copy_file("zoom.zqv", "own001.png", std::filesystem::copy_options::overwrite_existing);
    const struct {
        const char* arguments;
        const char* says;
    } cases[] = {
        {"export zoom.zqv out.avi", "out.avi: "},
        {"export --from 5 --to 3 zoom.zqv out/%03d.png", "--from 5 is after --to 3"},
        {"export --from -1 zoom.zqv out/%03d.png", "--from: a frame number is 0 or more"},
        {"export --force own001.png own%03d.png", "own001.png: it is the recording being exported"},
        {"generate --centre 1,0 --width 1e-16 unresolved.zqv", "resolves only 0 frames"},
    };
    make_empty_folder("out");
    for (const auto& c : cases) {
        std::string out, err;
        EXPECT_EQ(run_tool(c.arguments, out, err), 2) << c.arguments;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.arguments << "\n" << err;
        EXPECT_LT(err.size(), 300u) << err;
    }
    EXPECT_EQ(read_file("own001.png").size(), recording_size(8));
    EXPECT_TRUE(folder_names("out").empty());
    EXPECT_FALSE(std::filesystem::exists("unresolved.zqv"));

    // A path from the root is a path, not a Windows-style option.
    const std::string rooted = "/" + (std::filesystem::current_path() / "zoom.zqv").relative_path().generic_string();
    EXPECT_NE(run_ok("info " + rooted).find("whole frames    8"), std::string::npos) << rooted;
}

TEST(ToolInfoAndExport, RefuseBadFilesInOneLineAndLeaveNothingBehind)
{
    Frame frame{};
    std::vector<std::uint8_t> partial = recording_bytes(-0.5, 0.25, 3.0, {&frame, &frame});
    partial.resize(partial.size() + 1000);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* info_says;    // what info prints for a recording; null: its error is export's
        const char* export_says;  // the reason export gives
    };
    const Case cases[] = {
        {"empty.zqv", {}, nullptr, "it is shorter than the 24-byte header"},
        {"header_only.zqv", recording_bytes(1.0, 2.0, 4.0, {}), "whole frames    0", "it holds 0 whole frames"},
        {"nan.zqv", recording_bytes(1.0, 2.0, std::nan(""), {}), nullptr, "its width is not a finite positive number"},
        {"negative.zqv", recording_bytes(1.0, 2.0, -4.0, {}), nullptr, "its width is not a finite positive number"},
        {"partial.zqv", partial, "trailing bytes  1000", "it holds 2 whole frames"},
        {"folder.zqv", {}, nullptr, "it is a directory"},
    };
    std::string all;
    for (const Case& c : cases) {
        if (c.name == std::string("folder.zqv"))
            std::filesystem::create_directory(c.name);
        else
            write_file(c.name, c.bytes);
        all += std::string(" ") + c.name;
    }

    // Every file is reported, the recordings on standard output.
    std::string out, err;
    EXPECT_EQ(run_tool("info" + all, out, err), 1);
    for (const Case& c : cases) {
        if (c.info_says != nullptr)
            EXPECT_NE(out.find(c.info_says), std::string::npos) << out;
        else
            EXPECT_NE(err.find(std::string("zqvtool: ") + c.name + ": " + c.export_says), std::string::npos) << err;
    }
    make_empty_folder("out");
    for (const Case& c : cases) {
        EXPECT_EQ(run_tool(std::string("export ") + c.name + " out/%03d.png", out, err), 1) << c.name;
        EXPECT_EQ(err.find(std::string("zqvtool: ") + c.name + ": " + c.export_says), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_TRUE(folder_names("out").empty()) << c.name;
    }
}

}  // namespace

int run_tool(const std::string& arguments, std::string& out, std::string& err)
{
    const int code = run_zqvtool(arguments + " >tool_out.txt 2>tool_err.txt");
    const std::vector<std::uint8_t> out_bytes = read_file("tool_out.txt"), err_bytes = read_file("tool_err.txt");
    out.assign(out_bytes.begin(), out_bytes.end());
    err.assign(err_bytes.begin(), err_bytes.end());
    return code;
}

std::vector<std::uint64_t> playback_hashes(const std::string& path, int count, int scale)
{
    start_program();
    script.dialog_answer = path;
    on_command(command_open);
    std::vector<std::uint64_t> hashes{display_hash(scale)};
    while (static_cast<int>(hashes.size()) < count) {
        on_tick();
        hashes.push_back(display_hash(scale));
    }
    end_recording();
    return hashes;
}

// Every file zqvtool reads (location files, keys.location, key frames,
// palettes) refuses a folder or a device at once, and reads no more of it.
TEST(ToolInputs, FoldersAndDevicesAreRefusedAtOnce)
{
    std::filesystem::create_directories("folder");
    std::filesystem::create_directories("keys_a/keys.location");
    std::filesystem::create_directories("keys_b/key_00000.zqk");
    const std::string render = "render --size 32x24 --frames 1 --fps 2 ";
    for (const std::string& input : {std::string("folder"), std::string(device_path)}) {
        for (const std::string& command :
             {"generate --frames 4 --location " + input + " o.zqv", render + "--location " + input + " o%03d.png",
              render + "--palette " + input + " o%03d.png"}) {
            std::string out, err;
            EXPECT_NE(run_tool(command, out, err), 0) << command;
            EXPECT_NE(err.find("it is not a regular file"), std::string::npos) << command << ": " << err;
        }
    }
    for (const char* folder : {"keys_a", "keys_b"}) {
        std::string out, err;
        EXPECT_EQ(run_tool(render + "--keyframes " + folder + " o%03d.png", out, err), 1) << folder;
        EXPECT_NE(err.find("it is not a regular file"), std::string::npos) << folder << ": " << err;
    }
    std::error_code error;
    EXPECT_FALSE(std::filesystem::exists("o.zqv", error));
    EXPECT_FALSE(std::filesystem::exists("o000.png", error));
}
