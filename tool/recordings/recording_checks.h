// What zqvtool checks of a recording file before it reads one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recording/recording.h"

namespace zqv {

// What a recording file holds.
struct RecordingFile {
    RecordingHeader header;
    std::int64_t whole_frames;
    std::int64_t trailing_bytes;  // of a partial last frame
};

// Why the file at path cannot be a recording, or nothing and what it holds.
std::optional<std::string> check_recording(const std::string& path, RecordingFile& file);

}  // namespace zqv
