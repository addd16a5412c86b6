// The four buffer conversions: their fixed arithmetic, the cache bound, and round trips
// through each board's buffer layout.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "frame_encoding.hpp"
#include "sensor/csi/conversions.hpp"

using namespace Telmora;
using sim::FrameEncoding;

namespace {

constexpr uint8_t kGuard = 0x5A;

std::vector<uint16_t> testImage(uint32_t w, uint32_t h, uint32_t seed)
{
    std::vector<uint16_t> img(size_t{w} * h);
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<uint16_t>((i * 2654435761u + seed) >> 7 & 0x0FFF);
    return img;
}

uint16_t word(const std::vector<uint8_t>& cache, size_t sample)
{
    return static_cast<uint16_t>(cache[2 * sample] | cache[2 * sample + 1] << 8);
}

}  // namespace

TEST(Conversions, StripLinePaddingKeeps480Of512BytesPerLine)
{
    std::vector<uint8_t> src(92160);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i % 512 < 480 ? i / 512 : 0xFF);
    std::vector<uint8_t> cache(86400 + 64, kGuard);
    size_t pos = 0;
    strip_line_padding(src.data(), cache.data(), src.size(), 240, &pos, cache.size());
    EXPECT_EQ(pos, 86400u);
    for (size_t line = 0; line < 180; ++line)
        for (size_t b = 0; b < 480; b += 97) ASSERT_EQ(cache[line * 480 + b], line) << line;
    EXPECT_EQ(cache[86400], kGuard);  // exactly 86 400 bytes written
}

TEST(Conversions, UnpackY12PSplitsThreeBytesIntoTwoSamples)
{
    // w = 240: 360 bytes of data and 8 of padding per line.
    std::vector<uint8_t> src(368 * 2, 0);
    src[0] = 0xAB;
    src[1] = 0xCD;
    src[2] = 0xEF;
    src[368] = 0x12;  // first pair of the second line sits after the padding
    src[369] = 0x34;
    src[370] = 0x56;
    std::vector<uint8_t> cache(2 * 240 * 2, 0);
    size_t pos = 0;
    unpack_y12p(src.data(), cache.data(), src.size(), 240, &pos, cache.size());
    EXPECT_EQ(word(cache, 0), 0xABF);
    EXPECT_EQ(word(cache, 1), 0xCDE);
    EXPECT_EQ(word(cache, 240), 0x126);
    EXPECT_EQ(word(cache, 241), 0x345);
    EXPECT_EQ(pos, 480u);
}

TEST(Conversions, UnpackY12PNeverReadsTheLastEightBytes)
{
    // w = 320: 480 bytes per line, no padding. The scan stops before byte 472, so the last
    // triple read ends at byte 473 and the final 4 samples stay unconverted.
    std::vector<uint8_t> src(480, 0x11);
    std::fill(src.end() - 6, src.end(), 0xFF);
    std::vector<uint8_t> cache(640, 0);
    size_t pos = 0;
    unpack_y12p(src.data(), cache.data(), src.size(), 320, &pos, cache.size());
    EXPECT_EQ(pos, 316u);  // 472 bytes read: 158 triples
    for (size_t s = 0; s < pos; ++s) ASSERT_EQ(word(cache, s), 0x111) << s;
    for (size_t s = pos; s < 320; ++s) ASSERT_EQ(word(cache, s), 0) << s;
}

struct ZeroLengthCase {
    const char* name;
    ConvertFn fn;
};

class ConversionOfEmptyBuffer : public testing::TestWithParam<ZeroLengthCase> {};

TEST_P(ConversionOfEmptyBuffer, WritesNothing)
{
    std::vector<uint8_t> src(16, 0x77);
    std::vector<uint8_t> cache(64, kGuard);
    size_t pos = 0;
    GetParam().fn(src.data(), cache.data(), 0, 240, &pos, cache.size());
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(std::count(cache.begin(), cache.end(), kGuard), 64);
}

INSTANTIATE_TEST_SUITE_P(All, ConversionOfEmptyBuffer,
                         testing::Values(ZeroLengthCase{"copy", copy_raw},
                                         ZeroLengthCase{"strip", strip_line_padding},
                                         ZeroLengthCase{"reorder", reorder_line_pairs},
                                         ZeroLengthCase{"unpack", unpack_y12p}),
                         [](const auto& i) { return std::string(i.param.name); });

// A driver buffer longer than the cache's room must not be written past the cache.
struct OversizeCase {
    const char* name;
    ConvertFn fn;
    size_t len;
};

