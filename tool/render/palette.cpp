// The built-in palettes, palette files and the colouring of grids.
#include "tool/render/palette.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>

#include "fractal/lanes/worker_pool.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

struct BuiltinPalette {
    const char* name;
    std::vector<Rgb> stops;
    double counts_per_stop;
};

// The program's own colour ramp, a stop per count, is the classic look;
// the others change colour every few counts. None holds black, the
// default colour of the points inside.
const std::vector<BuiltinPalette>& builtins()
{
    static const std::vector<BuiltinPalette> palettes = [] {
        std::vector<Rgb> ramp;
        for (int i = 0; i < 256; ++i)
            ramp.push_back(ramp_colour(i));
        return std::vector<BuiltinPalette>{
            {"sky", {{0, 7, 100}, {32, 107, 203}, {237, 255, 255}, {255, 170, 0}, {80, 30, 10}}, 8.0},
            {"classic", ramp, 1.0},
            {"fire", {{90, 0, 10}, {200, 30, 0}, {255, 140, 0}, {255, 230, 120}, {255, 255, 240}, {150, 60, 20}}, 6.0},
            {"grey", {{24, 24, 24}, {235, 235, 235}}, 12.0},
        };
    }();
    return palettes;
}

std::string trimmed(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
}

// One stop, "R G B" or "#RRGGBB", read the same in every locale.
bool parse_stop(const std::string& text, Rgb& colour)
{
    int values[3];
    if (text[0] == '#') {
        if (text.size() != 7)
            return false;
        for (int i = 0; i < 3; ++i) {
            const char* begin = text.data() + 1 + 2 * i;
            if (std::from_chars(begin, begin + 2, values[i], 16).ptr != begin + 2)
                return false;
        }
    } else {
        const char* at = text.data();
        const char* end = at + text.size();
        for (int i = 0; i < 3; ++i) {
            while (at < end && (*at == ' ' || *at == '\t' || *at == ','))
                ++at;
            const std::from_chars_result read = std::from_chars(at, end, values[i]);
            if (read.ec != std::errc{} || values[i] < 0 || values[i] > 255)
                return false;
            at = read.ptr;
        }
        if (at != end)
            return false;
    }
    colour = {static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]),
              static_cast<std::uint8_t>(values[2])};
    return true;
}

struct ColourJob {
    const Colouring* colouring;
    const GridValues* values;
    std::uint8_t* rgb;
    std::atomic<std::size_t> next{0};
};

// Points whose stops find_stops finds at once.
constexpr int stops_batch = 256;

// Rounding through 1.5·2^52 leaves the nearest integer of any |x| < 2^51.
constexpr double round_magic = 6755399441055744.0;
constexpr double round_limit = 2251799813685248.0;  // 2^51

// floor(x) for |x| < 2^51, exactly, in operations the compiler can put in vector lanes.
inline double floor_below_limit(double x)
{
    const double nearest = (x + round_magic) - round_magic;
    // 1 if x - nearest (exact) is below zero: its sign bit as a mask on 1.0's bits.
    const std::uint64_t below = 0 - (std::bit_cast<std::uint64_t>(x - nearest) >> 63);
    return nearest - std::bit_cast<double>(below & std::bit_cast<std::uint64_t>(1.0));
}

// For n <= stops_batch points: the stop each lies after and its weight
// towards the next, exactly as colour_of finds them (first outside the
// stops where colour_of takes stop 0), in one loop of double arithmetic the
// compiler turns into vector code. False if some place lies beyond 2^51,
// where floor_below_limit does not hold.
bool find_stops(const Colouring& colouring, const std::uint32_t* counts, const std::uint16_t* fractions, int n,
                int* first, int* weight)
{
    const double size = static_cast<double>(colouring.palette.stops.size());
    const double density = colouring.density, counts_per_stop = colouring.palette.counts_per_stop;
    const double offset = colouring.offset * size;
    const std::uint64_t limit_top = std::bit_cast<std::uint64_t>(round_limit) >> 52;
    std::uint64_t beyond = 0;
    for (int i = 0; i < n; ++i) {
        // The count as a double through a signed integer, which converts in vector lanes.
        const double count = static_cast<double>(static_cast<std::int32_t>(counts[i] ^ 0x80000000u)) + 2147483648.0;
        const double smooth = count + static_cast<double>(fractions[i]) / 65535.0;
        double place = smooth * density / counts_per_stop + offset;
        // A place from 2^51 up, negative or not a number has top 12 bits (sign
        // and exponent) at least 2^51's, which added to 0x1000 less those carry into bit 12.
        beyond |= (std::bit_cast<std::uint64_t>(place) >> 52) + (0x1000 - limit_top);
        place = place - floor_below_limit(place / size) * size;
        const double whole = floor_below_limit(place);
        first[i] = static_cast<int>(whole);
        weight[i] = static_cast<int>((place - whole) * 256.0);
    }
    return (beyond & 0x1000) == 0;
}

