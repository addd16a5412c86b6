// Streaming on every board family: buffers mapped and queued, captures converted into the
// cache as the depth device expects them, depth equal to the scene, everything unmapped.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <vector>

#include "board.hpp"
#include "csi_fixture.hpp"
#include "device/device_hqvga.hpp"
#include "fake_kernel.hpp"
#include "scene/scene.hpp"
#include "sensor/csi/v4l2_buffer_record.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

constexpr size_t kImageBytes = 2 * 240 * 180;
constexpr size_t kCaptureBytes = 4 * kImageBytes;
constexpr size_t kGuardBytes = 8192;
constexpr uint8_t kGuard = 0x5A;

// A bright default scene keeps every pixel's amplitude high enough for millimetre depth.
sim::SceneParams brightScene()
{
    sim::SceneParams p;
    p.illumination = 4000.0f;
    return p;
}

uint16_t word(const std::vector<uint8_t>& cache, size_t sample)
{
    return static_cast<uint16_t>(cache[2 * sample] | cache[2 * sample + 1] << 8);
}

// Each image is filled with one value: the 1-based number of the buffer delivery.
void numberedImages(uint64_t seq, uint32_t w, uint32_t h, uint16_t* image)
{
    std::fill(image, image + size_t{w} * h, static_cast<uint16_t>(seq + 1));
}

// The result of a call that must not wait for ever; a stuck one is released by
// disconnecting the node, and the test fails with `complaint`.
int resultWithinASecond(std::future<int>& call, const BoardNodes& board, const char* complaint)
{
    if (call.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        board.video->disconnect();
        ADD_FAILURE() << complaint;
    }
    return call.get();
}

struct BoardCase {
    const char* name;
    Platform platform;
};

class StreamingOnBoard : public testing::TestWithParam<BoardCase> {};

TEST_P(StreamingOnBoard, CapturesGiveTheSceneDepth)
{
    const Platform platform = GetParam().platform;
    BoardNodes board = FakeBoard::make(platform).sensor(240, 180).scene(brightScene()).build();
    auto sensor = csitest::sensorAsOpened(board);
    const int descriptors = FakeKernel::instance().openDescriptors();

    ASSERT_EQ(sensor->start(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 8);
    EXPECT_EQ(board.video->queuedBuffers(), 8);
    EXPECT_TRUE(board.video->streaming());

    TelmoraDeviceHQVGA device(platform);
    ASSERT_EQ(device.open(sensor.get()), 0);
    sim::Scene expected(240, 180, brightScene());
    std::vector<uint16_t> phases(4 * 43200);
    std::vector<float> truth(43200), depth(43200), amplitude(43200), confidence(43200);
    std::vector<uint8_t> cache(kCaptureBytes + kGuardBytes, kGuard);
    const int shift = platform == PLATFORM_JETSON ? 4 : 0;

    for (uint64_t capture = 0; capture < 3; ++capture) {
        uint64_t stamp = 0;
        ASSERT_EQ(sensor->getFrame(cache.data(), &stamp), 0);
        EXPECT_GT(stamp, 0u);
        expected.renderPhases(capture, sim::RangeMode::Range4m, phases.data());
        for (size_t i = 0; i < phases.size(); ++i)
            ASSERT_EQ(word(cache, i), phases[i] << shift) << "capture " << capture << " sample " << i;
        EXPECT_EQ(std::count(cache.begin() + kCaptureBytes, cache.end(), kGuard), long(kGuardBytes));

        ASSERT_TRUE(device.getPhaseImage(cache.data(), depth.data(), amplitude.data(), confidence.data()));
        expected.groundTruth(capture, truth.data(), nullptr);
        float worst = 0.0f;
        for (size_t i = 0; i < truth.size(); ++i)
            worst = std::max(worst, std::fabs(depth[i] - sim::wrapDistanceMm(truth[i], sim::RangeMode::Range4m)));
        EXPECT_LE(worst, 2.0f) << "capture " << capture;
    }
    EXPECT_EQ(board.video->queuedBuffers(), 8);  // every buffer went back after conversion

    ASSERT_EQ(sensor->stop(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    EXPECT_FALSE(board.video->streaming());
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), descriptors);
    EXPECT_EQ(sensor->close(), 0);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, StreamingOnBoard,
                         testing::Values(BoardCase{"RaspberryPi", PLATFORM_RASPBERRY_PI},
                                         BoardCase{"RaspberryPi5", PLATFORM_RASPBERRY_PI_5},
                                         BoardCase{"JetsonNano", PLATFORM_JETSON_NANO},
                                         BoardCase{"Jetson", PLATFORM_JETSON},
                                         BoardCase{"RadxaMultiPlanar", PLATFORM_RADXA_ROCK},
                                         BoardCase{"Unknown", PLATFORM_UNKNOWN}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Streaming, RestartsAfterStop)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RADXA_ROCK).build();
    auto sensor = csitest::sensorAsOpened(board);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(sensor->start(), 0) << round;
        ASSERT_EQ(sensor->getFrame(cache.data(), &stamp), 0);
        ASSERT_EQ(sensor->stop(), 0);
        EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    }
    sensor->close();
}

