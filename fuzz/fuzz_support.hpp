// Shared by the fuzz targets: input as text, and a finding that stops the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline std::string text(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The text up to its first NUL, as a C string would see it.
inline std::string cString(const uint8_t* data, size_t size)
{
    std::string s = text(data, size);
    return s.substr(0, s.find('\0'));
}

// A broken invariant is a finding: abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                           \
    do {                                                                           \
        if (!(cond)) {                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                          \
        }                                                                          \
    } while (0)

}  // namespace fuzz
