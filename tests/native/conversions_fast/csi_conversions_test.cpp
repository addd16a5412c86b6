// The CSI buffer conversions against their plain definitions, written here sample by sample:
// every width parity, start position, buffer length and cache room that changes the path they
// take, including buffers and caches that end inside a line.
#include <gtest/gtest.h>

#include "byte_pattern.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sensor/csi/conversions.hpp"

using namespace Telmora;

namespace {

std::vector<uint8_t> pattern(size_t n, uint32_t seed) { return bytePattern(n, seed, 7); }

void putByte(std::vector<uint8_t>& cache, size_t room, size_t at, uint8_t b)
{
    if (at < room) cache[at] = b;
}

void plainStrip(const uint8_t* src, std::vector<uint8_t>& cache, size_t len, size_t* pos, size_t room)
{
    for (size_t line = 0; line < len; line += 512) {
        for (size_t k = 0; k < 480 && line + k < len; ++k) putByte(cache, room, *pos + k, src[line + k]);
        *pos += 480;
    }
}

void plainReorder(const uint8_t* src, std::vector<uint8_t>& cache, size_t len, size_t* pos, size_t room)
{
    for (size_t at = 0; at < len; at += 960) {
        const uint8_t* in = src + at;
        for (size_t k = 0; k < 960 && at + k < len; ++k) {
            size_t from = k;  // an incomplete block is kept as it comes
            if (len - at >= 960) from = k < 448 ? k : k < 480 ? 896 + (k - 448) : k < 928 ? k - 32 : k;
            putByte(cache, room, *pos + k, in[from]);
        }
        *pos += 960;
    }
}

void plainUnpack(const uint8_t* src, std::vector<uint8_t>& cache, size_t len, size_t width, size_t* pos, size_t room)
{
    if (len <= 8 || width == 0) return;
    const size_t limit = len - 8;
    const size_t line_bytes = width * 3 / 2;
    const size_t padding = (line_bytes + 15) / 16 * 16 - line_bytes;
    size_t j = 0;
    while (true) {
        const unsigned s0 = (src[j] << 4) | (src[j + 2] & 0x0F);
        const unsigned s1 = (src[j + 1] << 4) | (src[j + 2] >> 4);
        putByte(cache, room, 2 * *pos, static_cast<uint8_t>(s0));
        putByte(cache, room, 2 * *pos + 1, static_cast<uint8_t>(s0 >> 8));
        putByte(cache, room, 2 * *pos + 2, static_cast<uint8_t>(s1));
        putByte(cache, room, 2 * *pos + 3, static_cast<uint8_t>(s1 >> 8));
        *pos += 2;
        j += 3;
        if (j >= limit) break;
        if (padding > 0 && *pos % width == 0) j += padding;
        if (j + 2 >= len) break;
    }
}

struct Case {
    size_t width;
    size_t len;
    size_t start;  // position before the call, in the routine's unit
    size_t room;   // cache bytes
};

void check(ConvertFn fn, const Case& c, void (*plain)(const uint8_t*, std::vector<uint8_t>&, size_t, size_t, size_t*, size_t))
{
    const std::vector<uint8_t> src = pattern(c.len + 1, static_cast<uint32_t>(c.width + c.len));
    std::vector<uint8_t> want = pattern(c.room + 64, 99), got = want;
    size_t want_pos = c.start, got_pos = c.start;
    plain(src.data(), want, c.len, c.width, &want_pos, c.room);
    fn(src.data(), got.data(), c.len, static_cast<uint32_t>(c.width), &got_pos, c.room);
    EXPECT_EQ(got_pos, want_pos);
    EXPECT_TRUE(got == want) << "first difference at byte "
                             << std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
}

class Unpack : public ::testing::TestWithParam<Case> {};

TEST_P(Unpack, MatchesThePlainLoop)
{
    check(unpack_y12p, GetParam(), plainUnpack);
}

std::vector<Case> unpackCases()
{
    std::vector<Case> v;
    for (size_t width : {240, 320, 640, 2, 6, 8, 250, 241, 16, 30}) {
        const size_t line = (width * 3 / 2 + 15) / 16 * 16;  // padded line
        const size_t image = 2 * width * 180;
        for (size_t len : {line * 180, line * 180 + 5, line * 3 - 1, line * 2 + 9, line + 4, size_t{9}, size_t{8}, line * 180 - 13}) {
            v.push_back({width, len, 0, image});                 // the whole image fits
            v.push_back({width, len, width * 180, 2 * image});   // the second image of a capture
            v.push_back({width, len, 3, image});                 // not at a line start
            v.push_back({width, len, 0, 2 * width * 7 + 6});     // the cache ends inside a line
            v.push_back({width, len, 0, 0});
        }
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(Buffers, Unpack, ::testing::ValuesIn(unpackCases()));

void strip(const uint8_t* s, std::vector<uint8_t>& c, size_t len, size_t, size_t* pos, size_t room) { plainStrip(s, c, len, pos, room); }
void reorder(const uint8_t* s, std::vector<uint8_t>& c, size_t len, size_t, size_t* pos, size_t room) { plainReorder(s, c, len, pos, room); }

class Copies : public ::testing::TestWithParam<Case> {};

TEST_P(Copies, StripLinePaddingMatchesThePlainLoop) { check(strip_line_padding, GetParam(), strip); }
TEST_P(Copies, ReorderLinePairsMatchesThePlainLoop) { check(reorder_line_pairs, GetParam(), reorder); }

INSTANTIATE_TEST_SUITE_P(Buffers, Copies,
                         ::testing::Values(Case{240, 92160, 0, 86400}, Case{240, 92160, 86400, 4 * 86400},
                                           Case{240, 86400, 0, 86400}, Case{240, 86400 + 500, 0, 86400},
                                           Case{240, 92160 - 100, 0, 86400}, Case{240, 1000, 0, 700},
                                           Case{240, 960 * 3, 17, 960 * 2}, Case{240, 0, 0, 100},
                                           Case{240, 511, 0, 86400}, Case{240, 959, 0, 86400}));

}  // namespace
