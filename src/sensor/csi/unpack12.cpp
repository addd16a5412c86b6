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
void lines(const uint8_t* src, size_t stride, size_t n, size_t count, uint8_t* dst);
}  // namespace avx2
#endif

namespace {

using LinesFn = void (*)(const uint8_t*, size_t, size_t, size_t, uint8_t*);

LinesFn choose()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return avx2::lines;
#endif
    return baseline::lines;
}

}  // namespace

bool wholeLines(const uint8_t* src, size_t len, size_t limit, size_t width, size_t line_bytes,
                size_t padding, uint8_t* cache, size_t room_samples, size_t* j, size_t* pos)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    static const LinesFn vector_lines = choose();
    // Count the lines the loop would go through without stopping inside one (its last pair may
    // end the loop) and that fit in the cache whole, with where the loop stands after them.
    // Their reads end at least 5 bytes before the buffer's end, more than the vector loads
    // read past them, and every line after the first starts past its padding.
    const size_t first = *j;
    const size_t first_pos = *pos;
    size_t count = 0;
    bool ended = false;
    while (*j + line_bytes < limit + 3 && *pos <= room_samples && room_samples - *pos >= width) {
        ++count;
        *j += line_bytes;
        *pos += width;
        if (*j >= limit) {
            ended = true;
            break;
        }
        *j += padding;
        if (*j + 2 >= len) {
            ended = true;
            break;
        }
    }
    if (count > 0) vector_lines(src + first, line_bytes + padding, width, count, cache + 2 * first_pos);
    return ended;
#else
    (void)src, (void)len, (void)limit, (void)width, (void)line_bytes, (void)padding, (void)cache,
        (void)room_samples, (void)j, (void)pos;
    return false;
#endif
}

}  // namespace unpack12
}  // namespace Telmora
