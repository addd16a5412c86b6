// Whole lines of packed 12-bit samples (two in three bytes, lines padded to a multiple of 16
// bytes) unpacked at vector speed, for unpack_y12p.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {
namespace unpack12 {

// Advances unpack_y12p's loop over whole lines while a line can be done at once: `j` (the
// source offset) and `pos` (the cache sample) at a line start, `limit` = len - 8 and the
// line's packed bytes and padding as unpack_y12p computes them, `width` even. Writes exactly
// what that loop would and leaves `j` and `pos` where it would be; returns true when the loop
// would have ended, false when it must go on sample by sample from there.
bool wholeLines(const uint8_t* src, size_t len, size_t limit, size_t width, size_t line_bytes,
                size_t padding, uint8_t* cache, size_t room_samples, size_t* j, size_t* pos);

}  // namespace unpack12
}  // namespace Telmora
