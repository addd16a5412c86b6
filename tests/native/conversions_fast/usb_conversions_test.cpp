// The USB scalings against their plain definition, over lengths around the vector steps and
// every format the kit may report.
#include <gtest/gtest.h>

#include "byte_pattern.hpp"

#include <cstdint>
#include <vector>

#include "sensor/usb_conversions.hpp"

using namespace Telmora;

namespace {

struct Case {
    uint32_t bit_width;
    uint32_t bpp;
    size_t bytes;
};

std::vector<uint8_t> pattern(size_t n, uint32_t seed) { return bytePattern(n, seed, 1); }

// What the cache must hold afterwards, sample by sample.
std::vector<uint8_t> expected(const std::vector<uint8_t>& src, const Case& c,
                              std::vector<uint8_t> out)
{
    auto put = [&](size_t at, uint32_t s) {
        out[at] = static_cast<uint8_t>(s);
        out[at + 1] = static_cast<uint8_t>(s >> 8);
    };
    if (c.bit_width == 8 && c.bpp == 1) {
        for (size_t i = 0; i < src.size(); ++i) put(2 * i, src[i] * 16u);
    } else if (c.bpp == 2 && c.bit_width == 12) {
        for (size_t i = 0; i < src.size(); ++i) out[i] = src[i];  // copied as it is
    } else if (c.bpp == 2) {
        for (size_t i = 0; i + 1 < src.size(); i += 2) {
            const uint32_t w = src[i] | (src[i + 1] << 8);
            if (c.bit_width > 12) put(i, w >> (c.bit_width - 12));
            if (c.bit_width < 12) put(i, w << (12 - c.bit_width));
        }
    }
    return out;
}

class UsbScaling : public ::testing::TestWithParam<Case> {};

TEST_P(UsbScaling, MatchesTheDefinitionAndTouchesNothingElse)
{
    const Case c = GetParam();
    const std::vector<uint8_t> src = pattern(c.bytes, c.bit_width * 100 + c.bpp);
    const size_t room = 2 * c.bytes + 64;
    std::vector<uint8_t> out = pattern(room, 7);  // whatever the cache held before
    const std::vector<uint8_t> want = expected(src, c, out);
    const size_t occupied = usbConvertImage(src.data(), src.size(), c.bit_width, c.bpp, out.data());
    EXPECT_EQ(occupied, c.bit_width == 8 && c.bpp == 1 ? 2 * c.bytes : c.bytes);
    EXPECT_EQ(out, want);
}

std::vector<Case> cases()
{
    std::vector<Case> v;
    for (size_t bytes : {0, 1, 2, 15, 16, 17, 31, 32, 33, 34, 63, 86400, 86401}) {
        v.push_back({8, 1, bytes});
        for (uint32_t bits : {8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 28}) v.push_back({bits, 2, bytes});
        v.push_back({7, 1, bytes});  // no conversion for this format
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(Formats, UsbScaling, ::testing::ValuesIn(cases()));

}  // namespace
