// What the picture outputs of both builds share: the extensions and the
// names of numbered pictures.
#include "tool/output/pictures.h"

namespace zqv {

bool has_extension(const std::string& path, const std::string& extension)
{
    if (path.size() < extension.size())
        return false;
    const std::size_t start = path.size() - extension.size();
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const char c = path[start + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != extension[i])  // ASCII, in any locale
            return false;
    }
    return true;
}

std::optional<std::string> picture_name(const std::string& pattern, std::int64_t number)
{
    std::string name;
    int numbers = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (++i < pattern.size() && pattern[i] == '%') {
            name += '%';
            continue;
        }
        std::size_t width = 0;
        for (; i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9'; ++i)
            width = width * 10 + static_cast<std::size_t>(pattern[i] - '0');
        if (i == pattern.size() || pattern[i] != 'd' || ++numbers > 1 || width > 30)  // 30: more than any number needs
            return std::nullopt;
        const std::string digits = std::to_string(number);
        name += std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
    }
    if (numbers != 1)
        return std::nullopt;
    return name;
}

}  // namespace zqv
