// The HQVGA kernels built for x86-64 processors with AVX2 and FMA; device_hqvga_fast.cpp
// calls them only after checking that the processor has both. Every header is included
// before the target switch so that no shared inline code is built with these instructions.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "device/device_hqvga.hpp"
#include "device/device_hqvga_fast.hpp"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

#define HQVGA_KERNEL_NS avx2
#define HQVGA_KERNEL_AVX 1
#include "device/hqvga_kernel.inc"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // __x86_64__
