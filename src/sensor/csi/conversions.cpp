#include "sensor/csi/conversions.hpp"

#include "sensor/csi/unpack12.hpp"

#include <algorithm>
#include <cstring>

namespace Telmora {

namespace {

constexpr size_t kPaddedLine = 512;
constexpr size_t kPaddedLineData = 480;
constexpr size_t kPairBlock = 960;
constexpr size_t kPairHead = 448;
constexpr size_t kPairTail = 32;
constexpr size_t kPackedAfterLastRead = 8;

// Copies what fits of `n` bytes to cache + at; the rest would lie past the cache.
void put(uint8_t* cache, size_t room, size_t at, const uint8_t* from, size_t n)
{
    if (at >= room) return;
    size_t count = std::min(n, room - at);
    // Hide the count's bound from the compiler: knowing the copy is short, it inlines it as
    // `rep movs`, several times slower here than the library's vector copy.
    asm("" : "+r"(count));
    std::memcpy(cache + at, from, count);
}

}  // namespace

void copy_raw(const uint8_t* src, uint8_t* cache, size_t len, uint32_t, size_t* pos, size_t room)
{
    put(cache, room, *pos, src, len);
    *pos += len;
}

void strip_line_padding(const uint8_t* src, uint8_t* cache, size_t len, uint32_t, size_t* pos,
                        size_t room)
{
    for (size_t line = 0; line < len; line += kPaddedLine) {
        // A short last line carries only what the buffer still holds.
        put(cache, room, *pos, src + line, std::min(kPaddedLineData, len - line));
        *pos += kPaddedLineData;
    }
}

void reorder_line_pairs(const uint8_t* src, uint8_t* cache, size_t len, uint32_t, size_t* pos,
                        size_t room)
{
    for (size_t at = 0; at < len; at += kPairBlock) {
        const uint8_t* in = src + at;
        size_t avail = len - at;
        if (avail < kPairBlock) {
            // An incomplete pair has no tails to move: keep its bytes as they come.
            put(cache, room, *pos, in, avail);
        } else {
            put(cache, room, *pos, in, kPairHead);
            put(cache, room, *pos + kPairHead, in + 2 * kPairHead, kPairTail);
            put(cache, room, *pos + kPairHead + kPairTail, in + kPairHead, kPairHead);
            put(cache, room, *pos + 2 * kPairHead + kPairTail, in + 2 * kPairHead + kPairTail,
                kPairTail);
        }
        *pos += kPairBlock;
    }
}

void unpack_y12p(const uint8_t* src, uint8_t* cache, size_t len, uint32_t width, size_t* pos,
                 size_t room)
{
    if (len <= kPackedAfterLastRead || width == 0) return;
    const size_t limit = len - kPackedAfterLastRead;
    const size_t line_bytes = width * 3 / 2;
    const size_t padding = (line_bytes + 15) / 16 * 16 - line_bytes;
    const size_t room_samples = room / 2;
    size_t j = 0;
    // Whole lines at vector speed while they fit; the loop below takes what remains.
    if (width % 2 == 0 && *pos % width == 0 &&
        unpack12::wholeLines(src, len, limit, width, line_bytes, padding, cache, room_samples, &j,
                             pos)) {
        return;
    }
    while (true) {
        const uint8_t b0 = src[j], b1 = src[j + 1], b2 = src[j + 2];
        const uint16_t s0 = static_cast<uint16_t>((b0 << 4) | (b2 & 0x0F));
        const uint16_t s1 = static_cast<uint16_t>((b1 << 4) | (b2 >> 4));
        if (*pos < room_samples) std::memcpy(cache + 2 * *pos, &s0, 2);
        if (*pos + 1 < room_samples) std::memcpy(cache + 2 * (*pos + 1), &s1, 2);
        *pos += 2;
        j += 3;
        if (j >= limit) break;
        if (padding > 0 && *pos % width == 0) j += padding;
        // A padding skip may land within the last three readable bytes; stop there too.
        if (j + 2 >= len) break;
    }
}

}  // namespace Telmora
