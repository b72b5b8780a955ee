// Resampling of key frames through a Gaussian window, separable: each
// picture row first sums the key rows under it into a row of 16-bit sums per
// channel, then each pixel sums the columns under it. Weights are in 256ths
// and add up to 256 on each axis, so a channel is (sum + 2^15) >> 16.
// The key frames are planar (see KeyColours), so that both passes run over
// consecutive bytes and the compiler turns the loops into vector code.
#include "tool/render/render_blend.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "fractal/lanes/portable_math.h"
#include "fractal/lanes/simd_level.h"
#include "fractal/lanes/worker_pool.h"

namespace zqv {

namespace {

// The key frame points under each picture pixel along one axis: pixel p
// sums `stride` consecutive key points from start[p], tap t with weight
// weight[weight_at(p, t)], zero past its own taps. Pixels that the key
// frame does not wholly cover, outside [covered_first, covered_last], have
// no weights. Three pixels more than the picture's, without weights, let
// the column pass work in fours.
struct AxisTaps {
    std::vector<int> start;
    std::vector<std::int16_t> weight;  // in fours of taps: each four of every pixel, then the next four
    std::vector<int> ramp;  // 0 to 256: the rise from the key frame's edge
    int lowest = 0, highest = -1;  // the key indices any weight uses
    int covered_first = 0, covered_last = -1;
    int stride = 4;  // the most key points of a pixel rounded up to 4
    std::size_t four_size = 0;  // the weights of one four of taps of every pixel
};

std::size_t weight_at(const AxisTaps& taps, int p, int t)
{
    return t / 4 * taps.four_size + 4 * static_cast<std::size_t>(p) + t % 4;
}

// The window each pixel sees a key frame through: a Gaussian of σ 0.4
// pixel around its centre, whatever the key frame's scale on screen. A box
// of one pixel (area averaging) gives pictures whose sharpness depends on
// where the key points fall in each pixel: a key frame exactly 2 x 2 points
// a pixel, as at each hand-over, came out 1.2 times sharper than the
// pictures around it at 1920 x 1080. A Gaussian's response at the key
// frames' sampling rate, e^(−2π²σ²f²), is 0.04 at 2 points a pixel (f = 1
// per pixel), so where the points fall no longer shows; a wider one only
// blurs. (The spiral zoom's pictures, 1920 x 1080: σ 0.35 left the
// hand-over pictures 7 % apart, 0.4 under 4.2 %.)
constexpr double pixel_sigma = 0.4;
constexpr double log2_e = 1.4426950408889634;

// The taps of `pixels` picture pixels over `points` key points when picture
// coordinate X maps to key coordinate ((X − pixels/2)·points_per_pixel − ½)·scale + points/2 + shift,
// key point i centred at i: each covered pixel's Gaussian weights over the
// key points within 3σ of its centre, cut at the key frame's edge, in 256ths
// that add up to 256. A pixel is covered where the key frame holds all of
// it; ramp_band pixels of rise at the edge.
void make_taps(AxisTaps& taps, int pixels, int points, double points_per_pixel, double scale, double shift,
               int ramp_band)
{
    std::vector<int> first(pixels, 0), count(pixels, 0), index;
    std::vector<int> weight;
    std::vector<double> gauss;
    taps.ramp.assign(pixels, 0);
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
        first[x] = static_cast<int>(index.size());
        if (left < low_limit || right > high_limit || right <= left) {
            left = right;
            continue;
        }
        if (covered_first < 0)
            covered_first = x;
        covered_last = x;
        const double centre = static_cast<double>(left + right) / 512.0;
        const double sigma = static_cast<double>(right - left) / 256.0 * pixel_sigma;
        const double reach = 3.0 * sigma;  // the weights beyond are under 1/90 of the centre's
        const int first_point = std::max(0, static_cast<int>(std::ceil(centre - reach)));
        const int last_point = std::min(points - 1, static_cast<int>(std::floor(centre + reach)));
        gauss.clear();
        double total = 0.0;
        for (int i = first_point; i <= last_point; ++i) {
            const double d = (i - centre) / sigma;
            gauss.push_back(portable_exp2(-0.5 * log2_e * d * d));  // e^(−d²/2)
            total += gauss.back();
        }
        std::size_t largest = index.size();
        int sum = 0;
        for (int i = first_point; i <= last_point; ++i) {
            const int w = static_cast<int>(std::floor(gauss[i - first_point] / total * 256.0 + 0.5));
            if (w == 0 && (index.size() == static_cast<std::size_t>(first[x]) || i > centre))
                continue;
            index.push_back(i);
            weight.push_back(w);
            if (w > weight[largest])
                largest = weight.size() - 1;
            sum += w;
        }
        weight[largest] += 256 - sum;  // the rounding's rest
        count[x] = static_cast<int>(index.size()) - first[x];
        taps.lowest = std::min(taps.lowest, index[first[x]]);
        taps.highest = std::max(taps.highest, index.back());
        left = right;
    }
    const int span = std::max(1, *std::max_element(count.begin(), count.end()));
    taps.stride = (span + 3) / 4 * 4;
    taps.four_size = 4 * static_cast<std::size_t>(pixels + 3);
    taps.covered_first = covered_last >= 0 ? covered_first : 0;
    taps.covered_last = covered_last;
    taps.start.assign(pixels + 3, taps.lowest <= taps.highest ? taps.lowest : 0);
    taps.weight.assign(taps.stride / 4 * taps.four_size, 0);
    for (int x = 0; x < pixels; ++x) {
        if (count[x] == 0)
            continue;
        taps.start[x] = index[first[x]];
        for (int t = 0; t < count[x]; ++t)
            taps.weight[weight_at(taps, x, index[first[x] + t] - taps.start[x])] =
                static_cast<std::int16_t>(weight[first[x] + t]);
    }
    for (int x = covered_first; x >= 0 && x <= covered_last; ++x) {
        const int inside = std::min(x - covered_first, covered_last - x) + 1;  // pixels from the edge, 1 the first
        taps.ramp[x] = std::min(256, inside * 256 / (ramp_band + 1));
    }
}

// The passes of a row, compiled into each instruction set's blend_task.
#define BLEND_INLINE __attribute__((always_inline)) inline

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

// A row's sums are kept less 2^15, as 16-bit two's complement: the sums run
// to 255·256 = 65280, and so the products of the column pass fit in 32 bits
// and pairs of them in the lanes of a multiply-add of 16-bit values.
constexpr std::uint16_t sum_bias = 0x8000;

// The key rows under picture row y summed with their weights, for the key
// columns `columns` uses: channel c's `length` sums from sums[c·length]
// (see row_length), each less 2^15. Four rows at a time, so that each sum
// is written once for every four.
BLEND_INLINE void sum_rows(const Layer& layer, int y, std::uint16_t* sums, int length)
{
    const int first = layer.columns.lowest, n = layer.columns.highest - first + 1;
    const std::size_t plane = static_cast<std::size_t>(layer.key->width) * layer.key->height;
    for (int c = 0; c < 3; ++c) {
        std::uint16_t* __restrict out = sums + static_cast<std::size_t>(c) * length;
        std::fill(out + std::max(n, 0), out + length, sum_bias);
        const std::uint8_t* rows =
            layer.key->rgb + c * plane + static_cast<std::size_t>(layer.rows.start[y]) * layer.key->width + first;
        for (int t = 0; t < layer.rows.stride; t += 4) {
            std::uint16_t w[4];
            const std::uint8_t* row[4];
            for (int k = 0; k < 4; ++k) {  // a row without weight reads the first, which exists
                w[k] = static_cast<std::uint16_t>(layer.rows.weight[weight_at(layer.rows, y, t + k)]);
                row[k] = w[k] != 0 ? rows + static_cast<std::size_t>(t + k) * layer.key->width : rows;
            }
            const std::uint8_t *__restrict r0 = row[0], *__restrict r1 = row[1], *__restrict r2 = row[2],
                                            *__restrict r3 = row[3];
            if (t == 0) {
                for (int i = 0; i < n; ++i)
                    out[i] = static_cast<std::uint16_t>(sum_bias + w[0] * r0[i] + w[1] * r1[i] + w[2] * r2[i] +
                                                        w[3] * r3[i]);
            } else if ((w[0] | w[1] | w[2] | w[3]) != 0) {
                for (int i = 0; i < n; ++i)
                    out[i] = static_cast<std::uint16_t>(out[i] + w[0] * r0[i] + w[1] * r1[i] + w[2] * r2[i] +
                                                        w[3] * r3[i]);
            }
        }
    }
}

// The sums a channel of a row holds: the key columns used and room for a
// pixel's stride to reach past the last of them.
int row_length(const AxisTaps& columns)
{
    return std::max(0, columns.highest - columns.lowest + 1) + columns.stride;
}

// Pixels [from, to) of the row whose sums are given (a channel every
// `length` sums), into the three planes of `pixels`, four pixels at a time
// (up to three past `to`). SSE2, the baseline of both targets, multiplies
// and adds pairs of a pixel's sums and weights in one instruction, 8 of
// them at once, exactly as integers.
BLEND_INLINE void sum_columns(const AxisTaps& columns, const std::uint16_t* row_sums, int length, int from, int to,
                              std::uint8_t* pixels, int plane)
{
    const std::int16_t* sums = reinterpret_cast<const std::int16_t*>(row_sums) - columns.lowest;
    const auto load_four = [](const std::int16_t* s) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    };
    // The bias times the weights' total, 2^15 · 256, and the rounding, 2^15.
    const __m128i bias_and_rounding = _mm_set1_epi32((256 << 15) + (1 << 15));
    for (int x = from; x < to; x += 4) {
        __m128i first_two[3], last_two[3];  // the two halves of pixels x and x + 1, then of x + 2 and x + 3
        for (int c = 0; c < 3; ++c)
            first_two[c] = last_two[c] = _mm_setzero_si128();
        for (int t = 0; t < columns.stride; t += 4) {
            const std::int16_t* w = columns.weight.data() + weight_at(columns, x, t);
            const __m128i first_weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
            const __m128i last_weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8));
            const std::int16_t* s = sums + t;
            const std::int16_t *s0 = s + columns.start[x], *s1 = s + columns.start[x + 1],
                               *s2 = s + columns.start[x + 2], *s3 = s + columns.start[x + 3];
            for (int c = 0; c < 3; ++c, s0 += length, s1 += length, s2 += length, s3 += length) {
                const __m128i a = _mm_unpacklo_epi64(load_four(s0), load_four(s1));
                const __m128i b = _mm_unpacklo_epi64(load_four(s2), load_four(s3));
                first_two[c] = _mm_add_epi32(first_two[c], _mm_madd_epi16(a, first_weights));
                last_two[c] = _mm_add_epi32(last_two[c], _mm_madd_epi16(b, last_weights));
            }
        }
        for (int c = 0; c < 3; ++c) {
            // Each pixel's two halves, side by side in first_two and last_two, added.
            const __m128 p = _mm_castsi128_ps(first_two[c]), q = _mm_castsi128_ps(last_two[c]);
            const __m128i sum = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(p, q, _MM_SHUFFLE(2, 0, 2, 0))),
                                              _mm_castps_si128(_mm_shuffle_ps(p, q, _MM_SHUFFLE(3, 1, 3, 1))));
            const __m128i words = _mm_srai_epi32(_mm_add_epi32(sum, bias_and_rounding), 16);
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), words);
            const std::uint32_t four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
            std::memcpy(pixels + c * plane + x, &four, 4);
        }
    }
}

