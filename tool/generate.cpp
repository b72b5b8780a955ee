// zqvtool generate: a recording of a zoom from any start view, made as the
// program's Generate Only makes one (every core, the fast frames), into a
// new temporary file beside OUT that takes OUT's name when it ends.
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/program.h"
#include "fractal/frame.h"
#include "fractal/view.h"
#include "tool/output_files.h"
#include "tool/progress.h"
#include "tool/recording_checks.h"
#include "tool/subcommands.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace zqv {

namespace {

struct GenerateOptions {
    std::string out;
    std::string view = generate_only_view.name;  // empty when --centre names the view
    std::string centre;                           // "RE,IM", with width
    double width = 0.0;
    std::int64_t frames = 0;  // 0: until double precision runs out
    std::uint32_t cap = 0;    // 0: the program's
    bool past_precision = false;
    bool force = false;
};

// "RE,IM" as two finite doubles, read the same in every locale.
bool parse_centre(const std::string& text, double& re, double& im)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result first = std::from_chars(text.data(), end, re);
    if (first.ec != std::errc{} || first.ptr == end || *first.ptr != ',')
        return false;
    const std::from_chars_result second = std::from_chars(first.ptr + 1, end, im);
    return second.ec == std::errc{} && second.ptr == end && std::isfinite(re) && std::isfinite(im);
}

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

int run_generate(const GenerateOptions& options)
{
    double centre_re = 0.0, centre_im = 0.0, width = options.width;
    if (options.view.empty()) {
        if (!parse_centre(options.centre, centre_re, centre_im) || !std::isfinite(width) || !(width > 0.0)) {
            print_error("--centre takes two finite numbers RE,IM and --width a finite positive number");
            return exit_usage;
        }
    } else {
        for (const StartView& view : start_views) {
            if (options.view == view.name) {
                centre_re = view.centre_re;
                centre_im = view.centre_im;
                width = view.width;
            }
        }
    }

    start_program();
    if (options.cap != 0)
        set_max_iterations(options.cap);
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
    std::optional<std::string> reason = create_part_file(out, part);
    if (!reason)
        reason = start_recording(part.c_str());  // opens the new, empty file
    if (reason) {
        print_error("cannot write " + (part.empty() ? out : part) + ": " + *reason);
        return exit_failed;
    }
    start_progress("frames", frames);
    generate_ring();
    std::int64_t made = ring_slots;
    std::optional<RecordingStop> stop = take_recording_stop();
    show_progress(made);
    while (!stop && !interrupted() && made < frames) {
        step_zoom();
        stop = take_recording_stop();
        if (!stop)
            show_progress(++made);
    }
    end_progress();
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
                     "ends: at the depth where double precision runs out, after --frames, at Ctrl-C, SIGTERM or "
                     "SIGHUP (within a second, even in a long frame), or at a write failure (a full disk). OUT keeps "
                     "every whole frame made, if there is one.\n\n" + exit_codes_help);
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
    view_option->excludes(centre_option)->excludes(width_option);
    centre_option->needs(width_option);
    width_option->needs(centre_option);
    CLI::Option* frames_option =
        generate->add_option("--frames", options->frames, "whole frames to make (the ring's first 4 at least)")
            ->check(CLI::Range(std::int64_t{4}, std::int64_t{1} << 40));
    generate->add_option("--cap", options->cap, "the iteration cap instead of the program's")
        ->check(CLI::Range(1u, 1u << 30));
    generate
        ->add_flag("--past-precision", options->past_precision,
                   "go on past the depth where double precision runs out")
        ->needs(frames_option);
    generate->add_flag("--force", options->force, "replace OUT if it is a regular file");
    generate->add_option("OUT", options->out, "the recording to write (.zqv)")->required();
    generate->callback([options, centre_option] {
        if (centre_option->count() > 0)
            options->view.clear();
        exit_with(run_generate(*options));
    });
}

}  // namespace zqv
