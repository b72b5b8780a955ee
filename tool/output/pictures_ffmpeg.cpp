// The Linux build's picture outputs, through FFmpeg's libraries: H.264 in
// .mp4, VP9 4:4:4 in .webm, lossless FFV1 in .mkv, GIF, and PNG sequences. PNG
// and GIF take colour indices with the colour table as palette, FFV1 the
// colours, H.264 and VP9 YUV converted by swscale; RGB pictures go to PNG
// as they are and through swscale to the others.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstring>
#include <string_view>

#include "app/program.h"
#include "tool/output/pictures.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

struct PictureFormat {
    const char* extension;
    const char* muxer;
    const char* muxer_options;  // as key=value:key=value
    const char* encoder;
    AVPixelFormat pixels;      // the encoder's, for colour indices
    AVPixelFormat rgb_pixels;  // the encoder's, for RGB pictures
    const char* options;       // the encoder's, as key=value:key=value
    int crf_max;               // the largest crf; 0: a lossless format, which takes no crf or preset
    const char* preset_option;  // the encoder's option that --preset sets
    const char* presets;        // its values, each followed by a space
};

constexpr const char* x264_presets = "ultrafast superfast veryfast faster fast medium slow slower veryslow placebo ";

// The lossy defaults, measured on a 14-frame recording of the built-in view
// (240 pictures of 640 x 480, 50 a second), RGB PSNR against the lossless
// export, CPU seconds of the encoder alone:
//   H.264 4:2:0 ultrafast crf 20   5.6 Mbit/s  27.5 dB (luma 48.6)  0.34 s
//   H.264 4:2:0 veryfast  crf 20   2.2 Mbit/s  27.0 dB (luma 40.5)  1.04 s
//   H.264 4:2:0 veryfast  crf 15   3.4 Mbit/s  27.4 dB (luma 45.1)  1.12 s
//   H.264 4:4:4 ultrafast crf 20   8.3 Mbit/s  39.3 dB              0.58 s
//   VP9   4:2:0 realtime 8 crf 30  4.2 Mbit/s  27.4 dB              1.46 s
//   VP9   4:4:4 realtime 8 crf 30 10.2 Mbit/s  39.3 dB              2.06 s
//   VP9   4:4:4 realtime 8 crf 20 13.4 Mbit/s  43.5 dB              1.91 s
//   VP9   4:4:4 good 5     crf 30  7.3 Mbit/s  39.8 dB             12.8 s
// 4:2:0 itself caps the RGB PSNR at 27.6 dB (one colour for four pixels of
// the set's single-pixel detail), whatever the encoder does. Browsers play
// H.264 in 4:2:0 only, so .mp4 keeps it, at veryfast crf 15: 40 % fewer bytes
// than ultrafast crf 20 for 0.1 dB, and about 315 pictures a second with the
// pictures' making on 2 cores, over the 250 (5 times real time) asked of it.
// VP9 4:4:4 (profile 1) plays in Chrome and Firefox, so .webm takes it: 12 dB
// more than 4:2:0; real-time at cpu-used 8, as good's 6 times the CPU buys
// 0.5 dB. FFV1's default Golomb-Rice coder (its range coder takes twice as
// long) in 4 slices for the threads.
constexpr PictureFormat picture_formats[] = {
    // The index (moov) at the front, so that a browser plays while it loads.
    {".mp4", "mp4", "movflags=+faststart", "libx264", AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P,
     "preset=veryfast:crf=15", 51, "preset", x264_presets},
    {".webm", "webm", "", "libvpx-vp9", AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV444P,
     "deadline=realtime:cpu-used=8:row-mt=1:crf=30:b=0", 63, "cpu-used", "0 1 2 3 4 5 6 7 8 "},
    {".mkv", "matroska", "", "ffv1", AV_PIX_FMT_0RGB32, AV_PIX_FMT_0RGB32, "level=3:slices=4", 0, "", ""},
    // RGB pictures in GIF's 256 colours: 3 bits of red and green, 2 of blue.
    {".gif", "gif", "", "gif", AV_PIX_FMT_PAL8, AV_PIX_FMT_RGB8, "", 0, "", ""},
    // zlib level 3: 45 % faster than the default 6, for 4 % more bytes.
    {".png", "image2", "", "png", AV_PIX_FMT_PAL8, AV_PIX_FMT_RGB24, "compression_level=3", 0, "", ""},
};

