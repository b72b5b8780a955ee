// The Linux build's picture outputs, through FFmpeg's libraries: H.264 in
// .mp4, VP9 in .webm, lossless FFV1 in .mkv, GIF, and single PNG files.
// PNG and GIF take the colour indices with the colour table as palette,
// FFV1 the colours, H.264 and VP9 YUV converted from the palette by swscale.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstring>

#include "app/program.h"
#include "tool/tool.h"

namespace {

struct VideoFormat {
    const char* extension;
    const char* muxer;
    const char* encoder;
    AVPixelFormat pixels;
    const char* options;  // the encoder's, as key=value:key=value
};

// Fast settings that keep each lossy format close to the pictures: the
// encoders are what bound the export's speed.
constexpr VideoFormat video_formats[] = {
    {".mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, "preset=veryfast:crf=20"},
    {".webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "deadline=realtime:cpu-used=8:row-mt=1:crf=30:b=0"},
    {".mkv", "matroska", "ffv1", AV_PIX_FMT_0RGB32, "level=3:slices=4"},
    {".gif", "gif", "gif", AV_PIX_FMT_PAL8, ""},
};

AVFormatContext* muxer;
AVStream* stream;
AVCodecContext* encoder;
AVFrame* frame;
AVPacket* packet;
SwsContext* converter;
std::int64_t pictures_sent;

AVCodecContext* png_encoder;
AVFrame* png_frame;
AVPacket* png_packet;

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

// An open encoder of width x height pictures and a frame to fill for it;
// the FFmpeg error code on failure.
int open_encoder(const char* name, AVPixelFormat pixels, int width, int height, int fps, const char* options,
                 int threads, bool global_header, AVCodecContext*& context, AVFrame*& picture_frame)
{
    av_log_set_level(AV_LOG_ERROR);  // the libraries' own lines only for errors
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr)
        return AVERROR_ENCODER_NOT_FOUND;
    context = avcodec_alloc_context3(codec);
    picture_frame = av_frame_alloc();
    if (context == nullptr || picture_frame == nullptr)
        return AVERROR(ENOMEM);
    context->width = width;
    context->height = height;
    context->pix_fmt = pixels;
    context->time_base = {1, fps};
    context->framerate = {fps, 1};
    context->thread_count = threads;
    if (pixels == AV_PIX_FMT_YUV420P) {
        // swscale's conversion: BT.601 in the limited range.
        context->colorspace = AVCOL_SPC_SMPTE170M;
        context->color_range = AVCOL_RANGE_MPEG;
    }
    if (global_header)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    av_dict_parse_string(&settings, options, "=", ":", 0);
    int code = avcodec_open2(context, codec, &settings);
    av_dict_free(&settings);
    if (code < 0)
        return code;
    picture_frame->format = pixels;
    picture_frame->width = width;
    picture_frame->height = height;
    return av_frame_get_buffer(picture_frame, 0);
}

// Loads a picture of colour indices, top row first, into the frame's format.
int load_frame(AVFrame* target, const std::uint8_t* picture)
{
    int code = av_frame_make_writable(target);  // the encoder may still hold the last one
    if (code < 0)
        return code;
    const int width = target->width, height = target->height;
    if (target->format == AV_PIX_FMT_YUV420P) {
        const std::uint8_t* source[4] = {picture, reinterpret_cast<const std::uint8_t*>(argb.data())};
        const int source_lines[4] = {width, 0};
        sws_scale(converter, source, source_lines, 0, height, target->data, target->linesize);
        return 0;
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* indices = picture + static_cast<std::size_t>(y) * width;
        std::uint8_t* line = target->data[0] + static_cast<std::ptrdiff_t>(y) * target->linesize[0];
        if (target->format == AV_PIX_FMT_PAL8) {
            std::memcpy(line, indices, width);
        } else {
            for (int x = 0; x < width; ++x)
                std::memcpy(line + 4 * x, &argb[indices[x]], 4);  // 0RGB32: the word in native order
        }
    }
    if (target->format == AV_PIX_FMT_PAL8)
        std::memcpy(target->data[1], argb.data(), sizeof argb);
    return 0;
}

// Sends a frame (null: the end) and writes every packet that comes back.
int encode(AVFrame* sent)
{
    int code = avcodec_send_frame(encoder, sent);
    while (code >= 0) {
        code = avcodec_receive_packet(encoder, packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
            return 0;
        if (code < 0)
            return code;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        code = av_interleaved_write_frame(muxer, packet);
    }
    return code;
}

void free_video()
{
    if (muxer != nullptr)
        avio_closep(&muxer->pb);
    avformat_free_context(muxer);
    muxer = nullptr;
    avcodec_free_context(&encoder);
    av_frame_free(&frame);
    av_packet_free(&packet);
    sws_freeContext(converter);
    converter = nullptr;
}

int open_file(const VideoFormat& format, const std::string& write_path, int width, int height, int fps)
{
    int code = avformat_alloc_output_context2(&muxer, nullptr, format.muxer, nullptr);
    if (code < 0)
        return code;
    stream = avformat_new_stream(muxer, nullptr);
    packet = av_packet_alloc();
    if (stream == nullptr || packet == nullptr)
        return AVERROR(ENOMEM);
    code = open_encoder(format.encoder, format.pixels, width, height, fps, format.options, 0,  // 0: every core
                        (muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0, encoder, frame);
    if (code < 0)
        return code;
    if (format.pixels == AV_PIX_FMT_YUV420P) {
        converter = sws_getContext(width, height, AV_PIX_FMT_PAL8, width, height, AV_PIX_FMT_YUV420P, SWS_POINT,
                                   nullptr, nullptr, nullptr);
        if (converter == nullptr)
            return AVERROR(ENOMEM);
    }
    code = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (code < 0)
        return code;
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    code = avio_open(&muxer->pb, write_path.c_str(), AVIO_FLAG_WRITE);
    if (code < 0)
        return code;
    return avformat_write_header(muxer, nullptr);
}

}  // namespace

std::optional<std::string> open_video(const std::string& path, const std::string& write_path, int width, int height,
                                      int fps)
{
    for (const VideoFormat& format : video_formats) {
        if (!path.ends_with(format.extension))
            continue;
        pictures_sent = 0;
        if (const int code = open_file(format, write_path, width, height, fps); code < 0) {
            free_video();
            return format.encoder + std::string(": ") + error_text(code);
        }
        return std::nullopt;
    }
    return "unknown format: the name ends in .mp4, .webm, .mkv or .gif, or is a pattern such as out/%05d.png";
}

std::optional<std::string> write_video(const std::uint8_t* picture)
{
    int code = load_frame(frame, picture);
    frame->pts = pictures_sent++;
    if (code >= 0)
        code = encode(frame);
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}

std::optional<std::string> close_video()
{
    int code = encode(nullptr);
    if (code >= 0)
        code = av_write_trailer(muxer);
    const int closed = avio_closep(&muxer->pb);
    free_video();
    if (code >= 0)
        code = closed;
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}

std::optional<std::string> encode_png(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& png)
{
    int code = 0;
    if (png_encoder == nullptr) {
        png_packet = av_packet_alloc();
        // One thread: each picture's file comes back before the next picture goes in.
        code = open_encoder("png", AV_PIX_FMT_PAL8, width, height, 1, "", 1, false, png_encoder, png_frame);
    }
    if (code >= 0)
        code = load_frame(png_frame, picture);
    if (code >= 0)
        code = avcodec_send_frame(png_encoder, png_frame);
    if (code >= 0)
        code = avcodec_receive_packet(png_encoder, png_packet);
    if (code < 0)
        return "png: " + error_text(code);
    png.assign(png_packet->data, png_packet->data + png_packet->size);
    av_packet_unref(png_packet);
    return std::nullopt;
}
