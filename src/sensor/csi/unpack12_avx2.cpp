// The packed 12-bit unpacker's vector loop for x86-64 processors with AVX2; unpack12.cpp calls
// it only after checking the processor. Every header is included before the target switch.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#define UNPACK12_NS avx2
#define UNPACK12_BYTES 32
#include "sensor/csi/unpack12.inc"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // __x86_64__
