// zqvtool info: what each recording file holds, and the checks of a
// recording file that export shares.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "fractal/view.h"
#include "tool/tool.h"

namespace {

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
        text += " (0 to " + std::to_string(file.whole_frames - 1) + ")\n  last width      " + exact_text(width);
    }
    text += "\n  trailing bytes  " + std::to_string(file.trailing_bytes);
    text += "\n  unresolved from frame " + std::to_string(unresolved) +
            (unresolved < file.whole_frames ? " (from there on the frames are blocky artefacts, not the set)"
                                            : " (beyond the file's frames)");
    std::puts(text.c_str());
}

}  // namespace

std::optional<std::string> check_recording(const std::string& path, RecordingFile& file)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "it is a directory, not a recording";
    if (std::optional<std::string> reason = read_recording_header(path.c_str(), file.header))
        return reason;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return error.message();
    file.whole_frames = static_cast<std::int64_t>((size - recording_header_bytes) / frame_bytes);
    file.trailing_bytes = static_cast<std::int64_t>((size - recording_header_bytes) % frame_bytes);
    return std::nullopt;
}

std::int64_t first_unresolved_frame(double centre_re, double centre_im, double width)
{
    set_view(centre_re, centre_im, width);
    std::int64_t frame = 0;
    for (; view_resolves_pixels(view_state()); ++frame)
        halve_width();  // ends: at a width of 0 no coordinate increases
    return frame;
}

void print_error(const std::string& text)
{
    std::fprintf(stderr, "zqvtool: %s\n", text.c_str());
}

std::string exact_text(double value)
{
    char text[32];  // the longest shortest form: sign, 17 digits, point, "e-308"
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

int run_info(const std::vector<std::string>& paths)
{
    int code = 0;
    for (const std::string& path : paths) {
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
