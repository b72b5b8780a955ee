// What the tests of zqvtool share: running it, decoding its pictures, and
// the pictures the program's own playback shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Runs zqvtool with the arguments (simple words, no quoting) in the current
// directory; its exit code, with standard output and error in out and err.
int run_tool(const std::string& arguments, std::string& out, std::string& err);
// The platform's part of it: runs zqvtool with the arguments (shell
// redirections included) through the system's shell; its exit code.
int run_zqvtool(const std::string& arguments);
// Whether this build's zqvtool writes video and GIF files (Linux), or PNG
// pictures only (Windows).
extern const bool tool_writes_video;
// A device any program may open for reading: /dev/zero, or NUL on Windows.
extern const char* const device_path;

// The pictures of a video file or a single picture file, each hashed as
// RGB rows top first (fnv1a64), with the size and frame rate.
struct Pictures {
    int width = 0, height = 0;
    int rate_num = 0, rate_den = 1;
    std::string pixels;  // the pixel format's name ("yuv420p")
    std::string colours;  // the tags: matrix/primaries/transfer/range ("bt709/bt709/bt709/tv")
    std::vector<std::uint64_t> hashes;
};
Pictures decode_pictures(const std::string& path);

// The hash of each picture the program's window shows while it plays the
// recording at path (the first picture and one per tick, count in all),
// every pixel repeated scale x scale times.
std::vector<std::uint64_t> playback_hashes(const std::string& path, int count, int scale = 1);
