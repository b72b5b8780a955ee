// The recording stream and mode. The header is written and read field by
// field as little-endian bytes; frames pass through as raw bytes.
#include "recording/recording.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "fractal/view.h"

namespace {

RecordMode mode = record_none;
std::FILE* stream = nullptr;  // open for writing in recording mode, for reading in playback

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

}  // namespace

void start_recording()
{
    close_stream();
    stream = std::fopen(recording_file_name, "wb");
    if (stream == nullptr)
        return;
    mode = record_recording;

    std::uint8_t header[recording_header_bytes];
    const PlanePoint centre = get_centre();
    put_double(header, centre.re);
    put_double(header + 8, centre.im);
    put_double(header + 16, get_width());
    std::fwrite(header, 1, sizeof header, stream);
    std::fflush(stream);
}

// A header shorter than 24 bytes cannot describe a view: such a file is not
// opened, and the mode and the view stay as they were.
void open_recording(const char* path)
{
    if (path == nullptr)
        return;
    close_stream();
    stream = std::fopen(path, "rb");
    if (stream == nullptr)
        return;

    std::uint8_t header[recording_header_bytes];
    if (std::fread(header, 1, sizeof header, stream) != sizeof header) {
        close_stream();
        return;
    }
    set_view(get_double(header), get_double(header + 8), get_double(header + 16));
    mode = record_playback;
}

// Flushed after every frame, so a recording cut off by a crash or a kill
// still holds every frame that was shown.
void write_frame(const Frame& frame)
{
    if (stream == nullptr)
        return;
    std::fwrite(frame.pixels, 1, frame_bytes, stream);
    std::fflush(stream);
}

// A short final read leaves the bytes beyond what it reached untouched.
bool read_frame(Frame& frame)
{
    if (stream == nullptr)
        return false;
    return std::fread(frame.pixels, 1, frame_bytes, stream) == static_cast<std::size_t>(frame_bytes);
}

RecordMode record_mode()
{
    return mode;
}
