// The Windows build's picture outputs: PNG sequences through
// stb_image_write, in the program's colours. Video and GIF files are the
// Linux build's.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/program.h"
#include "tool/pictures.h"

namespace zqv {

namespace {

std::string pattern;  // of the files' names as written
int picture_width, picture_height;
PictureKind picture_kind;
std::int64_t pictures_written;
std::vector<std::uint8_t> rgb;  // one picture, three bytes a pixel
std::vector<std::uint8_t> png;  // its file

void append_bytes(void*, void* data, int size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    png.insert(png.end(), bytes, bytes + size);
}

}  // namespace

std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int, PictureKind kind, const EncoderSettings&)
{
    if (!path.ends_with(".png"))
        return "video and GIF files are made by the Linux build; this one writes PNG pictures (a pattern such as "
               "out/%05d.png)";
    pattern = write_path;
    picture_width = width;
    picture_height = height;
    picture_kind = kind;
    pictures_written = 0;
    return std::nullopt;
}

std::optional<std::string> write_picture(const std::uint8_t* picture)
{
    const std::size_t pixels = static_cast<std::size_t>(picture_width) * picture_height;
    rgb.resize(3 * pixels);
    if (picture_kind == PictureKind::rgb)
        std::memcpy(rgb.data(), picture, rgb.size());
    for (std::size_t i = 0; picture_kind == PictureKind::colour_indices && i < pixels; ++i) {
        const Rgb colour = colour_table[picture[i]];
        rgb[3 * i] = colour.red;
        rgb[3 * i + 1] = colour.green;
        rgb[3 * i + 2] = colour.blue;
    }
    png.clear();
    if (stbi_write_png_to_func(append_bytes, nullptr, picture_width, picture_height, 3, rgb.data(),
                               3 * picture_width) == 0)
        return "the PNG encoder failed";

    const std::string name = *picture_name(pattern, ++pictures_written);
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr)
        return std::strerror(errno);
    errno = 0;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    if (std::fclose(file) != 0 || !written)
        return errno != 0 ? std::strerror(errno) : "the disk took only part of a picture";
    return std::nullopt;
}

std::optional<std::string> close_pictures()
{
    return std::nullopt;
}

}  // namespace zqv
