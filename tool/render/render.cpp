// zqvtool render: a zoom from a location straight to a video or PNG
// pictures at any size. Key frames, one per halving of the width at twice
// the picture's size, are computed on every core (or read from a key frame
// folder), coloured through a palette by their smooth counts, and each
// picture is blended from the two that cover it. Only the two key frames in
// use are held; everything is written under temporary names that take the
// output's names only when the render is complete.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/program.h"
#include "fractal/frame/fast_frame.h"
#include "fractal/lanes/portable_math.h"
#include "tool/auto_cap.h"
#include "tool/location.h"
#include "tool/output/output_files.h"
#include "tool/output/pictures.h"
#include "tool/render/palette.h"
#include "tool/render/render_blend.h"
#include "tool/render/render_keys.h"
#include "tool/render/render_pace.h"
#include "tool/subcommands.h"
#include "tool/system/platform.h"
#include "tool/system/progress.h"

namespace zqv {

namespace {

// Render's command line as CLI11 fills it: texts and numbers as written.
struct RenderArguments {
    std::string out;
    std::string view = generate_only_view.name;  // empty when --centre or --location names the location
    std::string centre;
    std::string width;
    std::string location;    // a location file
    double frames = 0.0;     // halvings; 0: --to-width or until double precision runs out
    std::string to_width;
    std::string cap = "auto";
    std::string size = "1920x1080";
    int samples = 1;
    int fps = 60;
    double seconds_per_halving = 1.0;
    double duration = 0.0;  // 0: from seconds_per_halving
    double ease = 0.0, hold = 0.0;
    std::string palette = "sky";
    double density = 1.0, offset = 0.0;
    std::string inside = "000000";
    std::string keyframes;
    std::string keys;  // a range of key frames to compute, "A-B" or "A"; empty: the whole render
    EncoderSettings encoder;
    bool force = false;
    bool location_given = false;
    bool size_given = false;
    bool depth_given = false;  // --frames or --to-width
    bool pace_given = false;   // --seconds-per-halving or --duration
};

// What a render is asked for, each part in its type, as read_options reads
// it from the arguments.
struct RenderOptions {
    std::string out;
    Location location;
    bool location_given = false;
    int width = 0, height = 0;  // of the pictures
    int samples = 1;
    std::uint32_t cap = 0;      // 0: auto
    Colouring colouring;
    Pace pace;                  // its fps, ease and hold; plan_depth sets the rest
    double frames = 0.0;        // halvings; 0: --to-width or until double precision runs out
    std::string to_width;       // read by plan_depth, against the start width
    double seconds_per_halving = 1.0;
    double duration = 0.0;      // 0: from seconds_per_halving
    std::string keyframes;      // the key frame folder; empty: none
    int first_key = -1, last_key = -1;  // --keys; -1: the whole render
    EncoderSettings encoder;
    bool force = false;
    bool depth_given = false, pace_given = false, size_given = false;
};

// A key frame in hand: its counts while the next one may share them, and its colours.
struct Key {
    int index = -1;
    GridLayout layout;
    GridValues values;
    std::vector<std::uint8_t> rgb;  // its colours in three planes, as colour_grid makes them
};

struct KeyCounts {
    int computed = 0, read = 0;
    int deep = 0;   // of those computed, by the deep engine
    int again = 0;  // computations again at a higher automatic cap
    std::uint64_t points = 0, iterated = 0;
};

using Clock = std::chrono::steady_clock;

// What the progress line tells while a render runs: the picture loop and
// make_key keep it, and a ticker shows it once a second as well, so that the
// line moves while a long key frame is computed.
struct RenderProgress {
    std::mutex lock;
    std::int64_t pictures = 0, total = 0;
    int keys_made = 0, keys_total = 0;
    int key = -1;  // the key frame being computed; -1: none
    FloatExp key_width = zero_floatexp;
    std::uint32_t key_cap = 0;
    Clock::time_point key_started;
    double key_seconds = 0.0, picture_seconds = 0.0;  // spent on the key frames and pictures made
    std::int64_t reference_done = 0, reference_total = 0;  // the deep engine's orbit, while it is extended
};

// The deep engine's report on its reference orbit, into the progress.
void note_reference(std::int64_t done, std::int64_t total, void* context)
{
    RenderProgress& progress = *static_cast<RenderProgress*>(context);
    const std::lock_guard<std::mutex> lock(progress.lock);
    progress.reference_done = done;
    progress.reference_total = total;
}

// What a render holds while it runs: what it was asked for, the key frames'
// plan, the deep engine, the automatic cap, what the key frames took and
// the progress.
struct Render {
    const RenderOptions& options;
    KeyPlan plan;
    KeyEngine engine;
    DeepAutoCap deep_cap;
    KeyCounts counts;
    RenderProgress progress;
};

// The progress line: pictures and key frames made, the key frame being
// computed, and the time left at the rate the key frames and the pictures
// have taken so far.
std::string progress_line(RenderProgress& progress)
{
    const std::lock_guard<std::mutex> lock(progress.lock);
    std::string line = progress.total > 0 ? std::to_string(progress.pictures) + " of " +
                                                std::to_string(progress.total) + " pictures, "
                                          : std::string();
    line += std::to_string(progress.keys_made) + " of " + std::to_string(progress.keys_total) + " key frames";
    double key_elapsed = 0.0;
    if (progress.key >= 0) {
        key_elapsed = std::chrono::duration<double>(Clock::now() - progress.key_started).count();
        line += ", key frame " + std::to_string(progress.key) + " (width " + width_text(progress.key_width) +
                ", cap " + std::to_string(progress.key_cap) + ") for " +
                std::to_string(static_cast<long long>(key_elapsed)) + " s";
    }
    if (progress.reference_done < progress.reference_total)
        line += ", reference orbit " + std::to_string(progress.reference_done) + " of " +
                std::to_string(progress.reference_total) + " iterations";
    const bool pictures_left = progress.pictures > 0 && progress.pictures < progress.total;
    if (progress.keys_made > 0 && (pictures_left || (progress.total == 0 && progress.keys_made < progress.keys_total))) {
        const double left = (progress.keys_total - progress.keys_made) * progress.key_seconds / progress.keys_made -
                            key_elapsed +
                            (pictures_left ? (progress.total - progress.pictures) * progress.picture_seconds /
                                                 progress.pictures
                                           : 0.0);
        line += ", " + std::to_string(static_cast<long long>(std::max(0.0, left) + 0.5)) + " s left";
    }
    return line;
}

bool parse_size(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    try {
        std::size_t used = 0;
        width = std::stoi(text.substr(0, x), &used);
        if (used != x)
            return false;
        height = std::stoi(text.substr(x + 1), &used);
        return used == text.size() - x - 1;
    } catch (const std::exception&) {
        return false;
    }
}

// A range of key frames, "A-B" or "A", 0 <= A <= B.
bool parse_key_range(const std::string& text, int& first, int& last)
{
    const std::size_t dash = text.find('-');
    const std::string a = text.substr(0, dash), b = dash == std::string::npos ? a : text.substr(dash + 1);
    const auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(digits);
        return true;
    };
    return number(a, first) && number(b, last) && first <= last;
}

bool parse_colour(const std::string& text, Rgb& colour)
{
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(text, nullptr, 16);
    colour = {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
              static_cast<std::uint8_t>(value)};
    return true;
}

// The location file of a key frame folder: the exact location and the cap of its key frames.
std::string keys_location_path(const std::string& folder)
{
    return (std::filesystem::path(folder) / "keys.location").string();
}

// Tells the progress that key frame `index` of that layout and cap is being computed.
void note_key_started(RenderProgress& progress, int index, const GridLayout& layout, std::uint32_t cap)
{
    const std::lock_guard<std::mutex> lock(progress.lock);
    progress.key = index;
    progress.key_width = to_floatexp(layout.step * layout.width, layout.step_exponent);
    progress.key_cap = cap;
    progress.key_started = Clock::now();
}

// Makes key frame `index` in key from the key frame folder or by computing
// it, with parent the key frame before it if it is at hand; then colours it.
std::optional<std::string> make_key(Render& render, int index, const Key* parent, Key& key)
{
    const auto started = Clock::now();
    const KeyPlan& plan = render.plan;
    DeepAutoCap& deep_cap = render.deep_cap;
    KeyCounts& counts = render.counts;
    KeyPlan at = plan;
    if (deep_cap.on)
        at.cap = deep_cap.cap;
    key.index = index;
    key.layout = key_layout(at, index);
    KeyHeader header{index, key.layout, key_place(plan)};
    const std::string& folder = render.options.keyframes;
    const std::string file = folder.empty() ? std::string() : key_file(folder, index);
    std::error_code error;
    bool kept_whole = false;
    if (!file.empty() && std::filesystem::exists(file, error)) {
        // With the automatic cap, a kept key frame's cap is the one found when it was computed.
        KeyHeader kept;
        if (deep_cap.on && !read_key_header(file, kept))
            header.layout.cap = key.layout.cap = kept.layout.cap;
        bool damaged = false;
        const std::optional<std::string> reason = read_key(file, header, key.values, &damaged);
        if (reason && !damaged)
            return file + ": " + *reason;
        // A damaged key frame is computed again, and replaced.
        if (reason)
            print_error(file + ": " + *reason + "; computing key frame " + std::to_string(index) + " again");
        kept_whole = !reason;
        counts.read += kept_whole;
    }
    if (!kept_whole) {
        const bool shares = parent != nullptr && parent->index == index - 1 && !parent->values.counts.empty();
        for (double capped_before = 2.0;;) {
            note_key_started(render.progress, index, key.layout, at.cap);
            if (std::optional<std::string> reason =
                    compute_key(render.engine, at, index, shares ? &parent->layout : nullptr,
                                shares ? &parent->values : nullptr, key.values, frames_stop_flag()))
                return interrupted() ? std::string("stopped by ") + interrupt_name() + "; nothing written" : *reason;
            counts.points += key.values.counts.size();
            counts.iterated += render.engine.points;
            if (!deep_cap.on || !raise_key_cap(deep_cap, key_layout(at, index), key.values, at.cap, capped_before))
                break;
            ++counts.again;
        }
        ++counts.computed;
        counts.deep += key_is_deep(plan, index);
        key.layout = header.layout = key_layout(at, index);
        if (!file.empty())
            if (std::optional<std::string> reason = write_key(file, header, key.values))
                return reason;
    }
    if (deep_cap.on)
        note_key_cap(deep_cap, key.layout, key.values);
    colour_grid(render.options.colouring, key.values, key.rgb);
    const std::lock_guard<std::mutex> lock(render.progress.lock);
    render.progress.key = -1;
    ++render.progress.keys_made;
    render.progress.key_seconds += std::chrono::duration<double>(Clock::now() - started).count();
    return std::nullopt;
}

// Makes and writes every picture, each from the key frames around it, made
// as they are reached; adds the time the blending and writing took.
std::optional<std::string> blend_pictures(Render& render, const Pace& pace, int width, int height,
                                          const std::string& out, double& blend_seconds, double& write_seconds)
{
    const int last_key = static_cast<int>(std::ceil(pace.halvings));
    const std::int64_t total = video_pictures(pace);
    Key outer, inner;
    std::vector<std::uint8_t> picture;
    for (std::int64_t number = 0; number < total && !interrupted(); ++number) {
        const double depth = picture_depth(pace, number);
        const int k = std::min(last_key, static_cast<int>(std::floor(depth)));
        const double fraction = k == last_key ? 0.0 : depth - k;
        if (outer.index < 0)
            if (std::optional<std::string> reason = make_key(render, 0, nullptr, outer))
                return reason;
        while (outer.index < k) {
            if (inner.index != outer.index + 1)
                if (std::optional<std::string> reason = make_key(render, outer.index + 1, &outer, inner))
                    return reason;
            std::swap(outer, inner);
        }
        if (fraction > 0.0 && inner.index != k + 1) {
            if (std::optional<std::string> reason = make_key(render, k + 1, &outer, inner))
                return reason;
        }
        if (interrupted())
            break;
        const auto started = Clock::now();
        const KeyColours outer_colours{outer.rgb.data(), outer.layout.width, outer.layout.height};
        const KeyColours inner_colours{inner.rgb.data(), inner.layout.width, inner.layout.height};
        blend_picture(outer_colours, fraction > 0.0 ? &inner_colours : nullptr, fraction, width, height, picture);
        const auto blended = Clock::now();
        if (std::optional<std::string> reason = write_picture(picture.data()))
            return out + ": " + *reason;
        const auto written = Clock::now();
        blend_seconds += std::chrono::duration<double>(blended - started).count();
        write_seconds += std::chrono::duration<double>(written - blended).count();
        {
            const std::lock_guard<std::mutex> lock(render.progress.lock);
            render.progress.pictures = number + 1;
            render.progress.picture_seconds += std::chrono::duration<double>(written - started).count();
        }
        show_progress_text(progress_line(render.progress), number + 1 == total);
    }
    return std::nullopt;
}

// The key frames the pictures use: the last picture's, and the one after it
// unless the picture is that key frame's own.
int zoom_keys(const Pace& pace)
{
    const double deepest = picture_depth(pace, video_pictures(pace) - 1);
    return static_cast<int>(std::floor(deepest)) + (deepest > std::floor(deepest) ? 2 : 1);
}

// Runs work while a ticker shows the progress line once a second, so that
// it moves while a long key frame is computed; work's result.
template <typename Work>
std::optional<std::string> with_ticker(RenderProgress& progress, Work work)
{
    std::mutex ticking;
    std::condition_variable tick;
    bool done = false;
    std::thread ticker([&] {
        std::unique_lock<std::mutex> lock(ticking);
        while (!tick.wait_for(lock, std::chrono::seconds(1), [&] { return done; }))
            show_progress_text(progress_line(progress));
    });
    const std::optional<std::string> result = work();
    {
        const std::lock_guard<std::mutex> lock(ticking);
        done = true;
    }
    tick.notify_one();
    ticker.join();
    return result;
}

// Renders every picture into the open output; the reason if that failed.
std::optional<std::string> render_pictures(Render& render, const Pace& pace, int width, int height,
                                           const std::string& out)
{
    const std::int64_t total = video_pictures(pace);
    RenderProgress& progress = render.progress;
    progress.total = total;
    progress.keys_total = zoom_keys(pace);
    start_progress("pictures", total);
    double blend_seconds = 0.0, write_seconds = 0.0;
    const std::optional<std::string> failure = with_ticker(
        progress, [&] { return blend_pictures(render, pace, width, height, out, blend_seconds, write_seconds); });
    if (failure)
        return failure;
    end_progress();
    // Where the time went, for measuring: ZQV_RENDER_TIMES set in the environment.
    if (std::getenv("ZQV_RENDER_TIMES") != nullptr)
        std::fprintf(stderr, "key frames %.2f s (of them the deep engine's reference orbit %.2f s and tables %.2f s), "
                     "blending %.2f s, encoding %.2f s\n", render.progress.key_seconds,
                     render.engine.deep.reference_seconds, render.engine.deep.table_seconds, blend_seconds,
                     write_seconds);
    return std::nullopt;
}

// Reads the arguments into options, in the order a user would correct
// them; the exit code if one cannot be read.
std::optional<int> read_options(const RenderArguments& arguments, RenderOptions& options)
{
    options.out = arguments.out;
    options.encoder = arguments.encoder;
    if (!arguments.keys.empty()) {
        if (!parse_key_range(arguments.keys, options.first_key, options.last_key)) {
            print_error("--keys takes a range of key frames A-B (or one, A), from 0, A not above B");
            return exit_usage;
        }
        if (arguments.keyframes.empty()) {
            print_error("--keys needs --keyframes DIR, the folder its key frames go into");
            return exit_usage;
        }
        if (!options.out.empty()) {
            print_error("--keys computes key frames only: give no OUT (a render with the folder makes the pictures)");
            return exit_usage;
        }
    } else if (options.out.empty()) {
        print_error("OUT is required: the video file or PNG pattern to write");
        return exit_usage;
    } else if (const std::optional<std::string> reason = check_pictures(options.out, arguments.fps, options.encoder)) {
        print_error(options.out + ": " + *reason);
        return exit_usage;
    }
    // Rendered pictures have real detail in every pixel, where the program's
    // frames have blocks: 2 seconds of a 1920 x 1080 render at 60 pictures a
    // second (the Generate Only view 20 halvings in, the set's filaments at
    // every pixel), H.264 veryfast 4:2:0, RGB PSNR against the lossless
    // pictures (4:2:0 sampling alone: 23.8 dB):
    //   crf 15  128 Mbit/s  23.0 dB     crf 20   62 Mbit/s  22.1 dB
    //   crf 18   86 Mbit/s  22.5 dB     crf 23   36 Mbit/s  21.4 dB
    //   crf 26   20 Mbit/s  20.6 dB     (4:4:4 crf 23: 37 Mbit/s, 23.4 dB)
    // Each step of 3 halves the size for under 1 dB, in a range that 4:2:0
    // already caps; x264's own default, 23, keeps such a video near the
    // bit rates that sharing sites take, where export's 15 would be 3.5
    // times larger.
    constexpr int render_h264_crf = 23;
    if (options.encoder.quality < 0 && has_extension(options.out, ".mp4"))
        options.encoder.quality = render_h264_crf;
    start_program();
    bool unreadable = false;
    if (std::optional<std::string> reason = choose_location(
            {arguments.view, arguments.centre, arguments.width, arguments.location}, options.location, unreadable)) {
        print_error(*reason);
        return unreadable ? exit_failed : exit_usage;
    }
    options.location_given = arguments.location_given;
    int& width = options.width;
    int& height = options.height;
    if (!parse_size(arguments.size, width, height) || width < 16 || height < 16 || width > 7680 || height > 4320 ||
        width % 2 != 0 || height % 2 != 0) {
        print_error("--size takes WxH, both even, from 16x16 up to 7680x4320");
        return exit_usage;
    }
    options.samples = arguments.samples;
    if (std::optional<std::string> reason = find_palette(arguments.palette, options.colouring.palette)) {
        print_error(*reason);
        return exit_usage;
    }
    options.colouring.density = arguments.density;
    options.colouring.offset = arguments.offset;
    if (!parse_colour(arguments.inside, options.colouring.inside)) {
        print_error("--inside takes a colour RRGGBB in hexadecimal");
        return exit_usage;
    }
    // CLI11's ranges let nan through.
    for (const auto& [name, value] : {std::pair{"--frames", arguments.frames}, {"--seconds-per-halving",
                                      arguments.seconds_per_halving}, {"--duration", arguments.duration},
                                      {"--ease", arguments.ease}, {"--hold", arguments.hold},
                                      {"--density", arguments.density}, {"--offset", arguments.offset}}) {
        if (!std::isfinite(value)) {
            print_error(std::string(name) + " takes a finite number");
            return exit_usage;
        }
    }
    const std::optional<std::uint32_t> cap = parse_cap(arguments.cap);
    if (!cap) {
        print_error("--cap takes auto or a count from 1 to 2^30");
        return exit_usage;
    }
    options.cap = *cap;
    options.pace.fps = arguments.fps;
    options.pace.ease_seconds = arguments.ease;
    options.pace.hold_seconds = arguments.hold;
    options.frames = arguments.frames;
    options.to_width = arguments.to_width;
    options.seconds_per_halving = arguments.seconds_per_halving;
    options.duration = arguments.duration;
    options.keyframes = arguments.keyframes;
    options.force = arguments.force;
    options.depth_given = arguments.depth_given;
    options.pace_given = arguments.pace_given;
    options.size_given = arguments.size_given;
    return std::nullopt;
}

// Takes the lock of a key frame folder for the rest of the render; the exit
// code if another render holds it or it cannot be taken.
std::optional<int> lock_folder(const std::string& folder)
{
    const std::string lock = (std::filesystem::path(folder) / "keys.lock").string();
    if (const std::optional<std::string> reason = lock_until_exit(lock)) {
        print_error(lock + ": " + *reason + "; " + folder + " is in use by another render (wait for it, or give "
                    "another folder)");
        return exit_failed;
    }
    return std::nullopt;
}

// A key frame folder before the render: its location file, and whether that
// file or the folder's first key frame gave the location.
struct KeyFolder {
    std::string location_file;  // empty: no folder
    bool has_location = false;
    bool plan_from_header = false;
};

// The key frames' plan: the location (a key frame folder's location file
// stands for a location not given, and must be the one given; kept key frames
// set the key frame size, and without a location file the location unless one
// is given); the exit code if the folder does not fit.
std::optional<int> plan_key_frames(const RenderOptions& options, Location& location, KeyPlan& plan, KeyFolder& folder)
{
    std::error_code error;
    // One render at a time uses a key frame folder: from its location file to its last key frame.
    const bool folder_exists = !options.keyframes.empty() && std::filesystem::is_directory(options.keyframes, error);
    if (folder_exists)
        if (const std::optional<int> code = lock_folder(options.keyframes))
            return code;
    if (!options.keyframes.empty())
        folder.location_file = keys_location_path(options.keyframes);
    folder.has_location = !folder.location_file.empty() && std::filesystem::exists(folder.location_file, error);
    if (folder.has_location) {
        Location kept;
        if (std::optional<std::string> reason = read_location(folder.location_file, kept)) {
            print_error(folder.location_file + ": " + *reason);
            return exit_failed;
        }
        if (options.location_given && !same_place(kept, location)) {
            print_error(options.keyframes + " holds the key frames of another location");
            return exit_usage;
        }
        location = kept;
    }
    const double centre_re = decimal_to_double(location.centre_re);
    const double centre_im = decimal_to_double(location.centre_im);
    const FloatExp start = decimal_to_floatexp(location.width);
    if (!std::isfinite(centre_re) || !std::isfinite(centre_im) || !std::isfinite(to_double(start)) ||
        !is_positive(start) || start < deepest_width()) {
        print_error(std::string("the centre must be two finite numbers and the width a finite number of at least ") +
                    deepest_width_text);
        return exit_usage;
    }
    // A start narrower than 1e-300 keeps its exponent apart, as its key frames do.
    const bool wide_start = to_double(start) < double_range_width;

    // Key frames at twice the picture's size, times the samples: between
    // its own depth and the next key frame's, a key frame shows its central
    // part, from 2 down to 1 of its points (times the samples) per pixel.
    const int width = options.width, height = options.height;
    plan = {centre_re,
            centre_im,
            location.centre_re,
            location.centre_im,
            wide_start ? start.m : to_double(start),
            wide_start ? start.e : 0,
            2 * width * options.samples,
            2 * height * options.samples,
            options.cap != 0 ? options.cap : location.cap};
    if (options.keyframes.empty())
        return std::nullopt;
    KeyHeader first;
    const std::string file = key_file(options.keyframes, 0);
    if (!std::filesystem::exists(file, error)) {
        if (folder_exists)
            return std::nullopt;
        if (!std::filesystem::create_directories(options.keyframes, error) &&
            !std::filesystem::is_directory(options.keyframes, error)) {
            print_error("cannot make the folder " + options.keyframes);
            return exit_failed;
        }
        return lock_folder(options.keyframes);
    }
    bool damaged = false;
    if (std::optional<std::string> reason = read_key_header(file, first, &damaged)) {
        if (damaged)
            return std::nullopt;  // computed again when its turn comes
        print_error(file + ": " + *reason);
        return exit_failed;
    }
    const GridLayout& s = first.layout;
    // A range without --size computes the kept key frames' size, whatever the pictures' will be.
    const bool any_size = options.first_key >= 0 && !options.size_given;
    // From 2 to 8 key frame points per pixel: the blend takes at most 18 per pixel and axis.
    if (!any_size && (static_cast<std::int64_t>(s.width) * height != static_cast<std::int64_t>(s.height) * width ||
                      s.width < 2 * width || s.width > 8 * width)) {
        // Picture sizes are even: the smallest is rounded up to one.
        const auto even_above = [](int n) { return std::to_string((n + 1) / 2 * 2); };
        print_error(options.keyframes + " holds key frames of " + std::to_string(s.width) + "x" +
                    std::to_string(s.height) + " points, for pictures of that aspect from " + even_above(s.width / 8) +
                    "x" + even_above(s.height / 8) + " up to " + std::to_string(s.width / 2) + "x" +
                    std::to_string(s.height / 2));
        return exit_usage;
    }
    // Kept key frames coarser than --samples asks would give coarser pictures.
    if (!any_size && s.width < 2 * width * options.samples) {
        print_error(options.keyframes + " holds key frames for --samples " + std::to_string(s.width / (2 * width)) +
                    " at this size, coarser than --samples " + std::to_string(options.samples) +
                    " asks: give that --samples, or another folder");
        return exit_usage;
    }
    plan.width = s.width;
    plan.height = s.height;
    if (!options.location_given && !folder.has_location) {
        folder.plan_from_header = true;
        plan.centre_re = s.centre_re;
        plan.centre_im = s.centre_im;
        plan.exact_re = double_decimal(s.centre_re);
        plan.exact_im = double_decimal(s.centre_im);
        plan.start_width = s.step * s.width;
        plan.start_exponent = s.step_exponent;
    }
    if (key_layout(plan, 0).step != s.step || key_layout(plan, 0).step_exponent != s.step_exponent ||
        s.centre_re != plan.centre_re || s.centre_im != plan.centre_im) {
        print_error(options.keyframes + " holds the key frames of another location");
        return exit_usage;
    }
    return std::nullopt;
}

// A render with a key frame folder and no depth or pace of its own takes
// those of the render that made the folder, and says so.
void follow_kept_zoom(const Location& kept, const KeyFolder& folder, RenderOptions& options)
{
    std::string followed;
    if (!options.depth_given && kept.end_width) {
        options.to_width = decimal_text(*kept.end_width);
        followed += " --to-width " + options.to_width;
    } else if (!options.depth_given && kept.halvings) {
        options.frames = decimal_to_double(*kept.halvings);
        followed += " --frames " + decimal_text(*kept.halvings);
    }
    if (!options.pace_given && kept.duration) {
        options.duration = decimal_to_double(*kept.duration);
        followed += " --duration " + decimal_text(*kept.duration);
    } else if (!options.pace_given && kept.seconds_per_halving) {
        options.seconds_per_halving = decimal_to_double(*kept.seconds_per_halving);
        followed += " --seconds-per-halving " + decimal_text(*kept.seconds_per_halving);
    }
    if (!followed.empty())
        print_error("zooming as the render that made " + options.keyframes + " did, by " + folder.location_file +
                    ":" + followed + " (give another to change it)");
}

// The location file a render writes into a new key frame folder: the exact
// location, the key frames' cap (0 when it follows the counts), and the
// render's end and pace where they were given.
Location folder_location(const Location& location, const RenderOptions& options, const Render& render)
{
    Location kept;
    kept.centre_re = location.centre_re;
    kept.centre_im = location.centre_im;
    kept.width = location.width;
    kept.cap = render.deep_cap.on ? 0 : render.plan.cap;
    if (!options.to_width.empty())
        kept.end_width = parse_decimal(options.to_width);
    else if (options.frames > 0.0)
        kept.halvings = double_decimal(options.frames);
    if (options.duration > 0.0)
        kept.duration = double_decimal(options.duration);
    else if (options.pace_given)
        kept.seconds_per_halving = double_decimal(options.seconds_per_halving);
    return kept;
}

// The reference orbit a key frame folder keeps, for renders in ranges.
std::string keys_reference_path(const std::string& folder)
{
    return (std::filesystem::path(folder) / "keys.reference").string();
}

// The iterations the reference orbit of key frames of this cap holds.
std::int64_t reference_iterations(const KeyPlan& plan)
{
    return deep_grid_point_cap(plan.cap);
}

// Takes the reference orbit the key frame folder keeps, if it holds one of
// this render's centre, precision and cap, instead of computing it.
void adopt_kept_reference(Render& render)
{
    const std::string path = keys_reference_path(render.options.keyframes);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return;
    std::string contents;
    // Two doubles an iterate, for caps up to auto_cap_ceiling, and the fixed-point numbers.
    constexpr std::size_t largest = (std::size_t{16} << 25) + (1 << 24);
    if (std::optional<std::string> reason = read_input_file(path, largest, contents)) {
        print_error(path + ": " + *reason + "; computing the reference orbit instead");
        return;
    }
    if (!adopt_reference_bytes(render.engine.deep.orbit, reinterpret_cast<const std::uint8_t*>(contents.data()),
                               contents.size(), reference_iterations(render.plan)))
        print_error(path + " holds the reference orbit of another location, depth or cap; computing it instead");
}

// The depth in halvings and the pace of the pictures, and the cap: past
// double precision, or for the key frames of a folder that kept it (its
// keys.location says auto), the automatic cap follows the counts
// (DeepAutoCap); else one cap for every key frame, so each shares its points
// inside with the next. The exit code if the depth cannot be rendered.
std::optional<int> plan_depth(const RenderOptions& options, const KeyFolder& folder, Render& render, Pace& pace)
{
    KeyPlan& plan = render.plan;
    double halvings = options.frames;
    if (!options.to_width.empty()) {
        const std::optional<Decimal> given = parse_decimal(options.to_width);
        if (!given || given->negative || given->digits == "0") {
            print_error("--to-width takes a positive decimal number");
            return exit_usage;
        }
        const FloatExp to_width = decimal_to_floatexp(*given);
        const FloatExp start = to_floatexp(plan.start_width, plan.start_exponent);
        if (!(to_width < start)) {
            print_error("--to-width must be below the start width");
            return exit_usage;
        }
        // Past 1e-300, the halvings from the mantissas and the exponents apart.
        const bool in_range = plan.start_exponent == 0 && to_double(to_width) >= double_range_width;
        halvings = in_range ? portable_log2(plan.start_width / to_double(to_width))
                            : portable_log2(start.m / to_width.m) + (static_cast<double>(start.e) - to_width.e);
    }
    if (halvings == 0.0) {
        constexpr int deepest = 2000;  // far past where double precision stops resolving points (about 1e-16)
        const int unresolved = first_unresolved_key(plan, deepest);
        if (unresolved < 2) {
            print_error("double precision does not resolve this location's first key frames: give the depth, "
                        "--frames or --to-width, for the deep engine");
            return exit_usage;
        }
        print_error("stopping after " + std::to_string(unresolved - 1) + " halvings: from key frame " +
                    std::to_string(unresolved) + " on, double precision no longer tells the points apart "
                    "(--frames or --to-width go deeper)");
        halvings = unresolved - 1;
    }
    // The deepest key frame, start_width / 2^last_key, may be at most half as wide as the deepest width.
    constexpr double most_halvings = 40000.0;  // from a width of 4 to 1e-10000 takes 33,221
    if (!(halvings <= most_halvings) ||
        to_floatexp(plan.start_width, plan.start_exponent - static_cast<std::int64_t>(std::ceil(halvings)) + 1) <
            deepest_width()) {
        print_error(std::string("the zoom would end narrower than ") + deepest_width_text +
                    ", the deepest zqvtool computes");
        return exit_usage;
    }
    const int last_key = static_cast<int>(std::ceil(halvings));
    const bool goes_deep = first_unresolved_key(plan, last_key) <= last_key;
    render.deep_cap.on = plan.cap == 0 && (goes_deep || folder.has_location);
    if (plan.cap == 0)
        plan.cap = render.deep_cap.on ? auto_cap_start : auto_cap(last_key);
    pace = options.pace;
    pace.halvings = halvings;
    pace.zoom_seconds = options.duration > 0.0 ? options.duration
                                               : halvings * options.seconds_per_halving + options.pace.ease_seconds;
    if (options.pace.ease_seconds * 2.0 > pace.zoom_seconds) {
        print_error("--ease takes at most half the zoom's duration");
        return exit_usage;
    }
    // The deep engine's reference orbit, once for the whole render, as precise as the deepest key frame needs.
    if (goes_deep) {
        start_deep_keys(render.engine, plan, last_key);
        render.engine.deep.report = note_reference;
        render.engine.deep.report_context = &render.progress;
        if (!options.keyframes.empty() && !render.deep_cap.on)
            adopt_kept_reference(render);
    }
    return std::nullopt;
}

// Checks the headers of the folder's key frames against the plan before
// any is computed, so that key frames combined from folders made with
// other settings are refused at once, not when their turn comes (a damaged
// one is computed again then); the exit code if one does not fit.
std::optional<int> check_kept_keys(const Render& render, int keys)
{
    const std::string& folder = render.options.keyframes;
    if (folder.empty())
        return std::nullopt;
    for (int key = 0; key < keys; ++key) {
        const std::string file = key_file(folder, key);
        std::error_code error;
        KeyHeader kept;
        bool damaged = false;
        if (!std::filesystem::exists(file, error))
            continue;
        if (const std::optional<std::string> reason = read_key_header(file, kept, &damaged)) {
            if (damaged)
                continue;
            print_error(file + ": " + *reason);
            return exit_failed;
        }
        KeyHeader planned{key, key_layout(render.plan, key), key_place(render.plan)};
        if (render.deep_cap.on)
            planned.layout.cap = kept.layout.cap;  // each kept with the cap the counts took it to
        if (!same_key(kept, planned)) {
            print_error(file + " holds a key frame of another location, cap or size than this render's: key frames "
                        "made with other settings do not combine (remove it, or make it again with these)");
            return exit_usage;
        }
    }
    return std::nullopt;
}

// The memory a render takes at its peak: two key frames in hand, each point
// with its count, fraction and colours (4 + 2 + 3 bytes), and the packed
// bands of one being read or written (at most 6 bytes a point); then the
// pictures and the encoder's frames, well within 16 bytes a pixel.
std::uint64_t render_memory(const KeyPlan& plan, int width, int height)
{
    const auto points = static_cast<std::uint64_t>(plan.width) * static_cast<std::uint64_t>(plan.height);
    return points * 24 + static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 16;
}

// Writes the location file of a new key frame folder; the reason if that failed.
std::optional<std::string> write_folder_location(const KeyFolder& folder, const Location& location,
                                                 const RenderOptions& options, const Render& render)
{
    if (folder.location_file.empty() || folder.has_location || folder.plan_from_header)
        return std::nullopt;
    return write_whole_file(folder.location_file, location_text(folder_location(location, options, render)));
}

// Extends the reference orbit to the key frames' cap before the range's key
// frames, and keeps it in the folder if it was not there, so that the
// ranges that start from a copy of the folder read it instead of each
// computing it (reading takes a small share of computing, which is minutes
// for the deepest zooms); the reason if stopped or not kept.
std::optional<std::string> make_range_reference(Render& render)
{
    ReferenceOrbit& orbit = render.engine.deep.orbit;
    const auto started = Clock::now();
    const std::size_t before = orbit_size(orbit);
    if (!extend_reference(orbit, reference_iterations(render.plan), frames_stop_flag(), note_reference,
                          &render.progress))
        return "stopped";
    render.engine.deep.reference_seconds += std::chrono::duration<double>(Clock::now() - started).count();
    if (orbit_size(orbit) == before)
        return std::nullopt;
    const std::vector<std::uint8_t> bytes = reference_bytes(orbit);
    return write_whole_file(keys_reference_path(render.options.keyframes), std::string(bytes.begin(), bytes.end()));
}

// Computes the key frames of the range into the folder, each as the whole
// render computes it. A deep key frame copies the points it shares with the
// one before, which copied them from the one before it, and so on; so unless
// the folder holds the key frame before the range, the deep key frames
// before it are computed first, each only in the part the range's first
// takes from it (lead_in_window), from the folder's last one before the
// range or the first deep one. Pictures are not made. The exit code.
int run_key_range(Render& render, const Pace& pace)
{
    const RenderOptions& options = render.options;
    const KeyPlan& plan = render.plan;
    const int keys = zoom_keys(pace);
    const int first = options.first_key, last = std::min(options.last_key, keys - 1);
    if (first >= keys) {
        print_error("--keys " + std::to_string(first) + "-" + std::to_string(options.last_key) + ": the zoom has key "
                    "frames 0 to " + std::to_string(keys - 1));
        return exit_usage;
    }
    if (render.deep_cap.on) {
        print_error("--keys needs a fixed --cap for a zoom past double precision: the automatic cap follows the "
                    "counts from each key frame to the next, which a range cannot know");
        return exit_usage;
    }
    const auto started = Clock::now();
    RenderProgress& progress = render.progress;
    progress.keys_total = last - first + 1;
    start_progress("key frames", progress.keys_total);
    const int first_deep = first_unresolved_key(plan, keys - 1);
    int lead_in = 0;
    const std::optional<std::string> failure = with_ticker(progress, [&]() -> std::optional<std::string> {
        if (render.engine.deep_last_key >= 0)
            if (std::optional<std::string> reason = make_range_reference(render))
                return reason;
        Key outer, inner;
        // The key frame before the range from the folder, or the lead-in up to it.
        if (first > first_deep) {
            int from = first - 1;
            for (; from >= first_deep; --from) {
                const std::string file = key_file(options.keyframes, from);
                std::error_code error;
                if (std::filesystem::exists(file, error) &&
                    !read_key(file, {from, key_layout(plan, from), key_place(plan)}, outer.values)) {
                    outer.index = from;
                    outer.layout = key_layout(plan, from);
                    break;
                }
            }
            for (int key = from + 1; key < first; ++key, ++lead_in) {
                const GridWindow window = lead_in_window(key_layout(plan, key), first - key);
                note_key_started(progress, key, key_layout(plan, key), plan.cap);
                if (std::optional<std::string> reason =
                        compute_key(render.engine, plan, key, outer.index == key - 1 ? &outer.layout : nullptr,
                                    outer.index == key - 1 ? &outer.values : nullptr, inner.values,
                                    frames_stop_flag(), &window))
                    return reason;
                inner.index = key;
                inner.layout = key_layout(plan, key);
                std::swap(outer, inner);
            }
        }
        for (int key = first; key <= last && !interrupted(); ++key) {
            if (std::optional<std::string> reason = make_key(render, key, &outer, inner))
                return reason;
            std::swap(outer, inner);
            show_progress_text(progress_line(progress), key == last);
        }
        return std::nullopt;
    });
    if (interrupted()) {
        print_error(std::string("stopped by ") + interrupt_name() + "; the key frames made are kept in " +
                    options.keyframes);
        return interrupt_exit_code();
    }
    if (failure) {
        print_error(*failure);
        return exit_failed;
    }
    end_progress();
    const KeyCounts& counts = render.counts;
    char summary[256];
    std::snprintf(summary, sizeof summary, "key frames %d to %d (of the zoom's 0 to %d) into %s in %.1f s: %d "
                  "computed, %d of them by the deep engine, %d read; %d key frames before them computed in the part "
                  "the range takes from them", first, last, keys - 1, options.keyframes.c_str(),
                  std::chrono::duration<double>(Clock::now() - started).count(), counts.computed, counts.deep,
                  counts.read, lead_in);
    std::fprintf(stderr, "%s\n", summary);
    return 0;
}

int run_render(const RenderArguments& arguments)
{
    RenderOptions options;
    if (const std::optional<int> code = read_options(arguments, options))
        return *code;
    Location location = options.location;
    Render render{options, {}, {}, {}, {}, {}};
    KeyFolder folder;
    if (const std::optional<int> code = plan_key_frames(options, location, render.plan, folder))
        return *code;
    if (folder.has_location)
        follow_kept_zoom(location, folder, options);
    Pace pace;
    if (const std::optional<int> code = plan_depth(options, folder, render, pace))
        return *code;
    const std::uint64_t needed = render_memory(render.plan, options.width, options.height);
    const std::uint64_t available = memory_available();
    if (needed > available) {
        constexpr std::uint64_t megabyte = 1 << 20;
        print_error("the render needs about " + std::to_string(needed / megabyte) + " MB for key frames of " +
                    std::to_string(render.plan.width) + "x" + std::to_string(render.plan.height) +
                    " points (twice --size, times --samples), more than the " + std::to_string(available / megabyte) +
                    " MB there is: give a smaller --size or --samples");
        return exit_usage;
    }
    if (const std::optional<int> code = check_kept_keys(render, zoom_keys(pace)))
        return *code;
    if (options.first_key >= 0) {
        if (std::optional<std::string> reason = write_folder_location(folder, location, options, render)) {
            print_error(*reason);
            return exit_failed;
        }
        return run_key_range(render, pace);
    }
    const std::int64_t total = video_pictures(pace);

    const std::string& out = options.out;
    if (has_extension(out, ".png") && !picture_name(out, 1)) {
        print_error(out + ": PNG pictures need a pattern with one number, such as out/%05d.png");
        return exit_usage;
    }
    const std::vector<std::string> names = output_names(out, total);
    if (const std::optional<std::string> reason = check_outputs(out, names, options.force)) {
        print_error(*reason);
        return exit_failed;
    }
    if (std::optional<std::string> reason = write_folder_location(folder, location, options, render)) {
        print_error(*reason);
        return exit_failed;
    }

    const auto started = std::chrono::steady_clock::now();
    const int width = options.width, height = options.height;
    const std::optional<std::string> failure =
        write_pictures(out, names, options.force, width, height, pace.fps, PictureKind::rgb, options.encoder,
                       [&] { return render_pictures(render, pace, width, height, out); });
    if (failure) {
        print_error(*failure);
        return interrupted() ? interrupt_exit_code() : exit_failed;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const KeyCounts& counts = render.counts;
    const double shared = counts.points > 0 ? 100.0 * (1.0 - static_cast<double>(counts.iterated) / counts.points) : 0.0;
    char summary[256];
    std::snprintf(summary, sizeof summary, "%lld pictures of %dx%d in %.1f s; %d key frames computed, %d of them "
                  "by the deep engine (%.0f%% of their points shared with the one before or known inside), %d read",
                  static_cast<long long>(total), width, height, seconds, counts.computed, counts.deep, shared,
                  counts.read);
    std::fprintf(stderr, "%s\n", summary);
    if (render.deep_cap.on)
        std::fprintf(stderr, "the automatic cap went up to %u (%d key frames computed again at a higher cap)\n",
                     render.deep_cap.highest, counts.again);
    return 0;
}

}  // namespace

void setup_render(CLI::App& app)
{
    auto options = std::make_shared<RenderArguments>();
    CLI::App* render = app.add_subcommand("render", "render a zoom straight to a video or PNG pictures, at any size");
    render->footer(
        "Computes a key frame for every halving of the width at twice the picture's size (times --samples), colours "
        "their smooth counts through a palette and blends every picture from the two key frames around it. A zoom "
        "of F halvings at P pictures a halving is F*P pictures, from its start width up to but not including its "
        "end width, lasting F*P/fps seconds (plus the holds): renders of consecutive width ranges join without a "
        "repeated picture. The "
        "format follows OUT as in export: .mp4 (H.264), .webm (VP9), .mkv (lossless FFV1), .gif or a pattern such as "
        "out/%05d.png (lossless); the Windows build writes PNG pictures only. With --keyframes DIR the key frames' "
        "counts are kept in DIR, and a later render with the same DIR (another palette, pace, or a size not larger) "
        "reads them instead of computing them. Nothing is left under OUT's names unless the render is complete.\n\n"
        "Deep zooms: the location is taken as generate takes it, --centre and --width as decimals of any length "
        "(\"1.5e-120\") or --location FILE, and --width, --frames or --to-width go down to widths of 1e-10000. Key "
        "frames whose points double precision no longer tells apart are computed by the deep engine: one reference "
        "orbit at the exact centre, as precise as the deepest key frame needs, each point's offset from it iterated "
        "in double (perturbation with rebasing, bilinear approximation), and narrower than 1e-300, where offsets "
        "leave double's exponent range, with extended exponents while they are that small. DIR/keys.location keeps the exact location and the "
        "cap of the key frames in DIR: a render with DIR and no location uses them, and one with another location "
        "is refused; it also keeps where the render that made DIR ended and its pace, which a later render without "
        "--to-width or --frames, or without --seconds-per-halving or --duration, follows.\n\n"
        "Spread over machines: --keyframes DIR --keys A-B computes key frames A to B into DIR and no pictures, each "
        "the one the whole render makes, byte for byte (a deep zoom needs a fixed --cap). Ranges run from copies of "
        "a DIR made by --keys 0-0, which also keeps the reference orbit in DIR/keys.reference, combine by copying "
        "their key frame files into one DIR; a render checks every key frame there against DIR/keys.location first "
        "and refuses any made with other settings.\n\n"
        "The automatic cap of a zoom within double precision is 2048 and 256 more per halving, for every key frame. "
        "For a zoom that goes deeper it follows the counts: key frame 0 starts at 2048; points in the main cardioid "
        "and the period-2 bulb, inside the set at any cap, do not count as at the cap. A key frame with more than "
        "1% more of its points at the cap than the one before is computed again at twice the cap if the counts "
        "reach toward it (the points escaped above half the cap are at least a quarter as many as that rise), if "
        "half its points went to the cap at once, or if less than 1% of its points escaped after a key frame with "
        "less than 1% at the cap; again while the doubling let a quarter of the points at the cap escape or nothing "
        "escaped yet. Otherwise the points newly at the cap are taken to be inside (a minibrot filling the view). "
        "After a key frame with more than 1% of its points escaped above half the cap, the next starts at twice it; "
        "after one with less than 1% escaped above a quarter of it and less than 1% at it, at half it (not below "
        "2048); it "
        "stops at 33554432. Points at the cap show as --inside.\n\n" +
        exit_codes_help);
    std::vector<std::string> view_names;
    for (const StartView& view : start_views)
        view_names.emplace_back(view.name);
    CLI::Option* view_option = render->add_option("--view", options->view, "a start view of the program")
                                   ->check(CLI::IsMember(view_names))
                                   ->capture_default_str();
    CLI::Option* centre_option =
        render->add_option("--centre", options->centre, "the centre of another location, decimals of any length")
            ->type_name("RE,IM");
    CLI::Option* width_option =
        render->add_option("--width", options->width, "the width of its first picture in the plane (>= 1e-10000)")
            ->type_name("W");
    CLI::Option* location_option =
        render->add_option("--location", options->location,
                           "start from a location file (generate's OUT.location), at --width if given")
            ->type_name("FILE");
    view_option->excludes(centre_option)->excludes(width_option)->excludes(location_option);
    location_option->excludes(centre_option);
    centre_option->needs(width_option);
    CLI::Option* frames_option = render->add_option("--frames", options->frames,
                                                    "halvings of the width to zoom (default: as far as the "
                                                    "render that made --keyframes DIR went, else until double "
                                                    "precision runs out)")
                                     ->type_name("N")
                                     ->check(CLI::Range(0.001, 2000.0));
    CLI::Option* to_width_option =
        render->add_option("--to-width", options->to_width, "zoom until the width is W, a decimal down to 1e-10000")
            ->type_name("W")
            ->excludes(frames_option);
    render->add_option("--cap", options->cap, "the iteration cap, or auto: 2048 and 256 more per halving of the zoom, or past "
                       "double precision one that follows the counts")
        ->capture_default_str();
    CLI::Option* size_option =
        render->add_option("--size", options->size, "the pictures' size, both even, up to 7680x4320")
            ->type_name("WxH")
            ->capture_default_str();
    render->add_option("--samples", options->samples, "computed points per pixel along each axis, at the least")
        ->check(CLI::Range(1, 4))
        ->capture_default_str();
    render->add_option("--fps", options->fps, "pictures per second")->check(CLI::Range(1, 240))->capture_default_str();
    CLI::Option* pace_option =
        render->add_option("--seconds-per-halving", options->seconds_per_halving, "the zoom's even pace")
            ->check(CLI::PositiveNumber)
            ->capture_default_str();
    CLI::Option* duration_option =
        render->add_option("--duration", options->duration, "the zoom's seconds instead, holds aside")
            ->check(CLI::PositiveNumber)
            ->excludes(pace_option);
    render->add_option("--ease", options->ease, "seconds of speeding up at the start and of slowing down at the end")
        ->check(CLI::NonNegativeNumber);
    render->add_option("--hold", options->hold, "seconds the start and the end width stay")
        ->check(CLI::NonNegativeNumber);
    std::string palette_help = "a built-in palette (";
    for (const std::string& name : palette_names())
        palette_help += name + (name == palette_names().back() ? ")" : ", ");
    palette_help += " or a palette file: a stop per line, \"R G B\" or \"#RRGGBB\"";
    render->add_option("--palette", options->palette, palette_help)->capture_default_str();
    render->add_option("--density", options->density, "how fast the colours cycle with the count, 1 the palette's own")
        ->check(CLI::Range(1e-6, 1e6))
        ->capture_default_str();
    render->add_option("--offset", options->offset, "where in the palette's cycle the colours start, 0 to 1")
        ->check(CLI::Range(0.0, 1.0))
        ->capture_default_str();
    render->add_option("--inside", options->inside, "the colour of the points inside the set")
        ->type_name("RRGGBB")
        ->capture_default_str();
    render->add_option("--keyframes", options->keyframes, "keep the key frames' counts in DIR, or read them from it")
        ->type_name("DIR");
    CLI::Option* crf_option =
        render->add_option("--crf", options->encoder.quality,
                           "the lossy encoders' constant rate factor, lower: better and larger (default 23 for .mp4, "
                           "30 for .webm)")
            ->check(CLI::Range(0, 63));
    render->add_option("--quality", options->encoder.quality, "the same as --crf")
        ->check(CLI::Range(0, 63))
        ->excludes(crf_option);
    render->add_option("--preset", options->encoder.preset, picture_preset_help)->type_name("P");
    render->add_option("--pixels", options->encoder.pixels, picture_pixels_help)->type_name("yuv420|yuv444");
    render->add_flag("--force", options->force, "overwrite OUT if it exists");
    render->add_option("--keys", options->keys, "compute only key frames A to B into --keyframes DIR, and no "
                       "pictures: a part of a render spread over several machines")
        ->type_name("A-B");
    render->add_option("OUT", options->out, "the video file or PNG pattern to write");
    render->callback([options, centre_option, view_option, location_option, frames_option, to_width_option,
                      pace_option, duration_option, size_option] {
        options->location_given =
            centre_option->count() > 0 || view_option->count() > 0 || location_option->count() > 0;
        options->depth_given = frames_option->count() > 0 || to_width_option->count() > 0;
        options->pace_given = pace_option->count() > 0 || duration_option->count() > 0;
        options->size_given = size_option->count() > 0;
        if (centre_option->count() > 0 || location_option->count() > 0)
            options->view.clear();
        exit_with(run_render(*options));
    });
}

}  // namespace zqv
