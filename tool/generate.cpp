// zqvtool generate: a recording of a zoom from any start view, made as the
// program's Generate Only makes one (every core, the fast frames), into a
// temporary file beside OUT that takes OUT's name when it ends.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/program.h"
#include "fractal/view.h"
#include "tool/tool.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

namespace {

std::string frames_text(std::int64_t frames)
{
    return std::to_string(frames) + (frames == 1 ? " whole frame" : " whole frames");
}

// Gives the recording OUT's name, or removes it when it holds no frame.
bool keep_recording(const std::string& part, const std::string& out, std::int64_t frames)
{
    std::error_code error;
    if (frames == 0) {
        std::filesystem::remove(part, error);
        return false;
    }
    std::filesystem::rename(part, out, error);
    if (error)
        print_error("cannot rename " + part + " to " + out + ": " + error.message() + "; " + part + " keeps " +
                    frames_text(frames));
    return !error;
}

}  // namespace

int run_generate(const GenerateOptions& options)
{
    start_program();
    if (options.cap != 0)
        set_max_iterations(options.cap);
    const std::string& out = options.out;
    std::error_code error;
    if (!options.force && std::filesystem::exists(out, error)) {
        print_error(out + ": the file exists (--force overwrites it)");
        return exit_failed;
    }

    std::int64_t frames = options.frames;
    const std::int64_t unresolved = first_unresolved_frame(options.centre_re, options.centre_im, options.width);
    if (!options.past_precision && (frames == 0 || frames > unresolved)) {
        if (unresolved < ring_slots) {
            print_error("this view resolves only " + std::to_string(unresolved) + " frames in double precision, and "
                        "a recording starts with " + std::to_string(ring_slots) + " (--past-precision makes them)");
            return exit_failed;
        }
        print_error("stopping after frame " + std::to_string(unresolved - 1) + ": from frame " +
                    std::to_string(unresolved) + " on the pixel step no longer resolves in double precision "
                    "(--past-precision goes on)");
        frames = unresolved;
    }

    // Every step turns the ring, as in Generate Only: one new frame each.
    set_zoom_step(min_scale);
    set_view(options.centre_re, options.centre_im, options.width);
    const std::string part = out + ".part";
    if (const std::optional<std::string> reason = start_recording(part.c_str())) {
        print_error("cannot write " + part + ": " + *reason);
        return exit_failed;
    }
    catch_interrupt();
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
        keep_recording(part, out, static_cast<std::int64_t>(stop->whole_frames));
        return exit_failed;
    }
    if (!keep_recording(part, out, made))
        return exit_failed;
    if (interrupted()) {
        print_error("interrupted; " + out + " keeps " + frames_text(made));
        return exit_interrupted;
    }
    return 0;
}
