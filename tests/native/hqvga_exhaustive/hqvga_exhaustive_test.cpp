// The fast HQVGA kernels against the scalar reference over every input that matters: every
// pair of phase differences (4095 x 4095 per formula), for both range formulas, both depth
// scales and both sample shifts, bit for bit in depth, amplitude and confidence. Under an
// emulator (TELMORA_EMULATED=1) every 7th pair is taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device/device_hqvga.hpp"
#include "device/device_hqvga_fast.hpp"

using namespace Telmora;

namespace {

constexpr int kCodes = 4095;            // differences of 11-bit codes: -2047 .. 2047
constexpr long kPairs = long{kCodes} * kCodes;
constexpr size_t kN = hqvga::kPixels;

long pairStep()
{
    const char* e = std::getenv("TELMORA_EMULATED");
    return e != nullptr && std::string(e) == "1" ? 7 : 1;
}

// A raw word holding the 11-bit code c at `shift`, with the bits the decoding ignores set from
// `junk`.
uint16_t encode(int c, int shift, uint32_t junk)
{
    const uint32_t x = (static_cast<uint32_t>(c) & 0x7FF) | ((junk & 0x1F) << 11);
    return static_cast<uint16_t>((x << shift) | ((junk >> 5) & ((1u << shift) - 1)));
}

// Two codes whose difference is d, spread over the whole code range by `spread`.
void splitDifference(int d, uint32_t spread, int* first, int* second)
{
    const int lowest = d >= 0 ? -1024 : -1024 - d;  // first and first + d in -1024 .. 1023
    const int highest = d >= 0 ? 1023 - d : 1023;
    *first = lowest + static_cast<int>(spread % static_cast<uint32_t>(highest - lowest + 1));
    *second = *first + d;
}

uint32_t mix(uint64_t v)
{
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    return static_cast<uint32_t>(v);
}

struct Config {
    const char* name;
    int range;        // the RANGE control value
    float frequency;  // modulation frequency it runs at
    Platform platform;
};

// Every frequency the device can run at with each formula: 2000 always runs at 75 MHz; any
// other range runs at whatever 2000 or 4000 last set.
const Config kConfigs[] = {
    {"range4000_37MHz_shift0", 4000, hqvga::kFrequency4m, PLATFORM_RASPBERRY_PI},
    {"range2000_75MHz_shift0", 2000, hqvga::kFrequency2m, PLATFORM_RASPBERRY_PI},
    {"range3000_75MHz_shift4", 3000, hqvga::kFrequency2m, PLATFORM_JETSON},
    {"range2000_75MHz_shift4", 2000, hqvga::kFrequency2m, PLATFORM_JETSON},
    {"range4000_37MHz_shift4", 4000, hqvga::kFrequency4m, PLATFORM_JETSON},
};

class Exhaustive : public ::testing::TestWithParam<Config> {};

TEST_P(Exhaustive, EveryDifferencePairMatchesTheReferenceBitForBit)
{
    const Config& cfg = GetParam();
    TelmoraDeviceHQVGA device(cfg.platform);
    if (cfg.range != 2000 && cfg.frequency == hqvga::kFrequency2m) {
        ASSERT_EQ(device.setControl(RANGE, 2000), 0);
    }
    ASSERT_EQ(device.setControl(RANGE, cfg.range), 0);
    const int shift = cfg.platform == PLATFORM_JETSON ? 4 : 0;
    const hqvga::PhaseParams params{cfg.range == 2000, hqvga::depthScale(cfg.frequency),
                                    static_cast<uint8_t>(shift)};

    size_t count = 0;
    const hqvga::Kernels* kernels = hqvga::fastKernels(&count);
    std::vector<uint8_t> capture(hqvga::kCaptureBytes);
    std::vector<float> want(3 * kN), got(3 * kN);
    std::vector<size_t> fallbacks(count, 0);
    const long step = pairStep();
    long pixels = 0;
    long mismatches = 0;
    for (long first = 0; first < kPairs; first += step * static_cast<long>(kN)) {
        // One frame: pixel i carries pair first + i * step (pairs past the end repeat the start).
        for (size_t i = 0; i < kN; ++i) {
            const long pair = (first + static_cast<long>(i) * step) % kPairs;
            const int d20 = static_cast<int>(pair / kCodes) - 2047;
            const int d31 = static_cast<int>(pair % kCodes) - 2047;
            const uint32_t r = mix(static_cast<uint64_t>(pair) * 4 + static_cast<uint64_t>(shift));
            int c0, c1, c2, c3;
            splitDifference(d20, r, &c0, &c2);
            splitDifference(d31, r >> 11, &c1, &c3);
            const int codes[4] = {c0, c1, c2, c3};
            for (int k = 0; k < 4; ++k) {
                const uint16_t w = encode(codes[k], shift, mix(r + static_cast<uint32_t>(k)));
                capture[2 * (k * kN + i)] = static_cast<uint8_t>(w);
                capture[2 * (k * kN + i) + 1] = static_cast<uint8_t>(w >> 8);
            }
        }
        hqvga::phaseReference(capture.data(), kN, kN, params, &want[0], &want[kN], &want[2 * kN]);

        // The device's own choice, then every variant this processor runs.
        ASSERT_TRUE(device.getPhaseImage(capture.data(), &got[0], &got[kN], &got[2 * kN]));
        if (std::memcmp(want.data(), got.data(), want.size() * sizeof(float)) != 0) ++mismatches;
        for (size_t v = 0; v < count; ++v) {
            std::fill(got.begin(), got.end(), -1.0f);
            fallbacks[v] += kernels[v].phase(capture.data(), kN, kN, params, &got[0], &got[kN],
                                             &got[2 * kN]);
            for (size_t i = 0; i < 3 * kN; ++i) {
                if (std::memcmp(&want[i], &got[i], sizeof(float)) != 0) {
                    if (++mismatches <= 5) {
                        ADD_FAILURE() << kernels[v].name << " plane " << i / kN << " pixel "
                                      << i % kN << " of frame at pair " << first << ": want "
                                      << want[i] << " got " << got[i];
                    }
                }
            }
        }
        pixels += static_cast<long>(kN);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GE(pixels * step, kPairs);
    for (size_t v = 0; v < count; ++v) {
        // The approximation decides all but a few pixels in a hundred thousand: the reference
        // arc tangent is the exception, not the rule.
        EXPECT_LT(fallbacks[v] * 20000, static_cast<size_t>(pixels)) << kernels[v].name;
        std::printf("[ %s ] %s: %zu of %ld pixels took the reference arc tangent\n",
                    kernels[v].name, cfg.name, fallbacks[v], pixels);
    }
}

INSTANTIATE_TEST_SUITE_P(AllInputs, Exhaustive, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<Config>& p) {
                             return std::string(p.param.name);
                         });

// Odd pixel counts and strides: the vector steps, the scalar tail and the frame stride.
class Lengths : public ::testing::TestWithParam<size_t> {};

TEST_P(Lengths, PartialFramesMatchTheReference)
{
    const size_t n = GetParam();
    const size_t stride = n + 5;
    std::vector<uint8_t> capture(8 * stride);
    for (size_t i = 0; i < capture.size(); ++i) capture[i] = static_cast<uint8_t>(mix(i));
    size_t count = 0;
    const hqvga::Kernels* kernels = hqvga::fastKernels(&count);
    for (int variant = 0; variant < 6; ++variant) {
        // Both formulas; the device's two shifts and one the vector decoding leaves to the
        // reference.
        const bool range2000 = variant % 2 == 1;
        const uint8_t shift = static_cast<uint8_t>(variant < 2 ? 0 : variant < 4 ? 4 : 7);
        const hqvga::PhaseParams params{range2000, hqvga::depthScale(hqvga::kFrequency4m), shift};
        std::vector<float> want(3 * n + 1, -2.0f);
        hqvga::phaseReference(capture.data(), stride, n, params, &want[0], &want[n], &want[2 * n]);
        for (size_t v = 0; v < count; ++v) {
            std::vector<float> got(3 * n + 1, -2.0f);
            kernels[v].phase(capture.data(), stride, n, params, &got[0], &got[n], &got[2 * n]);
            EXPECT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(float)), 0)
                << kernels[v].name << " n=" << n << " range2000=" << range2000 << " shift "
                << int(shift);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, Lengths, ::testing::Values(0, 1, 7, 15, 16, 17, 255, 256, 257, 1000));

// The raw interleave over every 16-bit word, both sample shifts.
TEST(RawInterleave, EveryWordMatchesTheReference)
{
    std::vector<uint8_t> capture(hqvga::kCaptureBytes);
    for (size_t i = 0; i < capture.size() / 2; ++i) {
        const uint16_t w = static_cast<uint16_t>(i * 40503u);  // odd multiplier: every word
        capture[2 * i] = static_cast<uint8_t>(w);
        capture[2 * i + 1] = static_cast<uint8_t>(w >> 8);
    }
    size_t count = 0;
    const hqvga::Kernels* kernels = hqvga::fastKernels(&count);
    for (uint8_t shift : {0, 4}) {
        std::vector<int16_t> want(hqvga::kPixels * 4);
        hqvga::rawReference(capture.data(), shift, want.data());
        for (size_t v = 0; v < count; ++v) {
            std::vector<int16_t> got(want.size(), 0x5555);
            kernels[v].raw(capture.data(), shift, got.data());
            EXPECT_EQ(got, want) << kernels[v].name << " shift " << int(shift);
        }
    }
}

}  // namespace
