// How each board's capture path lays a sensor image out in a V4L2 buffer. An image is
// width x height 16-bit words holding 12-bit codes (the sensor's raw samples).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {
namespace sim {

enum class FrameEncoding {
    Low12,             // 16-bit words, 12 bits in the low bits, lines of 2 * width bytes
    Low12Aligned64,    // as Low12 with each line padded to a multiple of 64 bytes
    High12LinePairs,   // 12 bits in the high bits; each 960 bytes hold two 480-byte lines
                       // as head0 | head1 | tail0 | tail1 (heads of 448 bytes, tails of 32)
    PackedY12P,        // two samples in three bytes, lines padded to a multiple of 16 bytes
};

// Bytes from the start of one line to the start of the next.
size_t encodedStride(FrameEncoding enc, uint32_t width);
// Bytes of one encoded image (stride x height).
size_t encodedSize(FrameEncoding enc, uint32_t width, uint32_t height);
// Writes the image into `out` (encodedSize bytes). Padding bytes are set to 0xEE so that a
// reader that keeps them shows up.
void encodeImage(FrameEncoding enc, const uint16_t* image, uint32_t width, uint32_t height,
                 uint8_t* out);

}  // namespace sim
}  // namespace Telmora
