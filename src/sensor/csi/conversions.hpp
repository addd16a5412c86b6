// Routines that turn one dequeued driver buffer into the cache layout of a capture
// (images of width x height little-endian 16-bit samples back to back).
//
// Each takes the mapped buffer `src` of `len` bytes, the cache base, the line width in
// pixels and the running position of the capture, which it advances. The position is in
// bytes, except for unpack_y12p where it counts 16-bit samples; either way image k lands
// at cache byte 2 * width * height * k. `room` is the size of the cache in bytes: nothing
// is ever written at or beyond cache + room, whatever the driver's buffer length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {

using ConvertFn = void (*)(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width,
                           size_t* pos, size_t room);

// Samples already in 16-bit words: the buffer is copied as it is; pos += len.
void copy_raw(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width, size_t* pos,
              size_t room);

// Lines of 512 bytes of which the first 480 carry data; pos += 480 per line.
void strip_line_padding(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width,
                        size_t* pos, size_t room);

// 960-byte blocks holding two 480-byte lines as head0 | head1 | tail0 | tail1 (heads of
// 448 bytes, tails of 32) put back in line order; pos += 960 per block.
void reorder_line_pairs(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width,
                        size_t* pos, size_t room);

// Packed 12-bit samples (two in three bytes) with lines padded to a multiple of 16 bytes,
// unpacked to 16-bit words; pos counts samples. The buffer's last 8 bytes are not read.
void unpack_y12p(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width, size_t* pos,
                 size_t room);

}  // namespace Telmora
