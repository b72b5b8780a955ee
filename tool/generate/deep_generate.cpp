// The deep path of zqvtool generate: frames written one by one (as the
// program's ring writes them: the start view, then each at half the width of
// the one before), double-precision frames up to the switch frame and deep
// frames after it, the cap chosen per frame, and the location file beside
// the recording.
#include "tool/generate/deep_generate.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "fractal/deep/deep_frame.h"
#include "fractal/frame/fast_frame.h"
#include "fractal/frame/view.h"
#include "recording/recording.h"
#include "tool/auto_cap.h"
#include "tool/location.h"
#include "tool/output/output_files.h"
#include "tool/recordings/recording_checks.h"
#include "tool/subcommands.h"
#include "tool/system/progress.h"

namespace zqv {

namespace {

using Clock = std::chrono::steady_clock;

Frame frame;

std::string fixed_text(double value, int decimals)
{
    char text[48];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr);
}

// The width as a power of ten for people: "1e-123.4". Display only.
std::string width_power(FloatExp width)
{
    return "1e" + fixed_text(log10_of(width), 1);
}

std::string frames_text(std::int64_t frames)
{
    return std::to_string(frames) + (frames == 1 ? " whole frame" : " whole frames");
}

// The status line on standard error while it is a terminal, at most five a second.
struct Status {
    bool on_terminal = false;
    Clock::time_point started, shown;
    std::size_t shown_length = 0;
};
Status status;

// The line, in place of the one shown, unless one was shown less than 0.2 s ago.
void show_line(std::string line, bool force)
{
    const Clock::time_point now = Clock::now();
    if (!status.on_terminal || (!force && now - status.shown < std::chrono::milliseconds(200)))
        return;
    status.shown = now;
    const std::size_t length = line.size();
    line.resize(std::max(length, status.shown_length), ' ');
    status.shown_length = length;
    std::fprintf(stderr, "\r%s", line.c_str());
}

void show_status(std::int64_t frame_index, std::int64_t frames, FloatExp width, double rate, double per_step,
                 double last_frame_seconds, bool force)
{
    if (!status.on_terminal)
        return;
    std::string line = "frame " + std::to_string(frame_index) + " of " + std::to_string(frames) + ", width " +
                       width_power(width) + ", " + fixed_text(rate * 1e-6, 1) + " M iterations/s";
    if (per_step > 0.0)
        line += ", " + fixed_text(per_step, 1) + " iterations per step";
    if (frame_index + 1 < frames)
        line += ", about " + std::to_string(static_cast<long long>(
                                 last_frame_seconds * static_cast<double>(frames - frame_index - 1) + 0.5)) +
                " s left";
    show_line(line, force);
}

// The deep engine's report on its reference orbit while a frame extends it.
void show_reference(std::int64_t done, std::int64_t total, void*)
{
    if (done < total)
        show_line("reference orbit " + std::to_string(done) + " of " + std::to_string(total) + " iterations", false);
}

void end_status()
{
    if (status.on_terminal && status.shown_length > 0)
        std::fputc('\n', stderr);
    status.on_terminal = false;
}

// The frames that had more than the reported share of points at the cap.
struct CapReport {
    std::int64_t first = -1, last = -1, count = 0;
    std::int64_t worst_frame = -1;
    double worst_share = 0.0;
    std::uint32_t cap = 0;
};

bool too_many_capped(std::uint64_t capped, std::uint64_t points)
{
    return capped * capped_share_divisor > points;
}

// Gives the recording its name and writes its location beside it, or
// removes the recording when it holds no frame.
bool keep_outputs(const std::string& part, const std::string& out, bool force, const std::string& location_text_now,
                  std::int64_t frames)
{
    std::error_code error;
    if (frames == 0) {
        std::filesystem::remove(part, error);
        return false;
    }
    if (const std::optional<std::string> reason = give_name(part, out, force)) {
        print_error(*reason + "; " + part + " keeps " + frames_text(frames));
        return false;
    }
    if (const std::optional<std::string> reason = write_whole_file(location_path(out), location_text_now)) {
        print_error(*reason);
        return false;
    }
    return true;
}

}  // namespace