// The one open output: the muxer and its stream, the encoder, the frame it
// is sent and the packets it returns, and the converter into the encoder's
// pixel format where the pictures need one.
struct OutputStream {
    std::string write_pattern;  // of a PNG sequence's temporary names; empty for one file
    AVPixelFormat source;  // the pictures': PAL8 for colour indices, or RGB24
    AVFormatContext* muxer;
    AVStream* stream;
    AVCodecContext* encoder;
    AVFrame* frame;
    AVPacket* packet;
    SwsContext* converter;
    std::int64_t pictures_sent;
};

OutputStream output;

// The colour table as FFmpeg's palette entries: opaque ARGB words.
const std::array<std::uint32_t, 256> argb = [] {
    std::array<std::uint32_t, 256> words{};
    for (int i = 0; i < 256; ++i)
        words[i] = 0xff000000u | colour_table[i].red << 16 | colour_table[i].green << 8 | colour_table[i].blue;
    return words;
}();

std::string error_text(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE];
    av_strerror(code, text, sizeof text);
    return text;
}

// Loads a picture, top row first, into the frame's format.
int load_frame(const std::uint8_t* picture)
{
    AVFrame* frame = output.frame;
    const int code = av_frame_make_writable(frame);  // the encoder may still hold the last one
    if (code < 0)
        return code;
    const int width = frame->width, height = frame->height;
    if (output.converter != nullptr) {
        const bool indices = output.source == AV_PIX_FMT_PAL8;
        const std::uint8_t* source[4] = {picture, indices ? reinterpret_cast<const std::uint8_t*>(argb.data()) : nullptr};
        const int source_lines[4] = {indices ? width : 3 * width, 0};
        sws_scale(output.converter, source, source_lines, 0, height, frame->data, frame->linesize);
        return 0;
    }
    const int source_bytes = output.source == AV_PIX_FMT_PAL8 ? 1 : 3;  // per pixel
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* pixels = picture + static_cast<std::size_t>(y) * width * source_bytes;
        std::uint8_t* line = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        if (frame->format == output.source) {
            std::memcpy(line, pixels, static_cast<std::size_t>(width) * source_bytes);
        } else if (source_bytes == 1) {
            for (int x = 0; x < width; ++x)
                std::memcpy(line + 4 * x, &argb[pixels[x]], 4);  // 0RGB32: the word in native order
        } else {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t word = 0xff000000u | pixels[3 * x] << 16 | pixels[3 * x + 1] << 8 | pixels[3 * x + 2];
                std::memcpy(line + 4 * x, &word, 4);
            }
        }
    }
    if (frame->format == AV_PIX_FMT_PAL8)
        std::memcpy(frame->data[1], argb.data(), sizeof argb);
    return 0;
}

