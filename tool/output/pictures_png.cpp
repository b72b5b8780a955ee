// The Windows build's picture outputs: PNG sequences written through zlib,
// colour indices as palette pictures with the colour table as palette (as
// the Linux build writes them), RGB pictures as RGB ones. Video and GIF
// files are the Linux build's.
#include <zlib.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "app/program.h"
#include "tool/output/pictures.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

// zlib level 3, as the Linux build's PNG encoder: 45 % faster than the
// default 6, for 4 % more bytes.
constexpr int png_compression = 3;

std::string pattern;  // of the files' names as written
int picture_width, picture_height;
PictureKind picture_kind;
std::int64_t pictures_written;
std::vector<std::uint8_t> rows;  // one picture's rows, each after its filter byte
std::vector<std::uint8_t> packed;  // the rows through zlib
std::vector<std::uint8_t> png;     // the picture's file

void put_u32(std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    png.insert(png.end(), bytes, bytes + 4);
}

// A chunk: its length, type and data, and the CRC of type and data.
void put_chunk(const char* type, const std::uint8_t* data, std::size_t size)
{
    put_u32(static_cast<std::uint32_t>(size));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data, data + size);
    put_u32(static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(size + 4))));
}

// The picture as a PNG file in png; false if zlib failed.
bool encode_png(const std::uint8_t* picture)
{
    const bool indices = picture_kind == PictureKind::colour_indices;
    const std::size_t row_bytes = static_cast<std::size_t>(picture_width) * (indices ? 1 : 3);
    rows.resize((row_bytes + 1) * picture_height);
    for (int y = 0; y < picture_height; ++y) {
        rows[y * (row_bytes + 1)] = 0;  // filter None, best for palette pictures, as the Linux build's
        std::memcpy(&rows[y * (row_bytes + 1) + 1], picture + y * row_bytes, row_bytes);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    packed.resize(packed_size);
    if (compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()), png_compression) != Z_OK)
        return false;

    png.assign({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    // Width and height, 8 bits a sample, palette (3) or RGB (2), zlib,
    // adaptive filters, no interlace.
    std::uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(picture_width) >> (24 - 8 * i));
        header[4 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(picture_height) >> (24 - 8 * i));
    }
    header[8] = 8;
    header[9] = indices ? 3 : 2;
    put_chunk("IHDR", header, sizeof header);
    if (indices) {
        std::uint8_t palette[3 * 256];
        for (int i = 0; i < 256; ++i) {
            palette[3 * i] = colour_table[i].red;
            palette[3 * i + 1] = colour_table[i].green;
            palette[3 * i + 2] = colour_table[i].blue;
        }
        put_chunk("PLTE", palette, sizeof palette);
    }
    put_chunk("IDAT", packed.data(), packed_size);
    put_chunk("IEND", nullptr, 0);
    return true;
}

}  // namespace

const char* const picture_quality_help = "the quality of the Linux build's videos (this build writes PNG pictures)";
const char* const picture_preset_help = "the encoder speed of the Linux build's videos";
const char* const picture_pixels_help = "the colour sampling of the Linux build's videos";

std::optional<std::string> check_pictures(const std::string& path, int, const EncoderSettings& settings)
{
    if (!has_extension(path, ".png"))
        return "video and GIF files are made by the Linux build; this one writes PNG pictures (a pattern such as "
               "out/%05d.png)";
    if (settings.quality >= 0 || !settings.preset.empty() || !settings.pixels.empty())
        return "--crf and --preset set the Linux build's videos, not PNG pictures";
    return std::nullopt;
}

std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps, PictureKind kind, const EncoderSettings& settings)
{
    if (std::optional<std::string> reason = check_pictures(path, fps, settings))
        return reason;
    pattern = write_path;
    picture_width = width;
    picture_height = height;
    picture_kind = kind;
    pictures_written = 0;
    return std::nullopt;
}

std::optional<std::string> write_picture(const std::uint8_t* picture)
{
    if (!encode_png(picture))
        return "zlib could not compress a picture";
    const std::string name = *picture_name(pattern, ++pictures_written);
    return write_new_file(name, png.data(), png.size());  // never over an existing file
}

std::optional<std::string> close_pictures()
{
    return std::nullopt;
}

}  // namespace zqv
