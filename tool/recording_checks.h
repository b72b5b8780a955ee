// What zqvtool checks of a recording file before it reads one, and how deep
// a zoom stays resolved in double precision.
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

// The first frame of a zoom from this view whose pixel step no longer
// resolves in double precision; frame 0 is the view itself. Moves the view.
std::int64_t first_unresolved_frame(double centre_re, double centre_im, double width);

}  // namespace zqv
