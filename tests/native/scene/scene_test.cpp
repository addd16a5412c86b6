// Synthetic scenes: ground truth, phase rendering and its agreement with the HQVGA formulas.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "device/device_hqvga.hpp"
#include "scene/scene.hpp"

using Telmora::sim::RangeMode;
using Telmora::sim::Scene;
using Telmora::sim::SceneKind;
using Telmora::sim::SceneParams;
namespace hqvga = Telmora::hqvga;

namespace {

constexpr int W = 240, H = 180, N = W * H;

// Depth and amplitude from rendered phases, with the HQVGA device's own per-pixel functions.
void decodeDepth(const std::vector<uint16_t>& phases, RangeMode mode, std::vector<float>& depth,
                 std::vector<float>& amp) {
    const size_t n = phases.size() / 4;
    depth.resize(n);
    amp.resize(n);
    const bool r2000 = mode == RangeMode::Range2m;
    const float scale = hqvga::depthScale(r2000 ? hqvga::kFrequency2m : hqvga::kFrequency4m);
    for (size_t i = 0; i < n; ++i) {
        hqvga::pixelDepth(hqvga::decodeSample(phases[i], 0), hqvga::decodeSample(phases[n + i], 0),
                          hqvga::decodeSample(phases[2 * n + i], 0),
                          hqvga::decodeSample(phases[3 * n + i], 0), r2000, scale, &depth[i],
                          &amp[i]);
    }
}

// Distance between two depths on the circle of the unambiguous range.
float circularError(float a, float b, RangeMode mode) {
    const float r = static_cast<float>(Telmora::sim::unambiguousRangeMm(mode));
    float e = std::fabs(a - b);
    e = std::fmod(e, r);
    return std::min(e, r - e);
}

SceneParams flatWall(float mm, float noise = 0.0f) {
    SceneParams p;
    p.kind = SceneKind::FlatWall;
    p.wall_mm = mm;
    p.noise = noise;
    return p;
}

}  // namespace

TEST(SceneTest, ModesAndWrapping) {
    EXPECT_DOUBLE_EQ(Telmora::sim::modulationFrequency(RangeMode::Range2m), 75.0e6);
    EXPECT_DOUBLE_EQ(Telmora::sim::modulationFrequency(RangeMode::Range4m), 37.5e6);
    EXPECT_NEAR(Telmora::sim::unambiguousRangeMm(RangeMode::Range2m), 2000.0, 1e-9);
    EXPECT_NEAR(Telmora::sim::unambiguousRangeMm(RangeMode::Range4m), 4000.0, 1e-9);
    EXPECT_FLOAT_EQ(Telmora::sim::wrapDistanceMm(2500.0f, RangeMode::Range2m), 500.0f);
    EXPECT_FLOAT_EQ(Telmora::sim::wrapDistanceMm(2500.0f, RangeMode::Range4m), 2500.0f);
}

TEST(SceneTest, FlatWallGroundTruth) {
    Scene s(W, H, flatWall(1000.0f));
    std::vector<float> d(N), a(N);
    s.groundTruth(0, d.data(), a.data());
    for (int i = 0; i < N; ++i) {
        ASSERT_FLOAT_EQ(d[i], 1000.0f);
        ASSERT_FLOAT_EQ(a[i], 16.0f * 800.0f);  // illumination 1000 x reflectivity 0.8 at 1 m
    }
    s.groundTruth(5, nullptr, a.data());  // either pointer may be null
    s.groundTruth(5, d.data(), nullptr);
}

TEST(SceneTest, CodesAreTwelveBitTwosComplement) {
    Scene s(W, H, SceneParams());
    std::vector<uint16_t> ph(4 * N);
    s.renderPhases(3, RangeMode::Range4m, ph.data());
    for (uint16_t w : ph) {
        ASSERT_EQ(w & 0xF000, 0);
        ASSERT_EQ((w >> 11) & 1, (w >> 10) & 1) << "bit 11 repeats the sign";
    }
}

TEST(SceneTest, FlatWallDepthRecoveredInBothModes) {
    for (float wall : {300.0f, 1000.0f, 1777.0f}) {
        for (RangeMode mode : {RangeMode::Range2m, RangeMode::Range4m}) {
            Scene s(W, H, flatWall(wall));
            std::vector<uint16_t> ph(4 * N);
            s.renderPhases(0, mode, ph.data());
            std::vector<float> depth, amp;
            decodeDepth(ph, mode, depth, amp);
            const float a = 16.0f * std::min(800.0f / (wall / 1000.0f), 1023.0f);
            for (int i = 0; i < N; ++i) {
                ASSERT_NEAR(depth[i], wall, 1.0f) << "pixel " << i;
                ASSERT_NEAR(amp[i], a, 16.0f);
            }
        }
    }
}

TEST(SceneTest, FarWallWrapsInTheTwoMetreMode) {
    Scene s(W, H, flatWall(2600.0f));
    std::vector<uint16_t> ph(4 * N);
    std::vector<float> depth, amp;
    s.renderPhases(0, RangeMode::Range2m, ph.data());
    decodeDepth(ph, RangeMode::Range2m, depth, amp);
    EXPECT_NEAR(depth[0], 600.0f, 1.0f);
    s.renderPhases(0, RangeMode::Range4m, ph.data());
    decodeDepth(ph, RangeMode::Range4m, depth, amp);
    EXPECT_NEAR(depth[0], 2600.0f, 1.0f);
}

