// The USB scalings' vector loops for x86-64 processors with AVX2; usb_conversions.cpp calls them
// only after checking the processor. Every header is included before the target switch.
#if defined(__x86_64__)

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#define USB_CONVERSIONS_NS avx2
#define USB_CONVERSIONS_BYTES 32
#include "sensor/usb_conversions.inc"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // __x86_64__
