// zqvtool info: what each recording file holds.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "fractal/frame/view.h"
#include "tool/location.h"
#include "tool/recordings/recording_checks.h"
#include "tool/subcommands.h"
#include "tool/system/progress.h"

namespace zqv {

namespace {

struct InfoOptions {
    std::vector<std::string> paths;
};

// The shortest decimal text that reads back as the same double, with a point.
std::string exact_text(double value)
{
    char text[32];  // the longest shortest form: sign, 17 digits, point, "e-308"
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The exact start from the location file beside the recording, if there is
// one, and the first deep frame it tells of (-1: none).
std::string location_lines(const std::string& path, const RecordingFile& file, std::int64_t& deep_from)
{
    deep_from = -1;
    const std::string location_file = location_path(path);
    std::error_code error;
    if (!std::filesystem::exists(location_file, error))
        return "";
    Location location;
    if (const std::optional<std::string> reason = read_location(location_file, location))
        return "\n  location file   " + location_file + ": " + *reason;
    if (location.switch_frame >= 0 && location.switch_frame < file.whole_frames)
        deep_from = location.switch_frame;
    std::string text = "\n  location file   " + location_file + "\n  exact centre    " +
                       decimal_text(location.centre_re) + ", " + decimal_text(location.centre_im) +
                       "\n  exact width     " + decimal_text(location.width) + "\n  cap             " +
                       (location.cap == 0 ? "auto" : std::to_string(location.cap));
    if (location.last_cap != 0)
        text += " (the last frame's " + std::to_string(location.last_cap) + ")";
    if (location.switch_frame >= 0 && location.switch_frame < file.whole_frames)
        text += "\n  deep from frame " + std::to_string(location.switch_frame) +
                " (the switch frame: 8 halvings before the first unresolved one)";
    else
        text += "\n  no deep frames  (double frames throughout)";
    return text;
}

void print_info(const std::string& path, const RecordingFile& file)
{
    const RecordingHeader& h = file.header;
    const std::int64_t unresolved = first_unresolved_frame(h.centre_re, h.centre_im, h.width);
    std::string text = path + "\n  centre          " + exact_text(h.centre_re) + ", " + exact_text(h.centre_im) +
                       "\n  width           " + exact_text(h.width) + "\n  whole frames    " +
                       std::to_string(file.whole_frames);
    if (file.whole_frames > 0) {
        double width = h.width;  // halved as the ring halves it, so exactly the frame's width
        for (std::int64_t k = 1; k < file.whole_frames; ++k)
            width = width * 0.5;
        // Past double's range the halvings are counted in the exponent instead.
        const bool in_range = width >= double_range_width || !(h.width > 0.0);
        text += " (0 to " + std::to_string(file.whole_frames - 1) + ")\n  last width      " +
                (in_range ? exact_text(width) : width_text(to_floatexp(h.width, 1 - file.whole_frames)));
    }
    text += "\n  trailing bytes  " + std::to_string(file.trailing_bytes);
    std::int64_t deep_from;
    const std::string location = location_lines(path, file, deep_from);
    text += "\n  unresolved from frame " + std::to_string(unresolved) +
            (unresolved >= file.whole_frames ? " (beyond the file's frames)"
             : deep_from >= 0 && deep_from <= unresolved
                 ? " (in double precision; the deep engine's frames are exact there)"
                 : " (from there on the frames are blocky artefacts, not the set)");
    text += location;
    std::puts(text.c_str());
}

int run_info(const InfoOptions& options)
{
    int code = 0;
    for (const std::string& path : options.paths) {
        RecordingFile file;
        if (std::optional<std::string> reason = check_recording(path, file)) {
            std::fflush(stdout);  // the reports stay in the files' order on a shared terminal
            print_error(path + ": " + *reason);
            code = exit_failed;
        } else {
            print_info(path, file);
        }
    }
    return code;
}

}  // namespace

void setup_info(CLI::App& app)
{
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand("info", "tell what recordings hold");
    info->footer("For each file: the start view, the whole frames (counted from 0, the start view), the last "
                 "frame's width, the trailing bytes of a partial last frame, and the first frame whose pixel step "
                 "no longer resolves in double precision.\n\n" + exit_codes_help);
    info->add_option("FILE", options->paths, "recordings")->required();
    info->callback([options] { exit_with(run_info(*options)); });
}

}  // namespace zqv
