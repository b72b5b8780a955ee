// The pictures of an export, written by the build's picture output: FFmpeg's
// formats on Linux (pictures_ffmpeg.cpp), PNG files on Windows
// (pictures_png.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zqv {

// What a picture handed to the output holds, width x height pixels, top row
// first: indices into the program's colour table, or red, green and blue
// bytes.
enum class PictureKind { colour_indices, rgb };

// The encoder's settings where the user chose them; otherwise the format's own.
struct EncoderSettings {
    int quality = -1;    // the constant rate factor of the lossy formats; -1: the format's
    std::string preset;  // the encoder's speed preset; empty: the format's
};

// Opens a video or GIF file in the format that path's extension names, or
// PNG files when path is a pattern ending in .png, written under write_path
// (the files' names with ".part" appended). The reason on failure; after a
// failure or close_pictures nothing is left open.
std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps, PictureKind kind = PictureKind::colour_indices,
                                         const EncoderSettings& settings = {});
std::optional<std::string> write_picture(const std::uint8_t* picture);
// Flushes the encoder and closes the files; the reason if any of it failed.
std::optional<std::string> close_pictures();

// The name of picture number in a printf pattern with one %d or %0Nd, always
// zero-padded as FFmpeg does ("%%" is a percent sign); nothing if the
// pattern has no such single number.
std::optional<std::string> picture_name(const std::string& pattern, std::int64_t number);

}  // namespace zqv
