// Key frames: their grids, their computation in double precision or by the
// deep engine, and their files. A file is a 64-byte header (the magic "ZQVKEYS1", then
// little-endian: key index, cap, width, height, bands as 32-bit words; the
// centre and step as doubles; the rows per band; the step's exponent, 0 but
// for key frames narrower than 1e-300, as a signed 32-bit word; key_place,
// 0 in older files) and then each band of rows
// as a 64-bit length and a zlib stream of its counts, each the difference
// from its left neighbour, and fractions, the bytes of each laid out plane
// by plane, which compresses them to a small share of their size.
#include "tool/render/render_keys.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "fractal/deep/deep_grid.h"
#include "fractal/lanes/worker_pool.h"
#include "tool/location.h"
#include "tool/subcommands.h"
#include "tool/system/platform.h"

namespace zqv {

namespace {

constexpr char key_magic[8] = {'Z', 'Q', 'V', 'K', 'E', 'Y', 'S', '1'};
constexpr int header_bytes = 64;
constexpr int band_rows = 32;  // a band: the unit of one thread's compression
constexpr int bytes_per_point = 6;  // a 32-bit count and a 16-bit fraction

void put_u32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> 8 * i);
}

std::uint32_t get_u32(const std::uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void put_u64(std::uint8_t* at, std::uint64_t value)
{
    put_u32(at, static_cast<std::uint32_t>(value));
    put_u32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t get_u64(const std::uint8_t* at)
{
    return get_u32(at) | static_cast<std::uint64_t>(get_u32(at + 4)) << 32;
}

void put_double(std::uint8_t* at, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    put_u64(at, bits);
}

double get_double(const std::uint8_t* at)
{
    const std::uint64_t bits = get_u64(at);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

// The bands of a key frame, compressed or decompressed by every core.
struct BandJob {
    const GridLayout* layout;
    GridValues* values;
    std::vector<std::vector<std::uint8_t>>* bands;  // compressed
    bool pack;  // true: values into bands; false: bands into values
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
};

// Band rows as planes: the 4 bytes of the counts' differences, then the 2 of the fractions.
void pack_band(const GridLayout& layout, const GridValues& values, int first_row, int rows, std::vector<std::uint8_t>& raw)
{
    const std::size_t points = static_cast<std::size_t>(rows) * layout.width;
    raw.resize(points * bytes_per_point);
    const std::size_t base = static_cast<std::size_t>(first_row) * layout.width;
    for (std::size_t p = 0; p < points; ++p) {
        const std::uint32_t left = p % layout.width == 0 ? 0 : values.counts[base + p - 1];
        const std::uint32_t difference = values.counts[base + p] - left;
        for (int b = 0; b < 4; ++b)
            raw[b * points + p] = static_cast<std::uint8_t>(difference >> 8 * b);
        raw[4 * points + p] = static_cast<std::uint8_t>(values.fractions[base + p]);
        raw[5 * points + p] = static_cast<std::uint8_t>(values.fractions[base + p] >> 8);
    }
}

void unpack_band(const GridLayout& layout, GridValues& values, int first_row, int rows, const std::vector<std::uint8_t>& raw)
{
    const std::size_t points = static_cast<std::size_t>(rows) * layout.width;
    const std::size_t base = static_cast<std::size_t>(first_row) * layout.width;
    for (std::size_t p = 0; p < points; ++p) {
        std::uint32_t difference = 0;
        for (int b = 0; b < 4; ++b)
            difference |= static_cast<std::uint32_t>(raw[b * points + p]) << 8 * b;
        const std::uint32_t left = p % layout.width == 0 ? 0 : values.counts[base + p - 1];
        values.counts[base + p] = left + difference;
        values.fractions[base + p] = static_cast<std::uint16_t>(raw[4 * points + p] | raw[5 * points + p] << 8);
    }
}

void band_task(void* argument)
{
    BandJob& job = *static_cast<BandJob*>(argument);
    const GridLayout& layout = *job.layout;
    const int band_count = static_cast<int>(job.bands->size());
    std::vector<std::uint8_t> raw;
    for (int band; (band = job.next.fetch_add(1)) < band_count;) {
        const int first_row = band * band_rows, rows = std::min(band_rows, layout.height - first_row);
        std::vector<std::uint8_t>& packed = (*job.bands)[band];
        if (job.pack) {
            pack_band(layout, *job.values, first_row, rows, raw);
            uLongf size = compressBound(static_cast<uLong>(raw.size()));
            packed.resize(size);
            // Level 1: three times as fast as the default for a few per cent more bytes.
            if (compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK)
                job.failed = true;
            packed.resize(size);
        } else {
            raw.resize(static_cast<std::size_t>(rows) * layout.width * bytes_per_point);
            uLongf size = static_cast<uLongf>(raw.size());
            if (uncompress(raw.data(), &size, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
                size != raw.size()) {
                job.failed = true;
                continue;
            }
            unpack_band(layout, *job.values, first_row, rows, raw);
        }
    }
}

int band_count(const GridLayout& layout)
{
    return (layout.height + band_rows - 1) / band_rows;
}

}  // namespace

GridLayout key_layout(const KeyPlan& plan, int key)
{
    GridLayout layout;
    layout.centre_re = plan.centre_re;
    layout.centre_im = plan.centre_im;
    // Halving by ldexp is exact: every step is twice the next one's. Key
    // frames narrower than 1e-300 keep the step's exponent apart.
    if (plan.start_exponent == 0 && std::ldexp(plan.start_width, -key) >= double_range_width) {
        layout.step = std::ldexp(plan.start_width / plan.width, -key);
    } else {
        layout.step = plan.start_width / plan.width;
        layout.step_exponent = plan.start_exponent - key;
    }
    layout.width = plan.width;
    layout.height = plan.height;
    layout.cap = plan.cap;
    return layout;
}

std::uint32_t key_place(const KeyPlan& plan)
{
    const std::string centre = decimal_text(plan.exact_re) + "," + decimal_text(plan.exact_im);
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(centre.data()), static_cast<uInt>(centre.size())));
}

GridWindow lead_in_window(const GridLayout& layout, int halvings)
{
    // Of halvings past 30 the window is the centre and a point around it, as at 30.
    const int shift = std::min(halvings, 30);
    const int columns = (layout.width / 2 >> shift) + 1, rows = (layout.height / 2 >> shift) + 1;
    return {std::max(0, layout.width / 2 - columns), std::min(layout.width, layout.width / 2 + columns + 1),
            std::max(0, layout.height / 2 - rows), std::min(layout.height, layout.height / 2 + rows + 1)};
}

int first_unresolved_key(const KeyPlan& plan, int limit)
{
    for (int key = 0; key <= limit; ++key)
        if (!grid_resolves(key_layout(plan, key)))
            return key;
    return limit + 1;
}

bool key_is_deep(const KeyPlan& plan, int key)
{
    return !grid_resolves(key_layout(plan, key));
}

void start_deep_keys(KeyEngine& engine, const KeyPlan& plan, int last_key)
{
    engine.deep =
        start_deep_zoom(plan.exact_re, plan.exact_im, fraction_bits_for_step(key_layout(plan, last_key).step,
                                                                              key_layout(plan, last_key).step_exponent));
    engine.deep_last_key = last_key;
}

std::optional<std::string> compute_key(KeyEngine& engine, const KeyPlan& plan, int key, const GridLayout* parent,
                                       const GridValues* parent_values, GridValues& values,
                                       const std::atomic<bool>* stop, const GridWindow* window)
{
    const GridLayout layout = key_layout(plan, key);
    std::optional<std::uint64_t> points;
    if (grid_resolves(layout)) {
        points = compute_grid(layout, values, stop, parent, parent_values);
    } else {
        if (key > engine.deep_last_key)
            return "key frame " + std::to_string(key) + " lies past double precision, deeper than the deep engine "
                   "was started for";
        // Only a deep parent's points are copied: a double grid's last key frames
        // place their points by rounded coordinates, up to half a step off.
        const bool deep_parent = parent != nullptr && !grid_resolves(*parent);
        points = compute_deep_grid(engine.deep, layout, values, stop, deep_parent ? parent : nullptr,
                                   deep_parent ? parent_values : nullptr, window);
    }
    engine.points = points.value_or(0);
    if (!points)
        return "key frame " + std::to_string(key) + " was stopped";
    return std::nullopt;
}

std::string key_file(const std::string& folder, int key)
{
    std::string digits = std::to_string(key);
    digits.insert(0, digits.size() < 5 ? 5 - digits.size() : 0, '0');
    return (std::filesystem::path(folder) / ("key_" + digits + ".zqk")).string();
}

namespace {

using OpenFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens a key frame file and reads its header; the reason if it is not one,
// with damaged set when the file itself is broken.
std::optional<std::string> open_key(const std::string& path, OpenFile& file, KeyHeader& header, bool& damaged)
{
    damaged = false;
    std::FILE* opened = nullptr;
    if (std::optional<std::string> reason = open_input_file(path, opened))
        return reason;
    file.reset(opened);
    std::uint8_t bytes[header_bytes];
    damaged = true;  // from here on, whatever is wrong is wrong in the file
    if (std::fread(bytes, 1, header_bytes, file.get()) != header_bytes || std::memcmp(bytes, key_magic, 8) != 0)
        return "not a key frame file";
    header.key = static_cast<int>(get_u32(bytes + 8));
    header.layout.cap = get_u32(bytes + 12);
    header.layout.width = static_cast<int>(get_u32(bytes + 16));
    header.layout.height = static_cast<int>(get_u32(bytes + 20));
    const std::uint32_t bands = get_u32(bytes + 24);
    header.layout.centre_re = get_double(bytes + 28);
    header.layout.centre_im = get_double(bytes + 36);
    header.layout.step = get_double(bytes + 44);
    const std::uint32_t rows = get_u32(bytes + 52);
    header.layout.step_exponent = static_cast<std::int32_t>(get_u32(bytes + 56));
    header.place = get_u32(bytes + 60);
    const GridLayout& s = header.layout;
    if (s.width <= 0 || s.height <= 0 || s.width > 1 << 17 || s.height > 1 << 17 || s.width % 4 != 0 ||
        s.height % 4 != 0 || rows != band_rows || static_cast<int>(bands) != band_count(s))
        return "not a key frame file";
    damaged = false;
    return std::nullopt;
}

// The counts of a key frame file whose header is `expected`; the reason if
// they cannot be read, with broken set when the file itself is damaged.
std::optional<std::string> read_counts(const std::string& path, const KeyHeader& expected, GridValues& values,
                                       bool& broken)
{
    KeyHeader header;
    OpenFile file(nullptr, std::fclose);
    if (std::optional<std::string> reason = open_key(path, file, header, broken))
        return reason;
    if (!same_key(header, expected))
        return "it holds another key frame (another location, cap or size)";
    const GridLayout& s = header.layout;
    broken = true;
    std::vector<std::vector<std::uint8_t>> bands(band_count(s));
    for (std::vector<std::uint8_t>& band : bands) {
        std::uint8_t length[8];
        if (std::fread(length, 1, 8, file.get()) != 8 || get_u64(length) > (1u << 30))
            return "the file is cut short";
        band.resize(get_u64(length));
        if (std::fread(band.data(), 1, band.size(), file.get()) != band.size())
            return "the file is cut short";
    }
    const std::size_t points = static_cast<std::size_t>(s.width) * s.height;
    values.counts.resize(points);
    values.fractions.resize(points);
    BandJob job{&s, &values, &bands, false};
    run_on_every_core(band_task, &job);
    if (job.failed)
        return "its counts are damaged";
    broken = false;
    return std::nullopt;
}

}  // namespace

bool same_key(const KeyHeader& header, const KeyHeader& expected)
{
    const GridLayout &s = header.layout, &e = expected.layout;
    return header.key == expected.key && s.width == e.width && s.height == e.height && s.cap == e.cap &&
           s.centre_re == e.centre_re && s.centre_im == e.centre_im && s.step == e.step &&
           s.step_exponent == e.step_exponent &&
           (header.place == 0 || expected.place == 0 || header.place == expected.place);
}

std::optional<std::string> read_key_header(const std::string& path, KeyHeader& header, bool* damaged)
{
    OpenFile file(nullptr, std::fclose);
    bool broken;
    std::optional<std::string> reason = open_key(path, file, header, broken);
    if (damaged != nullptr)
        *damaged = broken;
    return reason;
}

std::optional<std::string> read_key(const std::string& path, const KeyHeader& expected, GridValues& values,
                                    bool* damaged)
{
    bool broken = false;
    const std::optional<std::string> reason = read_counts(path, expected, values, broken);
    if (damaged != nullptr)
        *damaged = broken;
    return reason;
}

std::optional<std::string> write_key(const std::string& path, const KeyHeader& header, const GridValues& values)
{
    const GridLayout& s = header.layout;
    std::vector<std::vector<std::uint8_t>> bands(band_count(s));
    BandJob job{&s, const_cast<GridValues*>(&values), &bands, true};  // packing only reads the values
    run_on_every_core(band_task, &job);
    if (job.failed)
        return "cannot compress the counts";
    std::uint8_t bytes[header_bytes] = {};
    std::memcpy(bytes, key_magic, 8);
    put_u32(bytes + 8, static_cast<std::uint32_t>(header.key));
    put_u32(bytes + 12, s.cap);
    put_u32(bytes + 16, static_cast<std::uint32_t>(s.width));
    put_u32(bytes + 20, static_cast<std::uint32_t>(s.height));
    put_u32(bytes + 24, static_cast<std::uint32_t>(bands.size()));
    put_double(bytes + 28, s.centre_re);
    put_double(bytes + 36, s.centre_im);
    put_double(bytes + 44, s.step);
    put_u32(bytes + 52, band_rows);
    put_u32(bytes + 56, static_cast<std::uint32_t>(s.step_exponent));
    put_u32(bytes + 60, header.place);
    const std::string part = path + part_suffix;
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes), header_bytes);
        for (const std::vector<std::uint8_t>& band : bands) {
            std::uint8_t length[8];
            put_u64(length, band.size());
            file.write(reinterpret_cast<const char*>(length), 8);
            file.write(reinterpret_cast<const char*>(band.data()), static_cast<std::streamsize>(band.size()));
        }
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            return "cannot write " + part;
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error)
        return "cannot rename " + part + " to " + path + ": " + error.message();
    return std::nullopt;
}

}  // namespace zqv
