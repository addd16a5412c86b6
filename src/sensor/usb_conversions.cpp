#include "sensor/usb_conversions.hpp"

#include <cstring>

namespace Telmora {

namespace {

// Sixteen samples per step in the compiler's generic vectors: two machine vectors on SSE2 and
// Advanced SIMD, one on wider units, scalar code where there is none. The words are
// little-endian in memory, which is the host's order wherever these vectors are used.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kVectorWords = true;
#else
constexpr bool kVectorWords = false;
#endif

typedef uint8_t vb16 __attribute__((vector_size(16)));
typedef uint16_t vw16 __attribute__((vector_size(32)));

void scale8(const uint8_t* src, size_t n, uint8_t* out)
{
    size_t i = 0;
    if (kVectorWords) {
        for (; i + 16 <= n; i += 16) {
            vb16 b;
            std::memcpy(&b, src + i, sizeof b);
            const vw16 w = __builtin_convertvector(b, vw16) << 4;
            std::memcpy(out + 2 * i, &w, sizeof w);
        }
    }
    for (; i < n; ++i) {
        const uint16_t s = static_cast<uint16_t>(src[i] << 4);
        out[2 * i] = static_cast<uint8_t>(s);
        out[2 * i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

// Words shifted right (right = true) or left by `shift`, below 16.
template <bool kRight>
void shiftWords(const uint8_t* src, size_t bytes, unsigned shift, uint8_t* out)
{
    size_t i = 0;
    if (kVectorWords) {
        for (; i + 32 <= bytes; i += 32) {
            vw16 w;
            std::memcpy(&w, src + i, sizeof w);
            w = kRight ? w >> shift : w << shift;
            std::memcpy(out + i, &w, sizeof w);
        }
    }
    for (; i + 1 < bytes; i += 2) {
        const uint16_t w = static_cast<uint16_t>(src[i] | (src[i + 1] << 8));
        const uint16_t s = static_cast<uint16_t>(kRight ? w >> shift : w << shift);
        out[i] = static_cast<uint8_t>(s);
        out[i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

}  // namespace

size_t usbConvertImage(const uint8_t* src, size_t bytes, uint32_t bit_width, uint32_t bpp,
                       uint8_t* out)
{
    if (bit_width == 8 && bpp == 1) {
        scale8(src, bytes, out);
        return 2 * bytes;
    }
    if (bpp == 2 && bit_width == 12) {
        std::memcpy(out, src, bytes);
    } else if (bpp == 2 && bit_width > 12) {
        const unsigned shift = bit_width - 12;
        if (shift < 16) {
            shiftWords<true>(src, bytes, shift, out);
        } else {
            // Every bit is shifted out; keep a trailing odd byte as it was.
            std::memset(out, 0, bytes & ~size_t{1});
        }
    } else if (bpp == 2 && bit_width < 12) {
        shiftWords<false>(src, bytes, 12 - bit_width, out);
    }
    return bytes;
}

}  // namespace Telmora
