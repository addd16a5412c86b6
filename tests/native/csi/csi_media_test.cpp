// Media set-up: which media node, which sub-devices in which order, the receiver link on the
// Raspberry Pi 5, and the I2C bus name taken from the sensor entity.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/media.h>

#include <cerrno>
#include <string>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "sensor/csi/csi_sensor.hpp"
#include "sys/sys.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

constexpr unsigned kSensorMinor = FakeBoard::kSubdevMinorBase + 1;
constexpr unsigned kBridgeMinor = FakeBoard::kSubdevMinorBase;

class MediaSetup : public testing::Test {
protected:
    void build(Platform p)
    {
        board = FakeBoard::make(p).build();
        sensor = std::make_unique<TelmoraTOFCSISensor>(p, "/dev/video0");
        video_fd = sys::open("/dev/video0", O_RDWR);
    }
    int run() { return sensor->findMediaDevices(video_fd); }
    // Descriptors still open besides the capture node: the sub-devices recorded, nothing else.
    int strayDescriptors() { return FakeKernel::instance().openDescriptors() - 1 - sensor->subdev_count; }
    void TearDown() override
    {
        sensor->close();
        sys::close(video_fd);
    }

    BoardNodes board;
    std::unique_ptr<TelmoraTOFCSISensor> sensor;
    int video_fd = -1;
};

struct EntityCase {
    const char* name;
    Platform platform;
    const char* entity;
    int result;
    int subdevs;
    const char* bus_name;
};

class SensorEntity : public MediaSetup, public testing::WithParamInterface<EntityCase> {};

TEST_P(SensorEntity, RecordsTheSensorAndItsBus)
{
    const EntityCase& c = GetParam();
    build(c.platform);
    board.media->addEntity(c.platform == PLATFORM_RADXA_ROCK ? 5 : 1, c.entity, 81, kSensorMinor);
    EXPECT_EQ(run(), c.result);
    EXPECT_EQ(sensor->subdev_count, c.subdevs);
    EXPECT_STREQ(sensor->i2c_bus_name, c.bus_name);
    EXPECT_EQ(strayDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SensorEntity,
    testing::Values(EntityCase{"BusTen", PLATFORM_RASPBERRY_PI, "telmora-quelvanta 10-000c", 1, 1, "10"},
                    EntityCase{"BusFour", PLATFORM_RASPBERRY_PI, "telmora-quelvanta 4-000c", 1, 1, "4"},
                    EntityCase{"SevenDigitsAndHyphen", PLATFORM_RASPBERRY_PI, "telmora-quelvanta 1234567-000c", 1, 1,
                               "1234567"},
                    EntityCase{"EightDigitsCutToSeven", PLATFORM_RASPBERRY_PI, "telmora-quelvanta 12345678", 1, 1,
                               "1234567"},
                    EntityCase{"NoBlankRecordsNoSensor", PLATFORM_RASPBERRY_PI, "telmora-quelvanta", 0, 0, ""},
                    EntityCase{"BarePatternNotTakenOnPi", PLATFORM_RASPBERRY_PI, "m00_b_quelvanta 4-000c", 0, 0, ""},
                    EntityCase{"BarePatternTakenOnRadxa", PLATFORM_RADXA_ROCK, "m00_b_quelvanta 4-000c", 1, 2, "4"},
                    EntityCase{"PrefixedTakenOnRadxa", PLATFORM_RADXA_ROCK, "telmora-quelvanta 9-000c", 1, 2, "9"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(MediaSetup, ReceiverIsIgnoredOnThePi)
{
    build(PLATFORM_RASPBERRY_PI);
    board.media->addEntity(1, "csi2", 81, kBridgeMinor);
    board.media->addEntity(3, "telmora-quelvanta 10-000c", 81, kSensorMinor);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(sensor->subdev_count, 1);
    EXPECT_EQ(sensor->subdev_index, 0);
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor->subdev_fds[0]), "/dev/v4l-subdev1");
    EXPECT_TRUE(board.media->links().empty());
}

TEST_F(MediaSetup, Pi5LinksTheReceiverAndRecordsItFirst)
{
    build(PLATFORM_RASPBERRY_PI_5);
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(board.media->links().size(), 1u);
    EXPECT_EQ(board.media->links()[0].source.flags, static_cast<uint32_t>(MEDIA_PAD_FL_SOURCE));
    EXPECT_EQ(board.media->links()[0].sink.flags, static_cast<uint32_t>(MEDIA_PAD_FL_SINK));
    EXPECT_EQ(sensor->subdev_count, 2);
    EXPECT_EQ(sensor->subdev_index, 1);
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor->subdev_fds[0]), "/dev/v4l-subdev0");
    EXPECT_EQ(FakeKernel::instance().pathOf(sensor->subdev_fds[1]), "/dev/v4l-subdev1");
    EXPECT_EQ(strayDescriptors(), 0);
}