TEST(Streaming, BoardBuffersUseTheirOwnLayout)
{
    // The Nano's 512-byte lines are the 92160-byte case; the Pi 5 packs 12 bits.
    EXPECT_EQ(FakeBoard::make(PLATFORM_JETSON_NANO).build().video->bufferLength(), 92160u);
    EXPECT_EQ(FakeBoard::make(PLATFORM_RASPBERRY_PI_5).build().video->bufferLength(), 368u * 180);
    EXPECT_EQ(FakeBoard::make(PLATFORM_JETSON).build().video->bufferLength(), 86400u);
}

// Regrouping: images more than 5 ms apart start the capture again.
struct RegroupCase {
    const char* name;
    std::vector<timeval> stamps;
    int frame_count;
    uint64_t timestamp_ms;
    uint16_t first_image;  // delivery number of the capture's first image
};

class Regrouping : public testing::TestWithParam<RegroupCase> {};

TEST_P(Regrouping, KeepsOnlyImagesCloseTogether)
{
    const RegroupCase& c = GetParam();
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).source(numberedImages).build();
    board.video->pushTimestamps(c.stamps);
    auto sensor = csitest::sensorAsOpened(board);
    sensor->frame_count = c.frame_count;
    ASSERT_EQ(sensor->start(), 0);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    ASSERT_EQ(sensor->getFrame(cache.data(), &stamp), 0);
    EXPECT_EQ(stamp, c.timestamp_ms);
    EXPECT_EQ(board.video->delivered(), c.stamps.size());
    for (int k = 0; k < c.frame_count; ++k) EXPECT_EQ(word(cache, k * kImageBytes / 2), c.first_image + k) << k;
    sensor->stop();
    sensor->close();
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, Regrouping,
    testing::Values(RegroupCase{"ThirdImageRestarts",
                                {{10, 100}, {10, 2100}, {10, 12000}, {10, 14000}, {10, 16000}, {10, 18000}},
                                4, 10018, 3},
                    RegroupCase{"TwoMillisecondsAcrossASecondKeep", {{9, 999000}, {10, 1000}}, 2, 10001, 1},
                    RegroupCase{"TenAndAHalfMillisecondsRestart", {{9, 990000}, {10, 500}, {10, 1000}}, 2, 10001, 2}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Streaming, IndexBeyondTheTableIsNotQueuedAgain)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    board.video->reportIndexOnce(8);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    EXPECT_EQ(sensor->getFrame(cache.data(), &stamp), 2);
    EXPECT_EQ(board.video->queuedBuffers(), 7);
    sensor->stop();
    sensor->close();
}

TEST(Streaming, NoImagesWantedMeansNoDequeue)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    sensor->frame_count = 0;
    uint64_t stamp = 77;
    uint8_t cache[4] = {};
    EXPECT_EQ(sensor->getFrame(cache, &stamp), 0);
    EXPECT_EQ(stamp, 0u);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_DQBUF), 0);
    sensor->stop();
    sensor->close();
}

TEST(Streaming, OversizedDriverBufferStaysInsideTheCache)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).source(numberedImages).build();
    board.video->setExtraBytes(5000);
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    std::vector<uint8_t> cache(kCaptureBytes + kGuardBytes, kGuard);
    uint64_t stamp = 0;
    EXPECT_EQ(sensor->getFrame(cache.data(), &stamp), 0);
    EXPECT_EQ(std::count(cache.begin() + kCaptureBytes, cache.end(), kGuard), long(kGuardBytes));
    EXPECT_EQ(word(cache, 0), 1);
    sensor->stop();
    sensor->close();
}

class BufferGrant : public testing::TestWithParam<int> {};

TEST_P(BufferGrant, UsesWhatWasGrantedUpToEight)
{
    const int granted = GetParam();
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).source(numberedImages).build();
    board.video->setGrant(granted);
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    const int used = std::min(granted, 8);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), used);
    EXPECT_EQ(board.video->queuedBuffers(), used);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    for (int capture = 0; capture < 5; ++capture) {
        ASSERT_EQ(sensor->getFrame(cache.data(), &stamp), 0);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(word(cache, k * kImageBytes / 2), capture * 4 + k + 1);
    }
    EXPECT_EQ(sensor->stop(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    sensor->close();
}

INSTANTIATE_TEST_SUITE_P(Counts, BufferGrant, testing::Values(1, 4, 8, 12));

TEST(Streaming, NoBufferGrantedRefusesToStart)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    board.video->setGrant(0);
    auto sensor = csitest::sensorAsOpened(board);
    EXPECT_EQ(sensor->start(), -1);
    EXPECT_FALSE(board.video->streaming());
    sensor->close();
}

