// The recording stream and mode. The header is written and read field by
// field as little-endian bytes; frames pass through as raw bytes, each in a
// single unbuffered write, so a kill or a full disk cuts at most the frame
// being written, and that partial frame is cut off again.
#include "recording/recording.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "fractal/frame/view.h"

namespace zqv {

namespace {

RecordMode mode = record_none;
std::FILE* stream = nullptr;  // open for writing in recording mode, for reading in playback
std::string recording_path;   // the file being recorded
std::uint64_t frames_written;  // whole frames of the recording on disk
std::optional<RecordingStop> stop;

void close_stream()
{
    if (stream != nullptr)
        std::fclose(stream);
    stream = nullptr;
}

void put_double(std::uint8_t* out, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double get_double(const std::uint8_t* in)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= std::uint64_t{in[i]} << (8 * i);
    return std::bit_cast<double>(bits);
}

// Opens a recording for reading and reads its header; null, with the reason,
// when the file cannot be a recording. Only a regular file is opened: opening
// a named pipe would wait for a writer.
std::FILE* open_checked(const char* path, RecordingHeader& header, std::string& reason)
{
    std::error_code error;  // a path that cannot be looked at gets fopen's reason
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) {
        reason = "it is a directory, not a recording";
        return nullptr;
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        reason = "it is not a regular file";
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return nullptr;
    }
    std::uint8_t bytes[recording_header_bytes];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) {
        // A directory opens on some systems and fails on the first read.
        reason = std::ferror(file) ? std::strerror(errno) : "it is shorter than the 24-byte header of a recording";
        std::fclose(file);
        return nullptr;
    }
    header = {get_double(bytes), get_double(bytes + 8), get_double(bytes + 16)};
    if (!std::isfinite(header.centre_re) || !std::isfinite(header.centre_im))
        reason = "its centre is not a finite number";
    else if (!std::isfinite(header.width) || !(header.width > 0.0))
        reason = "its width is not a finite positive number";
    else
        return file;
    std::fclose(file);
    return nullptr;
}

// The system's reason why writing the frame failed, found by writing it once
// more: a write that falls short may leave no reason, or a stale one (msvcrt
// under Wine says "Bad file descriptor" when a full disk took part of a
// frame), while a write at the full disk fails with the disk's own reason.
// Whatever this adds is cut off with the partial frame.
std::string frame_write_failure(const Frame& frame)
{
    errno = 0;
    std::clearerr(stream);
    if ((std::fwrite(frame.pixels, 1, frame_bytes, stream) != static_cast<std::size_t>(frame_bytes) ||
            std::fflush(stream) != 0) && errno != 0)
        return std::strerror(errno);
    return "the file took only part of a frame";
}

// Cuts the recording back to its whole frames after a failed write, through
// the open file (the current directory may have changed since the start);
// the stream is closed and the mode is none.
void stop_recording(const std::string& reason)
{
    // A device such as /dev/full cannot be resized, and holds nothing.
    (void)ftruncate64(fileno(stream), recording_header_bytes + frames_written * frame_bytes);
    close_stream();
    mode = record_none;
    stop = RecordingStop{recording_path, reason, frames_written};
}

}  // namespace

std::optional<std::string> start_recording(const char* path)
{
    close_stream();
    mode = record_none;
    // Only a file made here is removed again; a file or link the user put
    // there is not.
    std::error_code error;
    const bool existed = std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
    stream = std::fopen(path, "wb");
    if (stream == nullptr)
        return std::strerror(errno);
    // Unbuffered: the header and every frame reach the file in one write each.
    std::setvbuf(stream, nullptr, _IONBF, 0);

    std::uint8_t header[recording_header_bytes];
    const PlanePoint centre = get_centre();
    put_double(header, centre.re);
    put_double(header + 8, centre.im);
    put_double(header + 16, get_width());
    if (std::fwrite(header, 1, sizeof header, stream) != sizeof header || std::fflush(stream) != 0) {
        const std::string reason = std::strerror(errno);
        close_stream();
        if (!existed)
            std::remove(path);  // a file without a whole header could never be played
        return reason;
    }
    mode = record_recording;
    recording_path = path;
    frames_written = 0;
    return std::nullopt;
}

std::optional<std::string> open_recording(const char* path)
{
    if (path == nullptr)
        return std::nullopt;
    RecordingHeader header;
    std::string reason;
    std::FILE* file = open_checked(path, header, reason);
    if (file == nullptr)
        return reason;
    close_stream();
    stream = file;
    set_view(header.centre_re, header.centre_im, header.width);
    mode = record_playback;
    return std::nullopt;
}

void end_recording()
{
    close_stream();
    mode = record_none;
}

void write_frame(const Frame& frame)
{
    if (stream == nullptr || mode != record_recording)
        return;
    if (std::fwrite(frame.pixels, 1, frame_bytes, stream) != static_cast<std::size_t>(frame_bytes) ||
        std::fflush(stream) != 0) {
        stop_recording(frame_write_failure(frame));
        return;
    }
    ++frames_written;
}

// A short final read leaves the bytes beyond what it reached untouched.
bool read_frame(Frame& frame)
{
    if (stream == nullptr || mode != record_playback)
        return false;
    return std::fread(frame.pixels, 1, frame_bytes, stream) == static_cast<std::size_t>(frame_bytes);
}

RecordMode record_mode()
{
    return mode;
}

std::optional<RecordingStop> take_recording_stop()
{
    return std::exchange(stop, std::nullopt);
}

std::optional<std::string> read_recording_header(const char* path, RecordingHeader& header)
{
    std::string reason;
    std::FILE* file = open_checked(path, header, reason);
    if (file == nullptr)
        return reason;
    std::fclose(file);
    return std::nullopt;
}

}  // namespace zqv