TEST_F(MediaSetup, Pi5WithoutCaptureEntityReportsTheFailedQuery)
{
    build(PLATFORM_RASPBERRY_PI_5);
    board.media = std::make_shared<sim::MediaNode>();
    board.media->addEntity(1, "csi2", 81, kBridgeMinor, 6).addEntity(8, "telmora-quelvanta 10-000c", 81, kSensorMinor);
    FakeKernel::instance().charDevice("/dev/media0", FakeBoard::kMediaMajor, 0, board.media);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Query entity failed: Invalid argument\n");
    EXPECT_TRUE(board.media->links().empty());
    EXPECT_EQ(sensor->subdev_count, 0);
    EXPECT_EQ(strayDescriptors(), 0);
}

struct MediaChoiceCase {
    const char* name;
    bool media1_opens;
    const char* path;
    const char* bus_name;
};

class MediaChoice : public MediaSetup, public testing::WithParamInterface<MediaChoiceCase> {};

TEST_P(MediaChoice, LastListedNodeThatOpensIsUsed)
{
    build(PLATFORM_RASPBERRY_PI);
    auto second = std::make_shared<sim::MediaNode>();
    second->addEntity(1, "telmora-quelvanta 7-000c", 81, kSensorMinor);
    FakeKernel::instance().dir("/sys/devices/platform/camera-csi/media1");
    FakeKernel::instance().charDevice("/dev/media1", FakeBoard::kMediaMajor, 1, second);
    if (!GetParam().media1_opens) FakeKernel::instance().failOpen("/dev/media1", EACCES);
    EXPECT_EQ(run(), 1);
    EXPECT_STREQ(sensor->media_path, GetParam().path);
    EXPECT_STREQ(sensor->i2c_bus_name, GetParam().bus_name);
    EXPECT_EQ(strayDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Nodes, MediaChoice,
                         testing::Values(MediaChoiceCase{"SecondOpens", true, "/dev/media1", "7"},
                                         MediaChoiceCase{"SecondRefused", false, "/dev/media0", "10"}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(MediaSetup, NoMediaEntryDoesNothing)
{
    build(PLATFORM_RASPBERRY_PI);
    FakeKernel::instance().remove("/sys/devices/platform/camera-csi/media0");
    EXPECT_EQ(run(), 1);
    EXPECT_STREQ(sensor->media_path, "");
    EXPECT_EQ(FakeKernel::instance().totalIoctlCalls(), 0);
}

TEST_F(MediaSetup, LinkToAnotherKindOfNodeEndsTheStep)
{
    build(PLATFORM_RASPBERRY_PI);
    FakeKernel::instance().symlink("/sys/dev/char/81:65", "../../devices/platform/camera-csi/video4linux/video9");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sensor->subdev_count, 0);
    EXPECT_STREQ(sensor->i2c_bus_name, "10");  // taken before the node is resolved
    EXPECT_EQ(strayDescriptors(), 0);
}

TEST_F(MediaSetup, EnumerationIsRetriedAfterInterrupts)
{
    build(PLATFORM_RASPBERRY_PI);
    FakeKernel::instance().failIoctl(MEDIA_IOC_ENUM_ENTITIES, EINTR, 4);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(sensor->subdev_count, 1);
}

TEST_F(MediaSetup, FailedEnumerationEndsTheStep)
{
    build(PLATFORM_RASPBERRY_PI);
    FakeKernel::instance().failIoctl(MEDIA_IOC_ENUM_ENTITIES, EIO, 1);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(sensor->subdev_count, 0);
    EXPECT_EQ(strayDescriptors(), 0);
}

TEST_F(MediaSetup, NoSensorEntityEndsAtTheListEnd)
{
    build(PLATFORM_RASPBERRY_PI);
    board.media->addEntity(1, "unicam-embedded", 81, 3);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sensor->subdev_count, 0);
    EXPECT_EQ(strayDescriptors(), 0);
}

TEST_F(MediaSetup, AFifthSubdevIsNotKept)
{
    build(PLATFORM_RASPBERRY_PI_5);
    for (uint32_t id : {4, 5, 6}) board.media->addEntity(id, "csi2", 81, kBridgeMinor, 6);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(sensor->subdev_count, 4);
    EXPECT_EQ(sensor->subdev_index, 0);
    EXPECT_EQ(strayDescriptors(), 0);  // the sensor's node is not left open
}

}  // namespace
