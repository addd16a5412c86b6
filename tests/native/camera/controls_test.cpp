// Controls held by the camera, the frame-rate limit, and forwarding to the device.
#include <tuple>

#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

static_assert(CONFIG_DIR_EXT == 256, "control ids are not contiguous");

class Controls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(cam.attach(), 0); }
    CameraProbe cam;
};

TEST_F(Controls, FrameRateIsCheckedAgainstTheDeviceLimit)
{
    cam.dev->rate_limit = 30;
    EXPECT_EQ(cam.setControl(FRAME_RATE, 0), 1);
    EXPECT_EQ(cam.setControl(FRAME_RATE, -5), 1);
    EXPECT_EQ(cam.setControl(FRAME_RATE, 31), 1);
    EXPECT_EQ(cam.dev->rate_sets.load(), 0);
    EXPECT_EQ(cam.setControl(FRAME_RATE, 30), 0);
    EXPECT_EQ(cam.setControl(FRAME_RATE, 1), 0);
    EXPECT_EQ(cam.dev->rate_sets.load(), 2);
    EXPECT_EQ(cam.dev->last_rate.load(), 1);
}

TEST_F(Controls, FailureToReadTheLimitIsPassedUp)
{
    cam.dev->rate_result = -2;
    EXPECT_EQ(cam.setControl(FRAME_RATE, 10), -2);
    EXPECT_EQ(cam.dev->rate_sets.load(), 0);
}

TEST_F(Controls, AutoFrameRateIsHeldByTheCamera)
{
    int v = -1;
    EXPECT_EQ(cam.getControl(AUTO_FRAME_RATE, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(cam.setControl(AUTO_FRAME_RATE, 0), 0);
    EXPECT_EQ(cam.getControl(AUTO_FRAME_RATE, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(cam.setControl(AUTO_FRAME_RATE, 7), 0);
    EXPECT_EQ(cam.getControl(AUTO_FRAME_RATE, &v), 0);
    EXPECT_EQ(v, 1);
}

TEST(ControlsFresh, AutoFrameRateReadsOneOnAFreshCamera)
{
    TelmoraTOFCamera cam;
    int v = -1;
    EXPECT_EQ(cam.getControl(AUTO_FRAME_RATE, &v), 0);
    EXPECT_EQ(v, 1);
}

TEST_F(Controls, SkipControlsAreStoredButReadFromTheDevice)
{
    int v = 0;
    EXPECT_EQ(cam.setControl(SKIP_FRAME_LOOP, 4), 0);
    EXPECT_EQ(cam.setControl(SKIP_FRAME, 3), 0);
    EXPECT_EQ(cam.getControl(SKIP_FRAME, &v), 0);
    EXPECT_EQ(v, 1000 + SKIP_FRAME);
    EXPECT_EQ(cam.getControl(SKIP_FRAME_LOOP, &v), 0);
    EXPECT_EQ(v, 1000 + SKIP_FRAME_LOOP);
}

// Values that would break the skip cycle are refused and the old value stays.
using SkipValue = std::tuple<CameraCtrl, int, int>;  // control, value, expected result

class SkipRange : public Controls, public ::testing::WithParamInterface<SkipValue> {};

TEST_P(SkipRange, OutOfRangeIsRefusedAndTheCycleKept)
{
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 5), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, 2), 0);
    const auto& [ctrl, value, expected] = GetParam();
    EXPECT_EQ(cam.setControl(ctrl, value), expected);
    // The delivered pattern shows which values the capture thread uses.
    cam.sens->gated = true;
    ASSERT_EQ(cam.start(DEPTH), 0);
    std::string seen;
    for (int i = 0; i < 5; ++i) {
        cam.sens->allow(1);
        ASSERT_TRUE(cam.sens->waitParked());
        TelmoraFrameBuffer* f = cam.requestFrame(0);
        seen += f ? 'D' : 'X';
        if (f) cam.releaseFrame(f);
    }
    cam.stopNow();
    if (expected == 1) {
        EXPECT_EQ(seen, "DXDDX");  // still 2 of 5
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, SkipRange,
    ::testing::Values(SkipValue{SKIP_FRAME_LOOP, 0, 1}, SkipValue{SKIP_FRAME_LOOP, -3, 1},
                      SkipValue{SKIP_FRAME_LOOP, 256, 1}, SkipValue{SKIP_FRAME_LOOP, 512, 1},
                      SkipValue{SKIP_FRAME, -1, 1}, SkipValue{SKIP_FRAME, 6, 1},
                      SkipValue{SKIP_FRAME_LOOP, 255, 0}, SkipValue{SKIP_FRAME, 5, 0}));

TEST_F(Controls, ALoopShorterThanTheSkipCountDropsEverythingWithoutBreaking)
{
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 5), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, 4), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 2), 0);
    cam.sens->gated = true;
    ASSERT_EQ(cam.start(DEPTH), 0);
    cam.sens->allow(6);
    ASSERT_TRUE(cam.sens->waitParked());
    EXPECT_EQ(cam.requestFrame(0), nullptr);
    cam.stopNow();
}

TEST_F(Controls, OtherControlsAreForwardedUnchanged)
{
    EXPECT_EQ(cam.setControl(EXPOSURE, 55), 1);
    EXPECT_EQ(cam.dev->last_set_ctrl.load(), EXPOSURE);
    EXPECT_EQ(cam.dev->last_set_value.load(), 55);
    EXPECT_EQ(cam.setControl(RANGE, 2000), 0);
    int v = 0;
    EXPECT_EQ(cam.getControl(RANGE, &v), 0);
    EXPECT_EQ(v, 2000);
    EXPECT_EQ(cam.getControl(CONFIG_DIR_EXT, &v), 0);
    EXPECT_EQ(v, 1000 + CONFIG_DIR_EXT);
    EXPECT_EQ(cam.setControlExt(CONFIG_DIR_EXT, "/tmp"), 1);
    EXPECT_EQ(cam.getControl(EXPOSURE, nullptr), 1);
    EXPECT_EQ(cam.setControlExt(CONFIG_DIR_EXT, nullptr), 1);
}

TEST_F(Controls, GetControlExtLeavesThePointerUntouched)
{
    const char* p = "unchanged";
    const char* before = p;
    EXPECT_EQ(cam.getControlExt(CONFIG_DIR_EXT, &p), 0);
    EXPECT_EQ(p, before);
}

}  // namespace
}  // namespace camtest
