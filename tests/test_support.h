// Small helpers shared by the tests.
#pragma once

#include <cstddef>
#include <cstdint>

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
