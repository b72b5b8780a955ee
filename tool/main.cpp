// zqvtool: the command line of the recordings. Subcommands make a recording
// from any view, tell what a file holds, and export a recording as the
// program's playback shows it. This file only wires the command line.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>

#include "app/program.h"
#include "tool/tool.h"

namespace {

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

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"zqvtool: make, inspect and export ZQV zoom recordings", "zqvtool"};
    app.set_version_flag("--version", std::string("zqvtool ") + program_version);
    app.require_subcommand(1);
    const std::string exit_codes =
        "Exit codes: 0 done, 1 a file could not be read or written, 2 a bad command line, 130 stopped by Ctrl-C.";
    app.footer(exit_codes);

    std::vector<std::string> info_paths;
    CLI::App* info = app.add_subcommand("info", "tell what recordings hold");
    info->footer("For each file: the start view, the whole frames (counted from 0, the start view), the last "
                 "frame's width, the trailing bytes of a partial last frame, and the first frame whose pixel step "
                 "no longer resolves in double precision.\n\n" + exit_codes);
    info->add_option("FILE", info_paths, "recordings")->required();

    GenerateOptions generate_options{};
    std::string view_name = "generate-only", centre_text;
    CLI::App* generate = app.add_subcommand("generate", "record a zoom from any start view");
    generate->footer("Writes a recording exactly as the program writes one from that start view, on every core, "
                     "into OUT.part, which becomes OUT when it ends: at the depth where double precision runs out, "
                     "after --frames, at Ctrl-C, or at a write failure (a full disk). OUT keeps every whole frame "
                     "made, if there is one.\n\n" + exit_codes);
    std::vector<std::string> view_names;
    for (const StartView& view : start_views)
        view_names.emplace_back(view.name);
    CLI::Option* view_option = generate->add_option("--view", view_name, "a start view of the program")
                                   ->check(CLI::IsMember(view_names))
                                   ->capture_default_str();
    CLI::Option* centre_option =
        generate->add_option("--centre", centre_text, "the centre of another start view")->type_name("RE,IM");
    CLI::Option* width_option =
        generate->add_option("--width", generate_options.width, "its width in the plane")->type_name("W");
    view_option->excludes(centre_option)->excludes(width_option);
    centre_option->needs(width_option);
    width_option->needs(centre_option);
    CLI::Option* frames_option =
        generate->add_option("--frames", generate_options.frames, "whole frames to make (the ring's first 4 at least)")
            ->check(CLI::Range(std::int64_t{4}, std::int64_t{1} << 40));
    generate->add_option("--cap", generate_options.cap, "the iteration cap instead of the program's")
        ->check(CLI::Range(1u, 1u << 30));
    generate
        ->add_flag("--past-precision", generate_options.past_precision,
                   "go on past the depth where double precision runs out")
        ->needs(frames_option);
    generate->add_flag("--force", generate_options.force, "overwrite OUT if it exists");
    generate->add_option("OUT", generate_options.out, "the recording to write (.zqv)")->required();

    ExportOptions export_options{"", "", 32, 50, 1, false, 0, -1, false};
    CLI::App* exporter = app.add_subcommand("export", "turn a recording into a video, a GIF or PNG pictures");
    exporter->footer("Writes the zoom as the program's playback shows it: every tick's display image in the "
                     "program's colours, from the first picture to the last whose three levels hold frames of the "
                     "file. The format follows OUT: .mp4 (H.264), .webm (VP9), .mkv (lossless FFV1), .gif (the "
                     "colour table as palette, lossless) or a pattern such as out/%05d.png (lossless PNG "
                     "pictures numbered from 1). Video and GIF files are made by the Linux build only. Nothing is "
                     "left under OUT's names unless the export is complete.\n\n" + exit_codes);
    exporter->add_option("IN", export_options.in, "the recording to export")->required();
    exporter->add_option("OUT", export_options.out, "the output file or PNG pattern")->required();
    exporter->add_option("--step", export_options.step, "pixels the scale grows per picture, as in playback")
        ->check(CLI::Range(1, 640))
        ->capture_default_str();
    exporter->add_option("--fps", export_options.fps, "pictures per second (50: one per 20 ms tick)")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    exporter->add_option("--scale", export_options.scale, "repeat every pixel K x K times (2: 1280 x 960)")
        ->type_name("K")
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    exporter->add_flag("--smooth", export_options.smooth,
                       "zoom at an even, exponential rate instead of the playback's linear steps");
    exporter->add_option("--from", export_options.from, "the outermost frame of the first picture")
        ->check(CLI::NonNegativeNumber);
    exporter->add_option("--to", export_options.to, "the outermost frame of the last picture")
        ->check(CLI::NonNegativeNumber);
    exporter->add_flag("--force", export_options.force, "overwrite OUT if it exists");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : exit_usage;
    }

    if (info->parsed())
        return run_info(info_paths);
    if (exporter->parsed())
        return run_export(export_options);
    if (centre_option->count() > 0) {
        if (!parse_centre(centre_text, generate_options.centre_re, generate_options.centre_im) ||
            !std::isfinite(generate_options.width) || !(generate_options.width > 0.0)) {
            print_error("--centre takes two finite numbers RE,IM and --width a finite positive number");
            return exit_usage;
        }
    } else {
        for (const StartView& view : start_views) {
            if (view_name == view.name) {
                generate_options.centre_re = view.centre_re;
                generate_options.centre_im = view.centre_im;
                generate_options.width = view.width;
            }
        }
    }
    return run_generate(generate_options);
}
