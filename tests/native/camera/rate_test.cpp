// Frame-rate measurement and the automatic frame-rate step.
#include <cmath>
#include <limits>
#include <tuple>

#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

constexpr int64_t kMs = 1000000;

TEST(UpdateFps, SmoothsWholeMillisecondIntervals)
{
    CameraProbe cam;
    const int64_t t0 = 1700000000000000000;
    cam.setLastFrameTime(t0);
    EXPECT_FLOAT_EQ(cam.updateFpsAt(t0 + 50 * kMs + kMs / 2), 20.0f);  // 50.5 ms counts as 50
    EXPECT_FLOAT_EQ(cam.frameInterval(), 50.0f);
    const float second = cam.updateFpsAt(t0 + 90 * kMs + kMs / 2);
    EXPECT_FLOAT_EQ(second, 1000.0f / (40 * 0.1f + 0.9f * 50));
    EXPECT_NEAR(second, 20.41f, 0.01f);
    // From the second blend on, a new interval weighs 1/30.
    const float interval = cam.frameInterval();
    const float expected = 1000.0f / (30 * (1.0f / 30.0f) + (1.0f - 1.0f / 30.0f) * interval);
    EXPECT_FLOAT_EQ(cam.updateFpsAt(t0 + 120 * kMs + kMs / 2), expected);
}

TEST(UpdateFps, FirstIntervalOfZeroThenRecovers)
{
    CameraProbe cam;
    cam.setLastFrameTime(0);
    EXPECT_TRUE(std::isinf(cam.updateFpsAt(0)));
    EXPECT_FLOAT_EQ(cam.updateFpsAt(100 * kMs), 1000.0f / 10.0f);
}

// measured fps, configured rate, rate expected to be set (0: none)
using AdjustCase = std::tuple<float, int, int>;

class AdjustFrameRate : public ::testing::TestWithParam<AdjustCase> {};

TEST_P(AdjustFrameRate, LowersTowardsTheMeasuredRate)
{
    const auto& [measured, configured, expected] = GetParam();
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    cam.dev->rate_limit = configured;
    cam.setFps(measured);
    cam.adjustFrameRate();
    EXPECT_EQ(cam.dev->rate_sets.load(), expected ? 1 : 0);
    if (expected) {
        EXPECT_EQ(cam.dev->last_rate.load(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, AdjustFrameRate,
    ::testing::Values(AdjustCase{20.7f, 30, 20}, AdjustCase{28.0f, 30, 0}, AdjustCase{26.9f, 30, 26},
                      AdjustCase{9.0f, 10, 0}, AdjustCase{8.9f, 10, 8}, AdjustCase{5.5f, 7, 5},
                      AdjustCase{0.4f, 30, 1}, AdjustCase{std::numeric_limits<float>::infinity(), 30, 1},
                      AdjustCase{std::numeric_limits<float>::quiet_NaN(), 30, 1},
                      AdjustCase{45.0f, 30, 0}  // never raised above the device's limit
                      ));

TEST(AutoFrameRate, CaptureThreadLowersTheRateAfterThreeSeconds)
{
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    cam.dev->rate_limit = 30;
    cam.sens->period_us = 50000;  // about 20 frames per second
    ASSERT_EQ(cam.start(RAW), 0);
    std::this_thread::sleep_for(2700ms);
    EXPECT_EQ(cam.dev->rate_sets.load(), 0);
    std::this_thread::sleep_for(900ms);
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.dev->rate_sets.load(), 1);
    EXPECT_GE(cam.dev->last_rate.load(), 15);
    EXPECT_LE(cam.dev->last_rate.load(), 20);
}

TEST(AutoFrameRate, OffMeansNoAdjustment)
{
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    ASSERT_EQ(cam.setControl(AUTO_FRAME_RATE, 0), 0);
    cam.sens->period_us = 50000;
    ASSERT_EQ(cam.start(RAW), 0);
    std::this_thread::sleep_for(3300ms);
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.dev->rate_sets.load(), 0);
}

}  // namespace
}  // namespace camtest
