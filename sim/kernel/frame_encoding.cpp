#include "frame_encoding.hpp"

#include <cstring>
#include <vector>

namespace Telmora {
namespace sim {

namespace {

constexpr uint8_t kPadding = 0xEE;
constexpr size_t kPairBlock = 960;
constexpr size_t kPairHead = 448;
constexpr size_t kPairTail = 32;

size_t roundUp(size_t v, size_t m) { return (v + m - 1) / m * m; }

void putWord(uint8_t* out, uint16_t w)
{
    out[0] = static_cast<uint8_t>(w & 0xFF);
    out[1] = static_cast<uint8_t>(w >> 8);
}

void encodeWords(const uint16_t* image, uint32_t width, uint32_t height, size_t stride,
                 int shift, uint8_t* out)
{
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* line = out + y * stride;
        for (uint32_t x = 0; x < width; ++x)
            putWord(line + 2 * x, static_cast<uint16_t>((image[y * width + x] & 0x0FFF) << shift));
    }
}

// The line-pair order: the line-ordered bytes A|B|C|D (448, 32, 448, 32) travel as A|C|B|D.
void pairLines(const uint8_t* ordered, size_t size, uint8_t* out)
{
    size_t at = 0;
    for (; at + kPairBlock <= size; at += kPairBlock) {
        const uint8_t* in = ordered + at;
        uint8_t* o = out + at;
        std::memcpy(o, in, kPairHead);
        std::memcpy(o + kPairHead, in + kPairHead + kPairTail, kPairHead);
        std::memcpy(o + 2 * kPairHead, in + kPairHead, kPairTail);
        std::memcpy(o + 2 * kPairHead + kPairTail, in + 2 * kPairHead + kPairTail, kPairTail);
    }
    std::memcpy(out + at, ordered + at, size - at);
}

void packY12P(const uint16_t* image, uint32_t width, uint32_t height, size_t stride, uint8_t* out)
{
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* line = out + y * stride;
        for (uint32_t x = 0; x + 1 < width; x += 2) {
            const uint16_t s0 = image[y * width + x] & 0x0FFF;
            const uint16_t s1 = image[y * width + x + 1] & 0x0FFF;
            uint8_t* p = line + x / 2 * 3;
            p[0] = static_cast<uint8_t>(s0 >> 4);
            p[1] = static_cast<uint8_t>(s1 >> 4);
            p[2] = static_cast<uint8_t>((s0 & 0x0F) | ((s1 & 0x0F) << 4));
        }
    }
}

}  // namespace

size_t encodedStride(FrameEncoding enc, uint32_t width)
{
    switch (enc) {
    case FrameEncoding::Low12Aligned64: return roundUp(size_t{2} * width, 64);
    case FrameEncoding::PackedY12P: return roundUp(size_t{width} * 3 / 2, 16);
    case FrameEncoding::Low12:
    case FrameEncoding::High12LinePairs: break;
    }
    return size_t{2} * width;
}

size_t encodedSize(FrameEncoding enc, uint32_t width, uint32_t height)
{
    return encodedStride(enc, width) * height;
}

void encodeImage(FrameEncoding enc, const uint16_t* image, uint32_t width, uint32_t height,
                 uint8_t* out)
{
    const size_t stride = encodedStride(enc, width);
    const size_t size = stride * height;
    std::memset(out, kPadding, size);
    switch (enc) {
    case FrameEncoding::Low12:
    case FrameEncoding::Low12Aligned64:
        encodeWords(image, width, height, stride, 0, out);
        break;
    case FrameEncoding::High12LinePairs: {
        std::vector<uint8_t> ordered(size);
        encodeWords(image, width, height, stride, 4, ordered.data());
        pairLines(ordered.data(), size, out);
        break;
    }
    case FrameEncoding::PackedY12P:
        packY12P(image, width, height, stride, out);
        break;
    }
}

}  // namespace sim
}  // namespace Telmora
