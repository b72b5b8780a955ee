// The Linux build's picture outputs, through FFmpeg's libraries: H.264 in
// .mp4, VP9 in .webm, lossless FFV1 in .mkv, GIF, and PNG sequences. PNG
// and GIF take the colour indices with the colour table as palette, FFV1
// the colours, H.264 and VP9 YUV converted from the palette by swscale.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstring>

#include "app/program.h"
#include "tool/tool.h"

namespace {

struct PictureFormat {
    const char* extension;
    const char* muxer;
    const char* encoder;
    AVPixelFormat pixels;
    const char* options;  // the encoder's, as key=value:key=value
};

// The encoders bound the export's speed, so each runs on every core at a fast
// setting. x264's ultrafast at CRF 20: the pictures' fine detail makes
// superfast's CABAC and analysis cost 1.6 times the CPU, for 29 % fewer
// bytes. VP9's real-time mode. FFV1's default Golomb-Rice coder (its range
// coder takes twice as long) in 4 slices for the threads.
constexpr PictureFormat picture_formats[] = {
    {".mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, "preset=ultrafast:crf=20"},
    {".webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "deadline=realtime:cpu-used=8:row-mt=1:crf=30:b=0"},
    {".mkv", "matroska", "ffv1", AV_PIX_FMT_0RGB32, "level=3:slices=4"},
    {".gif", "gif", "gif", AV_PIX_FMT_PAL8, ""},
    // zlib level 3: 45 % faster than the default 6, for 4 % more bytes.
    {".png", "image2", "png", AV_PIX_FMT_PAL8, "compression_level=3"},
};

AVFormatContext* muxer;
AVStream* stream;
AVCodecContext* encoder;
AVFrame* frame;
AVPacket* packet;
SwsContext* converter;
std::int64_t pictures_sent;

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

// Loads a picture of colour indices, top row first, into the frame's format.
int load_frame(const std::uint8_t* picture)
{
    const int code = av_frame_make_writable(frame);  // the encoder may still hold the last one
    if (code < 0)
        return code;
    const int width = frame->width, height = frame->height;
    if (frame->format == AV_PIX_FMT_YUV420P) {
        const std::uint8_t* source[4] = {picture, reinterpret_cast<const std::uint8_t*>(argb.data())};
        const int source_lines[4] = {width, 0};
        sws_scale(converter, source, source_lines, 0, height, frame->data, frame->linesize);
        return 0;
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* indices = picture + static_cast<std::size_t>(y) * width;
        std::uint8_t* line = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        if (frame->format == AV_PIX_FMT_PAL8) {
            std::memcpy(line, indices, width);
        } else {
            for (int x = 0; x < width; ++x)
                std::memcpy(line + 4 * x, &argb[indices[x]], 4);  // 0RGB32: the word in native order
        }
    }
    if (frame->format == AV_PIX_FMT_PAL8)
        std::memcpy(frame->data[1], argb.data(), sizeof argb);
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

void free_output()
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

// The muxer, encoder, frame and converter of a new output; the FFmpeg
// error code on failure.
int open_output(const PictureFormat& format, const std::string& write_path, int width, int height, int fps)
{
    av_log_set_level(AV_LOG_QUIET);  // the reasons reach the user in zqvtool's own one-line errors
    int code = avformat_alloc_output_context2(&muxer, nullptr, format.muxer, write_path.c_str());
    if (code < 0)
        return code;
    const AVCodec* codec = avcodec_find_encoder_by_name(format.encoder);
    if (codec == nullptr)
        return AVERROR_ENCODER_NOT_FOUND;
    stream = avformat_new_stream(muxer, nullptr);
    encoder = avcodec_alloc_context3(codec);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (stream == nullptr || encoder == nullptr || frame == nullptr || packet == nullptr)
        return AVERROR(ENOMEM);
    encoder->width = frame->width = width;
    encoder->height = frame->height = height;
    encoder->pix_fmt = format.pixels;
    frame->format = format.pixels;
    encoder->time_base = {1, fps};
    encoder->framerate = {fps, 1};
    encoder->thread_count = 0;  // as many as there are cores
    if ((muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (format.pixels == AV_PIX_FMT_YUV420P) {
        // swscale's conversion from the palette: BT.601 in the limited range.
        encoder->colorspace = AVCOL_SPC_SMPTE170M;
        encoder->color_range = AVCOL_RANGE_MPEG;
        converter = sws_getContext(width, height, AV_PIX_FMT_PAL8, width, height, AV_PIX_FMT_YUV420P, SWS_POINT,
                                   nullptr, nullptr, nullptr);
        if (converter == nullptr)
            return AVERROR(ENOMEM);
    }
    AVDictionary* settings = nullptr;
    av_dict_parse_string(&settings, format.options, "=", ":", 0);
    code = avcodec_open2(encoder, codec, &settings);
    av_dict_free(&settings);
    if (code >= 0)
        code = av_frame_get_buffer(frame, 0);
    if (code >= 0)
        code = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (code < 0)
        return code;
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    if ((muxer->oformat->flags & AVFMT_NOFILE) == 0) {  // image2 opens each picture's file itself
        code = avio_open(&muxer->pb, write_path.c_str(), AVIO_FLAG_WRITE);
        if (code < 0)
            return code;
    }
    return avformat_write_header(muxer, nullptr);
}

}  // namespace

std::optional<std::string> open_pictures(const std::string& path, const std::string& write_path, int width,
                                         int height, int fps)
{
    for (const PictureFormat& format : picture_formats) {
        if (!path.ends_with(format.extension))
            continue;
        pictures_sent = 0;
        if (const int code = open_output(format, write_path, width, height, fps); code < 0) {
            free_output();
            return (code == AVERROR_ENCODER_NOT_FOUND ? format.encoder + std::string(": ") : "") + error_text(code);
        }
        return std::nullopt;
    }
    return "unknown format: the name ends in .mp4, .webm, .mkv or .gif, or is a pattern such as out/%05d.png";
}

std::optional<std::string> write_picture(const std::uint8_t* picture)
{
    int code = load_frame(picture);
    frame->pts = pictures_sent++;
    if (code >= 0)
        code = encode(frame);
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}

std::optional<std::string> close_pictures()
{
    int code = encode(nullptr);
    if (code >= 0)
        code = av_write_trailer(muxer);
    const int closed = avio_closep(&muxer->pb);
    free_output();
    if (code >= 0)
        code = closed;
    if (code < 0)
        return error_text(code);
    return std::nullopt;
}
