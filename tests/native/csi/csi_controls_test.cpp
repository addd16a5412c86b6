// Controls: sensor sub-device controls, capture size, the frame-rate write over I2C, and
// the one ioctl wrapper's retry rule.
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>

#include "board.hpp"
#include "csi_fixture.hpp"
#include "fake_kernel.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"
#include "sys/sys.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

struct RetryCase {
    const char* name;
    int err;
    int failures;
    int result;
    int attempts;
};

class RetryRule : public testing::TestWithParam<RetryCase> {};

TEST_P(RetryRule, RepeatsOnlyTransientFailuresUpToFiveTimes)
{
    const RetryCase& c = GetParam();
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    int fd = sys::open("/dev/video0", 2);
    FakeKernel::instance().failIoctl(VIDIOC_QUERYCAP, c.err, c.failures);
    v4l2_capability cap{};
    EXPECT_EQ(v4l2Ioctl(fd, VIDIOC_QUERYCAP, &cap), c.result);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_QUERYCAP), c.attempts);
    if (c.result != 0) {
        EXPECT_EQ(errno, c.err);
    }
    sys::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Errors, RetryRule,
                         testing::Values(RetryCase{"FourInterruptsThenSuccess", EINTR, 4, 0, 5},
                                         RetryCase{"FiveInterruptsFail", EINTR, 5, -1, 5},
                                         RetryCase{"AgainIsRepeated", EAGAIN, 2, 0, 3},
                                         RetryCase{"TimeoutIsRepeated", ETIMEDOUT, 5, -1, 5},
                                         RetryCase{"BadDescriptorFailsAtOnce", EBADF, 1, -1, 1},
                                         RetryCase{"IoErrorFailsAtOnce", EIO, 3, -1, 1}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(RetryRule, NegativeDescriptorMakesNoCall)
{
    FakeKernel::instance().reset();
    v4l2_capability cap{};
    EXPECT_EQ(v4l2Ioctl(-1, VIDIOC_QUERYCAP, &cap), -1);
    EXPECT_EQ(FakeKernel::instance().totalIoctlCalls(), 0);
}

class Controls : public testing::Test {
protected:
    void SetUp() override
    {
        board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
        sensor = csitest::sensorAsOpened(board);
    }
    void TearDown() override { sensor->close(); }

    BoardNodes board;
    std::unique_ptr<TelmoraTOFCSISensor> sensor;
};

TEST_F(Controls, RangeOtherThanTwoOrFourIsRefusedWithoutACall)
{
    const int before = FakeKernel::instance().totalIoctlCalls();
    EXPECT_EQ(sensor->setControl(RANGE, 3), 1);
    EXPECT_EQ(FakeKernel::instance().totalIoctlCalls(), before);
}

TEST_F(Controls, RangeSelectsTheSensorMode)
{
    int32_t value = 0;
    EXPECT_EQ(sensor->setControl(RANGE, 4), 0);
    EXPECT_EQ(board.sensor_subdev->rangeControl(), 0);
    EXPECT_EQ(sensor->getControl(RANGE, &value), 0);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(sensor->setControl(RANGE, 2), 0);
    EXPECT_EQ(board.sensor_subdev->rangeControl(), 1);
    EXPECT_EQ(sensor->getControl(RANGE, &value), 0);
    EXPECT_EQ(value, 2);
}

TEST_F(Controls, ExposureGoesToTheSensorSubdev)
{
    int32_t value = 0;
    EXPECT_EQ(sensor->setControl(EXPOSURE, 731), 0);
    EXPECT_EQ(board.sensor_subdev->exposure(), 731);
    EXPECT_EQ(sensor->getControl(EXPOSURE, &value), 0);
    EXPECT_EQ(value, 731);
}

TEST_F(Controls, FailedControlPrintsTheSystemError)
{
    FakeKernel::instance().failIoctl(VIDIOC_S_CTRL, EIO, 1).failIoctl(VIDIOC_G_CTRL, EPERM, 1);
    int32_t value = 55;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sensor->setControl(EXPOSURE, 9), -1);
    EXPECT_EQ(sensor->getControl(RANGE, &value), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "VIDIOC_S_CTRL: Input/output error\nVIDIOC_G_CTRL: Operation not permitted\n");
    EXPECT_EQ(value, 55);
}

TEST_F(Controls, FrameRateIsWrittenToTheController)
{
    EXPECT_EQ(sensor->setControl(FRAME_RATE, 30), 0);
    ASSERT_EQ(board.i2c->messages().size(), 1u);
    EXPECT_EQ(board.i2c->messages()[0].addr, 0x0C);
    EXPECT_EQ(board.i2c->messages()[0].flags, 0);
    EXPECT_EQ(board.i2c->messages()[0].data, (std::vector<uint8_t>{0x06, 0x33, 0x00, 0x00, 0x00, 0x1E}));
}

TEST_F(Controls, FrameRateIsKeptWhenTheWriteFails)
{
    int32_t value = -1;
    EXPECT_EQ(sensor->getControl(FRAME_RATE, &value), 0);
    EXPECT_EQ(value, 0);  // defined before any set
    board.i2c->failTransfers(EIO);
    EXPECT_EQ(sensor->setControl(FRAME_RATE, 30), -2);
    EXPECT_EQ(sensor->getControl(FRAME_RATE, &value), 0);
    EXPECT_EQ(value, 30);
}

TEST_F(Controls, SizeSetBeforeStartIsReported)
{
    EXPECT_EQ(sensor->setControl(FMT_WIDTH, 640), 0);
    EXPECT_EQ(sensor->setControl(FMT_HEIGHT, 2405), 0);
    EXPECT_EQ(sensor->getCameraInfo().width, 640u);
    EXPECT_EQ(sensor->getCameraInfo().height, 2405u);
}

TEST_F(Controls, ModesAndUnknownControlsAreNotHandled)
{
    int32_t value = 12;
    for (CameraCtrl c : {MODE, FRAME_MODE, SKIP_FRAME, AUTO_FRAME_RATE, CONFIG_DIR_EXT}) {
        EXPECT_EQ(sensor->setControl(c, 1), 1) << c;
        EXPECT_EQ(sensor->getControl(c, &value), 1) << c;
    }
    EXPECT_EQ(value, 12);
}

TEST(ControlsWithoutSubdev, RangeAndExposureFailOnBoardsWithoutOne)
{
    BoardNodes board = FakeBoard::make(PLATFORM_JETSON).build();
    auto sensor = csitest::sensorAsOpened(board);
    const int before = FakeKernel::instance().totalIoctlCalls();
    int32_t value = 3;
    EXPECT_EQ(sensor->setControl(RANGE, 2), -1);
    EXPECT_EQ(sensor->getControl(RANGE, &value), -1);
    EXPECT_EQ(sensor->setControl(EXPOSURE, 100), -1);
    EXPECT_EQ(sensor->getControl(EXPOSURE, &value), -1);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(FakeKernel::instance().totalIoctlCalls(), before);
    sensor->close();
}

}  // namespace