class ConversionOfOversizedBuffer : public testing::TestWithParam<OversizeCase> {};

TEST_P(ConversionOfOversizedBuffer, StopsAtTheCacheEnd)
{
    const size_t room = 2 * 240 * 180;
    std::vector<uint8_t> src(GetParam().len, 0x33);
    std::vector<uint8_t> cache(room + 4096, kGuard);
    size_t pos = 0;
    GetParam().fn(src.data(), cache.data(), src.size(), 240, &pos, room);
    EXPECT_EQ(std::count(cache.begin() + room, cache.end(), kGuard), 4096);
    EXPECT_NE(cache[room - 1], kGuard);  // the room itself is filled
}

INSTANTIATE_TEST_SUITE_P(All, ConversionOfOversizedBuffer,
                         testing::Values(OversizeCase{"copy", copy_raw, 86400 + 3000},
                                         OversizeCase{"strip", strip_line_padding, 92160 + 5000},
                                         OversizeCase{"reorder", reorder_line_pairs, 86400 + 1000},
                                         OversizeCase{"unpack", unpack_y12p, 368 * 180 + 9000}),
                         [](const auto& i) { return std::string(i.param.name); });

// Round trips: the in-memory kernel encodes an image as a board delivers it; the routine the
// sensor picks for that layout must give the image back in the cache, image after image.
struct RoundTripCase {
    const char* name;
    FrameEncoding encoding;
    ConvertFn fn;
    uint32_t width;
    uint32_t height;
    int shift;  // where the 12 bits sit in the cache words
};

class ConversionRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(ConversionRoundTrip, GivesBackTheImages)
{
    const RoundTripCase& c = GetParam();
    const size_t len = sim::encodedSize(c.encoding, c.width, c.height);
    const size_t image_bytes = size_t{2} * c.width * c.height;
    std::vector<uint8_t> cache(2 * image_bytes, 0);
    size_t pos = 0;
    std::vector<std::vector<uint16_t>> images;
    for (uint32_t k = 0; k < 2; ++k) {
        images.push_back(testImage(c.width, c.height, k * 977));
        std::vector<uint8_t> buffer(len);
        sim::encodeImage(c.encoding, images.back().data(), c.width, c.height, buffer.data());
        c.fn(buffer.data(), cache.data(), len, c.width, &pos, cache.size());
    }
    const size_t samples = size_t{c.width} * c.height;
    for (uint32_t k = 0; k < 2; ++k)
        for (size_t i = 0; i < samples; ++i)
            ASSERT_EQ(word(cache, k * samples + i), images[k][i] << c.shift) << "image " << k << " sample " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Boards, ConversionRoundTrip,
    testing::Values(RoundTripCase{"Low12", FrameEncoding::Low12, copy_raw, 240, 180, 0},
                    RoundTripCase{"Low12Vga", FrameEncoding::Low12, copy_raw, 640, 480, 0},
                    RoundTripCase{"Padded512", FrameEncoding::Low12Aligned64, strip_line_padding, 240, 180, 0},
                    RoundTripCase{"LinePairs", FrameEncoding::High12LinePairs, reorder_line_pairs, 240, 180, 4},
                    RoundTripCase{"PackedPadded", FrameEncoding::PackedY12P, unpack_y12p, 240, 180, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Conversions, LinePairsMoveTheTailsBackToTheirLines)
{
    // One 960-byte block as it travels: head0 | head1 | tail0 | tail1.
    std::vector<uint8_t> src(960);
    std::fill(src.begin(), src.begin() + 448, 0xA0);
    std::fill(src.begin() + 448, src.begin() + 896, 0xB1);
    std::fill(src.begin() + 896, src.begin() + 928, 0xA2);
    std::fill(src.begin() + 928, src.end(), 0xB3);
    std::vector<uint8_t> cache(960, 0);
    size_t pos = 0;
    reorder_line_pairs(src.data(), cache.data(), src.size(), 240, &pos, cache.size());
    EXPECT_EQ(pos, 960u);
    EXPECT_EQ(cache[0], 0xA0);
    EXPECT_EQ(cache[447], 0xA0);
    EXPECT_EQ(cache[448], 0xA2);
    EXPECT_EQ(cache[479], 0xA2);
    EXPECT_EQ(cache[480], 0xB1);
    EXPECT_EQ(cache[927], 0xB1);
    EXPECT_EQ(cache[928], 0xB3);
    EXPECT_EQ(cache[959], 0xB3);
}
