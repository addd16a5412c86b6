// Opening the CSI sensor on the ready-made boards, and the media set-up it runs: buffer
// type and sub-devices by board, the I2C bus from entity or device name, the messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/media.h>
#include <linux/v4l2-subdev.h>
#include <linux/videodev2.h>

#include <cstring>
#include <string>
#include <vector>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "sensor/csi/csi_sensor.hpp"
#include "sys/sys.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

CameraInfo cameraRecord(uint32_t index)
{
    CameraInfo info{};
    info.index = index;
    info.connect = CSI;
    info.device_type = HQVGA;
    info.type = DEPTH;
    return info;
}

struct OpenCase {
    const char* name;
    Platform platform;
    uint32_t width;
    uint32_t height;
    uint32_t buffer_type;
    int subdevs;
    int subdev_index;
    const char* bus_name;  // as recorded from the entity or device name ("" when none)
};

class OpenOnBoard : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenOnBoard, FindsTheSubdevsAndTheBus)
{
    // Streaming after open is covered through the camera on every board.
    const OpenCase& c = GetParam();
    BoardNodes board = FakeBoard::make(c.platform).sensor(c.width, c.height).build();
    TelmoraTOFCSISensor sensor(c.platform, board.video_path.c_str());
    CameraInfo info = cameraRecord(0);
    CaptureStderr();
    ASSERT_EQ(sensor.open(info), 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.device_type, HQVGA);  // the caller's fields are kept
    EXPECT_EQ(std::memcmp(&info, &sensor.info, sizeof info), 0);
    EXPECT_EQ(sensor.buffer_type, c.buffer_type);
    EXPECT_EQ(sensor.subdev_count, c.subdevs);
    EXPECT_EQ(sensor.subdev_index, c.subdev_index);
    EXPECT_STREQ(sensor.i2c_bus_name, c.bus_name);
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor.i2c_fd), "/dev/i2c-" + std::to_string(board.i2c_bus));
    EXPECT_EQ(board.video->selectedInput(), c.platform == PLATFORM_RADXA_ROCK ? -1 : 0);
    const std::string current = c.subdevs > 0 ? "/dev/v4l-subdev1" : "";
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor.subdev_fds[sensor.subdev_index]), current);
    sensor.close();
}

INSTANTIATE_TEST_SUITE_P(
    Boards, OpenOnBoard,
    testing::Values(OpenCase{"RaspberryPi", PLATFORM_RASPBERRY_PI, 240, 180, 1, 1, 0, "10"},
                    OpenCase{"RaspberryPi5Vga", PLATFORM_RASPBERRY_PI_5, 640, 480, 1, 2, 1, "10"},
                    OpenCase{"RadxaRockQvga", PLATFORM_RADXA_ROCK, 320, 240, 9, 2, 1, "4"},
                    OpenCase{"JetsonNano", PLATFORM_JETSON_NANO, 240, 180, 1, 0, 0, "6"},
                    OpenCase{"JetsonVga", PLATFORM_JETSON, 640, 480, 1, 0, 0, "30"},
                    OpenCase{"Unknown", PLATFORM_UNKNOWN, 240, 180, 1, 0, 0, ""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Open, AdaptersListedInProcfsWork)
{
    FakeBoard::make(PLATFORM_UNKNOWN).procBusI2c(true).build();
    FakeKernel::instance().remove("/sys/class/i2c-dev");
    TelmoraTOFCSISensor sensor(PLATFORM_UNKNOWN, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), 0);
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor.i2c_fd), "/dev/i2c-2");
    sensor.close();
}

// Bus names given as numbers, on a board that names no bus itself.
struct BusCase {
    const char* name;
    const char* bus_name;
    int result;
    const char* adapter;  // the node opened, or null
    const char* message;
};

class BusNumber : public testing::TestWithParam<BusCase> {};

