// zqvtool export: a recording as the program's playback shows it. The
// recording is opened and stepped exactly as the program's Open does, and
// every tick's display image becomes a picture, upright and upscaled, in a
// video or GIF file or a PNG sequence. Everything is written into new files
// under temporary names beside the output, which take the output's names
// only when the export is complete.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "tool/output/output_files.h"
#include "tool/output/pictures.h"
#include "tool/recordings/recording_checks.h"
#include "tool/subcommands.h"
#include "tool/system/progress.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace zqv {

namespace {

struct ExportOptions {
    std::string in, out;
    int step = 32;
    int fps = 50;
    int scale = 1;
    bool smooth = false;
    std::int64_t from = 0;
    std::int64_t to = -1;  // < 0: the last picture the file holds
    bool force = false;
    EncoderSettings settings;
};

std::vector<std::uint8_t> picture;  // the display image upright and upscaled

// The scales of the pictures within one doubling of the outermost level,
// from 640 up to below 1280: the playback's linear steps, or with smooth a
// constant ratio, about step pixels at the start of the doubling.
std::vector<std::int32_t> doubling_scales(const ExportOptions& options)
{
    std::vector<std::int32_t> scales;
    if (!options.smooth) {
        for (std::int32_t scale = min_scale; scale < turn_scale; scale += options.step)
            scales.push_back(scale);
        return scales;
    }
    // exp2 may differ in its last bit between C libraries; no 640 * 2^(j/n)
    // with n <= 640 lies within 3e-6 of a half, so the rounded scales do not.
    const long per_doubling = std::max(1L, std::lround(static_cast<double>(min_scale) / options.step));
    for (long j = 0; j < per_doubling; ++j)
        scales.push_back(static_cast<std::int32_t>(
            std::lround(min_scale * std::exp2(static_cast<double>(j) / static_cast<double>(per_doubling)))));
    return scales;
}

// The display image (row 0 at the bottom) top row first, every pixel
// repeated scale x scale times.
void make_picture(const DisplayBuffer& display, int scale)
{
    const std::size_t width = static_cast<std::size_t>(frame_width) * scale;
    picture.resize(width * frame_height * scale);
    std::uint8_t* row = picture.data();
    for (int y = frame_height - 1; y >= 0; --y) {
        const std::uint8_t* source = display.pixels + y * frame_width;
        if (scale == 1) {
            std::memcpy(row, source, frame_width);
        } else {
            std::uint8_t* target = row;
            for (int x = 0; x < frame_width; ++x)
                for (int copy = 0; copy < scale; ++copy)
                    *target++ = source[x];
        }
        for (int copy = 1; copy < scale; ++copy)
            std::memcpy(row + copy * width, row, width);
        row += width * scale;
    }
}

// Opens the recording and steps it as the program's Open does, one step per
// tick, and hands every picture whose outermost frame lies in from to to to
// the output; the reason if that failed.
std::optional<std::string> play(const ExportOptions& options, std::int64_t to, const std::vector<std::int32_t>& scales)
{
    set_zoom_step(options.step);
    if (const std::optional<std::string> reason = open_recording(options.in.c_str()))
        return options.in + ": " + *reason;
    generate_ring();
    std::int64_t frame = 0, done = 0;  // the outermost frame; the pictures written
    std::size_t in_doubling = 0;       // the picture's place in scales
    std::optional<std::string> failure;
    while (!failure && !interrupted() && frame <= to) {
        if (options.smooth) {
            const std::int32_t next = in_doubling + 1 < scales.size() ? scales[in_doubling + 1] : turn_scale;
            set_zoom_step(next - scales[in_doubling]);
        }
        const std::uint8_t ring_index = frame_ring().ring_index;
        if (frame < options.from) {
            advance_scale();  // no picture: nothing to compose
        } else {
            step_zoom();
            make_picture(display_buffer(), options.scale);
            if (const std::optional<std::string> reason = write_picture(picture.data()))
                failure = options.out + ": " + *reason;
            show_progress(++done);
        }
        const bool turned = frame_ring().ring_index != ring_index;
        frame += turned;
        in_doubling = turned ? 0 : in_doubling + 1;
    }
    end_recording();
    return failure;
}

int run_export(const ExportOptions& options)
{
    const std::string& out = options.out;
    if (const std::optional<std::string> reason = check_pictures(out, options.fps, options.settings)) {
        print_error(out + ": " + *reason);
        return exit_usage;
    }
    const bool png = has_extension(out, ".png");
    if (png && !picture_name(out, 1)) {
        print_error(out + ": PNG pictures need a pattern with one number, such as out/%05d.png");
        return exit_usage;
    }
    if (options.to >= 0 && options.from > options.to) {
        print_error("--from " + std::to_string(options.from) + " is after --to " + std::to_string(options.to));
        return exit_usage;
    }
    start_program();
    RecordingFile file;
    if (const std::optional<std::string> reason = check_recording(options.in, file)) {
        print_error(options.in + ": " + *reason);
        return exit_failed;
    }
    const std::int64_t last = file.whole_frames - levels_on_screen;  // the outermost frame of the last picture
    if (last < 0) {
        print_error(options.in + ": it holds " + std::to_string(file.whole_frames) +
                    " whole frames, and a picture shows " + std::to_string(levels_on_screen));
        return exit_failed;
    }
    const std::int64_t to = options.to < 0 ? last : options.to;
    if (to > last || options.from > last) {
        print_error("--from and --to must lie in 0 to " + std::to_string(last) + ", the outermost frames of " +
                    options.in + "'s pictures");
        return exit_usage;
    }
    const std::vector<std::int32_t> scales = doubling_scales(options);
    const std::int64_t total = (to - options.from + 1) * static_cast<std::int64_t>(scales.size());

    const std::vector<std::string> names = output_names(out, total);
    std::error_code error;
    for (const std::string& name : names) {
        if (std::filesystem::equivalent(options.in, name, error)) {
            print_error(name + ": it is the recording being exported");
            return exit_usage;
        }
    }
    if (const std::optional<std::string> reason = check_outputs(out, names, options.force)) {
        print_error(*reason);
        return exit_failed;
    }
    const int scale = options.scale;
    const std::optional<std::string> failure =
        write_pictures(out, names, options.force, frame_width * scale, frame_height * scale, options.fps,
                       PictureKind::colour_indices, options.settings, [&] {
                           start_progress("pictures", total);
                           const std::optional<std::string> played = play(options, to, scales);
                           end_progress();
                           return played;
                       });
    if (failure) {
        print_error(*failure);
        return interrupted() ? interrupt_exit_code() : exit_failed;
    }
    return 0;
}

}  // namespace

