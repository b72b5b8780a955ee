// Zoom recordings: the one file stream, the recording mode, and the file
// format (three little-endian doubles, the start view's centre and width,
// followed by raw frames in the order the ring produced them).
#pragma once

#include <cstdint>

#include "fractal/frame.h"

enum RecordMode : std::uint8_t {
    record_none = 0,       // frames are computed
    record_recording = 1,  // frames are computed and appended to the recording
    record_playback = 2,   // frames are read from the recording
};

constexpr const char* recording_file_name = "./new.zqv";
constexpr int recording_header_bytes = 24;

// Begins a new recording of the current view into "./new.zqv".
void start_recording();
// Begins playback of the file at path; a null path (no file chosen) does nothing.
void open_recording(const char* path);
// Appends a frame to the open stream, if any; whole frames are on disk after it returns.
void write_frame(const Frame& frame);
// Reads the next frame of the open stream, if any; true when a whole frame was read.
bool read_frame(Frame& frame);
RecordMode record_mode();
