#include "sensor/csi/unpack12.hpp"

#include <cstring>

// The baseline vector loop: SSE2 on x86-64 (byte shuffles done without SSSE3), Advanced SIMD
// on aarch64, scalar code elsewhere.
#define UNPACK12_NS baseline
#define UNPACK12_BYTES 16
#include "sensor/csi/unpack12.inc"
#undef UNPACK12_NS
#undef UNPACK12_BYTES

namespace Telmora {
namespace unpack12 {

#if defined(__x86_64__)
namespace avx2 {
size_t samples(const uint8_t* src, size_t n, uint8_t* dst);
}  // namespace avx2
#endif

namespace {

using SamplesFn = size_t (*)(const uint8_t*, size_t, uint8_t*);

SamplesFn choose()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return avx2::samples;
#endif
    return baseline::samples;
}

// One line of `n` samples (n even); the vector loop needs 4 readable bytes past its groups.
void line(const uint8_t* src, size_t n, uint8_t* dst)
{
    static const SamplesFn vector_samples = choose();
    size_t k = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    k = vector_samples(src, n, dst);
#endif
    for (; k < n; k += 2) {
        const uint8_t* in = src + k / 2 * 3;
        const uint16_t s0 = static_cast<uint16_t>((in[0] << 4) | (in[2] & 0x0F));
        const uint16_t s1 = static_cast<uint16_t>((in[1] << 4) | (in[2] >> 4));
        std::memcpy(dst + 2 * k, &s0, 2);
        std::memcpy(dst + 2 * k + 2, &s1, 2);
    }
}

}  // namespace

bool wholeLines(const uint8_t* src, size_t len, size_t limit, size_t width, size_t line_bytes,
                size_t padding, uint8_t* cache, size_t room_samples, size_t* j, size_t* pos)
{
    // A line is done at once when the loop would not stop inside it (its last pair may end
    // the loop) and all of it fits in the cache. Its reads then end at least 5 bytes before
    // the buffer's end, more than the vector loop reads past them.
    while (*j + line_bytes < limit + 3 && *pos <= room_samples && room_samples - *pos >= width) {
        line(src + *j, width, cache + 2 * *pos);
        *j += line_bytes;
        *pos += width;
        if (*j >= limit) return true;
        *j += padding;
        if (*j + 2 >= len) return true;
    }
    return false;
}

}  // namespace unpack12
}  // namespace Telmora