void setup_export(CLI::App& app)
{
    auto options = std::make_shared<ExportOptions>();
    CLI::App* exporter = app.add_subcommand("export", "turn a recording into a video, a GIF or PNG pictures");
    exporter->footer("Writes the zoom as the program's playback shows it: every tick's display image in the "
                     "program's colours, from the first picture to the last whose three levels hold frames of the "
                     "file. The format follows OUT's extension, in any case: .mp4 (H.264 4:2:0, which every "
                     "browser and player shows, though it blurs the colours of neighbouring pixels), .webm (VP9 "
                     "4:4:4, profile 1: every pixel's colour; Chrome, Firefox, VLC and mpv play it, Safari may "
                     "not), .mkv (lossless FFV1; VLC, mpv), .gif (the colour table as palette, lossless; at most "
                     "50 pictures a second, a rate that divides 100) or a pattern such as out/%05d.png (lossless "
                     "PNG pictures numbered from 1). Video and GIF files are made by the Linux build only. "
                     "Everything is written into new temporary files beside OUT, and nothing is left under OUT's "
                     "names unless the export is complete; --force replaces regular files only, and after it a "
                     "PNG pattern's folder holds no picture of the pattern numbered past the last one written."
                     "\n\n" + exit_codes_help);
    exporter->add_option("IN", options->in, "the recording to export")->required();
    exporter->add_option("OUT", options->out, "the output file or PNG pattern")->required();
    exporter->add_option("--step", options->step, "pixels the scale grows per picture, as in playback")
        ->check(CLI::Range(1, 640))
        ->capture_default_str();
    exporter->add_option("--fps", options->fps, "pictures per second (50: one per 20 ms tick)")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    exporter->add_option("--scale", options->scale, "repeat every pixel K x K times (2: 1280 x 960)")
        ->type_name("K")
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    exporter->add_flag("--smooth", options->smooth,
                       "zoom at an even, exponential rate instead of the playback's linear steps");
    // CLI::NonNegativeNumber would name its bound, the largest double, in 309 digits.
    const CLI::Validator frame_number(
        [](std::string& text) {
            return text.find_first_not_of("0123456789") == std::string::npos ? std::string()
                                                                              : "a frame number is 0 or more";
        },
        "FRAME");
    exporter->add_option("--from", options->from, "the outermost frame of the first picture")->check(frame_number);
    exporter->add_option("--to", options->to, "the outermost frame of the last picture")->check(frame_number);
    exporter->add_option("--crf", options->settings.quality, picture_quality_help)
        ->type_name("Q")
        ->check(CLI::Range(0, 63));
    exporter->add_option("--preset", options->settings.preset, picture_preset_help)->type_name("P");
    exporter->add_option("--pixels", options->settings.pixels, picture_pixels_help)->type_name("yuv420|yuv444");
    exporter->add_flag("--force", options->force, "replace OUT's files if they are regular files");
    exporter->callback([options] { exit_with(run_export(*options)); });
}

}  // namespace zqv
