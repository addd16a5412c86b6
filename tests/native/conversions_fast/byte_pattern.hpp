#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reproducible pseudo-random bytes (xorshift32) for comparing fast conversions with their
// plain definitions; `salt` keeps each suite's inputs as they were.
inline std::vector<uint8_t> bytePattern(size_t n, uint32_t seed, uint32_t salt)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + salt;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}
