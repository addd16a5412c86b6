// Faults under a streaming camera: EINTR storms on every ioctl the CSI back-end makes, a
// capture node that disappears or stops delivering mid-stream, and a software camera whose
// captures all fail. Whatever happens, stop and close finish within 3 s, nothing stays
// open or mapped in the kernel, and the camera opens and streams again afterwards.
#include <linux/i2c-dev.h>
#include <linux/media.h>
#include <linux/v4l2-subdev.h>
#include <linux/videodev2.h>

#include <cerrno>

#include "board.hpp"
#include "camera/scripted_parts.hpp"
#include "soak/soak_support.hpp"

namespace {

using namespace camtest;
using Telmora::sim::BoardNodes;
using Telmora::sim::FakeBoard;
using Telmora::sim::FakeKernel;

constexpr double kBoundS = 3.0;
constexpr int kStorm = 1 << 30;  // calls that fail: the storm lasts until cleared

// Stops (when streaming) and closes within the bound; nothing of the camera stays open.
void stopAndClose(CameraProbe& cam)
{
    if (cam.streaming()) {
        EXPECT_LT(soak::secondsOf([&] { cam.stop(); }), kBoundS) << "stop";
    }
    EXPECT_LT(soak::secondsOf([&] { cam.close(); }), kBoundS) << "close";
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
}

// The camera opens, starts and delivers one frame.
void startsAndDeliversAFrame(CameraProbe& cam)
{
    ASSERT_EQ(cam.open(CSI, 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* f = cam.requestFrame(3000);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(cam.releaseFrame(f), 0);
}

// The camera opens again and delivers frames.
void opensAndStreamsAgain(CameraProbe& cam)
{
    ASSERT_EQ(cam.open(CSI, 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    for (int i = 0; i < 3; ++i) {
        TelmoraFrameBuffer* f = cam.requestFrame(3000);
        ASSERT_NE(f, nullptr) << "frame " << i;
        EXPECT_EQ(cam.releaseFrame(f), 0);
    }
    stopAndClose(cam);
}

struct Storm {
    const char* name;
    unsigned long request;
    Platform board;
};

class EintrStorm : public ::testing::TestWithParam<Storm> {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }
    void storm(int count) { FakeKernel::instance().failIoctl(GetParam().request, EINTR, count); }
};

TEST_P(EintrStorm, DuringOpenAndStart)
{
    FakeBoard::make(GetParam().board).sensor(240, 180).build();
    CameraProbe cam;
    storm(kStorm);
    if (cam.open(CSI, 0) == 0 && cam.start(DEPTH) == 0) {
        TelmoraFrameBuffer* f = cam.requestFrame(300);
        if (f != nullptr) {
            EXPECT_EQ(cam.releaseFrame(f), 0);
        }
    }
    stopAndClose(cam);
    storm(0);
    opensAndStreamsAgain(cam);
}

TEST_P(EintrStorm, WhileStreamingAndStopping)
{
    FakeBoard::make(GetParam().board).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_EQ(cam.open(CSI, 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* first = cam.requestFrame(3000);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cam.releaseFrame(first), 0);
    storm(kStorm);
    cam.setControl(FRAME_RATE, 10);
    int value = 0;
    cam.getControl(FRAME_RATE, &value);
    TelmoraFrameBuffer* f = cam.requestFrame(300);
    if (f != nullptr) {
        EXPECT_EQ(cam.releaseFrame(f), 0);
    }
    stopAndClose(cam);
    storm(0);
    opensAndStreamsAgain(cam);
}

TEST_P(EintrStorm, ShortBurstsWithinTheRetryBudgetLoseNoFrames)
{
    // Four interruptions in a row, again and again: a retried call still succeeds.
    FakeBoard::make(GetParam().board).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_EQ(cam.open(CSI, 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    int delivered = 0;
    for (int i = 0; i < 5; ++i) {
        storm(4);
        TelmoraFrameBuffer* f = cam.requestFrame(3000);
        if (f == nullptr) continue;
        ++delivered;
        EXPECT_EQ(cam.releaseFrame(f), 0);
    }
    EXPECT_EQ(delivered, 5);
    stopAndClose(cam);
}

const Storm kStorms[] = {
    {"QUERYCAP", VIDIOC_QUERYCAP, PLATFORM_RASPBERRY_PI_5},
    {"S_INPUT", VIDIOC_S_INPUT, PLATFORM_RASPBERRY_PI_5},
    {"TRY_FMT", VIDIOC_TRY_FMT, PLATFORM_RASPBERRY_PI_5},
    {"S_FMT", VIDIOC_S_FMT, PLATFORM_RASPBERRY_PI_5},
    {"G_FMT", VIDIOC_G_FMT, PLATFORM_JETSON_NANO},
    {"SUBDEV_S_FMT", VIDIOC_SUBDEV_S_FMT, PLATFORM_RASPBERRY_PI_5},
    {"SUBDEV_G_FMT", VIDIOC_SUBDEV_G_FMT, PLATFORM_RASPBERRY_PI_5},
    {"REQBUFS", VIDIOC_REQBUFS, PLATFORM_RASPBERRY_PI_5},
    {"QUERYBUF", VIDIOC_QUERYBUF, PLATFORM_RASPBERRY_PI_5},
    {"QBUF", VIDIOC_QBUF, PLATFORM_RASPBERRY_PI_5},
    {"DQBUF", VIDIOC_DQBUF, PLATFORM_RASPBERRY_PI_5},
    {"STREAMON", VIDIOC_STREAMON, PLATFORM_RASPBERRY_PI_5},
    {"STREAMOFF", VIDIOC_STREAMOFF, PLATFORM_RASPBERRY_PI_5},
    {"S_CTRL", VIDIOC_S_CTRL, PLATFORM_RASPBERRY_PI_5},
    {"G_CTRL", VIDIOC_G_CTRL, PLATFORM_RASPBERRY_PI_5},
    {"ENUM_ENTITIES", MEDIA_IOC_ENUM_ENTITIES, PLATFORM_RASPBERRY_PI_5},
    {"SETUP_LINK", MEDIA_IOC_SETUP_LINK, PLATFORM_RASPBERRY_PI_5},
    {"I2C_FUNCS", I2C_FUNCS, PLATFORM_RASPBERRY_PI_5},
    {"I2C_RDWR", I2C_RDWR, PLATFORM_JETSON_NANO},
    {"DQBUF_multiplanar", VIDIOC_DQBUF, PLATFORM_RADXA_ROCK},
};

INSTANTIATE_TEST_SUITE_P(Ioctls, EintrStorm, ::testing::ValuesIn(kStorms),
                         [](const ::testing::TestParamInfo<Storm>& i) { return std::string(i.param.name); });

class DeviceFault : public ::testing::Test {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_F(DeviceFault, CaptureNodeDisappearsMidStream)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI_5).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_NO_FATAL_FAILURE(startsAndDeliversAFrame(cam));
    board.video->disconnect();  // every dequeue now fails with ENODEV
    cam.requestFrame(300);
    stopAndClose(cam);
    FakeBoard::make(PLATFORM_RASPBERRY_PI_5).sensor(240, 180).build();  // plugged in again
    opensAndStreamsAgain(cam);
}

TEST_F(DeviceFault, DisconnectedDeviceDoesNotSpinTheCaptureThread)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_NO_FATAL_FAILURE(startsAndDeliversAFrame(cam));
    board.video->disconnect();  // every wait now ends at once with an error
    const int before = FakeKernel::instance().pollCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int attempts = FakeKernel::instance().pollCalls() - before;
    // A thread retrying without a pause makes hundreds of thousands of attempts here.
    EXPECT_LT(attempts, 1000);
    EXPECT_GT(attempts, 0);
    stopAndClose(cam);
}

TEST_F(DeviceFault, DequeueThatNeverReturnsAndASensorThatStopsDelivering)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).sensor(240, 180).build();
    CameraProbe cam;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(cam.open(CSI, 0), 0);
        ASSERT_EQ(cam.start(DEPTH), 0);
        TelmoraFrameBuffer* f = cam.requestFrame(3000);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(cam.releaseFrame(f), 0);
        board.video->stopDelivering(true);  // a dequeue would block, readiness never comes
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * round));
        // What was ready before the stall may still come; then the frames dry up.
        int after_stall = 0;
        while (TelmoraFrameBuffer* late = cam.requestFrame(300)) {
            EXPECT_EQ(cam.releaseFrame(late), 0);
            if (++after_stall > 4) break;
        }
        EXPECT_LE(after_stall, 4);
        stopAndClose(cam);
        board.video->stopDelivering(false);
    }
    opensAndStreamsAgain(cam);
}

TEST_F(DeviceFault, SoftwareCameraWhoseCapturesAllFail)
{
    CameraProbe cam;
    ASSERT_EQ(cam.openWithFile(soak::writeFile("failing.cfg", "fps 0\ncapture_fails_every 1\n").c_str(), 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    EXPECT_EQ(cam.requestFrame(300), nullptr);
    EXPECT_LT(soak::secondsOf([&] { EXPECT_EQ(cam.stop(), 0); }), kBoundS);
    EXPECT_LT(soak::secondsOf([&] { cam.close(); }), kBoundS);
    ASSERT_EQ(cam.openWithFile(soak::writeFile("working.cfg", "fps 0\n").c_str(), 0), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* f = cam.requestFrame(3000);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(cam.releaseFrame(f), 0);
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.close(), 0);
}

}  // namespace