TEST(SceneTest, DefaultSceneDepthMatchesGroundTruth) {
    Scene s(W, H, SceneParams());
    std::vector<uint16_t> ph(4 * N);
    std::vector<float> gt(N), gamp(N), depth, amp;
    for (uint64_t capture : {0ull, 17ull, 90ull}) {
        for (RangeMode mode : {RangeMode::Range2m, RangeMode::Range4m}) {
            s.groundTruth(capture, gt.data(), gamp.data());
            s.renderPhases(capture, mode, ph.data());
            decodeDepth(ph, mode, depth, amp);
            int measured = 0;
            for (int i = 0; i < N; ++i) {
                ASSERT_GE(gt[i], 900.0f);
                ASSERT_LE(gt[i], 3000.0f);
                ASSERT_NEAR(amp[i], gamp[i], 24.0f) << "pixel " << i;
                if (gamp[i] < 4000.0f) continue;
                ++measured;
                ASSERT_LE(circularError(depth[i], gt[i], mode), 2.0f)
                    << "pixel " << i << " capture " << capture;
                if (mode == RangeMode::Range4m) {
                    ASSERT_NEAR(depth[i], gt[i], 2.0f);
                }
            }
            EXPECT_GT(measured, N * 9 / 10);
        }
    }
}

TEST(SceneTest, DefaultSceneHasStructureAndMoves) {
    Scene s(W, H, SceneParams());
    std::vector<float> a(N), b(N);
    s.groundTruth(0, a.data(), nullptr);
    s.groundTruth(45, b.data(), nullptr);
    float lo = 1e9f, hi = 0.0f;
    int changed = 0;
    for (int i = 0; i < N; ++i) {
        lo = std::min(lo, a[i]);
        hi = std::max(hi, a[i]);
        changed += a[i] != b[i];
    }
    EXPECT_LT(lo, 1300.0f);
    EXPECT_GT(hi, 2700.0f);
    EXPECT_GT(changed, 100);
    EXPECT_LT(changed, N / 2);  // the background stays

    SceneParams still;
    still.animate = false;
    Scene t(W, H, still);
    t.groundTruth(0, a.data(), nullptr);
    t.groundTruth(45, b.data(), nullptr);
    EXPECT_EQ(a, b);
}

TEST(SceneTest, AmbientCancelsOut) {
    SceneParams p = flatWall(1234.0f);
    p.ambient = 100.0f;
    Scene s(W, H, p);
    std::vector<uint16_t> ph(4 * N);
    std::vector<float> depth, amp;
    s.renderPhases(0, RangeMode::Range4m, ph.data());
    decodeDepth(ph, RangeMode::Range4m, depth, amp);
    EXPECT_NEAR(depth[100], 1234.0f, 1.0f);
    // Every phase sample carries the offset: their mean is the ambient level.
    const double mean = (hqvga::decodeSample(ph[100], 0) + hqvga::decodeSample(ph[N + 100], 0) +
                         hqvga::decodeSample(ph[2 * N + 100], 0) +
                         hqvga::decodeSample(ph[3 * N + 100], 0)) / 4.0 / 16.0;
    EXPECT_NEAR(mean, 100.0, 1.0);
}

TEST(SceneTest, SaturationClampsSamples) {
    SceneParams p = flatWall(500.0f);
    p.ambient = 900.0f;  // B + a is far beyond the code range
    Scene s(W, H, p);
    std::vector<uint16_t> ph(4 * N);
    s.renderPhases(0, RangeMode::Range4m, ph.data());
    int saturated = 0;
    for (int k = 0; k < 4; ++k) saturated += ph[k * N] == 0x3FF;
    EXPECT_GT(saturated, 0);
}

TEST(SceneTest, NoiseIsSeededPerCaptureWithTheGivenSpread) {
    const float sigma = 4.0f;
    Scene s(W, H, flatWall(1000.0f, sigma));
    Scene exact(W, H, flatWall(1000.0f));
    std::vector<uint16_t> a(4 * N), b(4 * N), c(4 * N), e(4 * N);
    s.renderPhases(7, RangeMode::Range4m, a.data());
    s.renderPhases(8, RangeMode::Range4m, c.data());
    s.renderPhases(7, RangeMode::Range4m, b.data());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    exact.renderPhases(7, RangeMode::Range4m, e.data());
    double sum = 0, sum2 = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = (hqvga::decodeSample(a[i], 0) - hqvga::decodeSample(e[i], 0)) / 16.0;
        sum += d;
        sum2 += d * d;
    }
    const double mean = sum / a.size();
    const double sd = std::sqrt(sum2 / a.size() - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.1);
    EXPECT_NEAR(sd, std::sqrt(sigma * sigma + 1.0 / 12.0), 0.2);  // plus rounding

    SceneParams other = flatWall(1000.0f, sigma);
    other.seed = 99;
    Scene s2(W, H, other);
    s2.renderPhases(7, RangeMode::Range4m, b.data());
    EXPECT_NE(a, b);
}

TEST(SceneTest, AnySize) {
    Scene s(640, 480, SceneParams());
    std::vector<uint16_t> ph(4 * 640 * 480);
    std::vector<float> d(640 * 480);
    s.renderPhases(1, RangeMode::Range4m, ph.data());
    s.groundTruth(1, d.data(), nullptr);
    EXPECT_GT(d[0], 0.0f);
    Scene empty(0, 0, SceneParams());
    empty.renderPhases(0, RangeMode::Range4m, nullptr);
}

// Not a timed assertion: prints what one 240 x 180 capture costs to render.
TEST(SceneTest, ReportsRenderCost) {
    SceneParams p;
    p.noise = 2.0f;
    Scene s(W, H, p);
    std::vector<uint16_t> ph(4 * N);
    const int reps = 200;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reps; ++i) s.renderPhases(static_cast<uint64_t>(i), RangeMode::Range4m, ph.data());
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("[ scene    ] default scene with noise, 240 x 180: %.3f ms per capture\n", ms / reps);
}
