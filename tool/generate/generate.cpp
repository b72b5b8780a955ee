// zqvtool generate: a recording of a zoom from any start view, made as the
// program's Generate Only makes one (every core, the fast frames), into a
// new temporary file beside OUT that takes OUT's name when it ends.
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/program.h"
#include "fractal/frame/fast_frame.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "tool/auto_cap.h"
#include "tool/generate/deep_generate.h"
#include "tool/location.h"
#include "tool/output/output_files.h"
#include "tool/recordings/recording_checks.h"
#include "tool/subcommands.h"
#include "tool/system/progress.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace zqv {

namespace {

struct GenerateOptions {
    std::string out;
    std::string view = generate_only_view.name;  // empty when --centre names the view
    std::string centre;                           // "RE,IM", with width
    std::string width;
    std::int64_t frames = 0;  // 0: until double precision runs out
    std::string cap;          // a count, "auto", or empty: auto, or the program's for --view
    std::string to_width;     // the deep path's depth instead of --frames
    std::string location;     // the deep path's start from a location file
    bool past_precision = false;
    bool force = false;
};

std::string frames_text(std::int64_t frames)
{
    return std::to_string(frames) + (frames == 1 ? " whole frame" : " whole frames");
}

// Gives the recording OUT's name, or removes it when it holds no frame.
bool keep_recording(const std::string& part, const std::string& out, bool force, std::int64_t frames)
{
    std::error_code error;
    if (frames == 0) {
        std::filesystem::remove(part, error);
        return false;
    }
    const std::optional<std::string> reason = give_name(part, out, force);
    if (reason)
        print_error(*reason + "; " + part + " keeps " + frames_text(frames));
    return !reason;
}

// The whole frames in the recording file at path.
std::int64_t whole_frames_in(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error || size < recording_header_bytes ? 0 : static_cast<std::int64_t>((size - recording_header_bytes) / frame_bytes);
}

// ---- The deep path (tool/deep_generate.cpp) and the cap report of this one ----

// The deep path takes a location file, a --centre view given a depth
// (--frames or --to-width; unless --past-precision asks for today's double
// frames past their resolution), and a --view asked deeper than double
// precision resolves (--to-width, or --frames past the first unresolved
// frame); its exit code, or nothing when the path here makes the recording.
std::optional<int> run_deep_if_asked(const GenerateOptions& options, const Location& location, std::uint32_t cap)
{
    if (options.past_precision ||
        (options.location.empty() && options.frames == 0 && options.to_width.empty()))
        return std::nullopt;
    DeepRequest request;
    request.out = options.out;
    request.force = options.force;
    request.frames = options.frames;
    request.cap = cap;
    if (!options.to_width.empty()) {
        const std::optional<Decimal> to_width = parse_decimal(options.to_width);
        if (!to_width || to_width->negative || to_width->digits == "0") {
            print_error("--to-width takes a positive decimal number");
            return exit_usage;
        }
        request.to_width = *to_width;
        request.has_to_width = true;
    }
    request.centre_re = location.centre_re;
    request.centre_im = location.centre_im;
    request.width = location.width;
    if (!options.location.empty()) {
        if (options.cap.empty())
            request.cap = location.cap;
    } else if (options.centre.empty()) {
        // A start view goes deep only past its first unresolved frame, at the program's cap unless given.
        if (!request.has_to_width &&
            options.frames <= first_unresolved_frame(decimal_to_double(location.centre_re),
                                                     decimal_to_double(location.centre_im),
                                                     decimal_to_double(location.width)))
            return std::nullopt;
        if (options.cap.empty())
            request.cap = program_iteration_cap;
    }
    return run_deep_generate(request);
}

// Frames of which more than 1 in capped_share_divisor computed points
// reached the cap: how many, the first, and the worst share.
struct CappedFrames {
    std::int64_t count = 0, first = -1, worst_frame = -1;
    double worst_share = 0.0;
};
CappedFrames capped_frames;

void note_capped_points(std::int64_t frame)
{
    const FrameTally& tally = last_frame_tally();
    if (tally.capped * capped_share_divisor <= tally.points)
        return;
    const double share = static_cast<double>(tally.capped) / static_cast<double>(tally.points);
    ++capped_frames.count;
    if (capped_frames.first < 0)
        capped_frames.first = frame;
    if (share > capped_frames.worst_share) {
        capped_frames.worst_share = share;
        capped_frames.worst_frame = frame;
    }
}

void report_capped_points()
{
    if (capped_frames.count == 0)
        return;
    print_error(std::to_string(capped_frames.count) + " frames from frame " + std::to_string(capped_frames.first) +
                " had more than 1% of their computed points at the cap " + std::to_string(max_iterations()) +
                "; frame " + std::to_string(capped_frames.worst_frame) + " the most, " +
                std::to_string(static_cast<int>(100.0 * capped_frames.worst_share + 0.5)) +
                "% (those points show black; a higher --cap computes them)");
}

// ---- The path of today's double frames ----

int run_generate(const GenerateOptions& options)
{
    const std::optional<std::uint32_t> cap_option = parse_cap(options.cap.empty() ? "auto" : options.cap);
    if (!cap_option) {
        print_error("--cap takes auto or a count from 1 to 2^30 (1073741824)");
        return exit_usage;
    }
    const std::uint32_t cap = *cap_option;
    Location location;
    bool unreadable = false;
    if (const std::optional<std::string> reason =
            choose_location({options.view, options.centre, options.width, options.location}, location, unreadable)) {
        print_error(*reason);
        return unreadable ? exit_failed : exit_usage;
    }
    if (const std::optional<int> code = run_deep_if_asked(options, location, cap))
        return *code;
    const double centre_re = decimal_to_double(location.centre_re);
    const double centre_im = decimal_to_double(location.centre_im);
    const double width = decimal_to_double(location.width);
    if (!std::isfinite(centre_re) || !std::isfinite(centre_im) || !std::isfinite(width)) {
        print_error("--centre takes two finite numbers RE,IM and --width a finite positive number");
        return exit_usage;
    }
    if (!(width > 0.0)) {  // a positive width below the doubles' range reads as 0 here
        print_error("a recording starts at a width of at least 1e-300, which its header holds as a double "
                    "(render starts anywhere)");
        return exit_usage;
    }

    start_program();
    if (cap != 0)
        set_max_iterations(cap);
    const std::string& out = options.out;
    if (const std::optional<std::string> reason = check_output(out, options.force)) {
        print_error(out + ": " + *reason);
        return exit_failed;
    }

    std::int64_t frames = options.frames;
    const std::int64_t unresolved = first_unresolved_frame(centre_re, centre_im, width);
    if (!options.past_precision && (frames == 0 || frames > unresolved)) {
        if (unresolved < ring_slots) {
            print_error("this view resolves only " + std::to_string(unresolved) + " frames in double precision, and "
                        "a recording starts with " + std::to_string(ring_slots) + " (--past-precision makes them)");
            return exit_usage;
        }
        print_error("will stop after frame " + std::to_string(unresolved - 1) + ": from frame " +
                    std::to_string(unresolved) + " on the pixel step no longer resolves in double precision "
                    "(--past-precision goes on)");
        frames = unresolved;
    }

    // Every step turns the ring, as in Generate Only: one new frame each.
    set_zoom_step(min_scale);
    set_view(centre_re, centre_im, width);
    catch_interrupt();
    std::string part;
    if (const std::optional<std::string> reason = start_recording_part(out, part)) {
        print_error(*reason);
        return exit_failed;
    }
    start_progress("frames", frames);
    generate_ring();
    note_capped_points(ring_slots - 1);  // the ring's last frame: its tally is the one kept
    std::int64_t made = ring_slots;
    std::optional<RecordingStop> stop = take_recording_stop();
    show_progress(made);
    while (!stop && !interrupted() && made < frames) {
        step_zoom();
        stop = take_recording_stop();
        if (!stop) {
            note_capped_points(made);
            show_progress(++made);
        }
    }
    end_progress();
    report_capped_points();
    end_recording();

    if (stop) {
        print_error("writing " + part + " failed: " + stop->reason + "; " +
                    (stop->whole_frames > 0 ? out + " keeps " + frames_text(stop->whole_frames) : "nothing kept"));
        keep_recording(part, out, options.force, static_cast<std::int64_t>(stop->whole_frames));
        return exit_failed;
    }
    if (interrupted()) {
        // A stop cuts the frame in hand short, and the ring records none of it.
        made = whole_frames_in(part);
        const bool kept = keep_recording(part, out, options.force, made);
        print_error(std::string("stopped by ") + interrupt_name() +
                    (kept ? "; " + out + " keeps " + frames_text(made) : made == 0 ? "; no frame was whole, nothing kept" : ""));
        return interrupt_exit_code();
    }
    if (!keep_recording(part, out, options.force, made))
        return exit_failed;
    return 0;
}

}  // namespace

