// What may stand at an output's name, and the temporary names beside it.
#include "tool/output_files.h"

#include <filesystem>
#include <system_error>

#include "tool/platform.h"
#include "tool/subcommands.h"

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

}  // namespace zqv
