// zqvtool export: a recording as the program's playback shows it. The
// recording is opened and stepped exactly as the program's Open does, and
// every tick's display image becomes a picture, upright and upscaled, in a
// video or GIF file or a PNG sequence. Everything is written under temporary
// names beside the output, which take the output's names only when the
// export is complete.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "tool/pictures.h"
#include "tool/progress.h"
#include "tool/recording_checks.h"
#include "tool/subcommands.h"
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

// Gives every output file its own name, or removes them all.
std::optional<std::string> finish_files(const std::vector<std::string>& names, bool keep)
{
    std::error_code error;
    for (const std::string& name : names) {
        if (keep)
            std::filesystem::rename(name + part_suffix, name, error);
        if (error)
            return "cannot rename " + name + part_suffix + " to " + name + ": " + error.message();
    }
    if (!keep)
        for (const std::string& name : names)
            std::filesystem::remove(name + part_suffix, error);
    return std::nullopt;
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
    if (to > last || options.from > to) {
        print_error("--from and --to must lie in 0 to " + std::to_string(last) + ", the outermost frames of " +
                    options.in + "'s pictures");
        return exit_usage;
    }
    const std::vector<std::int32_t> scales = doubling_scales(options);
    const std::int64_t total = (to - options.from + 1) * static_cast<std::int64_t>(scales.size());

    std::vector<std::string> names{options.out};  // of the output files
    if (options.out.ends_with(".png")) {
        if (!picture_name(options.out, 1)) {
            print_error(options.out + ": PNG pictures need a pattern with one number, such as out/%05d.png");
            return exit_usage;
        }
        names.clear();
        for (std::int64_t number = 1; number <= total; ++number)
            names.push_back(*picture_name(options.out, number));
    }
    std::error_code error;
    for (const std::string& name : names) {
        if (!options.force && std::filesystem::exists(name, error)) {
            print_error(name + ": the file exists (--force overwrites it)");
            return exit_failed;
        }
    }
    const std::filesystem::path folder = std::filesystem::path(options.out).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        print_error(options.out + ": there is no folder " + folder.string());
        return exit_failed;
    }

    const int scale = options.scale;
    std::optional<std::string> failure =
        open_pictures(options.out, options.out + part_suffix, frame_width * scale, frame_height * scale, options.fps);
    if (failure) {
        failure = options.out + ": " + *failure;
    } else {
        catch_interrupt();
        start_progress("pictures", total);
        failure = play(options, to, scales);
        end_progress();
        const std::optional<std::string> closed = close_pictures();
        if (!failure && closed)
            failure = options.out + ": " + *closed;
    }
    if (!failure && interrupted())
        failure = "interrupted; nothing written";
    if (!failure)
        failure = finish_files(names, true);
    if (failure) {
        print_error(*failure);
        finish_files(names, false);
        return interrupted() ? exit_interrupted : exit_failed;
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
                     "file. The format follows OUT: .mp4 (H.264), .webm (VP9), .mkv (lossless FFV1), .gif (the "
                     "colour table as palette, lossless) or a pattern such as out/%05d.png (lossless PNG "
                     "pictures numbered from 1). Video and GIF files are made by the Linux build only. Nothing is "
                     "left under OUT's names unless the export is complete.\n\n" + exit_codes_help);
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
    exporter->add_option("--from", options->from, "the outermost frame of the first picture")
        ->check(CLI::NonNegativeNumber);
    exporter->add_option("--to", options->to, "the outermost frame of the last picture")
        ->check(CLI::NonNegativeNumber);
    exporter->add_flag("--force", options->force, "overwrite OUT if it exists");
    exporter->callback([options] { exit_with(run_export(*options)); });
}

}  // namespace zqv