VECTOR_TASK void colour_task(void* argument)
{
    ColourJob& job = *static_cast<ColourJob*>(argument);
    const Colouring& colouring = *job.colouring;
    const std::vector<Rgb>& stops = colouring.palette.stops;
    const int size = static_cast<int>(stops.size());
    constexpr std::size_t span = 16384;  // points per grab
    const std::size_t points = job.values->counts.size();
    for (;;) {
        const std::size_t first = job.next.fetch_add(span, std::memory_order_relaxed);
        if (first >= points)
            return;
        const std::size_t last = std::min(points, first + span);
        for (std::size_t batch = first; batch < last; batch += stops_batch) {
            const int n = static_cast<int>(std::min<std::size_t>(stops_batch, last - batch));
            const std::uint32_t* counts = job.values->counts.data() + batch;
            int stop[stops_batch], weight[stops_batch];
            const bool found = find_stops(colouring, counts, job.values->fractions.data() + batch, n, stop, weight);
            for (int i = 0; i < n; ++i) {
                Rgb c;
                if (!found) {
                    c = colour_of(colouring, counts[i], job.values->fractions[batch + i]);
                } else if (counts[i] == grid_inside) {
                    c = colouring.inside;
                } else {
                    const bool outside = stop[i] < 0 || stop[i] >= size;
                    const int w = outside ? 0 : weight[i], a = outside ? 0 : stop[i], b = a + 1 == size ? 0 : a + 1;
                    const auto mix = [w](int from, int to) {
                        return static_cast<std::uint8_t>((from * (256 - w) + to * w + 128) >> 8);
                    };
                    c = {mix(stops[a].red, stops[b].red), mix(stops[a].green, stops[b].green),
                         mix(stops[a].blue, stops[b].blue)};
                }
                job.rgb[batch + i] = c.red;
                job.rgb[points + batch + i] = c.green;
                job.rgb[2 * points + batch + i] = c.blue;
            }
        }
    }
}

}  // namespace

std::vector<std::string> palette_names()
{
    std::vector<std::string> names;
    for (const BuiltinPalette& palette : builtins())
        names.emplace_back(palette.name);
    return names;
}

std::optional<std::string> find_palette(const std::string& name_or_path, Palette& palette)
{
    for (const BuiltinPalette& builtin : builtins()) {
        if (name_or_path == builtin.name) {
            palette = {builtin.stops, builtin.counts_per_stop};
            return std::nullopt;
        }
    }
    // At most 65536 stops of a line each, with room for a comment on every line.
    constexpr std::size_t largest_palette_file = std::size_t{256} << 16;
    std::string contents;
    if (std::optional<std::string> reason = read_input_file(name_or_path, largest_palette_file, contents)) {
        const bool missing = *reason == std::strerror(ENOENT);
        return name_or_path + ": " + (missing ? "neither a built-in palette nor a readable palette file" : *reason);
    }
    std::istringstream file(contents);
    palette = {{}, 8.0};
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const std::string text = trimmed(line.substr(0, std::min(line.find("//"), line.find(';'))));
        if (text.empty())
            continue;
        Rgb colour;
        if (!parse_stop(text, colour))
            return name_or_path + ":" + std::to_string(number) + ": a stop is \"R G B\" (0 to 255) or \"#RRGGBB\"";
        palette.stops.push_back(colour);
    }
    if (palette.stops.empty() || palette.stops.size() > 65536)
        return name_or_path + ": a palette holds 1 to 65536 stops";
    return std::nullopt;
}

Rgb colour_of(const Colouring& colouring, std::uint32_t count, std::uint16_t fraction)
{
    if (count == grid_inside)
        return colouring.inside;
    const std::vector<Rgb>& stops = colouring.palette.stops;
    const double size = static_cast<double>(stops.size());
    const double smooth = static_cast<double>(count) + static_cast<double>(fraction) / 65535.0;
    double place = smooth * colouring.density / colouring.palette.counts_per_stop + colouring.offset * size;
    place = place - std::floor(place / size) * size;
    double whole = std::floor(place);
    // Between stop `first` and the next, in 256ths.
    int weight = static_cast<int>((place - whole) * 256.0);
    std::size_t first = 0;
    if (whole >= 0.0 && whole < size)
        first = static_cast<std::size_t>(whole);
    else  // place rounded up to size, or to just below 0: stop 0
        weight = 0;
    const Rgb a = stops[first], b = stops[first + 1 == stops.size() ? 0 : first + 1];
    const auto mix = [weight](int from, int to) {
        return static_cast<std::uint8_t>((from * (256 - weight) + to * weight + 128) >> 8);
    };
    return {mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
}

void colour_grid(const Colouring& colouring, const GridValues& values, std::vector<std::uint8_t>& rgb)
{
    rgb.resize(3 * values.counts.size());
    ColourJob job{&colouring, &values, rgb.data()};
    run_on_every_core(colour_task, &job);
}

}  // namespace zqv
