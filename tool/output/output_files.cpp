// What may stand at an output's name, and the temporary names beside it.
#include "tool/output/output_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "recording/recording.h"
#include "tool/subcommands.h"
#include "tool/system/platform.h"
#include "tool/system/progress.h"

namespace zqv {

namespace {

namespace fs = std::filesystem;

// Tries so many names before giving up: far more than stale files explain.
constexpr int part_names_tried = 1000;

std::string part_suffix_number(int n)
{
    if (n == 1)
        return part_suffix;
    std::string suffix = ".";  // appended piece by piece: GCC 12 warns of a false overlap in "." + ...
    suffix += std::to_string(n);
    suffix += ".part";
    return suffix;
}

// Whether anything, a dangling symbolic link too, has the name. When that
// cannot be told (an unreadable folder), creating the file tells why.
bool taken(const std::string& path)
{
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    return type != fs::file_type::not_found && type != fs::file_type::none;
}

}  // namespace

std::optional<std::string> check_output(const std::string& path, bool force)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found)
        return std::nullopt;
    if (error)
        return error.message();
    if (fs::is_symlink(status))
        return "it is a symbolic link, which zqvtool never replaces (name its target)";
    if (!fs::is_regular_file(status))
        return "it is not a regular file (--force replaces regular files only)";
    if (!force)
        return "the file exists (--force overwrites it)";
    return std::nullopt;
}

std::optional<std::string> create_part_file(const std::string& out, std::string& part)
{
    for (int n = 1; n <= part_names_tried; ++n) {
        part = out + part_suffix_number(n);
        if (taken(part))
            continue;
        std::optional<std::string> reason = create_new_file(part);
        if (!reason || !taken(part))  // made, or failed for a reason other than the name
            return reason;
    }
    return "every temporary name from " + out + ".part to " + part + " is taken";
}

std::string free_part_suffix(const std::vector<std::string>& names)
{
    for (int n = 1;; ++n) {
        const std::string suffix = part_suffix_number(n);
        bool free = true;
        for (std::size_t i = 0; free && i < names.size(); ++i)
            free = !taken(names[i] + suffix);
        if (free)
            return suffix;
    }
}

std::optional<std::string> write_whole_file(const std::string& path, const std::string& text)
{
    std::string part;
    if (std::optional<std::string> reason = create_part_file(path, part))
        return "cannot write " + path + ": " + *reason;
    std::ofstream file(part, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    std::error_code error;
    if (!file) {
        std::filesystem::remove(part, error);
        return "cannot write " + part;
    }
    std::filesystem::rename(part, path, error);
    if (error) {
        const std::string reason = "cannot rename " + part + " to " + path + ": " + error.message();
        std::filesystem::remove(part, error);
        return reason;
    }
    return std::nullopt;
}

std::optional<std::string> give_name(const std::string& part, const std::string& out, bool force)
{
    if (std::optional<std::string> reason = check_output(out, force))
        return "cannot rename " + part + " to " + out + ": " + *reason;
    std::error_code error;
    fs::rename(part, out, error);
    if (error)
        return "cannot rename " + part + " to " + out + ": " + error.message();
    return std::nullopt;
}

// Gives every output file its own name from its temporary one (name +
// suffix), or removes them all.
namespace {

std::optional<std::string> finish_files(const std::vector<std::string>& names, const std::string& suffix, bool keep,
                                        bool force)
{
    // The pictures are made in order under a suffix no name had: the first
    // one missing ends those written, however many the render would have made.
    const auto remove_from = [&names, &suffix](std::size_t first) {
        std::error_code error;
        for (std::size_t i = first; i < names.size(); ++i)
            if (!std::filesystem::remove(names[i] + suffix, error))
                break;
    };
    if (!keep) {
        remove_from(0);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::optional<std::string> reason = give_name(names[i] + suffix, names[i], force)) {
            remove_from(i);
            return reason;
        }
    }
    return std::nullopt;
}

// Removes the regular files in the pattern's folder whose names the pattern
// gives pictures after the last: a forced export leaves its own pictures alone.
void remove_later_pictures(const std::string& pattern, std::int64_t last)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(*picture_name(pattern, 1)).parent_path();
    std::error_code error;
    for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        // Each run of digits might be the number; at most 18 fit an int64_t.
        for (std::size_t at = 0; at < name.size();) {
            std::size_t digits = 0;
            while (at + digits < name.size() && name[at + digits] >= '0' && name[at + digits] <= '9')
                ++digits;
            if (digits > 0 && digits <= 18) {
                const std::int64_t number = std::stoll(name.substr(at, digits));
                if (number > last && fs::path(*picture_name(pattern, number)) == folder / name &&
                    entry->is_symlink(error) == false && entry->is_regular_file(error))
                    fs::remove(entry->path(), error);
            }
            at += std::max<std::size_t>(digits, 1);
        }
    }
}

}  // namespace

std::optional<std::string> start_recording_part(const std::string& out, std::string& part)
{
    std::optional<std::string> reason = create_part_file(out, part);
    if (!reason)
        reason = start_recording(part.c_str());  // opens the new, empty file
    if (reason)
        return "cannot write " + (part.empty() ? out : part) + ": " + *reason;
    return std::nullopt;
}

std::vector<std::string> output_names(const std::string& out, std::int64_t total)
{
    if (!has_extension(out, ".png"))
        return {out};
    std::vector<std::string> names;
    for (std::int64_t number = 1; number <= total; ++number)
        names.push_back(*picture_name(out, number));
    return names;
}

std::optional<std::string> check_outputs(const std::string& out, const std::vector<std::string>& names, bool force)
{
    for (const std::string& name : names)
        if (const std::optional<std::string> reason = check_output(name, force))
            return name + ": " + *reason;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(out).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
        return out + ": there is no folder " + folder.string();
    return std::nullopt;
}

// One file is made new under a free name here; PNG pictures as they come.
std::optional<std::string> write_pictures(const std::string& out, const std::vector<std::string>& names, bool force,
                                          int width, int height, int fps, PictureKind kind,
                                          const EncoderSettings& settings,
                                          const std::function<std::optional<std::string>()>& write_all)
{
    catch_interrupt();
    const bool png = has_extension(out, ".png");
    std::string suffix, part;
    std::optional<std::string> failure;
    if (png) {
        suffix = free_part_suffix(names);
    } else if (!(failure = create_part_file(out, part))) {
        suffix = part.substr(out.size());
    }
    if (!failure)
        failure = open_pictures(out, out + suffix, width, height, fps, kind, settings);
    if (failure) {
        failure = out + ": " + *failure;
    } else {
        failure = write_all();
        const std::optional<std::string> closed = close_pictures();
        if (!failure && closed)
            failure = out + ": " + *closed;
    }
    if (!failure && interrupted())
        failure = std::string("stopped by ") + interrupt_name() + "; nothing written";
    if (!failure)
        failure = finish_files(names, suffix, true, force);
    if (failure) {
        if (!suffix.empty())
            finish_files(names, suffix, false, force);
        return failure;
    }
    if (png && force)
        remove_later_pictures(out, static_cast<std::int64_t>(names.size()));
    return std::nullopt;
}

}  // namespace zqv
