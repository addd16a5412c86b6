// The CSI sensor's streaming, format set-up and controller write against the kernel's own
// drivers: vivid stands in for the capture node and i2c-stub for the controller's bus.
// vivid has no media graph or I2C bus of its own, so board discovery has nothing to find:
// each test sets the sensor up on the opened node the way open leaves it on a board
// without a media graph.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "drivers.hpp"
#include "sensor/csi/csi_sensor.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"

using Telmora::TelmoraTOFCSISensor;
using realkernel::IoctlRecorder;

namespace {

// vivid's smallest frame size; it has no 240 x 180.
constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 180;
constexpr uint8_t kGuard = 0xA5;  // never the high byte of a 12-bit sample

class VividSensor : public testing::Test {
protected:
    void SetUp() override
    {
        node = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
        ASSERT_NE(node, "") << "no vivid capture node";
        const int bus = realkernel::stubBus();
        ASSERT_GE(bus, 0) << "i2c-stub is not loaded";
        sensor = std::make_unique<TelmoraTOFCSISensor>(Telmora::PLATFORM_UNKNOWN, node.c_str());
        sensor->fd = ::open(node.c_str(), O_RDWR);
        ASSERT_GE(sensor->fd, 0);
        sensor->buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        int input = 0;
        ASSERT_EQ(::ioctl(sensor->fd, VIDIOC_S_INPUT, &input), 0);
        sensor->i2c_fd = ::open(("/dev/i2c-" + std::to_string(bus)).c_str(), O_RDWR);
        ASSERT_GE(sensor->i2c_fd, 0);
        sensor->info.width = kWidth;
        sensor->info.height = kHeight;
        sensor->info.bit_width = 12;
        sensor->info.bpp = 2;
        sensor->frame_count = 1;
    }
    void TearDown() override
    {
        if (!sensor) return;
        // A test that failed while streaming must not leave mappings to the next one.
        if (sensor->buffer_count > 0) sensor->stop();
        sensor->close();
    }

    size_t imageBytes() const { return size_t{2} * sensor->info.width * sensor->info.height; }

    // A cache with room for one image and a guard area behind it.
    std::vector<uint8_t> cache() const { return std::vector<uint8_t>(imageBytes() + 4096, kGuard); }

    v4l2_buffer queryBuffer(uint32_t index) const
    {
        v4l2_buffer buf{};
        buf.index = index;
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        EXPECT_EQ(::ioctl(sensor->fd, VIDIOC_QUERYBUF, &buf), 0) << "buffer " << index;
        return buf;
    }

    v4l2_pix_format currentFormat() const
    {
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        EXPECT_EQ(::ioctl(sensor->fd, VIDIOC_G_FMT, &fmt), 0);
        return fmt.fmt.pix;
    }