TEST_P(BusNumber, OpensTheBusItNames)
{
    const BusCase& c = GetParam();
    FakeBoard::make(PLATFORM_UNKNOWN).build();
    FakeKernel::instance().file("/sys/class/i2c-dev/i2c-2/name", "smbus-2\n");  // no unnamed adapter
    for (int bus : {10, 31, 15})
        FakeKernel::instance().charDevice("/dev/i2c-" + std::to_string(bus), 89, bus, std::make_shared<sim::I2cAdapter>());
    TelmoraTOFCSISensor sensor(PLATFORM_UNKNOWN, "/dev/video0");
    std::strcpy(sensor.i2c_bus_name, c.bus_name);
    CameraInfo info = cameraRecord(0);
    CaptureStderr();
    EXPECT_EQ(sensor.open(info), c.result);
    EXPECT_EQ(GetCapturedStderr(), c.message);
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor.i2c_fd), c.adapter ? c.adapter : "");
    sensor.close();
}

INSTANTIATE_TEST_SUITE_P(
    Names, BusNumber,
    testing::Values(BusCase{"Decimal", "10", 0, "/dev/i2c-10", ""},
                    BusCase{"Hexadecimal", "0x1f", 0, "/dev/i2c-31", ""},
                    BusCase{"Octal", "017", 0, "/dev/i2c-15", ""},
                    BusCase{"OutOfRange", "1048576", -2, nullptr, "Error: I2C bus out of range!\n"},
                    BusCase{"LargestAccepted", "1048575", -2, nullptr,
                            "Error: Could not open file `/dev/i2c-1048575': No such file or directory\n"},
                    BusCase{"EmptyMatchesNoName", "", -2, nullptr,
                            "Error: I2C bus name doesn't match any bus present!\n"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Open, TwoAdaptersOfTheNameAreRefused)
{
    FakeBoard::make(PLATFORM_UNKNOWN).build();
    FakeKernel::instance().file("/sys/class/i2c-dev/i2c-1/name", "rk3x-i2c\n").file("/sys/class/i2c-dev/i2c-2/name",
                                                                                    "rk3x-i2c\n");
    TelmoraTOFCSISensor sensor(PLATFORM_UNKNOWN, "/dev/video0");
    std::strcpy(sensor.i2c_bus_name, "rk3x-i2c");
    CameraInfo info = cameraRecord(0);
    CaptureStderr();
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(GetCapturedStderr(), "Error: I2C bus name is not unique!\n");
    sensor.close();
}

TEST(Open, MultiPlanarOnlyNodeOnAPiIsUsedSinglePlanar)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    board.video->setCapabilities(V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_STREAMING);
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), 0);
    EXPECT_EQ(sensor.buffer_type, 1u);
    sensor.close();
}

TEST(Open, RadxaInputIsNotSelected)
{
    FakeBoard::make(PLATFORM_RADXA_ROCK).build();
    TelmoraTOFCSISensor sensor(PLATFORM_RADXA_ROCK, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), 0);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_S_INPUT), 0);
    sensor.close();
}

struct CapsCase {
    const char* name;
    uint32_t caps;
};

class Capabilities : public testing::TestWithParam<CapsCase> {};

TEST_P(Capabilities, NodeThatCannotStreamCapturesFailsBeforeAnyBoardStep)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    board.video->setCapabilities(GetParam().caps);
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(MEDIA_IOC_ENUM_ENTITIES), 0);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_S_INPUT), 0);
    EXPECT_EQ(sensor.subdev_count, 0);
    sensor.close();
}

INSTANTIATE_TEST_SUITE_P(Caps, Capabilities,
                         testing::Values(CapsCase{"NoStreaming", V4L2_CAP_VIDEO_CAPTURE},
                                         CapsCase{"NoCapture", V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Open, CapabilityQueryIsRetriedAfterInterrupts)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    FakeKernel::instance().failIoctl(VIDIOC_QUERYCAP, EINTR, 4);
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), 0);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_QUERYCAP), 5);
    sensor.close();
}