// Sends a frame (null: the end) and writes every packet that comes back.
int encode(AVFrame* sent)
{
    OutputStream& o = output;
    int code = avcodec_send_frame(o.encoder, sent);
    while (code >= 0) {
        code = avcodec_receive_packet(o.encoder, o.packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
            return 0;
        if (code < 0)
            return code;
        av_packet_rescale_ts(o.packet, o.encoder->time_base, o.stream->time_base);
        o.packet->stream_index = o.stream->index;
        code = av_interleaved_write_frame(o.muxer, o.packet);
    }
    return code;
}

void free_output()
{
    OutputStream& o = output;
    if (o.muxer != nullptr)
        avio_closep(&o.muxer->pb);
    avformat_free_context(o.muxer);
    avcodec_free_context(&o.encoder);
    av_frame_free(&o.frame);
    av_packet_free(&o.packet);
    sws_freeContext(o.converter);
    o = {};
}

// The muxer of the format, with its one stream; FFmpeg's error code on failure.
int open_muxer(const PictureFormat& format, const std::string& write_path)
{
    const int code = avformat_alloc_output_context2(&output.muxer, nullptr, format.muxer, write_path.c_str());
    if (code < 0)
        return code;
    output.stream = avformat_new_stream(output.muxer, nullptr);
    return output.stream == nullptr ? AVERROR(ENOMEM) : 0;
}

// Whether pictures of this height are HD (720 lines and up), whose video
// players show by BT.709.
bool high_definition(int height)
{
    return height >= 720;
}

// The encoder for width x height pictures at fps, its frame and packet, and
// the stream's parameters from it.
int open_encoder(const PictureFormat& format, AVPixelFormat pixels, int width, int height, int fps,
                 const EncoderSettings& chosen)
{
    OutputStream& o = output;
    const AVCodec* codec = avcodec_find_encoder_by_name(format.encoder);
    if (codec == nullptr)
        return AVERROR_ENCODER_NOT_FOUND;
    o.encoder = avcodec_alloc_context3(codec);
    o.frame = av_frame_alloc();
    o.packet = av_packet_alloc();
    if (o.encoder == nullptr || o.frame == nullptr || o.packet == nullptr)
        return AVERROR(ENOMEM);
    o.encoder->width = o.frame->width = width;
    o.encoder->height = o.frame->height = height;
    o.encoder->pix_fmt = pixels;
    o.frame->format = pixels;
    o.encoder->time_base = {1, fps};
    o.encoder->framerate = {fps, 1};
    o.encoder->thread_count = 0;  // as many as there are cores
    if ((o.muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        o.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (pixels == AV_PIX_FMT_YUV420P || pixels == AV_PIX_FMT_YUV444P) {
        // The conversion into YUV (open_converter), in the limited range:
        // BT.709 for HD, tagged in full, as players assume for HD whatever
        // the tags; BT.601, the convention, below it.
        o.encoder->color_range = AVCOL_RANGE_MPEG;
        if (high_definition(height)) {
            o.encoder->colorspace = AVCOL_SPC_BT709;
            o.encoder->color_primaries = AVCOL_PRI_BT709;
            o.encoder->color_trc = AVCOL_TRC_BT709;
        } else {
            o.encoder->colorspace = AVCOL_SPC_SMPTE170M;
        }
    }
    AVDictionary* settings = nullptr;
    av_dict_parse_string(&settings, format.options, "=", ":", 0);
    if (chosen.quality >= 0)
        av_dict_set_int(&settings, "crf", chosen.quality, 0);
    if (!chosen.preset.empty())
        av_dict_set(&settings, format.preset_option, chosen.preset.c_str(), 0);
    int code = avcodec_open2(o.encoder, codec, &settings);
    av_dict_free(&settings);
    if (code >= 0)
        code = av_frame_get_buffer(o.frame, 0);
    if (code >= 0)
        code = avcodec_parameters_from_context(o.stream->codecpar, o.encoder);
    o.stream->time_base = o.encoder->time_base;
    o.stream->avg_frame_rate = o.encoder->framerate;
    return code;
}

// The conversion into the encoder's pixel format, where the pictures need
// swscale's: into YUV, or RGB into GIF's colours. 4:2:0's colour sample of
// four pixels is their mean (SWS_AREA): 27.6 dB RGB PSNR where one pixel's
// colour (SWS_POINT) gives 26.8.
int open_converter(AVPixelFormat pixels, int width, int height)
{
    if (pixels != AV_PIX_FMT_YUV420P && pixels != AV_PIX_FMT_YUV444P && pixels != AV_PIX_FMT_RGB8)
        return 0;
    const int filter = pixels == AV_PIX_FMT_YUV420P ? SWS_AREA : SWS_POINT;
    output.converter = sws_getContext(width, height, output.source, width, height, pixels, filter, nullptr,
                                      nullptr, nullptr);
    if (output.converter == nullptr)
        return AVERROR(ENOMEM);
    if (pixels != AV_PIX_FMT_RGB8 && high_definition(height)) {
        // From full-range RGB into limited-range BT.709 YUV; the rest as swscale's defaults.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        if (sws_setColorspaceDetails(output.converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16) < 0)
            return AVERROR(EINVAL);
    }
    return 0;
}

// Opens the file (image2 opens each picture's file itself) and writes the header.
int open_file(const PictureFormat& format, const std::string& write_path)
{
    AVFormatContext* muxer = output.muxer;
    if ((muxer->oformat->flags & AVFMT_NOFILE) == 0) {
        const int code = avio_open(&muxer->pb, write_path.c_str(), AVIO_FLAG_WRITE);
        if (code < 0)
            return code;
    } else {
        output.write_pattern = write_path;
    }
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, format.muxer_options, "=", ":", 0);
    const int code = avformat_write_header(muxer, &options);
    av_dict_free(&options);
    return code;
}

const PictureFormat* format_of(const std::string& path)
{
    for (const PictureFormat& format : picture_formats)
        if (has_extension(path, format.extension))
            return &format;
    return nullptr;
}

int open_output(const PictureFormat& format, const std::string& write_path, int width, int height, int fps,
                PictureKind kind, const EncoderSettings& settings)
{
    av_log_set_level(AV_LOG_QUIET);  // the reasons reach the user in zqvtool's own one-line errors
    const bool indices = kind == PictureKind::colour_indices;
    output.source = indices ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_RGB24;
    AVPixelFormat pixels = indices ? format.pixels : format.rgb_pixels;
    if (!settings.pixels.empty())
        pixels = settings.pixels == "yuv444" ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
    int code = open_muxer(format, write_path);
    if (code >= 0)
        code = open_encoder(format, pixels, width, height, fps, settings);
    if (code >= 0)
        code = open_converter(pixels, width, height);
    if (code >= 0)
        code = open_file(format, write_path);
    return code;
}

}  // namespace

const char* const picture_quality_help =
    "the quality of .mp4 (H.264: 0 to 51, default 15) and .webm (VP9: 0 to 63, default 30), their constant rate "
    "factor: lower is better and larger";
const char* const picture_pixels_help =
    "the colour sampling of .mp4 and .webm: yuv420, one colour for each 2 x 2 pixels, which every player plays "
    "(the default of .mp4), or yuv444, every pixel's own colour (the default of .webm, VP9 profile 1, which "
    "Chrome and Firefox play; H.264 High 4:4:4 plays in desktop players such as VLC and mpv, but not in most "
    "browsers and phones)";
const char* const picture_preset_help =
    "the encoder's speed: x264's preset for .mp4 (ultrafast to placebo, default veryfast), VP9's cpu-used for "
    ".webm (0 slowest to 8 fastest, default 8)";

// GIF's delays are whole hundredths of a second, and common players show
// delays under 2 hundredths as 10: a GIF shows the rates that divide 100
// up to 50 faithfully, and no others.
std::optional<std::string> check_pictures(const std::string& path, int fps, const EncoderSettings& settings)
{
    const PictureFormat* format = format_of(path);
    if (format == nullptr)
        return "unknown format: the name ends in .mp4, .webm, .mkv or .gif, or is a pattern such as out/%05d.png";
    if (std::strcmp(format->extension, ".gif") == 0 && (fps > 50 || 100 % fps != 0))
        return "a GIF shows 1, 2, 4, 5, 10, 20, 25 or 50 pictures a second, not " + std::to_string(fps) +
               ": its delays are whole hundredths of a second, and players slow delays under 2 hundredths down "
               "to 10";
    if ((settings.quality >= 0 || !settings.preset.empty() || !settings.pixels.empty()) && format->crf_max == 0)
        return std::string("--crf, --preset and --pixels set the lossy formats, .mp4 and .webm, not ") +
               format->extension;
    if (!settings.pixels.empty() && settings.pixels != "yuv420" && settings.pixels != "yuv444")
        return "--pixels is yuv420 or yuv444";
    if (settings.quality > format->crf_max)
        return std::string("--crf of ") + format->extension + " lies in 0 to " + std::to_string(format->crf_max);
    if (!settings.preset.empty() && std::string_view(format->presets).find(settings.preset + ' ') != 0 &&
        std::string_view(format->presets).find(' ' + settings.preset + ' ') == std::string_view::npos)
        return std::string("--preset of ") + format->extension + " is one of: " + format->presets;
    return std::nullopt;
}

std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps, PictureKind kind, const EncoderSettings& settings)
{
    const PictureFormat* format = format_of(path);
    if (format == nullptr)
        return check_pictures(path, fps);
    if (const int code = open_output(*format, write_path, width, height, fps, kind, settings); code < 0) {
        free_output();
        return (code == AVERROR_ENCODER_NOT_FOUND ? format->encoder + std::string(": ") : "") + error_text(code);
    }
    return std::nullopt;
}

std::optional<std::string> write_picture(const std::uint8_t* picture)
{
    // image2 would open the picture's file whatever stood there: it is made new first.
    if (!output.write_pattern.empty()) {
        const std::string name = *picture_name(output.write_pattern, output.pictures_sent + 1);
        if (std::optional<std::string> reason = create_new_file(name))
            return reason;
    }
    int code = load_frame(picture);
    output.frame->pts = output.pictures_sent++;
    if (code >= 0)
        code = encode(output.frame);
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}

std::optional<std::string> close_pictures()
{
    int code = encode(nullptr);
    if (code >= 0)
        code = av_write_trailer(output.muxer);
    const int closed = avio_closep(&output.muxer->pb);
    free_output();
    if (code >= 0)
        code = closed;
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}

}  // namespace zqv