int run_deep_generate(const DeepRequest& request)
{
    const double centre_re = decimal_to_double(request.centre_re);
    const double centre_im = decimal_to_double(request.centre_im);
    const FloatExp start = decimal_to_floatexp(request.width);
    const double width = to_double(start);  // 0 below double's range
    if (!std::isfinite(centre_re) || !std::isfinite(centre_im) || !std::isfinite(width) || !is_positive(start)) {
        print_error("the centre must be two finite numbers and the width a finite positive number");
        return exit_usage;
    }
    // A recording's header holds its start view in doubles: its frames may go deeper, its start may not.
    if (width < double_range_width) {
        print_error("a recording starts at a width of at least 1e-300, which its header holds as a double: start "
                    "there and go deeper with --to-width or --frames (render starts anywhere)");
        return exit_usage;
    }

    const std::int64_t unresolved = first_unresolved_frame(centre_re, centre_im, width);
    std::int64_t frames = request.frames;
    if (request.has_to_width) {
        const FloatExp to_width = decimal_to_floatexp(request.to_width);
        if (to_width < deepest_width()) {
            print_error(std::string("--to-width must be at least ") + deepest_width_text + ", the deepest zqvtool computes");
            return exit_usage;
        }
        if (!(to_width < start)) {
            print_error("--to-width must be below the start width");
            return exit_usage;
        }
        // One frame more for each halving down to --to-width: as many as the
        // exponents differ, one fewer where the mantissas leave it reached.
        frames = 1 + (static_cast<std::int64_t>(start.e) - to_width.e) + (start.m > to_width.m ? 1 : 0);
        frames = std::max<std::int64_t>(frames, 4);
    } else if (frames == 0) {
        frames = std::max<std::int64_t>(unresolved, 4);
        print_error("stopping after frame " + std::to_string(frames - 1) + ": from frame " +
                    std::to_string(frames) + " on the pixel step no longer resolves in double precision "
                    "(--frames or --to-width go deeper)");
    }
    // Frame k has width width / 2^k exactly and pixel step step0 / 2^k;
    // narrower than 1e-300 it is computed with the step's exponent apart.
    const FloatExp step0 = decimal_quotient_to_floatexp(request.width, frame_width);
    const std::int64_t last = frames - 1;
    const auto wide_frame = [&](std::int64_t k) {
        return to_floatexp(start.m, static_cast<std::int64_t>(start.e) - k) < to_floatexp(double_range_width);
    };
    // The halving that reaches --to-width may pass the deepest width by less than one halving.
    if (last > 40000 || to_floatexp(start.m, static_cast<std::int64_t>(start.e) - last + 1) < deepest_width()) {
        print_error("frame " + std::to_string(last) + " would be narrower than " + deepest_width_text +
                    ", the deepest zqvtool computes");
        return exit_usage;
    }
    const std::int64_t switch_frame = switch_frame_for(unresolved);

    const std::string& out = request.out;
    if (const std::optional<std::string> reason = check_output(out, request.force)) {
        print_error(out + ": " + *reason);
        return exit_failed;
    }

    Location location;
    location.centre_re = request.centre_re;
    location.centre_im = request.centre_im;
    location.width = request.width;
    location.cap = request.cap;
    location.switch_frame = switch_frame < frames ? switch_frame : -1;
    DeepZoom zoom;
    BlockFlags blocks;  // of the last deep frame
    if (switch_frame < frames) {
        zoom = start_deep_zoom(request.centre_re, request.centre_im,
                               fraction_bits_for_step(step0.m, static_cast<int>(step0.e - last)));
        zoom.report = show_reference;
    }

    set_view(centre_re, centre_im, width);
    catch_interrupt();
    std::string part;
    if (const std::optional<std::string> reason = start_recording_part(out, part)) {
        print_error(*reason);
        return exit_failed;
    }
    status = Status{};
    status.on_terminal = isatty(2) != 0;
    status.started = status.shown = Clock::now();

    std::uint32_t cap = request.cap != 0 ? request.cap : auto_cap_start;
    CapReport report;
    std::int64_t made = 0;
    std::optional<RecordingStop> stop;
    double total_iterations = 0.0, total_seconds = 0.0, last_seconds = 0.0;
    std::uint64_t last_points = 1, last_capped = 1;  // no recomputation of frame 0
    for (std::int64_t k = 0; k < frames && !stop && !interrupted(); ++k) {
        const bool deep = k >= switch_frame;
        const bool wide = wide_frame(k);
        const double step = wide ? step0.m : to_double(to_floatexp(step0.m, static_cast<std::int64_t>(step0.e) - k));
        std::uint64_t points = 0, capped = 0, near_cap = 0, iterations = 0, steps = 0;
        bool whole = true;
        const Clock::time_point frame_start = Clock::now();
        for (int attempt = 0;; ++attempt) {
            if (deep) {
                DeepFrameStats s;
                whole = compute_deep_frame(zoom, frame, blocks, s, step, cap, request.with_bla, frames_stop_flag(),
                                           wide ? static_cast<int>(step0.e - k) : 0);
                points = s.points, capped = s.capped, near_cap = s.near_cap;
                iterations = s.iterations, steps = s.steps;
            } else {
                set_max_iterations(cap);
                whole = compute_frame(frame);
                const FrameTally& t = last_frame_tally();
                points = t.points, capped = t.capped, near_cap = t.near_cap;
                iterations = last_frame_iterations(), steps = 0;
            }
            // More than 10 % at the cap, and more than twice the last frame's share.
            const bool turned_black = capped * 10 > points && capped * last_points > 2 * last_capped * points;
            if (!whole || request.cap != 0 || attempt == 1 || cap >= auto_cap_ceiling || !turned_black)
                break;
            cap = std::min(cap * 4, auto_cap_ceiling);
        }
        last_points = points;
        last_capped = capped;
        if (!whole)
            break;
        write_frame(frame);
        stop = take_recording_stop();
        if (stop)
            break;
        ++made;
        location.last_cap = cap;
        if (too_many_capped(capped, points)) {
            const double share = static_cast<double>(capped) / static_cast<double>(points);
            if (report.first < 0)
                report.first = k;
            report.last = k;
            ++report.count;
            if (share > report.worst_share) {
                report.worst_share = share;
                report.worst_frame = k;
                report.cap = cap;
            }
        }
        last_seconds = std::chrono::duration<double>(Clock::now() - frame_start).count();
        total_iterations += static_cast<double>(iterations);
        total_seconds += last_seconds;
        show_status(k, frames, to_floatexp(start.m, static_cast<std::int64_t>(start.e) - k),
                    total_seconds > 0.0 ? total_iterations / total_seconds : 0.0,
                    steps > 0 ? static_cast<double>(iterations) / static_cast<double>(steps) : 0.0, last_seconds,
                    k + 1 == frames);
        if (!deep)
            halve_width();
        if (request.cap == 0 && too_many_capped(near_cap, points) && cap < auto_cap_ceiling)
            cap *= 2;
    }
    end_status();
    end_recording();

    if (report.count > 0)
        print_error(std::to_string(report.count) + (report.count == 1 ? " frame" : " frames") + " (frames " +
                    std::to_string(report.first) + " to " + std::to_string(report.last) +
                    ") had more than 1% of their computed points at the cap; frame " +
                    std::to_string(report.worst_frame) + " the most, " +
                    fixed_text(100.0 * report.worst_share, 1) + "% at the cap " + std::to_string(report.cap) +
                    " (those points show black; " +
                    (request.cap != 0 ? "--cap auto or a higher --cap computes them)" : "the automatic cap stops at " +
                                                                                           std::to_string(auto_cap_ceiling) + ")"));
    if (stop) {
        print_error("writing " + part + " failed: " + stop->reason + "; " +
                    (stop->whole_frames > 0 ? out + " keeps " + frames_text(static_cast<std::int64_t>(stop->whole_frames))
                                            : "nothing kept"));
        keep_outputs(part, out, request.force, location_text(location),
                     static_cast<std::int64_t>(stop->whole_frames));
        return exit_failed;
    }
    if (interrupted()) {
        const bool kept = keep_outputs(part, out, request.force, location_text(location), made);
        print_error(std::string("stopped by ") + interrupt_name() +
                    (kept ? "; " + out + " keeps " + frames_text(made) : made == 0 ? "; no frame was whole, nothing kept" : ""));
        return interrupt_exit_code();
    }
    if (!keep_outputs(part, out, request.force, location_text(location), made))
        return exit_failed;
    return 0;
}

}  // namespace zqv