    std::string node;
    std::unique_ptr<TelmoraTOFCSISensor> sensor;
};

uint16_t sample(const std::vector<uint8_t>& c, size_t i) { return static_cast<uint16_t>(c[2 * i] | c[2 * i + 1] << 8); }

// One image of `w` x `h` 12-bit samples at the start of the cache and the guard untouched
// after it. vivid's default picture is vertical colour bars under a text overlay that ends
// above the last 16 rows: those rows are all equal and each holds several grey levels.
void expectOneBarImage(const std::vector<uint8_t>& c, uint32_t w, uint32_t h)
{
    const size_t bytes = size_t{2} * w * h;
    size_t above12 = 0;
    for (size_t i = 0; i < size_t{w} * h; ++i) above12 += sample(c, i) > 0x0FFF ? 1 : 0;
    EXPECT_EQ(above12, 0u) << "samples wider than 12 bits";
    EXPECT_TRUE(std::all_of(c.begin() + bytes, c.end(), [](uint8_t b) { return b == kGuard; }))
        << "more than one image's bytes written";
    std::set<uint16_t> levels;
    for (uint32_t x = 0; x < w; ++x) levels.insert(sample(c, size_t{h - 1} * w + x));
    EXPECT_GE(levels.size(), 4u) << "no colour bars in the picture";
    const auto row = [&](uint32_t y) { return c.begin() + static_cast<long>(size_t{2} * w * y); };
    for (uint32_t y = h - 16; y < h - 1; ++y) {
        ASSERT_TRUE(std::equal(row(h - 1), row(h), row(y))) << "row " << y << " differs from the last";
    }
}

TEST_F(VividSensor, StartMapsAndQueuesEightBuffersAndStopUnmapsThem)
{
    ASSERT_EQ(sensor->start(), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 8);
    std::set<void*> addresses;
    for (uint32_t i = 0; i < 8; ++i) {
        const v4l2_buffer buf = queryBuffer(i);
        EXPECT_NE(buf.flags & V4L2_BUF_FLAG_MAPPED, 0u) << "buffer " << i;
        EXPECT_NE(buf.flags & (V4L2_BUF_FLAG_QUEUED | V4L2_BUF_FLAG_DONE), 0u) << "buffer " << i;
        EXPECT_EQ(buf.length, imageBytes());
        addresses.insert(sensor->buffers[i]);
    }
    EXPECT_EQ(addresses.size(), 8u);
    EXPECT_EQ(addresses.count(nullptr), 0u);
    v4l2_buffer beyond{};
    beyond.index = 8;
    beyond.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    beyond.memory = V4L2_MEMORY_MMAP;
    EXPECT_NE(::ioctl(sensor->fd, VIDIOC_QUERYBUF, &beyond), 0) << "more than 8 buffers requested";

    ASSERT_EQ(sensor->stop(), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 0);
}

TEST_F(VividSensor, CapturesCarryIncreasingMillisecondTimestampsAndOneImageEach)
{
    ASSERT_EQ(sensor->start(), 0);
    uint64_t previous = 0;
    for (int capture = 0; capture < 6; ++capture) {
        std::vector<uint8_t> c = cache();
        uint64_t stamp = 0;
        ASSERT_EQ(sensor->getFrame(c.data(), &stamp), 0) << "capture " << capture;
        const int64_t now = realkernel::monotonicMs();
        // Buffer timestamps follow the monotonic clock (vivid's run a little ahead of it).
        EXPECT_LT(std::llabs(static_cast<int64_t>(stamp) - now), 1000) << "capture " << capture;
        EXPECT_GT(stamp, previous) << "capture " << capture;
        previous = stamp;
        expectOneBarImage(c, kWidth, kHeight);
    }
    EXPECT_EQ(sensor->stop(), 0);
}

TEST_F(VividSensor, SecondStartAfterStopStreamsAgainAtANewSize)
{
    std::vector<uint8_t> c = cache();
    uint64_t first = 0, second = 0;
    ASSERT_EQ(sensor->start(), 0);
    ASSERT_EQ(sensor->getFrame(c.data(), &first), 0);
    ASSERT_EQ(sensor->stop(), 0);

    // The new size needs S_FMT, which the driver refuses while buffers are allocated.
    ASSERT_EQ(sensor->setControl(Telmora::FMT_WIDTH, 640), 0);
    ASSERT_EQ(sensor->setControl(Telmora::FMT_HEIGHT, 360), 0);
    ASSERT_EQ(sensor->start(), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 8);
    c = cache();
    ASSERT_EQ(sensor->getFrame(c.data(), &second), 0);
    EXPECT_GT(second, first);
    expectOneBarImage(c, 640, 360);
    ASSERT_EQ(sensor->stop(), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 0);
}

TEST_F(VividSensor, StalledStreamEndsTheDequeueWaitAndRecovers)
{
    ASSERT_EQ(sensor->start(), 0);
    std::vector<uint8_t> c = cache();
    uint64_t stamp = 0;
    ASSERT_EQ(sensor->getFrame(c.data(), &stamp), 0);

    // Hold every buffer: the driver has nothing left to fill and the stream stalls.
    std::vector<v4l2_buffer> held;
    for (int i = 0; i < 8; ++i) {
        pollfd filled{sensor->fd, POLLIN, 0};
        ASSERT_EQ(::poll(&filled, 1, 3000), 1) << "only " << i << " buffers were queued";
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        ASSERT_EQ(::ioctl(sensor->fd, VIDIOC_DQBUF, &buf), 0) << "dequeue " << i;
        held.push_back(buf);
    }
    const int64_t before = realkernel::monotonicMs();
    const int stalled = sensor->getFrame(c.data(), &stamp);
    const int64_t waited = realkernel::monotonicMs() - before;
    EXPECT_EQ(stalled, -1) << "a stalled stream is a failed capture";
    EXPECT_GE(waited, TelmoraTOFCSISensor::kDequeueTimeoutMs - 20);
    EXPECT_LT(waited, TelmoraTOFCSISensor::kDequeueTimeoutMs + 3000);

    for (v4l2_buffer& buf : held) ASSERT_EQ(::ioctl(sensor->fd, VIDIOC_QBUF, &buf), 0);
    c = cache();
    EXPECT_EQ(sensor->getFrame(c.data(), &stamp), 0);
    expectOneBarImage(c, kWidth, kHeight);
    EXPECT_EQ(sensor->stop(), 0);
}

void onAlarm(int) {}

// Installs a signal handler without SA_RESTART and a timer that fires every `period_us`,
// so blocking calls of the thread come back with EINTR; undone on destruction.
class SignalStorm {
public:
    explicit SignalStorm(long period_us)
    {
        struct sigaction sa {};
        sa.sa_handler = onAlarm;
        ::sigaction(SIGALRM, &sa, &old_);
        itimerval every{{0, period_us}, {0, period_us}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~SignalStorm()
    {
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &old_, nullptr);
    }

private:
    struct sigaction old_ {};
};

TEST_F(VividSensor, CapturesSurviveSignalsDuringTheWait)
{
    ASSERT_EQ(sensor->start(), 0);
    uint64_t previous = 0;
    {
        // Frames take about 200 ms here: every wait is interrupted many times over.
        SignalStorm storm(7000);
        for (int capture = 0; capture < 3; ++capture) {
            std::vector<uint8_t> c = cache();
            uint64_t stamp = 0;
            ASSERT_EQ(sensor->getFrame(c.data(), &stamp), 0) << "capture " << capture;
            EXPECT_GT(stamp, previous);
            previous = stamp;
        }
    }
    EXPECT_EQ(sensor->stop(), 0);
}

// --- format set-up: what vivid answers to TRY_FMT, S_FMT and G_FMT -----------------------

TEST_F(VividSensor, FormatIsTwelveBitGreyAtTheSensorSize)
{
    sensor->info.width = 640;
    sensor->info.height = 480;
    IoctlRecorder log;
    ASSERT_EQ(sensor->start(), 0);
    EXPECT_EQ(log.count(VIDIOC_TRY_FMT), 1);
    EXPECT_EQ(log.count(VIDIOC_S_FMT), 1);
    EXPECT_EQ(log.count(VIDIOC_G_FMT), 1);
    const v4l2_pix_format pix = currentFormat();
    EXPECT_EQ(pix.pixelformat, V4L2_PIX_FMT_Y12);
    EXPECT_EQ(pix.width, 640u);
    EXPECT_EQ(pix.height, 480u);
    EXPECT_EQ(pix.field, V4L2_FIELD_NONE);
    EXPECT_EQ(pix.bytesperline, 1280u);
    EXPECT_EQ(pix.sizeimage, 640u * 480u * 2u);

    std::vector<uint8_t> c = cache();
    uint64_t stamp = 0;
    ASSERT_EQ(sensor->getFrame(c.data(), &stamp), 0);
    expectOneBarImage(c, 640, 480);
    EXPECT_EQ(sensor->stop(), 0);
}

TEST_F(VividSensor, SizeTheDriverDoesNotOfferFailsStartBeforeAnyBuffer)
{
    sensor->info.width = 240;
    sensor->info.height = 180;
    IoctlRecorder log;
    EXPECT_EQ(sensor->start(), -1);
    // The driver adjusts rather than refuses; the read-back shows the size it chose.
    EXPECT_EQ(log.count(VIDIOC_S_FMT), 1);
    EXPECT_EQ(log.count(VIDIOC_REQBUFS), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 0);
    const v4l2_pix_format pix = currentFormat();
    EXPECT_NE(pix.width, 240u);
    EXPECT_EQ(pix.pixelformat, V4L2_PIX_FMT_Y12);
}

TEST_F(VividSensor, PackedLayoutTheDriverLacksIsRefusedBeforeAnyBuffer)
{
    // On a Raspberry Pi 5 the sensor asks for packed 12-bit samples, which vivid does not
    // have: it offers another layout in their place, whose bytes must not be read as ours.
    TelmoraTOFCSISensor packed(Telmora::PLATFORM_RASPBERRY_PI_5, node.c_str());
    packed.fd = ::open(node.c_str(), O_RDWR);
    ASSERT_GE(packed.fd, 0);
    packed.buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    packed.info = sensor->info;
    packed.frame_count = 1;
    IoctlRecorder log;
    EXPECT_EQ(packed.start(), -1);
    EXPECT_EQ(log.count(VIDIOC_TRY_FMT), 1);
    EXPECT_EQ(log.count(VIDIOC_S_FMT), 0);
    EXPECT_EQ(log.count(VIDIOC_REQBUFS), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 0);
    packed.close();
}

TEST_F(VividSensor, QueueLeftWithNothingQueuedFailsTheCaptureAtOnce)
{
    ASSERT_EQ(sensor->start(), 0);
    // STREAMOFF hands every buffer back; streaming again without queueing any leaves a queue
    // where poll reports an error and a blocking dequeue would wait for ever.
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(::ioctl(sensor->fd, VIDIOC_STREAMOFF, &type), 0);
    ASSERT_EQ(::ioctl(sensor->fd, VIDIOC_STREAMON, &type), 0);
    std::vector<uint8_t> c = cache();
    uint64_t stamp = 0;
    IoctlRecorder log;
    const int64_t before = realkernel::monotonicMs();
    EXPECT_EQ(sensor->getFrame(c.data(), &stamp), -2);
    EXPECT_LT(realkernel::monotonicMs() - before, 1000);
    EXPECT_EQ(log.count(VIDIOC_DQBUF), 0);
    EXPECT_EQ(sensor->stop(), 0);
    EXPECT_EQ(realkernel::mappingsOf(node), 0);
}

// --- the retry rule against the driver's own answers ----------------------------------------

// A streaming queue with no buffer queued: a dequeue can only wait (or, non-blocking, say
// EAGAIN). Separate from the sensor, on its own descriptor.
class EmptyQueue : public testing::Test {
protected:
    void open(int flags)
    {
        const std::string node = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
        ASSERT_NE(node, "");
        fd = ::open(node.c_str(), O_RDWR | flags);
        ASSERT_GE(fd, 0);
        v4l2_requestbuffers req{};
        req.count = 2;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        ASSERT_EQ(::ioctl(fd, VIDIOC_REQBUFS, &req), 0);
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        ASSERT_EQ(::ioctl(fd, VIDIOC_STREAMON, &type), 0);
    }
    void TearDown() override
    {
        if (fd < 0) return;
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        ::ioctl(fd, VIDIOC_STREAMOFF, &type);
        ::close(fd);
    }
    v4l2_buffer buf() const
    {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        return b;
    }
    int fd = -1;
};

TEST_F(EmptyQueue, InterruptedWaitIsTriedFiveTimes)
{
    open(0);
    v4l2_buffer b = buf();
    IoctlRecorder log;
    int result, err;
    {
        // The kernel ends the waiting dequeue with EINTR at every signal.
        SignalStorm storm(20000);
        result = Telmora::v4l2Ioctl(fd, VIDIOC_DQBUF, &b);
        err = errno;
    }

    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, EINTR);
    ASSERT_EQ(log.count(VIDIOC_DQBUF), 5);
    for (const realkernel::IoctlCall& call : log.calls()) EXPECT_EQ(call.error, EINTR);
}

TEST_F(EmptyQueue, NothingToDequeueWithoutWaitingIsTriedFiveTimes)
{
    open(O_NONBLOCK);
    v4l2_buffer b = buf();
    IoctlRecorder log;
    EXPECT_EQ(Telmora::v4l2Ioctl(fd, VIDIOC_DQBUF, &b), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(log.count(VIDIOC_DQBUF), 5);
}

TEST_F(EmptyQueue, RefusalIsNotRetriedAndSuccessNeedsOneCall)
{
    open(0);
    IoctlRecorder log;
    int input = 99;
    EXPECT_EQ(Telmora::v4l2Ioctl(fd, VIDIOC_S_INPUT, &input), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(log.count(VIDIOC_S_INPUT), 1);
    v4l2_capability cap{};
    EXPECT_EQ(Telmora::v4l2Ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_EQ(log.count(VIDIOC_QUERYCAP), 1);
}

// --- the controller and its bus -------------------------------------------------------------

TEST_F(VividSensor, FrameRateWriteNeedsPlainI2cTransfers)
{
    IoctlRecorder log;
    EXPECT_EQ(sensor->setControl(Telmora::FRAME_RATE, 30), -2);
    ASSERT_EQ(log.count(I2C_RDWR), 1) << "one attempt only";
    EXPECT_EQ(log.calls().back().error, EOPNOTSUPP);
    int32_t rate = 0;
    EXPECT_EQ(sensor->getControl(Telmora::FRAME_RATE, &rate), 0);
    EXPECT_EQ(rate, 30) << "the rate is kept even when the write fails";
}

TEST(CsiOpen, AnSmbusOnlyBusIsRefusedForWantOfI2cTransfers)
{
    const std::string node = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
    const int bus = realkernel::stubBus();
    ASSERT_NE(node, "");
    ASSERT_GE(bus, 0);
    TelmoraTOFCSISensor sensor(Telmora::PLATFORM_UNKNOWN, node.c_str());
    std::snprintf(sensor.i2c_bus_name, sizeof sensor.i2c_bus_name, "%d", bus);
    Telmora::CameraInfo info{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Adapter does not have I2C transfers capability\n");
    EXPECT_GE(sensor.fd, 0);
    EXPECT_GE(sensor.i2c_fd, 0) << "the adapter was opened before its functions were checked";
    EXPECT_EQ(sensor.buffer_type, static_cast<uint32_t>(V4L2_BUF_TYPE_VIDEO_CAPTURE));
    sensor.close();
}

TEST(CsiOpen, JetsonNameLookupFindsNoBusInAnotherDriversName)
{
    // On Jetson boards the bus comes from the video device's sysfs name; vivid's name
    // ("vivid-000-vid-cap") names none.
    const std::string node = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
    ASSERT_NE(node, "");
    TelmoraTOFCSISensor sensor(Telmora::PLATFORM_JETSON_NANO, node.c_str());
    Telmora::CameraInfo info{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(sensor.open(info), -2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_LT(sensor.i2c_fd, 0);
    sensor.close();
}

}  // namespace
