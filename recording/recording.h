// Zoom recordings: the one file stream, the recording mode, and the file
// format (three little-endian doubles, the start view's centre and width,
// followed by raw frames in the order the ring produced them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fractal/frame/frame.h"

namespace zqv {

enum RecordMode : std::uint8_t {
    record_none = 0,       // frames are computed
    record_recording = 1,  // frames are computed and appended to the recording
    record_playback = 2,   // frames are read from the recording
};

constexpr const char* recording_file_name = "./new.zqv";
constexpr int recording_header_bytes = 24;

// The start view a recording's header holds.
struct RecordingHeader {
    double centre_re;
    double centre_im;
    double width;
};

// Why a recording stopped: the reason, and how many whole frames its file keeps.
struct RecordingStop {
    std::string path;
    std::string reason;
    std::uint64_t whole_frames;
};

// Begins a new recording of the current view into path, creating or
// truncating it. If the file cannot be made or its header cannot be written,
// no stream is open, the mode is none and the system's reason is returned.
std::optional<std::string> start_recording(const char* path = recording_file_name);
// Begins playback of the file at path; a null path (no file chosen) does
// nothing. A file that cannot be a recording is refused with the reason, and
// the stream, the mode and the view stay as they were.
std::optional<std::string> open_recording(const char* path);
// Ends the open recording or playback: the stream is closed, the mode none.
void end_recording();

// Appends a frame in one write and flushes it. If that fails or falls short,
// the file is cut back to its last whole frame and closed, the mode becomes
// none, and take_recording_stop() tells of it once.
void write_frame(const Frame& frame);
// Reads the next frame of the open stream, if any; true when a whole frame was read.
bool read_frame(Frame& frame);
RecordMode record_mode();
// The write failure that ended a recording since the last call, if any.
std::optional<RecordingStop> take_recording_stop();

// Reads the header of the file at path: the reason the file cannot be a
// recording (a directory or anything else that is not a regular file, which
// is never opened, shorter than a header, unreadable, a centre that is not
// finite or a width that is not a finite positive number), or nothing.
std::optional<std::string> read_recording_header(const char* path, RecordingHeader& header);

}  // namespace zqv
