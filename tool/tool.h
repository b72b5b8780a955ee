// What the parts of zqvtool share: the subcommands, the checks of a
// recording file, the picture outputs of the two builds, and the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording/recording.h"

// Exit codes: 0 done; 1 a file could not be read or written; 2 a bad command
// line; 130 stopped by Ctrl-C (128 + SIGINT, as shells report it).
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_interrupted = 130;

struct GenerateOptions {
    std::string out;
    double centre_re, centre_im, width;
    std::int64_t frames;  // 0: until double precision runs out
    std::uint32_t cap;
    bool past_precision;
    bool force;
};

struct ExportOptions {
    std::string in, out;
    int step, fps, scale;
    bool smooth;
    std::int64_t from, to;  // to < 0: the last picture the file holds
    bool force;
};

int run_info(const std::vector<std::string>& paths);
int run_generate(const GenerateOptions& options);
int run_export(const ExportOptions& options);

// What a recording file holds.
struct RecordingFile {
    RecordingHeader header;
    std::int64_t whole_frames;
    std::int64_t trailing_bytes;  // of a partial last frame
};
// Why the file at path cannot be a recording, or nothing and what it holds.
std::optional<std::string> check_recording(const std::string& path, RecordingFile& file);
// The first frame of a zoom from this view whose pixel step no longer
// resolves in double precision; frame 0 is the view itself. Moves the view.
std::int64_t first_unresolved_frame(double centre_re, double centre_im, double width);
// One line on standard error: "zqvtool: " and the text.
void print_error(const std::string& text);
// The shortest decimal text that reads back as the same double, with a point.
std::string exact_text(double value);

// The pictures of an export: a video or GIF file in the format that path's
// extension names, or PNG files when path is a pattern ending in .png,
// written under write_path (the files' names with ".part" appended). Each
// picture is width x height colour indices, top row first. The reason on
// failure; after a failure or close_pictures nothing is left open.
std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps);
std::optional<std::string> write_picture(const std::uint8_t* picture);
// Flushes the encoder and closes the files; the reason if any of it failed.
std::optional<std::string> close_pictures();
// The name of picture number in a printf pattern with one %d or %0Nd, always
// zero-padded as FFmpeg does ("%%" is a percent sign); nothing if the
// pattern has no such single number.
std::optional<std::string> picture_name(const std::string& pattern, std::int64_t number);

// Progress on standard error while it is a terminal: what is counted, done
// of total, the rate and the time left; end_progress ends the line.
void start_progress(const char* unit, std::int64_t total);
void show_progress(std::int64_t done);
void end_progress();
// Ctrl-C from here on sets a flag instead of ending the program.
void catch_interrupt();
bool interrupted();
