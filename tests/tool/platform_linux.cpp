// The Linux side of the zqvtool tests: a shell runs it, and FFmpeg's
// libraries decode its pictures.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/wait.h>

#include <cstdlib>

#include "test_support.h"
#include "tool_test_support.h"

using namespace zqv;

const char* const device_path = "/dev/zero";
const bool tool_writes_video = true;

int run_zqvtool(const std::string& arguments)
{
    const int status = std::system((ZQVTOOL_PATH " " + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Pictures decode_pictures(const std::string& path)
{
    Pictures pictures;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return pictures;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    pictures.rate_num = format->streams[index]->avg_frame_rate.num;
    pictures.rate_den = format->streams[index]->avg_frame_rate.den;
    if (const char* name = av_get_pix_fmt_name(decoder->pix_fmt))
        pictures.pixels = name;
    const AVCodecParameters* tags = format->streams[index]->codecpar;
    for (const char* name : {av_color_space_name(tags->color_space), av_color_primaries_name(tags->color_primaries),
                             av_color_transfer_name(tags->color_trc), av_color_range_name(tags->color_range)})
        pictures.colours += std::string(pictures.colours.empty() ? "" : "/") + (name != nullptr ? name : "?");
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* to_rgb = nullptr;
    std::vector<std::uint8_t> rgb;
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            pictures.width = frame->width;
            pictures.height = frame->height;
            to_rgb = sws_getCachedContext(to_rgb, frame->width, frame->height, AVPixelFormat(frame->format),
                                          frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr,
                                          nullptr, nullptr);
            rgb.resize(3u * frame->width * frame->height);
            std::uint8_t* planes[4] = {rgb.data()};
            const int lines[4] = {3 * frame->width};
            sws_scale(to_rgb, frame->data, frame->linesize, 0, frame->height, planes, lines);
            pictures.hashes.push_back(fnv1a64(rgb.data(), rgb.size()));
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    sws_freeContext(to_rgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return pictures;
}
