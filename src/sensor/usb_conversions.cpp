#include "sensor/usb_conversions.hpp"

#include <cstring>

// The baseline vector loops: SSE2 on x86-64, Advanced SIMD on aarch64, scalar code elsewhere.
#define USB_CONVERSIONS_NS baseline
#define USB_CONVERSIONS_BYTES 16
#include "sensor/usb_conversions.inc"
#undef USB_CONVERSIONS_NS
#undef USB_CONVERSIONS_BYTES

namespace Telmora {

namespace usb {
#if defined(__x86_64__)
namespace avx2 {
size_t scale8(const uint8_t* src, size_t n, uint8_t* out);
size_t shiftRight(const uint8_t* src, size_t bytes, unsigned shift, uint8_t* out);
size_t shiftLeft(const uint8_t* src, size_t bytes, unsigned shift, uint8_t* out);
}  // namespace avx2
#endif
}  // namespace usb

namespace {

// The vector loops read words in the host's order, which must be little-endian.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kVectorWords = true;
#else
constexpr bool kVectorWords = false;
#endif

struct Loops {
    size_t (*scale8)(const uint8_t*, size_t, uint8_t*);
    size_t (*shift_right)(const uint8_t*, size_t, unsigned, uint8_t*);
    size_t (*shift_left)(const uint8_t*, size_t, unsigned, uint8_t*);
};

Loops chooseLoops()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return Loops{usb::avx2::scale8, usb::avx2::shiftRight, usb::avx2::shiftLeft};
    }
#endif
    return Loops{usb::baseline::scale8, usb::baseline::shiftRight, usb::baseline::shiftLeft};
}

const Loops& loops()
{
    static const Loops chosen = chooseLoops();
    return chosen;
}

void scale8(const uint8_t* src, size_t n, uint8_t* out)
{
    size_t i = kVectorWords ? loops().scale8(src, n, out) : 0;
    for (; i < n; ++i) {
        const uint16_t s = static_cast<uint16_t>(src[i] << 4);
        out[2 * i] = static_cast<uint8_t>(s);
        out[2 * i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

// Words shifted right (kRight) or left by `shift`, below 16; a trailing odd byte is left alone.
template <bool kRight>
void shiftWords(const uint8_t* src, size_t bytes, unsigned shift, uint8_t* out)
{
    size_t i = 0;
    if (kVectorWords) {
        i = kRight ? loops().shift_right(src, bytes, shift, out)
                   : loops().shift_left(src, bytes, shift, out);
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
    if (bytes == 0) return 0;  // nothing to copy; the pointers may be null
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
