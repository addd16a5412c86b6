// The camera over the software USB camera: opening, the device chosen by sensor size, and
// streaming checked by capture timestamps (milliseconds; a capture is stamped with its last
// image). Timing tests run the camera paced at 10 captures per second, which leaves the
// host ample time per capture even in sanitizer builds.
#include <cmath>
#include <fstream>
#include <set>
#include <string>

#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

constexpr double kPeriodMs = 100.0;
const char* const kPaced = "fps 10\n";

std::string writeConfig(const std::string& name, const std::string& text)
{
    std::ofstream(name) << text;
    return name;
}

// Capture number of a timestamp, counted from a first one.
int captureOf(uint64_t ts, uint64_t first) { return static_cast<int>(std::lround((ts - first) / kPeriodMs)); }

TEST(UsbCamera, OpensTheDefaultCameraWithTheHqvgaDevice)
{
    CameraProbe cam;
    ASSERT_EQ(cam.open(USB, 3), 0);
    const CameraInfo info = cam.getCameraInfo();
    EXPECT_EQ(info.connect, USB);
    EXPECT_EQ(info.index, 3u);
    EXPECT_EQ(info.device_type, HQVGA);
    EXPECT_EQ(info.width, 240u);
    EXPECT_EQ(info.height, 180u);
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    ASSERT_NE(cam.currentDevice(), nullptr);
    EXPECT_EQ(cam.currentDevice()->sensor->frame_count, 4);
    TelmoraDevice* first = cam.currentDevice();
    ASSERT_EQ(cam.open(USB, 4), 0);  // replaces sensor and device
    EXPECT_NE(cam.currentDevice(), nullptr);
    EXPECT_EQ(cam.getCameraInfo().index, 4u);
    (void)first;
    EXPECT_EQ(cam.close(), 0);
}

TEST(UsbCamera, PortraitSensorGetsTheVgaDeviceAndAMismatchedRawFrameIsRefused)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(writeConfig("portrait.cfg", "width 180\nheight 240\n").c_str(), 1), 0);
    EXPECT_EQ(cam.getCameraInfo().device_type, VGA);
    EXPECT_EQ(cam.getCameraInfo().connect, USB);
    EXPECT_EQ(cam.currentDevice()->sensor->frame_count, 1);
    // The USB sensor cannot take the raw height the VGA device asks for, so its captures
    // are far smaller than the device's raw frame.
    EXPECT_EQ(cam.start(DEPTH), -1);
    EXPECT_FALSE(cam.streaming());
    EXPECT_EQ(cam.close(), 0);
}

TEST(UsbCamera, DepthOfAFlatWallComesThrough)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(
                  writeConfig("wall.cfg", "fps 0\nscene flat_wall\nwall_mm 1500\nnoise 0\n").c_str(), 0),
              0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* f = cam.requestFrame(2000);
    ASSERT_NE(f, nullptr);
    const float* depth = static_cast<float*>(f->getData(DEPTH));
    EXPECT_NEAR(depth[0], 1500.0f, 2.0f);
    EXPECT_NEAR(depth[240 * 90 + 120], 1500.0f, 2.0f);
    EXPECT_EQ(cam.releaseFrame(f), 0);
    EXPECT_EQ(cam.close(), 0);
}

TEST(UsbCamera, LateCallerGetsTheOldestReadyFramesInOrder)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(writeConfig("paced.cfg", kPaced).c_str(), 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    const auto t0 = std::chrono::steady_clock::now();
    // Whether or not the first paced capture is there yet, a zero time-out never waits.
    if (TelmoraFrameBuffer* early = cam.requestFrame(0)) {
        EXPECT_EQ(cam.releaseFrame(early), 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms);  // the bound only absorbs preemption
    std::this_thread::sleep_for(650ms);
    TelmoraFrameBuffer* a = cam.requestFrame(0);
    TelmoraFrameBuffer* b = cam.requestFrame(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const uint64_t ta = stampOf(a);
    const uint64_t tb = stampOf(b);
    EXPECT_GE(ta, 300u);  // not one of the first captures: those were overwritten
    // Oldest first. Consecutive unless the thread, preempted between the two requests,
    // overwrote the older of the two remaining ready frames in the meantime.
    EXPECT_GE(captureOf(tb, ta), 1);
    EXPECT_LE(captureOf(tb, ta), 2);
    EXPECT_EQ(cam.releaseFrame(a), 0);
    EXPECT_EQ(cam.releaseFrame(b), 0);
    TelmoraFrameBuffer* c = cam.requestFrame(-1);
    ASSERT_NE(c, nullptr);
    EXPECT_GT(stampOf(c), tb);
    EXPECT_EQ(cam.releaseFrame(c), 0);
    EXPECT_EQ(cam.close(), 0);
}

// Delivered captures, numbered from the first delivered one.
std::set<int> deliveredCaptures(CameraProbe& cam, int count)
{
    std::set<int> seen;
    uint64_t first = 0;
    for (int i = 0; i < count; ++i) {
        TelmoraFrameBuffer* f = cam.requestFrame(1000);
        if (!f) break;
        const uint64_t ts = stampOf(f);
        if (i == 0) first = ts;
        seen.insert(captureOf(ts, first));
        cam.releaseFrame(f);
    }
    return seen;
}

TEST(UsbCamera, SkipTwoOfFiveByTimestamps)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(writeConfig("paced.cfg", kPaced).c_str(), 0), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 5), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, 2), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    // D X D D X from the first capture of a fresh camera.
    EXPECT_EQ(deliveredCaptures(cam, 9), (std::set<int>{0, 2, 3, 5, 7, 8, 10, 12, 13}));
    EXPECT_EQ(cam.close(), 0);
}

TEST(UsbCamera, ACaptureThatFailsIsDroppedAndTheNextDelivered)
{
    CameraProbe cam;
    // Image call 5 (the first image of capture 1) arrives with the wrong size.
    ASSERT_EQ(cam.openWithFile(writeConfig("fault.cfg", std::string(kPaced) + "wrong_size_at 5\n").c_str(), 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    EXPECT_EQ(deliveredCaptures(cam, 4), (std::set<int>{0, 2, 3, 4}));
    EXPECT_EQ(cam.close(), 0);
}

TEST(UsbCamera, SkipEverythingDeliversNothing)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(writeConfig("fast.cfg", "fps 0\n").c_str(), 0), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 2), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, 2), 0);
    ASSERT_EQ(cam.start(RAW), 0);
    EXPECT_EQ(cam.requestFrame(300), nullptr);
    EXPECT_EQ(cam.close(), 0);
}

}  // namespace
}  // namespace camtest
