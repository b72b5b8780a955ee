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
    std::string pixels;  // the lossy formats' colour sampling, "yuv420" or "yuv444"; empty: the format's
};

// Why this build cannot write pictures at fps with these settings into the
// format path's extension names (taken in any case): an unknown extension, a
// format the build lacks, a rate the format cannot show, settings it does
// not take; nothing if it can. These are faults of the command line, which
// export checks before anything else.
std::optional<std::string> check_pictures(const std::string& path, int fps, const EncoderSettings& settings = {});
// The help of the options that set EncoderSettings' quality, preset and pixels.
extern const char* const picture_quality_help;
extern const char* const picture_preset_help;
extern const char* const picture_pixels_help;

// Opens a video or GIF file in the format that path's extension names, or
// PNG files when path is a pattern ending in .png, written under write_path
// (the files' temporary names). A video or GIF file is opened where it
// stands (its caller created it, new, with create_part_file); each PNG
// picture's file is created new (create_new_file) when it is written, so
// no existing file is ever overwritten. The reason on failure; after a
// failure or close_pictures nothing is left open.
std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps, PictureKind kind = PictureKind::colour_indices,
                                         const EncoderSettings& settings = {});
std::optional<std::string> write_picture(const std::uint8_t* picture);
// Flushes the encoder and closes the files; the reason if any of it failed.
std::optional<std::string> close_pictures();

// Whether path ends in the extension (".png"), in any case of letters.
bool has_extension(const std::string& path, const std::string& extension);

// The name of picture number in a printf pattern with one %d or %0Nd, always
// zero-padded as FFmpeg does ("%%" is a percent sign); nothing if the
// pattern has no such single number.
std::optional<std::string> picture_name(const std::string& pattern, std::int64_t number);

}  // namespace zqv