// A row of one layer's pixels: three planes of the picture's width and the
// 3 bytes the column pass may write past one.
int plane_size(int width)
{
    return width + 3;
}

// All three channels of a layer's covered pixels in row y, into `pixels`;
// the others are left alone.
BLEND_INLINE void layer_row(const Layer& layer, int y, int width, std::vector<std::uint16_t>& sums,
                            std::uint8_t* pixels)
{
    const int length = row_length(layer.columns);
    sums.resize(3 * static_cast<std::size_t>(length));
    sum_rows(layer, y, sums.data(), length);
    sum_columns(layer.columns, sums.data(), length, layer.columns.covered_first, layer.columns.covered_last + 1,
                pixels, plane_size(width));
}

// A thread's rows of pixels: each layer's three planes, and the inner
// layer's weight at each pixel.
struct RowBuffers {
    std::vector<std::uint16_t> sums;
    std::vector<std::uint8_t> outer, inner;
    std::vector<std::uint16_t> inner_weight;
};

// Picture row y, blended in the buffers and written to the picture.
BLEND_INLINE void blend_row(const BlendJob& job, int y, RowBuffers& row)
{
    const int width = job.width, plane = plane_size(width);
    layer_row(job.outer, y, width, row.sums, row.outer.data());
    for (int c = 0; c < 3; ++c) {  // black where the outer key frame does not reach
        std::uint8_t* pixels = row.outer.data() + c * plane;
        std::fill(pixels, pixels + job.outer.columns.covered_first, 0);
        std::fill(pixels + job.outer.columns.covered_last + 1, pixels + width, 0);
    }
    const int row_ramp = job.has_inner ? job.inner.rows.ramp[y] : 0;
    if (row_ramp > 0) {
        layer_row(job.inner, y, width, row.sums, row.inner.data());
        const int from = job.inner.columns.covered_first, to = job.inner.columns.covered_last + 1;
        const int* column_ramp = job.inner.columns.ramp.data();
        std::uint16_t* __restrict w = row.inner_weight.data();
        for (int x = from; x < to; ++x)
            w[x] = static_cast<std::uint16_t>(
                (static_cast<unsigned>(job.share) * row_ramp * column_ramp[x] + (1u << 15)) >> 16);
        // The mix is at most 255·256 + 128: 16-bit lanes hold it.
        for (int c = 0; c < 3; ++c) {
            std::uint8_t* __restrict o = row.outer.data() + c * plane;
            const std::uint8_t* __restrict in = row.inner.data() + c * plane;
            for (int x = from; x < to; ++x)
                o[x] = static_cast<std::uint8_t>((o[x] * (256 - w[x]) + in[x] * w[x] + 128) >> 8);
        }
    }
    std::uint8_t* __restrict out = job.picture + static_cast<std::size_t>(y) * width * 3;
    const std::uint8_t *red = row.outer.data(), *green = red + plane, *blue = green + plane;
    for (int x = 0; x < width; ++x) {
        out[3 * x] = red[x];
        out[3 * x + 1] = green[x];
        out[3 * x + 2] = blue[x];
    }
}