TEST(Open, FailedCapabilityQueryReportsInsteadOfExiting)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    FakeKernel::instance().failIoctl(VIDIOC_QUERYCAP, EINTR, 5);
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    CaptureStderr();
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(GetCapturedStderr(), "VIDIOC_QUERYCAP: error - 4\n");
    sensor.close();
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
}

TEST(Open, MissingNodeFails)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video3");
    CameraInfo info = cameraRecord(3);
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(info.width, 0u);
}

TEST(Open, FailedSizeReadStillSetsTheSampleFormat)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    FakeKernel::instance().failIoctl(VIDIOC_SUBDEV_G_FMT, EIO, 1);
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    info.width = 7;
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(info.width, 7u);
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    EXPECT_EQ(sensor.info.bpp, 2u);
    sensor.close();
}

TEST(Open, AdapterWithoutPlainTransfersIsRefused)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    FakeKernel::instance().charDevice("/dev/i2c-10", 89, 10, std::make_shared<sim::I2cAdapter>(sim::I2cAdapter::kSmbusByteWord));
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    CaptureStderr();
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(GetCapturedStderr(), "Error: Adapter does not have I2C transfers capability\n");
    sensor.close();
}

struct JetsonNameCase {
    const char* name;
    const char* device_name;
    int result;
    const char* bus_name;
};

class JetsonDeviceName : public testing::TestWithParam<JetsonNameCase> {};

TEST_P(JetsonDeviceName, GivesTheBusNumber)
{
    const JetsonNameCase& c = GetParam();
    FakeBoard::make(PLATFORM_JETSON).build();
    FakeKernel::instance().file("/sys/devices/platform/camera-csi/video4linux/video0/name", c.device_name);
    FakeKernel::instance().charDevice("/dev/i2c-12", 89, 12, std::make_shared<sim::I2cAdapter>());
    TelmoraTOFCSISensor sensor(PLATFORM_JETSON, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(sensor.open(info), c.result);
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(sensor.i2c_bus_name, c.bus_name);
    sensor.close();
}

INSTANTIATE_TEST_SUITE_P(
    Names, JetsonDeviceName,
    testing::Values(JetsonNameCase{"BusAfterTheBlank", "vi-output, telmora-quelvanta 12-000c\n", 0, "12"},
                    JetsonNameCase{"EightDigitsKeepSeven", "telmora-quelvanta 12345678\n", -2, "1234567"},
                    JetsonNameCase{"NoSensorName", "vi-output, imx219 12-0010\n", -2, ""},
                    JetsonNameCase{"NoBlank", "vi-output,telmora-quelvanta\n", -2, ""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Open, JetsonWithoutDeviceNameFails)
{
    FakeBoard::make(PLATFORM_JETSON_NANO).build();
    FakeKernel::instance().remove("/sys/devices/platform/camera-csi/video4linux/video0/name");
    TelmoraTOFCSISensor sensor(PLATFORM_JETSON_NANO, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_S_INPUT), 0);
    sensor.close();
}

}  // namespace

namespace {

TEST(Close, SecondCloseLeavesOtherDescriptorsAlone)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI_5).build();
    TelmoraTOFCSISensor sensor(PLATFORM_RASPBERRY_PI_5, "/dev/video0");
    CameraInfo info = cameraRecord(0);
    ASSERT_EQ(sensor.open(info), 0);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 4);  // node, receiver, sensor, bus
    EXPECT_EQ(sensor.close(), 0);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
    EXPECT_EQ(sensor.fd, -1);
    EXPECT_EQ(sensor.i2c_fd, -1);
    EXPECT_EQ(sensor.subdev_count, 0);
    const int other = sys::open("/dev/video0", O_RDWR);
    EXPECT_EQ(sensor.close(), 0);
    EXPECT_EQ(FakeKernel::instance().pathOf(other), "/dev/video0");
    sys::close(other);
}

}  // namespace
