// Input files read whole, at most as large as their kind can be.
#include <cstdio>
#include <memory>

#include "tool/system/platform.h"

namespace zqv {

std::optional<std::string> read_input_file(const std::string& path, std::size_t limit, std::string& contents)
{
    std::FILE* opened = nullptr;
    if (std::optional<std::string> reason = open_input_file(path, opened))
        return reason;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened, std::fclose);
    // One byte past the limit tells a file that is too large, however it grew.
    contents.assign(limit + 1, '\0');
    const std::size_t size = std::fread(contents.data(), 1, contents.size(), file.get());
    if (std::ferror(file.get()))
        return std::string("it cannot be read");
    if (size > limit)
        return "it is larger than " + std::to_string(limit) + " bytes";
    contents.resize(size);
    return std::nullopt;
}

}  // namespace zqv