// Rows a thread takes at a time: 1080 rows make 68 bands, enough to share
// them out evenly between the cores.
constexpr int rows_per_band = 16;

BLEND_INLINE void blend_rows(BlendJob& job)
{
    thread_local RowBuffers row;
    row.outer.resize(3 * static_cast<std::size_t>(plane_size(job.width)));
    row.inner.resize(row.outer.size());
    row.inner_weight.resize(job.width);
    for (;;) {
        // Consecutive rows share most of their key rows: a thread takes a
        // band of them, so that each key row is read into one core's cache.
        const int band = job.next_row.fetch_add(rows_per_band, std::memory_order_relaxed);
        if (band >= job.height)
            return;
        for (int y = band; y < std::min(job.height, band + rows_per_band); ++y)
            blend_row(job, y, row);
    }
}

// blend_rows for SSE2, and for AVX2 where the processor has it: the same
// loops in vector lanes twice as wide, the same integer arithmetic.
VECTOR_TASK void blend_task_sse2(void* job)
{
    blend_rows(*static_cast<BlendJob*>(job));
}

VECTOR_TASK __attribute__((target("avx2"))) void blend_task_avx2(void* job)
{
    blend_rows(*static_cast<BlendJob*>(job));
}

}  // namespace

int inner_share(double fraction)
{
    if (fraction <= 0.0)
        return 0;
    const double b = 1.0 - (1.0 - fraction) * (1.0 - fraction);
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
        // The inner key frame's points are half as far apart, about the same
        // centre point: an outer coordinate u is 2u − width/2 there.
        job.inner.key = inner;
        make_taps(job.inner.columns, width, inner->width, static_cast<double>(inner->width) / width, 2.0 * scale, 0.0,
                  band);
        make_taps(job.inner.rows, height, inner->height, static_cast<double>(inner->height) / height, 2.0 * scale,
                  0.0, band);
        job.has_inner = job.inner.columns.highest >= 0 && job.inner.rows.highest >= 0;
    }
    run_on_every_core(simd_level() >= SimdLevel::avx2 ? blend_task_avx2 : blend_task_sse2, &job);
}

}  // namespace zqv
