// The raw-capture encoder: sizes, metadata lines, the sample model and its noise.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "si4c_raw_encoder.hpp"

namespace {

struct HeightCase {
    int height;
    bool two;
    int raw_height;
};

class EncoderHeightTest : public ::testing::TestWithParam<HeightCase> {};

std::vector<uint16_t> encode(bool two, float distance, float noise, uint32_t counter, uint64_t seed,
                             int w = 8, int h = 6)
{
    std::vector<float> d(size_t(w) * size_t(h), distance);
    std::vector<uint16_t> raw(si4c::rawWords(w, h, two), 0xFFFF);
    si4c::RawEncoderFrame f;
    f.width = w;
    f.height = h;
    f.two_frequencies = two;
    f.distance_mm = d.data();
    f.amplitude_uniform = 300.0f;
    f.ambient_uniform = 50.0f;
    f.noise = noise;
    f.frame_counter = counter;
    f.noise_seed = seed;
    si4c::encodeCapture(f, raw.data());
    return raw;
}

}  // namespace

TEST_P(EncoderHeightTest, RawHeight)
{
    const HeightCase c = GetParam();
    EXPECT_EQ(si4c::rawHeight(c.height, c.two), c.raw_height);
    EXPECT_EQ(si4c::rawWords(640, c.height, c.two), size_t(640) * c.raw_height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncoderHeightTest,
                         ::testing::Values(HeightCase{480, false, 2405}, HeightCase{480, true, 4810},
                                           HeightCase{240, false, 1205}, HeightCase{240, true, 2410}));

TEST(Encoder, MetadataLines)
{
    const int w = 8, h = 6;
    const std::vector<uint16_t> raw = encode(true, 500.0f, 0.0f, 0x123456, 1);
    for (int s = 0; s < 10; ++s) {
        const uint16_t* meta = raw.data() + size_t(s) * w * (h + 1);
        EXPECT_EQ(meta[0], s);
        EXPECT_EQ(meta[1], s < 5 ? SI4C_FREQ_A_CODE : SI4C_FREQ_B_CODE);
        EXPECT_EQ(meta[2], 0x456);
        EXPECT_EQ(meta[3], 0x123);
        for (int x = 4; x < w; ++x) EXPECT_EQ(meta[x], 0) << "sub-frame " << s;
    }
}

TEST(Encoder, SampleModelAtZeroPhase)
{
    // d = 0: phase 0, so the four images hold base + A, base, base - A, base.
    const int w = 8, h = 6;
    const std::vector<uint16_t> raw = encode(false, 0.0f, 0.0f, 0, 1);
    const uint16_t base = SI4C_BLACK_LEVEL + 50 + 300;
    const uint16_t expected[5] = {uint16_t(base + 300), base, uint16_t(base - 300), base,
                                  uint16_t(SI4C_BLACK_LEVEL + 50)};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(raw[size_t(k) * w * (h + 1) + w + 3], expected[k]) << k;
}

TEST(Encoder, NoiseHasTheRequestedSpreadAndFollowsTheSeed)
{
    const int w = 64, h = 64;
    const std::vector<uint16_t> clean = encode(false, 700.0f, 0.0f, 5, 9, w, h);
    const std::vector<uint16_t> noisy = encode(false, 700.0f, 12.0f, 5, 9, w, h);
    double sum2 = 0;
    size_t n = 0;
    for (int s = 0; s < 5; ++s) {
        for (int i = 0; i < w * h; ++i) {
            const size_t at = size_t(s) * w * (h + 1) + w + i;
            const double diff = double(noisy[at]) - clean[at];
            sum2 += diff * diff;
            ++n;
        }
    }
    EXPECT_NEAR(std::sqrt(sum2 / double(n)), 12.0, 0.6);
    EXPECT_EQ(encode(false, 700.0f, 12.0f, 5, 9, w, h), noisy);
    EXPECT_NE(encode(false, 700.0f, 12.0f, 6, 9, w, h), noisy);
    EXPECT_NE(encode(false, 700.0f, 12.0f, 5, 10, w, h), noisy);
}