void setup_generate(CLI::App& app)
{
    auto options = std::make_shared<GenerateOptions>();
    CLI::App* generate = app.add_subcommand("generate", "record a zoom from any start view");
    generate->footer("Writes a recording exactly as the program writes one from that start view, on every core, "
                     "into a new file OUT.part (OUT.2.part... if that name is taken), which becomes OUT when it "
                     "ends: at the depth where double precision runs out, after --frames or at --to-width, at "
                     "Ctrl-C, SIGTERM or SIGHUP (within a second, even in a long frame), or at a write failure (a "
                     "full disk). OUT keeps every whole frame made, if there is one.\n\n"
                     "Deep zooms: --centre and --width take decimals of any length (\"-0.74364388703715870475,"
                     "0.13182590420531197049\", \"1.5e-120\"), and the frames go down to widths of 1e-10000 (a recording "
                     "starts at 1e-300 or wider, as its header holds the start in doubles); --view goes deep when "
                     "--to-width or --frames asks past where double precision runs out. Frames are today's double "
                     "frames up to the switch frame, 8 halvings before the first frame whose pixel step double "
                     "precision no longer resolves, and from there on the deep engine's (one multiprecision "
                     "reference orbit, perturbation with rebasing, bilinear approximation, extended exponents where offsets "
                     "leave double's range past 1e-300). OUT.location keeps the "
                     "exact start, the cap and the switch frame; --location reads one back. The automatic cap starts "
                     "at 2048 and doubles after a frame of which more than 1% of the computed points escaped above "
                     "half of it; a frame with more than 10% of its points at the cap and more than twice the share "
                     "of the frame before is computed again at four times the cap; it stops at 33554432. Generate "
                     "reports frames with more than 1% of their computed points at the cap.\n\n" +
                     exit_codes_help);
    std::vector<std::string> view_names;
    for (const StartView& view : start_views)
        view_names.emplace_back(view.name);
    CLI::Option* view_option = generate->add_option("--view", options->view, "a start view of the program")
                                   ->check(CLI::IsMember(view_names))
                                   ->capture_default_str();
    CLI::Option* centre_option =
        generate->add_option("--centre", options->centre, "the centre of another start view")->type_name("RE,IM");
    CLI::Option* width_option =
        generate->add_option("--width", options->width, "its width in the plane")->type_name("W");
    CLI::Option* location_option =
        generate->add_option("--location", options->location,
                             "start from a location file (OUT.location), at --width if given")
            ->type_name("FILE");
    view_option->excludes(centre_option)->excludes(width_option)->excludes(location_option);
    location_option->excludes(centre_option);
    centre_option->needs(width_option);
    CLI::Option* frames_option =
        generate->add_option("--frames", options->frames, "whole frames to make (the ring's first 4 at least)")
            ->check(CLI::Range(std::int64_t{4}, std::int64_t{1} << 40));
    CLI::Option* to_width_option =
        generate->add_option("--to-width", options->to_width, "go deeper until the width is at most W (>= 1e-10000)")
            ->type_name("W");
    to_width_option->excludes(frames_option);
    generate->add_option("--cap", options->cap,
                         "the iteration cap, up to 1073741824, or auto [default: auto; 2048, the program's, with "
                         "--view]")
        ->type_name("N|auto");
    generate
        ->add_flag("--past-precision", options->past_precision,
                   "go on past the depth where double precision runs out")
        ->needs(frames_option)
        ->excludes(to_width_option)
        ->excludes(location_option);
    generate->add_flag("--force", options->force, "replace OUT if it is a regular file");
    generate->add_option("OUT", options->out, "the recording to write (.zqv)")->required();
    generate->callback([options, centre_option] {
        if (centre_option->count() > 0)
            options->view.clear();
        exit_with(run_generate(*options));
    });
}

}  // namespace zqv
