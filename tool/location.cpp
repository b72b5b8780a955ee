// Reading and writing the location file, plain text of one "key value" a
// line, and the start a command line chooses.
#include "tool/location.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <set>
#include <sstream>

#include "app/program.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

bool parse_count(const std::string& text, std::int64_t& value)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc{} && result.ptr == end;
}

}  // namespace

std::string location_path(const std::string& recording_path)
{
    return recording_path + ".location";
}

// The keys of a key frame folder's zoom, and the member of Location each fills.
constexpr std::pair<const char*, std::optional<Decimal> Location::*> zoom_keys[] = {
    {"end-width", &Location::end_width},
    {"halvings", &Location::halvings},
    {"seconds-per-halving", &Location::seconds_per_halving},
    {"duration", &Location::duration}};

std::string location_text(const Location& location)
{
    std::string text = "# ZQV location: the exact start of a zoom; zqvtool generate or render --location reads it\n";
    text += "centre-re " + decimal_text(location.centre_re) + "\n";
    text += "centre-im " + decimal_text(location.centre_im) + "\n";
    text += "width " + decimal_text(location.width) + "\n";
    text += "cap " + (location.cap == 0 ? std::string("auto") : std::to_string(location.cap)) + "\n";
    if (location.switch_frame >= 0)
        text += "switch-frame " + std::to_string(location.switch_frame) + "\n";
    if (location.last_cap != 0)
        text += "last-cap " + std::to_string(location.last_cap) + "\n";
    for (const auto& [key, member] : zoom_keys)
        if (location.*member)
            text += std::string(key) + " " + decimal_text(*(location.*member)) + "\n";
    return text;
}

std::optional<std::uint32_t> parse_cap(const std::string& text)
{
    std::int64_t count = 0;
    if (text == "auto")
        return 0u;
    if (parse_count(text, count) && count >= 1 && count <= std::int64_t{1} << 30)
        return static_cast<std::uint32_t>(count);
    return std::nullopt;
}

namespace {

// A line of a file as it may be shown on a terminal: bytes outside printable
// ASCII as \xHH, and at most 80 of them.
std::string shown_line(const std::string& line)
{
    std::string shown;
    for (const char c : line.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            constexpr char hex[] = "0123456789abcdef";
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 15];
        }
    }
    return line.size() > 80 ? shown + "..." : shown;
}

}  // namespace

std::optional<std::string> parse_location(const std::string& text, Location& location)
{
    // A byte order mark, as some editors write at the start, is no part of the text.
    const bool bom = text.compare(0, 3, "\xef\xbb\xbf") == 0;
    std::istringstream lines(bom ? text.substr(3) : text);
    std::string line;
    std::set<std::string> seen;  // the keys given so far
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        const std::string where = "line " + std::to_string(number) + ": ";
        std::int64_t count = 0;
        if (!seen.insert(key).second)  // an unknown key is refused where it first stands
            return where + key + " comes a second time";
        if (key == "centre-re" || key == "centre-im" || key == "width") {
            const std::optional<Decimal> d = parse_decimal(value);
            if (!d)
                return where + key + " is not a decimal number (digits with a point and an exponent, at most " +
                       std::to_string(max_decimal_digits) + " digits and exponents up to " +
                       std::to_string(max_decimal_digits) + ")";
            (key == "centre-re" ? location.centre_re : key == "centre-im" ? location.centre_im : location.width) = *d;
        } else if (key == "cap") {
            const std::optional<std::uint32_t> cap = parse_cap(value);
            if (!cap)
                return where + "cap is neither auto nor a count from 1 to 2^30";
            location.cap = *cap;
        } else if (const auto* zoom_key = std::find_if(std::begin(zoom_keys), std::end(zoom_keys),
                                                       [&](const auto& k) { return key == k.first; });
                   zoom_key != std::end(zoom_keys)) {
            const std::optional<Decimal> d = parse_decimal(value);
            if (!d || d->negative || d->digits == "0")
                return where + key + " is not a positive decimal number";
            location.*(zoom_key->second) = *d;
        } else if (key == "switch-frame" && parse_count(value, count) && count >= 0) {
            location.switch_frame = count;
        } else if (key == "last-cap" && parse_count(value, count) && count >= 1 && count <= std::int64_t{1} << 30) {
            location.last_cap = static_cast<std::uint32_t>(count);
        } else {
            return where + "not a location line: " + shown_line(line);
        }
    }
    if (seen.count("centre-re") == 0 || seen.count("centre-im") == 0 || seen.count("width") == 0)
        return std::string("it lacks centre-re, centre-im or width");
    if (location.width.negative || location.width.digits == "0")
        return std::string("its width is not positive");
    return std::nullopt;
}

