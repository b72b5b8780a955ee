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
#include <system_error>

#include "app/program.h"
#include "tool/tool.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace {

constexpr int levels_on_screen = 3;  // the compositor nests three ring levels
constexpr const char* part_suffix = ".part";

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

}  // namespace

std::optional<std::string> picture_name(const std::string& pattern, std::int64_t number)
{
    std::string name;
    int numbers = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (++i < pattern.size() && pattern[i] == '%') {
            name += '%';
            continue;
        }
        std::size_t width = 0;
        for (; i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9'; ++i)
            width = width * 10 + static_cast<std::size_t>(pattern[i] - '0');
        if (i == pattern.size() || pattern[i] != 'd' || ++numbers > 1 || width > 30)  // 30: more than any number needs
            return std::nullopt;
        const std::string digits = std::to_string(number);
        name += std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
    }
    if (numbers != 1)
        return std::nullopt;
    return name;
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
