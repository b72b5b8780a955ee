// The Windows build's picture outputs: PNG files through stb_image_write,
// in the program's colours. Video and GIF files are the Linux build's.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include "app/program.h"
#include "tool/tool.h"

namespace {

std::vector<std::uint8_t> rgb;  // one picture, three bytes a pixel

void append_bytes(void* context, void* data, int size)
{
    auto* png = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    png->insert(png->end(), bytes, bytes + size);
}

}  // namespace

std::optional<std::string> open_pictures(const std::string&, const std::string&, int, int, int)
{
    return "video and GIF files are made by the Linux build; this one writes PNG pictures (a pattern such as "
           "out/%05d.png)";
}

std::optional<std::string> write_picture(const std::uint8_t*)
{
    return std::nullopt;
}

std::optional<std::string> close_pictures()
{
    return std::nullopt;
}

std::optional<std::string> encode_png(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& png)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    rgb.resize(3 * pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const Rgb colour = colour_table[picture[i]];
        rgb[3 * i] = colour.red;
        rgb[3 * i + 1] = colour.green;
        rgb[3 * i + 2] = colour.blue;
    }
    png.clear();
    if (stbi_write_png_to_func(append_bytes, &png, width, height, 3, rgb.data(), 3 * width) == 0)
        return "the PNG encoder failed";
    return std::nullopt;
}