std::optional<std::string> read_location(const std::string& path, Location& location)
{
    // A location is a few lines of decimals; 1 MiB holds the longest ones
    // parse_decimal takes (100,000 digits) ten times over.
    std::string text;
    if (std::optional<std::string> reason = read_input_file(path, std::size_t{1} << 20, text))
        return reason;
    return parse_location(text, location);
}

Decimal double_decimal(double value)
{
    char text[32];
    return *parse_decimal(std::string(text, std::to_chars(text, text + sizeof text, value).ptr));
}

namespace {

// The decimal of text if it is one greater than 0.
std::optional<Decimal> positive_decimal(const std::string& text)
{
    std::optional<Decimal> d = parse_decimal(text);
    return d && !d->negative && d->digits != "0" ? d : std::nullopt;
}

}  // namespace

std::optional<std::string> choose_location(const LocationChoice& choice, Location& location, bool& unreadable)
{
    unreadable = false;
    location = Location{};
    if (!choice.file.empty()) {
        const std::optional<std::string> reason = read_location(choice.file, location);
        unreadable = reason.has_value();
        if (reason)
            return choice.file + ": " + *reason;
        // --width starts the file's location at another width.
        if (choice.width.empty())
            return std::nullopt;
        const std::optional<Decimal> width = positive_decimal(choice.width);
        if (!width)
            return std::string("--width takes a positive decimal number");
        location.width = *width;
        return std::nullopt;
    }
    if (choice.centre.empty() && !choice.width.empty())
        return std::string("--width needs --centre, or --location for the location file's centre");
    if (!choice.centre.empty() || !choice.width.empty()) {
        const std::size_t comma = choice.centre.find(',');
        const std::optional<Decimal> re = parse_decimal(choice.centre.substr(0, comma));
        const std::optional<Decimal> im =
            comma == std::string::npos ? std::nullopt : parse_decimal(choice.centre.substr(comma + 1));
        const std::optional<Decimal> width = positive_decimal(choice.width);
        if (!re || !im || !width)
            return std::string("--centre takes two decimal numbers RE,IM and --width a positive decimal number");
        location.centre_re = *re;
        location.centre_im = *im;
        location.width = *width;
        return std::nullopt;
    }
    for (const StartView& view : start_views) {
        if (choice.view == view.name) {
            location.centre_re = double_decimal(view.centre_re);
            location.centre_im = double_decimal(view.centre_im);
            location.width = double_decimal(view.width);
            return std::nullopt;
        }
    }
    return "there is no start view " + choice.view;
}

bool same_place(const Location& a, const Location& b)
{
    return decimal_text(a.centre_re) == decimal_text(b.centre_re) &&
           decimal_text(a.centre_im) == decimal_text(b.centre_im) && decimal_text(a.width) == decimal_text(b.width);
}

FloatExp deepest_width()
{
    return decimal_to_floatexp(*parse_decimal(deepest_width_text));
}

std::string width_text(FloatExp width)
{
    char text[32];
    const double plain = to_double(width);
    if (plain >= double_range_width)
        return std::string(text, std::to_chars(text, text + sizeof text, plain, std::chars_format::general, 3).ptr);
    // m 2^e = 10^l: the power of ten apart, the digits of what is left.
    const double l = log10_of(width);
    double power = std::floor(l);
    double digits = std::round(std::pow(10.0, l - power) * 100.0) / 100.0;
    if (digits >= 10.0) {
        digits /= 10.0;
        power += 1.0;
    }
    std::string out(text, std::to_chars(text, text + sizeof text, digits, std::chars_format::general, 3).ptr);
    return out + "e" + std::to_string(static_cast<long long>(power));
}

}  // namespace zqv
