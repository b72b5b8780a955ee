// Small helpers shared by the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fractal/frame/frame.h"
#include "recording/recording.h"

namespace zqv {

// 64-bit FNV-1a: a fixed hash for comparing frames and files with golden values.
inline std::uint64_t fnv1a64(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a 64-bit offset basis
    for (std::size_t i = 0; i < size; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;  // FNV-1a 64-bit prime
    }
    return h;
}

// The size of a recording file of whole frames.
constexpr std::size_t recording_size(std::size_t frames)
{
    return recording_header_bytes + frames * frame_bytes;
}

inline std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

inline void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!bytes.empty())  // an empty vector's data() may be null, which fwrite must not get
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline void append_double(std::vector<std::uint8_t>& bytes, double value)
{
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// A frame whose every byte tells its slot, row and column apart from its neighbours'.
inline void fill_pattern(Frame& frame, int seed)
{
    for (int r = 0; r < frame_height; ++r)
        for (int c = 0; c < frame_width; ++c)
            frame.pixels[r * frame_width + c] = static_cast<std::uint8_t>(r * 7 + c * 13 + seed * 61);
}

// The bytes of a recording: a header for the given view, then the frames.
inline std::vector<std::uint8_t> recording_bytes(double centre_re, double centre_im, double width,
                                                 const std::vector<const Frame*>& frames)
{
    std::vector<std::uint8_t> bytes;
    append_double(bytes, centre_re);
    append_double(bytes, centre_im);
    append_double(bytes, width);
    for (const Frame* f : frames)
        bytes.insert(bytes.end(), f->pixels, f->pixels + frame_bytes);
    return bytes;
}

}  // namespace zqv
