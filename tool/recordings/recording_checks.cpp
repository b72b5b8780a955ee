// The checks of a recording file that info and export share.
#include "tool/recordings/recording_checks.h"

#include <filesystem>
#include <system_error>

#include "fractal/frame/geometry.h"

namespace zqv {

std::optional<std::string> check_recording(const std::string& path, RecordingFile& file)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "it is a directory, not a recording";
    if (std::optional<std::string> reason = read_recording_header(path.c_str(), file.header))
        return reason;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return error.message();
    file.whole_frames = static_cast<std::int64_t>((size - recording_header_bytes) / frame_bytes);
    file.trailing_bytes = static_cast<std::int64_t>((size - recording_header_bytes) % frame_bytes);
    return std::nullopt;
}

}  // namespace zqv