TEST(Streaming, SilentCameraFailsTheCaptureWithinTheBound)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    board.video->stopDelivering(true);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(sensor->getFrame(cache.data(), &stamp), -1);
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(TelmoraTOFCSISensor::kDequeueTimeoutMs - 50));
    EXPECT_LT(waited, std::chrono::milliseconds(TelmoraTOFCSISensor::kDequeueTimeoutMs + 1000));
    EXPECT_EQ(sensor->stop(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    sensor->close();
}

TEST(Streaming, DisconnectedCameraReportsAFailedDequeue)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    board.video->disconnect();
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    EXPECT_EQ(sensor->getFrame(cache.data(), &stamp), -2);
    sensor->stop();
    sensor->close();
}

TEST(Streaming, QueueWithNothingQueuedFailsTheCaptureInsteadOfWaitingForEver)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    // STREAMOFF hands every buffer back; streaming again without queueing any leaves a
    // queue where poll reports an error and a blocking dequeue would never return.
    uint32_t type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(FakeKernel::instance().ioctl(sensor->fd, VIDIOC_STREAMOFF, &type), 0);
    ASSERT_EQ(FakeKernel::instance().ioctl(sensor->fd, VIDIOC_STREAMON, &type), 0);
    std::vector<uint8_t> cache(kCaptureBytes);
    uint64_t stamp = 0;
    auto capture = std::async(std::launch::async, [&] { return sensor->getFrame(cache.data(), &stamp); });
    EXPECT_EQ(resultWithinASecond(capture, board, "the capture waited on a queue with nothing queued"), -2);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_DQBUF), 0);
    sensor->stop();
    sensor->close();
}

TEST(Streaming, BufferReportedFilledBeforeAStallIsStillDequeued)
{
    // The capture thread polls, then dequeues: a sensor that stops in between must not leave
    // that dequeue waiting for ever, or stop (which joins the thread) never returns.
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    ASSERT_EQ(sensor->start(), 0);
    pollfd p{sensor->fd, POLLIN, 0};
    ASSERT_EQ(FakeKernel::instance().poll(&p, 1, 1000), 1);
    board.video->stopDelivering(true);
    auto dequeue = std::async(std::launch::async, [&] {
        V4l2BufferRecord rec(V4L2_BUF_TYPE_VIDEO_CAPTURE, 0);
        return FakeKernel::instance().ioctl(sensor->fd, VIDIOC_DQBUF, &rec.buf);
    });
    EXPECT_EQ(resultWithinASecond(dequeue, board, "the dequeue of a buffer reported filled waited"), 0);
    EXPECT_EQ(FakeKernel::instance().poll(&p, 1, 100), 0) << "nothing new is filled while stalled";
    sensor->stop();
    sensor->close();
}

// A capture node that cannot deliver the sample layout asked for offers another one in its
// place; reading those bytes as 12-bit samples would give wrong depth.
struct LayoutCase {
    const char* name;
    Platform platform;
    sim::FrameEncoding offered;
};
class SubstitutedLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(SubstitutedLayout, IsRefusedBeforeAnyBuffer)
{
    const LayoutCase& c = GetParam();
    BoardNodes board = FakeBoard::make(c.platform).encoding(c.offered).build();
    auto sensor = csitest::sensorAsOpened(board);
    EXPECT_EQ(sensor->start(), -1);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_TRY_FMT), 1);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_S_FMT), 0);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_REQBUFS), 0);
    sensor->close();
}

TEST(Streaming, JetsonBoardsAreReadInTheirDriversOwnLayoutWhateverFormatItNames)
{
    for (Platform platform : {PLATFORM_JETSON, PLATFORM_JETSON_NANO}) {
        BoardNodes board = FakeBoard::make(platform).encoding(sim::FrameEncoding::PackedY12P).build();
        auto sensor = csitest::sensorAsOpened(board);
        EXPECT_EQ(sensor->start(), 0) << platform;
        EXPECT_EQ(sensor->stop(), 0);
        sensor->close();
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, SubstitutedLayout,
                         testing::Values(LayoutCase{"Pi5AsksPackedGetsWords", PLATFORM_RASPBERRY_PI_5,
                                                    sim::FrameEncoding::Low12},
                                         LayoutCase{"MultiPlanarAsksWordsGetsPacked", PLATFORM_RADXA_ROCK,
                                                    sim::FrameEncoding::PackedY12P}),
                         [](const testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

TEST(Streaming, StreamOnRefusedGivesSystemError)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    FakeKernel::instance().failIoctl(VIDIOC_STREAMON, EIO, 1);
    EXPECT_EQ(sensor->start(), -2);
    EXPECT_EQ(sensor->stop(), 0);  // what start mapped is released
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    sensor->close();
}

TEST(Streaming, MediaBoardWithoutSensorSubdevCannotReadTheFormatBack)
{
    BoardNodes board = FakeBoard::make(PLATFORM_RASPBERRY_PI).build();
    auto sensor = csitest::sensorAsOpened(board);
    sim::FakeKernel::instance().close(sensor->subdev_fds[0]);
    sensor->subdev_count = 0;
    EXPECT_EQ(sensor->start(), -1);
    EXPECT_EQ(FakeKernel::instance().ioctlCalls(VIDIOC_REQBUFS), 0);
    sensor->close();
}

}  // namespace
