// Area-averaging resampling of key frames, separable: each picture row
// first sums the key rows under it into a row of 16-bit sums, then each
// pixel sums the columns under it. Weights are in 256ths of a pixel and
// add up to 256 on each axis, so a channel is (sum + 2^15) >> 16.
#include "tool/render_blend.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <utility>

#include "fractal/portable_math.h"
#include "fractal/worker_pool.h"

namespace zqv {

namespace {

// The key frame points under each picture pixel along one axis: for pixel
// p, taps[first[p] ..] hold count[p] (key index, weight) pairs. Pixels that
// the key frame does not wholly cover have no taps.
struct AxisTaps {
    std::vector<int> first, count;
    std::vector<int> index;
    std::vector<std::uint16_t> weight;
    std::vector<int> ramp;  // 0 to 256: the rise from the key frame's edge
    int lowest = 0, highest = -1;  // the key indices any tap uses
    // The same taps as `span` weights of consecutive key points from
    // start[p], zero where a pixel has fewer, for the per-pixel sums.
    int span = 0;
    std::vector<int> start;
    std::vector<std::uint16_t> dense;
};

// The most taps a pixel has: σ + 2 for σ key points per pixel, at most 4·4 + 2.
constexpr int max_span = 18;

// The taps of `pixels` picture pixels over `points` key points when picture
// coordinate X maps to key coordinate ((X − pixels/2)·points_per_pixel − ½)·scale + points/2 + shift,
// key point i covering [i − ½, i + ½); ramp_band pixels of rise at the edge.
void make_taps(AxisTaps& taps, int pixels, int points, double points_per_pixel, double scale, double shift,
               int ramp_band)
{
    taps.first.assign(pixels, 0);
    taps.count.assign(pixels, 0);
    taps.ramp.assign(pixels, 0);
    taps.index.clear();
    taps.weight.clear();
    taps.lowest = points;
    taps.highest = -1;
    const auto edge = [&](int x) {  // in 256ths of a key point, from the centre of point 0
        const double u = ((x - pixels / 2) * points_per_pixel - 0.5) * scale + points / 2 + shift;
        return static_cast<std::int64_t>(std::floor(u * 256.0 + 0.5));
    };
    const std::int64_t low_limit = -128, high_limit = static_cast<std::int64_t>(points) * 256 - 128;
    int covered_first = -1, covered_last = -1;
    std::int64_t left = edge(0);
    for (int x = 0; x < pixels; ++x) {
        const std::int64_t right = edge(x + 1);
        taps.first[x] = static_cast<int>(taps.index.size());
        if (left < low_limit || right > high_limit || right <= left) {
            left = right;
            continue;
        }
        if (covered_first < 0)
            covered_first = x;
        covered_last = x;
        const std::int64_t total = right - left;
        const int first_point = static_cast<int>((left + 128) >> 8);
        const int last_point = static_cast<int>((right + 127) >> 8);  // the last whose cell starts before right
        std::size_t largest = taps.index.size();
        int sum = 0;
        for (int i = first_point; i <= last_point && i < points; ++i) {
            const std::int64_t overlap =
                std::min(right, std::int64_t{256} * i + 128) - std::max(left, std::int64_t{256} * i - 128);
            if (overlap <= 0)
                continue;
            const int w = static_cast<int>(overlap * 256 / total);
            taps.index.push_back(i);
            taps.weight.push_back(static_cast<std::uint16_t>(w));
            if (w > taps.weight[largest])
                largest = taps.weight.size() - 1;
            sum += w;
        }
        taps.weight[largest] = static_cast<std::uint16_t>(taps.weight[largest] + 256 - sum);  // the rounding's rest
        taps.count[x] = static_cast<int>(taps.index.size()) - taps.first[x];
        taps.lowest = std::min(taps.lowest, taps.index[taps.first[x]]);
        taps.highest = std::max(taps.highest, taps.index.back());
        left = right;
    }
    taps.span = 1;
    for (int x = 0; x < pixels; ++x)
        taps.span = std::max(taps.span, taps.count[x]);
    taps.start.assign(pixels, taps.lowest <= taps.highest ? taps.lowest : 0);
    taps.dense.assign(static_cast<std::size_t>(pixels) * taps.span, 0);
    for (int x = 0; x < pixels; ++x) {
        if (taps.count[x] == 0)
            continue;
        taps.start[x] = taps.index[taps.first[x]];
        for (int t = 0; t < taps.count[x]; ++t)
            taps.dense[static_cast<std::size_t>(x) * taps.span + (taps.index[taps.first[x] + t] - taps.start[x])] =
                taps.weight[taps.first[x] + t];
    }
    for (int x = covered_first; x >= 0 && x <= covered_last; ++x) {
        const int inside = std::min(x - covered_first, covered_last - x) + 1;  // pixels from the edge, 1 the first
        taps.ramp[x] = std::min(256, inside * 256 / (ramp_band + 1));
    }
}

struct Layer {
    const KeyColours* key;
    AxisTaps columns, rows;
};

struct BlendJob {
    Layer outer, inner;
    bool has_inner;
    int share;  // the inner layer's, in 256ths
    int width, height;
    std::uint8_t* picture;
    std::atomic<int> next_row{0};
};

// The key rows under picture row y summed with their weights, for the key
// columns `columns` uses, into sums (three per column, from columns.lowest).
void sum_rows(const Layer& layer, int y, std::vector<std::uint16_t>& sums)
{
    const int first = layer.columns.lowest, n = 3 * (layer.columns.highest - first + 1);
    sums.assign(n + 3 * max_span, 0);  // a pixel's span may reach past the last column used
    std::uint16_t* out = sums.data();
    const int tap0 = layer.rows.first[y];
    for (int t = tap0; t < tap0 + layer.rows.count[y]; ++t) {
        const std::uint8_t* row = layer.key->rgb + (static_cast<std::size_t>(layer.rows.index[t]) * layer.key->width + first) * 3;
        const std::uint16_t w = layer.rows.weight[t];
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<std::uint16_t>(out[i] + w * row[i]);
    }
}

// Pixel x of the row whose sums are given: its three channels, from the
// span weights of its consecutive key columns.
template <int span>
inline void sum_columns(const AxisTaps& columns, const std::uint16_t* sums, int x, unsigned (&rgb)[3])
{
    unsigned r = 1u << 15, g = 1u << 15, b = 1u << 15;
    const std::uint16_t* s = sums + 3 * (columns.start[x] - columns.lowest);
    const std::uint16_t* w = columns.dense.data() + static_cast<std::size_t>(x) * span;
    for (int t = 0; t < span; ++t) {
        r += unsigned{w[t]} * s[3 * t];
        g += unsigned{w[t]} * s[3 * t + 1];
        b += unsigned{w[t]} * s[3 * t + 2];
    }
    rgb[0] = r >> 16;
    rgb[1] = g >> 16;
    rgb[2] = b >> 16;
}

using SumColumns = void (*)(const AxisTaps&, const std::uint16_t*, int, unsigned (&)[3]);

// sum_columns for each span, 1 to max_span.
template <int... spans>
constexpr std::array<SumColumns, sizeof...(spans)> make_sum_columns(std::integer_sequence<int, spans...>)
{
    return {&sum_columns<spans + 1>...};
}
constexpr auto sum_columns_of_span = make_sum_columns(std::make_integer_sequence<int, max_span>{});

// The pixels of picture row y, the outer layer's span fixed at compile time.
template <int outer_span>
void blend_row(const BlendJob& job, int y, int row_ramp, const std::vector<std::uint16_t>& outer_sums,
               const std::vector<std::uint16_t>& inner_sums)
{
    std::uint8_t* out = job.picture + static_cast<std::size_t>(y) * job.width * 3;
    const SumColumns inner_columns = sum_columns_of_span[job.has_inner ? job.inner.columns.span - 1 : 0];
    for (int x = 0; x < job.width; ++x) {
        unsigned o[3];
        sum_columns<outer_span>(job.outer.columns, outer_sums.data(), x, o);
        const int column_ramp = row_ramp > 0 ? job.inner.columns.ramp[x] : 0;
        if (column_ramp > 0) {
            unsigned in[3];
            inner_columns(job.inner.columns, inner_sums.data(), x, in);
            const unsigned w = (static_cast<unsigned>(job.share) * row_ramp * column_ramp + (1u << 15)) >> 16;
            for (int c = 0; c < 3; ++c)
                o[c] = (o[c] * (256 - w) + in[c] * w + 128) >> 8;
        }
        out[3 * x] = static_cast<std::uint8_t>(o[0]);
        out[3 * x + 1] = static_cast<std::uint8_t>(o[1]);
        out[3 * x + 2] = static_cast<std::uint8_t>(o[2]);
    }
}

using BlendRow = void (*)(const BlendJob&, int, int, const std::vector<std::uint16_t>&,
                          const std::vector<std::uint16_t>&);
template <int... spans>
constexpr std::array<BlendRow, sizeof...(spans)> make_blend_rows(std::integer_sequence<int, spans...>)
{
    return {&blend_row<spans + 1>...};
}
constexpr auto blend_row_of_span = make_blend_rows(std::make_integer_sequence<int, max_span>{});

void blend_task(void* argument)
{
    BlendJob& job = *static_cast<BlendJob*>(argument);
    thread_local std::vector<std::uint16_t> outer_sums, inner_sums;
    const BlendRow row_of_pixels = blend_row_of_span[job.outer.columns.span - 1];
    for (;;) {
        const int y = job.next_row.fetch_add(1, std::memory_order_relaxed);
        if (y >= job.height)
            return;
        sum_rows(job.outer, y, outer_sums);
        const int row_ramp = job.has_inner ? job.inner.rows.ramp[y] : 0;
        if (row_ramp > 0)
            sum_rows(job.inner, y, inner_sums);
        row_of_pixels(job, y, row_ramp, outer_sums, inner_sums);
    }
}

struct HalveJob {
    const std::uint8_t* rgb;
    int width, height;  // of the full key frame
    std::uint8_t* half;
    std::atomic<int> next_row{0};
};

void halve_task(void* argument)
{
    HalveJob& job = *static_cast<HalveJob*>(argument);
    const int half_width = job.width / 2;
    for (int y; (y = job.next_row.fetch_add(1, std::memory_order_relaxed)) < job.height / 2;) {
        const std::uint8_t* top = job.rgb + static_cast<std::size_t>(2 * y) * job.width * 3;
        const std::uint8_t* bottom = top + static_cast<std::size_t>(job.width) * 3;
        std::uint8_t* out = job.half + static_cast<std::size_t>(y) * half_width * 3;
        for (int i = 0; i < 3 * half_width; ++i) {
            const int x = i / 3 * 6 + i % 3;
            out[i] = static_cast<std::uint8_t>((top[x] + top[x + 3] + bottom[x] + bottom[x + 3] + 2) >> 2);
        }
    }
}

}  // namespace

void halve_colours(const KeyColours& key, std::vector<std::uint8_t>& half)
{
    half.resize(static_cast<std::size_t>(key.width / 2) * (key.height / 2) * 3);
    HalveJob job{key.rgb, key.width, key.height, half.data()};
    run_on_every_core(halve_task, &job);
}

int inner_share(double fraction)
{
    if (fraction <= 0.0)
        return 0;
    const double a = portable_exp2(-2.0 * fraction);  // 4^−t
    const double b = (1.0 - a) / (4.0 * a - a);
    return std::clamp(static_cast<int>(std::floor(b * 256.0 + 0.5)), 0, 256);
}

void blend_picture(const KeyColours& outer, const KeyColours* inner, double fraction, int width, int height,
                   std::vector<std::uint8_t>& picture)
{
    picture.resize(static_cast<std::size_t>(width) * height * 3);
    // The band over which the deeper key frame's weight rises from its edge:
    // 1/128 of the picture's width, at least 4 pixels (15 at 1920).
    const int band = std::max(4, width / 128);
    const double scale = portable_exp2(-fraction);  // the outer key frame's share of its width on screen
    BlendJob job;
    job.width = width;
    job.height = height;
    job.picture = picture.data();
    job.outer.key = &outer;
    make_taps(job.outer.columns, width, outer.width, static_cast<double>(outer.width) / width, scale, 0.0, band);
    make_taps(job.outer.rows, height, outer.height, static_cast<double>(outer.height) / height, scale, 0.0, band);
    job.share = inner != nullptr ? inner_share(fraction) : 0;
    job.has_inner = job.share > 0;
    if (job.has_inner) {
        // The inner key frame halved: its point j covers full points 2j and
        // 2j + 1, centred at 2j + ½, so a full coordinate u is u/2 − ¼ there.
        job.inner.key = inner;
        make_taps(job.inner.columns, width, inner->width, 2.0 * inner->width / width, scale, -0.25, band);
        make_taps(job.inner.rows, height, inner->height, 2.0 * inner->height / height, scale, -0.25, band);
        job.has_inner = job.inner.columns.highest >= 0 && job.inner.rows.highest >= 0;
    }
    run_on_every_core(blend_task, &job);
}

}  // namespace zqv
